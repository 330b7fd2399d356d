// Deleting the selected contacts removes them with their issued cheques, and
// nothing else; many of them go with their progress shown, all or none.
#include "contacts_fixture.h"

#include "flush_fails.h"

#include <QAccessible>
#include <QProgressBar>
#include <QStatusBar>

TEST_F(ContactsTest, DeleteRemovesTheSelectedContactsAndTheirCheques)
{
    const oid_t a = addCustomer(1, "A");
    const oid_t b = addCustomer(2, "B");
    const oid_t c = addCustomer(3, "C");
    addCheque(a, "100");
    addCheque(a, "101");
    addCheque(b, "200");
    const oid_t kept = addCheque(c, "300");
    window->RefreshGrid();

    selectOnly({a, c});
    dialogs.AnswerQuestion(false);
    deleteActionExecute(*window);
    EXPECT_EQ(customers().size(), 3u) << "No deletes nothing";
    EXPECT_EQ(chequeCount(), 4u);

    selectOnly({a, b});
    dialogs.AnswerQuestion(true);
    deleteActionExecute(*window);
    EXPECT_EQ(dialogs.Questions(), (QStringList{"Delete 2 customers?", "Delete 2 customers?"}));
    const auto left = customers();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].oid, c);
    dbCursor<Cheque> cheques;
    ASSERT_EQ(cheques.select(), 1u);
    EXPECT_EQ(cheques.currentId().getOid(), kept);
    database.commit();
    // the list was run again
    EXPECT_EQ(window->grid->RowCount(), 2);
    EXPECT_EQ(window->RowOid(1), c);
}

TEST_F(ContactsTest, DeleteOfOneStillSaysCustomersAndNoSelectionSaysNothing)
{
    const oid_t a = addCustomer(1, "A");
    addCustomer(2, "B");
    window->RefreshGrid();
    window->grid->ClearRowSelect();
    deleteActionExecute(*window);
    EXPECT_TRUE(dialogs.shown.empty());

    selectOnly({a});
    dialogs.AnswerQuestion(true);
    deleteActionExecute(*window);
    EXPECT_EQ(dialogs.Questions(), QStringList{"Delete 1 customers?"});
    EXPECT_EQ(customers().size(), 1u);
}

TEST_F(ContactsTest, DeleteWithAnEmptyListDoesNothing)
{
    window->RefreshGrid();
    ASSERT_EQ(window->grid->RowCount(), 1);
    deleteActionExecute(*window);
    EXPECT_TRUE(dialogs.shown.empty());
}

// Many contacts, every third one with a cheque, every other one selected
// (what goes and what stays is shown on a few above): while they go, the
// status bar shows the progress as a bar that a screen reader names and the
// window goes on painting; afterwards the bar is gone and the others are
// listed with their cheques.
TEST_F(ContactsTest, DeletingManyShowsItsProgressAndKeepsPainting)
{
    for (int i = 1; i <= 3000; ++i) {
        const std::string name = "Contact " + std::to_string(i);
        Customer c;
        c.id = i;
        c.name = name.c_str();
        const oid_t oid = insert(c).getOid();
        if (i % 3 == 0) {
            Cheque q;
            q.chequeNo = "Q";
            q.customer = dbReference<Customer>(oid);
            insert(q);
        }
    }
    ASSERT_TRUE(database.commit());
    window->RefreshGrid();
    window->grid->ClearRowSelect();
    for (int r = 2; r < window->grid->RowCount(); r += 2)  // IDs 2, 4, ...
        window->grid->SetRowSelect(r, true);

    struct Watch : QObject {
        QWidget* list = nullptr;
        QStatusBar* bar = nullptr;
        int listPaints = 0;   // of the list while the progress showed
        QStringList names;    // what the progress said, as a screen reader reads it
        bool eventFilter(QObject* target, QEvent* event) override
        {
            auto* progress = bar->findChild<QProgressBar*>();
            if (event->type() == QEvent::Paint && progress && progress->isVisible()) {
                listPaints += target == list;
                if (target == progress)
                    names << QAccessible::queryAccessibleInterface(progress)->text(QAccessible::Name);
            }
            return false;
        }
    } watch;
    watch.list = window->grid->viewport();
    watch.bar = window->StatusBar1;
    qApp->installEventFilter(&watch);
    window->grid->viewport()->update();  // the list asks to be painted as the work starts
    dialogs.AnswerQuestion(true);
    deleteActionExecute(*window);
    qApp->removeEventFilter(&watch);

    EXPECT_EQ(dialogs.Questions(), QStringList{"Delete 1500 customers?"});
    EXPECT_GT(watch.listPaints, 0);
    ASSERT_FALSE(watch.names.isEmpty());
    EXPECT_EQ(watch.names.front(), "Deleting 1500 customers");
    EXPECT_EQ(window->StatusBar1->findChild<QProgressBar*>(), nullptr);
    EXPECT_EQ(customers().size(), 1500u);
    EXPECT_EQ(window->grid->RowCount(), 1500 + 1);
    EXPECT_EQ(chequeCount(), 500u);  // of the 1,000 cheques, those of the contacts kept
}

// A deletion whose commit fails leaves every contact and cheque as it was,
// says so, and lists them all again.
TEST_F(ContactsTest, DeleteWhoseCommitFailsKeepsEverything)
{
    const oid_t a = addCustomer(1, "A");
    addCheque(a, "100");
    addCustomer(2, "B");
    window->RefreshGrid();
    selectOnly({a});
    {
        FlushFails full;
        dialogs.AnswerQuestion(true);
        deleteActionExecute(*window);
    }
    EXPECT_EQ(dialogs.Messages(), QStringList{kNotStored});
    EXPECT_EQ(customers().size(), 2u);
    EXPECT_EQ(chequeCount(), 1u);
    EXPECT_EQ(window->grid->RowCount(), 3);
}
