// Row and column exchanges of the list grid and the calculations over cell
// values: what travels with a swapped row, sums, averages, minimums and
// maximums, typed cells, numbering and row heights by line count.
#include "grid/cellfill.h"
#include "grid/listgrid.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace grid;

TEST(GridCalc, SortSwapRowsCarriesEverythingOfTheRow)
{
    {
        RIvuZuvuzoZuvu g;
        fillCells(g, 4, 8);
        g.MouseActions->DisjunctRowSelect = true;
        platform::Object user;
        g.SetObjectEx(1, 2, &user);
        auto* graphic = new CountedGraphic;
        g.SetGraphicObjectEx(3, 2, graphic);
        g.SetRowHeights(2, 37);
        g.SetRowSelect(2, true);
        g.HideColumn(3);  // hidden cells are part of the row too
        g.InitSortXRef();

        g.SortSwapRows(2, 5);
        g.UnHideColumn(3);
        EXPECT_EQ(g.Cells(0, 5), "0:2");
        EXPECT_EQ(g.Cells(3, 5), "3:2");
        EXPECT_EQ(g.Cells(0, 2), "0:5");
        EXPECT_EQ(g.GetObjectEx(1, 5), &user);
        EXPECT_EQ(g.GetObjectEx(1, 2), nullptr);
        EXPECT_EQ(g.GetGraphicObjectEx(3, 5), graphic);
        EXPECT_EQ(g.RowHeights(5), 37);
        EXPECT_EQ(g.RowHeights(2), g.DefaultRowHeight());
        EXPECT_TRUE(g.GetRowSelect(5));
        EXPECT_FALSE(g.GetRowSelect(2));
        EXPECT_EQ(g.SortedRowIndex(5), 2);
        EXPECT_EQ(CountedGraphic::live, 1);
    }
    EXPECT_EQ(CountedGraphic::live, 0);  // freed once, with the grid
}

TEST(GridCalc, SingleColumnSwapMovesOnlyTheSortColumn)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 3, 4);
    g.SortSettings->SingleColumn = true;
    g.SortSettings->Column = 1;
    g.GetCellProperties(1, 1)->SetBrushColor(0xABCDEF);
    g.SetRowHeights(1, 50);
    g.SortSwapRows(1, 3);
    EXPECT_EQ(g.Cells(1, 3), "1:1");
    EXPECT_EQ(g.Cells(1, 1), "1:3");
    EXPECT_EQ(g.Cells(0, 1), "0:1");
    EXPECT_EQ(g.Cells(2, 3), "2:3");
    EXPECT_TRUE(g.HasCellProperties(1, 3));
    EXPECT_FALSE(g.HasCellProperties(1, 1));
    EXPECT_EQ(g.RowHeights(1), 50);
}

