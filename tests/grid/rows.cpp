// Rows and columns of the list grid: counts, structural edits carrying cells,
// objects and sizes, clamped arguments, shared cell objects, and the disjunct
// row selection following its rows. Runs under AddressSanitizer in CI, so a
// cell object freed twice or leaked fails here.
#include "grid/listgrid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using namespace grid;

namespace {

// A graphic object that counts the live instances.
struct CountedGraphic : platform::Object {
    static inline int live = 0;
    CountedGraphic() { ++live; }
    ~CountedGraphic() override { --live; }
};

// A 4 x 10 grid whose cells read "c:r".
void fill(RIvuZuvuzoZuvu& g, int cols = 4, int rows = 10)
{
    g.SetColCountEx(cols);
    g.SetRowCountEx(rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            g.SetCellEx(c, r, std::to_string(c) + ":" + std::to_string(r));
}

std::string cell(int c, int r) { return std::to_string(c) + ":" + std::to_string(r); }

}  // namespace

TEST(GridRows, FixedRowAlwaysKeepsAHeaderRow)
{
    RIvuZuvuzoZuvu g;
    g.SetRowCountEx(1);  // the string grid gives up its fixed row
    EXPECT_EQ(g.FixedRows(), 0);
    g.FixedRowAlways = true;
    EXPECT_EQ(g.GetFixedRowsEx(), 1);
    g.SetRowCountEx(1);
    EXPECT_EQ(g.FixedRows(), 0);
    g.SetRowCountEx(2);
    EXPECT_EQ(g.FixedRows(), 1);
    bool fixed = false;
    g.SetRowCountEx(1);
    g.GetCellFixed(1, 0, fixed);
    EXPECT_TRUE(fixed);

    g.FixedColAlways = true;
    g.SetColCountEx(1);
    EXPECT_EQ(g.GetFixedColsEx(), 1);
    g.SetColCountEx(3);
    EXPECT_EQ(g.FixedCols(), 1);
}

TEST(GridRows, InsertRowsCarriesCellsObjectsAndHeights)
{
    RIvuZuvuzoZuvu g;
    fill(g);
    g.SetRowHeights(3, 40);
    g.GetCellProperties(2, 3)->SetBrushColor(platform::clRed);
    g.MergeCells(1, 5, 2, 1);
    g.InsertRows(2, 2);

    EXPECT_EQ(g.RowCount(), 12);
    EXPECT_EQ(g.Cells(1, 1), cell(1, 1));
    EXPECT_EQ(g.Cells(1, 2), "");
    EXPECT_EQ(g.Cells(1, 3), "");
    EXPECT_EQ(g.RowHeights(2), g.DefaultRowHeight());
    EXPECT_EQ(g.Cells(1, 5), cell(1, 3));
    EXPECT_EQ(g.RowHeights(5), 40);
    ASSERT_TRUE(g.HasCellProperties(2, 5));
    EXPECT_EQ(g.FindCellProperties(2, 5)->BrushColor(), platform::clRed);
    EXPECT_FALSE(g.HasCellProperties(2, 3));
    EXPECT_EQ(g.GetCellEx(2, 7), cell(1, 5));  // the block moved with its row
    EXPECT_EQ(g.Cells(3, 11), cell(3, 9));

    g.AddRow();
    EXPECT_EQ(g.RowCount(), 13);
    EXPECT_EQ(g.Cells(0, 12), "");
}

TEST(GridRows, RemoveRowsCarriesCellsAndClampsItsArguments)
{
    RIvuZuvuzoZuvu g;
    fill(g);
    g.SetRowHeights(6, 33);
    g.GetCellProperties(0, 6)->Alignment = taCenter;
    std::vector<Rect> changes;
    g.OnCellsChanged = [&](RIvuZuvuzoZuvu*, const Rect& r) { changes.push_back(r); };

    g.RemoveRows(2, 3);  // rows 2, 3, 4
    EXPECT_EQ(g.RowCount(), 7);
    EXPECT_EQ(g.Cells(2, 2), cell(2, 5));
    EXPECT_EQ(g.RowHeights(3), 33);
    ASSERT_TRUE(g.HasCellProperties(0, 3));
    EXPECT_EQ(g.FindCellProperties(0, 3)->Alignment, taCenter);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], (Rect{0, 2, 3, 5}));

    g.RemoveRows(5, 100);  // only the rows that exist
    EXPECT_EQ(g.RowCount(), 5);
    EXPECT_EQ(g.Cells(1, 4), cell(1, 8 - 1 - 0));
    g.RemoveRows(-3, 4);  // rows -3..0: only row 0
    EXPECT_EQ(g.RowCount(), 4);
    EXPECT_EQ(g.Cells(1, 0), cell(1, 1));
    g.RemoveRows(9, 1);
    g.RemoveRows(1, 0);
    g.RemoveRows(1, -2);
    EXPECT_EQ(g.RowCount(), 4);

    g.SetRowCountEx(8);  // removed rows do not come back
    for (int r = 4; r < 8; ++r)
        EXPECT_EQ(g.Cells(1, r), "");

    g.RemoveRows(1, 7);  // every data row: only the header is left
    EXPECT_EQ(g.RowCount(), 1);
    EXPECT_EQ(g.Cells(1, 0), cell(1, 1));
}

