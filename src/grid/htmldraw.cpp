#include "grid/htmldraw.h"

#include "grid/htmlpictures.h"
#include "grid/imagelist.h"
#include "grid/vurirod.h"

#include <QFileInfo>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cstring>

namespace grid {

using platform::Canvas;
using platform::Rect;
using platform::TColor;

namespace {

constexpr unsigned kRunFlags =
    platform::DT_BOTTOM | platform::DT_SINGLELINE | platform::DT_EXPANDTABS | platform::DT_EXTERNALLEADING;
constexpr int kBulletStep = 12;
constexpr int kMaxPointSize = 400;  // larger sizes only cost time; the text is cut at the cell anyway

bool startsWith(const std::string& S, const char* Prefix)
{
    return S.compare(0, std::strlen(Prefix), Prefix) == 0;
}

QString q(const std::string& S) { return QString::fromUtf8(S.data(), static_cast<qsizetype>(S.size())); }

// Case-insensitive (ASCII) search from From; npos when absent.
std::size_t findNoCase(const std::string& S, const std::string& Pattern, std::size_t From = 0)
{
    if (Pattern.empty() || S.size() < Pattern.size())
        return std::string::npos;
    const auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    for (std::size_t i = From; i + Pattern.size() <= S.size(); ++i) {
        std::size_t k = 0;
        while (k < Pattern.size() && up(S[i + k]) == up(Pattern[k]))
            ++k;
        if (k == Pattern.size())
            return i;
    }
    return std::string::npos;
}

// Replaces every occurrence, in one pass from left to right.
bool replaceAll(std::string& S, const std::string& Pattern, const std::string& With, bool NoCase)
{
    std::string out;
    bool any = false;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = NoCase ? findNoCase(S, Pattern, from) : S.find(Pattern, from);
        if (at == std::string::npos)
            break;
        out.append(S, from, at - from);
        out += With;
        from = at + Pattern.size();
        any = true;
    }
    if (any) {
        out.append(S, from, std::string::npos);
        S = std::move(out);
    }
    return any;
}

// The entities written with "&name;", as UTF-8; "&amp;" becomes the doubled
// ampersand that the text call draws as one.
void replaceEntities(std::string& S)
{
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&amp;", "&&"},          {"&quot;", "\""},         {"&sect;", "\u00A7"}, {"&permil;", "\u2030"},
        {"&reg;", "\u00AE"},      {"&copy;", "\u00A9"},     {"&para;", "\u00B6"}, {"&trade;", "\u2122"},
        {"&euro;", "\u20AC"},
    };
    if (S.find('&') == std::string::npos)
        return;
    // Every replacement shortens the text, so the rounds end.
    for (bool changed = true; changed;) {
        changed = false;
        for (const auto& [name, value] : kEntities)
            changed |= replaceAll(S, name, value, true);
    }
}

// The three entities that runs resolve themselves (lower case only).
void replaceRunEntities(std::string& S)
{
    if (S.find('&') == std::string::npos)
        return;
    replaceAll(S, "&nbsp;", " ", false);
    replaceAll(S, "&lt;", "<", false);
    replaceAll(S, "&gt;", ">", false);
}

// The value of an attribute: the text between the first two double quotes
// after its name, taken from the tag as written (values keep their case).
// Without a closing quote the value runs to the end of the tag.
bool attribute(const std::string& Tag, const std::string& UpperTag, const char* Name, std::string& Value)
{
    const std::size_t at = UpperTag.find(Name);
    if (at == std::string::npos)
        return false;
    Value.clear();
    const std::size_t open = Tag.find('"', at + std::strlen(Name));
    if (open == std::string::npos)
        return true;
    std::size_t close = Tag.find('"', open + 1);
    if (close == std::string::npos)
        close = Tag.size() - (Tag.back() == '>' ? 1 : 0);
    if (close > open + 1)
        Value = Tag.substr(open + 1, close - open - 1);
    return true;
}

// The number after NAME= (quotes optional); false when there is none.
bool numberAttribute(const std::string& UpperTag, const char* Name, int& Value)
{
    const std::size_t at = UpperTag.find(Name);
    if (at == std::string::npos)
        return false;
    std::size_t p = at + std::strlen(Name);
    while (p < UpperTag.size() && UpperTag[p] == ' ')
        ++p;
    if (p >= UpperTag.size() || UpperTag[p] != '=')
        return false;
    ++p;
    while (p < UpperTag.size() && (UpperTag[p] == ' ' || UpperTag[p] == '"'))
        ++p;
    if (p >= UpperTag.size() || !((UpperTag[p] >= '0' && UpperTag[p] <= '9') || UpperTag[p] == '-' || UpperTag[p] == '+'))
        return false;
    if ((UpperTag[p] == '-' || UpperTag[p] == '+') && (p + 1 >= UpperTag.size() || UpperTag[p + 1] < '0' || UpperTag[p + 1] > '9'))
        return false;
    Value = IntValue(UpperTag.substr(p));
    return true;
}

// A colour written as a name ("clRed") or as "#RRGGBB".
TColor colorValue(const std::string& V)
{
    if (!V.empty() && V[0] == '#')
        return HexColorToColor(V);
    return ColorNameToColor(LowerCase(Trim(V)));
}

// The points of a FONT SIZE value: 1..5 are the HTML steps, others are points.
int fontPoints(int Size)
{
    static const int kSteps[] = {8, 10, 12, 14, 16};
    if (Size >= 1 && Size <= 5)
        return kSteps[Size - 1];
    return std::min(Size, kMaxPointSize);
}

// What the measuring pass tells about a line.
struct LineInfo {
    int width = 0, height = 0, sub = 0, sup = 0, raise = 0, align = 0, indent = 0;
    int hitPicture = 0;  // number of the picture under the point, 0 none
};

// The formatting state one pass carries from line to line.
struct PassState {
    platform::Font font;
    TColor brush = platform::clNone;  // background of the runs
    int anchorCount = 0, bulletLevel = 0, pictureCount = 0;
    bool anchorOpen = false;
    std::string anchorValue;
    int anchorStartX = 0;
    bool sub = false, sup = false, shadow = false, hidden = false, error = false, blinkHidden = false;
    bool paraColor = false;
    TColor anchorPrevBrush = platform::clNone, anchorPrevFontColor = platform::clBlack;
    TColor fontPrevBrush = platform::clNone, hiPrevBrush = platform::clNone, hiPrevFontColor = platform::clBlack;
    TColor paraPrevBrush = platform::clNone;
};