TEST(GridCalc, SumsAveragesMinimumsAndMaximums)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(6);
    g.SetRowCountEx(6);
    // Column 1: 1, 2.5, empty.
    g.SetCells(1, 1, "1");
    g.SetCells(1, 2, "2.5");
    EXPECT_DOUBLE_EQ(g.ColumnSum(1, 1, 3), 3.5);
    EXPECT_DOUBLE_EQ(g.ColumnSum(1, 3, 1), 0);  // range ends before it starts
    EXPECT_DOUBLE_EQ(g.ColumnAvg(1, 3, 1), 0);  // and has no average to divide by

    // Column 2 rows 1-4 and row 5 columns 1-4: 2, 4, 6, 8.
    for (int i = 1; i <= 4; ++i) {
        g.SetCells(2, i, std::to_string(2 * i));
        g.SetCells(i, 5, std::to_string(2 * i));
    }
    EXPECT_DOUBLE_EQ(g.ColumnAvg(2, 1, 4), 5);
    EXPECT_DOUBLE_EQ(g.RowAvg(5, 1, 4), 5);
    EXPECT_DOUBLE_EQ(g.RowSum(5, 1, 4), 20);

    // Row 4 columns 3-5 and column 5 rows 1-3: 3, 9, 1.
    g.SetCells(3, 4, "3");
    g.SetCells(4, 4, "9");
    g.SetCells(5, 4, "1");
    g.SetCells(5, 1, "3");
    g.SetCells(5, 2, "9");
    g.SetCells(5, 3, "1");
    EXPECT_DOUBLE_EQ(g.RowMin(4, 3, 5), 1);
    EXPECT_DOUBLE_EQ(g.RowMax(4, 3, 5), 9);
    EXPECT_DOUBLE_EQ(g.ColumnMin(5, 1, 3), 1);
    EXPECT_DOUBLE_EQ(g.ColumnMax(5, 1, 3), 9);

    g.SetCells(1, 3, "1,234.50");
    EXPECT_DOUBLE_EQ(g.ColumnSum(1, 1, 3), 1238);
    g.SetCells(1, 3, "n/a");
    try {
        g.ColumnSum(1, 1, 3);
        ADD_FAILURE() << "a text is no value";
    } catch (const DIdiZedoRorid& e) {
        EXPECT_STREQ(e.what(), "Cell does not contain a float value");
    }
}

TEST(GridCalc, TypedCellsAreWrittenLocaleFree)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(3);
    g.SetRowCountEx(3);
    // printf under a decimal-comma locale would write "2,50".
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    g.SetFloats(1, 1, 2.5);
    std::setlocale(LC_NUMERIC, old.c_str());
    EXPECT_EQ(g.Cells(1, 1), "2.50") << (comma ? "under de_DE" : "de_DE not installed");
    EXPECT_DOUBLE_EQ(g.GetFloats(1, 1), 2.5);
    g.SetFloatFormat("%.1f EUR");
    g.SetFloats(1, 1, 3);
    EXPECT_EQ(g.Cells(1, 1), "3.0 EUR");

    g.SetInts(2, 1, -42);
    EXPECT_EQ(g.GetInts(2, 1), -42);
    EXPECT_EQ(g.GetInts(2, 2), 0);
    g.SetCells(2, 2, "12a");
    EXPECT_THROW(g.GetInts(2, 2), DIdiZedoRorid);
}

TEST(GridCalc, NumberingSkipsFixedAndFooterCells)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 5, 6);
    g.SetFixedFooters(1);
    g.SetFixedRightCols(1);
    g.AutoNumberCol(2);
    EXPECT_EQ(g.Cells(2, 0), "2:0");
    EXPECT_EQ(g.Cells(2, 1), "1");
    EXPECT_EQ(g.Cells(2, 4), "4");
    EXPECT_EQ(g.Cells(2, 5), "2:5");
    g.AutoNumberRow(3);
    EXPECT_EQ(g.Cells(0, 3), "0:3");
    EXPECT_EQ(g.Cells(1, 3), "1");
    EXPECT_EQ(g.Cells(3, 3), "3");
    EXPECT_EQ(g.Cells(4, 3), "4:3");
}

TEST(GridCalc, RowHeightsByLineCount)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 3, 3);
    const int h = g.Canvas().TextHeight(QStringLiteral("gh"));
    ASSERT_GT(h, 0);
    g.SizeToLines(1, 3, 2);
    EXPECT_EQ(g.RowHeights(1), (h + h / 4) * 3 + 2);  // 62 for a 16-pixel font
    g.SizeToLines(2, 1, 0);
    EXPECT_LT(g.RowHeights(2), g.RowHeights(1));

    g.SetCells(1, 1, "one\r\ntwo\r\nthree");
    EXPECT_EQ(g.MaxLinesInRow(1), 1);  // multi-line cells off
    g.Multilinecells = true;
    EXPECT_EQ(g.MaxLinesInRow(1), 3);
    EXPECT_EQ(g.MaxLinesInRow(2), 1);
}