TEST(GridRows, RemovedRowsKeepTheFollowingHeightsWithMovableRows)
{
    // With rows that the user may drag (heights travel with moved rows), a
    // removal still lets every following row keep its own height.
    RIvuZuvuzoZuvu g;
    fill(g, 3, 6);
    g.EnhRowColMove = true;
    for (int r = 0; r < 6; ++r)
        g.SetRowHeights(r, 20 + r);
    g.RemoveRows(2, 1);
    ASSERT_EQ(g.RowCount(), 5);
    for (int r = 2; r < 5; ++r) {
        EXPECT_EQ(g.Cells(1, r), cell(1, r + 1));
        EXPECT_EQ(g.RowHeights(r), 20 + r + 1) << r;
    }
    EXPECT_EQ(g.RowHeights(1), 21);
}

TEST(GridRows, ColumnsMoveWithTheirCellsObjectsAndWidths)
{
    RIvuZuvuzoZuvu g;
    fill(g, 5, 4);
    g.SetColWidths(3, 90);
    g.GetCellProperties(3, 2)->WordWrap();
    g.GetCellProperties(3, 2)->Alignment = taRightJustify;

    g.InsertCols(1, 2);
    EXPECT_EQ(g.ColCount(), 7);
    EXPECT_EQ(g.Cells(1, 2), "");
    EXPECT_EQ(g.ColWidths(1), g.DefaultColWidth());
    EXPECT_EQ(g.Cells(5, 2), cell(3, 2));
    EXPECT_EQ(g.ColWidths(5), 90);
    ASSERT_TRUE(g.HasCellProperties(5, 2));
    EXPECT_EQ(g.FindCellProperties(5, 2)->Alignment, taRightJustify);
    EXPECT_FALSE(g.HasCellProperties(3, 2));

    g.RemoveCols(1, 2);
    EXPECT_EQ(g.ColCount(), 5);
    EXPECT_EQ(g.Cells(3, 2), cell(3, 2));
    EXPECT_EQ(g.ColWidths(3), 90);
    EXPECT_TRUE(g.HasCellProperties(3, 2));

    g.RemoveCols(3, 50);  // clamped to the columns there are
    EXPECT_EQ(g.ColCount(), 3);
    g.RemoveCols(-1, 2);  // column 0 only
    EXPECT_EQ(g.ColCount(), 2);
    EXPECT_EQ(g.Cells(0, 1), cell(1, 1));
    g.AddColumn();  // removed columns do not come back
    EXPECT_EQ(g.Cells(2, 1), "");
}

