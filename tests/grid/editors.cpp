// The special editors as the user drives them over a grid: their keys hand
// the edit back to the grid, Enter writes and validates, the spin's page keys
// and buttons report their steps, the check box cycles three states, the
// button and the edit with button run OnEllipsClick, the combo's list is
// sized to its items, Tab reaches a control only with goTabs, and the date
// picker's calendar is part of the picker. Pictures of the open editors go to
// $QUILLET_ARTEFACTS (or the working directory) for a person to look at.
#include "editgrid.h"

#include "platform/beep.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QPainter>
#include <QTableView>

#include <gtest/gtest.h>

using namespace grid;

namespace {

class EditorsTest : public ::testing::Test {
protected:
    void key(Qt::Key K, Qt::KeyboardModifiers M = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), K, M);
        QApplication::processEvents();
    }
    QPoint cell() const { return {e.g.Col(), e.g.Row()}; }
    // The offscreen platform gives the window back no focus when a pop-up closes.
    void popupClosed()
    {
        QApplication::processEvents();
        e.g.activateWindow();
        QApplication::processEvents();
    }
    EditGrid e;
};

struct SpinClick {
    int Col, Row;
    double Value;
    bool Up;
    bool operator==(const SpinClick&) const = default;
};

}  // namespace

TEST_F(EditorsTest, ComboRightEndsAListEditButStaysInText)
{
    for (const char* item : {"alpha", "beta", "gamma"})
        e.g.AddComboString(item);
    e.types[{1, 1}] = edComboList;
    e.types[{2, 1}] = edComboEdit;
    e.edit(1, 1);
    ASSERT_TRUE(e.g.Combo()->isVisible());
    key(Qt::Key_Right);
    EXPECT_FALSE(e.g.Combo()->isVisible());
    EXPECT_EQ(cell(), QPoint(2, 1));

    // With the list open, Right closes it and moves on; Enter takes the item.
    e.g.SetCells(2, 2, "alpha");
    e.types[{2, 2}] = edComboEdit;
    for (Qt::Key k : {Qt::Key_Right, Qt::Key_Return}) {
        e.edit(2, 2);
        e.g.Combo()->showPopup();
        QAbstractItemView* list = e.g.Combo()->view();
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, k);
        popupClosed();
        EXPECT_FALSE(e.g.Combo()->isVisible()) << k;
        EXPECT_EQ(cell(), k == Qt::Key_Right ? QPoint(3, 2) : QPoint(2, 2));
        EXPECT_EQ(e.g.Cells(2, 2), k == Qt::Key_Right ? "alpha" : "beta");
    }

    e.g.SetCells(2, 1, "beta");
    e.edit(2, 1);
    ASSERT_TRUE(e.g.Combo()->isVisible());
    e.g.Combo()->lineEdit()->setCursorPosition(1);
    key(Qt::Key_Right);
    EXPECT_TRUE(e.g.Combo()->isVisible());
    EXPECT_EQ(e.g.Combo()->lineEdit()->cursorPosition(), 2);
    EXPECT_EQ(cell(), QPoint(2, 1));
}

TEST_F(EditorsTest, ComboCaretGoesUnderTheClick)
{
    e.g.MouseActions->DirectEdit = true;
    e.g.MouseActions->CaretPositioning = true;
    e.types[{2, 2}] = edComboEdit;
    e.g.SetCells(2, 2, "abcdef");
    e.click(3, 3);
    const platform::Rect r = e.g.CellRect(2, 2);
    const int x = r.Left + 3 + e.g.Combo()->fontMetrics().horizontalAdvance(QStringLiteral("abc"));
    QTest::mouseClick(e.g.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, (r.Top + r.Bottom) / 2));
    ASSERT_TRUE(e.g.Combo()->isVisible());
    QLineEdit* edit = e.g.Combo()->lineEdit();
    EXPECT_FALSE(edit->hasSelectedText());
    EXPECT_GE(edit->cursorPosition(), 2);
    EXPECT_LE(edit->cursorPosition(), 4);
}

TEST_F(EditorsTest, ComboCompletesFromItsItemsAndKeepsHistory)
{
    e.g.Lookup = true;
    e.g.LookupHistory = true;
    e.g.AddComboString("Apple");
    e.g.AddComboString("Apricot");
    e.types[{1, 1}] = edComboEdit;
    e.g.SetCells(1, 1, "");
    e.edit(1, 1);
    QLineEdit* edit = e.g.Combo()->lineEdit();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("apr"));
    EXPECT_EQ(edit->text(), QStringLiteral("apricot"));  // the typed part keeps its case
    EXPECT_EQ(edit->selectedText(), QStringLiteral("icot"));
    key(Qt::Key_Backspace);  // takes the completion away and completes nothing
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("x"));
    EXPECT_EQ(edit->text(), QStringLiteral("aprx"));
    key(Qt::Key_Return);
    EXPECT_FALSE(e.g.Combo()->isVisible());
    EXPECT_EQ(e.g.Cells(1, 1), "aprx");
    EXPECT_EQ(e.g.Combo()->findText(QStringLiteral("aprx")), 2);  // kept for next time
}

