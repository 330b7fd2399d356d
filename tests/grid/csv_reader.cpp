// The list grid's CSV members (the format itself is tested in
// gridexchange_csv_reader): the grid's switches and fixed cells reach the
// format, appending and inserting, and detection leaves CSVDelimiter alone.
#include "../scratch_files.h"
#include "cellfill.h"
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

// A file gets SaveCell's text of each cell: a subclass's own, the wording of
// OnGetDisplText, a merged block's text in each of its cells. Read into rows
// that hold a merged block, a record writes the block's text through any of
// its cells, as typed text would.
TEST_F(GridCsv, SavedTextsAndMergedBlocks)
{
    struct Marked : RIvuZuvuzoZuvu {
        std::string SaveCell(int ACol, int ARow) override { return "<" + GetCellEx(ACol, ARow) + ">"; }
    };
    const auto shape = [](RIvuZuvuzoZuvu& g) {
        fillCells(g, 3, 3);  // "c:r"
        g.SetFixedCols(0);
        g.SetFixedRows(0);
        g.SetCells(1, 0, "b\r\nc");
        g.MergeCells(0, 1, 2, 1);
    };
    RIvuZuvuzoZuvu plain;
    shape(plain);
    plain.SaveToCSV(path("plain.csv"));
    EXPECT_EQ(read("plain.csv"), QByteArray("0:0,\"b\nc\",2:0\r\n0:1,0:1,2:1\r\n0:2,1:2,2:2\r\n"));
    plain.OnGetDisplText = [](TBaseGrid*, int c, int r, std::string& v) { v += "=" + std::to_string(c + r); };
    plain.SaveToCSV(path("worded.csv"));
    EXPECT_EQ(read("worded.csv"),
              QByteArray("0:0=0,\"b\nc=1\",2:0=2\r\n0:1=1,0:1=1,2:1=3\r\n0:2=2,1:2=3,2:2=4\r\n"));
    Marked marked;
    shape(marked);
    marked.SaveToCSV(path("marked.csv"));
    EXPECT_EQ(read("marked.csv"), QByteArray("<0:0>,\"<b\nc>\",<2:0>\r\n<0:1>,<0:1>,<2:1>\r\n<0:2>,<1:2>,<2:2>\r\n"));

    write("in.csv", "p,q,r\r\ns,t,u\r\nv,w,x\r\n");
    plain.OnGetDisplText = nullptr;
    plain.LoadFromCSV(path("in.csv"));
    EXPECT_EQ(plain.Cells(2, 0), "r");
    EXPECT_EQ(plain.GetCellEx(0, 1), "t") << "the block's text is the last one written to it";
    EXPECT_EQ(plain.GetCellEx(1, 1), "t");
    EXPECT_EQ(plain.Cells(2, 1), "u");
    EXPECT_EQ(plain.Cells(1, 2), "w");
}
