// The string grid base driven like a user would: painting, geometry, data,
// keyboard and mouse gestures, editor and scroll bars.
#include "platform/stringgrid.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <set>

using namespace platform;

namespace {

// A grid that records what reaches its virtual hooks and can refuse.
class ProbeGrid : public StringGrid {
public:
    std::vector<std::pair<int, int>> drawn;
    std::vector<ShiftState> downShifts, upShifts;
    std::vector<std::pair<int, int>> columnMoves;
    int widthsChanged = 0, topLeftChanges = 0, wheelDowns = 0, clicks = 0, doubleClicks = 0;
    bool vetoCells = false, vetoSizing = false;
    std::pair<int, int> refused{-1, -1};

    using StringGrid::ScrollIntoView;
    using StringGrid::VScroll;

protected:
    void DrawCell(int col, int row, const Rect& rect, GridDrawState state) override
    {
        drawn.emplace_back(col, row);
        StringGrid::DrawCell(col, row, rect, state);
    }
    bool SelectCell(int col, int row) override
    {
        if (vetoCells && col == refused.first && row == refused.second) return false;
        return true;
    }
    void CalcSizingState(int x, int y, GestureState& s, int& i, int& p, int& o) override
    {
        StringGrid::CalcSizingState(x, y, s, i, p, o);
        if (vetoSizing) s = gsNormal;
    }
    void MouseDown(MouseButton b, ShiftState s, int x, int y) override
    {
        downShifts.push_back(s);
        StringGrid::MouseDown(b, s, x, y);
    }
    void MouseUp(MouseButton b, ShiftState s, int x, int y) override
    {
        upShifts.push_back(s);
        StringGrid::MouseUp(b, s, x, y);
    }
    void ColumnMoved(int from, int to) override
    {
        columnMoves.emplace_back(from, to);
        StringGrid::ColumnMoved(from, to);
    }
    void ColWidthsChanged() override { ++widthsChanged; }
    void TopLeftChanged() override { ++topLeftChanges; }
    bool DoMouseWheelDown(ShiftState s, QPoint p) override
    {
        ++wheelDowns;
        return StringGrid::DoMouseWheelDown(s, p);
    }
    void Click() override { ++clicks; }
    void DblClick(ShiftState, int, int) override { ++doubleClicks; }
};

QPoint centre(const Rect& r) { return {r.Left + r.Width() / 2, r.Top + r.Height() / 2}; }

void show(StringGrid& g, int w = 400, int h = 300)
{
    g.resize(w, h);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
}

void press(StringGrid& g, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QTest::keyClick(&g, Qt::Key(key), mods);
}

}  // namespace

TEST(StringGrid, LargeGridScrollsAndPaintsOnlyVisibleCells)
{
    ProbeGrid g;
    g.SetColCount(13);
    g.SetRowCount(100000);
    for (int r = 0; r < 100000; r += 1000) g.SetCells(1, r, std::to_string(r));
    show(g);
    g.SetTopRow(99990);
    EXPECT_EQ(g.TopRow(), 99990);
    g.drawn.clear();
    g.viewport()->repaint();
    ASSERT_FALSE(g.drawn.empty());
    const int visibleRows = 1 + std::min(10, g.VisibleRowCount() + 1);
    EXPECT_LE(int(g.drawn.size()), visibleRows * (g.VisibleColCount() + 2));
    EXPECT_EQ(g.LastPaintCellCount(), int(g.drawn.size()));
    for (auto [c, r] : g.drawn) EXPECT_TRUE(r == 0 || r >= 99990) << "row " << r << " is not visible";

    // Moving the current cell to the last row brings it into view at the bottom.
    g.SetTopRow(1);
    g.SetRow(99999);
    EXPECT_EQ(g.Row(), 99999);
    EXPECT_EQ(g.TopRow(), 99999 - g.VisibleRowCount() + 1);
    EXPECT_EQ(g.TopRow(), g.MaxTopRow());
    const Rect last = g.CellRect(1, 99999);
    EXPECT_FALSE(last.IsEmpty());
    EXPECT_LE(last.Bottom, g.viewport()->height());
}

