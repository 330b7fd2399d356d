// A second copy of the program on the same folder is turned away, also while
// the first has not yet counted the database's users; a copy that
// was killed leaves nothing behind that stops the next start, not even while
// it is still on its way out. Where the folder's lock file cannot be
// locked, neither a start nor Setup's Restore goes on as if it held it; where
// no one can lock it, no restore runs, and a start goes on; a lock request
// refused or interrupted by the file system is no other run. A start through a
// FUSE view of the folder, whose locks other paths do not see, asks first.
#include "mainwindow_fixture.h"

#include "backup/backupform.h"
#include "backup/restorelock.h"

#include <QProcess>
#include <QStandardPaths>
#include <sys/mount.h>
#include <sys/stat.h>

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

// No one can lock the lock file: a link, a folder, or none in a folder this
// user may not write (root passes over modes: the test is skipped there
// when it runs as root). Without a restore's copy the start goes on and
// opens the database; beside one (above) it cannot tell.
TEST_F(MainWindowTest, ALockFileNoOneCanLockNeverStopsAStart)
{
    ASSERT_EQ(start(), -1);
    stop();
    const QString folder = QDir::currentPath();
    for (const char* what : {"a link", "a folder", "none, the folder not writable"}) {
        SCOPED_TRACE(what);
        QFile::remove(".Quillet.lock");
        QDir().rmdir(".Quillet.lock");
        const std::string kind = what;
        if (kind == "a link")
            ASSERT_TRUE(QFile::link("Quillet.zrv", ".Quillet.lock"));
        else if (kind == "a folder")
            ASSERT_TRUE(QDir().mkdir(".Quillet.lock"));
        else if (geteuid() == 0)
            continue;  // root may write any folder
        else
            ASSERT_EQ(chmod(".", 0500), 0);
        dialogs.shown.clear();
        EXPECT_EQ(start(), -1);
        EXPECT_EQ(dialogs.Messages(), QStringList {});
        EXPECT_TRUE(database.isOpen());
        stop();
        chmod(QFile::encodeName(folder).constData(), 0700);
    }
}

// A file system that refuses a lock request (EACCES) though no one holds the
// lock, or interrupts every request: the start says it cannot tell whether a
// restore runs and ends, rather than call the database in use or ask for
// ever. Refused while another start holds the lock, the database is in use.
TEST_F(MainWindowTest, ALockRequestRefusedOrInterruptedIsNotAnotherRun)
{
    ASSERT_EQ(start(), -1);
    stop();
    // answers the first thousand requests with an error, the rest as the system does
    struct Answer : platform::ByteLocksObserver {
        explicit Answer(int error) : error(error) { platform::ByteLocks::setObserver(this); }
        ~Answer() override { platform::ByteLocks::setObserver(nullptr); }
        int beforeTake() override { return left-- > 0 ? error : 0; }
        int error, left = 1000;
    };
    for (const auto& [error, reason] : {std::pair {EACCES, "Permission denied"}, {EINTR, "Interrupted system call"}}) {
        Answer answer(error);
        dialogs.shown.clear();
        EXPECT_EQ(start(), 1);
        EXPECT_EQ(dialogs.Messages(), QStringList {"Whether a backup is being restored in " + QDir::currentPath() +
                                                   " by another run of the program cannot be told: the folder's lock "
                                                   "file .Quillet.lock cannot be locked (" + reason +
                                                   "). The database has not been opened, and nothing has been changed."});
        EXPECT_FALSE(database.isOpen());
    }
    RestoreLock other(QDir::currentPath());
    ASSERT_EQ(other.enterStart(), RestoreLock::Taken);
    Answer refused(EACCES);
    dialogs.shown.clear();
    EXPECT_EQ(start(), 1);
    EXPECT_EQ(dialogs.Messages(), QStringList {"The database is still using."});
}

// A FUSE view of the data folder (bindfs, which keeps locks to itself): a
// start through it asks whether to open the database, since a run through
// the folder itself would not be seen; No ends it touching nothing, Yes
// opens. A start through the folder itself asks nothing. Skipped where no
// FUSE view can be made.
TEST_F(MainWindowTest, AStartThroughAViewWhoseLocksStayLocalAsksFirst)
{
    ASSERT_EQ(start(), -1);
    stop();
    const QString folder = QDir::currentPath(), view = folder + "-view";
    const QString bindfs = QStandardPaths::findExecutable("bindfs");
    ASSERT_TRUE(QDir().mkpath(view));
    if (bindfs.isEmpty() || QProcess::execute(bindfs, {folder, view}) != 0) {
        QDir().rmdir(view);
        GTEST_SKIP() << "no FUSE view can be made here (bindfs and /dev/fuse are needed)";
    }
    const std::map<QString, QByteArray> before = filesIn(folder);
    const QString question = "The data folder " + view + " is on a file system (fuse) whose locks may not "
                             "reach other computers, or other paths to the same folder.";
    QDir::setCurrent(view);
    for (const bool yes : {false, true}) {
        dialogs.shown.clear();
        dialogs.AnswerQuestion(yes);
        EXPECT_EQ(start(), yes ? -1 : 0);
        const QStringList asked = dialogs.Questions();
        ASSERT_EQ(asked.size(), 1);
        EXPECT_TRUE(asked[0].startsWith(question)) << asked[0].toStdString();
        EXPECT_EQ(database.isOpen(), yes);
        if (!yes) {
            EXPECT_TRUE(filesIn(folder) == before) << "a file was touched";
        }
        stop();
    }
    QDir::setCurrent(folder);
    umount2(QFile::encodeName(view).constData(), MNT_DETACH);
    QDir().rmdir(view);
    dialogs.shown.clear();
    EXPECT_EQ(start(), -1);
    EXPECT_EQ(dialogs.Questions(), QStringList {});
}
