// Sorting the list grid: how numbers, dates and texts are told apart and
// ordered, header clicks, tie-breaking, blanks, fixed rows, the current row,
// and comparisons that are no strict order (the sort must still end with the
// same rows it started with).
#include "grid/listgrid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

using namespace grid;

namespace {

// A grid with one header row; each data row is given as its cells from column 0.
void load(RIvuZuvuzoZuvu& g, const std::vector<std::vector<std::string>>& rows, int cols = 0)
{
    for (const auto& r : rows)
        cols = std::max<int>(cols, static_cast<int>(r.size()));
    g.SetColCountEx(std::max(cols, 2));
    g.SetRowCountEx(static_cast<int>(rows.size()) + 1);
    for (int c = 0; c < cols; ++c)
        g.SetCells(c, 0, "H" + std::to_string(c));
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c)
            g.SetCells(static_cast<int>(c), static_cast<int>(r) + 1, rows[r][c]);
}

// Column ACol of the data rows, top to bottom.
std::vector<std::string> column(const RIvuZuvuzoZuvu& g, int ACol, int from = 1, int to = -1)
{
    if (to < 0)
        to = g.RowCount() - 1;
    std::vector<std::string> out;
    for (int r = from; r <= to; ++r)
        out.push_back(g.Cells(ACol, r));
    return out;
}

// A one-column load: column 1 holds the values, column 0 the row's original position.
void loadColumn(RIvuZuvuzoZuvu& g, const std::vector<std::string>& values)
{
    std::vector<std::vector<std::string>> rows;
    for (size_t i = 0; i < values.size(); ++i)
        rows.push_back({std::to_string(i), values[i]});
    load(g, rows);
}

struct PinnedDateFormat {
    FormatSettings saved = formatSettings();
    explicit PinnedDateFormat(const char* format)
    {
        formatSettings().ShortDateFormat = format;
        formatSettings().DateSeparator = '/';
    }
    ~PinnedDateFormat() { formatSettings() = saved; }
};

using Strings = std::vector<std::string>;

}  // namespace

TEST(GridSort, DetectsNumbersDatesAndTexts)
{
    RIvuZuvuzoZuvu g;
    g.SortSettings->Column = 1;
    loadColumn(g, {"10", "9", "1,234.00", "100", "2.5", "-3"});
    g.QSort();
    EXPECT_EQ(column(g, 1), (Strings{"-3", "2.5", "9", "10", "100", "1,234.00"}));

    PinnedDateFormat dates("dd/MM/yyyy");
    loadColumn(g, {"02/01/2001", "1/12/2000", "15/06/1999", "3/01/2001"});
    g.QSort();
    EXPECT_EQ(column(g, 1), (Strings{"15/06/1999", "1/12/2000", "02/01/2001", "3/01/2001"}));

    loadColumn(g, {"banana", "Apple", "cherry", "apple"});
    g.QSort();
    EXPECT_EQ(column(g, 1), (Strings{"Apple", "apple", "banana", "cherry"}));
}

TEST(GridSort, AutomaticDetectionIsAntisymmetric)
{
    // Telephone numbers with a hyphen look numeric but do not convert; a
    // pair that does not read the same way on both sides compares as text.
    PinnedDateFormat dates("d/M/yyyy");
    const Strings values{"2345-6789", "2345", "abc", "", "1,234.00", "-5", "1/2/2001", "12/2001", "5", "2345-1111",
                         "31/2/2001", "0"};
    RIvuZuvuzoZuvu g;
    loadColumn(g, values);
    for (int a = 1; a < g.RowCount(); ++a)
        for (int b = 1; b < g.RowCount(); ++b)
            EXPECT_EQ(g.Compare(1, a, b), -g.Compare(1, b, a)) << g.Cells(1, a) << " vs " << g.Cells(1, b);

    g.SortSettings->Column = 1;
    loadColumn(g, {"2345-6789", "2222-1111", "3333-0000", "2345-0000"});
    g.QSort();
    EXPECT_EQ(column(g, 1), (Strings{"2222-1111", "2345-0000", "2345-6789", "3333-0000"}));
}

