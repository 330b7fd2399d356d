// Rich-text cells: the writer against the reader, and the rich-text editor
// opening on a cell, writing back a change and leaving an unchanged cell alone.
#include "editgrid.h"

#include "grid/gridrtf.h"

#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace grid;

namespace {

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

}  // namespace

TEST(RichText, WriterAndReaderRoundTrip)
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

TEST(RichText, EditorOpensWritesBackAndKeepsUnchangedBytes)
{
    EditGrid e;
    e.types[{1, 1}] = edRichEdit;
    e.types[{2, 1}] = edRichEdit;
    const std::string cell = "{\\rtf1\\ansi{\\fonttbl{\\f0 Tahoma;}}\\f0 \\b bold\\b0  plain}";
    e.g.SetCells(1, 1, cell);
    e.g.SetCells(2, 1, cell + "{{broken");

    e.edit(1, 1);
    TGridRichEdit* rich = e.g.EditRichEdit();
    ASSERT_TRUE(rich->isVisible());
    EXPECT_EQ(rich->toPlainText(), "bold plain");
    const QTextBlock block = rich->document()->begin();
    EXPECT_TRUE(block.begin().fragment().charFormat().font().bold());
    EXPECT_EQ(block.begin().fragment().text(), "bold");
    e.click(4, 5);
    EXPECT_FALSE(rich->isVisible());
    EXPECT_EQ(e.g.Cells(1, 1), cell);

    // Malformed RTF opens with what can be read and stays as stored.
    e.edit(2, 1);
    EXPECT_TRUE(rich->toPlainText().startsWith("bold plain"));
    e.click(4, 5);
    EXPECT_EQ(e.g.Cells(2, 1), cell + "{{broken");

    e.edit(1, 1);
    rich->moveCursor(QTextCursor::End);
    QTest::keyClicks(rich, "X");
    e.click(4, 5);
    const std::string stored = e.g.Cells(1, 1);
    EXPECT_NE(stored, cell);
    QTextDocument back;
    RTFToDocument(stored, back, e.g.Font());
    EXPECT_EQ(back.toPlainText(), "bold plainX");
    EXPECT_TRUE(back.begin().begin().fragment().charFormat().font().bold());
    EXPECT_EQ(back.begin().begin().fragment().text(), "bold");
}
