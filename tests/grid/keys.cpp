// The list grid's keys (row selection with the arrows, Shift and Space,
// inserting and deleting rows, Home and End to the first and last row),
// Find with its match modes and wrap-around, and validation of a cell
// edited in the text editor.
#include "inputfixture.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace grid;
using Rows = std::vector<int>;
using G = RIvuZuvuzoZuvu;

TEST(GridKeys, ArrowsShiftAndSpaceSelectRows)
{
    InputGrid t(8);
    t.click(t.center(1, 2));
    t.g.SetRowSelect(5, true);
    t.key(Qt::Key_Down);
    EXPECT_EQ(t.g.Row(), 3);
    EXPECT_EQ(t.selectedRows(), Rows({3}));  // only the new row
    t.key(Qt::Key_Down, Qt::ShiftModifier);
    t.key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(t.selectedRows(), Rows({3, 4, 5}));
    t.key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(t.selectedRows(), Rows({3, 4}));
    EXPECT_EQ(t.g.Row(), 4);  // Shift moved the current row, as in a list view

    t.key(Qt::Key_Down);
    EXPECT_EQ(t.selectedRows(), Rows({5}));
    t.key(Qt::Key_Space);
    EXPECT_EQ(t.selectedRows(), Rows({}));
    t.key(Qt::Key_Space);
    EXPECT_EQ(t.selectedRows(), Rows({5}));
    t.key(Qt::Key_Up);
    EXPECT_EQ(t.selectedRows(), Rows({4}));
}

// Every key that moves the current row up or down flags the rows as the
// arrows do: alone or with Ctrl only the new row (Ctrl+Up and Ctrl+Down move
// as Up and Down), with Shift the range from the anchor; a key that moves
// nothing changes nothing. Left and Right go along the row and leave the flags.
TEST(GridKeys, EveryVerticalMoveFlagsTheRowsAsTheArrowsDo)
{
    constexpr int kPaged = -1;  // the row a page away, whatever the page holds
    struct Case {
        const char* what;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        int from;
        int to;
        Rows flags;  // kPaged stands for the row moved to
        THomeEndAction homeEnd = heFirstLastColumn;
    };
    const auto shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier, none = Qt::NoModifier;
    const Case cases[] = {
        {"End", Qt::Key_End, none, 5, 39, {39}},
        {"Home", Qt::Key_Home, none, 5, 1, {1}},
        {"Page Down", Qt::Key_PageDown, none, 5, kPaged, {kPaged}},
        {"Ctrl+End", Qt::Key_End, ctrl, 5, 39, {39}},
        {"Ctrl+Home", Qt::Key_Home, ctrl, 5, 1, {1}},
        {"Ctrl+End to the last row", Qt::Key_End, ctrl, 5, 39, {39}, heFirstLastRow},
        {"Ctrl+Page Down", Qt::Key_PageDown, ctrl, 5, kPaged, {kPaged}},
        {"Shift+Home", Qt::Key_Home, shift, 5, 1, {1, 2, 3, 4, 5}},
        {"Shift+Down", Qt::Key_Down, shift, 5, 6, {5, 6}},
        {"End to the first and last row", Qt::Key_End, none, 5, 39, {39}, heFirstLastRow},
        {"Ctrl+Down", Qt::Key_Down, ctrl, 5, 6, {6}},
        {"Ctrl+Up", Qt::Key_Up, ctrl, 5, 4, {4}},
        {"Up on the first row", Qt::Key_Up, none, 1, 1, {1, 9}},
        {"End on the last row", Qt::Key_End, none, 39, 39, {9, 39}},
        {"Right along the row", Qt::Key_Right, none, 5, 5, {5, 9}},
    };
    for (const Case& c : cases) {
        InputGrid t(40);
        t.g.Navigation->HomeEndKey = c.homeEnd;
        t.g.SetRow(c.from);
        t.g.ClearRowSelect();
        for (int r : {c.from, 9})
            t.g.SetRowSelect(r, true);
        t.key(c.key, c.mods);
        const int at = t.g.Row();
        if (c.to == kPaged) {
            EXPECT_GT(at, c.from + 3) << c.what;
        } else {
            EXPECT_EQ(at, c.to) << c.what;
        }
        Rows flags = c.flags;
        std::replace(flags.begin(), flags.end(), kPaged, at);
        std::sort(flags.begin(), flags.end());
        EXPECT_EQ(t.selectedRows(), flags) << c.what;
    }
}