enum class Mode { Measure, HitTest, Draw };

class Renderer {
public:
    Renderer(Canvas& C, const Rect& R, const THTMLDrawParams& In, THTMLDrawResult& Out)
        : c_(C), r_(R), in_(In), out_(Out)
    {
    }

    bool run(const std::string& Text);

private:
    // Lays out (and draws or hit-tests) one line from Src[Pos, Limit);
    // advances Pos past what the line took. Returns false when the rest of
    // the text is to be dropped.
    bool line(PassState& St, const std::string& Src, std::size_t& Pos, std::size_t Limit, const Rect& Lr,
              LineInfo& Li, Mode M, bool ForceFirst);
    // Where a line's layout stands: the running width from the line's left
    // edge, the drawing position and the width of a trailing blank.
    struct LineCursor {
        int w = 0, x = 0, trailingBlank = 0;
    };
    bool layOut(PassState& St, const std::string& Src, std::size_t& Pos, std::size_t Limit, const Rect& Lr,
                LineInfo& Li, Mode M, bool ForceFirst, LineCursor& Lc);
    // One line's layout in progress: what the steps of layOut share.
    struct LineWork {
        PassState& St;
        const Rect& Lr;
        LineInfo& Li;
        Mode M;
        LineCursor& Lc;
        bool drawing = false, checking = false;
        int lineW = 0;
        int textBand = 0;               // the bottom of the line's text, less its raise
        bool first = false;             // the item at hand is the first the line must take
        bool placedEndsBlank = false;   // the last run placed ends with a blank
        int bullets = 0;                // list items begun on the line
        // What every step reads of the line, taken in one line as
        //     const auto [St, Lr, Li, M, w, x] = W.state();
        // w and x are the cursor's running width and drawing position.
        struct State {
            PassState& St;
            const Rect& Lr;
            LineInfo& Li;
            Mode M;
            int& w;
            int& x;
        };
        State state() const { return {St, Lr, Li, M, Lc.w, Lc.x}; }
    };
    // What a step leaves the line to do: go on, end after the step, end
    // before it (the item starts the next line), or drop the rest of the text.
    enum class Step { Next, EndLine, NextLine, Cut };
    Step layOutRun(LineWork& W, const std::string& Src, std::size_t& Pos, std::size_t Limit);
    Step layOutTag(LineWork& W, const std::string& Src, std::size_t& Pos, std::size_t Limit);
    Step openTag(LineWork& W, const std::string& Tag, const std::string& Ut);
    Step closeTag(LineWork& W, const std::string& Ut);
    void openAnchor(LineWork& W, const std::string& Tag);
    void closeAnchor(LineWork& W);
    void paintBody(PassState& St, const std::string& Tag, const std::string& Ut);
    void openFont(LineWork& W, const std::string& Tag, const std::string& Ut);
    Step placePicture(LineWork& W, const std::string& Tag, const std::string& Ut);
    Step placeBullet(LineWork& W);
    void openParagraph(LineWork& W, const std::string& Tag, const std::string& Ut);
    int ghHeight(const platform::Font& F)
    {
        c_.Font = F;
        return c_.TextHeight(QStringLiteral("gh"));
    }
    void drawRun(PassState& St, const QString& Text, int X, int Bottom, int Right);
    void drawZigzag(int X1, int X2, int Bottom);
    // The part of the drawing rectangle that can reach the device.
    Rect visibleArea() const
    {
        Rect area = r_;
        if (c_.HasClipRect())
            area = area.Intersected(c_.ClipRect());
        if (QPainter* p = c_.Painter(); p && p->device()) {
            const QRect dev = p->worldTransform().inverted().mapRect(QRect(0, 0, p->device()->width(), p->device()->height()));
            area = area.Intersected(Rect::FromQRect(dev));
        }
        return area;
    }
    // The next "<" from Pos; remembered, so that long texts are not scanned again for every word.
    std::size_t nextTag(const std::string& Src, std::size_t Pos)
    {
        if (!(Pos >= ltFrom_ && (ltAt_ == std::string::npos || ltAt_ >= Pos))) {
            ltFrom_ = Pos;
            ltAt_ = Src.find('<', Pos);
        }
        return ltAt_;
    }
    std::size_t ltFrom_ = std::string::npos, ltAt_ = 0;
    // The focus frame of an anchor, kept to the drawing rectangle.
    void drawFocus(Rect F)
    {
        Rect area = r_;
        area.Inflate(1, 1);
        F = F.Intersected(area);
        if (!F.IsEmpty())
            c_.DrawFocusRect(F);
    }
    HTMLPictureRef picture(const std::string& Src, bool& IsImageIndex, int& Index);

    Canvas& c_;
    Rect r_;
    const THTMLDrawParams& in_;
    THTMLDrawResult& out_;
    unsigned flags_ = kRunFlags;
    TColor background_ = platform::clNone;
    platform::Font base_;
    bool textHit_ = false, pictureHit_ = false;
    // The anchor found under the point in the hit-testing pass.
    int hitAnchor_ = 0;
    // Focus frame of the FocusLink anchor while drawing.
    bool focusOpen_ = false;
    int focusStartX_ = 0;
    // Measured values of the line being drawn.
    LineInfo cur_;
    int lineTop_ = 0, lineBottom_ = 0, textBottom_ = 0;
};

void Renderer::drawRun(PassState& St, const QString& Text, int X, int Bottom, int Right)
{
    if (X >= Right || St.blinkHidden)
        return;
    c_.Font = St.font;
    c_.Brush.SetColor(St.brush);
    if (St.brush == platform::clNone)
        c_.SetBackgroundTransparent(true);
    const int th = c_.TextHeight(Text);
    if (St.font.Orientation != 0) {
        c_.TextOut(X, Bottom - th, Text);
        return;
    }
    if (St.shadow) {
        const TColor keep = c_.Font.Color;
        c_.Font.Color = in_.ShadowColor;
        Rect sr{X + in_.ShadowOffset, Bottom - th - 1 + in_.ShadowOffset, Right + in_.ShadowOffset,
                Bottom + in_.ShadowOffset};
        c_.DrawText(Text, sr, flags_);
        c_.Font.Color = keep;
    }
    Rect rr{X, std::min(lineTop_, Bottom - th), Right, Bottom};
    c_.DrawText(Text, rr, flags_);
}

