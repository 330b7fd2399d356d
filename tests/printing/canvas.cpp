// The preview canvas records objects in hundredths of a millimetre: units,
// origins, text placement and measuring, text boxes, pictures.
#include "printing/pvobjects.h"
#include "printing/pvpreview.h"

#include <QBuffer>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

template <typename T> T& last(TPvPreview& pv) { return dynamic_cast<T&>(*pv.Canvas().LastObject); }

TEST(PvCanvas, UnitsAndOrigins)
{
    EXPECT_EQ(ConvertValue(10, PvMillimeters, PvUnits), 1000.0L);
    EXPECT_EQ(ConvertValue(1, PvInches, PvUnits), 2540.0L);
    EXPECT_EQ(ConvertValue(1, PvCentimeters, PvMillimeters), 10.0L);

    TPvPreview pv;
    TPvCanvas& c = pv.Canvas();
    c.TextOutLeft(12.345L, 20, QStringLiteral("a"));
    EXPECT_EQ(last<TPvTextObject>(pv).X, 1234);  // 1234.5 rounds to even
    EXPECT_EQ(last<TPvTextObject>(pv).Y, 2000);
    EXPECT_EQ(last<TPvTextObject>(pv).Page, 1);

    pv.Margins().Left.SetAsMm(10);
    c.CoordsRelative = fromUserMargins;
    c.TextOutLeft(0, 0, QStringLiteral("x"));
    EXPECT_EQ(last<TPvTextObject>(pv).X, 1000);
    EXPECT_EQ(last<TPvTextObject>(pv).Y, pv.Margins().Top.AsPvUnits);
    c.CoordsRelative = fromHeaderLine;
    c.TextOutLeft(0, 0, QStringLiteral("x"));
    EXPECT_EQ(last<TPvTextObject>(pv).Y, pv.Margins().Top.AsPvUnits + pv.Header().GetHeight());
    c.CoordsRelative = fromPage;
    c.DefaultMeasurement = PvInches;
    c.Line(1, 1, 2, 2);
    EXPECT_EQ(last<TPvLineObject>(pv).X2, 5080);
    c.DefaultMeasurement = PvMillimeters;

    const int width = c.Pen.Width;
    c.LineExt(0, 0, 10, 0, 50);
    EXPECT_EQ(last<TPvLineObject>(pv).LineType, PvLineExt);
    EXPECT_EQ(last<TPvLineObject>(pv).Pen.Width, 50);
    EXPECT_EQ(c.Pen.Width, width);
}

TEST(PvCanvas, TextPlacementAndNumbers)
{
    TPvPreview pv;
    TPvCanvas& c = pv.Canvas();
    const QString text = QStringLiteral("Pay to the order of");
    const TPvUnits w = c.TextWidth(text);
    EXPECT_GT(w.Units, 0);
    c.TextOutRight(100, 20, text);
    EXPECT_EQ(last<TPvTextObject>(pv).X, 10000 - w.Units);
    // Page tokens are measured as they print.
    EXPECT_EQ(c.TextWidth(QStringLiteral("{PAGE}")).Units, c.TextWidth(QStringLiteral("1")).Units);

    const std::pair<const char*, const char*> formats[] = {
        {"#,##0.00", "1,234,567.50"}, {"0.00", "1234567.50"}, {"0.###", "1234567.5"}, {"#,##0", "1,234,568"}};
    for (const auto& [format, expected] : formats) {
        c.FloatOut(100, 30, 1234567.5L, QString::fromLatin1(format));
        EXPECT_EQ(last<TPvTextObject>(pv).Text, QString::fromLatin1(expected)) << format;
    }
    c.FloatOut(100, 30, -0.004L, QStringLiteral("0.00"));
    EXPECT_EQ(last<TPvTextObject>(pv).Text, QStringLiteral("0.00"));
    c.RotateOut(10, 10, 90, QStringLiteral("up"));
    EXPECT_EQ(last<TPvTextObject>(pv).Font.Angle, 90.0L);
}

TEST(PvCanvas, TextBoxHeights)
{
    TPvPreview pv;
    TPvCanvas& c = pv.Canvas();
    const std::size_t before = pv.CurrentPage()->Objects.size();
    EXPECT_EQ(c.TextBoxExt(10, 10, 50, 40, QString(), taLeftJustify, gmTop, true), 0.0L);
    ASSERT_EQ(pv.CurrentPage()->Objects.size(), before + 1);
    EXPECT_EQ(last<TPvTextBoxObject>(pv).Y2, 1000);

    const QString words = QStringLiteral("a text of several words that wraps in a narrow box");
    EXPECT_EQ(c.TextBoxExt(10, 10, 50, 30, words, taCenter, gmMiddle, false), 20.0L);
    EXPECT_EQ(pv.CurrentPage()->Objects.size(), before + 1);  // measuring only

    const long double one = c.TextBoxExt(10, 10, 300, 0, QStringLiteral("one line"), taLeftJustify, gmTop, false);
    const long double many = c.TextBoxExt(10, 10, 40, 0, words, taLeftJustify, gmTop, true);
    EXPECT_NEAR(double(one), double(ConvertValue(c.TextHeight(QStringLiteral("X")).Units, PvUnits, PvMillimeters)), 0.3);
    EXPECT_GT(many, 2 * one);
    EXPECT_EQ(last<TPvTextBoxObject>(pv).Y2 - last<TPvTextBoxObject>(pv).Y, std::lrint(double(many) * 100));
}

TEST(PvCanvas, PicturesKeepTheirScreenSize)
{
    TPvPreview pv;
    TPvCanvas& c = pv.Canvas();
    QImage bitmap(96, 48, QImage::Format_RGB32);
    bitmap.fill(Qt::green);
    c.Draw(10, 10, bitmap, 1.0L);
    auto& g = last<TPvGraphicObject>(pv);
    EXPECT_EQ(g.X2 - g.X, 2540);
    EXPECT_EQ(g.Y2 - g.Y, 1270);
    EXPECT_EQ(g.GraphicType, gtBitmap);
    c.Draw(10, 10, bitmap, 0.5L);
    EXPECT_EQ(last<TPvGraphicObject>(pv).X2 - last<TPvGraphicObject>(pv).X, 1270);

    const std::size_t before = pv.CurrentPage()->Objects.size();
    c.Draw(10, 10, QImage());
    c.StretchDraw(0, 0, 10, 10, QImage());
    EXPECT_EQ(pv.CurrentPage()->Objects.size(), before);

    // A JPEG arrives decoded and prints its pixels.
    QImage red(40, 40, QImage::Format_RGB32);
    red.fill(Qt::red);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(red.save(&buffer, "JPEG", 95));
    c.StretchDraw(50, 50, 100, 100, QImage::fromData(jpeg, "JPEG"));
    pv.UpdatePreview();
    // Off the screen the page is recorded when its image is painted.
    const QImage shown = pv.PageImage().grab().toImage().convertToFormat(QImage::Format_RGB32);
    int redPixels = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) redPixels += qRed(shown.pixel(x, y)) > 200 && qGreen(shown.pixel(x, y)) < 60;
    EXPECT_GT(redPixels, 25);
    const QPicture& page = pv.GetMetaFile(1);
    QImage img(page.boundingRect().size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.drawPicture(0, 0, page);
    p.end();
    const QColor mid = img.pixelColor(UnitsToPixels(7500), UnitsToPixels(7500));
    EXPECT_GT(mid.red(), 200);
    EXPECT_LT(mid.green(), 60);
}

}  // namespace