TEST(GridKeys, InsertAndDeleteRows)
{
    InputGrid t(5);
    t.g.Navigation->AllowInsertRow = true;
    t.g.Navigation->AllowDeleteRow = true;
    t.g.Navigation->InsertPosition = pInsertAfter;
    std::vector<int> inserted, deleted;
    t.g.OnAutoInsertRow = [&](G*, int row) { inserted.push_back(row); };
    t.g.OnAutoDeleteRow = [&](G*, int row) { deleted.push_back(row); };

    t.g.SetRow(3);
    t.key(Qt::Key_Insert);
    EXPECT_EQ(t.g.RowCount(), 6);
    EXPECT_EQ(t.g.Row(), 4);
    EXPECT_EQ(t.g.Cells(1, 4), "");
    EXPECT_EQ(t.g.Cells(1, 5), "r4c1");
    EXPECT_EQ(inserted, std::vector<int>{4});

    t.g.OnCanDeleteRow = [](G*, int row, bool& can) { can = row != 2; };
    t.g.SetRow(2);
    t.key(Qt::Key_Delete);  // refused
    EXPECT_EQ(t.g.RowCount(), 6);
    t.g.SetRow(1);
    t.key(Qt::Key_Delete);
    EXPECT_EQ(t.g.RowCount(), 5);
    EXPECT_EQ(t.g.Cells(1, 1), "r2c1");
    EXPECT_EQ(deleted, std::vector<int>{1});

    // The only data row is emptied, not removed.
    InputGrid one(2);
    one.g.Navigation->AllowDeleteRow = true;
    one.key(Qt::Key_Delete);
    EXPECT_EQ(one.g.RowCount(), 2);
    EXPECT_EQ(one.g.Cells(1, 1), "");
    EXPECT_EQ(one.g.Cells(1, 0), "H1");
}

TEST(GridKeys, FindMatchesByModeAndStartsOverAfterTheLastMatch)
{
    InputGrid t(5, 3);
    t.g.SetCells(1, 1, "abc");
    t.g.SetCells(2, 1, "cab");
    t.g.SetCells(1, 2, "AB");
    t.g.SetCells(2, 3, "xaby");
    t.g.SetCells(0, 4, "ab");

    // Column by column by default; a match anywhere in the text, any case.
    EXPECT_EQ(t.g.FindFirst("ab", 0), QPoint(0, 4));
    EXPECT_EQ(t.g.FindNext(), QPoint(1, 1));
    EXPECT_EQ(t.g.FindNext(), QPoint(1, 2));
    EXPECT_EQ(t.g.FindNext(), QPoint(2, 1));
    EXPECT_EQ(t.g.FindNext(), QPoint(2, 3));
    EXPECT_EQ(t.g.FindNext(), QPoint(-1, -1));
    EXPECT_FALSE(t.g.FindBusy());
    EXPECT_EQ(t.g.FindNext(), QPoint(0, 4));  // begins again

    EXPECT_EQ(t.g.FindFirst("ab", G::fnDirectionLeftRight), QPoint(1, 1));
    EXPECT_EQ(t.g.FindNext(), QPoint(2, 1));

    std::vector<QPoint> found;
    for (QPoint p = t.g.FindFirst("ab", G::fnMatchStart | G::fnDirectionLeftRight); p.x() >= 0; p = t.g.FindNext())
        found.push_back(p);
    EXPECT_EQ(found, (std::vector<QPoint>{{1, 1}, {1, 2}, {0, 4}}));  // not cab, not xaby

    found.clear();
    for (QPoint p = t.g.FindFirst("ab", G::fnMatchFull | G::fnMatchCase); p.x() >= 0; p = t.g.FindNext())
        found.push_back(p);
    EXPECT_EQ(found, (std::vector<QPoint>{{0, 4}}));

    // Backwards from the bottom-right data cell.
    EXPECT_EQ(t.g.FindFirst("ab", G::fnBackward), QPoint(2, 3));
    EXPECT_EQ(t.g.FindNext(), QPoint(2, 1));

    // Wildcards, the current row only, the fixed cells, and going there.
    EXPECT_EQ(t.g.FindFirst("x*y", G::fnMatchRegular), QPoint(2, 3));
    t.g.SetRow(1);
    EXPECT_EQ(t.g.FindFirst("ab", G::fnFindInCurrentRow | G::fnDirectionLeftRight), QPoint(1, 1));
    EXPECT_EQ(t.g.FindNext(), QPoint(2, 1));
    EXPECT_EQ(t.g.FindNext(), QPoint(-1, -1));
    EXPECT_EQ(t.g.FindFirst("h2", 0), QPoint(-1, -1));
    EXPECT_EQ(t.g.FindFirst("h2", G::fnIncludeFixed | G::fnAutoGoto), QPoint(2, 0));
    EXPECT_EQ(t.g.FindFirst("xaby", G::fnAutoGoto), QPoint(2, 3));
    EXPECT_EQ(t.g.Row(), 3);
}