TEST(GridRows, SharedCellObjectsAreFreedOnce)
{
    CountedGraphic::live = 0;
    {
        RIvuZuvuzoZuvu g;
        fill(g);
        g.SetGraphicObjectEx(1, 2, new CountedGraphic);
        g.CopyRows(8, 2);
        g.CopyRows(9, 2);
        TCellProperties* shared = g.FindCellProperties(1, 2);
        ASSERT_EQ(g.FindCellProperties(1, 8), shared);
        EXPECT_EQ(shared->Holders(), 3);
        EXPECT_EQ(g.Cells(1, 8), cell(1, 2));

        g.ClearRows(8, 1);  // lets go of one holder: the graphic stays
        EXPECT_EQ(CountedGraphic::live, 1);
        EXPECT_EQ(g.GetGraphicObjectEx(1, 2), g.GetGraphicObjectEx(1, 9));
        g.RemoveRows(2, 1);  // the original row goes; the copy (now row 8) keeps the object
        EXPECT_EQ(g.FindCellProperties(1, 8), shared);
        EXPECT_EQ(shared->Holders(), 1);
        EXPECT_EQ(CountedGraphic::live, 1);
        g.SetRowCountEx(8);  // drops the last holder: properties and graphic go
        EXPECT_EQ(CountedGraphic::live, 0);
    }
    {
        RIvuZuvuzoZuvu g;  // a grid destroyed with shared objects in it
        fill(g);
        g.MergeCells(1, 1, 2, 2);
        g.CopyRows(5, 1);
        g.CopyRows(6, 1);
        g.CopyCols(3, 1);
        g.SetGraphicObjectEx(0, 4, new CountedGraphic);
        g.CopyRows(7, 4);
    }
    EXPECT_EQ(CountedGraphic::live, 0);
}

TEST(GridRows, ClearRectFreesBlocksAndIsClamped)
{
    RIvuZuvuzoZuvu g;
    fill(g);
    g.MergeCells(1, 1, 2, 2);
    g.SetGraphicObjectEx(3, 3, new CountedGraphic);
    g.ClearRows(1, 2);
    for (int c = 1; c <= 2; ++c)
        for (int r = 1; r <= 2; ++r) {
            EXPECT_FALSE(g.HasCellProperties(c, r));
            EXPECT_FALSE(g.IsMergedCell(c, r));
            EXPECT_EQ(g.Cells(c, r), "");
        }
    EXPECT_EQ(g.Cells(1, 3), cell(1, 3));
    g.ClearRect(-5, -5, 100, 100);
    EXPECT_EQ(CountedGraphic::live, 0);
    EXPECT_EQ(g.Cells(3, 9), "");
    g.ClearRect(7, 0, 9, 3);  // nothing of it lies in the grid
}

TEST(GridRows, SelectionFlagsDoNotOutliveTheirRows)
{
    RIvuZuvuzoZuvu g;
    g.SetRowCountEx(10);
    g.SetRowSelect(5, true);
    EXPECT_EQ(g.GetRowSelectCount(), 1);
    EXPECT_EQ(g.RowSelectListLength(), 6);
    g.SetRowSelect(5, false);
    EXPECT_EQ(g.GetRowSelectCount(), 0);
    EXPECT_EQ(g.RowSelectListLength(), 6);

    g.SetRowSelect(5, true);
    g.SetRowCountEx(1);  // the list refreshed with a single row
    g.SetRowCountEx(4);
    EXPECT_EQ(g.GetRowSelectCount(), 0);
    for (int r = 0; r < 4; ++r)
        EXPECT_FALSE(g.GetRowSelect(r));
    g.SetRowCountEx(10);
    EXPECT_FALSE(g.GetRowSelect(5));
}

TEST(GridRows, RowsDroppedThroughTheLibraryCountTakeTheirFlagsAndObjects)
{
    // The contact list empties itself with the library's row count on every
    // refresh and grows again: nothing of the old rows may come back or stay behind.
    CountedGraphic::live = 0;
    {
        RIvuZuvuzoZuvu g;
        fill(g);
        g.SetRowSelect(5, true);
        g.SetGraphicObjectEx(2, 7, new CountedGraphic);
        g.SetRowCount(1);
        EXPECT_EQ(CountedGraphic::live, 0);
        g.SetRowCount(10);
        EXPECT_FALSE(g.GetRowSelect(5));
        EXPECT_EQ(g.GetRowSelectCount(), 0);
        EXPECT_FALSE(g.HasCellProperties(2, 7));
    }
    EXPECT_EQ(CountedGraphic::live, 0);
}