// A red zigzag under [X1, X2): 2 pixels a step between Bottom - 1 and Bottom + 1.
void Renderer::drawZigzag(int X1, int X2, int Bottom)
{
    c_.Pen.Color = platform::clRed;
    c_.Pen.Width = 1;
    c_.Pen.Style = platform::psSolid;
    int x = std::max(X1, r_.Left - 2) & ~1;
    X2 = std::min(X2, r_.Right + 2);
    bool low = x % 4 == 0;
    c_.MoveTo(x, low ? Bottom + 1 : Bottom - 1);
    while (x < X2) {
        x += 2;
        low = !low;
        c_.LineTo(x, low ? Bottom + 1 : Bottom - 1);
    }
}

HTMLPictureRef Renderer::picture(const std::string& Src, bool& IsImageIndex, int& Index)
{
    IsImageIndex = false;
    Index = -1;
    const std::string up = UpperCase(Src);
    if (startsWith(up, "IDX:")) {
        IsImageIndex = true;
        Index = IntValue(Src.substr(4));
        return {};
    }
    return FindHTMLPicture(Src, in_.PictureCache, in_.PictureContainer, in_.Printing, in_.Resolution);
}

bool Renderer::line(PassState& St, const std::string& Src, std::size_t& Pos, std::size_t Limit, const Rect& Lr,
                    LineInfo& Li, Mode M, bool ForceFirst)
{
    LineCursor lc;
    lc.x = Lr.Left;
    const bool keep = layOut(St, Src, Pos, Limit, Lr, Li, M, ForceFirst, lc);
    const int width = std::max(0, lc.w - lc.trailingBlank);
    if (M == Mode::Measure)
        Li.width = width;
    if (M == Mode::Draw && focusOpen_ && St.anchorOpen) {
        const int gh = ghHeight(St.font);
        drawFocus({focusStartX_ - 1, textBottom_ - gh, lc.x + 1, textBottom_});
    }
    if (M == Mode::HitTest && St.anchorOpen && hitAnchor_ == St.anchorCount && hitAnchor_ > 0 &&
        out_.HoverRect.Top == lineTop_)
        out_.HoverRect.Right = Lr.Left + lc.w;
    return keep;
}

bool Renderer::layOut(PassState& St, const std::string& Src, std::size_t& Pos, std::size_t Limit, const Rect& Lr,
                      LineInfo& Li, Mode M, bool ForceFirst, LineCursor& Lc)
{
    LineWork W{St, Lr, Li, M, Lc};
    W.drawing = M == Mode::Draw;
    W.checking = !W.drawing;
    W.lineW = Lr.Right - Lr.Left;
    if (M == Mode::Measure)
        Li.height = ghHeight(St.font);
    if (St.anchorOpen)
        St.anchorStartX = Lr.Left;
    if (W.drawing && focusOpen_)
        focusStartX_ = Lr.Left;
    W.textBand = textBottom_ - cur_.raise;

    int items = 0;
    while (Pos < Limit) {
        W.first = ForceFirst && items == 0;
        const Step step = Src[Pos] != '<' ? layOutRun(W, Src, Pos, Limit) : layOutTag(W, Src, Pos, Limit);
        if (step == Step::NextLine)
            return true;
        if (step == Step::Cut)
            return false;
        ++items;
        if (step == Step::EndLine)
            break;
    }
    return true;
}

// A run of text: up to the next tag, or one word with its blank.
Renderer::Step Renderer::layOutRun(LineWork& W, const std::string& Src, std::size_t& Pos, std::size_t Limit)
{
    const auto [St, Lr, Li, M, w, x] = W.state();
    std::size_t lt = nextTag(Src, Pos);
    if (lt > Limit)
        lt = std::string::npos;
    std::size_t bl = in_.WordWrap ? Src.find(' ', Pos) : std::string::npos;
    if (bl >= Limit)
        bl = std::string::npos;
    std::size_t end;
    if (lt != std::string::npos && (bl == std::string::npos || lt < bl))
        end = lt;
    else if (bl != std::string::npos)
        end = bl + 1;
    else
        end = Limit;
    std::string run = Src.substr(Pos, end - Pos);
    replaceRunEntities(run);
    c_.Font = St.font;
    const QString qrun = q(run);
    const int th = c_.TextHeight(qrun);
    const auto takeRun = [&] {
        if (M != Mode::Measure)
            return;
        Li.height = std::max(Li.height, th);
        if (St.sub)
            Li.sub = std::max(Li.sub, th / 4);
        if (St.sup)
            Li.sup = std::max(Li.sup, th / 4);
        out_.StrippedText += run;
    };
    if (St.hidden) {
        takeRun();
        Pos = end;
        return Step::Next;
    }
    Rect cr{0, 0, 0, 0};
    c_.DrawText(qrun, cr, flags_ | platform::DT_CALCRECT);
    const int runW = cr.Width();
    // A run fits on the line when there is room, or when it continues
    // a word (nothing placed yet, or no blank before it).
    const bool fits = W.first || w + runW < W.lineW || !W.placedEndsBlank;
    if (!fits && in_.WordWrap)
        return Step::NextLine;  // the run starts the next line
    takeRun();
    if (M == Mode::HitTest && St.anchorOpen) {
        const int rx = in_.X - Lr.Left;
        if (rx >= w && rx <= w + runW && in_.Y >= W.textBand - ghHeight(St.font) && in_.Y <= W.textBand) {
            textHit_ = true;
            out_.AnchorValue = St.anchorValue;
            out_.MouseLink = St.anchorCount;
            hitAnchor_ = St.anchorCount;
            out_.HoverRect = {St.anchorStartX, lineTop_, Lr.Left + w + runW, lineBottom_};
        }
    }
    if (W.drawing) {
        int bottom = textBottom_ - cur_.raise;
        if (St.sub)
            bottom += cur_.sub;
        if (St.sup)
            bottom -= cur_.sup;
        drawRun(St, qrun, x, bottom, Lr.Right);
        if (St.error && runW > 0)
            drawZigzag(x, x + runW, bottom);
    }
    w += runW;
    x += runW;
    W.placedEndsBlank = !run.empty() && run.back() == ' ';
    if (W.placedEndsBlank) {
        c_.Font = St.font;
        W.Lc.trailingBlank = c_.TextWidth(QStringLiteral(" "));
    } else {
        W.Lc.trailingBlank = 0;
    }
    Pos = end;
    if (!fits && W.checking) {
        Pos = Limit;
        return Step::Cut;  // cut here: the rest of the text is not shown
    }
    return Step::Next;
}