TEST(GridKeys, SearchComparesWithTheUpperCasedCell)
{
    InputGrid t(5, 3);
    t.g.SetCells(2, 2, "smith");
    t.g.SetCells(2, 3, "Smythe");
    t.g.SortSettings->Column = 2;
    EXPECT_EQ(t.g.Search("SM"), 2);
    EXPECT_EQ(t.g.Search("SMY"), 3);
    EXPECT_EQ(t.g.Search("sm"), -1);  // callers upper-case what was typed
}

TEST(GridKeys, RefusedValueInTheEditorRestoresTheOldText)
{
    InputGrid t(4);
    t.g.SetOptions((t.g.Options() & ~platform::goRowSelect) | platform::goEditing);
    t.g.SetCells(1, 1, "old");
    std::vector<std::string> seen;
    t.g.OnCellValidate = [&](G*, int col, int row, std::string& value, bool& valid) {
        seen.push_back(std::to_string(col) + "," + std::to_string(row) + ":" + value);
        valid = value != "bad";
    };
    t.click(t.center(1, 1));
    t.key(Qt::Key_F2);
    ASSERT_TRUE(t.g.EditorMode());
    platform::InplaceEdit* editor = t.g.InplaceEditor();
    editor->selectAll();
    QTest::keyClicks(editor, "bad");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(seen, std::vector<std::string>{"1,1:bad"});
    EXPECT_EQ(t.g.Cells(1, 1), "old");
    // The editor is open again on the cell, with the old text.
    ASSERT_TRUE(t.g.EditorMode());
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->text(), "old");
    EXPECT_EQ(t.g.Row(), 1);

    editor->selectAll();
    QTest::keyClicks(editor, "good");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(t.g.Cells(1, 1), "good");
    EXPECT_FALSE(t.g.EditorMode());

    // Leaving with an arrow key validates too; a refusal brings the cell back.
    t.key(Qt::Key_F2);
    ASSERT_TRUE(t.g.EditorMode());
    editor->selectAll();
    QTest::keyClicks(editor, "bad");
    QTest::keyClick(editor, Qt::Key_Down);
    QApplication::processEvents();
    EXPECT_EQ(t.g.Cells(1, 1), "good");
    EXPECT_EQ(t.g.Row(), 1);
    EXPECT_TRUE(t.g.EditorMode());
}