TEST(StringGrid, CellGeometryFollowsTheRunningSums)
{
    ProbeGrid g;
    g.SetColCount(8);
    g.SetRowCount(50);
    g.SetFixedCols(2);
    g.SetFixedRows(1);
    g.SetColWidths(0, 30);
    g.SetColWidths(1, 40);
    g.SetRowHeights(0, 18);
    g.SetRowHeights(7, 50);
    g.SetGridLineWidth(0);
    show(g);
    // The first scrolling cell starts right after the fixed cells.
    Rect first = g.CellRect(2, 1);
    EXPECT_EQ(first.Left, 70);
    EXPECT_EQ(first.Top, 18);
    g.SetGridLineWidth(1);
    first = g.CellRect(2, 1);
    EXPECT_EQ(first.Left, 72);
    EXPECT_EQ(first.Top, 19);
    EXPECT_EQ(first.Left, g.FixedColsWidth());

    // A taller row pushes the rows below it down; scrolling shifts only the scrolling cells.
    EXPECT_EQ(g.RowTop(8), 19 + 6 * 25 + 51);
    g.SetLeftCol(4);
    g.SetTopRow(5);
    EXPECT_EQ(g.CellRect(4, 5).Left, 72);
    EXPECT_EQ(g.CellRect(4, 5).Top, 19);
    EXPECT_EQ(g.CellRect(0, 5).Left, 0);
    EXPECT_TRUE(g.CellRect(3, 5).IsEmpty());  // scrolled out to the left
    EXPECT_TRUE(g.CellRect(4, 4).IsEmpty());
    EXPECT_LT(g.ColLeft(3), 72);

    // Every visible cell's centre maps back to the cell; lines belong to the cell before them.
    for (int r : {0, 5, 6, 7, 8}) {
        for (int c : {0, 1, 4, 5, 6}) {
            const Rect rc = g.CellRect(c, r);
            if (rc.IsEmpty()) continue;
            int col, row;
            const QPoint p = centre(rc);
            g.MouseToCell(p.x(), p.y(), col, row);
            EXPECT_EQ(col, c);
            EXPECT_EQ(row, r);
            g.MouseToCell(rc.Right, rc.Top, col, row);  // the line right of the cell
            EXPECT_EQ(col, c);
        }
    }
    int col, row;
    g.MouseToCell(-1, 5, col, row);
    EXPECT_EQ(col, -1);
    g.SetColCount(5);
    g.MouseToCell(g.viewport()->width() - 1, 30, col, row);  // right of the last column
    EXPECT_EQ(col, -1);
    EXPECT_EQ(row, -1);
}

TEST(StringGrid, CellDataAcrossCountChanges)
{
    ProbeGrid g;
    g.SetColCount(4);
    g.SetRowCount(10);
    Object marker;
    g.SetCells(3, 9, "last");
    g.SetCells(6, 2, "hidden");  // beyond ColCount: kept
    g.SetObjects(1, 9, &marker);
    EXPECT_EQ(g.Cells(6, 2), "hidden");

    g.SetRowCount(5);
    g.SetRowCount(10);
    EXPECT_EQ(g.Cells(3, 9), "");
    EXPECT_EQ(g.Objects(1, 9), nullptr);
    g.SetColCount(2);
    EXPECT_EQ(g.Cells(6, 2), "hidden");
    g.SetColCount(7);
    EXPECT_EQ(g.Cells(6, 2), "hidden");

    // copying a cell into a column the row has not stored yet
    g.SetCells(0, 4, std::string(40, 'c'));
    g.SetCells(6, 4, g.Cells(0, 4));
    EXPECT_EQ(g.Cells(6, 4), std::string(40, 'c'));

    EXPECT_EQ(g.Cells(0, 500), "");
    EXPECT_THROW(g.SetCells(0, 10, "x"), GridError);
    EXPECT_THROW(g.SetCells(-1, 0, "x"), GridError);
    EXPECT_THROW(g.SetFixedRows(10), GridError);
    EXPECT_THROW(g.SetRowCount(-1), GridError);
    // Setting the fixed count it already has leaves the current cell and the scroll position alone.
    g.SetRow(7);
    g.SetFixedRows(1);
    EXPECT_EQ(g.Row(), 7);
    g.SetFixedRows(2);
    EXPECT_EQ(g.Row(), 2);
    g.SetRowCount(1);
    EXPECT_EQ(g.FixedRows(), 0);  // the fixed rows give way to a smaller count
}