TEST(GridSort, ExplicitNumericStyles)
{
    RIvuZuvuzoZuvu g;
    TSortStyle style = ssNumeric;
    std::string prefix = "$";
    g.OnGetFormat = [&](RIvuZuvuzoZuvu*, int, TSortStyle& s, std::string& p, std::string&) {
        s = style;
        p = prefix;
    };
    loadColumn(g, {"$10", "$9", "", "abc"});
    EXPECT_EQ(g.Compare(1, 1, 2), 1);   // $10 after $9
    EXPECT_EQ(g.Compare(1, 3, 2), -1);  // empty reads 0
    EXPECT_EQ(g.Compare(1, 4, 1), 0);   // letters equal any number
    EXPECT_EQ(g.Compare(1, 2, 4), 0);

    style = ssFinancial;
    prefix.clear();
    loadColumn(g, {"1,000", "999"});
    EXPECT_EQ(g.Compare(1, 1, 2), 1);
    style = ssNumeric;
    EXPECT_EQ(g.Compare(1, 1, 2), 0);  // without the separator removed "1,000" is no number
}

TEST(GridSort, HeaderClicksSortAndReverse)
{
    RIvuZuvuzoZuvu g;
    g.SortSettings->Show = true;
    loadColumn(g, {"b", "c", "a"});
    int clicked = -1;
    g.OnClickSort = [&](RIvuZuvuzoZuvu*, int c) { clicked = c; };

    EXPECT_TRUE(g.HeaderClickSort(1, 0, 0, 0, 10));
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(column(g, 1), (Strings{"a", "b", "c"}));
    EXPECT_TRUE(g.HeaderClickSort(1, 0, 0, 0, 10));
    EXPECT_EQ(g.SortSettings->Direction(), sdDescending);
    EXPECT_EQ(column(g, 1), (Strings{"c", "b", "a"}));
    // Another column always starts ascending: column 0 holds the old positions.
    EXPECT_TRUE(g.HeaderClickSort(0, 0, 0, 0, 10) == false);  // fixed column, FixedCols off
    g.SortSettings->FixedCols = 1;
    EXPECT_TRUE(g.HeaderClickSort(0, 0, 0, 0, 10));
    EXPECT_EQ(g.SortSettings->Direction(), sdAscending);
    EXPECT_EQ(column(g, 0), (Strings{"0", "1", "2"}));

    // Press and release on different rows, a refusing handler, too few rows.
    EXPECT_FALSE(g.HeaderClickSort(1, 0, 1, 0, 10));
    g.OnCanSort = [](RIvuZuvuzoZuvu*, int, bool& doSort) { doSort = false; };
    EXPECT_FALSE(g.HeaderClickSort(1, 0, 0, 0, 10));
    g.OnCanSort = nullptr;
    loadColumn(g, {"z"});
    EXPECT_FALSE(g.HeaderClickSort(1, 0, 0, 0, 10));
}

TEST(GridSort, ClickInTheSizingZoneDoesNotSort)
{
    RIvuZuvuzoZuvu g;
    g.resize(400, 300);
    g.SortSettings->Show = true;
    g.SetOptions(g.Options() | platform::goColSizing);
    loadColumn(g, {"b", "a"});
    const Rect r = g.GetCellRect(1, 0);
    EXPECT_FALSE(g.HeaderClickSort(1, 0, 0, 0, r.Left + 2));
    EXPECT_FALSE(g.HeaderClickSort(1, 0, 0, 0, r.Right - 2));
    EXPECT_EQ(column(g, 1), (Strings{"b", "a"}));
    EXPECT_TRUE(g.HeaderClickSort(1, 0, 0, 0, (r.Left + r.Right) / 2));
    EXPECT_EQ(column(g, 1), (Strings{"a", "b"}));
}

