// Drawing objects on the screen picture (96 dpi images) and on a printed
// sheet (a 600 dpi PDF read back with pdftoppm): placement, pens, dashes,
// text, pictures, paths, and the faults the objects must not have.
#include "platform/screen.h"
#include "printing/pvdraw.h"
#include "printing/pvobjects.h"
#include "printing/pvunits.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <vector>

namespace {

using Objects = std::vector<std::unique_ptr<TPvBaseObject>>;
const TPvPageContext kPage{5, QDateTime(QDate(2026, 1, 2), QTime(3, 4))};

QImage blank(int w, int h, int dpi)
{
    QImage img(w, h, QImage::Format_RGB32);
    const int dpm = int(std::lrint(dpi / 0.0254));
    img.setDotsPerMeterX(dpm);
    img.setDotsPerMeterY(dpm);
    img.fill(Qt::white);
    return img;
}

// The objects drawn in order on a white image at `dpi` as the page picture draws them.
QImage drawn(const Objects& objects, int w = 400, int h = 320, int dpi = 96)
{
    QImage img = blank(w, h, dpi);
    QPainter p(&img);
    platform::Canvas c;
    c.Begin(&p);
    for (const auto& o : objects) o->Draw(c, dpi, {0, 0}, kPage);
    c.End();
    return img;
}

QRect inkBox(const QImage& img)
{
    QRect box;
    for (int y = 0; y < img.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & 0xFFFFFF) != 0xFFFFFF) box |= QRect(x, y, 1, 1);
    }
    return box;
}

TPvPen pen(int width, std::uint8_t style = PvPsSolid) { return {platform::clBlack, style, width, kPvPenModeCopy}; }
const TPvBrush kYellow{platform::clYellow, PvBsSolid};

TPvFont arial(int size = 12)
{
    TPvFont f;
    f.Name = QStringLiteral("Arial");
    f.Size = size;
    return f;
}

template <typename T> T& add(Objects& objects)
{
    objects.push_back(std::make_unique<T>());
    return static_cast<T&>(*objects.back());
}

template <typename T> T& shape(Objects& objects, int x1, int y1, int x2, int y2)
{
    T& s = add<T>(objects);
    s.SetBounds(x1, y1, x2, y2);
    s.Pen = pen(1);
    s.Brush = kYellow;
    return s;
}

template <typename T> T& poly(Objects& objects, QVector<QPoint> points)
{
    T& s = add<T>(objects);
    s.Points = std::move(points);
    s.Pen = pen(1);
    s.Brush = kYellow;
    return s;
}

// One case: the objects, and the box (hundredths of a millimetre) their ink
// must stay in, grown by half the device pen width and one pixel. Text cases
// give the text cell instead.
struct Case {
    const char* name;
    Objects objects;
    QRect box;
    int penWidth = 1;  // screen pixels
    const TPvTextObject* text = nullptr;
};

