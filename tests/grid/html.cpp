// The mini-HTML renderer: measuring against drawing, fonts and colours of the
// tags, wrapping and ellipsis, bullets, entities, anchors and hit-testing,
// the canvas given back as found, and the text routines beside it.
#include "grid/htmldraw.h"
#include "grid/imagelist.h"
#include "grid/pictures.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QPainter>
#include <gtest/gtest.h>

using namespace grid;
using platform::Rect;

namespace {

platform::Font font12()
{
    platform::Font f;
    f.Name = QStringLiteral("Arial");
    f.SetSize(12);
    f.Color = platform::clBlack;
    return f;
}

struct Drawn {
    QImage img;
    THTMLDrawResult out;
    bool hit = false;
};

Drawn draw(const std::string& text, Rect r, THTMLDrawParams in = {}, QSize size = {420, 120})
{
    Drawn d;
    d.img = QImage(size, QImage::Format_RGB32);
    d.img.fill(Qt::white);
    QPainter p(&d.img);
    platform::Canvas c;
    c.Begin(&p);
    c.Font = font12();
    c.Brush.SetColor(platform::clWhite);
    d.hit = Listgrid::HTMLDraw(c, text, r, in, d.out);
    c.End();
    return d;
}

THTMLDrawResult measure(const std::string& text, int width = 65535, bool wrap = true)
{
    platform::Canvas c;
    c.Font = font12();
    THTMLDrawParams in;
    in.CheckOnly = true;
    in.WordWrap = wrap;
    in.KeepColors = true;
    THTMLDrawResult out;
    Listgrid::HTMLDraw(c, text, {0, 0, width, 65535}, in, out);
    return out;
}

// The box of the pixels that are not white; empty when there are none.
QRect inked(const QImage& img, QRect within = {})
{
    if (within.isNull())
        within = img.rect();
    int l = INT_MAX, t = INT_MAX, r = -1, b = -1;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255)) {
                l = std::min(l, x);
                t = std::min(t, y);
                r = std::max(r, x);
                b = std::max(b, y);
            }
    return r < 0 ? QRect() : QRect(QPoint(l, t), QPoint(r, b));
}

int countPixels(const QImage& img, QRgb color, QRect within)
{
    int n = 0;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            n += img.pixel(x, y) == color;
    return n;
}

int ghHeight()
{
    platform::Canvas c;
    c.Font = font12();
    return c.TextHeight(QStringLiteral("gh"));
}

}  // namespace

TEST(HtmlDraw, MeasuringAndDrawingAgree)
{
    for (const std::string text : {"plain words here", "<B>bold</B> and <I>italic</I> text",
                                   "<FONT SIZE=\"5\">big</FONT> small<BR>second line", "<U>under</U> <S>struck</S>"}) {
        const THTMLDrawResult m = measure(text);
        const Drawn d = draw(text, {10, 10, 410, 110});
        const QRect ink = inked(d.img);
        ASSERT_FALSE(ink.isNull()) << text;
        EXPECT_EQ(d.out.XSize, m.XSize) << text;
        EXPECT_EQ(d.out.YSize, m.YSize) << text;
        // Everything drawn lies inside the measured box, which it nearly fills.
        EXPECT_GE(ink.left(), 11 - 1) << text;
        EXPECT_LE(ink.right(), 11 + m.XSize + 1) << text;
        EXPECT_GE(ink.width(), m.XSize - 6) << text;
        EXPECT_LE(ink.bottom(), 10 + m.YSize) << text;
        EXPECT_GE(ink.top(), 10) << text;
    }
}

TEST(HtmlDraw, BoldAndRedRuns)
{
    const std::string text = "<B>bold</B> <FONT COLOR=\"#FF0000\">red</FONT>";
    const Drawn d = draw(text, {0, 0, 420, 60});
    d.img.save(QStringLiteral("html_bold_red.png"));
    const int boldW = measure("<B>bold</B>").XSize;
    EXPECT_GT(boldW, measure("bold").XSize);
    // The red run starts after "bold " and holds pure red pixels; the bold run has none.
    const int redStart = 1 + measure("<B>bold</B> ").XSize;
    const int redW = measure("red").XSize;
    const QRect redBox(redStart, 0, redW + 1, 60);
    EXPECT_GE(countPixels(d.img, qRgb(255, 0, 0), redBox), 5);
    EXPECT_EQ(countPixels(d.img, qRgb(255, 0, 0), QRect(0, 0, boldW, 60)), 0);
    // Anti-aliased edges aside, the red run's ink is red: no dark grey or black there.
    for (int y = 0; y < 60; ++y)
        for (int x = redBox.left(); x <= redBox.right(); ++x) {
            const QColor px = d.img.pixelColor(x, y);
            EXPECT_FALSE(px.red() < 100 && px.green() < 100) << x << "," << y;
        }
}

