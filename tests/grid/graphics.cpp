// Cell graphics as the grid paints them: grabs of a real grid checked on
// pixels (check boxes, radio groups, progress bars, rotated text, comments,
// nodes, data images, transparent bitmaps), and the placement rules.
#include "whitegrid.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace grid;

namespace {

constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr auto isDark = isDarkPixel;
constexpr auto isRed = isRedPixel;

// A grid of 5 x 5 cells of 90 x 40 pixels with a white background.
class GraphicsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        layOutWhiteGrid(g, 5, 5, 90, 40);
        for (int r = 1; r < 5; ++r)
            for (int c = 1; c < 5; ++c)
                g.SetCells(c, r, "");
    }
    QImage shot() { return grabCells(g); }
    template <typename Pred>
    int count(const QImage& image, const Rect& r, Pred pred)
    {
        return countPixels(image, r, pred);
    }

    RIvuZuvuzoZuvu g;
};

}  // namespace

TEST_F(GraphicsTest, CheckBoxRadioProgressAndRotatedText)
{
    g.AddCheckBox(1, 1, true, false);
    g.AddCheckBox(2, 1, false, false);
    TCellStrings items;
    items.Lines = {"", ""};
    g.AddRadio(1, 2, 1, 1, &items);
    g.SetCells(2, 2, "50");
    g.AddProgress(2, 2, platform::clRed, platform::clWhite);
    g.Font().Color = platform::clBlack;
    g.AddRotated(3, 1, 90, "Upward");
    g.SetRowHeights(1, 80);
    const QImage image = shot();
    image.save(QStringLiteral("grid_graphics.png"));

    // The checked box has its mark: many more dark pixels than the empty one.
    const int checked = count(image, g.CellRect(1, 1), isDark);
    const int unchecked = count(image, g.CellRect(2, 1), isDark);
    EXPECT_GT(checked, unchecked + 10);

    // The second radio button carries the dot.
    const Rect radioCell = g.CellRect(1, 2);
    const int size = g.ControlLook->RadioSize();
    const int y = radioCell.Top + (radioCell.Height() - size) / 2;
    const Rect first = Rect::FromSize(radioCell.Left + 2, y, size + 4, size);
    const Rect second = Rect::FromSize(radioCell.Left + 4 + size, y, size + 4, size);
    EXPECT_GT(count(image, second, isDark), count(image, first, isDark));

    // The bar's red part covers half the bar, within a pixel.
    const Rect bar = g.CellRect(2, 2);
    const int row = bar.Top + 4;
    int redStart = -1, redEnd = -1, whiteEnd = -1;
    for (int x = bar.Left; x < bar.Right; ++x) {
        const QRgb p = image.pixel(x, row);
        if (isRed(p) && redStart < 0)
            redStart = x;
        if (redStart >= 0 && redEnd < 0 && !isRed(p))
            redEnd = x;
        if (redEnd >= 0 && whiteEnd < 0 && p != qRgb(255, 255, 255))
            whiteEnd = x;
    }
    ASSERT_GT(redStart, 0);
    ASSERT_GT(redEnd, redStart);
    ASSERT_GT(whiteEnd, redEnd);
    EXPECT_NEAR(redEnd - redStart, (whiteEnd - redStart) / 2.0, 1.0);
    EXPECT_NEAR(whiteEnd - redStart, bar.Width() - 4, 2);

    // Text turned by 90 degrees: its ink is much taller than wide.
    const Rect rotated = g.CellRect(3, 1);
    int minX = 1 << 20, maxX = -1, minY = 1 << 20, maxY = -1;
    for (int yy = rotated.Top + 2; yy < rotated.Bottom - 2; ++yy)
        for (int x = rotated.Left + 2; x < rotated.Right - 2; ++x)
            if (isDark(image.pixel(x, yy))) {
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, yy), maxY = std::max(maxY, yy);
            }
    ASSERT_GE(maxX, 0);
    EXPECT_GT(maxY - minY, 2 * (maxX - minX));
}