TEST(GridSort, TiesGoToTheColumnsOnTheRight)
{
    RIvuZuvuzoZuvu g;
    g.SortSettings->Column = 2;
    // Column 1 (left of the sort column) would order the other way: it never decides.
    load(g, {{"0", "a", "x", "3"}, {"1", "b", "y", "1"}, {"2", "c", "x", "2"}, {"3", "d", "x", "1"}});
    g.QSort();
    EXPECT_EQ(column(g, 3), (Strings{"1", "2", "3", "1"}));
    EXPECT_EQ(column(g, 2), (Strings{"x", "x", "x", "y"}));
    g.SortSettings->Direction = sdDescending;
    g.QSort();
    EXPECT_EQ(column(g, 3), (Strings{"1", "3", "2", "1"}));
    EXPECT_EQ(column(g, 2), (Strings{"y", "x", "x", "x"}));
}

TEST(GridSort, IndexedSortByClicks)
{
    RIvuZuvuzoZuvu g;
    g.SortSettings->Show = true;
    g.SortSettings->IndexShow = true;
    load(g, {{"0", "", "b", "", "2"}, {"1", "", "a", "", "9"}, {"2", "", "b", "", "1"}, {"3", "", "a", "", "3"}});
    EXPECT_TRUE(g.HeaderClickSort(2, 0, 0, 0, 10));
    EXPECT_TRUE(g.HeaderClickSort(4, 0, 0, platform::ssShift, 10));
    ASSERT_EQ(g.SortIndexes.Count(), 2);
    EXPECT_EQ(column(g, 0), (Strings{"3", "1", "2", "0"}));
    EXPECT_TRUE(g.HeaderClickSort(4, 0, 0, 0, 10));  // column 4 alone
    EXPECT_EQ(g.SortIndexes.Count(), 1);
    EXPECT_EQ(column(g, 4), (Strings{"1", "2", "3", "9"}));
    EXPECT_TRUE(g.HeaderClickSort(4, 0, 0, 0, 10));  // flips
    EXPECT_EQ(column(g, 4), (Strings{"9", "3", "2", "1"}));
    EXPECT_TRUE(g.HeaderClickSort(2, 0, 0, platform::ssShift, 10));
    EXPECT_EQ(column(g, 0), (Strings{"1", "3", "0", "2"}));  // 4 descending, then 2

    g.SortIndexes.Clear();
    const Strings before = column(g, 0);
    try {
        g.QSortIndexed();
        ADD_FAILURE() << "an empty index list must be refused";
    } catch (const DIdiZedoRorid& e) {
        EXPECT_STREQ(e.what(), "No indexes specified for indexed sort");
    }
    EXPECT_EQ(column(g, 0), before);
    EXPECT_EQ(g.RowCount(), 5);
}

TEST(GridSort, BlanksStayWhereBlankPosSays)
{
    RIvuZuvuzoZuvu g;
    g.SortSettings->Column = 1;
    g.SortSettings->IgnoreBlanks = true;
    for (TSortBlankPosition pos : {blLast, blFirst})
        for (TSortDirection dir : {sdAscending, sdDescending}) {
            g.SortSettings->BlankPos = pos;
            g.SortSettings->Direction = dir;
            loadColumn(g, {"b", "", "c", "", "a"});
            g.QSort();
            const Strings got = column(g, 1);
            const Strings filled = dir == sdAscending ? Strings{"a", "b", "c"} : Strings{"c", "b", "a"};
            const Strings want = pos == blLast ? Strings{filled[0], filled[1], filled[2], "", ""}
                                               : Strings{"", "", filled[0], filled[1], filled[2]};
            EXPECT_EQ(got, want) << "pos " << pos << " dir " << dir;
        }
}

TEST(GridSort, FixedRowsAndColumnZeroStay)
{
    RIvuZuvuzoZuvu g;
    g.SortSettings->Column = 1;
    loadColumn(g, {"c", "a", "total", "b"});
    g.SetCells(1, 0, "zzz header");
    g.SetFixedFooters(1);
    g.SetCells(1, 4, "0 footer");
    g.QSort();
    EXPECT_EQ(column(g, 1, 0), (Strings{"zzz header", "a", "c", "total", "0 footer"}));

    g.SetFixedFooters(0);
    g.SortSettings->NormalCellsOnly = true;
    loadColumn(g, {"c", "a", "b"});
    g.QSort();
    EXPECT_EQ(column(g, 0), (Strings{"0", "1", "2"}));  // row numbers stay
    EXPECT_EQ(column(g, 1), (Strings{"a", "b", "c"}));
}