TEST(StringGrid, RowsColumnsAndMoves)
{
    ProbeGrid g;
    g.SetColCount(4);
    g.SetRowCount(6);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 4; ++c) g.SetCells(c, r, std::to_string(c) + "," + std::to_string(r));
    g.SetRowHeights(3, 40);

    CellLine line;
    line.texts = {"a", "b"};
    g.SetRows(2, line);
    EXPECT_EQ(g.Cells(1, 2), "b");
    EXPECT_EQ(g.Cells(2, 2), "");
    EXPECT_EQ(g.Rows(2).texts.size(), 4u);
    g.SetCols(3, g.Cols(0));
    EXPECT_EQ(g.Cells(3, 5), "0,5");

    // Deleting a row moves the rows below up, with their heights.
    g.DeleteRow(1);
    EXPECT_EQ(g.RowCount(), 5);
    EXPECT_EQ(g.Cells(1, 1), "b");
    EXPECT_EQ(g.RowHeights(2), 40);
    EXPECT_EQ(g.Cells(0, 4), "0,5");

    // A column move carries the cells; widths stay with their positions.
    g.SetColWidths(1, 99);
    g.MoveColumn(1, 3);
    ASSERT_EQ(g.columnMoves.size(), 1u);
    EXPECT_EQ(g.columnMoves[0], std::make_pair(1, 3));
    EXPECT_EQ(g.Cells(3, 0), "1,0");
    EXPECT_EQ(g.Cells(1, 0), "2,0");
    EXPECT_EQ(g.ColWidths(1), 99);
    g.MoveRow(4, 1);
    EXPECT_EQ(g.Cells(0, 1), "0,5");
}

