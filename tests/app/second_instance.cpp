// A second copy of the program on the same folder is turned away; a copy that
// was killed leaves nothing behind that stops the next start, not even while
// it is still on its way out.
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

    // a start right after the kill, the killed copy not yet waited for
    kill(other, SIGKILL);
    dialogs.shown.clear();
    EXPECT_EQ(start(), -1);
    EXPECT_EQ(dialogs.Messages(), QStringList{});
    waitpid(other, nullptr, 0);
    dbCursor<Customer> customers;
    ASSERT_EQ(customers.select(), 1u);
    EXPECT_STREQ(customers->name, "Alpha");
    database.commit();
}