TEST_F(EditorsTest, ComboListTakesTheWidthOfItsWidestItem)
{
    e.g.Navigation->AutoComboDropSize = true;
    e.types[{1, 1}] = edComboList;
    struct Case {
        int Items, Margin;
    } cases[] = {{3, 8}, {10, 25}};  // up to DropDownCount, and with a scroll bar
    for (const Case& c : cases) {
        e.g.ClearComboString();
        int widest = 0;
        for (int i = 0; i < c.Items; ++i) {
            const std::string item = std::string(i == 1 ? 30 : 3, 'W') + std::to_string(i);
            e.g.AddComboString(item);
            widest = std::max(widest, e.g.Canvas().TextWidth(QString::fromStdString(item)));
        }
        // A combo two pixels wider than the widest item.
        e.g.SetColWidths(1, widest + 2 + (e.g.ColWidths(1) - (e.g.CellRect(1, 1).Width() - 1)));
        e.edit(1, 1);
        ASSERT_EQ(e.g.Combo()->width(), widest + 2);
        EXPECT_EQ(e.g.Combo()->DropWidth(), widest + c.Margin) << c.Items;
        e.g.Combo()->showPopup();
        EXPECT_EQ(e.g.Combo()->view()->window()->width(), widest + c.Margin);
        e.g.Combo()->hidePopup();
        popupClosed();
        key(Qt::Key_Escape);
        ASSERT_FALSE(e.g.EditActive());
    }
}

TEST_F(EditorsTest, SpinPageKeysAndButtonsReport)
{
    std::vector<SpinClick> clicks;
    e.g.OnSpinClick = [&](RIvuZuvuzoZuvu*, int c, int r, int v, bool up) { clicks.push_back({c, r, double(v), up}); };
    e.g.OnFloatSpinClick = [&](RIvuZuvuzoZuvu*, int c, int r, double v, bool up) { clicks.push_back({c, r, v, up}); };
    e.types[{2, 3}] = edSpinEdit;
    e.g.SetCells(2, 3, "99");
    e.edit(2, 3);
    ASSERT_TRUE(e.g.Spin()->isVisible());
    ASSERT_EQ(e.g.Spin()->MaxValue, 100);
    struct Case {
        Qt::Key Key;
        const char* Text;
        bool Up;
    } cases[] = {{Qt::Key_PageUp, "100", true},
                 {Qt::Key_PageUp, "100", true},
                 {Qt::Key_End, "0", false},
                 {Qt::Key_Home, "100", true},
                 {Qt::Key_PageDown, "99", false}};
    for (const Case& c : cases) {
        clicks.clear();
        key(c.Key);
        EXPECT_EQ(e.g.Spin()->text().toStdString(), c.Text);
        EXPECT_EQ(clicks, (std::vector<SpinClick>{{2, 3, std::stod(c.Text), c.Up}}));
    }
    key(Qt::Key_Escape);
    EXPECT_EQ(e.g.Cells(2, 3), "99");

    e.types[{1, 1}] = edFloatSpinEdit;
    e.g.SetCells(1, 1, "1.5");
    e.edit(1, 1);
    e.g.Spin()->IncrementFloat = 0.25;
    clicks.clear();
    QWidget* up = e.g.Spin()->Button()->UpButton();
    QTest::mouseClick(up, Qt::LeftButton, Qt::NoModifier, up->rect().center());
    EXPECT_EQ(clicks, (std::vector<SpinClick>{{1, 1, 1.75, true}}));
    EXPECT_EQ(e.g.Spin()->text(), QStringLiteral("1.75"));
}

