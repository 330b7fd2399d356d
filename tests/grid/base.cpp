// The base grid: merged cells, text through the base cell, display text,
// cell geometry, its own lines and block painting, and keys around blocks.
#include "grid/listgrid.h"

#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include <map>

using namespace grid;

namespace {

// Counts what the painting hands to the cell drawing.
class PaintProbe : public RIvuZuvuzoZuvu {
public:
    std::map<std::pair<int, int>, int> drawn;
    using TBaseGrid::KeyDown;

protected:
    void DrawGridCell(platform::Canvas& canvas, int col, int row, Rect r, platform::GridDrawState state) override
    {
        ++drawn[{col, row}];
        TBaseGrid::DrawGridCell(canvas, col, row, r, state);
    }
};

void fill(RIvuZuvuzoZuvu& g)
{
    for (int r = 0; r < g.RowCount(); ++r)
        for (int c = 0; c < g.ColCount(); ++c)
            g.SetCellEx(c, r, std::to_string(c) + ":" + std::to_string(r));
}

// The cells as painted, in the grid's client coordinates.
QImage grab(RIvuZuvuzoZuvu& g)
{
    g.resize(360, 200);
    g.show();
    QApplication::processEvents();
    return g.viewport()->grab().toImage();
}

}  // namespace

TEST(GridBase, MergedBlockReadsAndWritesThroughItsBaseCell)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(6);
    g.SetRowCountEx(6);
    fill(g);
    g.MergeCells(1, 2, 3, 2);  // columns 1..3, rows 2..3

    TCellProperties* base = g.FindCellProperties(1, 2);
    ASSERT_NE(base, nullptr);
    EXPECT_TRUE(base->IsBaseCell);
    EXPECT_EQ(base->ColField, 2);
    EXPECT_EQ(base->RowField, 1);
    TCellProperties* corner = g.FindCellProperties(3, 3);
    ASSERT_NE(corner, nullptr);
    EXPECT_FALSE(corner->IsBaseCell);
    EXPECT_EQ(corner->ColField, 2);
    EXPECT_EQ(corner->RowField, 1);

    EXPECT_EQ(g.BaseCell(3, 3), QPoint(1, 2));
    EXPECT_EQ(g.BaseCell(4, 3), QPoint(4, 3));
    for (QPoint p : {QPoint(1, 2), QPoint(2, 3), QPoint(3, 3)}) {
        EXPECT_EQ(g.CellSpan(p.x(), p.y()), QPoint(2, 1));
        EXPECT_EQ(g.GetCellEx(p.x(), p.y()), "1:2");
        EXPECT_EQ(g.FullCell(p.x(), p.y()), (TGridRect{1, 2, 3, 3}));
    }
    int bc = -1, br = -1;
    EXPECT_FALSE(g.IsBaseCellEx(2, 3, bc, br));
    EXPECT_EQ(bc, 1);
    EXPECT_EQ(br, 2);

    g.SetCellEx(3, 3, "block");
    EXPECT_EQ(g.Cells(1, 2), "block");
    EXPECT_EQ(g.Cells(3, 3), "3:3");  // hidden text stays in the store
    EXPECT_EQ(g.GetCellEx(2, 2), "block");

    const Rect whole = g.CellRect(2, 3);
    EXPECT_EQ(whole.Left, g.GetCellRect(1, 2).Left);
    EXPECT_EQ(whole.Bottom, g.GetCellRect(3, 3).Bottom);
    EXPECT_EQ(g.CellSize(1, 2), QPoint(3 * g.ColWidths(1), 2 * g.RowHeights(2)));

    g.SplitCells(3, 3);
    for (int r = 2; r <= 3; ++r)
        for (int c = 1; c <= 3; ++c) {
            EXPECT_TRUE(g.HasCellProperties(c, r));
            EXPECT_TRUE(g.IsBaseCell(c, r));
            EXPECT_FALSE(g.IsMergedCell(c, r));
        }
    EXPECT_EQ(g.GetCellEx(3, 3), "3:3");
}