TEST(GridKeys, MarkupIsLeftOutOfFindsAndEditsWhenAsked)
{
    InputGrid t(4, 3);
    t.g.SetCells(1, 2, "<B>bold</B> face");
    EXPECT_EQ(t.g.FindFirst("bold face", 0), QPoint(-1, -1));
    EXPECT_EQ(t.g.FindFirst("bold face", G::fnIgnoreHTMLTags), QPoint(1, 2));
    EXPECT_EQ(t.g.GetStrippedCell(1, 2), "bold face");

    // The editor starts from the text without its tags, unless EditWithTags.
    t.g.SetOptions((t.g.Options() & ~platform::goRowSelect) | platform::goEditing);
    t.g.SetCol(1);
    t.g.SetRow(2);
    t.key(Qt::Key_F2);
    ASSERT_TRUE(t.g.EditorMode());
    EXPECT_EQ(t.g.InplaceEditor()->text(), "bold face");
    t.key(Qt::Key_Escape);
    QTest::keyClick(t.g.InplaceEditor(), Qt::Key_Escape);
    t.g.EditWithTags = true;
    t.g.SetRow(1);
    t.g.SetRow(2);
    t.key(Qt::Key_F2);
    ASSERT_TRUE(t.g.EditorMode());
    EXPECT_EQ(t.g.InplaceEditor()->text(), "<B>bold</B> face");
    // A plain text with a "<" keeps it.
    QTest::keyClick(t.g.InplaceEditor(), Qt::Key_Escape);
    t.g.EditWithTags = false;
    t.g.SetCells(1, 3, "a < b");
    t.g.SetRow(3);
    t.key(Qt::Key_F2);
    EXPECT_EQ(t.g.InplaceEditor()->text(), "a < b");
}

TEST(GridKeys, HiddenRowsAndColumnsKeepTheirCellsAndWidths)
{
    InputGrid t(6, 4);
    t.g.SetColWidths(2, 50);
    t.g.HideColumn(1);
    t.g.HideRow(2);
    EXPECT_EQ(t.g.GetCellsEx(1, 3), "r3c1");  // a hidden column's cell
    EXPECT_EQ(t.g.GetCellsEx(2, 2), "r2c2");  // a hidden row's saved cell
    ASSERT_NE(t.g.HiddenRow(2), nullptr);
    EXPECT_EQ(t.g.HiddenRow(3), nullptr);
    t.g.SetCellsEx(2, 2, "kept");
    t.g.SetCellsEx(2, 4, "shown");
    EXPECT_EQ(t.g.Cells(2, 3), "shown");  // row 4 is displayed as row 3
    EXPECT_EQ(t.g.GetAllColWidths(1), 64);
    EXPECT_EQ(t.g.GetAllColWidths(2), 50);
    t.g.SetAllColWidths(1, 90);
    t.g.SetAllColWidths(2, 70);
    EXPECT_EQ(t.g.ColWidths(1), 70);  // column 2 is displayed as column 1
    t.g.UnHideColumn(1);
    t.g.UnHideRow(2);
    EXPECT_EQ(t.g.Cells(2, 2), "kept");
    EXPECT_EQ(t.g.ColWidths(1), 90);
}

TEST(GridKeys, AlwaysEditKeepsTheEditorOpenWhileMoving)
{
    InputGrid t(6, 3);
    t.g.SetOptions((t.g.Options() & ~platform::goRowSelect) | platform::goEditing);
    t.g.Navigation->AlwaysEdit = true;
    t.g.SetCol(1);
    t.g.SetRow(2);
    t.key(Qt::Key_Down);
    EXPECT_EQ(t.g.Row(), 3);
    ASSERT_TRUE(t.g.EditorMode());
    EXPECT_EQ(t.g.InplaceEditor()->text(), "r3c1");
    // The press ends the edit in the editor; the release reaches the grid, which has the focus then.
    QTest::keyPress(t.g.InplaceEditor(), Qt::Key_Down);
    QTest::keyRelease(&t.g, Qt::Key_Down);
    EXPECT_EQ(t.g.Row(), 4);
    EXPECT_TRUE(t.g.EditorMode());
    EXPECT_EQ(t.g.InplaceEditor()->text(), "r4c1");

    t.g.Navigation->AlwaysEdit = false;
    QTest::keyPress(t.g.InplaceEditor(), Qt::Key_Down);
    QTest::keyRelease(&t.g, Qt::Key_Down);
    EXPECT_EQ(t.g.Row(), 5);
    EXPECT_FALSE(t.g.EditorMode());
}
