// What a screen reader reads of the list grid and of the grid's own
// controls: the table (rows and columns a user sees, headers, the text each
// cell shows, selection and current cell), the events sent as the user moves,
// selects, sorts and as the list is refreshed, the roles, names and states
// of cell objects and editors, and the self-drawn controls taking the focus
// by Tab and showing it.
#include "accessible_events.h"
#include "grid/editors.h"
#include "inputfixture.h"

#include <QImage>
#include <QLineEdit>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <functional>

using namespace grid;

namespace {

// A shown contact-list-like grid: header row 0 and data rows 1..rows-1.
// Column 0 is an object-id column of width 1, column 3 has width 0, column
// 5 is hidden; so the reader reads Name, Note, Paid (check boxes, ticked in
// odd rows) and Amount.
struct ReadableGrid : InputGrid {
    explicit ReadableGrid(int rows = 9) : InputGrid(rows, 7)
    {
        const char* headers[] = {"Oid", "Name", "Note", "Secret", "Paid", "Spare", "Amount"};
        const int widths[] = {1, 80, 90, 0, 50, 60, 70};
        for (int c = 0; c < 7; ++c) {
            g.SetColWidths(c, widths[c]);
            g.SetCells(c, 0, headers[c]);
        }
        for (int r = 1; r < rows; ++r) {
            const std::string n = std::to_string(r);
            g.SetCells(0, r, std::to_string(1000 + r));
            g.SetCells(1, r, "Name " + n);
            g.SetCells(2, r, "note " + n);
            g.SetCells(4, r, "");  // a box without a text of its own
            g.AddCheckBox(4, r, r % 2 == 1, false);
            g.SetCells(6, r, std::to_string(10 * (rows - r)));
        }
        g.HideColumn(5);
        g.SetRowSelect(1, true);
    }
    QAccessibleInterface* grid() { return accessibleOf(&g); }
    QAccessibleTableInterface* table() { return grid()->tableInterface(); }
    QAccessibleInterface* cell(int row, int col) { return table()->cellAt(row, col); }
    QString name(int row, int col) { return nameOf(cell(row, col)); }
    QStringList headers()
    {
        QStringList out;
        for (int c = 0; c < table()->columnCount(); ++c)
            out << table()->columnDescription(c);
        return out;
    }
};

}  // namespace

// ---------------------------------------------------------------- the table

TEST(GridAccessible, TableReadsTheRowsAndColumnsAUserSees)
{
    ReadableGrid t;
    QAccessibleInterface* grid = t.grid();
    ASSERT_NE(t.table(), nullptr);
    EXPECT_EQ(grid->role(), QAccessible::Table);
    // Neither the 1-pixel object-id column, the 0-width one nor the hidden one is read.
    EXPECT_EQ(t.headers(), (QStringList{"Name", "Note", "Paid", "Amount"}));
    EXPECT_EQ(t.table()->rowCount(), 8);
    EXPECT_EQ(t.name(0, 0), "Name 1");
    EXPECT_EQ(t.name(7, 3), "10");  // the column behind the hidden one

    // Header cells: the header row is no data row; it heads each column.
    QAccessibleInterface* header = t.cell(2, 1)->tableCellInterface()->columnHeaderCells().value(0);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->role(), QAccessible::ColumnHeader);
    EXPECT_EQ(nameOf(header), "Note");
    EXPECT_EQ(header->tableCellInterface(), nullptr);
    // Children run row by row over the header row too, and point back.
    EXPECT_EQ(grid->childCount(), 9 * 4);
    EXPECT_EQ(nameOf(grid->child(2)), "Paid");
    EXPECT_EQ(grid->child(4 + 1), t.cell(0, 1));
    EXPECT_EQ(grid->indexOfChild(t.cell(2, 3)), 3 * 4 + 3);
    EXPECT_EQ(t.cell(2, 3)->parent(), grid);
    const QPoint at = t.g.viewport()->mapToGlobal(t.center(2, 3));
    EXPECT_EQ(grid->childAt(at.x(), at.y()), t.cell(2, 1));
    EXPECT_TRUE(t.cell(2, 1)->rect().contains(at));

    // A hidden row is not read; a column sized out of nothing is.
    t.g.HideRow(3);
    EXPECT_EQ(t.table()->rowCount(), 7);
    EXPECT_EQ(t.name(2, 0), "Name 4");
    t.g.SetColWidths(3, 40);
    EXPECT_EQ(t.headers(), (QStringList{"Name", "Note", "Secret", "Paid", "Amount"}));
}