TEST(GridRows, SelectionFlagsFollowInsertedAndRemovedRows)
{
    RIvuZuvuzoZuvu g;
    fill(g);
    g.MouseActions->DisjunctRowSelect = true;
    g.SetRowSelect(3, true);
    g.InsertRows(1, 2);
    EXPECT_TRUE(g.GetRowSelect(5));
    EXPECT_FALSE(g.GetRowSelect(3));

    g.SetRowSelect(6, true);
    g.RemoveRows(5, 1);  // the selected row goes; the next one's flag moves up
    EXPECT_TRUE(g.GetRowSelect(5));
    EXPECT_EQ(g.GetRowSelectCount(), 1);

    g.ClearRowSelect();
    g.SetRowSelect(2, true);
    g.SetRowSelect(3, true);
    const std::string after = g.Cells(0, 4);
    g.RemoveSelectedRows();
    EXPECT_EQ(g.RowCount(), 9);
    EXPECT_EQ(g.Cells(0, 2), after);
    EXPECT_EQ(g.GetRowSelectCount(), 0);
}

// The flags keep their number and span through every kind of change, and
// report exactly the rows they flip: a seeded run of changes against a plain
// vector of flags.
TEST(GridRows, SelectionFlagsAgreeWithAPlainListThroughRandomChanges)
{
    std::mt19937 rng(74);
    TRowFlags flags;
    std::vector<bool> model;
    auto at = [&](int r) { return r < static_cast<int>(model.size()) && model[static_cast<size_t>(r)]; };
    auto put = [&](int r, bool v) {
        if (static_cast<int>(model.size()) <= r)
            model.resize(static_cast<size_t>(r) + 1, false);
        model[static_cast<size_t>(r)] = v;
    };
    for (int step = 0; step < 20000; ++step) {
        const int n = 60;
        const int a = static_cast<int>(rng() % n), b = static_cast<int>(rng() % n);
        const int from = std::min(a, b), to = rng() % 8 == 0 ? from - 1 : std::max(a, b);
        std::vector<int> flipped, expected;
        auto note = [&](int r) { flipped.push_back(r); };
        switch (rng() % 8) {
        case 0:
        case 1:
            flags.set(a, rng() % 3 != 0);
            put(a, flags.flagged(a));
            break;
        case 2: {  // stretch a range, clearing others from a first row on
            const int first = static_cast<int>(rng() % 3);
            flags.clear(first, from, to, note);
            for (int r = first; r < static_cast<int>(model.size()); ++r)
                if ((r < from || r > to) && at(r))
                    expected.push_back(r), put(r, false);
            flags.flag(from, to, note);
            for (int r = from; r <= to; ++r)
                if (!at(r))
                    expected.push_back(r), put(r, true);
            std::sort(flipped.begin(), flipped.end());
            std::sort(expected.begin(), expected.end());
            ASSERT_EQ(flipped, expected) << "step " << step;
            break;
        }
        case 3:
            flags.insert(a, b % 4);
            if (a < static_cast<int>(model.size()))
                model.insert(model.begin() + a, static_cast<size_t>(b % 4), false);
            break;
        case 4:
            flags.erase(a);
            if (a < static_cast<int>(model.size()))
                model.erase(model.begin() + a);
            break;
        case 5: {
            const bool x = at(a), y = at(b);
            flags.swap(a, b);
            if (x != y)
                put(a, y), put(b, x);
            break;
        }
        case 6:
            if (rng() % 10 == 0) {
                flags.cut(a);
                if (a < static_cast<int>(model.size()))
                    model.resize(static_cast<size_t>(a));
            }
            break;
        default:
            ASSERT_EQ(flags.countBelow(a), std::count(model.begin(), model.begin() + std::min<size_t>(a, model.size()), true));
        }
        ASSERT_EQ(flags.countBelow(n * 4), std::count(model.begin(), model.end(), true)) << "step " << step;
        for (int r = 0; r < n * 2; ++r)
            ASSERT_EQ(flags.flagged(r), at(r)) << "step " << step << " row " << r;
    }
}

