// Hidden columns and rows of the list grid, the mapping between displayed and
// real indexes, tree nodes, grouping by a column with group calculations,
// and the ranges that saving writes. Cell objects of hidden rows must come
// back unchanged and be freed exactly once.
#include "grid/cellfill.h"
#include "grid/listgrid.h"

#include <gtest/gtest.h>

using namespace grid;

namespace {

std::vector<std::string> column(const RIvuZuvuzoZuvu& g, int ACol)
{
    std::vector<std::string> out;
    for (int r = 1; r < g.RowCount(); ++r)
        out.push_back(g.Cells(ACol, r));
    return out;
}

using Strings = std::vector<std::string>;

}  // namespace

TEST(GridHidden, HiddenColumnsMapAndKeepTheirWidths)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 5, 3);
    for (int c = 0; c < 5; ++c)
        g.SetColWidths(c, 10 * (c + 1));
    g.HideColumn(2);
    EXPECT_EQ(g.ColCount(), 4);
    EXPECT_EQ(g.NumHiddenColumns(), 1);
    EXPECT_TRUE(g.IsHiddenColumn(2));
    EXPECT_EQ(g.RemapCol(2), 3);
    EXPECT_EQ(g.RemapColInv(3), 2);
    EXPECT_EQ(g.ColWidths(2), 40);  // the widths after it moved left
    EXPECT_EQ(g.ColWidths(3), 50);
    EXPECT_EQ(g.Cells(2, 1), "2:1");  // cells stay under their real column

    g.HideColumn(2);  // already hidden: nothing
    EXPECT_EQ(g.ColCount(), 4);
    g.HideColumns(0, 4);  // stops at the last visible column
    EXPECT_EQ(g.ColCount(), 1);
    g.UnHideColumnsAll();
    EXPECT_EQ(g.ColCount(), 5);
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(g.ColWidths(c), 10 * (c + 1)) << c;
    EXPECT_EQ(g.RemapCol(2), 2);
}

TEST(GridHidden, RemappingCountsPastColumn255)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(300);
    g.SetRowCountEx(2);
    g.HideColumn(10);
    EXPECT_EQ(g.ColCount(), 299);
    EXPECT_EQ(g.RemapCol(9), 9);
    EXPECT_EQ(g.RemapCol(10), 11);
    EXPECT_EQ(g.RemapCol(254), 255);
    EXPECT_EQ(g.RemapCol(255), 256);
    EXPECT_EQ(g.RemapCol(298), 299);
    EXPECT_EQ(g.RemapColInv(299), 298);
    for (int d : {0, 100, 255, 256, 280})
        EXPECT_EQ(g.RemapColInv(g.RemapCol(d)), d) << d;
    g.HideColumn(270);  // the tables end at 255: nothing happens
    EXPECT_EQ(g.ColCount(), 299);
}

TEST(GridHidden, HiddenRowsComeBackWithTheirCellsAndObjects)
{
    const int before = CountedGraphic::live;
    {
        RIvuZuvuzoZuvu g;
        fillCells(g, 3, 10);
        auto* graphic = new CountedGraphic;
        g.SetGraphicObjectEx(1, 4, graphic);
        g.GetCellProperties(2, 5)->SetBrushColor(0x445566);
        g.HideColumn(2);  // hidden cells of hidden rows come back too

        g.HideRows(3, 5);
        EXPECT_EQ(g.RowCount(), 7);
        EXPECT_EQ(g.NumHiddenRows(), 3);
        EXPECT_TRUE(g.IsHiddenRow(4));
        EXPECT_EQ(g.Cells(0, 3), "0:6");
        EXPECT_EQ(g.RemapRow(6), 3);
        EXPECT_EQ(g.RemapRowInv(3), 6);
        EXPECT_EQ(g.RemapRowInv(2), 2);
        EXPECT_EQ(CountedGraphic::live, before + 1);  // kept while hidden

        g.UnHideRows(3, 5);
        g.UnHideColumn(2);
        EXPECT_EQ(g.RowCount(), 10);
        EXPECT_EQ(g.NumHiddenRows(), 0);
        for (int r = 0; r < 10; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(g.Cells(c, r), std::to_string(c) + ":" + std::to_string(r));
        EXPECT_EQ(g.GetGraphicObjectEx(1, 4), graphic);
        ASSERT_TRUE(g.HasCellProperties(2, 5));
        EXPECT_EQ(g.GetCellProperties(2, 5)->BrushColor(), 0x445566u);

        // Rows 2, 3 and 7, then all back at once.
        g.HideRow(7);
        g.HideRows(2, 3);
        EXPECT_EQ(g.RowCount(), 7);
        EXPECT_EQ(g.RemapRowInv(2), 4);
        EXPECT_EQ(g.RemapRowInv(4), 6);
        EXPECT_EQ(g.RemapRowInv(5), 8);
        g.UnHideRowsAll();
        EXPECT_EQ(g.RowCount(), 10);
        for (int r = 0; r < 10; ++r)
            EXPECT_EQ(g.Cells(0, r), "0:" + std::to_string(r));

        g.HideRows(4, 4);  // still hidden when the grid goes
    }
    EXPECT_EQ(CountedGraphic::live, before);
}

TEST(GridHidden, SelectedRowsHide)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 2, 8);
    g.MouseActions->DisjunctRowSelect = true;
    g.SetRowSelect(2, true);
    g.SetRowSelect(3, true);
    g.SetRowSelect(6, true);
    g.HideSelectedRows();
    EXPECT_EQ(column(g, 0), (Strings{"0:1", "0:4", "0:5", "0:7"}));
    EXPECT_TRUE(g.IsHiddenRow(6));
    g.UnHideRowsAll();
    EXPECT_EQ(g.RowCount(), 8);
    EXPECT_EQ(g.Cells(0, 6), "0:6");
}

