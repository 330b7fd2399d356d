// The reader and writer of rich-text cells: text, characters written as
// escapes, formatting, fonts and colours from the tables, paragraphs, groups
// that hold data rather than text, the writer against the reader, and the
// writer's characters beyond the BMP. A document needs Qt's fonts: the
// program runs inside a QGuiApplication (offscreen).
#include "grid/exchange/rtf.h"

#include <QGuiApplication>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <gtest/gtest.h>

using namespace grid;

namespace {

class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "rtf";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QGuiApplication> app_;
};
const auto* const kGui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

// Text and formatting of every run, one line per run.
std::vector<std::string> runs(const QTextDocument& Doc)
{
    std::vector<std::string> out;
    for (QTextBlock b = Doc.begin(); b.isValid(); b = b.next()) {
        out.push_back("para align " + std::to_string(int(b.blockFormat().alignment() & Qt::AlignHorizontal_Mask)));
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QFont font = f.font();
            out.push_back(it.fragment().text().toStdString() + " | " + font.family().toStdString() + " " +
                          std::to_string(font.pointSizeF()) + (font.bold() ? " b" : "") + (font.italic() ? " i" : "") +
                          (font.underline() ? " ul" : "") + (font.strikeOut() ? " s" : "") + " fg " +
                          f.foreground().color().name().toStdString() + " bg " +
                          (f.background().style() == Qt::NoBrush ? std::string("none")
                                                                  : f.background().color().name().toStdString()) +
                          " va " + std::to_string(int(f.verticalAlignment())));
        }
    }
    return out;
}

platform::Font defaultFont()
{
    platform::Font font;
    font.Name = QStringLiteral("Liberation Sans");
    font.SetSize(10);
    return font;
}


const char* const kHeader = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman Times New Roman;}}"
                            "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}";

// The format of the character at Pos of the document's plain text.
QTextCharFormat formatAt(QTextDocument& doc, int pos)
{
    QTextCursor c(&doc);
    c.setPosition(pos + 1);
    return c.charFormat();
}

}  // namespace

TEST(RtfReader, TextAndEscapes)
{
    EXPECT_EQ(RTFPlainText(std::string(kHeader) + "Hello \\b world\\b0 !}"), "Hello world!");
    EXPECT_EQ(RTFPlainText("{\\rtf1 one\\par two\\line three}"), "one\r\ntwo\r\nthree");
    // Windows-1252 escapes, Unicode with its fallback skipped, escaped braces and backslash.
    EXPECT_EQ(RTFPlainText("{\\rtf1 caf\\'e9 \\'80 \\u20013?\\u25991? \\{x\\} a\\\\b}"),
              "caf\u00e9 \u20ac \u4e2d\u6587 {x} a\\b");
    EXPECT_EQ(RTFPlainText("{\\rtf1\\uc2 \\u8364??x}"), "\u20acx");
    EXPECT_EQ(RTFPlainText("{\\rtf1 a\\tab b}"), "a\tb");
    // Beyond the BMP: a surrogate pair (with or without fallback), the code
    // point older texts hold, and a lone half left out.
    EXPECT_EQ(RTFPlainText("{\\rtf1\\uc0 \\u-10179 \\u-8704 !}"), "\U0001F600!");
    EXPECT_EQ(RTFPlainText("{\\rtf1 \\u-10179?\\u-8704?!}"), "\U0001F600!");
    EXPECT_EQ(RTFPlainText("{\\rtf1 \\u128512?!}"), "\U0001F600!");
    EXPECT_EQ(RTFPlainText("{\\rtf1 a\\u-10179?b\\u-8704?c}"), "abc");
    // Groups of data are not text.
    EXPECT_EQ(RTFPlainText("{\\rtf1{\\*\\generator Writer 1.0;}{\\info{\\title T}}visible}"), "visible");
    // UTF-8 typed straight into the text stays as it is.
    EXPECT_EQ(RTFPlainText("{\\rtf1 \xe9\x99\xb3}"), "\u9673");
}

TEST(RtfReader, BrokenTextsGiveWhatWasRead)
{
    EXPECT_EQ(RTFPlainText("{\\rtf1 cut here"), "cut here");
    EXPECT_EQ(RTFPlainText("{\\rtf1 a}}} b{{"), "a b");
    EXPECT_EQ(RTFPlainText("{\\rtf1 x\\"), "x");
    EXPECT_EQ(RTFPlainText("{\\rtf1 x\\'e"), "x");
    EXPECT_EQ(RTFPlainText("{\\rtf1 \\unknownword99999999999999 y\\u}"), "y");
    EXPECT_EQ(RTFPlainText(""), "");
    // Groups past the depth limit end without ending the hidden group around them.
    EXPECT_EQ(RTFPlainText("{\\rtf1{\\*\\x " + std::string(300, '{') + std::string(300, '}') + "secret}shown}"),
              "shown");
}