TEST(HtmlDraw, FontSizesAndColoursOfTags)
{
    const int h12 = measure("x").YSize;
    EXPECT_EQ(measure("<FONT SIZE=\"3\">x</FONT>").YSize, h12);
    EXPECT_GT(measure("<FONT SIZE=\"20\">x</FONT>").YSize, measure("<FONT SIZE=\"5\">x</FONT>").YSize);
    EXPECT_GT(measure("<FONT SIZE=\"5\">x</FONT>").YSize, h12);
    // A size of 0, below 0 or no number leaves the font as it was; a huge one is bounded.
    for (const char* bad : {"0", "-4", "big", ""})
        EXPECT_EQ(measure(std::string("<FONT SIZE=\"") + bad + "\">x</FONT>").YSize, h12) << bad;
    EXPECT_LT(measure("<FONT SIZE=\"99999999\">x</FONT>").YSize, 1000);

    // Hex digits in either case and colour names in any case.
    for (const char* red : {"#FF0000", "#ff0000", "clRed", "CLRED"}) {
        const Drawn d = draw(std::string("<FONT COLOR=\"") + red + "\">MMMM</FONT>", {0, 0, 200, 40}, {}, {200, 40});
        EXPECT_GT(countPixels(d.img, qRgb(255, 0, 0), d.img.rect()), 20) << red;
    }
    EXPECT_EQ(HexColorToColor("#00ff80"), platform::TColor(0x80FF00));
    EXPECT_EQ(HexColorToColor("#12"), platform::TColor(0x12));
    EXPECT_EQ(ColorNameToColor("clnavy"), platform::clNavy);
    EXPECT_EQ(ColorNameToColor("cl3ddkshadow"), platform::TColor(0x80000015));
    EXPECT_EQ(ColorNameToColor("clinfobk"), platform::TColor(0x80000018));
    EXPECT_EQ(ColorNameToColor("nosuch"), platform::clBlack);
}

TEST(HtmlDraw, WordWrapAndEllipsis)
{
    const int gh = ghHeight();
    const std::string text = "alpha beta gamma delta";
    const int oneWord = measure("gamma").XSize;
    const THTMLDrawResult wrapped = measure(text, oneWord + 8, true);
    EXPECT_EQ(wrapped.YSize, 4 * gh);
    EXPECT_LE(wrapped.XSize, oneWord + 8);
    // A word longer than the line stays whole on a line of its own.
    const THTMLDrawResult longWord = measure("a extraordinarily b", 40, true);
    EXPECT_EQ(longWord.YSize, 3 * gh);
    EXPECT_NEAR(longWord.XSize, measure("extraordinarily").XSize, 2);

    // Without wrapping one line, cut with an ellipsis: the pixels match the text call's own elision.
    EXPECT_EQ(measure(text, 60, false).YSize, gh);
    const Drawn cut = draw(text, {0, 0, 61, 40}, [] { THTMLDrawParams p; p.WordWrap = false; return p; }(), {120, 40});
    QImage ref(120, 40, QImage::Format_RGB32);
    ref.fill(Qt::white);
    {
        QPainter p(&ref);
        platform::Canvas c;
        c.Begin(&p);
        c.Font = font12();
        c.SetBackgroundTransparent(true);
        Rect r{1, 0, 61, gh};
        c.DrawText(QString::fromStdString(text), r,
                   platform::DT_BOTTOM | platform::DT_SINGLELINE | platform::DT_EXPANDTABS |
                       platform::DT_EXTERNALLEADING | platform::DT_END_ELLIPSIS);
    }
    EXPECT_EQ(cut.img, ref);
    EXPECT_LE(inked(cut.img).right(), 60);
}

