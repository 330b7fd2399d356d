// Scrolling and sizing of the list grid: the stretched last column,
// ScrollInView, proportional scroll bars with the number hint while the
// thumb is dragged, the wheel (rows and zoom) and the cell hints.
#include "inputfixture.h"

#include <QScrollBar>

#include <gtest/gtest.h>

using namespace grid;

namespace {
// Resizes the grid so that its client area is w x h pixels.
void setClientSize(RIvuZuvuzoZuvu& g, int w, int h)
{
    g.resize(w + g.width() - g.viewport()->width(), h + g.height() - g.viewport()->height());
    QApplication::processEvents();
}
}  // namespace

TEST(GridScroll, StretchedColumnsFillTheClientWidth)
{
    InputGrid t(3, 3);
    setClientSize(t.g, 300, 150);
    ASSERT_EQ(t.g.viewport()->width(), 300);
    t.g.ColumnSize->Stretch = true;
    EXPECT_EQ(t.g.ColWidths(0), 64);
    EXPECT_EQ(t.g.ColWidths(2), 171);

    // Widening another column takes the room from the last one; so does a smaller window.
    t.g.SetColWidths(0, 100);
    EXPECT_EQ(t.g.ColWidths(2), 135);
    setClientSize(t.g, 250, 150);
    EXPECT_EQ(t.g.ColWidths(2), 85);
}

TEST(GridScroll, ScrollInViewCentresOnlyCellsOutOfView)
{
    InputGrid t(100, 4);
    setClientSize(t.g, 300, 21 * 11);  // header and ten rows
    ASSERT_EQ(t.g.VisibleRowCount(), 10);
    t.g.SetRow(4);
    t.g.ScrollInView(2, 6);  // visible: nothing moves
    EXPECT_EQ(t.g.TopRow(), 1);
    EXPECT_EQ(t.g.LeftCol(), 0);
    EXPECT_EQ(t.g.Row(), 4);

    t.g.ScrollInView(1, 50);
    EXPECT_EQ(t.g.Row(), 50);
    EXPECT_EQ(t.g.TopRow(), 45);

    // The bar's thumb stands for the visible share of the rows.
    const QScrollBar* bar = t.g.verticalScrollBar();
    const double share = double(bar->pageStep()) / (bar->maximum() - bar->minimum() + bar->pageStep());
    EXPECT_NEAR(share, 10.0 / 99, 0.001);
}

TEST(GridScroll, DraggedThumbShowsTheRowNumber)
{
    InputGrid t(100, 4);
    setClientSize(t.g, 300, 21 * 11);
    t.g.ScrollHints = shBoth;
    t.g.ScrollSynch = true;
    std::vector<int> asked;
    t.g.OnScrollHint = [&](RIvuZuvuzoZuvu*, int row, std::string&) { asked.push_back(row); };
    QScrollBar* bar = t.g.verticalScrollBar();
    bar->setSliderDown(true);
    bar->setSliderPosition(10);
    EXPECT_EQ(t.g.ScrollHintText(), "Row : 11");
    EXPECT_EQ(t.g.TopRow(), 11);  // scrolled along while dragging
    bar->setSliderDown(false);
    EXPECT_EQ(t.g.ScrollHintText(), "");
    EXPECT_EQ(asked, std::vector<int>{11});

    t.g.ScrollHints = shNone;
    bar->setSliderDown(true);
    bar->setSliderPosition(20);
    EXPECT_EQ(t.g.ScrollHintText(), "");
    bar->setSliderDown(false);
}