TEST(GridAccessible, CellsReadTheTextTheyShow)
{
    struct Case {
        const char* what;
        std::string stored;
        std::function<void(RIvuZuvuzoZuvu&)> setUp;
        QString read;
    };
    const auto none = [](RIvuZuvuzoZuvu&) {};
    const Case cases[] = {
        {"HTML as drawn", "<b>Bold</b> &amp; <i>more</i>", none, "Bold & more"},
        {"HTML switched off", "<b>Bold</b>", [](RIvuZuvuzoZuvu& g) { g.EnableHTML = false; }, "<b>Bold</b>"},
        {"a line break in HTML", "one<BR>two", none, "one\ntwo"},
        {"the first line of a single-line cell", "one\r\ntwo", none, "one"},
        {"every line of a multi-line cell", "one\r\ntwo", [](RIvuZuvuzoZuvu& g) { g.Multilinecells = true; },
         "one\ntwo"},
        {"a link without the protocol the grid hides", "http://example.org/a",
         [](RIvuZuvuzoZuvu& g) { g.SetURLShow(true); }, "example.org/a"},
        {"a link in full", "http://example.org/a",
         [](RIvuZuvuzoZuvu& g) {
             g.SetURLShow(true);
             g.SetURLFull(true);
         },
         "http://example.org/a"},
        {"a password masked", "abcd",
         [](RIvuZuvuzoZuvu& g) { g.OnIsPasswordCell = [](RIvuZuvuzoZuvu*, int, int c, bool& p) { p = c == 2; }; },
         "****"},
        {"the display text", "1234.5",
         [](RIvuZuvuzoZuvu& g) {
             g.OnGetDisplText = [](TBaseGrid*, int c, int r, std::string& v) {
                 if (c == 2 && r > 0)
                     v = "1,234.50";
             };
         },
         "1,234.50"},
        {"rich text as plain text", R"({\rtf1\ansi Hello \b world\b0}})", none, "Hello world"},
    };
    for (const Case& c : cases) {
        ReadableGrid t(3);
        c.setUp(t.g);
        t.g.SetCells(2, 1, c.stored);
        EXPECT_EQ(t.name(0, 1), c.read) << c.what;
    }
}

TEST(GridAccessible, SelectionAndCurrentCellAsRead)
{
    ReadableGrid t;
    t.g.SetRowSelect(3, true);
    EXPECT_EQ(t.table()->selectedRows(), (QList<int>{0, 2}));
    EXPECT_TRUE(t.table()->isRowSelected(2));
    EXPECT_FALSE(t.table()->isRowSelected(1));
    EXPECT_EQ(t.table()->selectedCellCount(), 2 * 4);
    EXPECT_TRUE(t.cell(2, 3)->state().selected);
    EXPECT_FALSE(t.cell(1, 3)->state().selected);
    EXPECT_TRUE(t.cell(2, 3)->tableCellInterface()->isSelected());

    // The current cell is focused while the grid has the focus; its column is
    // the nearest one read when the current column (the object-id one) is not.
    ASSERT_TRUE(giveFocus(&t.g));
    t.g.SetRow(4);
    EXPECT_TRUE(t.cell(3, 0)->state().focused);
    EXPECT_EQ(t.grid()->focusChild(), t.cell(3, 0));
    EXPECT_FALSE(t.cell(3, 1)->state().focused);

    // A reader selects rows as the user does.
    EXPECT_TRUE(t.table()->selectRow(5));
    EXPECT_TRUE(t.g.GetRowSelect(6));
    EXPECT_TRUE(t.table()->unselectRow(0));
    EXPECT_FALSE(t.g.GetRowSelect(1));
    EXPECT_FALSE(t.table()->selectRow(8));
}