TEST(GridHidden, NodesContractAndExpand)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 3, 10);
    g.AddNode(2, 4);
    EXPECT_TRUE(g.IsNode(2));
    EXPECT_TRUE(g.HasNodes());
    EXPECT_EQ(g.GetNodeSpan(2), 4);
    EXPECT_EQ(g.GetNodeSpan(3), -1);
    EXPECT_EQ(g.NodeIndent(3), 16);
    EXPECT_EQ(g.NodeIndent(5), 16);
    EXPECT_EQ(g.NodeIndent(6), 0);
    g.ContractNode(2);
    EXPECT_TRUE(g.GetNodeState(2));
    EXPECT_EQ(g.RowCount(), 7);
    EXPECT_EQ(g.Cells(0, 3), "0:6");
    g.ExpandNode(2);
    EXPECT_EQ(g.RowCount(), 10);
    EXPECT_EQ(g.Cells(0, 5), "0:5");
    g.RemoveNode(2);
    EXPECT_FALSE(g.HasNodes());
}

TEST(GridHidden, GroupingByAColumnWithSumsAndCounts)
{
    // Column 0 fixed, then names, notes, the group column and amounts.
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(5);
    g.SetRowCountEx(4);
    const Strings names{"first", "second", "third"}, groups{"A", "B", "A"}, amounts{"10.5", "7", "2"};
    for (int r = 1; r <= 3; ++r) {
        g.SetCells(1, r, names[r - 1]);
        g.SetCells(2, r, "note " + std::to_string(r));
        g.SetCells(3, r, groups[r - 1]);
        g.SetCells(4, r, amounts[r - 1]);
    }
    g.SetCells(3, 0, "Group");

    g.Group(3);
    EXPECT_EQ(g.GroupColumn(), 3);
    EXPECT_EQ(g.ColCount(), 4);
    ASSERT_EQ(g.RowCount(), 6);
    EXPECT_TRUE(g.IsNode(1));
    EXPECT_TRUE(g.IsNode(4));
    EXPECT_EQ(g.NodeCount(), 2);
    EXPECT_EQ(g.GetNodeSpan(1), 3);  // A over two rows
    EXPECT_EQ(g.GetNodeSpan(4), 2);  // B over one
    EXPECT_EQ(g.Cells(2, 1), "A");   // the group's value in the node text column
    EXPECT_EQ(g.Cells(2, 4), "B");
    EXPECT_EQ(column(g, 1), (Strings{"", "third", "first", "", "second"}));  // ties by the amounts

    g.GroupCount(3);  // the amounts, now in column 3
    EXPECT_EQ(g.Cells(3, 1), "2.00");
    EXPECT_EQ(g.Cells(3, 4), "1.00");
    g.GroupSum(3);
    EXPECT_EQ(g.Cells(3, 1), "12.50");
    EXPECT_EQ(g.Cells(3, 4), "7.00");
    g.GroupAvg(3);
    EXPECT_EQ(g.Cells(3, 1), "6.25");
    g.GroupMax(3);
    EXPECT_EQ(g.Cells(3, 1), "10.50");

    // Sorting a grouped grid sorts inside each group; the node rows stay.
    g.SortSettings->Column = 3;
    g.SortSettings->Direction = sdDescending;
    g.QSortGroup();
    EXPECT_EQ(column(g, 3), (Strings{"10.50", "10.5", "2", "7.00", "7"}));
    EXPECT_TRUE(g.IsNode(1));
    EXPECT_TRUE(g.IsNode(4));

    g.ContractNode(1);
    EXPECT_EQ(g.RowCount(), 4);
    g.UnGroup();
    EXPECT_EQ(g.GroupColumn(), -1);
    EXPECT_FALSE(g.HasNodes());
    EXPECT_EQ(g.ColCount(), 5);
    EXPECT_EQ(g.Cells(3, 0), "Group");
    ASSERT_EQ(g.RowCount(), 4);
    EXPECT_EQ(column(g, 1), (Strings{"first", "third", "second"}));
    EXPECT_EQ(column(g, 2), (Strings{"note 1", "note 3", "note 2"}));
    EXPECT_EQ(column(g, 3), (Strings{"A", "A", "B"}));
    EXPECT_EQ(column(g, 4), (Strings{"10.5", "2", "7"}));
}

TEST(GridHidden, GroupSortLeavesFootersInPlace)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(3);
    g.SetRowCountEx(7);
    const Strings values{"", "c", "b", "", "z", "a total"};
    for (int r = 1; r <= 6; ++r)
        g.SetCells(1, r, values[r - 1]);
    g.AddNode(1, 0);
    g.AddNode(4, 0);
    g.SetFixedFooters(1);
    g.SortSettings->Column = 1;
    g.QSortGroup();
    EXPECT_EQ(column(g, 1), (Strings{"", "b", "c", "", "z", "a total"}));
}

TEST(GridHidden, RangesThatSavingWrites)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(6);
    g.SetRowCountEx(10);
    g.SetFixedFooters(1);
    g.SetFixedRightCols(1);
    EXPECT_EQ(g.GetSaveRowCount(), 8);
    EXPECT_EQ(g.GetSaveStartRow(), 1);
    EXPECT_EQ(g.GetSaveEndRow(), 8);
    EXPECT_EQ(g.GetSaveColCount(), 4);
    EXPECT_EQ(g.GetSaveEndCol(), 4);
    g.IncludeFixedCells = true;
    EXPECT_EQ(g.GetSaveRowCount(), 10);
    EXPECT_EQ(g.GetSaveStartCol(), 0);
    EXPECT_EQ(g.GetSaveEndRow(), 9);
}
