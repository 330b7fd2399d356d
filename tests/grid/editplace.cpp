// Which control edits a special cell, where it stands, what it opens with and
// what it writes back: nothing unless the user changed the value.
#include "editgrid.h"

#include <QAbstractItemView>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

using namespace grid;

namespace {

class EditPlaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        e.g.OnGetCellColor = [](RIvuZuvuzoZuvu*, int ARow, int ACol, platform::GridDrawState, platform::Brush& B,
                                platform::Font&) {
            if (ARow > 0 && ACol > 0)
                B.SetColor(platform::clYellow);
        };
    }
    QWidget* shownControl()
    {
        QWidget* controls[] = {e.g.Spin(), e.g.Combo(), e.g.EditBtn(), e.g.UnitEditBtn(), e.g.CheckBox(),
                               e.g.DatePicker(), e.g.Button()};
        QWidget* shown = nullptr;
        for (QWidget* c : controls)
            if (c->isVisible()) {
                EXPECT_EQ(shown, nullptr) << "two controls shown";
                shown = c;
            }
        return shown;
    }
    // Ends the edit by clicking another cell.
    void leave() { e.click(4, 5); }
    EditGrid e;
};

}  // namespace

TEST_F(EditPlaceTest, EachKindShowsItsControlOverTheCell)
{
    struct Case {
        TEditorType Type;
        QWidget* Control;
        bool WholeCell;  // the button covers the cell with its line
    } cases[] = {{edSpinEdit, e.g.Spin(), false},     {edFloatSpinEdit, e.g.Spin(), false},
                 {edComboEdit, e.g.Combo(), false},   {edComboList, e.g.Combo(), false},
                 {edEditBtn, e.g.EditBtn(), false},   {edUnitEditBtn, e.g.UnitEditBtn(), false},
                 {edCheckBox, e.g.CheckBox(), false}, {edTimeEdit, e.g.DatePicker(), false},
                 {edButton, e.g.Button(), true}};
    e.g.AddComboString("one");
    for (const Case& c : cases) {
        e.types[{2, 2}] = c.Type;
        e.g.SetCells(2, 2, "1");
        e.edit(2, 2);
        ASSERT_EQ(shownControl(), c.Control) << int(c.Type);
        EXPECT_TRUE(e.g.EditActive());
        EXPECT_FALSE(e.g.EditorMode());  // the text editor stays hidden
        const platform::Rect r = e.g.CellRect(2, 2);
        const QRect expected = c.WholeCell ? QRect(r.Left - 1, r.Top - 1, r.Width() + 1, r.Height() + 1)
                                           : QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1);
        EXPECT_EQ(c.Control->geometry(), expected) << int(c.Type);
        EXPECT_EQ(c.Control->palette().color(QPalette::Base), QColor(255, 255, 0)) << int(c.Type);
        leave();
        EXPECT_FALSE(c.Control->isVisible()) << int(c.Type);
        EXPECT_FALSE(e.g.EditActive());
        EXPECT_EQ(e.g.Cells(2, 2), "1") << int(c.Type);
    }
}

TEST_F(EditPlaceTest, DataCheckBoxGetsNoEditorAndTheNextCellChoosesAfresh)
{
    e.types[{1, 1}] = edDataCheckBox;
    e.types[{2, 1}] = edSpinEdit;
    e.g.SetCells(2, 1, "12");
    e.edit(1, 1, "x");
    EXPECT_EQ(shownControl(), nullptr);
    EXPECT_FALSE(e.g.EditorMode());
    EXPECT_FALSE(e.g.EditActive());
    e.edit(2, 1);
    EXPECT_EQ(shownControl(), e.g.Spin());
    EXPECT_FALSE(e.g.EditorMode());
    EXPECT_EQ(e.g.Spin()->text(), "12");
}

TEST_F(EditPlaceTest, StartCharacterAndSpinReadings)
{
    e.types[{1, 1}] = edSpinEdit;
    e.g.SetCells(1, 1, "12");
    e.edit(1, 1, "7");
    EXPECT_EQ(e.g.Spin()->text(), "7");
    leave();
    EXPECT_EQ(e.g.Cells(1, 1), "7");

    // A cell that is no number opens at the spin's own reading and stays as it was.
    e.types[{1, 2}] = edSpinEdit;
    e.g.SetCells(1, 2, "abc");
    e.edit(1, 2);
    EXPECT_EQ(e.g.Spin()->text(), "0");
    leave();
    EXPECT_EQ(e.g.Cells(1, 2), "abc");
}