std::vector<Case> everyClass()
{
    std::vector<Case> cases;
    auto next = [&](const char* name, QRect box, int penWidth = 1) -> Case& {
        cases.push_back({name, {}, box, penWidth, nullptr});
        return cases.back();
    };
    {
        Case& c = next("text", {});
        auto& t = add<TPvTextObject>(c.objects);
        t.X = 1000, t.Y = 1200, t.Page = 3;
        t.Text = QStringLiteral("Quillet {PAGE}");
        t.Font = arial(14);
        t.Brush = kYellow;
        c.text = &t;
    }
    {
        Case& c = next("text box", QRect(QPoint(1000, 1000), QPoint(6000, 3000)));
        auto& t = add<TPvTextBoxObject>(c.objects);
        t.SetBounds(1000, 1000, 6000, 3000);
        t.Text = QStringLiteral("Page {PAGE} of {NUMPAGES}, a text long enough to wrap inside its box");
        t.Font = arial();
        t.Pen = pen(1);
        t.Brush = kYellow;
        t.Alignment = 2;
    }
    {
        Case& c = next("dashed line", QRect(QPoint(1000, 1000), QPoint(8000, 5000)), 3);
        auto& l = add<TPvLineObject>(c.objects);
        l.SetBounds(1000, 1000, 8000, 5000);
        l.Pen = pen(3, PvPsDash);
    }
    const QRect shapeBox(QPoint(1000, 1000), QPoint(5000, 4000));
    shape<TPvEllipseShape>(next("ellipse", shapeBox).objects, 1000, 1000, 5000, 4000);
    shape<TPvRectangleShape>(next("rectangle", shapeBox).objects, 1000, 1000, 5000, 4000);
    {
        auto& r = shape<TPvRoundRectShape>(next("round rect", shapeBox).objects, 1000, 1000, 5000, 4000);
        r.CornerWidth = 1000, r.CornerHeight = 800;
    }
    shape<TPvFillRectShape>(next("fill rect", shapeBox).objects, 1000, 1000, 5000, 4000);
    auto complex = [&](auto tag, const char* name) {
        using T = decltype(tag);
        auto& s = shape<T>(next(name, shapeBox).objects, 1000, 1000, 5000, 4000);
        s.X3 = 5000, s.Y3 = 1000, s.X4 = 1000, s.Y4 = 4000;
    };
    complex(TPvArcShape{}, "arc");
    complex(TPvChordShape{}, "chord");
    complex(TPvPieShape{}, "pie");
    const QVector<QPoint> three{{1000, 1000}, {6000, 1500}, {3000, 5000}};
    const QVector<QPoint> four{{1000, 1000}, {2000, 5000}, {5000, 5000}, {6000, 1000}};
    const QRect threeBox(QPoint(1000, 1000), QPoint(6000, 5000));
    poly<TPvPolygonObject>(next("polygon", threeBox).objects, three);
    poly<TPvPolyLineObject>(next("polyline", threeBox).objects, three);
    poly<TPvPolyBezierObject>(next("bezier", threeBox).objects, four);
    {
        Case& c = next("polyline-to", threeBox);
        auto& m = add<TPvMovetoObject>(c.objects);
        m.PointX = 1000, m.PointY = 1000, m.Pen = pen(1);
        poly<TPvPolyLineToObject>(c.objects, three);
    }
    {
        Case& c = next("bezier-to", threeBox);
        auto& m = add<TPvMovetoObject>(c.objects);
        m.PointX = 1000, m.PointY = 1000, m.Pen = pen(1);
        poly<TPvPolyBezierToObject>(c.objects, four);
    }
    {
        Case& c = next("bitmap", QRect(QPoint(1000, 1000), QPoint(5000, 3000)), 0);
        auto& g = add<TPvGraphicObject>(c.objects);
        g.SetBounds(1000, 1000, 5000, 3000);
        QImage red(40, 20, QImage::Format_RGB32);
        red.fill(Qt::red);
        g.SetBitmap(red);
    }
    {
        Case& c = next("metafile", QRect(QPoint(2000, 2000), QPoint(6000, 4000)), 0);
        auto& g = add<TPvGraphicObject>(c.objects);
        g.SetBounds(2000, 2000, 6000, 4000);
        QPicture picture;
        {
            QPainter p(&picture);
            p.fillRect(QRect(0, 0, 100, 50), Qt::blue);
        }
        g.SetMetafile(picture);
    }
    {
        Case& c = next("path", threeBox);
        shape<TPvBeginPath>(c.objects, 0, 0, 0, 0);
        auto& m = add<TPvMovetoObject>(c.objects);
        m.PointX = 1000, m.PointY = 1000;
        for (QPoint p : {QPoint(6000, 1000), QPoint(6000, 5000)}) {
            auto& l = add<TPvLinetoObject>(c.objects);
            l.PointX = p.x(), l.PointY = p.y(), l.Pen = pen(1);
        }
        add<TPvCloseFigure>(c.objects);
        auto& e = add<TPvEndPath>(c.objects);
        e.FillBitmap.reset();
        e.FillColor = platform::clRed;
    }
    return cases;
}

// The device box a case's ink must stay in at `dpi`.
QRect allowed(const Case& c, int dpi)
{
    const PvDeviceMap map = PvDeviceMap::ForDraw(dpi, {0, 0});
    if (c.text) {
        platform::Canvas m(dpi);
        m.Font = PvFontForDevice(c.text->Font, dpi, 1, dpi);
        const QString s = kPage.Tokenize(c.text->Text, c.text->Page);
        return QRect(map.X(c.text->X), map.Y(c.text->Y), m.TextWidth(s), m.TextHeight(s));
    }
    const int grow = CalculatePenWidth(pen(c.penWidth), dpi) / 2 + 1;
    const platform::Rect r = map.Box(c.box.left(), c.box.top(), c.box.right(), c.box.bottom());
    return r.ToQRect().adjusted(-grow, -grow, grow, grow);
}

// Where the drawings go for a person to look at: the folder QUILLET_SHOTS
// names, or nowhere.
QString outputDir()
{
    const QString dir = QString::fromLocal8Bit(qgetenv("QUILLET_SHOTS"));
    if (!dir.isEmpty())
        QDir().mkpath(dir);
    return dir;
}