TEST(GridRows, RowSelectionHelpers)
{
    RIvuZuvuzoZuvu g;
    fill(g);
    g.MouseActions->DisjunctRowSelect = true;
    g.SelectRows(8, 5);  // rows beyond the grid are skipped
    EXPECT_EQ(g.GetRowSelectCount(), 2);
    g.ClearRowSelect();
    EXPECT_EQ(g.GetRowSelectCount(), 0);

    g.MouseActions->DisjunctRowSelect = false;
    g.SelectRows(2, 3);
    EXPECT_EQ(g.Selection(), (TGridRect{1, 2, 3, 4}));
    g.SetRowSelect(7, true);
    g.SelectToRowSelect(false);
    EXPECT_EQ(g.GetRowSelectCount(), 4);
    g.SelectToRowSelect(true);
    EXPECT_EQ(g.GetRowSelectCount(), 3);
    EXPECT_FALSE(g.GetRowSelect(7));

    g.SelectCols(2, 1);
    EXPECT_EQ(g.Selection(), (TGridRect{2, 1, 2, 9}));
    g.SelectRange(1, 2, 3, 4);
    EXPECT_EQ(g.Selection(), (TGridRect{1, 3, 2, 4}));
}

TEST(GridRows, ClearingShortcuts)
{
    RIvuZuvuzoZuvu g;
    fill(g);
    g.SetFixedFooters(1);
    g.ClearNormalCells();
    EXPECT_EQ(g.Cells(0, 5), cell(0, 5));  // fixed column
    EXPECT_EQ(g.Cells(2, 0), cell(2, 0));  // fixed row
    EXPECT_EQ(g.Cells(2, 9), cell(2, 9));  // footer row
    EXPECT_EQ(g.Cells(2, 5), "");

    g.MouseActions->DisjunctRowSelect = true;
    g.SetRowSelect(0, true);
    g.ClearSelection();  // fixed rows are not cleared
    EXPECT_EQ(g.Cells(2, 0), cell(2, 0));

    RIvuZuvuzoZuvu empty;
    empty.SetRowCountEx(0);
    empty.Clear();
    EXPECT_EQ(empty.LookupText(), "");
}

TEST(GridRows, MergingEqualNeighbours)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(3);
    g.SetRowCountEx(6);
    const char* texts[] = {"A", "A", "A", "B", "B", "B"};  // row 0 is the header
    for (int r = 0; r < 6; ++r)
        g.SetCellEx(1, r, texts[r]);
    g.MergeColumnCells(1, true);
    EXPECT_EQ(g.FullCell(1, 2), (TGridRect{1, 1, 1, 2}));
    EXPECT_EQ(g.FullCell(1, 4), (TGridRect{1, 3, 1, 5}));
    EXPECT_FALSE(g.IsMergedCell(1, 0));

    g.SplitColumnCells(1);
    EXPECT_FALSE(g.IsMergedCell(1, 2));
    EXPECT_FALSE(g.IsMergedCell(1, 3));

    g.SetCellEx(1, 2, "x");
    g.SetCellEx(2, 2, "x");
    g.MergeRowCells(2, true);
    EXPECT_EQ(g.FullCell(2, 2), (TGridRect{1, 2, 2, 2}));

    g.SetCellEx(1, 4, " left ");
    g.SetCellEx(2, 4, "right");
    g.SplitRowCells(2);
    g.MergeCols(1, 2);
    EXPECT_EQ(g.ColCount(), 2);
    EXPECT_EQ(g.GetCellEx(1, 4), "left right");
}

TEST(GridRows, IsCellFindsTheFirstRawMatch)
{
    RIvuZuvuzoZuvu g;
    fill(g);
    g.SetCellEx(3, 2, "needle");
    g.SetCellEx(1, 7, "needle");
    int c = -1, r = -1;
    ASSERT_TRUE(g.IsCell("needle", c, r));
    EXPECT_EQ(c, 3);
    EXPECT_EQ(r, 2);
    EXPECT_FALSE(g.IsCell("Needle", c, r));
}
