#include "grid/exchange/rtf.h"

#include "platform/oemcodepage.h"

#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <string_view>
#include <unordered_map>
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
bool isDataDestination(std::string_view W)
{
    static const char* const kData[] = {"info",   "stylesheet", "pict",     "object", "header", "footer",
                                        "footnote", "field",    "fldinst",  "xe",     "tc",     "listtable",
                                        "listoverridetable", "rsidtbl", "generator", "themedata", "colorschememapping",
                                        "latentstyles", "datastore", "bkmkstart", "bkmkend", "nonshppict"};
    return std::any_of(std::begin(kData), std::end(kData), [&](const char* d) { return W == d; });
}

// ---------------------------------------------------------------- tokenizer

// One piece of the text: a brace, a run of plain text, a control word, or
// a control symbol.
struct Token {
    enum Kind {
        Open,     // {
        Close,    // }
        Text,     // plain bytes (UTF-8), in `text`
        Escaped,  // \\ \{ \}: the character in `symbol`
        Hex,      // \'hh: `param` the byte, or -1 when the digits are missing
        Star,     // \*
        Char,     // \~ or \_: the character in `text`
        Word,     // a control word in `word`, with `param` when `hasParam`
        Nothing,  // any other control symbol
        End,
    } kind = End;
    std::string_view word;
    bool hasParam = false;
    int param = 0;
    char symbol = 0;
    QString text;

    bool on() const { return !hasParam || param != 0; }  // \b and \b1 switch on, \b0 off
};

// Cuts a rich text into tokens. It never reads past the text: a backslash
// at the end ends it, a cut escape gives what it has.
class Tokenizer {
public:
    explicit Tokenizer(std::string_view S) : s_(S) {}

    Token Next()
    {
        Token t;
        while (i_ < s_.size() && (s_[i_] == '\r' || s_[i_] == '\n'))
            ++i_;
        if (i_ >= s_.size())
            return t;
        const char c = s_[i_];
        if (c == '{' || c == '}') {
            ++i_;
            t.kind = c == '{' ? Token::Open : Token::Close;
        } else if (c != '\\') {
            plainText(t);
        } else if (++i_ < s_.size()) {
            control(t);
        }
        return t;
    }

private:
    void plainText(Token& T)
    {
        std::size_t j = i_;
        while (j < s_.size() && s_[j] != '\\' && s_[j] != '{' && s_[j] != '}' && s_[j] != '\r' && s_[j] != '\n')
            ++j;
        T.kind = Token::Text;
        T.text = QString::fromUtf8(s_.data() + i_, static_cast<qsizetype>(j - i_));
        i_ = j;
    }

    // After a backslash.
    void control(Token& T)
    {
        const char d = s_[i_];
        if (isLetter(d)) {
            word(T);
            return;
        }
        ++i_;
        switch (d) {
        case '\\': case '{': case '}':
            T.kind = Token::Escaped;
            T.symbol = d;
            break;
        case '\'': {
            const int h1 = i_ < s_.size() ? hexValue(s_[i_]) : -1;
            const int h2 = i_ + 1 < s_.size() ? hexValue(s_[i_ + 1]) : -1;
            i_ += (h1 >= 0) + (h1 >= 0 && h2 >= 0);
            T.kind = Token::Hex;
            T.param = h1 >= 0 && h2 >= 0 ? h1 * 16 + h2 : -1;
            break;
        }
        case '*':
            T.kind = Token::Star;
            break;
        case '~': case '_':
            T.kind = Token::Char;
            T.text = QChar(d == '~' ? 0x00A0 : 0x2011);
            break;
        default:
            T.kind = Token::Nothing;  // \- and other symbols show nothing
        }
    }

    // A control word: at most 32 letters (the rest of a longer one skipped),
    // an optional signed number (up to ten digits read, clamped to a
    // million), and the blank that delimits it.
    void word(Token& T)
    {
        std::size_t j = i_;
        while (j < s_.size() && isLetter(s_[j]) && j - i_ < 32)
            ++j;
        T.kind = Token::Word;
        T.word = s_.substr(i_, j - i_);
        while (j < s_.size() && isLetter(s_[j]))
            ++j;
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
            T.hasParam = true;
            ++j;
        }
        if (negative)
            param = -param;
        if (j < s_.size() && s_[j] == ' ')
            ++j;  // the delimiting blank belongs to the control word
        i_ = j;
        T.param = static_cast<int>(std::clamp<long long>(param, -1000000, 1000000));
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

// ---------------------------------------------------------------- reader

class Reader {
public:
    Reader(const std::string& Rtf, Sink& Out) : tokens_(Rtf), out_(Out) {}