TEST(GridAccessible, CellsAreMadeWhenAskedKeptOrAnsweredForTheTurnAndDroppedWhenTheRowsChange)
{
    HeardEvents heard;
    ReadableGrid t(20000);
    heard.take();  // what the grid's making told the reader
    QAccessibleInterface* last = t.cell(19998, 0);
    EXPECT_EQ(nameOf(last), "Name 19999");
    EXPECT_EQ(t.cell(19998, 0), last);  // kept

    // The selected cells are answered with the kept ones where made, and
    // with cells for the turn the reader asked in elsewhere.
    t.g.SelectRows(1, 19999);
    const QList<QAccessibleInterface*> selected = t.table()->selectedCells();
    ASSERT_EQ(selected.size(), 19999 * 4);
    EXPECT_EQ(nameOf(selected.at(4 * 7 + 1)), "note 8");
    EXPECT_EQ(selected.at(4 * 19998), last);
    const QAccessible::Id asked = QAccessible::uniqueId(selected.at(4 * 9));  // a reader registers one
    QCoreApplication::processEvents();  // the turn is over
    EXPECT_EQ(QAccessible::accessibleInterface(asked), nullptr);
    EXPECT_EQ(t.cell(19998, 0), last);

    const QAccessible::Id id = QAccessible::uniqueId(last);
    t.g.SetRowCountEx(10);
    heard.take();  // the reset went out
    EXPECT_EQ(QAccessible::accessibleInterface(id), nullptr);
    EXPECT_EQ(t.table()->rowCount(), 9);
    EXPECT_EQ(t.table()->cellAt(19998, 0), nullptr);
}

// ---------------------------------------------------------------- events

TEST(GridAccessible, MovingAndSelectingTellTheReaderWhereTheUserIs)
{
    HeardEvents heard;
    ReadableGrid t;
    ASSERT_TRUE(giveFocus(&t.g));
    heard.take();

    t.key(Qt::Key_Down);
    EXPECT_EQ(heard.take(), (Strings{"Focus 1,0 Name 2", "Selection 1,0"}));
    // Shift+Down goes to the row that joins, and says it as Down does.
    t.key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(heard.take(), (Strings{"Focus 2,0 Name 3", "SelectionAdd 2,0"}));
    t.key(Qt::Key_Space);  // the current row 3 leaves the selection
    EXPECT_EQ(heard.take(), (Strings{"SelectionRemove 2,0"}));
    t.key(Qt::Key_PageDown);  // the row moved to is the row selected
    EXPECT_EQ(heard.take(), (Strings{"Focus 7,0 Name 8", "Selection 7,0"}));
    t.key(Qt::Key_Up);
    EXPECT_EQ(heard.take(), (Strings{"Focus 6,0 Name 7", "Selection 6,0"}));
    // Left and Right go along the row to the columns read, the selection kept.
    t.key(Qt::Key_Right);
    t.key(Qt::Key_Right);
    EXPECT_EQ(heard.take(), (Strings{"Focus 6,1 note 7", "Focus 6,2 Paid"}));
    t.key(Qt::Key_Right);
    t.key(Qt::Key_Right);  // past the last column read: nowhere to go
    EXPECT_EQ(heard.take(), (Strings{"Focus 6,3 20"}));
    t.key(Qt::Key_Left);
    EXPECT_EQ(heard.take(), (Strings{"Focus 6,2 Paid"}));
    EXPECT_TRUE(t.cell(6, 2)->state().focused);
    EXPECT_EQ(t.table()->selectedRows(), QList<int>{6});

    // A click tells of the cell clicked.
    t.click(t.center(2, 3), Qt::ControlModifier);
    EXPECT_EQ(heard.take(), (Strings{"Focus 2,1 note 3", "SelectionAdd 2,1"}));
    t.click(t.center(2, 3), Qt::ControlModifier);
    EXPECT_EQ(heard.take(), (Strings{"SelectionRemove 2,1"}));
    t.click(t.center(1, 5));
    EXPECT_EQ(heard.take(), (Strings{"Focus 4,0 Name 5", "Selection 4,0"}));
    // Many rows at once are told as one change.
    ReadableGrid many(40);
    heard.take();
    many.g.SelectRows(1, 39);
    EXPECT_EQ(heard.take(), (Strings{"SelectionWithin"}));
}

