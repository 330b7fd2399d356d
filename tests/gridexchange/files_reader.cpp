// The cell-list (file and stream), column-aligned and fixed-width formats over
// a table in memory: exact bytes written, what is read back, damaged headers,
// and random damage that must end in an error or a loaded table.
#include "grid/exchange/textfiles.h"
#include "grid/griderror.h"
#include "memorytable.h"
#include "platform/converterror.h"

#include <gtest/gtest.h>

#include <random>

using namespace grid::exchange;
using grid::DIdiZedoRorid;

namespace {

// cols x rows with one fixed row and column
MemoryTable shaped(int Cols, int Rows)
{
    MemoryTable t(Cols, Rows);
    t.fixedCols = t.fixedRows = 1;
    return t;
}

CellRange unfixed(const MemoryTable& T) { return {1, T.ColCount() - 1, 1, T.RowCount() - 1, true}; }

QByteArray cellList(const MemoryTable& T)
{
    return WriteCellList(T, unfixed(T), T.ColCount() - 1, T.RowCount() - 1, {});
}

void readList(const QByteArray& Bytes, MemoryTable& T, bool Multi = true)
{
    ReadCellList(Bytes, T, 1, 1, Multi, "g.txt", {});
}

}  // namespace

TEST(CellList, FileBytesAndReadingBack)
{
    MemoryTable g = shaped(3, 2);
    g.SetText(1, 1, "a\r\nb");
    const QByteArray bytes = cellList(g);
    EXPECT_EQ(bytes, QByteArray("2,1\r\ncw 1,64\r\ncw 2,64\r\n1,1,a\t\bb\r\n"));
    for (const bool multi : {true, false}) {
        MemoryTable back = shaped(2, 2);
        readList(bytes, back, multi);
        EXPECT_EQ(back.Text(1, 1), multi ? "a\r\nb" : "a");
    }

    // counts plus the fixed cells; a width and a cell outside the table are skipped
    MemoryTable h = shaped(3, 3);
    h.SetText(2, 2, "kept");
    readList("4,3\r\ncw 7,80\r\ncw 1,70000\r\n7,1,x\r\n1,1,y\r\n99999999999,1,z\r\n", h);
    EXPECT_EQ(h.ColCount(), 5);
    EXPECT_EQ(h.RowCount(), 4);
    EXPECT_EQ(h.Text(1, 1), "y");
    EXPECT_EQ(h.Text(2, 2), "kept");
    EXPECT_EQ(h.ColWidth(1), 64);

    for (const char* header : {"999999999,999999999\r\n1,1,x\r\n", "-5,3\r\n1,1,x\r\n", "20000,2\r\n"}) {
        MemoryTable t = shaped(3, 3);
        t.SetText(1, 1, "stay");
        EXPECT_THROW(readList(header, t), DIdiZedoRorid);
        EXPECT_EQ(t.ColCount(), 3);
        EXPECT_EQ(t.RowCount(), 3);
        EXPECT_EQ(t.Text(1, 1), "stay");
    }
}

TEST(CellList, StreamRoundTripAndStrictNumbers)
{
    MemoryTable g = shaped(4, 3);
    g.SetColWidth(3, 91);
    g.SetText(1, 1, "one");
    g.SetText(3, 2, "two\r\nlines");
    const QByteArray bytes = WriteCellStream(g, unfixed(g), 3, 2) + "cw 40,5\r\n";  // a width for a column not there
    MemoryTable back = shaped(2, 2);
    ReadCellStream(bytes, back, 1, 1, true);
    EXPECT_EQ(back.ColCount(), 4);
    EXPECT_EQ(back.RowCount(), 3);
    EXPECT_EQ(back.Text(1, 1), "one");
    EXPECT_EQ(back.Text(3, 2), "two\r\nlines");
    EXPECT_EQ(back.ColWidth(3), 91);

    for (const char* bad : {"-5,3\r\n", "999999999,999999999\r\n", "2,99999999999\r\n"}) {
        try {
            ReadCellStream(bad, back, 1, 1, true);
            ADD_FAILURE() << bad;
        } catch (const DIdiZedoRorid& e) {
            EXPECT_STREQ(e.what(), "File contains no data or corrupt file ");
        }
        EXPECT_EQ(back.ColCount(), 4);
    }
    EXPECT_THROW(ReadCellStream("2,2\r\nx,1,a\r\n", back, 1, 1, true), platform::EConvertError);
}