TEST_F(GraphicsTest, ProgressAndDataImagesTakeAnyText)
{
    TCustomImageList images(16, 16);
    QImage red(16, 16, QImage::Format_RGB32);
    red.fill(kRed);
    images.Add(red);
    g.GridImages = &images;
    const char* texts[] = {"abc", "-1", "5", "0"};
    for (int r = 1; r <= 4; ++r) {
        g.SetCells(1, r, texts[r - 1]);
        g.AddDataImage(1, r, 0, haLeft, vaTop);
        g.SetCells(2, r, r == 1 ? "abc" : r == 2 ? "-20" : r == 3 ? "150" : "");
        g.AddProgress(2, r, platform::clRed, platform::clWhite);
    }
    QImage image;
    ASSERT_NO_THROW(image = shot());
    for (int r = 1; r <= 3; ++r)
        EXPECT_EQ(count(image, g.CellRect(1, r), isRed), 0) << texts[r - 1];
    EXPECT_GE(count(image, g.CellRect(1, 4), isRed), 200);

    // Not a number or below 0: no done part; above 100: a full bar, kept inside the cell.
    EXPECT_EQ(count(image, g.CellRect(2, 1), isRed), 0);
    EXPECT_EQ(count(image, g.CellRect(2, 2), isRed), 0);
    const Rect full = g.CellRect(2, 3);
    const int row = full.Top + 4;
    int redPixels = 0;
    for (int x = full.Left; x < full.Right; ++x)
        redPixels += isRed(image.pixel(x, row));
    EXPECT_NEAR(redPixels, full.Width() - 4, 1);
    EXPECT_FALSE(isRed(image.pixel(full.Right + 2, row)));
    g.GridImages = nullptr;
}

TEST_F(GraphicsTest, DisabledBitmapLookCommentNodeAndTransparentBitmap)
{
    g.ControlLook->ControlStyle = csWinXP;
    g.AddCheckBox(1, 1, true, false);
    g.OnCanEditCell = [](RIvuZuvuzoZuvu*, int ARow, int ACol, bool& CanEdit) { CanEdit = !(ACol == 1 && ARow == 1); };
    g.AddComment(2, 1, "note");
    QImage bitmap(12, 12, QImage::Format_RGB32);
    bitmap.fill(qRgb(255, 0, 255));  // the key colour, taken from the top-left pixel
    QPainter(&bitmap).fillRect(4, 4, 4, 4, kRed);
    TBitmap cellBitmap(bitmap);
    g.AddBitmap(3, 1, &cellBitmap, true, haLeft, vaTop);
    g.AddNode(2, 0);
    g.CellNode->NodeType = cnFlat;
    g.AddNode(3, 0);
    g.ContractNode(3);
    const QImage image = shot();

    // The disabled checked glyph sits at the box, drawn as its resource.
    const QImage glyph = BitmapResource(QStringLiteral("ASGCHK07"));
    ASSERT_FALSE(glyph.isNull());
    const Rect cell = g.CellRect(1, 1);
    int x0 = -1, y0 = -1, gw = 0, gh = 0;
    bool textToo = true;
    TCellHAlign gha;
    TCellVAlign gva;
    ASSERT_NE(g.GetGraphicDetails(1, 1, gw, gh, textToo, gha, gva), nullptr);
    // Find the glyph's frame colour in the cell and compare from there.
    for (int y = cell.Top; y < cell.Bottom && x0 < 0; ++y)
        for (int x = cell.Left; x < cell.Right; ++x)
            if (image.pixel(x, y) == glyph.pixel(1, 1)) {
                x0 = x - 1, y0 = y - 1;
                break;
            }
    ASSERT_GE(x0, 0);
    int same = 0, compared = 0;
    for (int y = 0; y < glyph.height(); ++y)
        for (int x = 0; x < glyph.width(); ++x)
            if (glyph.pixel(x, y) != glyph.pixel(0, 0)) {
                ++compared;
                same += image.pixel(x0 + x, y0 + y) == glyph.pixel(x, y);
            }
    EXPECT_EQ(same, compared);
    EXPECT_NE(glyph, BitmapResource(QStringLiteral("ASGCHK05")));

    // The comment's red corner.
    const Rect comment = g.CellRect(2, 1);
    EXPECT_TRUE(isRed(image.pixel(comment.Right - 3, comment.Top + 2)));
    EXPECT_FALSE(isRed(image.pixel(comment.Left + 3, comment.Top + 2)));

    // The transparent bitmap leaves its key colour out.
    const Rect b = g.CellRect(3, 1);
    EXPECT_EQ(count(image, b, [](QRgb p) { return p == qRgb(255, 0, 255); }), 0);
    EXPECT_EQ(count(image, b, isRed), 16);

    // Flat nodes: a minus while expanded, a plus (with its upright) while collapsed.
    auto upright = [&](int row) {
        const Rect r = g.CellRect(0, row);
        const int top = r.Top + std::max(0, r.Height() - 8) / 2;
        return image.pixel(r.Left + 8, top + 2);
    };
    EXPECT_FALSE(isDark(upright(2)));
    EXPECT_TRUE(isDark(upright(3)));
}

