// The floating footer: template texts filled from the current row, the
// panel's height and place under the cells, the last row shown as a fixed
// footer row, and what the panel draws.
#include "inputfixture.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace grid;

namespace {
// How many pixels of the image differ from its top-left pixel's colour by a lot.
int darkPixels(const QImage& img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 100)
                ++n;
    return n;
}
}  // namespace

TEST(GridFooter, TemplateShowsTheColumnTotal)
{
    InputGrid t(6, 4);
    const int amounts[] = {4, 5, 6};
    for (int r = 1; r <= 3; ++r)
        t.g.SetInts(2, r, amounts[r - 1]);
    t.g.SetInts(2, 4, static_cast<int>(t.g.ColumnSum(2, 1, 3)));
    t.g.SetRow(4);
    TFooterPanel* panel = t.g.Footer();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->HTMLColReplace("Total: <#2>"), "Total: 15");
    EXPECT_EQ(panel->HTMLColReplace("<#1> / <#2>!"), "r4c1 / 15!");

    // Marks that name no column are dropped with their marks; an unclosed one stays.
    EXPECT_EQ(panel->HTMLColReplace("a<#x>b<#99>c<#-1>d"), "abcd");
    EXPECT_EQ(panel->HTMLColReplace("Total: <#2"), "Total: <#2");
    EXPECT_EQ(panel->HTMLColReplace("<#2><#2"), "15<#2");
    EXPECT_EQ(panel->HTMLColReplace("no marks"), "no marks");

    // Drawn: the preview shows the filled template.
    t.g.FloatingFooter.FooterStyle = fsCustomPreview;
    t.g.FloatingFooter.CustomTemplate = std::string("Total: <#2>");
    t.g.FloatingFooter.Height = 22;
    t.g.FloatingFooter.Visible = true;
    QApplication::processEvents();
    const QImage shot = panel->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_GT(darkPixels(shot.copy(4, 4, 80, 14)), 10);  // the text
}

TEST(GridFooter, PanelTakesItsHeightUnderTheCells)
{
    InputGrid t(6, 4);
    TFooterPanel* panel = t.g.Footer();
    const int viewHeight = t.g.viewport()->height();
    EXPECT_FALSE(panel->isVisible());
    t.g.FloatingFooter.Height = 20;
    EXPECT_FALSE(panel->isVisible());
    t.g.FloatingFooter.Visible = true;
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->height(), 19);
    EXPECT_EQ(t.g.viewport()->height(), viewHeight - 19);
    EXPECT_EQ(panel->y(), t.g.viewport()->geometry().bottom() + 1);
    t.g.FloatingFooter.Visible = false;
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(t.g.viewport()->height(), viewHeight);
}

TEST(GridFooter, LastRowBecomesTheFooterRow)
{
    InputGrid t(6, 4);
    t.g.SetCells(1, 5, "SUM");
    t.g.FloatingFooter.Height = 22;
    t.g.FloatingFooter.Visible = true;
    QApplication::processEvents();
    // The panel draws the last row; the grid keeps keys out of it.
    const QImage panel = t.g.Footer()->grab().toImage();
    EXPECT_GT(darkPixels(panel), 10);
    t.g.SetRow(1);
    t.g.Navigation->HomeEndKey = heFirstLastRow;
    t.key(Qt::Key_End);
    EXPECT_EQ(t.g.Row(), 4);

    // Without the fixed-last-row style the grid paints its last row again.
    const QImage before = t.g.viewport()->grab().toImage();
    t.g.FloatingFooter.FooterStyle = fsColumnPreview;
    QApplication::processEvents();
    const QImage after = t.g.viewport()->grab().toImage();
    const platform::Rect last = t.g.CellRect(1, 5);
    ASSERT_FALSE(last.IsEmpty());
    EXPECT_LT(darkPixels(before.copy(last.ToQRect())), darkPixels(after.copy(last.ToQRect())));
}
