// Drawing on images through the canvas: edge rules, colours, text flags, fonts.
#include "platform/canvas.h"
#include "platform/logfont.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>

using namespace platform;

namespace {

// Paints on a white 200 x 100 image at 96 dpi and returns it.
QImage paint(const std::function<void(Canvas&)>& draw, int w = 200, int h = 100)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.setDotsPerMeterX(3780);  // 96 dpi
    img.setDotsPerMeterY(3780);
    img.fill(Qt::white);
    QPainter p(&img);
    Canvas c;
    c.Begin(&p);
    draw(c);
    c.End();
    return img;
}

bool isWhite(const QImage& img, int x, int y) { return img.pixel(x, y) == qRgb(255, 255, 255); }

// Columns (x) holding any non-white pixel in rows [y1, y2).
int rightmostInk(const QImage& img, int y1, int y2)
{
    for (int x = img.width() - 1; x >= 0; --x)
        for (int y = y1; y < y2; ++y)
            if (!isWhite(img, x, y)) return x;
    return -1;
}

int topmostInk(const QImage& img, int x1, int x2)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = x1; x < x2; ++x)
            if (!isWhite(img, x, y)) return y;
    return -1;
}

}  // namespace

TEST(Canvas, ShapesExcludeRightAndBottomEdge)
{
    const QImage fill = paint([](Canvas& c) {
        c.Brush.SetColor(clBlue);
        c.FillRect({10, 10, 20, 20});
    });
    EXPECT_EQ(fill.pixel(10, 10), qRgb(0, 0, 255));  // clBlue is pure blue
    EXPECT_EQ(fill.pixel(19, 19), qRgb(0, 0, 255));
    EXPECT_TRUE(isWhite(fill, 20, 15));
    EXPECT_TRUE(isWhite(fill, 15, 20));
    EXPECT_TRUE(isWhite(fill, 9, 9));

    const QImage rect = paint([](Canvas& c) {
        c.Pen.Color = clRed;
        c.Brush.SetColor(clLime);
        c.Rectangle(10, 10, 20, 20);
    });
    EXPECT_EQ(rect.pixel(10, 15), qRgb(255, 0, 0));
    EXPECT_EQ(rect.pixel(19, 15), qRgb(255, 0, 0));
    EXPECT_EQ(rect.pixel(15, 19), qRgb(255, 0, 0));
    EXPECT_EQ(rect.pixel(15, 15), qRgb(0, 255, 0));
    EXPECT_TRUE(isWhite(rect, 20, 15));
    EXPECT_TRUE(isWhite(rect, 15, 20));

    // A line stops one pixel short of its end point.
    const QImage line = paint([](Canvas& c) {
        c.MoveTo(10, 5);
        c.LineTo(20, 5);
    });
    EXPECT_FALSE(isWhite(line, 10, 5));
    EXPECT_FALSE(isWhite(line, 19, 5));
    EXPECT_TRUE(isWhite(line, 20, 5));
}

TEST(Canvas, RoundRectCornersAreDiameters)
{
    const QImage img = paint([](Canvas& c) {
        c.Pen.Color = clBlack;
        c.Brush.SetColor(clBlue);
        c.RoundRect(10, 10, 60, 60, 20, 20);  // corner circle of radius 10
    });
    // The corner pixel lies outside the rounded corner; edges and centre are drawn.
    EXPECT_TRUE(isWhite(img, 10, 10));
    EXPECT_TRUE(isWhite(img, 12, 12));
    EXPECT_FALSE(isWhite(img, 35, 10));
    EXPECT_FALSE(isWhite(img, 10, 35));
    EXPECT_FALSE(isWhite(img, 59, 35));
    EXPECT_TRUE(isWhite(img, 60, 35));
    EXPECT_EQ(img.pixel(35, 35), qRgb(0, 0, 255));
    // With radius read as 20 (the Qt meaning) the point (14, 14) would be outside; with radius 10 it is inside.
    EXPECT_FALSE(isWhite(img, 14, 14));
}