TEST(CellList, FixedWidthAndColumnAlignedText)
{
    MemoryTable g = shaped(2, 2);
    const QByteArray f = "ab  cd  \r\n\tx  y\r\n";
    ASSERT_TRUE(ReadFixed(f, g, 1, 1, 1, {1, 5, 9}, "f.txt"));
    EXPECT_EQ(g.ColCount(), 3);
    EXPECT_EQ(g.RowCount(), 3);
    EXPECT_EQ(g.Text(1, 1), "ab");
    EXPECT_EQ(g.Text(2, 1), "cd");
    EXPECT_EQ(g.Text(1, 2), "x");
    ReadFixed(f, g, 1, 1, 1, {1, 5, 3}, "f.txt");  // a boundary that does not rise
    EXPECT_EQ(g.Text(2, 1), "");
    EXPECT_FALSE(ReadFixed(f, g, 1, 1, 1, {1}, "f.txt"));

    MemoryTable w = shaped(4, 2);
    w.SetText(1, 1, "abcd");
    w.SetText(2, 1, "x");
    w.SetText(3, 1, "12345");
    EXPECT_EQ(WriteFixed(w, unfixed(w), {3, 2, 5}), "abcx 12345\r\n");

    MemoryTable a({{"a", "bb"}, {"ccc", "d"}});
    EXPECT_EQ(WriteAligned(a, {3, 2}, false), "a   bb \r\nccc d  \r\n");
    a.align[{1, 0}] = 1;
    a.SetText(1, 0, "7");
    a.SetText(1, 1, "d\r\nlong");
    EXPECT_EQ(WriteAligned(a, {3, 4}, true), "a      7 \r\nccc d    \r\n    long\r\n");
}

TEST(CellList, RandomDamageEndsInAnErrorOrALoadedTable)
{
    MemoryTable g = shaped(5, 6);
    for (int r = 1; r < 6; ++r)
        for (int c = 1; c < 5; ++c)
            g.SetText(c, r, "cell " + std::to_string(c) + "\r\n" + std::to_string(r));
    const QByteArray goodFile = cellList(g), goodStream = WriteCellStream(g, unfixed(g), 4, 5),
                     goodFixed = WriteFixed(g, unfixed(g), {6, 6, 6, 6});
    std::mt19937 random(35);
    auto damage = [&](QByteArray bytes) {
        const int flips = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < flips && !bytes.isEmpty(); ++i)
            bytes[static_cast<qsizetype>(random() % bytes.size())] = static_cast<char>(random());
        if (random() % 4 == 0)
            bytes.truncate(static_cast<qsizetype>(random() % (bytes.size() + 1)));
        if (random() % 8 == 0)
            bytes.insert(static_cast<qsizetype>(random() % (bytes.size() + 1)), "\r\n9999999999999,-1,");
        return bytes;
    };
    for (int round = 0; round < 1000; ++round) {
        MemoryTable back = shaped(3, 3);
        try {
            readList(damage(goodFile), back);
            EXPECT_LE(back.RowCount(), 1048576);
        } catch (const DIdiZedoRorid&) {
        }
        try {
            ReadCellStream(damage(goodStream), back, 1, 1, true);
        } catch (const DIdiZedoRorid&) {
        } catch (const platform::EConvertError&) {
        }
        ReadFixed(damage(goodFixed), back, 1, 1, 1, {1, 4, 9, 30}, "bad.fix");
        EXPECT_EQ(back.ColCount(), 1 + 3);
    }
}