TEST(GridBase, TwoCellMergesAreFoundInEitherDirection)
{
    RIvuZuvuzoZuvu g;
    g.MergeCells(1, 1, 2, 1);
    EXPECT_TRUE(g.IsXMergedCell(1, 1));
    EXPECT_TRUE(g.IsXMergedCell(2, 1));
    EXPECT_FALSE(g.IsYMergedCell(2, 1));
    g.MergeCells(3, 1, 1, 2);
    EXPECT_TRUE(g.IsYMergedCell(3, 1));
    EXPECT_TRUE(g.IsYMergedCell(3, 2));
    EXPECT_FALSE(g.IsXMergedCell(3, 2));
    EXPECT_FALSE(g.IsXMergedCell(4, 4));
}

TEST(GridBase, MergesAreClampedAndOverlapsSplitTheOldBlock)
{
    RIvuZuvuzoZuvu g;  // 5 x 5
    g.MergeCells(3, 3, 10, 10);
    EXPECT_EQ(g.FullCell(4, 4), (TGridRect{3, 3, 4, 4}));
    g.MergeCells(-2, -1, 4, 3);  // from (0,0) the two columns and two rows that exist
    EXPECT_EQ(g.FullCell(1, 1), (TGridRect{0, 0, 1, 1}));
    g.MergeCells(7, 1, 2, 2);  // entirely outside: nothing
    EXPECT_FALSE(g.HasCellProperties(4, 1));

    g.MergeCells(2, 2, 2, 2);  // overlaps (3,3) of the first block
    EXPECT_EQ(g.FullCell(3, 3), (TGridRect{2, 2, 3, 3}));
    EXPECT_FALSE(g.IsMergedCell(4, 4));  // the old block's other cells are plain again
    EXPECT_FALSE(g.IsMergedCell(4, 3));
    EXPECT_EQ(g.BaseCell(4, 4), QPoint(4, 4));
}

TEST(GridBase, SpansAcrossRowsAndColumns)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(6);
    g.SetRowCountEx(8);
    g.MergeCells(1, 1, 1, 3);
    g.MergeCells(2, 1, 1, 2);
    EXPECT_EQ(g.MinRowSpan(1), 1);
    EXPECT_EQ(g.MaxRowSpan(1), 2);
    EXPECT_EQ(g.MinRowSpan(5), g.RowCount());
    EXPECT_EQ(g.MaxRowSpan(5), 0);
    EXPECT_TRUE(g.RowSpanIdentical(1, 2));   // both rows in both blocks
    EXPECT_FALSE(g.RowSpanIdentical(5, 6));  // no merged column at all

    g.MergeCells(3, 4, 2, 1);
    EXPECT_TRUE(g.ColSpanIdentical(3, 4));
    EXPECT_FALSE(g.ColSpanIdentical(2, 3));
}

TEST(GridBase, DisplayTextRewritesRowsBelowTheLimitOnly)
{
    RIvuZuvuzoZuvu g;
    g.SetRowCountEx(4);  // the display limit follows the row count
    fill(g);
    std::vector<std::pair<int, int>> asked;
    g.OnGetDisplText = [&](TBaseGrid*, int c, int r, std::string& v) {
        asked.emplace_back(c, r);
        v = "<" + v + ">";
    };
    EXPECT_EQ(g.GetCellEx(1, 3), "<1:3>");
    g.SetRowCount(6);  // spare rows, not counted by the list grid
    g.SetCells(1, 5, "spare");
    EXPECT_EQ(g.GetCellEx(1, 5), "spare");
    g.MergeCells(1, 1, 2, 2);
    asked.clear();
    EXPECT_EQ(g.GetCellEx(2, 2), "<1:1>");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], std::make_pair(1, 1));  // asked with the base cell
}

TEST(GridBase, ObjectsLiveInTheCellProperties)
{
    RIvuZuvuzoZuvu g;
    EXPECT_EQ(g.GetObjectEx(2, 2), nullptr);
    EXPECT_FALSE(g.HasCellProperties(2, 2));  // reading creates nothing
    platform::Object user;
    g.SetObjectEx(2, 2, &user);
    EXPECT_EQ(g.GetObjectEx(2, 2), &user);
    EXPECT_TRUE(g.HasCellProperties(2, 2));
    EXPECT_EQ(g.GetCellEx(2, 2), "");  // an empty cell stays empty
    g.NilCell(2, 2);
    EXPECT_FALSE(g.HasCellProperties(2, 2));
}