TEST(HtmlDraw, BulletsEntitiesAndBreaks)
{
    const int gh = ghHeight();
    const Drawn d = draw("<UL><LI>one<LI>two</UL>", {0, 0, 200, 100});
    EXPECT_EQ(d.out.YSize, 2 * gh);
    // A bullet left of each item's text, which is indented by 12 pixels.
    EXPECT_FALSE(inked(d.img, QRect(1, 0, 11, gh)).isNull());
    EXPECT_FALSE(inked(d.img, QRect(1, gh, 11, gh)).isNull());
    EXPECT_EQ(inked(d.img, QRect(0, 0, 200, 2 * gh)).left() >= 1, true);
    EXPECT_EQ(d.out.XSize, 12 + measure("one").XSize);

    // "&amp;" is one ampersand; the other entities are their signs.
    EXPECT_EQ(measure("a &amp; b").XSize, measure("a && b").XSize);
    EXPECT_EQ(measure("x &lt;y&gt;").StrippedText, "x <y>");
    EXPECT_EQ(measure("&copy;&euro;&trade;").StrippedText, "\u00A9\u20AC\u2122");
    EXPECT_EQ(measure("&AMP;").XSize, measure("&&").XSize);

    // Carriage returns and <BR> end lines; the stripped text has CR for each <BR>.
    EXPECT_EQ(measure("one\r\ntwo<br>three").YSize, 3 * gh);
    const Drawn twice = draw("<B>a</B><BR>b", {0, 0, 200, 100});
    EXPECT_EQ(twice.out.StrippedText, "a\rb");

    // An empty text is one line high and has no width.
    const THTMLDrawResult empty = measure("");
    EXPECT_EQ(empty.YSize, gh);
    EXPECT_EQ(empty.XSize, 0);
}

TEST(HtmlDraw, AnchorsHitTestAndKeepTheirValues)
{
    const std::string text = "see <A HREF=\"First.htm\">one</A> and <a href=\"Docs/Second Page.HTM\">two</a> end";
    THTMLDrawParams in;
    in.CheckAnchor = true;
    in.KeepColors = true;
    const int secondX = 1 + measure("see one and ").XSize + 5;
    in.X = secondX;
    in.Y = ghHeight() / 2;
    const Drawn hit = draw(text, {0, 0, 400, 60}, in);
    EXPECT_TRUE(hit.hit);
    EXPECT_EQ(hit.out.MouseLink, 2);
    EXPECT_EQ(hit.out.AnchorValue, "Docs/Second Page.HTM");
    EXPECT_EQ(hit.out.AnchorCount, 2);
    EXPECT_LE(hit.out.HoverRect.Left, secondX);
    EXPECT_GE(hit.out.HoverRect.Right, secondX);
    // Hit-testing draws nothing.
    EXPECT_TRUE(inked(hit.img).isNull());

    in.X = 1 + measure("see o").XSize;
    EXPECT_EQ(draw(text, {0, 0, 400, 60}, in).out.AnchorValue, "First.htm");
    // Between the anchors nothing is hit and the anchor value is left alone.
    in.X = 1 + measure("see one a").XSize;
    const Drawn miss = draw(text, {0, 0, 400, 60}, in);
    EXPECT_FALSE(miss.hit);
    EXPECT_EQ(miss.out.MouseLink, -1);
    in.Y = 50;  // below the line
    in.X = secondX;
    EXPECT_FALSE(draw(text, {0, 0, 400, 60}, in).hit);

    // Drawn anchors take the link colour; the focus anchor's value is reported.
    THTMLDrawParams paint;
    paint.URLColor = platform::clRed;
    paint.FocusLink = 1;
    const Drawn drawn = draw(text, {0, 0, 400, 60}, paint);
    EXPECT_GT(countPixels(drawn.img, qRgb(255, 0, 0), drawn.img.rect()), 20);
    EXPECT_EQ(drawn.out.FocusAnchor, "Docs/Second Page.HTM");
}