TEST_F(EditorsTest, RefusedValueKeepsTheEditOpenWithTheCellText)
{
    bool accept = false;
    e.g.OnCellValidate = [&](RIvuZuvuzoZuvu*, int, int, std::string&, bool& Valid) { Valid = accept; };
    e.types[{1, 1}] = edSpinEdit;
    e.types[{2, 1}] = edEditBtn;
    e.g.SetCells(1, 1, "5");
    e.edit(1, 1);
    key(Qt::Key_Up);
    ASSERT_EQ(e.g.Spin()->text(), QStringLiteral("6"));
    key(Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(e.g.Spin()->isVisible());
    EXPECT_FALSE(e.g.EditorMode());  // the text editor does not open over it
    EXPECT_EQ(e.g.Spin()->text(), QStringLiteral("5"));
    EXPECT_EQ(e.g.Spin()->cursorPosition(), 1);
    EXPECT_EQ(e.g.Cells(1, 1), "5");

    // Accepted: the value stays and the edit moves on.
    accept = true;
    key(Qt::Key_Up);
    key(Qt::Key_Down);  // a spin's Down steps, it does not leave
    key(Qt::Key_Up);
    key(Qt::Key_Return);
    EXPECT_FALSE(e.g.Spin()->isVisible());
    EXPECT_EQ(e.g.Cells(1, 1), "6");

    // Down in an edit with button writes, validates and moves on.
    e.g.SetCells(2, 1, "x");
    e.edit(2, 1);
    QTest::keyClicks(e.g.EditBtn(), QStringLiteral("yz"));
    key(Qt::Key_Down);
    EXPECT_EQ(e.g.Cells(2, 1), "yz");
    EXPECT_EQ(cell(), QPoint(2, 2));

    // The unit goes into the cell with the number.
    e.types[{3, 1}] = edUnitEditBtn;
    e.g.SetCells(3, 1, "12.5 kg");
    e.edit(3, 1);
    QTest::keyClicks(e.g.UnitEditBtn(), QStringLiteral("7"));
    key(Qt::Key_Return);
    EXPECT_EQ(e.g.Cells(3, 1), "7 kg");
}

TEST_F(EditorsTest, CheckBoxCyclesThreeStates)
{
    e.types[{1, 1}] = edCheckBox;
    e.edit(1, 1);
    TGridCheckBox* box = e.g.CheckBox();
    ASSERT_TRUE(box->isVisible());
    for (Qt::CheckState expected : {Qt::Checked, Qt::PartiallyChecked, Qt::Unchecked}) {
        key(Qt::Key_Space);
        EXPECT_EQ(box->checkState(), expected);
    }
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(5, box->height() / 2));
    EXPECT_EQ(box->checkState(), Qt::Checked);  // one step per click
    key(Qt::Key_Down);
    EXPECT_FALSE(box->isVisible());
    EXPECT_EQ(cell(), QPoint(1, 2));
}

