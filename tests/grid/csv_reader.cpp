// The list grid's CSV members (the format itself is tested in
// gridexchange_csv_reader): the grid's switches and fixed cells reach the
// format, appending and inserting, and detection leaves CSVDelimiter alone.
#include "../scratch_files.h"
#include "grid/listgrid.h"

#include <gtest/gtest.h>

using namespace grid;

namespace {
class GridCsv : public ScratchFiles {};
}  // namespace

TEST_F(GridCsv, SwitchesFixedCellsAppendingAndInserting)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(3);
    g.SetRowCountEx(3);
    g.SetFixedCols(1);
    g.SetFixedRows(1);
    g.SetCells(0, 0, "fixed");
    g.SetCells(1, 1, "x,y");
    g.SetCells(1, 2, "a");
    g.SetCells(2, 2, "b");
    g.CSVQuoteEmpty = true;
    g.SaveToCSV(path("g.csv"));
    EXPECT_EQ(read("g.csv"), QByteArray("\"x,y\",\"\"\r\na,b\r\n"));
    g.CSVQuoteEmpty = false;
    g.CSVDelimiter = ';';
    g.AppendToCSV(path("g.csv"));
    EXPECT_EQ(read("g.csv"), QByteArray("\"x,y\",\"\"\r\na,b\r\nx,y;\r\na;b\r\n"));

    RIvuZuvuzoZuvu back;
    back.SetColCountEx(2);
    back.SetFixedCols(1);
    back.SetFixedRows(1);
    write("semi.csv", "p;q\r\nr;s\r\n");
    back.LoadFromCSV(path("semi.csv"));
    EXPECT_EQ(back.RowCount(), 3);
    EXPECT_EQ(back.ColCount(), 3);
    EXPECT_EQ(back.Cells(1, 1), "p");
    EXPECT_EQ(back.Cells(2, 2), "s");
    EXPECT_EQ(back.CSVDelimiter, 0);
    back.InsertFromCSV(path("semi.csv"));
    EXPECT_EQ(back.RowCount(), 5);
    EXPECT_EQ(back.Cells(1, 3), "p");
    EXPECT_EQ(back.Cells(1, 1), "p");
}