TEST(Canvas, ArcsRunCounterClockwiseBetweenTheirRays)
{
    // A pie from the ray to the right (3 o'clock) to the ray up (12 o'clock): the upper-right quarter.
    const QImage pie = paint([](Canvas& c) {
        c.Pen.Style = psClear;
        c.Brush.SetColor(clBlack);
        c.Pie(0, 0, 80, 80, 80, 40, 40, 0);
    });
    EXPECT_FALSE(isWhite(pie, 60, 20));
    EXPECT_TRUE(isWhite(pie, 20, 20));
    EXPECT_TRUE(isWhite(pie, 60, 60));
    EXPECT_TRUE(isWhite(pie, 20, 60));
    // Equal rays give the whole ellipse; an arc draws no inside.
    const QImage whole = paint([](Canvas& c) {
        c.Brush.SetColor(clBlack);
        c.Chord(0, 0, 80, 80, 80, 40, 80, 40);
        c.Arc(100, 0, 180, 80, 180, 40, 180, 40);
    });
    EXPECT_FALSE(isWhite(whole, 20, 60));
    EXPECT_FALSE(isWhite(whole, 100, 40));
    EXPECT_TRUE(isWhite(whole, 140, 40));
}

TEST(Canvas, SystemColoursComeFromThePalette)
{
    EXPECT_EQ(ToQColor(clHighlight), QGuiApplication::palette().color(QPalette::Highlight));
    EXPECT_EQ(ToQColor(clWindow), QGuiApplication::palette().color(QPalette::Base));
    EXPECT_EQ(ToQColor(clNone).alpha(), 0);
    EXPECT_EQ(ToQColor(RGBColor(1, 2, 3)), QColor(1, 2, 3));
    EXPECT_EQ(FromQColor(QColor(255, 0, 0)), clRed);
    EXPECT_EQ(clBlue, 0x00FF0000);
    // A brush of colour none is clear: it paints nothing.
    const QImage img = paint([](Canvas& c) {
        c.Brush.SetColor(clNone);
        c.FillRect({0, 0, 50, 50});
    });
    EXPECT_TRUE(isWhite(img, 10, 10));
}

TEST(Canvas, TextBackgroundFollowsTheBrush)
{
    const QImage opaque = paint([](Canvas& c) {
        c.Brush.SetColor(clYellow);
        c.TextOut(10, 10, "i");
    });
    EXPECT_EQ(opaque.pixel(10, 10), qRgb(255, 255, 0));  // top-left of the text box, no ink there
    const QImage clear = paint([](Canvas& c) {
        c.Brush.SetStyle(bsClear);
        c.TextOut(10, 10, "i");
    });
    EXPECT_TRUE(isWhite(clear, 10, 10));
    // An explicit transparent mode lasts until the brush changes.
    const QImage explicitMode = paint([](Canvas& c) {
        c.Brush.SetColor(clYellow);
        c.SetBackgroundTransparent(true);
        c.TextOut(10, 10, "i");
        c.Brush.SetColor(clAqua);
        c.TextOut(100, 10, "i");
    });
    EXPECT_TRUE(isWhite(explicitMode, 10, 10));
    EXPECT_EQ(explicitMode.pixel(100, 10), qRgb(0, 255, 255));
}

