#include "grid/gridrtf.h"

#include "platform/oemcodepage.h"

#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <vector>

namespace grid {

namespace {

constexpr int kMaxDepth = 256;  // deeper groups are read as part of the deepest one

struct CharState {
    bool bold = false, italic = false, underline = false, strike = false, super = false, sub = false;
    int font = -1;       // index into the font table
    int halfPoints = 0;  // 0: the default size
    int color = 0;       // 0: the default colour
    int highlight = 0;
    int align = 0;       // 0 left, 1 right, 2 centre, 3 justified
    int skipAfterUnicode = 1;
    bool skipGroup = false;  // a data group: its text is not shown
};

// The reader's output: a document (when there is one) or plain text.
class Sink {
public:
    Sink(QTextDocument* Doc, const platform::Font& DefaultFont, int Dpi) : doc_(Doc), default_(DefaultFont), dpi_(Dpi)
    {
        if (doc_) {
            doc_->clear();
            doc_->setDefaultFont(DefaultFont.ToQFont(Dpi));
            cursor_ = QTextCursor(doc_);
        }
    }

    std::vector<QString> fonts;
    std::vector<QColor> colors;

    void text(const QString& S, const CharState& St)
    {
        if (S.isEmpty())
            return;
        plain_ += S;
        if (!doc_)
            return;
        QTextCharFormat f;
        QFont font = default_.ToQFont(dpi_);
        if (St.font >= 0 && St.font < static_cast<int>(fonts.size()) && !fonts[St.font].isEmpty())
            font.setFamily(platform::MapFaceName(fonts[St.font]));
        if (St.halfPoints > 0)
            font.setPointSizeF(std::clamp(St.halfPoints, 2, 800) / 2.0);
        font.setBold(St.bold);
        font.setItalic(St.italic);
        font.setUnderline(St.underline);
        font.setStrikeOut(St.strike);
        f.setFont(font);
        if (St.color > 0 && St.color < static_cast<int>(colors.size()) && colors[St.color].isValid())
            f.setForeground(colors[St.color]);
        else
            f.setForeground(platform::ToQColor(default_.Color));
        if (St.highlight > 0 && St.highlight < static_cast<int>(colors.size()) && colors[St.highlight].isValid())
            f.setBackground(colors[St.highlight]);
        if (St.super)
            f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        else if (St.sub)
            f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        QTextBlockFormat b = cursor_.blockFormat();
        static const Qt::Alignment kAlign[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter, Qt::AlignJustify};
        b.setAlignment(kAlign[std::clamp(St.align, 0, 3)]);
        b.setTopMargin(0);
        b.setBottomMargin(0);
        cursor_.setBlockFormat(b);
        cursor_.insertText(S, f);
    }
    void paragraph()
    {
        plain_ += QStringLiteral("\r\n");
        if (doc_)
            cursor_.insertBlock();
    }
    void lineBreak()
    {
        plain_ += QStringLiteral("\r\n");
        if (doc_)
            cursor_.insertText(QString(QChar::LineSeparator));
    }
    const QString& plain() const { return plain_; }

private:
    QTextDocument* doc_;
    platform::Font default_;
    int dpi_;
    QTextCursor cursor_;
    QString plain_;
};

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Groups whose text is data, not shown.
bool isDataDestination(const std::string& W)
{
    static const char* const kData[] = {"info",   "stylesheet", "pict",     "object", "header", "footer",
                                        "footnote", "field",    "fldinst",  "xe",     "tc",     "listtable",
                                        "listoverridetable", "rsidtbl", "generator", "themedata", "colorschememapping",
                                        "latentstyles", "datastore", "bkmkstart", "bkmkend", "nonshppict"};
    return std::any_of(std::begin(kData), std::end(kData), [&](const char* d) { return W == d; });
}

class Reader {
public:
    Reader(const std::string& Rtf, Sink& Out) : s_(Rtf), out_(Out) {}