TEST(StringGrid, KeyboardMovesLikeTheClassicGrid)
{
    ProbeGrid g;
    g.SetColCount(6);
    g.SetRowCount(100);
    g.SetOptions(g.Options() | goTabs);
    show(g, 300, 200);
    const int page = g.VisibleRowCount();
    ASSERT_GT(page, 2);
    EXPECT_EQ(g.Col(), 1);
    EXPECT_EQ(g.Row(), 1);

    press(g, Qt::Key_Down);
    press(g, Qt::Key_Right);
    EXPECT_EQ(g.Row(), 2);
    EXPECT_EQ(g.Col(), 2);
    press(g, Qt::Key_Up);
    press(g, Qt::Key_Up);  // stops at the first scrolling row
    EXPECT_EQ(g.Row(), 1);
    press(g, Qt::Key_End);
    EXPECT_EQ(g.Col(), 5);
    press(g, Qt::Key_Home);
    EXPECT_EQ(g.Col(), 1);

    // Page Down moves the current row and the top row by a page.
    press(g, Qt::Key_PageDown);
    EXPECT_EQ(g.Row(), 1 + page);
    EXPECT_EQ(g.TopRow(), 1 + page);
    press(g, Qt::Key_PageUp);
    EXPECT_EQ(g.Row(), 1);
    EXPECT_EQ(g.TopRow(), 1);
    press(g, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(g.Row(), 99);
    EXPECT_EQ(g.Col(), 5);
    EXPECT_EQ(g.TopRow(), g.MaxTopRow());
    press(g, Qt::Key_PageDown);
    EXPECT_EQ(g.Row(), 99);
    press(g, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(g.Row(), 1);
    EXPECT_EQ(g.TopRow(), 1);

    // Tab wraps to the next row; Shift+arrows extend the selection, the current cell stays.
    g.SetCol(5);
    press(g, Qt::Key_Tab);
    EXPECT_EQ(g.Col(), 1);
    EXPECT_EQ(g.Row(), 2);
    press(g, Qt::Key_Down, Qt::ShiftModifier);
    press(g, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(g.Row(), 2);
    EXPECT_EQ(g.Selection(), (GridRect{1, 2, 2, 3}));
    press(g, Qt::Key_Down);
    EXPECT_EQ(g.Selection(), (GridRect{1, 3, 1, 3}));

    // With whole-row selection Home and End go to the first and last row.
    g.SetOptions(g.Options() | goRowSelect);
    press(g, Qt::Key_End);
    EXPECT_EQ(g.Row(), 99);
    EXPECT_EQ(g.Selection(), (GridRect{1, 99, 5, 99}));
    press(g, Qt::Key_Home);
    EXPECT_EQ(g.Row(), 1);
}

TEST(StringGrid, SelectCellVetoKeepsTheCurrentCell)
{
    ProbeGrid g;
    g.SetColCount(5);
    g.SetRowCount(5);
    show(g);
    g.vetoCells = true;
    g.refused = {1, 2};
    press(g, Qt::Key_Down);
    EXPECT_EQ(g.Row(), 1);
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, centre(g.CellRect(1, 2)));
    EXPECT_EQ(g.Row(), 1);
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, centre(g.CellRect(3, 3)));
    EXPECT_EQ(g.Col(), 3);
    EXPECT_EQ(g.Row(), 3);
}

TEST(StringGrid, MouseGesturesReachTheHandlers)
{
    ProbeGrid g;
    g.SetColCount(6);
    g.SetRowCount(10);
    show(g);
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::ControlModifier, centre(g.CellRect(2, 3)));
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::ShiftModifier, centre(g.CellRect(4, 5)));
    ASSERT_EQ(g.downShifts.size(), 2u);
    EXPECT_TRUE(g.downShifts[0] & ssCtrl);
    EXPECT_TRUE(g.downShifts[0] & ssLeft);
    EXPECT_TRUE(g.downShifts[1] & ssShift);
    EXPECT_FALSE(g.downShifts[1] & ssCtrl);
    EXPECT_EQ(g.upShifts.size(), 2u);
    EXPECT_EQ(g.clicks, 2);
    // The Shift-click extended the selection from the Ctrl-clicked cell.
    EXPECT_EQ(g.Col(), 2);
    EXPECT_EQ(g.Row(), 3);
    EXPECT_EQ(g.Selection(), (GridRect{2, 3, 4, 5}));

    // Dragging selects a range.
    QTest::mousePress(g.viewport(), Qt::LeftButton, {}, centre(g.CellRect(1, 1)));
    EXPECT_EQ(g.GridState(), gsSelecting);
    QTest::mouseMove(g.viewport(), centre(g.CellRect(3, 2)));
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, centre(g.CellRect(3, 2)));
    EXPECT_EQ(g.Selection(), (GridRect{1, 1, 3, 2}));
    EXPECT_EQ(g.GridState(), gsNormal);

    // A double click: DblClick, and the second press arrives marked ssDouble.
    g.downShifts.clear();
    QTest::mouseDClick(g.viewport(), Qt::LeftButton, {}, centre(g.CellRect(2, 2)));
    EXPECT_EQ(g.doubleClicks, 1);
    ASSERT_FALSE(g.downShifts.empty());
    EXPECT_TRUE(g.downShifts.back() & ssDouble);

    // The wheel moves the current row one per notch.
    const int before = g.Row();
    QWheelEvent wheel(QPointF(50, 50), g.viewport()->mapToGlobal(QPointF(50, 50)), {}, QPoint(0, -240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(g.viewport(), &wheel);
    EXPECT_EQ(g.wheelDowns, 2);
    EXPECT_EQ(g.Row(), before + 2);
}

TEST(StringGrid, ColumnSizingByDragAndItsVeto)
{
    ProbeGrid g;
    g.SetColCount(5);
    g.SetRowCount(5);
    g.SetOptions(g.Options() | goColSizing);
    show(g);
    const Rect head = g.CellRect(2, 0);
    const QPoint border(head.Right, head.Top + 5);
    const int width = g.ColWidths(2);

    QTest::mousePress(g.viewport(), Qt::LeftButton, {}, border);
    EXPECT_EQ(g.GridState(), gsColSizing);
    QTest::mouseMove(g.viewport(), border + QPoint(30, 0));
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, border + QPoint(30, 0));
    EXPECT_EQ(g.ColWidths(2), width + 30);
    EXPECT_GE(g.widthsChanged, 1);
    EXPECT_EQ(g.GridState(), gsNormal);

    g.vetoSizing = true;
    const QPoint again(g.CellRect(2, 0).Right, head.Top + 5);
    QTest::mousePress(g.viewport(), Qt::LeftButton, {}, again);
    EXPECT_NE(g.GridState(), gsColSizing);
    QTest::mouseMove(g.viewport(), again + QPoint(25, 0));
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, again + QPoint(25, 0));
    EXPECT_EQ(g.ColWidths(2), width + 30);
}