TEST(Canvas, DrawTextEllipsisClipAndPrefix)
{
    const QString wide = "WWWWWWWWWWWWWWWWWWWWWWWWWWWW";
    Rect r{10, 10, 90, 40};
    // With an end ellipsis the text ends in three low dots inside the box; clipped, tall W strokes reach the edge.
    const QImage elided = paint([&](Canvas& c) {
        c.Brush.SetStyle(bsClear);
        Rect rr = r;
        c.DrawText(wide, rr, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    });
    const QImage clipped = paint([&](Canvas& c) {
        c.Brush.SetStyle(bsClear);
        Rect rr = r;
        c.DrawText(wide, rr, DT_SINGLELINE | DT_NOPREFIX);
    });
    const int endElided = rightmostInk(elided, 0, 100);
    ASSERT_GT(endElided, 10);
    EXPECT_LT(endElided, 90);
    const int dotsTop = topmostInk(elided, endElided - 2, endElided + 1);
    const int textTop = topmostInk(elided, 10, 20);
    EXPECT_GT(dotsTop, textTop + 5) << "the end of the elided text is not an ellipsis";
    EXPECT_EQ(rightmostInk(clipped, 0, 100), 89);
    EXPECT_LE(topmostInk(clipped, 87, 90), textTop + 1);

    // A box of whole lines: its last line shown takes the rest of the text,
    // line breaks as blanks, and is cut with the mark; a text that fits
    // shows as it is.
    const int lh = Canvas().TextHeight("Ag");
    const int two = Canvas().TextWidth("alpha beta") + 2;
    const auto inBox = [&](const QString& text) {
        return paint([&](Canvas& c) {
            Rect rr{0, 0, two, 2 * lh + lh / 2};
            c.DrawText(text, rr, DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS | DT_NOPREFIX);
        });
    };
    const auto asLines = [&](const QString& first, const QString& second) {
        return paint([&](Canvas& c) {
            Rect top{0, 0, two, lh}, next{0, lh, two, 2 * lh};
            c.DrawText(first, top, DT_SINGLELINE | DT_NOPREFIX);
            c.DrawText(second, next, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
        });
    };
    EXPECT_EQ(inBox("alpha beta gamma delta epsilon"), asLines("alpha beta", "gamma delta epsilon"));
    EXPECT_EQ(inBox("alpha\nbeta\ngamma"), asLines("alpha", "beta gamma"));
    EXPECT_EQ(inBox("alpha beta\ngamma"), asLines("alpha beta", "gamma"));
    EXPECT_EQ(inBox("alphabetagammadeltaepsilon"), inBox("alphabetagammadeltaepsilon zeta"));

    // No clip: the text runs past the box.
    const QImage noclip = paint([&](Canvas& c) {
        Rect rr = r;
        c.DrawText(wide, rr, DT_SINGLELINE | DT_NOCLIP);
    });
    EXPECT_GT(rightmostInk(noclip, 0, 100), 120);

    // "&&" is one ampersand; without prefix processing both stay.
    const QImage prefixed = paint([](Canvas& c) {
        Rect rr{10, 10, 190, 40};
        c.DrawText("A&&B", rr, DT_SINGLELINE);
    });
    const QImage plain = paint([](Canvas& c) { c.TextOut(10, 10, "A&B"); });
    EXPECT_EQ(prefixed, plain);
    const QImage raw = paint([](Canvas& c) {
        Rect rr{10, 10, 190, 40};
        c.DrawText("A&&B", rr, DT_SINGLELINE | DT_NOPREFIX);
    });
    EXPECT_EQ(raw, paint([](Canvas& c) { c.TextOut(10, 10, "A&&B"); }));
}

TEST(Canvas, DrawTextMeasuresWrapsAndAligns)
{
    Canvas c;
    const int lh = c.TextHeight("Ag");
    Rect single{0, 0, 500, 100};
    EXPECT_EQ(c.DrawText("Hello", single, DT_SINGLELINE | DT_CALCRECT), lh);
    EXPECT_EQ(single.Width(), c.TextWidth("Hello"));
    EXPECT_EQ(single.Height(), lh);

    const int wordWidth = c.TextWidth("alpha");
    Rect wrap{0, 0, wordWidth + 2, 0};
    EXPECT_EQ(c.DrawText("alpha beta gamma", wrap, DT_WORDBREAK | DT_CALCRECT), 3 * lh);
    EXPECT_EQ(wrap.Width(), std::max({wordWidth, c.TextWidth("beta"), c.TextWidth("gamma")}));

    // A word wider than the box stays whole unless the box acts as an edit control.
    Rect word{0, 0, 20, 0};
    EXPECT_EQ(c.DrawText("abcdefghijkl", word, DT_WORDBREAK | DT_CALCRECT), lh);
    Rect edit{0, 0, 20, 0};
    EXPECT_GT(c.DrawText("abcdefghijkl", edit, DT_WORDBREAK | DT_EDITCONTROL | DT_CALCRECT), lh);

    // An empty line between two breaks counts; blanks at a wrapped line's end are dropped.
    Rect gap{0, 0, 500, 0};
    EXPECT_EQ(c.DrawText("a\n\nb", gap, DT_WORDBREAK | DT_CALCRECT), 3 * lh);
    Rect blanks{0, 0, wordWidth + 2, 0};
    EXPECT_EQ(c.DrawText("alpha     alpha", blanks, DT_WORDBREAK | DT_CALCRECT), 2 * lh);
    EXPECT_EQ(blanks.Width(), wordWidth);

    // Line breaks start lines unless single-line.
    Rect lines{0, 0, 500, 0};
    EXPECT_EQ(c.DrawText("a\r\nb\nc", lines, DT_CALCRECT), 3 * lh);

    // Vertical centring reports the offset to the text's bottom.
    Rect box{0, 0, 100, 100};
    EXPECT_EQ(c.DrawText("x", box, DT_SINGLELINE | DT_VCENTER), (100 - lh) / 2 + lh);

    // Right alignment puts the text's end at the right edge.
    const QImage right = paint([](Canvas& cv) {
        Rect rr{0, 0, 150, 40};
        cv.DrawText("III", rr, DT_SINGLELINE | DT_RIGHT);
    });
    const int end = rightmostInk(right, 0, 40);
    EXPECT_GE(end, 140);
    EXPECT_LT(end, 150);
}

TEST(Canvas, PicturesAndRotatedText)
{
    QImage pic(4, 4, QImage::Format_RGB32);
    pic.fill(QColor(255, 0, 255));
    pic.setPixel(2, 2, qRgb(0, 0, 0));
    const QImage img = paint([&](Canvas& c) { c.Draw(10, 10, pic, true); });
    EXPECT_TRUE(isWhite(img, 10, 10));               // the key colour is transparent
    EXPECT_EQ(img.pixel(12, 12), qRgb(0, 0, 0));
    const QImage opaque = paint([&](Canvas& c) { c.StretchDraw({10, 10, 18, 18}, pic); });
    EXPECT_EQ(opaque.pixel(10, 10), qRgb(255, 0, 255));
    EXPECT_EQ(opaque.pixel(17, 17), qRgb(255, 0, 255));
    EXPECT_TRUE(isWhite(opaque, 18, 18));

    // Escapement 900 turns the text to run upwards from its start point.
    const QImage turned = paint([](Canvas& c) {
        c.Brush.SetStyle(bsClear);
        c.Font.Orientation = 900;
        c.TextOut(50, 90, "WWWWW");
    }, 200, 100);
    EXPECT_LT(topmostInk(turned, 0, 200), 40);
    EXPECT_LT(rightmostInk(turned, 0, 100), 50 + 30);
}

TEST(Canvas, FocusRectIsDottedAndClipLimitsDrawing)
{
    const QImage img = paint([](Canvas& c) {
        c.DrawFocusRect({10, 10, 30, 20});
        c.SetClipRect({50, 0, 60, 100});
        c.Brush.SetColor(clBlack);
        c.FillRect({40, 40, 80, 50});
    });
    EXPECT_FALSE(isWhite(img, 10, 10));
    EXPECT_TRUE(isWhite(img, 11, 10));
    EXPECT_FALSE(isWhite(img, 12, 10));
    EXPECT_TRUE(isWhite(img, 15, 15));
    EXPECT_TRUE(isWhite(img, 45, 45));
    EXPECT_FALSE(isWhite(img, 55, 45));
    EXPECT_TRUE(isWhite(img, 65, 45));
}

TEST(Canvas, HatchBrushesLeaveTheirGapsUnpainted)
{
    for (BrushStyle style : {bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross}) {
        const QImage img = paint([&](Canvas& c) {
            c.Brush.SetColor(clRed);
            c.Brush.SetStyle(style);
            c.FillRect({10, 10, 42, 42});
        });
        int red = 0, white = 0;
        for (int y = 10; y < 42; ++y)
            for (int x = 10; x < 42; ++x) {
                red += img.pixel(x, y) == qRgb(255, 0, 0);
                white += isWhite(img, x, y);
            }
        EXPECT_GT(red, 0) << style;
        EXPECT_GT(white, 0) << style;
        EXPECT_TRUE(isWhite(img, 9, 9) && isWhite(img, 42, 42)) << style;
    }
    const QImage rows = paint([](Canvas& c) {
        c.Brush.SetColor(clBlue);
        c.Brush.SetStyle(bsHorizontal);
        c.FillRect({0, 0, 40, 40});
    });
    for (int y = 0; y < 40; ++y)
        for (int x = 1; x < 40; ++x) EXPECT_EQ(rows.pixel(x, y), rows.pixel(0, y)) << x << "," << y;
}

TEST(Canvas, PathBracketStrokesFillsAndClips)
{
    // Nothing shows until the path is used; then the closed figure is filled and outlined.
    const auto triangle = [](Canvas& c) {
        c.Brush.SetColor(clRed);
        c.BeginPath();
        c.MoveTo(10, 10);
        c.LineTo(90, 10);
        c.LineTo(90, 60);
        c.CloseFigure();
        c.EndPath();
        EXPECT_FALSE(c.InPath());
    };
    QImage img = paint(triangle);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) ASSERT_TRUE(isWhite(img, x, y));
    img = paint([&](Canvas& c) {
        triangle(c);
        c.StrokeAndFillPath();
        c.StrokeAndFillPath();  // used up: draws nothing more
    });
    EXPECT_EQ(img.pixel(80, 20), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(50, 10), qRgb(0, 0, 0));
    EXPECT_TRUE(isWhite(img, 20, 50));
    // The path as clip region: only its inside takes the fill.
    img = paint([](Canvas& c) {
        c.BeginPath();
        c.Rectangle(20, 20, 60, 50);
        c.EndPath();
        c.SelectClipPath();
        c.Brush.SetColor(clGreen);
        c.FillRect({0, 0, 200, 100});
        c.ClearClipRect();
        c.FillRect({150, 0, 160, 10});
    });
    EXPECT_EQ(img.pixel(40, 30), qRgb(0, 128, 0));
    EXPECT_TRUE(isWhite(img, 10, 10) && isWhite(img, 70, 30));
    EXPECT_EQ(img.pixel(155, 5), qRgb(0, 128, 0));
}

TEST(Canvas, PolylineToAndBezierToStartAtThePen)
{
    QPoint pen;
    QImage img = paint([&](Canvas& c) {
        c.MoveTo(5, 5);
        c.PolylineTo({{30, 5}, {30, 30}});
        pen = c.PenPos();
    });
    EXPECT_EQ(pen, QPoint(30, 30));
    EXPECT_FALSE(isWhite(img, 20, 5));
    EXPECT_FALSE(isWhite(img, 30, 20));
    // Only complete pieces of three are drawn; fewer points leave the pen where it was.
    img = paint([&](Canvas& c) {
        c.MoveTo(10, 50);
        c.PolyBezierTo({{40, 50}, {70, 50}, {100, 50}, {150, 90}});
        pen = c.PenPos();
        c.MoveTo(5, 95);
        c.PolyBezierTo({{50, 95}, {60, 95}});
        EXPECT_EQ(c.PenPos(), QPoint(5, 95));
    });
    EXPECT_EQ(pen, QPoint(100, 50));
    EXPECT_FALSE(isWhite(img, 60, 50));
    EXPECT_TRUE(isWhite(img, 120, 70));
    EXPECT_TRUE(isWhite(img, 30, 95));
}

TEST(Canvas, StoredPenModes)
{
    const std::pair<int, PenMode> table[] = {{4, pmCopy}, {14, pmXor}, {3, pmNot}, {0, pmCopy}, {5, pmCopy}, {15, pmCopy}, {-1, pmCopy}};
    for (const auto& [ordinal, mode] : table) EXPECT_EQ(PenModeFromOrdinal(ordinal), mode) << ordinal;
    for (PenMode m : {pmCopy, pmXor, pmNot}) EXPECT_EQ(PenModeFromOrdinal(PenModeOrdinal(m)), m);
    EXPECT_EQ(PenModeOrdinal(pmCopy), 4);
}

TEST(LogFont, StoredRecordIsWrittenBackUnchanged)
{
    QByteArray stored(60, '\0');
    const qint32 height = -21;
    memcpy(stored.data(), &height, 4);
    stored[16] = char(0xBC);  // weight 700
    stored[17] = char(0x02);
    stored[20] = 1;           // italic
    stored[23] = char(136);   // Big5 charset
    stored[24] = 3;           // odd precisions and quality
    stored[25] = 2;
    stored[26] = 5;
    stored[27] = 0x31;
    memcpy(stored.data() + 28, "Tahoma\0garbage after NUL", 24);
    stored[59] = char(0x7F);

    auto lf = LogFont::FromBytes(stored);
    ASSERT_TRUE(lf.has_value());
    EXPECT_EQ(lf->Height(), -21);
    EXPECT_EQ(lf->Weight(), 700);
    EXPECT_EQ(lf->CharSet(), 136);
    EXPECT_EQ(lf->FaceName(), "Tahoma");
    EXPECT_EQ(lf->ToBytes(), stored);
    // Drawing with it changes nothing either.
    (void)lf->ToQFont(96);
    EXPECT_EQ(lf->ToBytes(), stored);

    EXPECT_FALSE(LogFont::FromBytes(QByteArray(59, '\0')).has_value());
    EXPECT_FALSE(LogFont::FromBytes(QByteArray(61, '\0')).has_value());
}

TEST(LogFont, UserPickedFontAndConversionToQFont)
{
    QFont picked("Liberation Sans");
    picked.setPointSize(12);
    picked.setBold(true);
    picked.setItalic(true);
    const LogFont lf = LogFont::FromQFont(picked, 96);
    EXPECT_EQ(lf.Height(), -16);
    EXPECT_EQ(lf.Weight(), 700);
    EXPECT_EQ(lf.Italic(), 1);
    EXPECT_EQ(lf.Underline(), 0);
    EXPECT_EQ(lf.FaceName(), "Liberation Sans");

    const QFont atScreen = lf.ToQFont(96);
    EXPECT_EQ(atScreen.pixelSize(), 16);
    EXPECT_TRUE(atScreen.bold());
    EXPECT_TRUE(atScreen.italic());
    EXPECT_EQ(lf.ToQFont(600).pixelSize(), 100);  // same physical size on a 600 dpi printer

    // Faces that are not installed are drawn with their stand-ins.
    LogFont tahoma;
    tahoma.SetFaceName("Tahoma");
    EXPECT_EQ(QFontInfo(tahoma.ToQFont()).family(), "DejaVu Sans");
    LogFont ms;
    ms.SetFaceName("MS Sans Serif");
    EXPECT_EQ(QFontInfo(ms.ToQFont()).family(), "Liberation Sans");
    EXPECT_EQ(MapFaceName("Symbol"), "DejaVu Sans");
    LogFont gothic;
    gothic.SetFaceName("Century Gothic");
    EXPECT_TRUE(QFontInfo(gothic.ToQFont()).family().startsWith("URW Gothic"));
    EXPECT_EQ(gothic.FaceName(), "Century Gothic");  // the record keeps its face

    // A long Chinese face name is cut on a character boundary.
    LogFont cjk;
    cjk.SetFaceName(QString(12, QChar(0x660E)));  // 36 bytes of UTF-8
    EXPECT_EQ(cjk.FaceName(), QString(10, QChar(0x660E)));
}

TEST(LogFont, CanvasFontRoundTrip)
{
    Font f;
    f.Name = "Courier New";
    f.SetSize(10);
    f.Style = fsBold | fsUnderline;
    EXPECT_EQ(f.Height, -13);
    const Font back = Font::FromLogFont(f.ToLogFont());
    EXPECT_EQ(back.Name, f.Name);
    EXPECT_EQ(back.Height, f.Height);
    EXPECT_EQ(back.Style, f.Style);
    EXPECT_EQ(back.Size(), 10);
    // Measuring at printer resolution scales the font with the device.
    Canvas screen(96), printer(600);
    screen.Font = f;
    printer.Font = f;
    EXPECT_NEAR(printer.TextWidth("Quillet") / double(screen.TextWidth("Quillet")), 600.0 / 96, 0.5);
}

namespace {

// Under MM_LOMETRIC a unit is 0.1 mm with y upwards from the viewport origin;
// text stays upright and measures in 0.1 mm.
TEST(Canvas, TenthMillimetreMapping)
{
    const int dpi = 254;  // ten pixels a millimetre
    QImage img(400, 400, QImage::Format_RGB32);
    img.setDotsPerMeterX(10000);
    img.setDotsPerMeterY(10000);
    img.fill(Qt::white);
    QPainter p(&img);
    Canvas c;
    c.Begin(&p);
    ASSERT_EQ(c.Dpi(), dpi);
    c.SetViewportOrigin({50, 20});
    c.SetMapMode(MM_LOMETRIC);
    EXPECT_EQ(c.LogicalToDevice(100, -100), QPoint(150, 120));
    EXPECT_EQ(c.LogicalToDevice(Rect{0, 0, 100, -50}), (Rect{50, 20, 150, 70}));
    EXPECT_EQ(c.DeviceToLogical(Rect{50, 20, 150, 70}), (Rect{0, 0, 100, -50}));
    c.Brush.SetColor(clBlack);
    c.FillRect(Rect{0, -100, 20, -120});  // 2 mm square, 10 mm down
    c.Font.Height = -50;                  // 5 mm
    const int h = c.TextHeight("gh");
    EXPECT_NEAR(h, 57, 4);
    EXPECT_EQ(c.TextWidth("WWWW"), c.DeviceToLogicalLength(QFontMetrics(c.CurrentQFont()).horizontalAdvance("WWWW")));
    c.SetBackgroundTransparent(true);
    c.TextOut(100, -200, "T");
    c.SetMapMode(MM_TEXT);
    c.SetViewportOrigin({});
    c.End();
    p.end();
    EXPECT_FALSE(isWhite(img, 55, 125));
    EXPECT_TRUE(isWhite(img, 55, 115));
    EXPECT_TRUE(isWhite(img, 75, 125));
    // The upright "T": its bar lies above its stem, below y = 220.
    int firstInk = -1;
    for (int y = 215; y < 300 && firstInk < 0; ++y)
        for (int x = 150; x < 200; ++x)
            if (!isWhite(img, x, y)) {
                firstInk = y;
                break;
            }
    ASSERT_GE(firstInk, 220);
    int barWidth = 0, stemWidth = 0;
    for (int x = 150; x < 200; ++x) {
        barWidth += !isWhite(img, x, firstInk + 2);
        stemWidth += !isWhite(img, x, firstInk + 25);
    }
    EXPECT_GT(barWidth, 2 * stemWidth);
}

}  // namespace