TEST(RtfReader, FormattingFontsAndColours)
{
    platform::Font base;
    base.Name = QStringLiteral("Arial");
    base.SetSize(10);
    QTextDocument doc;
    RTFToDocument(std::string(kHeader) + "\\f0\\fs20 plain \\b bold\\b0  \\i it\\i0  \\cf1 red\\cf0  \\f1\\fs40 big "
                                          "\\ul under\\ulnone  {\\cf2 blue} after}",
                  doc, base);
    const QString text = doc.toPlainText();
    ASSERT_EQ(text, QStringLiteral("plain bold it red big under blue after"));
    EXPECT_FALSE(formatAt(doc, text.indexOf("plain")).font().bold());
    EXPECT_TRUE(formatAt(doc, text.indexOf("bold")).font().bold());
    EXPECT_TRUE(formatAt(doc, text.indexOf("it")).font().italic());
    EXPECT_EQ(formatAt(doc, text.indexOf("red")).foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(formatAt(doc, text.indexOf("blue")).foreground().color(), QColor(0, 0, 255));
    // The group ended: the colour before it is back.
    EXPECT_NE(formatAt(doc, text.indexOf("after")).foreground().color(), QColor(0, 0, 255));
    EXPECT_DOUBLE_EQ(formatAt(doc, text.indexOf("big")).font().pointSizeF(), 20.0);
    EXPECT_TRUE(formatAt(doc, text.indexOf("under")).font().underline());
    EXPECT_EQ(formatAt(doc, text.indexOf("plain")).font().family(), platform::MapFaceName(QStringLiteral("Arial")));
    EXPECT_EQ(formatAt(doc, text.indexOf("big")).font().family(), platform::MapFaceName(QStringLiteral("Times New Roman")));

    // Paragraph alignment.
    QTextDocument aligned;
    RTFToDocument("{\\rtf1\\qc centred\\par\\pard\\qr right}", aligned, base);
    EXPECT_EQ(aligned.firstBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(aligned.lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
}

TEST(RtfWriter, CharactersBeyondTheBmpAsSignedSurrogatePairs)
{
    QTextDocument doc(QString::fromUtf8("\xF0\x9F\x98\x80\xE2\x82\xAC"));
    EXPECT_NE(DocumentToRTF(doc, platform::Font{}).find("\\u-10179 \\u-8704 \\u8364 "), std::string::npos);
}

TEST(RtfWriter, WriterAndReaderRoundTrip)
{
    const std::string rtf =
        "{\\rtf1\\ansi\\deff0\\uc0{\\fonttbl{\\f0 Liberation Sans;}{\\f1 Liberation Serif;}}"
        "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
        "\\pard\\ql plain {\\b bold} {\\i italic} {\\ul under} {\\strike gone}\\par"
        "\\pard\\qc {\\f1\\fs36 big serif} {\\cf1 red} {\\highlight2 marked}\\par"
        "\\pard\\qr x{\\super 2} H{\\sub 2}O\\par"
        "\\pard\\qj caf\\'e9 \\u8364  \\u20013  \\u-10179 \\u-8704  a\\tab b\\line c \\\\ \\{ \\}}";
    QTextDocument first, second;
    RTFToDocument(rtf, first, defaultFont());
    const std::string written = DocumentToRTF(first, defaultFont());
    RTFToDocument(written, second, defaultFont());
    EXPECT_EQ(runs(first), runs(second)) << written;
    EXPECT_EQ(first.toPlainText(), second.toPlainText());
    EXPECT_TRUE(first.toPlainText().contains(QString::fromUtf8("café € 中")));
    EXPECT_EQ(DocumentToRTF(second, defaultFont()), written);  // stable once written
    EXPECT_EQ(written.find_first_of("\x80\xff"), std::string::npos);  // ASCII only

    // Characters beyond the BMP as well.
    QTextDocument plain, read;
    plain.setPlainText(QString::fromUtf8("\xF0\x9F\x98\x80 \xC3\xBC {x}"));
    RTFToDocument(DocumentToRTF(plain, defaultFont()), read, defaultFont());
    EXPECT_EQ(read.toPlainText(), plain.toPlainText());
}