TEST(GridSort, CurrentRowFollowsItsDataOnlyWhenAsked)
{
    RIvuZuvuzoZuvu g;
    g.SortSettings->Column = 1;
    loadColumn(g, {"c", "a", "b"});
    g.SetRow(1);  // "c"
    g.QSort();
    EXPECT_EQ(g.Row(), 1);
    loadColumn(g, {"c", "a", "b"});
    g.Navigation->MoveRowOnSort = true;
    g.SetRow(1);
    g.QSort();
    EXPECT_EQ(g.Row(), 3);
    EXPECT_EQ(g.Cells(1, g.Row()), "c");
}

TEST(GridSort, ObjectsHiddenCellsAndSelectionFlagsTravel)
{
    RIvuZuvuzoZuvu g;
    g.SortSettings->Column = 1;
    g.MouseActions->DisjunctRowSelect = true;
    load(g, {{"0", "c", "", "hidden c"}, {"1", "a", "", "hidden a"}, {"2", "b", "", "hidden b"}});
    platform::Object mark;
    g.SetObjectEx(2, 1, &mark);  // on the row of "c"
    g.GetCellProperties(1, 2)->SetBrushColor(0x123456);  // on "a"
    g.SetRowHeights(3, 40);                             // on "b"
    g.SetRowSelect(3, true);
    g.HideColumn(3);
    g.QSort();
    g.UnHideColumn(3);
    EXPECT_EQ(column(g, 1), (Strings{"a", "b", "c"}));
    EXPECT_EQ(column(g, 3), (Strings{"hidden a", "hidden b", "hidden c"}));
    EXPECT_EQ(g.GetObjectEx(2, 3), &mark);
    EXPECT_EQ(g.GetCellProperties(1, 1)->BrushColor(), 0x123456u);
    EXPECT_EQ(g.RowHeights(2), 40);
    EXPECT_TRUE(g.GetRowSelect(2));
    EXPECT_FALSE(g.GetRowSelect(3));
    EXPECT_EQ(g.RowCount(), 4);  // the spare rows are gone
}

TEST(GridSort, ComparisonsThatAreNoOrderLoseNoRow)
{
    // A cyclic comparison (rock, paper, scissors) is no strict weak order;
    // both partitions must stay inside the range and keep every row.
    RIvuZuvuzoZuvu g;
    g.OnGetFormat = [](RIvuZuvuzoZuvu*, int, TSortStyle& s, std::string&, std::string&) { s = ssCustom; };
    g.OnCustomCompare = [](RIvuZuvuzoZuvu*, const std::string& a, const std::string& b, int& res) {
        const int x = a.empty() ? 0 : a[0] % 3, y = b.empty() ? 0 : b[0] % 3;
        res = x == y ? 0 : ((x + 1) % 3 == y ? -1 : 1);
    };
    g.SortSettings->Full = false;
    Strings values;
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i)
        values.push_back(std::string(1, static_cast<char>('a' + rng() % 26)));
    for (bool indexed : {false, true}) {
        loadColumn(g, values);
        g.SetCells(1, 0, "header");
        if (indexed) {
            g.SortIndexes.Clear();
            g.SortIndexes.AddIndex(1, true);
            g.QSortIndexed();
        } else {
            g.SortSettings->Column = 1;
            g.QSort();
        }
        EXPECT_EQ(g.RowCount(), 3001);
        EXPECT_EQ(g.Cells(1, 0), "header");
        Strings ids = column(g, 0), expected;
        for (int i = 0; i < 3000; ++i)
            expected.push_back(std::to_string(i));
        std::sort(ids.begin(), ids.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(ids, expected) << (indexed ? "indexed" : "single column");
    }
}