TEST(GridScroll, WheelMovesTheCurrentRowAndZooms)
{
    InputGrid t(12, 3);
    const int step = t.g.WheelScrollLines();
    ASSERT_GT(step, 0);
    t.g.SetRow(1);
    t.wheel(-120);  // one notch towards the user
    EXPECT_EQ(t.g.Row(), 1 + step);
    for (int i = 0; i < 10; ++i)
        t.wheel(-120);
    EXPECT_EQ(t.g.Row(), 11);  // never past the last data row
    t.g.SetFixedFooters(1);
    t.wheel(120);
    t.wheel(-240);
    EXPECT_EQ(t.g.Row(), 10);  // nor into the footer row
    t.g.EnableWheel = false;
    t.wheel(120);
    EXPECT_EQ(t.g.Row(), 10);

    // Ctrl+wheel widens every column and row by the step, up to a zoom step of 10.
    const int h = t.g.RowHeights(3);
    t.wheel(-120, Qt::ControlModifier);
    EXPECT_EQ(t.g.ColWidths(1), 64 + step);
    EXPECT_EQ(t.g.RowHeights(3), h + step);
    for (int i = 0; i < 20; ++i)
        t.wheel(-120, Qt::ControlModifier);
    EXPECT_LE(t.g.ZoomStep(), 10);
    EXPECT_EQ(t.g.ColWidths(1), 64 + t.g.ZoomStep());
    t.g.Zoom(-t.g.ZoomStep());
    EXPECT_EQ(t.g.ColWidths(1), 64);
    t.g.Zoom(-8);
    t.g.Zoom(-3);  // would leave -10..10: ignored
    EXPECT_EQ(t.g.ZoomStep(), -8);
    // A row too low to shrink keeps its height, and each row starts where
    // the heights above it end.
    t.g.Zoom(8);
    t.g.SetRowHeights(2, 3);
    t.g.Zoom(-5);
    EXPECT_EQ(t.g.RowHeights(2), 3);
    EXPECT_EQ(t.g.RowHeights(3), h - 5);
    for (int r = t.g.TopRow(); r < 5; ++r)
        EXPECT_EQ(t.g.CellRect(1, r + 1).Top - t.g.CellRect(1, r).Top, t.g.RowHeights(r));  // its lines lie in its cells
}

TEST(GridScroll, HintsShowCellTextWhereAsked)
{
    InputGrid t(4, 3);
    t.g.SetCells(1, 1, "short");
    t.g.SetCells(1, 2, "a text far too wide for a column of 64 pixels");
    std::string text;
    QPoint where;
    EXPECT_FALSE(t.g.CellHint(t.center(1, 2), text, where));
    t.g.HintShowLargeText = true;
    EXPECT_FALSE(t.g.CellHint(t.center(1, 1), text, where));
    EXPECT_TRUE(t.g.CellHint(t.center(1, 2), text, where));
    EXPECT_EQ(text, "a text far too wide for a column of 64 pixels");
    EXPECT_EQ(where.y(), t.g.CellRect(1, 2).Top);
    EXPECT_FALSE(t.g.CellHint(t.center(1, 0), text, where));  // header cells show no text hint

    t.g.OnGridHint = [](RIvuZuvuzoZuvu*, int row, int col, std::string& s) {
        s = "cell " + std::to_string(col) + "," + std::to_string(row);
    };
    EXPECT_TRUE(t.g.CellHint(t.center(2, 3), text, where));
    EXPECT_EQ(text, "cell 2,3");
}

TEST(GridScroll, OnlyBlinkingCellsRepaintOnTheTimer)
{
    InputGrid t(6, 4);
    QApplication::processEvents();
    t.g.viewport()->repaint();
    const int whole = t.g.LastPaintCellCount();
    ASSERT_GT(whole, 6);
    t.g.SetCells(2, 3, "<BLINK>now</BLINK>");
    const bool phase = t.g.BlinkPhase();
    QTRY_COMPARE_WITH_TIMEOUT(t.g.BlinkPhase(), !phase, 2000);
    QApplication::processEvents();
    EXPECT_LT(t.g.LastPaintCellCount(), whole);
}

TEST(GridScroll, MiddleButtonPansUntilTheNextPress)
{
    InputGrid t(40, 4);
    t.g.IntelliPan = ipVertical;
    t.g.SetRow(5);
    const QPoint origin = t.center(1, 3);
    QTest::mousePress(t.view(), Qt::MiddleButton, {}, origin);
    ASSERT_TRUE(t.g.Panning());
    QCursor::setPos(t.view()->mapToGlobal(origin + QPoint(2, 3)));  // inside the dead zone
    QTest::qWait(60);
    EXPECT_EQ(t.g.Row(), 5);
    QCursor::setPos(t.view()->mapToGlobal(origin + QPoint(40, 30)));
    QTRY_VERIFY_WITH_TIMEOUT(t.g.Row() > 8, 2000);
    EXPECT_EQ(t.g.Col(), 0);  // vertical panning leaves the column
    QTest::mousePress(t.view(), Qt::LeftButton, {}, origin);
    QTest::mouseRelease(t.view(), Qt::LeftButton, {}, origin);
    EXPECT_FALSE(t.g.Panning());
}