TEST_F(EditPlaceTest, ComboListOpensOnAnItem)
{
    e.g.ClearComboString();
    for (const char* item : {"red", "green", "blue"})
        e.g.AddComboString(item);
    e.types[{1, 1}] = edComboList;
    e.g.SetCells(1, 1, "zzz");
    e.edit(1, 1);
    EXPECT_EQ(e.g.Combo()->currentIndex(), 0);
    leave();
    EXPECT_EQ(e.g.Cells(1, 1), "zzz");
    e.g.SetComboSelection(2);
    e.edit(1, 1);
    EXPECT_EQ(e.g.Combo()->currentText(), "blue");
    leave();
    EXPECT_EQ(e.g.Cells(1, 1), "zzz");
    e.g.SetCells(1, 1, "green");
    e.edit(1, 1);
    EXPECT_EQ(e.g.Combo()->currentIndex(), 1);
    e.g.Combo()->setCurrentIndex(0);
    leave();
    EXPECT_EQ(e.g.Cells(1, 1), "red");
}

TEST_F(EditPlaceTest, UnitEditSplitsNumberAndUnit)
{
    e.types[{1, 1}] = edUnitEditBtn;
    e.g.UnitEditBtn()->SetUnits({"mm", "cm"});
    e.g.SetCells(1, 1, "1a2");
    e.edit(1, 1);
    EXPECT_EQ(e.g.UnitEditBtn()->text(), "12");
    EXPECT_EQ(e.g.UnitEditBtn()->UnitID(), "a");
    leave();
    EXPECT_EQ(e.g.Cells(1, 1), "1a2");

    e.g.SetCells(1, 1, "-3,5mm");
    e.edit(1, 1);
    EXPECT_EQ(e.g.UnitEditBtn()->text(), "-3,5");
    EXPECT_EQ(e.g.UnitEditBtn()->UnitID(), "mm");
    QTimer::singleShot(50, [] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menu->actions().at(1)->trigger();
            menu->close();
        }
    });
    QTest::mousePress(e.g.UnitEditBtn()->ButtonPanel()->Button(), Qt::LeftButton);
    EXPECT_EQ(e.g.UnitEditBtn()->UnitID(), "cm");
    leave();
    EXPECT_EQ(e.g.Cells(1, 1), "-3,5cm");
}

TEST_F(EditPlaceTest, DatesTimesAndFloatsWriteBackOnlyChanges)
{
    e.types[{1, 1}] = edDateEdit;
    e.types[{2, 1}] = edTimeEdit;
    e.types[{3, 1}] = edFloatSpinEdit;
    e.g.SetCells(1, 1, "n/a");
    e.edit(1, 1);
    EXPECT_EQ(e.g.DatePicker()->date(), QDate::currentDate());
    leave();
    EXPECT_EQ(e.g.Cells(1, 1), "n/a");
    e.edit(1, 1);
    e.g.DatePicker()->setDate(QDate(2024, 2, 29));
    leave();
    EXPECT_EQ(e.g.Cells(1, 1), "29/02/2024");

    e.g.SetCells(2, 1, "08:15:00");
    e.edit(2, 1);
    EXPECT_EQ(e.g.DatePicker()->time(), QTime(8, 15));
    e.g.DatePicker()->setTime(QTime(17, 5, 9));
    leave();
    EXPECT_EQ(e.g.Cells(2, 1), "17:05:09");

    e.g.SetCells(3, 1, "abc");
    e.edit(3, 1);
    leave();
    EXPECT_EQ(e.g.Cells(3, 1), "abc");
}

TEST_F(EditPlaceTest, ScrollingHidesTheEditor)
{
    e.g.SetRowCountEx(60);
    e.types[{1, 1}] = edEditBtn;
    e.g.SetCells(1, 1, "x");
    e.edit(1, 1);
    ASSERT_TRUE(e.g.EditBtn()->isVisible());
    e.g.SetTopRow(10);
    EXPECT_FALSE(e.g.EditBtn()->isVisible());
    EXPECT_FALSE(e.g.EditActive());
    EXPECT_EQ(e.g.Cells(1, 1), "x");
}
