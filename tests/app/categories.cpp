// Category upkeep in the contact editor: add, rename and delete keep the list
// in name order, each change is stored at once, the entry shown is the
// category stored, and the main window's filter list follows; a screen
// reader is told each change and the filter's new entry.
#include "contacts_fixture.h"

#include "accessible_events.h"

#include <QComboBox>

namespace {

QStringList listOf(const TMainForm& e)
{
    QStringList out;
    for (int i = 0; i < e.category->count(); ++i)
        out << e.category->itemText(i);
    return out;
}

} // namespace

TEST_F(ContactsTest, AddRenameDeleteKeepNameOrderAndSelection)
{
    HeardEvents heard;
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));  // the window told
    TMainForm editor(window.get());
    EXPECT_EQ(editor.category->currentIndex(), -1);
    for (const char* name : {"Banks", "Agents", "Couriers"}) {
        dialogs.AnswerText(QString(name));
        editor.insertCategoryClick();
        EXPECT_EQ(editor.category->currentText(), name) << "a new category is selected at once";
        EXPECT_EQ(said(heard.take()), Strings{"Notification Category '" + std::string(name) + "' added."});
    }
    EXPECT_EQ(listOf(editor), (QStringList{"Agents", "Banks", "Couriers"}));
    EXPECT_TRUE(editor.categoriesChanged);

    // a rename that moves the entry keeps it selected
    editor.category->setCurrentIndex(0);
    dialogs.AnswerText(QString("Zoo"));
    editor.updateCategoryClick();
    EXPECT_EQ(listOf(editor), (QStringList{"Banks", "Couriers", "Zoo"}));
    EXPECT_EQ(editor.category->currentText(), "Zoo");
    EXPECT_EQ(said(heard.take()), Strings{"Notification Category 'Agents' renamed to 'Zoo'."});
    ASSERT_EQ(dialogs.shown.back().kind, platform::ScriptedDialogs::Shown::Input);
    EXPECT_EQ(dialogs.shown.back().text, "Enter the category: ");

    // a cancelled input and a No change nothing
    editor.updateCategoryClick();  // unscripted input: cancelled
    editor.deleteCategoryClick();  // unscripted question: No
    EXPECT_EQ(listOf(editor), (QStringList{"Banks", "Couriers", "Zoo"}));
    EXPECT_EQ(dialogs.Questions(), QStringList{"Delete the category 'Zoo'?"});

    dialogs.AnswerQuestion(true);
    editor.deleteCategoryClick();
    EXPECT_EQ(listOf(editor), (QStringList{"Banks", "Couriers"}));
    EXPECT_EQ(editor.category->currentIndex(), -1) << "nothing is selected after a delete";
    EXPECT_EQ(said(heard.take()), Strings{"Notification Category 'Zoo' deleted."});
    editor.deleteCategoryClick();  // nothing selected: nothing asked
    EXPECT_EQ(dialogs.Questions().size(), 2);
    EXPECT_EQ(said(heard.take()), Strings{});

    // every change is already stored
    database.rollback();
    EXPECT_EQ(categoryNames(), (std::vector<std::string>{"Banks", "Couriers"}));
}

TEST_F(ContactsTest, CategoryInUseIsNotDeleted)
{
    const oid_t used = addCategory("Used");
    addCategory("Spare");
    addCustomer(1, "User", "", used);
    TMainForm editor(window.get());
    editor.category->setCurrentIndex(1);
    ASSERT_EQ(editor.category->currentText(), "Used");
    dialogs.AnswerQuestion(true);
    editor.deleteCategoryClick();
    EXPECT_EQ(dialogs.Messages(), QStringList{"This category is still being used."});
    EXPECT_EQ(listOf(editor), (QStringList{"Spare", "Used"}));
    EXPECT_FALSE(editor.categoriesChanged);
    EXPECT_EQ(categoryNames(), (std::vector<std::string>{"Spare", "Used"}));
}

TEST_F(ContactsTest, CategoryAddedInTheEditorSurvivesARefusedSave)
{
    addCategory("Middle");
    addCustomer(1, "Taken", "", 0);
    window->RefreshGrid();
    saveEditor([this](TMainForm& e) {
        dialogs.AnswerText(QString("Alpha"));
        e.insertCategory->click();
        e.cID->setText("1");  // taken: the save is refused
        e.cName->setText("New");
    });
    saveEditor([this](TMainForm& e) {
        EXPECT_EQ(e.category->currentText(), "Alpha");
        // renamed so that it moves behind "Middle": still the entry shown
        dialogs.AnswerText(QString("Zulu"));
        e.updateCategory->click();
        EXPECT_EQ(listOf(e), (QStringList{"Middle", "Zulu"}));
        e.cID->setText("2");
    });
    insertActionExecute(*window);
    EXPECT_EQ(dialogs.Messages(), QStringList{"'ID' has already existed."});
    const auto stored = customers();
    ASSERT_EQ(stored.size(), 2u);
    ASSERT_EQ(categoryNames(), (std::vector<std::string>{"Middle", "Zulu"}));
    oid_t zulu = 0;
    for (const CategoryEntry& entry : CategoriesByName())
        if (entry.name == "Zulu")
            zulu = entry.ref.getOid();
    database.commit();
    EXPECT_EQ(stored[1].category, zulu);
    EXPECT_EQ(window->grid->Cells(12, rowOf(stored[1].oid)), "Zulu");

    // the filter list was rebuilt: "All" first, then the editor's choice
    EXPECT_EQ(entries(window->category), (QStringList{"All", "Middle", "Zulu"}));
    EXPECT_EQ(window->category->currentText(), "Zulu");
}

TEST_F(ContactsTest, FilterListFollowsTheEditorAndItsChangeIsSaid)
{
    HeardEvents heard;
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));  // the window told
    const oid_t shops = addCategory("Shops");
    const oid_t a = addCustomer(1, "A", "", shops);
    window->RefreshGrid();
    window->category->setCurrentIndex(0);
    selectOnly({a});
    onEditor([this](TMainForm& e) {
        dialogs.AnswerText(QString("Banks"));
        e.insertCategory->click();
        e.category->setCurrentIndex(-1);  // nothing chosen when the editor closes
        e.cCancel->click();
    });
    updateActionExecute(*window);
    EXPECT_EQ(entries(window->category), (QStringList{"All", "Banks", "Shops"}));
    EXPECT_EQ(window->category->currentIndex(), 0);
    heard.take();
    EXPECT_EQ(said(heard.take()), Strings{}) << "the filter stays";

    // insert preselects the filter's category in the editor
    window->category->setCurrentIndex(2);
    QString preselected;
    onEditor([&](TMainForm& e) {
        preselected = e.category->currentText();
        e.cCancel->click();
    });
    insertActionExecute(*window);
    EXPECT_EQ(preselected, "Shops");
    EXPECT_EQ(window->category->currentText(), "Shops") << "no category change: the list stays";

    // a category added in an editor then cancelled becomes the filter
    onEditor([this](TMainForm& e) {
        dialogs.AnswerText(QString("Couriers"));
        e.insertCategory->click();
        e.cCancel->click();
    });
    heard.take();
    insertActionExecute(*window);
    EXPECT_EQ(window->category->currentText(), "Couriers");
    EXPECT_EQ(said(heard.take()), Strings{"Notification Category filter changed to Couriers."});
    EXPECT_EQ(window->category->accessibleDescription(), "Couriers") << "its entry is read with it";
}