    void read()
    {
        std::vector<CharState> stack;
        CharState st;
        enum Table { None, Fonts, Colors } table = None;
        std::vector<Table> tableStack;
        int fontIndex = -1;
        QString fontName;
        int r = -1, g = -1, b = -1;
        QString run;
        const auto flush = [&] {
            if (!run.isEmpty() && !st.skipGroup && table == None)
                out_.text(run, st);
            run.clear();
        };
        int skipChars = 0;  // characters still to skip after \uN
        int unpushed = 0;   // open groups past kMaxDepth
        char16_t high = 0;  // the first half of a surrogate pair, waiting for its second
        std::size_t i = 0;
        while (i < s_.size()) {
            const char c = s_[i];
            if (c == '{') {
                flush();
                if (stack.size() < kMaxDepth) {
                    stack.push_back(st);
                    tableStack.push_back(table);
                } else {
                    ++unpushed;
                }
                ++i;
                continue;
            }
            if (c == '}') {
                flush();
                if (unpushed > 0) {  // a group read as part of the deepest one ends
                    --unpushed;
                    ++i;
                    continue;
                }
                if (table == Fonts && fontIndex >= 0)
                    storeFont(fontIndex, fontName);
                if (!stack.empty()) {
                    st = stack.back();
                    stack.pop_back();
                    table = tableStack.back();
                    tableStack.pop_back();
                }
                fontIndex = -1;
                fontName.clear();
                ++i;
                continue;
            }
            if (c == '\r' || c == '\n') {
                ++i;
                continue;
            }
            if (c != '\\') {
                // Plain bytes: UTF-8 as it stands (cell texts are UTF-8).
                std::size_t j = i;
                while (j < s_.size() && s_[j] != '\\' && s_[j] != '{' && s_[j] != '}' && s_[j] != '\r' && s_[j] != '\n')
                    ++j;
                QString piece = QString::fromUtf8(s_.data() + i, static_cast<qsizetype>(j - i));
                i = j;
                if (skipChars > 0) {
                    const int drop = std::min<int>(skipChars, static_cast<int>(piece.size()));
                    piece.remove(0, drop);
                    skipChars -= drop;
                }
                if (!piece.isEmpty())
                    high = 0;
                if (table == Fonts) {
                    fontName += piece;
                } else if (table == Colors) {
                    for (QChar ch : piece)
                        if (ch == QLatin1Char(';')) {
                            out_.colors.push_back(r < 0 ? QColor() : QColor(std::clamp(r, 0, 255), std::clamp(g, 0, 255),
                                                                            std::clamp(b, 0, 255)));
                            r = g = b = -1;
                        }
                } else {
                    run += piece;
                }
                continue;
            }
            // A control word, control symbol or escaped character.
            ++i;
            if (i >= s_.size())
                break;
            const char d = s_[i];
            if (d == '\\' || d == '{' || d == '}') {
                if (skipChars > 0)
                    --skipChars;
                else if (table == None)
                    run += QLatin1Char(d);
                ++i;
                continue;
            }
            if (d == '\'') {
                const int h1 = i + 1 < s_.size() ? hexValue(s_[i + 1]) : -1;
                const int h2 = i + 2 < s_.size() ? hexValue(s_[i + 2]) : -1;
                i += 1 + (h1 >= 0) + (h1 >= 0 && h2 >= 0);
                if (skipChars > 0) {
                    --skipChars;
                } else if (h1 >= 0 && h2 >= 0 && table == None) {
                    const char32_t code = platform::Cp1252Char(static_cast<unsigned char>(h1 * 16 + h2));
                    run += QString::fromUcs4(&code, 1);
                }
                continue;
            }
            if (d == '*') {
                flush();
                st.skipGroup = true;
                ++i;
                continue;
            }
            if (d == '~') {
                if (table == None)
                    run += QChar(0x00A0);
                ++i;
                continue;
            }
            if (d == '-' || d == '_') {
                if (d == '_' && table == None)
                    run += QChar(0x2011);
                ++i;
                continue;
            }
            if (!isLetter(d)) {
                ++i;  // another control symbol: nothing to show
                continue;
            }
            std::size_t j = i;
            while (j < s_.size() && isLetter(s_[j]) && j - i < 32)
                ++j;
            const std::string word = s_.substr(i, j - i);
            while (j < s_.size() && isLetter(s_[j]))
                ++j;  // an overlong word is cut, its rest skipped
            bool hasParam = false;
            long long param = 0;
            bool negative = false;
            if (j < s_.size() && s_[j] == '-' && j + 1 < s_.size() && isDigit(s_[j + 1])) {
                negative = true;
                ++j;
            }
            int digits = 0;
            while (j < s_.size() && isDigit(s_[j])) {
                if (digits++ < 10)
                    param = param * 10 + (s_[j] - '0');
                hasParam = true;
                ++j;
            }
            if (negative)
                param = -param;
            if (j < s_.size() && s_[j] == ' ')
                ++j;  // the delimiting blank belongs to the control word
            i = j;
            const int p = static_cast<int>(std::clamp<long long>(param, -1000000, 1000000));

            if (word == "fonttbl") {
                flush();
                table = Fonts;
            } else if (word == "colortbl") {
                flush();
                table = Colors;
                r = g = b = -1;
            } else if (table == Fonts && word == "f") {
                if (fontIndex >= 0)
                    storeFont(fontIndex, fontName);
                fontIndex = hasParam ? std::clamp(p, 0, 4096) : -1;
                fontName.clear();
            } else if (table == Colors && (word == "red" || word == "green" || word == "blue")) {
                (word == "red" ? r : word == "green" ? g : b) = p;
                if (r < 0)
                    r = 0;
                if (g < 0)
                    g = 0;
                if (b < 0)
                    b = 0;
            } else if (table != None) {
                // other words of the tables carry nothing shown
            } else if (isDataDestination(word)) {
                flush();
                st.skipGroup = true;
            } else if (word == "par" || word == "sect" || word == "page") {
                flush();
                if (!st.skipGroup)
                    out_.paragraph();
            } else if (word == "line") {
                flush();
                if (!st.skipGroup)
                    out_.lineBreak();
            } else if (word == "tab") {
                run += QLatin1Char('\t');
            } else if (word == "u" && hasParam) {
                // a character outside the BMP comes as a surrogate pair, or
                // (as older texts hold it) as its own code point
                const char32_t code = static_cast<char32_t>(p < 0 ? p + 65536 : p);
                if (QChar::isLowSurrogate(code) && high != 0)
                    run += QString(QChar(high)) + QChar(static_cast<char16_t>(code));
                else if (code > 0 && code < 0x110000 && !QChar::isSurrogate(code))
                    run += QString::fromUcs4(&code, 1);
                high = QChar::isHighSurrogate(code) ? static_cast<char16_t>(code) : 0;
                skipChars = st.skipAfterUnicode;
            } else if (word == "uc") {
                st.skipAfterUnicode = std::clamp(p, 0, 8);
            } else if (word == "emdash" || word == "endash" || word == "bullet" || word == "lquote" ||
                       word == "rquote" || word == "ldblquote" || word == "rdblquote") {
                static const std::pair<const char*, char16_t> kSigns[] = {
                    {"emdash", 0x2014}, {"endash", 0x2013}, {"bullet", 0x2022}, {"lquote", 0x2018},
                    {"rquote", 0x2019}, {"ldblquote", 0x201C}, {"rdblquote", 0x201D}};
                for (const auto& [name, sign] : kSigns)
                    if (word == name)
                        run += QChar(sign);
            } else {
                flush();
                const bool on = !hasParam || p != 0;
                if (word == "b")
                    st.bold = on;
                else if (word == "i")
                    st.italic = on;
                else if (word == "ul")
                    st.underline = on;
                else if (word == "ulnone")
                    st.underline = false;
                else if (word == "strike")
                    st.strike = on;
                else if (word == "super")
                    st.super = on, st.sub = false;
                else if (word == "sub")
                    st.sub = on, st.super = false;
                else if (word == "nosupersub")
                    st.super = st.sub = false;
                else if (word == "fs")
                    st.halfPoints = hasParam ? std::clamp(p, 0, 1600) : 0;
                else if (word == "f")
                    st.font = hasParam ? p : -1;
                else if (word == "cf")
                    st.color = p;
                else if (word == "highlight" || word == "cb" || word == "chcbpat")
                    st.highlight = p;
                else if (word == "plain") {
                    const CharState keep = st;
                    st = CharState{};
                    st.align = keep.align;
                    st.skipAfterUnicode = keep.skipAfterUnicode;
                    st.skipGroup = keep.skipGroup;
                } else if (word == "pard")
                    st.align = 0;
                else if (word == "ql")
                    st.align = 0;
                else if (word == "qr")
                    st.align = 1;
                else if (word == "qc")
                    st.align = 2;
                else if (word == "qj")
                    st.align = 3;
            }
        }
        flush();
    }

private:
    void storeFont(int Index, QString Name)
    {
        Name = Name.trimmed();
        if (Name.endsWith(QLatin1Char(';')))
            Name.chop(1);
        if (static_cast<int>(out_.fonts.size()) <= Index)
            out_.fonts.resize(Index + 1);
        out_.fonts[Index] = Name.trimmed();
    }