// An order made up against the sort while it runs (of two rows whose order
// is still open, one is settled as the least of those left): whatever order
// the rows come in, the sort stays near n log n comparisons, in both of its
// ways, and the rows come out in the order it settled.
TEST(GridSort, NoOrderOfTheRowsMakesTheSortQuadratic)
{
    const int n = 4000;
    for (bool indexed : {false, true}) {
        std::vector<int> value(n, n);  // n: not settled yet
        int settled = 0, candidate = -1;
        long long comparisons = 0;
        RIvuZuvuzoZuvu g;
        g.OnGetFormat = [](RIvuZuvuzoZuvu*, int, TSortStyle& s, std::string&, std::string&) { s = ssCustom; };
        g.OnCustomCompare = [&](RIvuZuvuzoZuvu*, const std::string& a, const std::string& b, int& res) {
            comparisons += 1;
            const int x = std::stoi(a), y = std::stoi(b);
            if (value[x] == n && value[y] == n)
                value[x == candidate ? x : y] = settled++;
            if (value[x] == n)
                candidate = x;
            else if (value[y] == n)
                candidate = y;
            res = value[x] < value[y] ? -1 : value[x] > value[y] ? 1 : 0;
        };
        g.SortSettings->Full = false;
        Strings values;
        for (int i = 0; i < n; ++i)
            values.push_back(std::to_string(i));
        loadColumn(g, values);
        g.SetCells(1, 0, "header");
        if (indexed) {
            g.SortIndexes.AddIndex(1, true);
            g.QSortIndexed();
        } else {
            g.SortSettings->Column = 1;
            g.QSort();
        }
        EXPECT_LT(comparisons, 20LL * n * 12) << (indexed ? "indexed" : "single column");  // n log2 n: 48,000
        for (int r = 2; r <= n; ++r)
            ASSERT_LE(value[std::stoi(g.Cells(1, r - 1))], value[std::stoi(g.Cells(1, r))]) << r;
    }
}

TEST(GridSort, HundredThousandRowsKeepEveryRow)
{
    RIvuZuvuzoZuvu g;
    const int n = 100000;
    g.SetColCountEx(3);
    g.SetRowCountEx(n + 1);
    std::mt19937 rng(42);
    std::multiset<std::pair<std::string, std::string>> before;
    for (int r = 1; r <= n; ++r) {
        g.SetCells(0, r, std::to_string(r));
        g.SetCells(1, r, std::to_string(rng() % 5000) + "." + std::to_string(rng() % 100));
        before.insert({g.Cells(0, r), g.Cells(1, r)});
    }
    g.SortSettings->Column = 1;
    g.QSort();
    ASSERT_EQ(g.RowCount(), n + 1);
    std::multiset<std::pair<std::string, std::string>> after;
    for (int r = 1; r <= n; ++r)
        after.insert({g.Cells(0, r), g.Cells(1, r)});
    EXPECT_EQ(before, after);
    int misordered = 0;
    double previous = -1, value = 0;
    for (int r = 1; r <= n; ++r) {
        ASSERT_TRUE(TextToFloat(g.Cells(1, r), value));
        misordered += previous > value;
        previous = value;
    }
    EXPECT_EQ(misordered, 0);
}

TEST(GridSort, BubbleSortBeyondSixteenBitRows)
{
    // Nearly sorted, so the passes are few; a 16-bit row counter would never
    // reach the end of these rows.
    RIvuZuvuzoZuvu g;
    const int n = 70000;
    g.SetColCountEx(2);
    g.SetRowCountEx(n + 1);
    for (int r = 1; r <= n; ++r)
        g.SetCells(1, r, std::to_string(r));
    g.SetCells(1, n - 1, std::to_string(n));
    g.SetCells(1, n, std::to_string(n - 1));
    g.SortByColumn(1);
    EXPECT_EQ(g.Cells(1, n - 1), std::to_string(n - 1));
    EXPECT_EQ(g.Cells(1, n), std::to_string(n));
}

TEST(GridSort, CrossReferenceFollowsTheRows)
{
    RIvuZuvuzoZuvu g;
    g.SortSettings->Column = 1;
    loadColumn(g, {"c", "a", "b"});
    g.InitSortXRef();
    g.QSort();
    EXPECT_EQ(g.SortedRowIndex(1), 2);  // "a" was row 2
    EXPECT_EQ(g.UnSortedRowIndex(1), 3);
    EXPECT_EQ(g.GetUnSortedCell(1, 1), "c");
    g.SetUnSortedCell(1, 2, "A");
    EXPECT_EQ(g.Cells(1, 1), "A");
}

