// Moving the current cell of the list grid: the changing events, read-only
// cells switching editing off and on, validation of an edited cell, and the
// grid following its window's size.
#include "grid/listgrid.h"

#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

using namespace grid;

TEST(GridSelect, ChangingEventsMayRefuseTheMove)
{
    RIvuZuvuzoZuvu g;
    std::vector<std::string> log;
    g.OnRowChanging = [&](RIvuZuvuzoZuvu*, int from, int to, bool& allow) {
        log.push_back("row " + std::to_string(from) + ">" + std::to_string(to));
        allow = to != 3;
    };
    g.OnColChanging = [&](RIvuZuvuzoZuvu*, int from, int to, bool&) {
        log.push_back("col " + std::to_string(from) + ">" + std::to_string(to));
    };
    g.OnCellChanging = [&](RIvuZuvuzoZuvu*, int r0, int c0, int r1, int c1, bool&) {
        log.push_back("cell " + std::to_string(c0) + "," + std::to_string(r0) + ">" + std::to_string(c1) + "," +
                      std::to_string(r1));
    };
    g.SetRow(2);
    EXPECT_EQ(g.Row(), 2);
    EXPECT_EQ(log, (std::vector<std::string>{"row 1>2", "cell 1,1>1,2"}));
    log.clear();
    g.SetRow(3);
    EXPECT_EQ(g.Row(), 2);  // refused
    g.SetCol(2);
    EXPECT_EQ(g.Col(), 2);
    EXPECT_EQ(log, (std::vector<std::string>{"row 2>3", "cell 1,2>1,3", "col 1>2", "cell 1,2>2,2"}));

    // A cell the owner declares fixed cannot become current.
    g.OnIsFixedCell = [](RIvuZuvuzoZuvu*, int row, int, bool& fixed) { fixed = row == 4; };
    g.SetRow(4);
    EXPECT_EQ(g.Row(), 2);
}

TEST(GridSelect, ReadOnlyCellsSwitchEditingOffAndBack)
{
    RIvuZuvuzoZuvu g;
    g.SetOptions(g.Options() | platform::goEditing);
    g.OnCanEditCell = [](RIvuZuvuzoZuvu*, int row, int, bool& can) { can = row != 3; };
    g.SetRow(3);
    EXPECT_FALSE(g.HasOption(platform::goEditing));
    EXPECT_FALSE(g.IsEditable(2, 3));
    g.SetRow(2);
    EXPECT_TRUE(g.HasOption(platform::goEditing));
    EXPECT_TRUE(g.IsEditable(1, 2));
}

TEST(GridSelect, EditingAndValidatingACell)
{
    RIvuZuvuzoZuvu g;
    g.resize(400, 300);
    g.SetCellEx(1, 1, "old");
    g.SetOptions(g.Options() | platform::goEditing);
    g.SetRow(2);
    g.SetRow(1);  // entering the cell records its text
    g.ShowEditor();
    ASSERT_TRUE(g.EditorMode());
    EXPECT_TRUE(g.EditActive());
    EXPECT_EQ(g.EditorType(), edNormal);

    std::string seenValue;
    g.OnCellValidate = [&](RIvuZuvuzoZuvu*, int, int, std::string& value, bool& valid) {
        seenValue = value;
        valid = value != "bad";
    };
    EXPECT_FALSE(g.ValidateCell("bad"));
    EXPECT_EQ(seenValue, "bad");
    EXPECT_EQ(g.Cells(1, 1), "old");  // refused without a change: the old text is back
    EXPECT_TRUE(g.ValidateCell("good"));
    EXPECT_EQ(g.Cells(1, 1), "good");
    EXPECT_TRUE(g.ValidateCell("other"));  // nothing pending any more
    EXPECT_EQ(g.Cells(1, 1), "good");

    // A cell whose editor kind needs a special control shows no text editor.
    g.HideInplaceEdit();
    g.OnGetEditorType = [](RIvuZuvuzoZuvu*, int, int, TEditorType& t) { t = edDataCheckBox; };
    g.ShowEditor();
    EXPECT_FALSE(g.EditorMode());
}

TEST(GridSelect, CopiedRowsKeepTheStoredText)
{
    RIvuZuvuzoZuvu g;
    g.SetRowCountEx(5);
    g.SetCellEx(1, 1, "12.5");
    g.OnGetDisplText = [](TBaseGrid*, int, int, std::string& v) { v = "$" + v; };
    g.SetRowCount(6);  // a spare row
    g.CopyRows(5, 1);
    g.CopyRows(2, 5);
    EXPECT_EQ(g.Cells(1, 2), "12.5");
    EXPECT_EQ(g.GetCellEx(1, 2), "$12.5");
}

TEST(GridSelect, GridFollowsItsWindowsSize)
{
    QWidget form;
    form.resize(500, 400);
    auto* g = new RIvuZuvuzoZuvu(&form);
    g->setGeometry(10, 10, 300, 200);
    form.show();
    QApplication::processEvents();
    g->SizeWithForm = true;
    form.resize(560, 430);
    QApplication::processEvents();
    EXPECT_EQ(g->width(), 360);
    EXPECT_EQ(g->height(), 230);
    g->SizeWithForm = false;
    form.resize(500, 400);
    QApplication::processEvents();
    EXPECT_EQ(g->width(), 360);
}

// A window that follows the selection (a total of the selected rows) is told
// once the event that changed it is done, once for all of that event's
// changes; a flag set again as it was tells nothing.
TEST(GridSelect, ASelectionChangeIsToldOnceItsEventIsDone)
{
    RIvuZuvuzoZuvu g;
    g.SetRowCount(1001);
    g.MouseActions->DisjunctRowSelect = true;
    int told = 0;
    g.OnSelectionChange = [&told](RIvuZuvuzoZuvu*) { ++told; };
    const std::tuple<const char*, std::function<void()>, int> changes[] = {
        {"a thousand rows flagged", [&g] { g.SelectRows(1, 1000); }, 1},
        {"the flags cleared", [&g] { g.ClearRowSelect(); }, 1},
        {"the current cell moved", [&g] { g.SetRow(5); }, 1},
        {"a row flagged while updates are held",
         [&g] {
             g.BeginUpdate();
             g.SetRowSelect(3, true);
             g.EndUpdate();
         },
         1},
        {"the same flag set again", [&g] { g.SetRowSelect(3, true); }, 0},
    };
    for (const auto& [what, change, expected] : changes) {
        told = 0;
        change();
        EXPECT_EQ(told, 0) << what;
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(told, expected) << what;
    }
}