TEST(GridAccessible, SortingRefreshingAndWritingTellTheReaderToReadAgain)
{
    HeardEvents heard;
    ReadableGrid t;
    ASSERT_TRUE(giveFocus(&t.g));
    QAccessibleInterface* before = t.cell(0, 3);
    const QAccessible::Id id = QAccessible::uniqueId(before);
    heard.take();

    // A header click sorts: the table is read again and the user's row told.
    t.click(t.center(6 - 1, 0));  // "Amount", displayed column 5
    EXPECT_EQ(heard.take(), (Strings{"ModelReset", "Focus 0,0 Name 8"}));
    EXPECT_EQ(QAccessible::accessibleInterface(id), nullptr);
    EXPECT_EQ(t.name(0, 3), "10");
    QAccessibleInterface* amount = t.grid()->child(3);
    EXPECT_EQ(amount->text(QAccessible::Description), "Sorted ascending");
    EXPECT_EQ(t.grid()->child(0)->text(QAccessible::Description), "");
    // A screen reader sorts by the header's press as the click does.
    ASSERT_TRUE(amount->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    amount->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(heard.take(), (Strings{"ModelReset", "Focus 0,0 Name 1"}));
    EXPECT_EQ(t.grid()->child(3)->text(QAccessible::Description), "Sorted descending");

    // A refresh as the contact list does it: all rows go, new ones come.
    t.g.SetRowCountEx(1);
    t.g.SetRowCountEx(5);
    t.g.SetFixedRows(1);
    t.g.SetCells(1, 2, "new");
    EXPECT_EQ(heard.take(), (Strings{"ModelReset", "Focus 0,0 "}));
    EXPECT_EQ(t.table()->rowCount(), 4);
    EXPECT_EQ(t.name(1, 0), "new");

    // Texts written into shown rows.
    t.g.SetCells(1, 3, "changed");
    t.g.SetCells(6, 2, "5");
    EXPECT_EQ(heard.take(), (Strings{"DataChanged 1-2"}));
}

// ---------------------------------------------------------------- cell objects

TEST(GridAccessible, CellObjectsReportRoleNameAndState)
{
    ReadableGrid t;
    t.g.SetOptions(t.g.Options() | platform::goEditing);
    // A check box cell without text of its own is named by its column.
    QAccessibleInterface* box = t.cell(0, 2);
    EXPECT_EQ(box->role(), QAccessible::CheckBox);
    EXPECT_EQ(nameOf(box), "Paid");
    EXPECT_TRUE(box->state().checkable);
    EXPECT_TRUE(box->state().checked);
    EXPECT_FALSE(t.cell(1, 2)->state().checked);
    std::vector<bool> clicked;
    t.g.OnCheckBoxClick = [&](RIvuZuvuzoZuvu*, int, int, bool state) { clicked.push_back(state); };
    box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_FALSE(box->state().checked);
    EXPECT_EQ(clicked, (std::vector<bool>{false}));
    // A data check box reads its state, never its text.
    t.g.AddCheckBox(4, 3, false, true);
    t.g.SetCells(4, 3, "Y");
    EXPECT_TRUE(t.cell(2, 2)->state().checked);
    EXPECT_EQ(nameOf(t.cell(2, 2)), "Paid");

    // A button is pressed by a reader, and by Space, as by a click.
    t.g.AddButton(6, 4, 40, 16, "Pay", haLeft, vaTop);
    QAccessibleInterface* button = t.cell(3, 3);
    EXPECT_EQ(button->role(), QAccessible::Button);
    EXPECT_EQ(nameOf(button), "Pay");
    std::vector<int> pressed;
    t.g.OnButtonClick = [&](RIvuZuvuzoZuvu*, int, int row) { pressed.push_back(row); };
    button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(giveFocus(&t.g));
    t.g.SetCol(5);
    t.g.SetRow(4);
    t.key(Qt::Key_Space);
    EXPECT_EQ(pressed, (std::vector<int>{4, 4}));

    // A progress bar, a radio group, a comment.
    t.g.AddProgress(6, 5, platform::clRed, platform::clWhite);
    t.g.SetCells(6, 5, "42");
    EXPECT_EQ(t.cell(4, 3)->role(), QAccessible::ProgressBar);
    EXPECT_EQ(t.cell(4, 3)->text(QAccessible::Value), "42%");
    EXPECT_EQ(t.cell(4, 3)->valueInterface()->currentValue().toInt(), 42);
    EXPECT_EQ(t.cell(4, 2)->valueInterface(), nullptr);
    TCellStrings* items = t.g.CreateRadio(2, 6, 1, 1);
    items->SetText("Low\r\nMedium\r\nHigh");
    EXPECT_EQ(nameOf(t.cell(5, 1)), "Medium");
    t.g.AddComment(1, 7, "Called twice");
    EXPECT_EQ(t.cell(6, 0)->text(QAccessible::Description), "Called twice");

    // An editable cell whose editor is a combo box or a spin edit reads as one.
    t.g.OnGetEditorType = [](RIvuZuvuzoZuvu*, int c, int, TEditorType& e) {
        e = c == 1 ? edComboList : c == 2 ? edSpinEdit : edNormal;
    };
    EXPECT_EQ(t.cell(7, 0)->role(), QAccessible::ComboBox);
    EXPECT_EQ(t.cell(7, 0)->text(QAccessible::Value), "Name 8");
    EXPECT_EQ(t.cell(7, 1)->role(), QAccessible::SpinBox);
    EXPECT_TRUE(t.cell(7, 0)->state().editable);
    t.g.OnCanEditCell = [](RIvuZuvuzoZuvu*, int, int, bool& can) { can = false; };
    EXPECT_EQ(t.cell(7, 0)->role(), QAccessible::Cell);
}

// ---------------------------------------------------------------- editors

TEST(GridAccessible, EditorsReadAsTheEditorsTheyAreNamedByTheirColumn)
{
    ReadableGrid t;
    t.g.MouseActions->DisjunctRowSelect = false;
    t.g.SetOptions((t.g.Options() & ~platform::goRowSelect) | platform::goEditing);
    TEditorType kind = edNormal;
    t.g.OnGetEditorType = [&](RIvuZuvuzoZuvu*, int, int, TEditorType& e) { e = kind; };
    ASSERT_TRUE(giveFocus(&t.g));
    // Opens an editor of the kind on a row's Name cell (a new cell: its
    // editor is chosen afresh); what has the focus then.
    auto edit = [&](TEditorType k, int row) {
        kind = k;
        t.g.setFocus();
        t.g.SetSelection({1, row, 1, row});
        t.key(Qt::Key_F2);
        return focusedInterface();
    };
    const std::pair<TEditorType, QAccessible::Role> kinds[] = {{edNormal, QAccessible::EditableText},
                                                               {edComboList, QAccessible::ComboBox},
                                                               {edSpinEdit, QAccessible::SpinBox},
                                                               {edEditBtn, QAccessible::EditableText}};
    int row = 2;
    for (const auto& [k, role] : kinds) {
        QAccessibleInterface* editor = edit(k, row++);
        ASSERT_NE(editor, nullptr) << k;
        EXPECT_EQ(editor->role(), role) << k;
        EXPECT_EQ(nameOf(editor), "Name") << k;
    }

    // The spin editor: its value, and stepping by a reader's actions.
    t.g.SetCells(1, row, "7");
    QAccessibleInterface* spin = edit(edSpinEdit, row);
    ASSERT_NE(spin->valueInterface(), nullptr);
    EXPECT_EQ(spin->valueInterface()->currentValue().toInt(), 7);
    EXPECT_EQ(spin->valueInterface()->maximumValue().toInt(), 100);
    spin->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_EQ(spin->text(QAccessible::Value), "8");
    EXPECT_EQ(spin->textInterface()->text(0, 1), "8");

    // The edit with button: its button says what it does and a reader's press runs it.
    std::string asked;
    t.g.OnEllipsClick = [&](RIvuZuvuzoZuvu*, int, int, std::string& s) {
        asked = s;
        s = "picked";
    };
    edit(edEditBtn, row + 1);
    QAccessibleInterface* button = accessibleOf(t.g.EditBtn()->ButtonPanel()->Button());
    EXPECT_EQ(nameOf(button), "...");  // the grid gives it a caption
    button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !asked.empty(); }));
    EXPECT_EQ(asked, "Name " + std::to_string(row + 1));
    EXPECT_EQ(t.g.EditBtn()->text(), "picked");
}