TEST(GridSort, TextAndDateStyles)
{
    RIvuZuvuzoZuvu g;
    TSortStyle style = ssHTML;
    g.OnGetFormat = [&](RIvuZuvuzoZuvu*, int, TSortStyle& s, std::string&, std::string&) { s = style; };
    loadColumn(g, {"<b>b</b>", "a", "B", "x"});
    EXPECT_EQ(g.Compare(1, 1, 2), 1);  // "b" after "a", whatever the tags
    style = ssAlphaNoCase;
    EXPECT_EQ(g.Compare(1, 3, 2), 1);
    style = ssAlphabetic;
    EXPECT_EQ(g.Compare(1, 3, 2), -1);
    style = ssCustom;  // no handler: everything equal
    EXPECT_EQ(g.Compare(1, 3, 2), 0);

    loadColumn(g, {"02/01/2001", "01/02/2001", "not a date", "31/02/2001"});
    style = ssShortDateEU;
    EXPECT_EQ(g.Compare(1, 1, 2), -1);
    style = ssShortDateUS;
    EXPECT_EQ(g.Compare(1, 1, 2), 1);
    EXPECT_EQ(g.Compare(1, 4, 3), 0);  // an impossible date counts as the zero date
    PinnedDateFormat dates("dd/MM/yyyy");
    style = ssDate;
    EXPECT_EQ(g.Compare(1, 1, 2), -1);
    EXPECT_EQ(g.Compare(1, 3, 1), -1);  // unreadable: the zero date
}