TEST(PvObjects, RectangleOnTheScreenAndOnTheSheet)
{
    Objects one;
    auto& r = shape<TPvRectangleShape>(one, 1000, 1000, 3540, 2270);
    r.Brush = {platform::clWhite, PvBsClear};
    EXPECT_EQ(inkBox(drawn(one)), QRect(QPoint(38, 38), QPoint(133, 85)));

    r.Pen.Width = 0;  // one device pixel whatever the resolution
    QImage sheet = blank(700, 500, 600);
    {
        QPainter p(&sheet);
        platform::Canvas c;
        c.Begin(&p);
        r.Print(c, 0.5L, platform::Rect{100, 50, 700, 500}, {0, 0}, 600, kPage);
    }
    EXPECT_EQ(inkBox(sheet), QRect(QPoint(218, 168), QPoint(517, 317)));
}

// Lengths of the runs of ink and of white along row y, from the first ink on.
std::vector<int> runs(const QImage& img, int y)
{
    std::vector<int> out;
    bool ink = false;
    int len = 0;
    for (int x = 0; x < img.width(); ++x) {
        const bool here = (img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
        if (out.empty() && len == 0 && !here) continue;
        if (here == ink || len == 0) {
            ink = here;
            ++len;
            continue;
        }
        out.push_back(len);
        ink = here;
        len = 1;
    }
    return out;
}

TEST(PvObjects, LinePensAndDashesFollowTheDevice)
{
    Objects ext;
    auto& l = add<TPvLineObject>(ext);
    l.SetBounds(1000, 1000, 5000, 1000);
    l.LineType = PvLineExt;
    l.Pen = pen(50);
    EXPECT_EQ(inkBox(drawn(ext)).height(), 2);

    Objects dashed;
    auto& d = add<TPvLineObject>(dashed);
    d.SetBounds(1000, 1000, 9000, 1000);
    d.Pen = pen(3, PvPsDash);
    for (int dpi : {96, 192}) {
        const QImage img = drawn(dashed, 800, 200, dpi);
        const int k = dpi / 96;
        const std::vector<int> r = runs(img, inkBox(img).center().y());
        ASSERT_GE(r.size(), 6u) << dpi;
        for (std::size_t i = 0; i + 1 < r.size(); ++i) EXPECT_EQ(r[i], (i % 2 ? 13 : 6) * k) << dpi << " run " << i;
    }
    // Walked backwards the dashes start at the other end and still reach it.
    d.SetBounds(9000, 1000, 1000, 1000);
    const QImage back = drawn(dashed);
    EXPECT_EQ(runs(back, inkBox(back).center().y()).front(), 6);
}

TEST(PvObjects, EveryClassInksInsideItsBoxOnScreenAndPaper)
{
    std::vector<Case> cases = everyClass();
    const QString dir = outputDir();
    for (const Case& c : cases) {
        const QImage img = drawn(c.objects);
        if (!dir.isEmpty())
            img.save(QStringLiteral("%1/%2.png").arg(dir, QString::fromLatin1(c.name).replace(' ', '_')));
        const QRect ink = inkBox(img);
        EXPECT_FALSE(ink.isEmpty()) << c.name;
        EXPECT_TRUE(allowed(c, 96).contains(ink)) << c.name;
    }

    // The same objects printed, one page each, on a 100 x 80 mm sheet at 600 dpi.
    QTemporaryDir tmp;
    const QString pdf = tmp.filePath(QStringLiteral("objects.pdf"));
    {
        QPdfWriter writer(pdf);
        writer.setResolution(600);
        writer.setPageSize(QPageSize(QSizeF(100, 80), QPageSize::Millimeter));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p(&writer);
        platform::Canvas canvas;
        for (std::size_t i = 0; i < cases.size(); ++i) {
            if (i) writer.newPage();
            canvas.Begin(&p);
            for (const auto& o : cases[i].objects) o->Print(canvas, 1, platform::Rect{0, 0, 2362, 1890}, {0, 0}, 600, kPage);
            canvas.End();
        }
    }
    ASSERT_EQ(QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("600"), QStringLiteral("-aa"),
                                                             QStringLiteral("no"), QStringLiteral("-aaVector"), QStringLiteral("no"),
                                                             QStringLiteral("-png"), pdf, tmp.filePath(QStringLiteral("page"))}),
              0);
    const QStringList pages = QDir(tmp.path()).entryList({QStringLiteral("page*.png")}, QDir::Files, QDir::Name);
    ASSERT_EQ(pages.size(), qsizetype(cases.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const QImage img = QImage(tmp.filePath(pages[qsizetype(i)])).convertToFormat(QImage::Format_RGB32);
        const QRect ink = inkBox(img);
        EXPECT_FALSE(ink.isEmpty()) << cases[i].name;
        // pdftoppm may place an edge one pixel off the painter's integer grid.
        EXPECT_TRUE(allowed(cases[i], 600).adjusted(-1, -1, 1, 1).contains(ink))
            << cases[i].name << " ink " << ink.x() << "," << ink.y() << " " << ink.width() << "x" << ink.height();
    }
}