// ---------------------------------------------------------------- focus shown

TEST(GridAccessible, SelfDrawnControlsTakeTheFocusByTabAndShowIt)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* first = new QLineEdit(&window);
    auto* combo = new TASGComboBox(&window);
    combo->addItems({"One", "Two"});
    auto* edit = new TAsgEditBtn(&window);
    auto* spin = new TAsgSpinEdit(&window);
    for (QWidget* w : std::initializer_list<QWidget*>{first, combo, edit, spin})
        layout->addWidget(w);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(giveFocus(first));
    const QImage unfocused = combo->grab().toImage();

    QTest::keyClick(first, Qt::Key_Tab);
    EXPECT_TRUE(combo->hasFocus());
    EXPECT_NE(combo->grab().toImage(), unfocused);  // the chosen item shows highlighted
    QTest::keyClick(combo, Qt::Key_Tab);
    EXPECT_TRUE(edit->hasFocus());
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_TRUE(spin->hasFocus());

    // What a reader reads of them.
    EXPECT_EQ(focusedInterface()->role(), QAccessible::SpinBox);
    EXPECT_EQ(accessibleOf(combo)->role(), QAccessible::ComboBox);
    EXPECT_EQ(accessibleOf(combo)->text(QAccessible::Value), "One");
    EXPECT_EQ(nameOf(accessibleOf(edit->ButtonPanel()->Button())), "Choose value");
    TAsgUnitEditBtn unit(&window);
    EXPECT_EQ(nameOf(accessibleOf(unit.ButtonPanel()->Button())), "Choose unit");
    unit.SetButtonCaption("kg");
    EXPECT_EQ(nameOf(accessibleOf(unit.ButtonPanel()->Button())), "kg");
    EXPECT_EQ(nameOf(accessibleOf(spin->Button()->UpButton())), "Step up");
    int chosen = 0;
    edit->OnClickBtn = [&](QObject*) { ++chosen; };
    accessibleOf(edit->ButtonPanel()->Button())->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(QTest::qWaitFor([&] { return chosen > 0; }));
    EXPECT_EQ(chosen, 1);
    // A spin edit tells of its value as it steps.
    HeardEvents heard;
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(heard.take(), (Strings{"ValueChanged 1"}));
}

TEST(GridAccessible, ARowSelectGridShowsItsCurrentRowWhileFocused)
{
    ReadableGrid t;
    t.g.SetRow(3);  // not selected: only the focus shows it
    QWidget other;
    other.show();
    ASSERT_TRUE(giveFocus(&other));
    const QImage away = t.g.viewport()->grab().toImage();
    ASSERT_TRUE(giveFocus(&t.g));
    const QImage here = t.g.viewport()->grab().toImage();
    const QRect row = t.g.GetCellRect(1, 3).United(t.g.GetCellRect(6 - 1, 3)).ToQRect();
    QRect changed;
    for (int y = 0; y < here.height(); ++y)
        for (int x = 0; x < here.width(); ++x)
            if (here.pixel(x, y) != away.pixel(x, y))
                changed |= QRect(x, y, 1, 1);
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_TRUE(row.adjusted(-2, -2, 2, 2).contains(changed)) << "changed " << changed.x() << "," << changed.y();
}
