// Advancing the edit to the next editable cell: both directions, spans,
// wrapping, adding a row at the end, and a grid without an editable cell.
#include "editgrid.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace grid;

namespace {

class AdvanceTest : public ::testing::Test {
protected:
    void SetUp() override { e.g.Navigation->AdvanceOnEnter = true; }
    QPoint advance(int c, int r, bool forward = true)
    {
        e.g.SetCol(c);
        e.g.SetRow(r);
        e.g.AdvanceEdit(c, r, forward, false, false);
        return {e.g.Col(), e.g.Row()};
    }
    EditGrid e;  // data columns 1..4, data rows 1..5
};

}  // namespace

TEST_F(AdvanceTest, LeftToRight)
{
    e.g.MergeCells(2, 1, 2, 1);
    EXPECT_EQ(advance(1, 1), QPoint(2, 1));
    EXPECT_EQ(advance(2, 1), QPoint(4, 1));  // over the span
    EXPECT_EQ(advance(4, 1), QPoint(1, 2));
    EXPECT_EQ(advance(4, 5), QPoint(1, 1));
    EXPECT_EQ(advance(1, 2, false), QPoint(4, 1));
    EXPECT_EQ(advance(1, 1, false), QPoint(4, 5));

    e.g.Navigation->AdvanceOnEnter = false;
    e.g.SetCol(1);
    e.g.SetRow(1);
    e.g.AdvanceEdit(1, 1, true, false, false);
    EXPECT_EQ(e.g.Col(), 1);  // only on request
    e.g.AdvanceEdit(1, 1, true, false, true);
    EXPECT_EQ(e.g.Col(), 2);
}

TEST_F(AdvanceTest, TopToBottom)
{
    e.g.Navigation->AdvanceDirection = adTopBottom;
    e.g.MergeCells(2, 1, 1, 2);
    EXPECT_EQ(advance(2, 1), QPoint(2, 2));  // row spans are not skipped
    EXPECT_EQ(advance(1, 5), QPoint(2, 1));
    EXPECT_EQ(advance(4, 5), QPoint(1, 1));
    EXPECT_EQ(advance(3, 1, false), QPoint(2, 5));
    EXPECT_EQ(advance(1, 1, false), QPoint(4, 5));
}

TEST_F(AdvanceTest, AddsARowAtTheEndWhenAllowed)
{
    e.g.Navigation->AdvanceInsert = true;
    bool allow = false;
    int added = -1;
    e.g.OnCanAddRow = [&](RIvuZuvuzoZuvu*, bool& CanAdd) { CanAdd = allow; };
    e.g.OnAutoAddRow = [&](RIvuZuvuzoZuvu*, int ARow) { added = ARow; };
    EXPECT_EQ(advance(4, 5), QPoint(4, 5));
    EXPECT_EQ(e.g.RowCount(), 6);
    EXPECT_EQ(added, -1);
    allow = true;
    EXPECT_EQ(advance(4, 5), QPoint(1, 6));
    EXPECT_EQ(e.g.RowCount(), 7);
    EXPECT_EQ(added, 6);
}

TEST_F(AdvanceTest, SkipsReadOnlyCellsAndStopsWithoutAny)
{
    bool none = false;
    e.g.OnCanEditCell = [&](RIvuZuvuzoZuvu*, int, int ACol, bool& CanEdit) { CanEdit = !none && ACol != 2; };
    EXPECT_EQ(advance(1, 1), QPoint(3, 1));
    none = true;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(advance(3, 2), QPoint(3, 2));
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST_F(AdvanceTest, EnterInASpinEditorWritesAndAdvances)
{
    e.types[{1, 1}] = edSpinEdit;
    e.g.SetCells(1, 1, "5");
    e.edit(1, 1);
    ASSERT_TRUE(e.g.Spin()->isVisible());
    QTest::keyClick(e.g.Spin(), Qt::Key_Up);
    QTest::keyClick(e.g.Spin(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(e.g.Col(), 2);
    EXPECT_FALSE(e.g.Spin()->isVisible());
    EXPECT_EQ(e.g.Cells(1, 1), "6");

    // Escape puts back the text the cell had when the edit began.
    e.g.SetCells(2, 1, "old");
    e.edit(2, 1, "new");
    ASSERT_TRUE(e.g.EditorMode());
    QTest::keyClick(e.g.InplaceEditor(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(e.g.Cells(2, 1), "old");
}

TEST_F(AdvanceTest, DoneInplaceEditHandsTheKeyOn)
{
    struct Case {
        int key;
        QPoint to;
    } cases[] = {{platform::VK_DOWN, {1, 2}}, {platform::VK_TAB, {1, 1}}, {platform::VK_RETURN, {2, 1}},
                 {platform::VK_ESCAPE, {1, 1}}};
    for (const Case& c : cases) {
        e.types[{1, 1}] = edSpinEdit;
        e.edit(1, 1);
        ASSERT_TRUE(e.g.Spin()->isVisible());
        e.g.DoneInplaceEdit(c.key, 0);
        EXPECT_FALSE(e.g.Spin()->isVisible());
        EXPECT_TRUE(e.g.hasFocus());
        EXPECT_EQ(QPoint(e.g.Col(), e.g.Row()), c.to) << c.key;
    }
}