TEST_F(EditorsTest, ButtonAndEditButtonRunOnEllipsClick)
{
    e.g.OnEllipsClick = [](RIvuZuvuzoZuvu*, int, int, std::string& S) { S = S.empty() ? "42" : S + "!"; };
    e.types[{1, 1}] = edButton;
    e.g.SetCells(1, 1, "Go");
    e.edit(1, 1);
    ASSERT_TRUE(e.g.Button()->isVisible());
    key(Qt::Key_Space);
    EXPECT_EQ(e.g.Button()->text(), QStringLiteral("Go!"));
    EXPECT_TRUE(e.g.Button()->hasFocus());
    key(Qt::Key_Right);  // an arrow hands the key to the grid
    EXPECT_FALSE(e.g.Button()->isVisible());
    EXPECT_EQ(cell(), QPoint(2, 1));

    e.types[{2, 2}] = edNumericEditBtn;
    e.g.SetCells(2, 2, "");
    e.edit(2, 2);
    TGridEditBtn* edit = e.g.EditBtn();
    const int beeps = platform::BeepCount();
    QTest::keyClicks(edit, QStringLiteral("7a"));
    EXPECT_EQ(edit->text(), QStringLiteral("7"));
    EXPECT_EQ(platform::BeepCount(), beeps + 1);
    key(Qt::Key_Return, Qt::ControlModifier);  // with Ctrl every key is the edit's
    EXPECT_TRUE(edit->isVisible());
    edit->clear();
    QWidget* button = edit->ButtonPanel()->Button();
    QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
    QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
    EXPECT_EQ(edit->text(), QStringLiteral("42"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("42"));
    EXPECT_TRUE(edit->isVisible());
    key(Qt::Key_Escape);

    // A float edit takes one decimal mark silently and a late "-" with a beep.
    e.types[{3, 3}] = edFloatEditBtn;
    e.g.SetCells(3, 3, "");
    e.edit(3, 3);
    const int before = platform::BeepCount();
    QTest::keyClicks(edit, QStringLiteral("1.5,-"));
    EXPECT_EQ(edit->text(), QStringLiteral("1.5"));
    EXPECT_EQ(platform::BeepCount(), before + 1);
}

TEST_F(EditorsTest, TabReachesTheControlOnlyWithGoTabs)
{
    QLineEdit other(&e.g);  // somewhere for the focus to go
    other.setGeometry(0, 0, 1, 1);
    other.show();
    e.types[{1, 1}] = edSpinEdit;
    e.types[{1, 2}] = edCheckBox;  // a check box never takes Tab
    for (bool tabs : {true, false}) {
        e.g.SetOptions(tabs ? e.g.Options() | platform::goTabs : e.g.Options() & ~platform::goTabs);
        for (int row : {1, 2}) {
            e.edit(1, row);
            QWidget* control = row == 1 ? static_cast<QWidget*>(e.g.Spin()) : e.g.CheckBox();
            ASSERT_TRUE(control->hasFocus());
            key(Qt::Key_Tab);
            EXPECT_FALSE(control->isVisible()) << tabs << row;
            EXPECT_FALSE(e.g.EditActive());
            EXPECT_EQ(cell(), tabs && row == 1 ? QPoint(2, 1) : QPoint(1, row)) << tabs << row;
        }
    }
}

TEST_F(EditorsTest, DatePickerCalendarBelongsToTheEdit)
{
    e.types[{1, 1}] = edDateEdit;
    e.g.SetCells(1, 1, "15/03/2024");
    e.edit(1, 1);
    TGridDatePicker* picker = e.g.DatePicker();
    ASSERT_TRUE(picker->isVisible());
    EXPECT_EQ(picker->date(), QDate(2024, 3, 15));
    QTest::mouseClick(picker, Qt::LeftButton, Qt::NoModifier, QPoint(picker->width() - 4, picker->height() / 2));
    ASSERT_TRUE(picker->DroppedDown());
    auto* days = picker->calendarWidget()->findChild<QTableView*>();
    const QRect lastWeek = days->visualRect(days->model()->index(days->model()->rowCount() - 1, 3));
    QTest::mouseClick(days->viewport(), Qt::LeftButton, Qt::NoModifier, lastWeek.center());
    popupClosed();
    EXPECT_FALSE(picker->DroppedDown());
    EXPECT_TRUE(picker->isVisible());
    EXPECT_TRUE(e.g.EditActive());
    EXPECT_NE(picker->date(), QDate(2024, 3, 15));
    key(Qt::Key_Return);
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(e.g.Cells(1, 1), picker->date().toString(QStringLiteral("dd/MM/yyyy")).toStdString());

    // Escape on a cell that holds no date: no message, the picker keeps its
    // value and the cell keeps its text.
    e.g.SetCells(1, 1, "soon");
    e.edit(1, 1);
    key(Qt::Key_Up);
    const QDate stepped = picker->date();
    key(Qt::Key_Escape);
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(picker->date(), stepped);
    EXPECT_EQ(e.g.Cells(1, 1), "soon");
}

TEST_F(EditorsTest, PicturesOfOpenEditors)
{
    e.g.OnGetCellColor = [](RIvuZuvuzoZuvu*, int ARow, int ACol, platform::GridDrawState, platform::Brush& B,
                            platform::Font&) {
        if (ARow > 0 && ACol > 0)
            B.SetColor(0xE0FFFF);  // a light yellow behind the editors
    };
    for (const char* item : {"Cheque", "Envelope", "Card", "E-mail"})
        e.g.AddComboString(item);
    e.g.UnitEditBtn()->SetUnits({"mm", "cm", "in"});
    struct Shot {
        TEditorType Type;
        const char* Text;
        const char* File;
    } shots[] = {{edSpinEdit, "42", "grid_editor_spin.png"},
                 {edComboList, "Card", "grid_editor_combo.png"},
                 {edDateEdit, "15/03/2024", "grid_editor_date.png"},
                 {edUnitEditBtn, "12.5mm", "grid_editor_unit.png"},
                 {edButton, "Print", "grid_editor_button.png"}};
    const QString dir = QString::fromLocal8Bit(qgetenv("QUILLET_ARTEFACTS"));
    for (const Shot& s : shots) {
        e.types[{2, 2}] = s.Type;
        e.g.SetCells(2, 2, s.Text);
        e.edit(2, 2);
        if (s.Type == edComboList)
            e.g.Combo()->showPopup();
        QApplication::processEvents();
        QImage shot = e.g.grab().toImage();
        QPainter p(&shot);
        if (s.Type == edComboList) {  // the dropped list is a window of its own
            QWidget* list = e.g.Combo()->view()->window();
            p.drawImage(e.g.mapFromGlobal(list->mapToGlobal(QPoint(0, 0))), list->grab().toImage());
            e.g.Combo()->hidePopup();
            popupClosed();
        }
        p.end();
        EXPECT_TRUE(shot.save((dir.isEmpty() ? QStringLiteral(".") : dir) + "/" + s.File)) << s.File;
        key(Qt::Key_Escape);
        EXPECT_EQ(e.g.Cells(2, 2), s.Text) << s.File;
    }
}
