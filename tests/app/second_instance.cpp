// A second copy of the program on the same folder is turned away; a copy that
// was killed leaves nothing behind that stops the next start.
#include "mainwindow_fixture.h"

TEST_F(MainWindowTest, SecondInstanceIsRefusedAndAKilledOneLeavesNoTrace)
{
    // a first run stores a contact
    ASSERT_EQ(start(), -1);
    window.reset();
    {
        Customer c;
        c.id = 1;
        c.name = "Alpha";
        insert(c);
        ASSERT_TRUE(database.commit());
    }
    database.close();

    const pid_t other = holdDatabaseInChild();
    ASSERT_GT(other, 0);
    EXPECT_EQ(start(), 1);
    EXPECT_EQ(dialogs.Messages(), QStringList{"The database is still using."});

    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
    EXPECT_EQ(start(), -1);
    dbCursor<Customer> customers;
    ASSERT_EQ(customers.select(), 1u);
    EXPECT_STREQ(customers->name, "Alpha");
    database.commit();
}