TEST(HtmlDraw, HoverBlinkHighlightAndErrorMarks)
{
    const std::string links = "<A HREF=\"a\">MMMM</A> <A HREF=\"b\">MMMM</A>";
    THTMLDrawParams hover;
    hover.HoverMode = true;
    hover.HoverLink = 2;
    hover.HoverColor = platform::clYellow;
    const Drawn h = draw(links, {0, 0, 400, 40}, hover, {400, 40});
    const int firstEnd = 1 + measure("<A HREF=\"a\">MMMM</A>").XSize;
    // Only the hovered (second) anchor gets the hover background.
    EXPECT_EQ(countPixels(h.img, qRgb(255, 255, 0), QRect(0, 0, firstEnd, 40)), 0);
    EXPECT_GT(countPixels(h.img, qRgb(255, 255, 0), QRect(firstEnd, 0, 400 - firstEnd, 40)), 50);
    // Without hover mode every anchor gets it.
    hover.HoverMode = false;
    EXPECT_GT(countPixels(draw(links, {0, 0, 400, 40}, hover, {400, 40}).img, qRgb(255, 255, 0), QRect(0, 0, firstEnd, 40)), 50);

    // Blinking text disappears in its off phase, and only the blinking part.
    THTMLDrawParams off;
    off.BlinkOn = false;
    EXPECT_TRUE(inked(draw("<BLINK>MMMM</BLINK>", {0, 0, 200, 40}, off, {200, 40}).img).isNull());
    EXPECT_FALSE(inked(draw("<BLINK>MMMM</BLINK>x", {0, 0, 200, 40}, off, {200, 40}).img).isNull());
    EXPECT_FALSE(inked(draw("<BLINK>MMMM</BLINK>", {0, 0, 200, 40}, {}, {200, 40}).img).isNull());

    // Highlighted text has the highlight background; marked text a red zigzag under it.
    const QRgb highlight = platform::ToQColor(platform::clHighlight).rgb();
    EXPECT_GT(countPixels(draw("a<HI>MMMM</HI>b", {0, 0, 200, 40}, {}, {200, 40}).img, highlight, QRect(0, 0, 200, 40)), 50);
    const Drawn marked = draw("<E>MMMM</E> MMMM", {0, 0, 200, 40}, {}, {200, 40});
    const int markEnd = 1 + measure("MMMM").XSize;
    EXPECT_GT(countPixels(marked.img, qRgb(255, 0, 0), QRect(0, 0, markEnd + 2, 40)), 10);
    EXPECT_EQ(countPixels(marked.img, qRgb(255, 0, 0), QRect(markEnd + 4, 0, 200 - markEnd - 4, 40)), 0);
}

TEST(HtmlDraw, CanvasIsGivenBackAsFound)
{
    QImage img(200, 60, QImage::Format_RGB32);
    QPainter p(&img);
    platform::Canvas c;
    c.Begin(&p);
    c.Font = font12();
    c.Pen.Color = platform::clGreen;
    c.Brush.SetColor(platform::clYellow);
    const platform::Font font = c.Font;
    const platform::Pen pen = c.Pen;
    THTMLDrawResult out;
    Listgrid::HTMLDraw(c, "<R A=\"90\"><E><FONT FACE=\"Courier New\" COLOR=\"clBlue\" BGCOLOR=\"clRed\"><HI><B>open", {0, 0, 200, 60},
                       THTMLDrawParams{}, out);
    EXPECT_EQ(c.Font, font);
    EXPECT_EQ(c.Font.Orientation, 0);
    EXPECT_EQ(c.Pen.Color, pen.Color);
    EXPECT_EQ(c.Brush.Color(), platform::clYellow);
}

TEST(HtmlDraw, ParagraphsIndentsAndHiddenText)
{
    // A right-aligned paragraph ends at the rectangle's right edge.
    const Drawn right = draw("<P ALIGN=\"right\">word</P>", {0, 0, 300, 40}, {}, {300, 40});
    const QRect ink = inked(right.img);
    EXPECT_GE(ink.right(), 294);
    EXPECT_GT(ink.left(), 200);
    // An absolute indent moves the text there.
    EXPECT_EQ(measure("<IND x=\"50\">w").XSize, 50 + measure("w").XSize);
    // Hidden text takes no room.
    EXPECT_EQ(measure("a<Z>hidden</Z>b").XSize, measure("ab").XSize);
    // Subscripts make the line taller.
    EXPECT_GT(measure("H<SUB>2</SUB>O").YSize, measure("H2O").YSize);
}

namespace {

QByteArray pngOf(QColor c, int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "PNG");
    return data;
}

}  // namespace