// A tag: an unclosed or too short one cuts the text there.
Renderer::Step Renderer::layOutTag(LineWork& W, const std::string& Src, std::size_t& Pos, std::size_t Limit)
{
    if (Limit - Pos < 3) {
        Pos = Limit;
        return Step::Cut;
    }
    const std::size_t gt = Src.find('>', Pos);
    if (gt == std::string::npos || gt >= Limit) {
        Pos = Limit;
        return Step::Cut;
    }
    const std::string tag = Src.substr(Pos, gt - Pos + 1);
    const std::string ut = UpperCase(tag);
    const bool closing = tag.size() > 3 && tag[1] == '/';
    const Step step = closing ? closeTag(W, ut) : openTag(W, tag, ut);
    if (step != Step::NextLine)
        Pos = gt + 1;
    return step;
}

Renderer::Step Renderer::openTag(LineWork& W, const std::string& Tag, const std::string& Ut)
{
    const auto [St, Lr, Li, M, w, x] = W.state();
    switch (Ut[1]) {
    case 'A':
        openAnchor(W, Tag);
        break;
    case 'B':
        if (startsWith(Ut, "<B>")) {
            St.font.Style |= platform::fsBold;
        } else if (startsWith(Ut, "<BR")) {
            if (M == Mode::Measure)
                out_.StrippedText += '\r';
            return Step::EndLine;
        } else if (startsWith(Ut, "<BL")) {
            if (!in_.BlinkOn)
                St.blinkHidden = true;
        } else if (startsWith(Ut, "<BO") && W.drawing) {
            paintBody(St, Tag, Ut);
        }
        break;
    case 'E':
        if (W.drawing)
            St.error = true;
        break;
    case 'F':
        if (startsWith(Ut, "<FONT"))
            openFont(W, Tag, Ut);
        break;
    case 'H':
        if (startsWith(Ut, "<HI>")) {
            if (W.drawing) {
                St.hiPrevBrush = St.brush;
                St.hiPrevFontColor = St.font.Color;
                St.brush = platform::clHighlight;
                St.font.Color = platform::clHighlightText;
            }
        } else if (startsWith(Ut, "<HR")) {
            if (W.drawing) {
                c_.Pen.Color = St.font.Color;  // a rule in the text's colour
                c_.Pen.Width = 1;
                c_.Pen.Style = platform::psSolid;
                c_.MoveTo(Lr.Left, lineBottom_ + 1);
                c_.LineTo(Lr.Right, lineBottom_ + 1);
            }
            return Step::EndLine;
        }
        break;
    case 'I':
        if (startsWith(Ut, "<I>")) {
            St.font.Style |= platform::fsItalic;
        } else if (startsWith(Ut, "<IN")) {
            // <IND x="n">: an absolute indent from the line's left edge.
            const std::size_t xp = Ut.find('X');
            const std::size_t q1 = xp == std::string::npos ? xp : Tag.find('"', xp);
            if (q1 != std::string::npos && q1 + 1 < Tag.size() && Tag[q1 + 1] >= '0' && Tag[q1 + 1] <= '9') {
                const int n = std::min(IntValue(Tag.substr(q1 + 1)), 65535);
                if (n > w) {
                    w = n;
                    x = Lr.Left + n;
                }
            }
        } else if (startsWith(Ut, "<IM")) {
            return placePicture(W, Tag, Ut);
        }
        break;
    case 'L':
        return placeBullet(W);
    case 'P':
        openParagraph(W, Tag, Ut);
        break;
    case 'R': {
        const std::size_t a = Ut.find('A', 2);
        if (a != std::string::npos) {
            const std::size_t q1 = Tag.find('"', a);
            if (q1 != std::string::npos) {
                const int degrees = IntValue(Tag.substr(q1 + 1)) % 360;
                St.font.Orientation = degrees * 10;
            }
        }
        break;
    }
    case 'S':
        if (startsWith(Ut, "<S>"))
            St.font.Style |= platform::fsStrikeOut;
        else if (startsWith(Ut, "<SH"))
            St.shadow = true;
        else if (startsWith(Ut, "<SUB>"))
            St.sub = true;
        else if (startsWith(Ut, "<SUP>"))
            St.sup = true;
        break;
    case 'U':
        if (startsWith(Ut, "<U>"))
            St.font.Style |= platform::fsUnderline;
        else
            ++St.bulletLevel;
        break;
    case 'Z':
        St.hidden = true;
        break;
    default:
        break;
    }
    return Step::Next;
}

// <A href="...">: numbers the anchor, takes its value and its colours.
void Renderer::openAnchor(LineWork& W, const std::string& Tag)
{
    const auto [St, Lr, Li, M, w, x] = W.state();
    const int number = ++St.anchorCount;
    const bool focus = in_.FocusLink == number - 1;
    if (focus && W.drawing) {
        focusOpen_ = true;
        focusStartX_ = x;
    }
    const std::size_t q1 = Tag.find('"');
    const std::size_t q2 = q1 == std::string::npos ? q1 : Tag.find('"', q1 + 1);
    St.anchorValue = q1 == std::string::npos ? std::string()
                                             : Tag.substr(q1 + 1, (q2 == std::string::npos ? Tag.size() - 1 : q2) - q1 - 1);
    if (focus && M != Mode::Measure)
        out_.FocusAnchor = St.anchorValue;
    const bool hovered = in_.HoverMode && number == in_.HoverLink;
    const bool applies = !in_.HoverMode || hovered;
    if (W.drawing && applies) {
        St.font.Style |= platform::fsUnderline;
        St.anchorPrevBrush = St.brush;
        St.anchorPrevFontColor = St.font.Color;
        if (in_.HoverColor != platform::clNone)
            St.brush = in_.HoverColor;
        if (in_.HoverFontColor != platform::clNone)
            St.font.Color = in_.HoverFontColor;
    }
    if (!in_.KeepColors && !(hovered && in_.HoverFontColor != platform::clNone))
        St.font.Color = in_.URLColor;
    St.anchorOpen = true;
    St.anchorStartX = x;
}

