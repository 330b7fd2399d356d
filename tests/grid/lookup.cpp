// The type-ahead lookup of the list grid: typed characters collected,
// upper-cased and searched in the sort column.
#include "grid/listgrid.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace grid;

namespace {

// A contact-like list: header row, names in column 1, phone numbers in column 2.
void fillContacts(RIvuZuvuzoZuvu& g)
{
    const char* names[] = {"Name", "Adams", "Baker", "smart", "Smith", "Smythe", "Taylor"};
    g.SetColCountEx(4);
    g.SetRowCountEx(7);
    for (int r = 0; r < 7; ++r) {
        g.SetCellEx(1, r, names[r]);
        g.SetCellEx(2, r, r == 0 ? "Phone" : "55" + std::to_string(r));
    }
    g.Navigation->AutoGotoWhenSorted = true;
    g.Navigation->AutoGotoIncremental = true;
}

}  // namespace

TEST(GridLookup, TypingMovesToTheFirstMatchingRow)
{
    RIvuZuvuzoZuvu g;
    fillContacts(g);
    g.resize(400, 300);
    QTest::keyClicks(&g, "sm");
    EXPECT_EQ(g.Row(), 3);  // "smart": compared in upper case
    EXPECT_EQ(g.LookupText(), "sm");
    QTest::keyClicks(&g, "i");
    EXPECT_EQ(g.Row(), 4);  // "Smith"
    QTest::keyClick(&g, Qt::Key_Backspace);
    EXPECT_EQ(g.LookupText(), "sm");
    QTest::keyClicks(&g, "y");
    EXPECT_EQ(g.Row(), 5);  // "Smythe"
    QTest::keyClicks(&g, "q");
    EXPECT_EQ(g.Row(), 5);  // no match: the current row stays
}

TEST(GridLookup, NavigationKeysAndClicksStartANewLookup)
{
    RIvuZuvuzoZuvu g;
    fillContacts(g);
    g.resize(400, 300);
    QTest::keyClicks(&g, "ta");
    EXPECT_EQ(g.Row(), 6);
    QTest::keyClick(&g, Qt::Key_Up);
    EXPECT_EQ(g.LookupText(), "");
    QTest::keyClicks(&g, "b");
    EXPECT_EQ(g.Row(), 2);
    const Rect r = g.GetCellRect(1, 1);
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, QPoint(r.Left + 3, r.Top + 3));
    EXPECT_EQ(g.LookupText(), "");

    g.Navigation->AutoGotoIncremental = false;  // each key starts over
    QTest::keyClicks(&g, "ta");
    EXPECT_EQ(g.LookupText(), "a");
    EXPECT_EQ(g.Row(), 1);
}

TEST(GridLookup, NoLookupWhileEditingOrSwitchedOff)
{
    RIvuZuvuzoZuvu g;
    fillContacts(g);
    g.Navigation->AutoGotoWhenSorted = false;
    QTest::keyClicks(&g, "t");
    EXPECT_EQ(g.Row(), 1);
    EXPECT_EQ(g.LookupText(), "");
}

TEST(GridLookup, SearchUsesTheShownSortColumn)
{
    RIvuZuvuzoZuvu g;
    fillContacts(g);
    EXPECT_EQ(g.Search("SM"), 3);
    EXPECT_EQ(g.Search("sm"), -1);  // the search text itself is not upper-cased
    EXPECT_EQ(g.Search("ZZ"), -1);
    EXPECT_EQ(g.Search("55"), -1);
    g.SortSettings->Column = 2;
    EXPECT_EQ(g.Search("554"), -1);  // the sort column counts only while it is shown
    g.SortSettings->Show = true;
    EXPECT_EQ(g.Search("554"), 4);

    RIvuZuvuzoZuvu tiny;
    tiny.SetRowCountEx(1);
    EXPECT_EQ(tiny.Search(""), -1);
}