TEST(GridBase, InvalidRowIsReported)
{
    RIvuZuvuzoZuvu g;
    g.SetRowCountEx(10);
    try {
        g.GetRowSelect(10);
        FAIL() << "no error for row 10";
    } catch (const DIdiZedoRorid& e) {
        EXPECT_STREQ(e.what(), "Invalid Row accessed");
    }
    EXPECT_THROW(g.SetRowSelect(-1, true), DIdiZedoRorid);
    EXPECT_THROW(g.SetRowSelect(10, true), DIdiZedoRorid);
    EXPECT_EQ(g.RowSelectListLength(), 0);  // nothing changed
}

TEST(GridBase, CellRectOfScrolledOutCells)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(30);
    g.resize(300, 200);
    g.SetLeftCol(10);
    const Rect r = g.GetCellRect(3, 1);
    EXPECT_LT(r.Left, 0);
    EXPECT_EQ(r.Width(), g.ColWidths(3));
    EXPECT_EQ(g.GetCellRect(0, 1).Left, 0);  // fixed columns stay put
    EXPECT_EQ(g.GetCellRect(10, 1).Left, g.FixedColsWidth());
}

TEST(GridBase, OwnLinesAndBlocksPaintOnce)
{
    PaintProbe g;
    fill(g);
    g.MergeCells(1, 1, 2, 2);
    const QImage img = grab(g);
    EXPECT_EQ(g.StringGrid::GridLineWidth(), 0);  // the string grid draws no lines of its own

    const int drawsOfBlock = g.drawn[{1, 1}];
    EXPECT_EQ(g.drawn.count({2, 1}), 0u);
    EXPECT_EQ(g.drawn.count({2, 2}), 0u);
    const int drawsOfPlain = g.drawn[{3, 3}];
    EXPECT_EQ(drawsOfBlock, drawsOfPlain);  // once per paint, like any cell

    // A silver line at the bottom and right of a normal cell, none inside the block.
    const Rect cell = g.GetCellRect(3, 3);
    const QColor silver = platform::ToQColor(platform::clSilver);
    EXPECT_EQ(img.pixelColor(cell.Left + 5, cell.Bottom - 1), silver);
    EXPECT_EQ(img.pixelColor(cell.Right - 1, cell.Top + 5), silver);
    const Rect inner = g.GetCellRect(1, 1);
    EXPECT_NE(img.pixelColor(inner.Right - 1, inner.Top + 5), silver);
    EXPECT_NE(img.pixelColor(inner.Left + 5, inner.Bottom - 1), silver);
    // Fixed cells get a grey line.
    const Rect head = g.GetCellRect(2, 0);
    EXPECT_EQ(img.pixelColor(head.Right - 1, head.Top + 5), platform::ToQColor(platform::clGray));

    g.SetGridLineWidth(0);
    const QImage plain = grab(g);
    EXPECT_NE(plain.pixelColor(cell.Left + 5, cell.Bottom - 1), silver);
}

TEST(GridBase, ArrowKeysStepOverBlocks)
{
    PaintProbe g;
    g.SetColCountEx(6);
    g.SetRowCountEx(6);
    g.MergeCells(2, 2, 2, 2);
    g.SetCol(2);
    g.SetRow(2);
    int key = platform::VK_RIGHT;
    g.KeyDown(key, 0);
    EXPECT_EQ(g.Col(), 4);
    key = platform::VK_LEFT;
    g.KeyDown(key, 0);
    EXPECT_EQ(g.Col(), 2);  // landing inside the block selects its base cell
    key = platform::VK_DOWN;
    g.KeyDown(key, 0);
    EXPECT_EQ(g.Row(), 4);
    key = platform::VK_UP;
    g.KeyDown(key, 0);
    EXPECT_EQ(g.Row(), 2);
    EXPECT_EQ(g.Col(), 2);
}

TEST(GridBase, SelectionCoversTheCurrentBlock)
{
    RIvuZuvuzoZuvu g;
    g.MergeCells(1, 1, 2, 2);
    g.SetCol(1);
    g.SetRow(1);
    EXPECT_TRUE(g.IsSelected(2, 2));
    EXPECT_FALSE(g.IsSelected(3, 3));
}