TEST(GridCalc, ColumnAndRowExchanges)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 4, 4);
    g.SetColWidths(1, 30);
    g.SetColWidths(3, 90);
    g.SortSettings->Column = 1;
    g.GetCellProperties(1, 2)->SetBrushColor(0x111111);
    g.SwapColumns(1, 3);
    EXPECT_EQ(g.Cells(3, 2), "1:2");
    EXPECT_EQ(g.Cells(1, 2), "3:2");
    EXPECT_EQ(g.ColWidths(1), 90);
    EXPECT_EQ(g.ColWidths(3), 30);
    EXPECT_EQ(g.SortSettings->Column(), 3);  // the indicator goes with its column
    ASSERT_TRUE(g.HasCellProperties(3, 2));
    EXPECT_EQ(g.GetCellProperties(3, 2)->BrushColor(), 0x111111u);
    EXPECT_FALSE(g.HasCellProperties(1, 2));
    EXPECT_EQ(g.ColCount(), 4);

    // A row exchange takes the cells of hidden columns along.
    g.HideColumn(2);
    g.SetRowHeights(1, 44);
    g.SwapRows(1, 3);
    g.UnHideColumn(2);
    EXPECT_EQ(g.Cells(2, 3), "2:1");
    EXPECT_EQ(g.Cells(2, 1), "2:3");
    EXPECT_EQ(g.Cells(0, 3), "0:1");
    EXPECT_EQ(g.RowHeights(3), 44);
}

TEST(GridCalc, SelectedTextOfTheSelection)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 4, 5);
    g.SetCells(1, 1, "a");
    g.SetCells(2, 1, "b");
    g.SetCells(1, 2, "c");
    g.SetCells(2, 2, "d");
    g.SelectRange(1, 2, 1, 2);
    EXPECT_EQ(g.SelectedText(), "a\tb\r\nc\td\r\n");

    // Disjunct rows: every flagged row over the rectangle's columns; a
    // multi-line cell quoted when asked.
    g.MouseActions->DisjunctRowSelect = true;
    g.SetRowSelect(1, true);
    g.SetRowSelect(3, true);
    g.SetCells(2, 3, "x\r\ny");
    EXPECT_EQ(g.SelectedText(), "a\tb\r\n1:3\tx\r\ny\r\n");
    g.QuoteClipboardLines = true;
    g.Multilinecells = true;
    std::string quoted = "x\r\ny";
    LineFeedsToCSV(quoted);
    EXPECT_EQ(g.SelectedText(), "a\tb\r\n1:3\t" + quoted + "\r\n");
}

TEST(GridCalc, RowsAndCellsSizeToTheirTexts)
{
    RIvuZuvuzoZuvu g;
    fillCells(g, 3, 4);
    g.SetColWidths(1, 60);
    g.SetCells(1, 2, "a rather long text that wraps over several lines in a narrow column");
    g.AutoSizeRow(2);
    EXPECT_GT(g.RowHeights(2), 3 * g.Canvas().TextHeight(QStringLiteral("gh")));
    g.AutoSizeRow(3);  // one short line: the default height
    EXPECT_EQ(g.RowHeights(3), g.DefaultRowHeight());

    // Without word wrap the rows take their line counts.
    g.Multilinecells = true;
    g.SetCells(2, 1, "1\r\n2\r\n3\r\n4");
    g.AutoSizeRows(false, 0);
    const int h = g.Canvas().TextHeight(QStringLiteral("gh"));
    EXPECT_EQ(g.RowHeights(1), (h + h / 4) * 4);
    EXPECT_EQ(g.RowHeights(2), h + h / 4);

    g.AutoSizeCells(true, 2, 2);
    EXPECT_GT(g.ColWidths(1), g.ColWidths(2));  // the long text
    EXPECT_GT(g.RowHeights(1), g.RowHeights(3));
    EXPECT_EQ(g.RowHeights(0), g.DefaultRowHeight());  // fixed row skipped
}