TEST_F(GraphicsTest, PlacementAndSizesOfTheGraphicBox)
{
    TBitmap wide(QImage(120, 10, QImage::Format_RGB32));
    g.AddBitmap(1, 1, &wide, false, haCenter, vaTop);
    int gw = 0, gh = 0;
    bool textToo = false;
    TCellHAlign gha;
    TCellVAlign gva;
    EXPECT_EQ(g.GetGraphicDetails(1, 1, gw, gh, textToo, gha, gva), g.GetCellGraphic(1, 1));
    EXPECT_EQ(gw, 120);
    EXPECT_TRUE(textToo);
    EXPECT_EQ(gha, haCenter);

    g.AddCheckBox(2, 1, false, true);
    g.GetGraphicDetails(2, 1, gw, gh, textToo, gha, gva);
    EXPECT_EQ(gw, g.ControlLook->CheckSize());
    EXPECT_FALSE(textToo);  // a data check box shows no text
    g.AddRotated(3, 1, 45, "x");
    g.GetGraphicDetails(3, 1, gw, gh, textToo, gha, gva);
    EXPECT_EQ(gw + gh, 0);
    EXPECT_FALSE(textToo);
    EXPECT_EQ(g.GetGraphicDetails(4, 4, gw, gh, textToo, gha, gva), nullptr);
    EXPECT_TRUE(textToo);

    // A bitmap wider than its column starts one pixel right of the cell's left edge.
    QImage image(200, 60, QImage::Format_RGB32);
    image.fill(Qt::white);
    wide.Image.fill(Qt::black);
    QPainter painter(&image);
    platform::Canvas canvas;
    canvas.Begin(&painter);
    g.DrawCellGraphic(canvas, 1, 1, Rect{10, 10, 100, 50}, 0, taLeftJustify);
    canvas.End();
    painter.end();
    EXPECT_EQ(image.pixel(10, 11), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(11, 11), qRgb(0, 0, 0));

    // Rotated text starts inside its cell whatever the angle.
    for (int angle : {0, 45, 90, 180, 270, 315}) {
        Rect r{0, 0, 90, 80};
        const QPoint p = g.CalcTextPos(r, angle, "Text", taLeftJustify);
        EXPECT_EQ(r, (Rect{2, 2, 88, 78})) << angle;
        EXPECT_TRUE(p.x() >= -1 && p.x() <= 90 && p.y() >= -1 && p.y() <= 80) << angle;
    }
}

TEST_F(GraphicsTest, ButtonsRecordWhereTheyWereDrawn)
{
    g.AddButton(2, 2, 60, 20, "Go", haRight, vaBottom);
    EXPECT_TRUE(g.HasButton(2, 2));
    const QImage image = shot();
    const Rect cell = g.CellRect(2, 2);
    const Rect button = g.ButtonRect(2, 2);
    EXPECT_EQ(button.Width(), 60);
    EXPECT_EQ(button.Height(), 20);
    EXPECT_EQ(button.Right, cell.Right - 1);
    EXPECT_EQ(button.Bottom, cell.Bottom - 1);
    // The caption is drawn inside the button, nothing left of it.
    EXPECT_GT(count(image, button, isDark), 5);
    EXPECT_EQ(count(image, {cell.Left + 1, cell.Top + 1, button.Left - 1, cell.Bottom - 2}, isDark), 0);

    g.PushButton(2, 2, true);
    EXPECT_TRUE(g.GetCellGraphic(2, 2)->CellBoolean);
    EXPECT_TRUE(g.RemoveButton(2, 2));
    EXPECT_EQ(g.ButtonRect(2, 2), Rect{});
}