    const std::string& s_;
    Sink& out_;
};

}  // namespace

void RTFToDocument(const std::string& Rtf, QTextDocument& Doc, const platform::Font& DefaultFont, int Dpi)
{
    Sink sink(&Doc, DefaultFont, Dpi);
    Reader(Rtf, sink).read();
}

std::string RTFPlainText(const std::string& Rtf)
{
    Sink sink(nullptr, platform::Font{}, 96);
    Reader(Rtf, sink).read();
    QString text = sink.plain();
    while (text.endsWith(QStringLiteral("\r\n")))
        text.chop(2);
    return text.toStdString();
}

// ---------------------------------------------------------------- writer

namespace {

void appendEscaped(std::string& Out, const QString& Text)
{
    const QList<uint> codes = Text.toUcs4();
    for (uint c : codes) {
        if (c == '\\' || c == '{' || c == '}') {
            Out += '\\';
            Out += static_cast<char>(c);
        } else if (c == '\t') {
            Out += "\\tab ";
        } else if (c == 0x2028 || c == '\n') {
            Out += "\\line ";
        } else if (c == '\r') {
            continue;
        } else if (c >= 32 && c < 128) {
            Out += static_cast<char>(c);
        } else if (c >= 128) {
            // each \uN a signed 16-bit unit; beyond the BMP a surrogate pair
            const char32_t code = c;
            for (const QChar unit : QString::fromUcs4(&code, 1))
                Out += "\\u" + std::to_string(static_cast<int16_t>(unit.unicode())) + ' ';
        }
    }
}

int indexOf(std::vector<QString>& List, const QString& Item)
{
    const auto it = std::find(List.begin(), List.end(), Item);
    if (it != List.end())
        return static_cast<int>(it - List.begin());
    List.push_back(Item);
    return static_cast<int>(List.size()) - 1;
}

int colorIndex(std::vector<QColor>& List, const QColor& Color)
{
    const auto it = std::find(List.begin(), List.end(), Color);
    if (it != List.end())
        return static_cast<int>(it - List.begin()) + 1;
    List.push_back(Color);
    return static_cast<int>(List.size());
}

}  // namespace

std::string DocumentToRTF(const QTextDocument& Doc, const platform::Font& DefaultFont, int Dpi)
{
    const QFont base = DefaultFont.ToQFont(Dpi);
    const QColor baseColor = platform::ToQColor(DefaultFont.Color);
    std::vector<QString> fonts{base.family()};
    std::vector<QColor> colors;
    std::string body;
    bool firstBlock = true;
    for (QTextBlock block = Doc.begin(); block.isValid(); block = block.next()) {
        if (!firstBlock)
            body += "\\par\n";
        firstBlock = false;
        const Qt::Alignment a = block.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        body += "\\pard";
        body += a & Qt::AlignRight ? "\\qr" : a & Qt::AlignHCenter ? "\\qc" : a & Qt::AlignJustify ? "\\qj" : "\\ql";
        body += ' ';
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat f = fragment.charFormat();
            const QFont font = f.font();
            std::string codes;
            if (font.family() != base.family())
                codes += "\\f" + std::to_string(indexOf(fonts, font.family()));
            if (font.pointSizeF() > 0 && font.pointSizeF() != base.pointSizeF())
                codes += "\\fs" + std::to_string(std::lround(font.pointSizeF() * 2));
            if (font.bold())
                codes += "\\b";
            if (font.italic())
                codes += "\\i";
            if (font.underline())
                codes += "\\ul";
            if (font.strikeOut())
                codes += "\\strike";
            if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().color() != baseColor)
                codes += "\\cf" + std::to_string(colorIndex(colors, f.foreground().color()));
            if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
                codes += "\\highlight" + std::to_string(colorIndex(colors, f.background().color()));
            if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
                codes += "\\super";
            else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
                codes += "\\sub";
            body += '{';
            if (!codes.empty())
                body += codes + ' ';
            appendEscaped(body, fragment.text());
            body += '}';
        }
    }
    std::string out = "{\\rtf1\\ansi\\deff0\\uc0{\\fonttbl";
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        out += "{\\f" + std::to_string(i) + ' ';
        appendEscaped(out, fonts[i]);
        out += ";}";
    }
    out += "}{\\colortbl ;";
    for (const QColor& c : colors)
        out += "\\red" + std::to_string(c.red()) + "\\green" + std::to_string(c.green()) + "\\blue" +
               std::to_string(c.blue()) + ';';
    out += "}\n" + body + "}";
    return out;
}

}  // namespace grid