// <BODY background="..." bgcolor="...">: tiles the picture over the drawing
// rectangle and fills it with the colour.
void Renderer::paintBody(PassState& St, const std::string& Tag, const std::string& Ut)
{
    std::string v;
    if (attribute(Tag, Ut, "BACKGROUND", v) && !v.empty()) {
        bool idx;
        int n;
        const HTMLPictureRef pic = picture(v, idx, n);
        if (!pic.Image.isNull() && pic.Image.width() > 0 && pic.Image.height() > 0) {
            const bool hadClip = c_.HasClipRect();
            const Rect oldClip = c_.ClipRect();
            c_.SetClipRect(hadClip ? r_.Intersected(oldClip) : r_);
            // Only the tiles that can show: the rectangle within the clip and the device.
            const Rect visible = visibleArea();
            const int w0 = pic.Image.width(), h0 = pic.Image.height();
            const int fy = r_.Top + std::max(0, (visible.Top - r_.Top) / h0 * h0);
            const int fx = r_.Left + std::max(0, (visible.Left - r_.Left) / w0 * w0);
            for (int ty = fy; ty < std::min(r_.Bottom, visible.Bottom); ty += h0)
                for (int tx = fx; tx < std::min(r_.Right, visible.Right); tx += w0)
                    c_.Draw(tx, ty, pic.Image);
            if (hadClip)
                c_.SetClipRect(oldClip);
            else
                c_.ClearClipRect();
        }
    }
    if (attribute(Tag, Ut, "BGCOLOR", v) && (v.find('#') != std::string::npos || findNoCase(v, "CL") != std::string::npos)) {
        const TColor col = v.find('#') != std::string::npos ? HexColorToColor(v.substr(v.find('#'))) : colorValue(v);
        St.brush = col;
        c_.Brush.SetColor(col);
        c_.FillRect(r_);
    }
}

// <FONT face="..." color="..." bgcolor="..." size=n>.
void Renderer::openFont(LineWork& W, const std::string& Tag, const std::string& Ut)
{
    const auto [St, Lr, Li, M, w, x] = W.state();
    std::string v;
    if (attribute(Tag, Ut, "FACE", v) && !v.empty())
        St.font.Name = q(v);
    if (!in_.KeepColors && attribute(Tag, Ut, " COLOR", v) && !v.empty())
        St.font.Color = colorValue(v);
    St.fontPrevBrush = St.brush;
    if (W.drawing && !in_.KeepColors && attribute(Tag, Ut, "BGCOLOR", v) && !v.empty())
        St.brush = colorValue(v);
    int size = 0;
    if (numberAttribute(Ut, "SIZE", size) && size > 0)
        St.font.SetSize(fontPoints(size));
}

// <IMG src="..." alt="..." width=n height=n align="...">: a picture from the
// image list or the picture sources, hit-tested inside an anchor; a picture
// that does not fit starts the next line.
Renderer::Step Renderer::placePicture(LineWork& W, const std::string& Tag, const std::string& Ut)
{
    const auto [St, Lr, Li, M, w, x] = W.state();
    std::string v;
    const int number = ++St.pictureCount;
    std::string src;
    attribute(Tag, Ut, "SRC", src);
    if (M != Mode::Measure && cur_.hitPicture == number && attribute(Tag, Ut, "ALT", v))
        src = v;
    int width = 0, height = 0;
    numberAttribute(Ut, "WIDTH", width);
    numberAttribute(Ut, "HEIGHT", height);
    width = std::clamp(width, 0, 10000);
    height = std::clamp(height, 0, 10000);
    const double sx = c_.Dpi() / 96.0, sy = c_.Dpi() / 96.0;
    bool isIndex;
    int index;
    const HTMLPictureRef pic = picture(src, isIndex, index);
    int pw = 0, ph = 0;
    if (isIndex) {
        if (in_.Images && index >= 0 && index < in_.Images->Count()) {
            pw = static_cast<int>(in_.Images->Width() * sx);
            ph = static_cast<int>(in_.Images->Height() * sy);
        }
    } else if (!pic.Image.isNull()) {
        pw = static_cast<int>((width > 0 && height > 0 ? width : pic.Width) * sx);
        ph = static_cast<int>((width > 0 && height > 0 ? height : pic.Height) * sy);
    }
    if (St.anchorOpen && W.checking) {
        const int rx = in_.X - Lr.Left;
        const int top = M == Mode::Measure ? Lr.Top : lineTop_;
        const int bottom = M == Mode::Measure ? Lr.Top + std::max(Li.height, ph) : lineBottom_;
        if (rx >= w && rx <= w + pw && in_.Y >= top && in_.Y <= bottom) {
            if (M == Mode::Measure) {
                Li.hitPicture = number;
            } else {
                pictureHit_ = true;
                out_.AnchorValue = St.anchorValue;
                out_.MouseLink = St.anchorCount;
                hitAnchor_ = St.anchorCount;
            }
        }
    }
    if (w + pw > W.lineW && pw < W.lineW && !W.first) {
        --St.pictureCount;
        return Step::NextLine;  // the picture starts the next line
    }
    if (W.drawing && pw > 0 && ph > 0) {
        const int top = textBottom_ - ph;
        if (isIndex) {
            if (in_.Printing || c_.Dpi() != 96)
                c_.StretchDraw(Rect::FromSize(x, top, static_cast<int>(pw * (in_.Printing ? in_.Resolution : 1.0)),
                                              static_cast<int>(ph * (in_.Printing ? in_.Resolution : 1.0))),
                               in_.Images->Image(index));
            else
                in_.Images->Draw(c_, x, top, index);
        } else {
            c_.StretchDraw(Rect::FromSize(x, top, pw, ph), pic.Image);
        }
    }
    w += pw;
    x += pw;
    if (M == Mode::Measure) {
        Li.height = std::max(Li.height, ph);
        if (attribute(Tag, Ut, "ALIGN", v)) {
            const std::string a = UpperCase(Trim(v));
            const int gh = ghHeight(St.font);
            if (startsWith(a, "TOP"))
                Li.raise = Li.height - gh;
            else if (startsWith(a, "MIDDLE"))
                Li.raise = (Li.height - gh) / 2;
        }
    }
    W.placedEndsBlank = false;
    W.Lc.trailingBlank = 0;
    return Step::Next;
}