    void read()
    {
        for (Token t = tokens_.Next(); t.kind != Token::End; t = tokens_.Next()) {
            switch (t.kind) {
            case Token::Open: openGroup(); break;
            case Token::Close: closeGroup(); break;
            case Token::Text: text(t.text); break;
            case Token::Escaped:
                if (skipChars_ > 0)
                    --skipChars_;
                else if (table_ == None)
                    run_ += QLatin1Char(t.symbol);
                break;
            case Token::Hex:
                if (skipChars_ > 0) {
                    --skipChars_;
                } else if (t.param >= 0 && table_ == None) {
                    const char32_t code = platform::Cp1252Char(static_cast<unsigned char>(t.param));
                    run_ += QString::fromUcs4(&code, 1);
                }
                break;
            case Token::Star:
                flush();
                st_.skipGroup = true;
                break;
            case Token::Char:
                if (table_ == None)
                    run_ += t.text;
                break;
            case Token::Word: word(t); break;
            case Token::Nothing: case Token::End: break;
            }
        }
        flush();
    }

private:
    enum Table { None, Fonts, Colors };
    using Action = void (*)(Reader&, const Token&);

    void flush()
    {
        if (!run_.isEmpty() && !st_.skipGroup && table_ == None)
            out_.text(run_, st_);
        run_.clear();
    }

    void openGroup()
    {
        flush();
        if (stack_.size() < kMaxDepth) {
            stack_.push_back({st_, table_});
        } else {
            ++unpushed_;
        }
    }

    void closeGroup()
    {
        flush();
        if (unpushed_ > 0) {  // a group read as part of the deepest one ends
            --unpushed_;
            return;
        }
        if (table_ == Fonts && fontIndex_ >= 0)
            storeFont(fontIndex_, fontName_);
        if (!stack_.empty()) {
            st_ = stack_.back().state;
            table_ = stack_.back().table;
            stack_.pop_back();
        }
        fontIndex_ = -1;
        fontName_.clear();
    }

    // Plain text: shown, a font's name, or the colour table's separators.
    void text(QString Piece)
    {
        if (skipChars_ > 0) {
            const int drop = std::min<int>(skipChars_, static_cast<int>(Piece.size()));
            Piece.remove(0, drop);
            skipChars_ -= drop;
        }
        if (!Piece.isEmpty())
            high_ = 0;
        if (table_ == Fonts) {
            fontName_ += Piece;
        } else if (table_ == Colors) {
            for (QChar ch : Piece)
                if (ch == QLatin1Char(';')) {
                    out_.colors.push_back(r_ < 0 ? QColor()
                                                 : QColor(std::clamp(r_, 0, 255), std::clamp(g_, 0, 255),
                                                          std::clamp(b_, 0, 255)));
                    r_ = g_ = b_ = -1;
                }
        } else {
            run_ += Piece;
        }
    }

    void word(const Token& T)
    {
        if (T.word == "fonttbl") {
            flush();
            table_ = Fonts;
        } else if (T.word == "colortbl") {
            flush();
            table_ = Colors;
            r_ = g_ = b_ = -1;
        } else if (table_ != None) {
            tableWord(T);
        } else if (isDataDestination(T.word)) {
            flush();
            st_.skipGroup = true;
        } else if (const auto it = actions().find(T.word); it != actions().end()) {
            it->second(*this, T);
        } else {
            flush();  // any other word ends the run and changes nothing
        }
    }

    // Inside the font and colour tables only \f, \red, \green and \blue count.
    void tableWord(const Token& T)
    {
        if (table_ == Fonts && T.word == "f") {
            if (fontIndex_ >= 0)
                storeFont(fontIndex_, fontName_);
            fontIndex_ = T.hasParam ? std::clamp(T.param, 0, 4096) : -1;
            fontName_.clear();
        } else if (table_ == Colors && (T.word == "red" || T.word == "green" || T.word == "blue")) {
            (T.word == "red" ? r_ : T.word == "green" ? g_ : b_) = T.param;
            r_ = std::max(r_, 0);
            g_ = std::max(g_, 0);
            b_ = std::max(b_, 0);
        }
    }

    // \uN: a character outside the BMP comes as a surrogate pair, or (as
    // older texts hold it) as its own code point.
    void unicode(const Token& T)
    {
        if (!T.hasParam) {
            flush();
            return;
        }
        const char32_t code = static_cast<char32_t>(T.param < 0 ? T.param + 65536 : T.param);
        if (QChar::isLowSurrogate(code) && high_ != 0)
            run_ += QString(QChar(high_)) + QChar(static_cast<char16_t>(code));
        else if (code > 0 && code < 0x110000 && !QChar::isSurrogate(code))
            run_ += QString::fromUcs4(&code, 1);
        high_ = QChar::isHighSurrogate(code) ? static_cast<char16_t>(code) : 0;
        skipChars_ = st_.skipAfterUnicode;
    }