TEST(GridSort, AThrowingCompareLeavesTheGridUsable)
{
    RIvuZuvuzoZuvu g;
    g.SortSettings->Column = 1;
    g.SortSettings->NormalCellsOnly = true;
    loadColumn(g, {"c", "a", "b"});
    g.OnGetFormat = [](RIvuZuvuzoZuvu*, int, TSortStyle& s, std::string&, std::string&) { s = ssCustom; };
    g.OnCustomCompare = [](RIvuZuvuzoZuvu*, const std::string&, const std::string&, int&) {
        throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(g.QSort(), std::runtime_error);
    EXPECT_FALSE(g.IsUpdating());
    EXPECT_EQ(g.RowCount(), 4);
    EXPECT_EQ(column(g, 0), (Strings{"0", "1", "2"}));
    g.OnGetFormat = nullptr;
    g.QSort();
    EXPECT_EQ(column(g, 1), (Strings{"a", "b", "c"}));
}

// Rows are sorted in place when comparing them does not depend on where they
// stand; a display-text handler (here one that changes nothing) makes the
// sort move rows as it partitions. Both give the same order, equal keys
// included, for every style read beforehand, both directions, with blanks
// placed and by index.
TEST(GridSort, EqualKeysKeepTheirOrderWhetherRowsMoveOrNot)
{
    PinnedDateFormat dates("d/M/yyyy");
    std::mt19937 rng(5);
    std::vector<std::vector<std::string>> rows;
    const char* texts[] = {"Kalo", "kalo", "Kalo Ltd", "Kalo Ltdx", "", "12", "1,200.5", "-3", "3/4/2001",
                           "12/1/1999", "3/4/2001 10:00", "abc/1", "Sun", "1e3"};
    for (int i = 0; i < 600; ++i)
        rows.push_back({std::to_string(i), texts[rng() % 14], texts[rng() % 14], std::to_string(rng() % 4)});
    struct Case {
        TSortStyle style;
        TSortDirection direction;
        bool ignoreBlanks, indexed;
    };
    for (Case c : {Case{ssAutomatic, sdAscending, false, false}, Case{ssAutomatic, sdDescending, true, false},
                   Case{ssAlphabetic, sdAscending, false, false}, Case{ssNumeric, sdDescending, false, false},
                   Case{ssFinancial, sdAscending, true, false}, Case{ssDate, sdAscending, false, false},
                   Case{ssAutomatic, sdAscending, false, true}, Case{ssDate, sdDescending, false, true}}) {
        std::vector<std::string> sorted[2];
        for (int moving = 0; moving < 2; ++moving) {
            RIvuZuvuzoZuvu g;
            g.OnGetFormat = [&](RIvuZuvuzoZuvu*, int col, TSortStyle& s, std::string&, std::string&) {
                if (col == 1)
                    s = c.style;
            };
            if (moving)
                g.OnGetDisplText = [](TBaseGrid*, int, int, std::string&) {};
            load(g, rows);
            g.SortSettings->Column = 1;
            g.SortSettings->Direction = c.direction;
            g.SortSettings->IgnoreBlanks = c.ignoreBlanks;
            if (c.indexed) {
                g.SortIndexes.AddIndex(1, c.direction == sdAscending);
                g.SortIndexes.AddIndex(3, true);
                g.QSortIndexed();
            } else {
                g.QSort();
            }
            sorted[moving] = column(g, 0);
        }
        EXPECT_EQ(sorted[0], sorted[1]) << c.style << " " << c.direction;
    }
}

// The order the comparison rules give, row moves and all: a display-text
// handler that changes nothing makes the sort move rows as it partitions
// and compare cell by cell. Against it, the sort in place on a seeded table
// of few distinct values (so that most ties run through several columns and
// many rows tie in all of them): whole columns of numbers, of dates and of
// texts sharing their first bytes, a mixed column and columns with empty
// cells, by every column, both directions, blanks placed or not, by index,
// with a style read per comparison among the tie-breakers.
TEST(GridSort, SortInPlaceGivesTheOrderOfTheRules)
{
    PinnedDateFormat dates("d/M/yyyy");
    const std::vector<Strings> values{
        {"12", "-3", "1,200.5", "7.25", "0"},
        {"3/4/2001", "12/1/1999", "3/4/2001 10:00", "28/2/1995"},
        {"Kalo Chenmi Ltd", "Kalo Chenmi Ltdx", "Kalo Chen", "Kalo Chenmi Ltc", "kalo", ""},
        {"", "12", "3/4/2001", "abc/1", "1e3", "2345-6789", "Sun", "-3"},
        {"", "5", "40", "$7", "1000"},
        {"b", "", "A", "a"},
    };
    std::mt19937 rng(11);
    std::vector<Strings> rows;
    for (int i = 0; i < 1500; ++i) {
        Strings row{std::to_string(i)};
        for (const Strings& v : values)
            row.push_back(v[rng() % v.size()]);
        rows.push_back(row);
    }
    auto order = [&](int col, TSortDirection dir, bool blanks, bool indexed, bool moving) {
        RIvuZuvuzoZuvu g;
        g.OnGetFormat = [](RIvuZuvuzoZuvu*, int c, TSortStyle& s, std::string& prefix, std::string&) {
            if (c == 5) {
                s = ssNumeric;
                prefix = "$";
            } else if (c == 6) {
                s = ssAlphaNoCase;
            }
        };
        if (moving)
            g.OnGetDisplText = [](TBaseGrid*, int, int, std::string&) {};
        load(g, rows);
        g.SortSettings->Direction = dir;
        g.SortSettings->IgnoreBlanks = blanks;
        if (indexed) {
            g.SortIndexes.AddIndex(col, dir == sdAscending);
            g.SortIndexes.AddIndex(col % 6 + 1, dir != sdAscending);
            g.QSortIndexed();
        } else {
            g.SortSettings->Column = col;
            g.QSort();
        }
        return column(g, 0);
    };
    for (int col = 1; col <= 6; ++col)
        for (TSortDirection dir : {sdAscending, sdDescending})
            for (int blanks = 0; blanks < 2; ++blanks)
                for (int indexed = 0; indexed < 2; ++indexed)
                    EXPECT_EQ(order(col, dir, blanks, indexed, false), order(col, dir, blanks, indexed, true))
                        << "column " << col << " direction " << dir << " blanks " << blanks << " indexed " << indexed;
}