// <LI>: the bullet of a list item, indented by the list level; a second item
// starts the next line.
Renderer::Step Renderer::placeBullet(LineWork& W)
{
    const auto [St, Lr, Li, M, w, x] = W.state();
    if (W.bullets > 0 && !W.first)
        return Step::NextLine;
    ++W.bullets;
    w += kBulletStep * St.bulletLevel;
    x += kBulletStep * std::max(0, St.bulletLevel - 1);
    if (W.drawing) {
        PassState bs = St;
        bs.font.Name = QStringLiteral("Symbol");
        bs.font.Style &= ~platform::fsUnderline;
        drawRun(bs, St.bulletLevel % 2 == 1 || St.bulletLevel == 0 ? QStringLiteral("\u2022") : QStringLiteral("o"),
                x, textBottom_ - cur_.raise, Lr.Right);
    }
    x += kBulletStep;
    return Step::Next;
}

// <P align="..." indent=n bgcolor="...">: the line's alignment and indent
// while measuring, its background while drawing.
void Renderer::openParagraph(LineWork& W, const std::string& Tag, const std::string& Ut)
{
    const auto [St, Lr, Li, M, w, x] = W.state();
    std::string v;
    if (M == Mode::Measure) {
        if (attribute(Tag, Ut, "ALIGN", v)) {
            const std::string a = UpperCase(v);
            if (a.find("RIGHT") != std::string::npos)
                Li.align = 1;
            if (a.find("LEFT") != std::string::npos)
                Li.align = 0;
            if (a.find("CENTER") != std::string::npos)
                Li.align = 2;
        }
        int indent = 0;
        if (numberAttribute(Ut, "INDENT", indent))
            Li.indent = std::clamp(indent, -10000, 10000);
    }
    if (W.drawing && attribute(Tag, Ut, "BGCOLOR", v)) {
        const TColor col = v.empty() ? platform::clNone : colorValue(v);
        St.paraColor = true;
        St.paraPrevBrush = St.brush;
        St.brush = col;
        c_.Brush.SetColor(col);
        c_.FillRect({Lr.Left, lineTop_, Lr.Right, lineBottom_});
    }
}

Renderer::Step Renderer::closeTag(LineWork& W, const std::string& Ut)
{
    const auto [St, Lr, Li, M, w, x] = W.state();
    switch (Ut[2]) {
    case 'A':
        closeAnchor(W);
        break;
    case 'B':
        if (startsWith(Ut, "</B>")) {
            St.font.Style &= ~platform::fsBold;
        } else {
            St.font.Color = base_.Color;
            St.blinkHidden = false;
        }
        break;
    case 'E':
        St.error = false;
        break;
    case 'F':
        St.font.Name = base_.Name;
        St.font.Height = base_.Height;
        St.font.PixelsPerInch = base_.PixelsPerInch;
        if (W.drawing && !in_.KeepColors) {
            St.font.Color = base_.Color;
            St.brush = St.fontPrevBrush;
        }
        break;
    case 'H':
        if (W.drawing) {
            St.font.Color = St.hiPrevFontColor;
            St.brush = St.hiPrevBrush;
        }
        break;
    case 'I':
        St.font.Style &= ~platform::fsItalic;
        break;
    case 'P':
        if (W.drawing && St.paraColor) {
            St.brush = St.paraPrevBrush;
            St.paraColor = false;
        }
        return Step::EndLine;
    case 'R':
        St.font.Orientation = base_.Orientation;
        break;
    case 'S':
        if (startsWith(Ut, "</SU")) {
            St.sub = St.sup = false;
        } else if (startsWith(Ut, "</SH")) {
            St.shadow = false;
        } else {
            St.font.Style &= ~platform::fsStrikeOut;
        }
        break;
    case 'U':
        if (startsWith(Ut, "</U>") || St.bulletLevel <= 0)
            St.font.Style &= ~platform::fsUnderline;
        else
            --St.bulletLevel;
        break;
    case 'Z':
        St.hidden = false;
        break;
    default:
        break;
    }
    return Step::Next;
}

// </A>: the anchor's colours end, its hover rectangle and focus frame close.
void Renderer::closeAnchor(LineWork& W)
{
    const auto [St, Lr, Li, M, w, x] = W.state();
    const bool hovered = in_.HoverMode && St.anchorCount == in_.HoverLink;
    const bool applies = !in_.HoverMode || hovered;
    if (W.drawing && applies) {
        St.font.Style &= ~platform::fsUnderline;
        if (in_.HoverColor != platform::clNone)
            St.brush = St.anchorPrevBrush;
        if (in_.HoverFontColor != platform::clNone)
            St.font.Color = St.anchorPrevFontColor;
    }
    if (!in_.KeepColors)
        St.font.Color = base_.Color;
    if (St.anchorOpen && M == Mode::HitTest && hitAnchor_ == St.anchorCount && hitAnchor_ > 0) {
        out_.HoverRect = {St.anchorStartX, lineTop_, Lr.Left + w, lineBottom_};
        out_.MouseLink = hitAnchor_;
    }
    if (St.anchorOpen && W.drawing && focusOpen_ && in_.FocusLink == St.anchorCount - 1) {
        const int gh = ghHeight(St.font);
        drawFocus({focusStartX_ - 1, textBottom_ - gh, x + 1, textBottom_});
        focusOpen_ = false;
    }
    St.anchorOpen = false;
}

bool Renderer::run(const std::string& Text)
{
    base_ = c_.Font;
    background_ = c_.Brush.Color();
    c_.Brush.SetColor(platform::clNone);
    c_.SetBackgroundTransparent(true);
    flags_ = kRunFlags | (in_.WordWrap ? 0u : platform::DT_END_ELLIPSIS);

    std::string src = Text;
    replaceEntities(src);
    src = LineBreaksToBR(RemoveHashTagMarks(src), true);

    PassState measure;
    measure.font = base_;
    PassState paint = measure;
    Rect lr = r_;
    lr.Left += 1;
    std::size_t pos = 0;
    const std::size_t end = src.size();
    while (pos < end) {
        const std::size_t start = pos;
        const PassState lineStart = measure;
        LineInfo li;
        const bool keep = line(measure, src, pos, end, lr, li, Mode::Measure, false);
        if (pos == start) {
            // Nothing fitted: the first item takes the line on its own.
            measure = lineStart;
            li = LineInfo{};
            line(measure, src, pos, end, lr, li, Mode::Measure, true);
            if (pos == start)
                break;
        }
        const std::size_t lineEnd = pos;
        const int h = li.height + li.sub + li.sup;

        Rect pr = lr;
        if (li.align == 1 && lr.Right - li.width > lr.Left)
            pr.Left = lr.Right - li.width;
        else if (li.align == 2 && lr.Right - lr.Left - li.width > 0)
            pr.Left = lr.Left + ((lr.Right - lr.Left - li.width) >> 1);
        pr.Left += li.indent;

        if (!in_.CheckOnly) {
            paint.anchorCount = lineStart.anchorCount;
            paint.bulletLevel = lineStart.bulletLevel;
            paint.pictureCount = lineStart.pictureCount;
            cur_ = li;
            lineTop_ = lr.Top;
            lineBottom_ = lr.Top + h;
            textBottom_ = lr.Top + li.sup + li.height;
            const Mode m = in_.CheckAnchor ? Mode::HitTest : Mode::Draw;
            if (m == Mode::Draw && paint.paraColor && paint.brush != platform::clNone) {
                c_.Brush.SetColor(paint.brush);
                c_.FillRect({lr.Left, lineTop_, lr.Right, lineBottom_});
            }
            std::size_t p = start;
            line(paint, src, p, lineEnd, pr, li, m, true);
        }

        lr.Top += h;
        out_.YSize += h;
        out_.XSize = std::max(out_.XSize, li.width);
        if (!keep)
            break;
        if (lr.Top > r_.Bottom && !in_.CheckOnly)
            break;
    }
    out_.AnchorCount = measure.anchorCount;
    if (out_.YSize == 0)
        out_.YSize = ghHeight(base_);
    c_.Font = base_;
    return textHit_ || pictureHit_;
}

}  // namespace