    // A word that sets a character or paragraph property ends the run first.
    template <typename Set>
    static Action formatting(Set)
    {
        return [](Reader& R, const Token& T) {
            R.flush();
            Set{}(R.st_, T);
        };
    }

    // The control words outside the tables and what each does.
    static const std::unordered_map<std::string_view, Action>& actions()
    {
        using S = CharState;
        using T = const Token&;
        static const std::unordered_map<std::string_view, Action> kActions = {
            {"par", paragraph}, {"sect", paragraph}, {"page", paragraph},
            {"line", [](Reader& R, T) { R.flush(); if (!R.st_.skipGroup) R.out_.lineBreak(); }},
            {"tab", [](Reader& R, T) { R.run_ += QLatin1Char('\t'); }},
            {"u", [](Reader& R, T W) { R.unicode(W); }},
            {"uc", [](Reader& R, T W) { R.st_.skipAfterUnicode = std::clamp(W.param, 0, 8); }},
            {"emdash", sign<0x2014>}, {"endash", sign<0x2013>}, {"bullet", sign<0x2022>},
            {"lquote", sign<0x2018>}, {"rquote", sign<0x2019>}, {"ldblquote", sign<0x201C>},
            {"rdblquote", sign<0x201D>},
            {"b", formatting([](S& St, T W) { St.bold = W.on(); })},
            {"i", formatting([](S& St, T W) { St.italic = W.on(); })},
            {"ul", formatting([](S& St, T W) { St.underline = W.on(); })},
            {"ulnone", formatting([](S& St, T) { St.underline = false; })},
            {"strike", formatting([](S& St, T W) { St.strike = W.on(); })},
            {"super", formatting([](S& St, T W) { St.super = W.on(), St.sub = false; })},
            {"sub", formatting([](S& St, T W) { St.sub = W.on(), St.super = false; })},
            {"nosupersub", formatting([](S& St, T) { St.super = St.sub = false; })},
            {"fs", formatting([](S& St, T W) { St.halfPoints = W.hasParam ? std::clamp(W.param, 0, 1600) : 0; })},
            {"f", formatting([](S& St, T W) { St.font = W.hasParam ? W.param : -1; })},
            {"cf", formatting([](S& St, T W) { St.color = W.param; })},
            {"highlight", formatting([](S& St, T W) { St.highlight = W.param; })},
            {"cb", formatting([](S& St, T W) { St.highlight = W.param; })},
            {"chcbpat", formatting([](S& St, T W) { St.highlight = W.param; })},
            {"plain", formatting([](S& St, T) {
                 CharState plain;
                 plain.align = St.align;
                 plain.skipAfterUnicode = St.skipAfterUnicode;
                 plain.skipGroup = St.skipGroup;
                 St = plain;
             })},
            {"pard", formatting([](S& St, T) { St.align = 0; })},
            {"ql", formatting([](S& St, T) { St.align = 0; })},
            {"qr", formatting([](S& St, T) { St.align = 1; })},
            {"qc", formatting([](S& St, T) { St.align = 2; })},
            {"qj", formatting([](S& St, T) { St.align = 3; })},
        };
        return kActions;
    }

    static void paragraph(Reader& R, const Token&)
    {
        R.flush();
        if (!R.st_.skipGroup)
            R.out_.paragraph();
    }

    template <char16_t Sign>
    static void sign(Reader& R, const Token&)
    {
        R.run_ += QChar(Sign);
    }

    void storeFont(int Index, QString Name)
    {
        Name = Name.trimmed();
        if (Name.endsWith(QLatin1Char(';')))
            Name.chop(1);
        if (static_cast<int>(out_.fonts.size()) <= Index)
            out_.fonts.resize(Index + 1);
        out_.fonts[Index] = Name.trimmed();
    }

    struct Saved {
        CharState state;
        Table table;
    };

    Tokenizer tokens_;
    Sink& out_;
    CharState st_;
    Table table_ = None;
    std::vector<Saved> stack_;
    int unpushed_ = 0;  // open groups past kMaxDepth
    int fontIndex_ = -1;
    QString fontName_;
    int r_ = -1, g_ = -1, b_ = -1;
    QString run_;
    int skipChars_ = 0;  // characters still to skip after \uN
    char16_t high_ = 0;  // the first half of a surrogate pair, waiting for its second
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
