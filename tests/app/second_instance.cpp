// A second copy of the program on the same folder is turned away, also while
// the first has not yet counted the database's users; a copy that
// was killed leaves nothing behind that stops the next start, not even while
// it is still on its way out. Where the folder's lock file cannot be
// locked, neither a start nor Setup's Restore goes on as if it held it.
#include "mainwindow_fixture.h"

#include "backup/backupform.h"
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

// A lock file that cannot be locked (here a folder in its place; a file
// system without locks is alike): Setup's Restore says why and changes
// nothing, and a start beside the copy that a restore leaves says that it
// cannot tell whether a restore runs, leaves the copy alone and opens nothing.
TEST_F(MainWindowTest, ALockFileThatCannotBeLockedIsNeverTakenForOneThatIsHeld)
{
    ASSERT_EQ(start(), -1);
    const QString folder = QDir::currentPath();
    ASSERT_TRUE(TBackupForm().backupTo(folder + "/Quillet0.zbf"));
    ASSERT_TRUE(QFile::remove(".Quillet.lock"));
    ASSERT_TRUE(QDir().mkdir(".Quillet.lock"));
    const QStringList files = QDir().entryList(QDir::Files);

    dialogs.AnswerFile(folder + "/Quillet0.zbf");
    dialogs.AnswerQuestion(true);
    TBackupForm(window.get()).restoreClick();
    EXPECT_EQ(dialogs.Messages(),
              QStringList {"The backup has not been restored: the lock file .Quillet.lock in " + folder +
                           " cannot be locked (Is a directory), so starts of the program there could not be kept "
                           "out meanwhile. Nothing has been changed."});
    EXPECT_TRUE(database.isOpen());  // as before the question: the restore closes it first
    EXPECT_EQ(QDir().entryList(QDir::Files), files);
    stop();

    ASSERT_TRUE(QFile::copy("Quillet0.zbf", "Quillet.zrv.restore"));  // any bytes: it is never read
    const std::map<QString, QByteArray> copyLeft = filesIn(folder);
    dialogs.shown.clear();
    EXPECT_EQ(start(), 1);
    EXPECT_EQ(dialogs.Messages(),
              QStringList {"Whether a backup is being restored in " + folder +
                           " by another run of the program cannot be told: the folder's lock file .Quillet.lock "
                           "cannot be locked (Is a directory). The database has not been opened, and nothing has "
                           "been changed."});
    EXPECT_FALSE(database.isOpen());
    EXPECT_TRUE(filesIn(folder) == copyLeft);
}