// ---------------------------------------------------------------- the renderer

namespace Listgrid {

bool HTMLDraw(Canvas& Canvas, const std::string& Text, const Rect& R, const THTMLDrawParams& In,
              THTMLDrawResult& Out)
{
    // Everything the tags change on the canvas is given back, whatever the text left open.
    const platform::Pen pen = Canvas.Pen;
    const platform::Brush brush = Canvas.Brush;
    const platform::Font font = Canvas.Font;
    Out.XSize = Out.YSize = Out.AnchorCount = 0;
    Out.MouseLink = -1;
    Out.StrippedText.clear();
    Out.FocusAnchor.clear();
    Renderer renderer(Canvas, R, In, Out);
    const bool hit = renderer.run(Text);
    Canvas.Pen = pen;
    Canvas.Brush = brush;
    Canvas.Font = font;
    return hit;
}

bool HTMLDraw(Canvas& Canvas, const std::string& Text, const Rect& R, const TCustomImageList* Images, int X, int Y,
              int FocusLink, int HoverLink, int ShadowOffset, bool CheckAnchor, bool CheckOnly, bool Printing,
              bool KeepColors, bool BlinkOn, bool HoverMode, bool WordWrap, double Resolution, TColor URLColor,
              TColor HoverColor, TColor HoverFontColor, TColor ShadowColor, std::string& AnchorVal,
              std::string& StrippedText, std::string& FocusAnchor, int& XSize, int& YSize, int& AnchorCount,
              int& MouseLink, Rect& HoverRect, THTMLPictureCache* PictureCache, TPictureContainer* PictureContainer)
{
    THTMLDrawParams in;
    in.Images = Images;
    in.X = X;
    in.Y = Y;
    in.FocusLink = FocusLink;
    in.HoverLink = HoverLink;
    in.ShadowOffset = ShadowOffset;
    in.CheckAnchor = CheckAnchor;
    in.CheckOnly = CheckOnly;
    in.Printing = Printing;
    in.KeepColors = KeepColors;
    in.BlinkOn = BlinkOn;
    in.HoverMode = HoverMode;
    in.WordWrap = WordWrap;
    in.Resolution = Resolution;
    in.URLColor = URLColor;
    in.HoverColor = HoverColor;
    in.HoverFontColor = HoverFontColor;
    in.ShadowColor = ShadowColor;
    in.PictureCache = PictureCache;
    in.PictureContainer = PictureContainer;
    THTMLDrawResult out;
    out.AnchorValue = AnchorVal;
    out.HoverRect = HoverRect;
    const bool hit = HTMLDraw(Canvas, Text, R, in, out);
    AnchorVal = out.AnchorValue;
    StrippedText = out.StrippedText;
    FocusAnchor = out.FocusAnchor;
    XSize = out.XSize;
    YSize = out.YSize;
    AnchorCount = out.AnchorCount;
    MouseLink = out.MouseLink;
    HoverRect = out.HoverRect;
    return hit;
}

int PosInto(const std::string& Sub, const std::string& S, int& P)
{
    P = Pos(Sub, S);
    return P;
}

}  // namespace Listgrid

// ---------------------------------------------------------------- text routines

TColor ColorNameToColor(const std::string& Name)
{
    static const std::pair<const char*, TColor> kNames[] = {
        {"clred", platform::clRed},         {"clblack", platform::clBlack},   {"clblue", platform::clBlue},
        {"clgreen", platform::clGreen},     {"claqua", platform::clAqua},     {"clyellow", platform::clYellow},
        {"clfuchsia", platform::clFuchsia}, {"clwhite", platform::clWhite},   {"cllime", platform::clLime},
        {"clsilver", platform::clSilver},   {"clgray", platform::clGray},     {"clolive", platform::clOlive},
        {"clnavy", platform::clNavy},       {"clpurple", platform::clPurple}, {"clteal", platform::clTeal},
        {"clmaroon", platform::clMaroon},
    };
    static const char* const kSystem[] = {
        "clbackground",   "clactivecaption", "clinactivecaption", "clmenu",          "clwindow",
        "clwindowframe",  "clmenutext",      "clwindowtext",      "clcaptiontext",   "clactiveborder",
        "clinactiveborder", "clappworkspace", "clhighlight",      "clhighlighttext", "clbtnface",
        "clbtnshadow",    "clgraytext",      "clbtntext",         "clinactivecaptiontext", "clbtnhighlight",
        "cl3ddkshadow",   "cl3dlight",       "clinfotext",        "clinfobk",
    };
    for (const auto& [name, color] : kNames)
        if (Name == name)
            return color;
    for (std::size_t i = 0; i < std::size(kSystem); ++i)
        if (Name == kSystem[i])
            return platform::SystemColor(static_cast<int>(i) + 1);
    return platform::clBlack;
}

int HexDigitsToByte(const std::string& Digits)
{
    if (Digits.size() < 2)
        return 0;
    const auto digit = [](char c) {
        const int v = static_cast<unsigned char>(c) < 'A' ? c - '0' : c - 55;
        return std::clamp(v, 0, 15);  // anything that is no hex digit counts within one digit's range
    };
    return digit(Digits[0]) * 16 + digit(Digits[1]);
}