TEST(PvObjects, EmptyOrDegenerateObjectsDrawNothing)
{
    Objects none;
    poly<TPvPolygonObject>(none, {});
    poly<TPvPolyLineObject>(none, {});
    poly<TPvPolyBezierObject>(none, {{1000, 1000}, {2000, 2000}});
    poly<TPvPolyLineToObject>(none, {});
    poly<TPvPolyBezierToObject>(none, {});
    auto& box = add<TPvTextBoxObject>(none);  // no width: neither frame nor text
    box.SetBounds(3000, 1000, 3000, 5000);
    box.Text = QStringLiteral("an id that must not print");
    box.Font = arial();
    box.Pen = pen(1, PvPsClear);
    auto& narrow = add<TPvTextBoxObject>(none);  // right edge left of the left one
    narrow.SetBounds(6000, 1000, 5000, 3000);
    narrow.Text = QStringLiteral("reversed");
    narrow.Font = arial();
    narrow.Pen = pen(1);
    auto& foreign = add<TPvGraphicObject>(none);
    foreign.SetBounds(1000, 1000, 5000, 5000);
    const QByteArray emf = QByteArray::fromHex("0100000084000000") + QByteArray(200, '\x11');
    foreign.Metafile = emf;
    EXPECT_TRUE(inkBox(drawn(none)).isEmpty());
    QImage sheet = blank(1000, 1000, 600);
    {
        QPainter p(&sheet);
        platform::Canvas c;
        c.Begin(&p);
        for (const auto& o : none) o->Print(c, 1, platform::Rect{0, 0, 1000, 1000}, {0, 0}, 600, kPage);
    }
    EXPECT_TRUE(inkBox(sheet).isEmpty());
    EXPECT_EQ(*foreign.Metafile, emf);

    // A Bézier of five points draws its first piece only.
    Objects five;
    poly<TPvPolyBezierObject>(five, {{1000, 1000}, {2000, 1000}, {3000, 1000}, {4000, 1000}, {9000, 7000}});
    EXPECT_LT(inkBox(drawn(five)).bottom(), 45);
}

TEST(PvObjects, PicturesThroughABitmapAreCappedInSize)
{
    QPicture picture;
    {
        QPainter p(&picture);
        p.fillRect(QRect(0, 0, 10, 10), Qt::blue);
    }
    for (int right : {5000, 300000}) {  // 300 cm is over 11,000 pixels a side
        Objects one;
        auto& g = add<TPvGraphicObject>(one);
        g.SetBounds(1000, 1000, right, 5000);
        g.SetMetafile(picture);
        g.DrawAsBitmap = true;
        const QImage img = drawn(one);
        EXPECT_EQ(img.pixel(100, 100), qRgb(0, 0, 255)) << right;
        EXPECT_EQ(inkBox(img).topLeft(), QPoint(38, 38)) << right;
    }
}

TEST(PvObjects, PrintedFontsSizeThemselvesAndTokensFollowThePage)
{
    Objects objects;
    auto& box = add<TPvTextBoxObject>(objects);
    box.SetBounds(1000, 1000, 5000, 3000);
    box.Text = QStringLiteral("box");
    box.Font = arial(12);
    auto& text = add<TPvTextObject>(objects);
    text.X = 1000, text.Y = 4000;
    text.Text = QStringLiteral("{PAGE}");
    text.Page = 3;
    text.Font = arial(12);
    QImage sheet = blank(1200, 1200, 600);
    QPainter p(&sheet);
    platform::Canvas c;
    c.Begin(&p);
    for (long double scale : {1.0L, 0.5L}) {
        box.Print(c, scale, platform::Rect{0, 0, 1200, 1200}, {0, 0}, 600, kPage);
        EXPECT_EQ(c.Font.Height, -PvRound(12 * 600 / 72.0L * scale));
        text.Print(c, scale, platform::Rect{0, 0, 1200, 1200}, {0, 0}, 600, kPage);
        EXPECT_EQ(c.Font.Height, -PvRound(12 * 600 / 72.0L * scale));
    }
    c.End();
    p.end();

    Objects three;
    auto& literal = add<TPvTextObject>(three);
    literal.X = 1000, literal.Y = 1000, literal.Text = QStringLiteral("3"), literal.Font = arial();
    EXPECT_EQ(drawn(three), drawn(Objects([&] {
                  Objects o;
                  auto& t = add<TPvTextObject>(o);
                  t.X = 1000, t.Y = 1000, t.Text = QStringLiteral("{PAGE}"), t.Page = 3, t.Font = arial();
                  return o;
              }())));
}

}  // namespace