TEST(HtmlDraw, PicturesFromTheListTheContainerAndFiles)
{
    // A numbered picture of the image list takes its room on the line and is drawn there.
    TCustomImageList list(10, 10);
    QImage red(10, 10, QImage::Format_RGB32);
    red.fill(Qt::red);
    list.Add(red);
    THTMLDrawParams in;
    in.Images = &list;
    const Drawn withList = draw("a<IMG SRC=\"IDX:0\">b", {0, 0, 200, 40}, in, {200, 40});
    EXPECT_EQ(countPixels(withList.img, qRgb(255, 0, 0), withList.img.rect()), 100);
    EXPECT_EQ(withList.out.XSize, measure("ab").XSize + 10);
    // An index beyond the list draws nothing and takes no room.
    EXPECT_EQ(draw("a<IMG SRC=\"IDX:5\">b", {0, 0, 200, 40}, in, {200, 40}).out.XSize, measure("ab").XSize);

    // Container items are found whatever the case of the name in the tag.
    TPictureContainer container;
    TPictureItem* item = container.Items.Add();
    item->Name = "Logo";
    item->Picture.LoadFromData(pngOf(Qt::blue, 12, 8));
    THTMLDrawParams withContainer;
    withContainer.PictureContainer = &container;
    const Drawn logo = draw("<IMG SRC=\"logo\">", {0, 0, 100, 40}, withContainer, {100, 40});
    EXPECT_EQ(countPixels(logo.img, qRgb(0, 0, 255), logo.img.rect()), 12 * 8);
    // WIDTH and HEIGHT stretch it.
    const Drawn big = draw("<IMG SRC=\"LOGO\" WIDTH=\"24\" HEIGHT=\"16\">", {0, 0, 100, 40}, withContainer, {100, 40});
    EXPECT_EQ(countPixels(big.img, qRgb(0, 0, 255), big.img.rect()), 24 * 16);

    // A file address keeps its case: the picture in "Mixed/Pic.png" is found and loaded once.
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("Mixed")));
    QFile file(dir.filePath(QStringLiteral("Mixed/Pic.png")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(pngOf(Qt::green, 6, 6));
    file.close();
    THTMLPictureCache cache;
    THTMLDrawParams withCache;
    withCache.PictureCache = &cache;
    const std::string tag = "<IMG SRC=\"FILE://" + dir.filePath(QStringLiteral("Mixed/Pic.png")).toStdString() + "\">";
    const Drawn green = draw(tag, {0, 0, 100, 40}, withCache, {100, 40});
    EXPECT_EQ(countPixels(green.img, qRgb(0, 255, 0), green.img.rect()), 36);
    draw(tag, {0, 0, 100, 40}, withCache, {100, 40});
    EXPECT_EQ(cache.Count(), 1);
    // The same address in upper case names another (missing) file: nothing is drawn.
    std::string upper = tag;
    for (char& ch : upper)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const Drawn missing = draw(upper, {0, 0, 100, 40}, withCache, {100, 40});
    EXPECT_EQ(countPixels(missing.img, qRgb(0, 255, 0), missing.img.rect()), 0);
}

TEST(HtmlText, StripAndHighlight)
{
    EXPECT_EQ(HTMLStrip("a<br>b<HR>c<B>d</B>"), "a\r\nb\r\nc" "d");
    EXPECT_EQ(HTMLStrip("keep<open"), "keep");
    EXPECT_EQ(StripTags("x<b>y</b><z"), "xy<z");
    EXPECT_EQ(InsertHilightTags("xABx", "hi", "ab", false), "x<hi>AB</hi>x");
    EXPECT_EQ(InsertHilightTags("xABx", "hi", "ab", true), "xABx");
    EXPECT_EQ(InsertHilightTags("<b>ab</b>cab", "e", "ab", true), "<b><e>ab</e></b>c<e>ab</e>");
    EXPECT_EQ(RemoveHilightTags("x<HI>AB</hi>x", "hi"), "xABx");
    EXPECT_EQ(TextPosToHTMLPos("<b>ab</b>c", 3), 10);
    EXPECT_EQ(TextPosToHTMLPos("ab", 3), 0);
    std::string match;
    EXPECT_EQ(FindInHTMLText("<i>Hello</i> World", "world", 0, false, match), 7);
    EXPECT_EQ(match, "World");
    EXPECT_EQ(FindInHTMLText("<i>Hello</i> World", "world", 0, true, match), 0);
    EXPECT_EQ(RemoveHashTagMarks("Total: <#2> and <#3>"), "Total: #2 and <#3>");
    EXPECT_EQ(LineBreaksToBR("a\r\nb\n", true), "a<BR>b");
    EXPECT_EQ(LineBreaksToBR("a\r\nb", false), "ab");
    std::string s = "One TWO two";
    EXPECT_TRUE(ReplaceNoCase(s, "two", "2"));
    EXPECT_EQ(s, "One 2 two");
    EXPECT_EQ(UpperPos("two", "One TWO"), 5);
    EXPECT_EQ(IntValue("42px"), 42);
    EXPECT_EQ(IntValue("-7"), -7);
    EXPECT_EQ(IntValue("x"), 0);
    int p = 0;
    EXPECT_EQ(Listgrid::PosInto("c", "abc", p), 3);
    EXPECT_EQ(p, 3);
}