TColor HexColorToColor(const std::string& Hex)
{
    const std::string up = UpperCase(Hex);
    const auto part = [&](std::size_t at) { return at < up.size() ? HexDigitsToByte(up.substr(at, 2)) : 0; };
    const int red = part(1), green = part(3), blue = part(5);
    return static_cast<TColor>(red + green * 256 + blue * 65536);
}

int UpperPos(const std::string& Sub, const std::string& S) { return Pos(UpperCase(Sub), UpperCase(S)); }

int IntValue(const std::string& S)
{
    std::size_t i = 0;
    while (i < S.size() && S[i] == ' ')
        ++i;
    bool negative = false;
    if (i < S.size() && (S[i] == '-' || S[i] == '+'))
        negative = S[i++] == '-';
    long long v = 0;
    while (i < S.size() && S[i] >= '0' && S[i] <= '9') {
        v = v * 10 + (S[i++] - '0');
        if (v > 1000000000LL)
            v = 1000000000LL;  // stays an int, whatever the digits
    }
    return static_cast<int>(negative ? -v : v);
}

bool ReplaceNoCase(std::string& S, const std::string& Pattern, const std::string& With)
{
    const std::size_t at = findNoCase(S, Pattern);
    if (at == std::string::npos)
        return false;
    S.replace(at, Pattern.size(), With);
    return true;
}

std::string RemoveHashTagMarks(const std::string& S)
{
    const std::size_t at = S.find("<#");
    if (at == std::string::npos)
        return S;
    std::string out = S;
    out.erase(at, 1);
    const std::size_t gt = out.find('>', at);
    if (gt != std::string::npos)
        out.erase(gt, 1);
    return out;
}

std::string LineBreaksToBR(const std::string& S, bool ToBR)
{
    std::string out;
    out.reserve(S.size());
    for (char c : S) {
        if (c == '\n')
            continue;
        if (c == '\r') {
            if (ToBR)
                out += "<BR>";
            continue;
        }
        out += c;
    }
    return out;
}

std::string PlainTextAsHTML(const std::string& S)
{
    std::string out;
    out.reserve(S.size());
    for (std::size_t i = 0; i < S.size(); ++i) {
        switch (S[i]) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\r':
            if (i + 1 < S.size() && S[i + 1] == '\n')
                ++i;
            out += "<BR>";
            break;
        case '\n': out += "<BR>"; break;
        default: out += S[i];
        }
    }
    return out;
}

std::string HTMLStrip(const std::string& S)
{
    std::string s = S;
    replaceAll(s, "<BR>", "\r\n", true);
    replaceAll(s, "<HR>", "\r\n", true);
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t lt = s.find('<', i);
        if (lt == std::string::npos) {
            out.append(s, i, std::string::npos);
            break;
        }
        out.append(s, i, lt - i);
        const std::size_t gt = s.find('>', lt);
        if (gt == std::string::npos)
            break;  // an unclosed tag drops the rest
        i = gt + 1;
    }
    return out;
}

std::string StripTags(const std::string& S)
{
    std::string out;
    std::size_t i = 0;
    while (i < S.size()) {
        const std::size_t lt = S.find('<', i);
        const std::size_t gt = lt == std::string::npos ? lt : S.find('>', lt);
        if (gt == std::string::npos) {
            out.append(S, i, std::string::npos);
            break;
        }
        out.append(S, i, lt - i);
        i = gt + 1;
    }
    return out;
}

namespace {

// The visible characters of a marked-up text with their positions in it.
std::string visibleText(const std::string& S, std::vector<std::size_t>& Positions)
{
    std::string vis;
    Positions.clear();
    bool inTag = false;
    for (std::size_t i = 0; i < S.size(); ++i) {
        if (!inTag && S[i] == '<' && S.find('>', i) != std::string::npos) {
            inTag = true;
            continue;
        }
        if (inTag) {
            if (S[i] == '>')
                inTag = false;
            continue;
        }
        vis += S[i];
        Positions.push_back(i);
    }
    return vis;
}

}  // namespace

int TextPosToHTMLPos(const std::string& S, int N)
{
    std::vector<std::size_t> positions;
    visibleText(S, positions);
    if (N < 1 || N > static_cast<int>(positions.size()))
        return 0;
    return static_cast<int>(positions[N - 1]) + 1;
}

int FindInHTMLText(const std::string& S, const std::string& Fragment, int Start, bool MatchCase, std::string& Match)
{
    Match.clear();
    std::vector<std::size_t> positions;
    const std::string vis = visibleText(S, positions);
    if (Fragment.empty() || Start < 0 || Start >= static_cast<int>(vis.size()))
        return 0;
    const std::size_t at = MatchCase ? vis.find(Fragment, Start) : UpperCase(vis).find(UpperCase(Fragment), Start);
    if (at == std::string::npos)
        return 0;
    Match = vis.substr(at, Fragment.size());
    return static_cast<int>(at) + 1;
}

std::string InsertHilightTags(const std::string& S, const std::string& Tag, const std::string& Fragment,
                              bool MatchCase)
{
    if (Fragment.empty())
        return S;
    std::vector<std::size_t> positions;
    const std::string vis = visibleText(S, positions);
    const std::string hay = MatchCase ? vis : UpperCase(vis);
    const std::string needle = MatchCase ? Fragment : UpperCase(Fragment);
    // Matches as [first, last] positions in S, left to right, not overlapping.
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    for (std::size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + needle.size()))
        spans.emplace_back(positions[at], positions[at + needle.size() - 1]);
    if (spans.empty())
        return S;
    const std::string open = "<" + Tag + ">", close = "</" + Tag + ">";
    std::string out;
    std::size_t i = 0;
    for (const auto& [first, last] : spans) {
        out.append(S, i, first - i);
        out += open;
        out.append(S, first, last + 1 - first);
        out += close;
        i = last + 1;
    }
    out.append(S, i, std::string::npos);
    return out;
}

std::string RemoveHilightTags(const std::string& S, const std::string& Tag)
{
    std::string out = S;
    replaceAll(out, "<" + Tag + ">", "", true);
    replaceAll(out, "</" + Tag + ">", "", true);
    return out;
}

bool IsDirectory(const std::string& Path) { return !Path.empty() && QFileInfo(q(Path)).isDir(); }

}  // namespace grid