TEST(StringGrid, PaintedGridShowsLinesAndText)
{
    StringGrid g;
    g.SetColCount(5);
    g.SetRowCount(5);
    g.SetFixedCols(0);
    g.SetFixedRows(1);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c) g.SetCells(c, r, "M" + std::to_string(c));
    show(g, 360, 160);
    const QImage img = g.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    img.save(QStringLiteral("stringgrid_5x5.png"));
    const QRgb silver = qRgb(0xC0, 0xC0, 0xC0), black = qRgb(0, 0, 0);
    for (int c = 0; c < 5; ++c) {
        const Rect fixed = g.CellRect(c, 0), cell = g.CellRect(c, 2);
        ASSERT_FALSE(cell.IsEmpty()) << c << " viewport " << g.viewport()->width() << "x" << g.viewport()->height();
        // Lines right of and below each cell, at the computed borders.
        EXPECT_EQ(img.pixel(fixed.Right, fixed.Top + 3), black);
        EXPECT_EQ(img.pixel(fixed.Left + 3, fixed.Bottom), black);
        EXPECT_EQ(img.pixel(cell.Right, cell.Top + 3), silver);
        EXPECT_EQ(img.pixel(cell.Left + 3, cell.Bottom), silver);
        EXPECT_NE(img.pixel(cell.Right - 1, cell.Top + 3), silver);
        // Text pixels inside the cell: dark ink somewhere in it.
        int ink = 0;
        for (int y = cell.Top; y < cell.Bottom; ++y)
            for (int x = cell.Left; x < cell.Right; ++x)
                if (qGray(img.pixel(x, y)) < 100) ++ink;
        EXPECT_GT(ink, 5) << "no text in column " << c;
    }
}

TEST(StringGrid, EditorOpensOnTypingAndWritesBack)
{
    ProbeGrid g;
    g.SetColCount(4);
    g.SetRowCount(4);
    g.SetOptions(g.Options() | goEditing);
    g.SetCells(1, 1, "old");
    show(g);
    g.setFocus();
    QTest::keyClicks(&g, "n");
    ASSERT_TRUE(g.EditorMode());
    ASSERT_NE(g.InplaceEditor(), nullptr);
    QTest::keyClicks(g.InplaceEditor(), "ew");
    QTest::keyClick(g.InplaceEditor(), Qt::Key_Return);
    EXPECT_FALSE(g.EditorMode());
    EXPECT_EQ(g.Cells(1, 1), "new");

    // Escape gives the old text back; Down ends the edit and moves on.
    QTest::keyClick(&g, Qt::Key_F2);
    ASSERT_TRUE(g.EditorMode());
    QTest::keyClicks(g.InplaceEditor(), "zzz");
    QTest::keyClick(g.InplaceEditor(), Qt::Key_Escape);
    EXPECT_EQ(g.Cells(1, 1), "new");
    QTest::keyClick(&g, Qt::Key_F2);
    QTest::keyClicks(g.InplaceEditor(), "x");
    QTest::keyClick(g.InplaceEditor(), Qt::Key_Down);
    EXPECT_EQ(g.Cells(1, 1), "x");
    EXPECT_EQ(g.Row(), 2);
}

TEST(StringGrid, ScrollBarsMoveByWholeRows)
{
    ProbeGrid g;
    g.SetColCount(3);
    g.SetRowCount(200);
    show(g, 300, 200);
    QScrollBar* bar = g.verticalScrollBar();
    EXPECT_EQ(bar->maximum(), g.MaxTopRow() - 1);
    EXPECT_EQ(bar->pageStep(), g.VisibleRowCount());
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(g.TopRow(), 2);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(g.TopRow(), 2 + g.VisibleRowCount());
    EXPECT_EQ(bar->value(), g.TopRow() - 1);

    // Dragging the thumb follows it only with thumb tracking; the release always lands.
    bar->setSliderDown(true);
    bar->setSliderPosition(50);
    EXPECT_EQ(g.TopRow(), 2 + g.VisibleRowCount());
    bar->setSliderDown(false);
    EXPECT_EQ(g.TopRow(), 51);
    g.SetOptions(g.Options() | goThumbTracking);
    bar->setSliderDown(true);
    bar->setSliderPosition(80);
    EXPECT_EQ(g.TopRow(), 81);
    bar->setSliderDown(false);
    EXPECT_GE(g.topLeftChanges, 3);
}

