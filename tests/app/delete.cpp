// Deleting the selected contacts removes them with their issued cheques, and
// nothing else.
#include "contacts_fixture.h"

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
