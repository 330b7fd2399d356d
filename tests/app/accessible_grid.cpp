// The contact list as a screen reader reads it, on a database of 300
// contacts: the table's rows, columns, headers and cells as listed, sorted
// by a header and filtered by the search panel, and what the reader hears as
// the user moves and selects in the list.
#include "accessible_events.h"
#include "mainwindow_fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <cstdio>

namespace {

constexpr int kContacts = 300;

// "Contact 001" ... "Contact 300", IDs 1 to 300, every third one in a category.
std::string contactName(int id)
{
    char name[32];
    std::snprintf(name, sizeof name, "Contact %03d", id);
    return name;
}

class AccessibleContactList : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        ASSERT_EQ(start(), -1);
        Category suppliers;
        suppliers.name = "Suppliers";
        const dbReference<Category> category = insert(suppliers);
        for (int id = 1; id <= kContacts; ++id) {
            const std::string name = contactName(id), mail = "c" + std::to_string(id) + "@example.org";
            Customer c;
            c.id = id;
            c.name = name.c_str();
            c.person = "Person";
            c.email = mail.c_str();
            c.amount = static_cast<real4>(id);
            if (id % 3 == 0)
                c.category = category;
            insert(c);
        }
        ASSERT_TRUE(database.commit());
        // the category list is loaded at start: start again as the next start would
        window.reset();
        database.close();
        ASSERT_EQ(start(), -1);
        window->reverseSort->setChecked(false);
        window->RefreshGrid();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        heard.take();
    }
    grid::RIvuZuvuzoZuvu& grid() { return *window->grid; }
    QAccessibleTableInterface* table() { return accessibleOf(window->grid)->tableInterface(); }
    QString cell(int row, int column) { return nameOf(table()->cellAt(row, column)); }
    bool focusGrid()
    {
        window->activateWindow();
        grid().setFocus(Qt::TabFocusReason);
        return QTest::qWaitFor([this] { return grid().hasFocus(); });
    }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(window->grid, k, mods); }

    HeardEvents heard;  // a reader listens from the start
};

}  // namespace

TEST_F(AccessibleContactList, TheListReadsAsATableOfTheColumnsShown)
{
    ASSERT_NE(table(), nullptr);
    EXPECT_EQ(table()->rowCount(), kContacts);
    // The object-id column (1 pixel) and the columns sized to nothing
    // (address, remark, amount) are not read.
    QStringList headers;
    for (int c = 0; c < table()->columnCount(); ++c)
        headers << table()->columnDescription(c);
    EXPECT_EQ(headers, (QStringList{"ID", "Name", "Contact", "Tel", "Mobile", "Fax", "Email", "Website", "Category"}));
    QAccessibleInterface* first = table()->cellAt(0, 1);
    EXPECT_EQ(first->role(), QAccessible::Cell);
    EXPECT_EQ(nameOf(first), "Contact 001");
    EXPECT_EQ(nameOf(first->tableCellInterface()->columnHeaderCells().value(0)), "Name");
    EXPECT_EQ(cell(0, 0), "1");  // the contact's ID, not its object id
    EXPECT_EQ(cell(kContacts - 1, 1), "Contact 300");
    EXPECT_EQ(cell(2, 8), "Suppliers");
    EXPECT_EQ(cell(3, 8), "");
    EXPECT_EQ(table()->selectedRows(), (QList<int>{0}));
}

TEST_F(AccessibleContactList, SortedAndFilteredListsAreReadAsListed)
{
    // A click on the Name header sorts ascending, a second one descending.
    const platform::Rect header = grid().CellRect(2, 0);
    const QPoint at((header.Left + header.Right) / 2, (header.Top + header.Bottom) / 2);
    QTest::mouseClick(grid().viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::qWait(QApplication::doubleClickInterval() + 20);
    QTest::mouseClick(grid().viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(cell(0, 1), "Contact 300");
    EXPECT_EQ(cell(kContacts - 1, 0), "1");
    EXPECT_EQ(table()->cellAt(0, 1)->tableCellInterface()->columnHeaderCells().value(0)->text(
                  QAccessible::Description),
              "Sorted descending");
    Strings events = heard.take();
    EXPECT_EQ(std::count(events.begin(), events.end(), "ModelReset"), 2);

    // The search panel: names from "Contact 1" on, in the Suppliers category.
    window->name->setFocus();
    window->name->setText("contact 1");
    QTest::keyClick(window->name, Qt::Key_Return);
    EXPECT_EQ(table()->rowCount(), 100);
    EXPECT_EQ(cell(0, 1), "Contact 100");
    window->category->setCurrentText("Suppliers");
    window->categoryChange();
    EXPECT_EQ(table()->rowCount(), 33);
    EXPECT_EQ(cell(32, 1), "Contact 198");
    // The list was refreshed while the focus stayed in the search panel.
    EXPECT_EQ(heard.take(), (Strings{"ModelReset"}));
}

TEST_F(AccessibleContactList, MovingAndSelectingAreHeard)
{
    ASSERT_TRUE(focusGrid());
    // Coming to the list by Tab: the reader hears the row the user stands on.
    EXPECT_EQ(heard.take(), (Strings{"Focus 0,0 1"}));

    key(Qt::Key_Down);
    EXPECT_EQ(heard.take(), (Strings{"Selection 1,0", "Focus 1,0 2"}));
    key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(heard.take(), (Strings{"SelectionAdd 2,0"}));
    key(Qt::Key_Space);
    EXPECT_EQ(heard.take(), (Strings{"SelectionRemove 1,0"}));
    key(Qt::Key_End);
    EXPECT_EQ(heard.take(), (Strings{"Focus 299,0 300"}));
    key(Qt::Key_PageUp);
    const Strings page = heard.take();
    ASSERT_EQ(page.size(), 1u);
    EXPECT_EQ(page[0].rfind("Focus ", 0), 0u);
    key(Qt::Key_Home);
    EXPECT_EQ(heard.take(), (Strings{"Focus 0,0 1"}));
    window->selectAllAction->trigger();  // Ctrl+A
    EXPECT_EQ(heard.take(), (Strings{"SelectionWithin"}));
    EXPECT_EQ(table()->selectedRowCount(), kContacts);
}
