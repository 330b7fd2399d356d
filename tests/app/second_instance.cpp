// A second copy of the program on the same folder is turned away, also while
// the first has not yet counted the database's users; a copy that
// was killed leaves nothing behind that stops the next start, not even while
// it is still on its way out.
#include "mainwindow_fixture.h"

#include "backup/restorelock.h"

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

    // another start that has not yet counted the users: turned away, the
    // copy that a restore leaves beside the file untouched
    {
        RestoreLock opening(QDir::currentPath());
        ASSERT_EQ(opening.enterStart(), RestoreLock::Taken);
        ASSERT_TRUE(QFile::copy("Quillet.zrv", "Quillet.zrv.restore"));
        EXPECT_EQ(start(), 1);
        EXPECT_EQ(dialogs.Messages(), QStringList{"The database is still using."});
        EXPECT_TRUE(QFile::exists("Quillet.zrv.restore"));
        ASSERT_TRUE(QFile::remove("Quillet.zrv.restore"));
    }

    dialogs.shown.clear();
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