namespace {

class FocusGrid : public StringGrid {
public:
    int enters = 0, exits = 0;

protected:
    void DoEnter() override { ++enters; }
    void DoExit() override { ++exits; }
};

}  // namespace

TEST(StringGrid, EnterAndExitIgnoreTheGridsOwnEditor)
{
    QWidget window;
    auto* grid = new FocusGrid;
    grid->setParent(&window);
    grid->resize(300, 200);
    auto* other = new QLineEdit(&window);
    other->move(0, 220);
    grid->SetOptions(grid->Options() | goEditing);
    window.resize(320, 260);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    grid->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(grid->enters, 1);
    grid->ShowEditor();
    QApplication::processEvents();
    ASSERT_TRUE(grid->EditorMode());
    grid->HideEditor();
    QApplication::processEvents();
    EXPECT_EQ(grid->enters, 1);
    EXPECT_EQ(grid->exits, 0);
    grid->ShowEditor();
    other->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(grid->exits, 1);
}

TEST(StringGrid, HeaderDragMovesAColumnAndBorderDragSizesARow)
{
    ProbeGrid g;
    g.SetColCount(6);
    g.SetRowCount(6);
    for (int c = 0; c < 6; ++c) g.SetCells(c, 1, "c" + std::to_string(c));
    g.SetOptions(g.Options() | goColMoving | goRowSizing);
    show(g);
    const QPoint from = centre(g.CellRect(1, 0)), to = centre(g.CellRect(4, 0));
    QTest::mousePress(g.viewport(), Qt::LeftButton, {}, from);
    EXPECT_EQ(g.GridState(), gsColMoving);
    QTest::mouseMove(g.viewport(), to);
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, to);
    ASSERT_EQ(g.columnMoves.size(), 1u);
    EXPECT_EQ(g.columnMoves[0], std::make_pair(1, 4));
    EXPECT_EQ(g.Cells(4, 1), "c1");
    EXPECT_EQ(g.Cells(1, 1), "c2");

    // Dropping on the fixed column moves nothing.
    QTest::mousePress(g.viewport(), Qt::LeftButton, {}, centre(g.CellRect(2, 0)));
    QTest::mouseMove(g.viewport(), centre(g.CellRect(0, 0)));
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, centre(g.CellRect(0, 0)));
    EXPECT_EQ(g.columnMoves.size(), 1u);

    const Rect rowHead = g.CellRect(0, 3);
    const QPoint border(rowHead.Left + 5, rowHead.Bottom);
    QTest::mousePress(g.viewport(), Qt::LeftButton, {}, border);
    EXPECT_EQ(g.GridState(), gsRowSizing);
    QTest::mouseMove(g.viewport(), border + QPoint(0, 12));
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, border + QPoint(0, 12));
    EXPECT_EQ(g.RowHeights(3), g.DefaultRowHeight() + 12);
}

TEST(StringGrid, EmptyGridTakesInputCalmly)
{
    ProbeGrid g;
    show(g);
    g.SetRowCount(0);
    g.SetColCount(0);
    EXPECT_EQ(g.FixedRows(), 0);
    EXPECT_EQ(g.FixedCols(), 0);
    g.viewport()->repaint();
    EXPECT_EQ(g.LastPaintCellCount(), 0);
    press(g, Qt::Key_Down);
    press(g, Qt::Key_End, Qt::ControlModifier);
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(g.VisibleRowCount(), 0);
    EXPECT_TRUE(g.CellRect(0, 0).IsEmpty());
    EXPECT_EQ(g.Cells(0, 0), "");
    g.SetRowCount(3);
    g.SetColCount(2);
    g.SetCells(1, 2, "back");
    EXPECT_EQ(g.Cells(1, 2), "back");
    g.viewport()->repaint();
    EXPECT_EQ(g.LastPaintCellCount(), 6);
}
