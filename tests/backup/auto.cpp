// The automatic backups: daily at start-up and on exit, each into the
// generation that the archives there pick, with the clock set by the test.
#include "support.h"
#include "support_db.h"

#include "backup/backupform.h"
#include "backup/generations.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStorageInfo>

#include <gtest/gtest.h>

using namespace testing_backup;

namespace {

class Auto : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // A zone with an offset, so that local midnight differs from UTC's.
        setenv("TZ", "Asia/Hong_Kong", 1);
        tzset();
    }
    static void TearDownTestSuite() { closeScratchDatabase(); }
    void SetUp() override
    {
        dir = openScratchDatabase();
        for (const QString &f : generationFiles(dir))
            QFile::remove(dir + "/" + f);
    }
    // Runs the start-up backup at the given local time of a day in 2026 and
    // returns the generation files it wrote. They are dated that day, as if
    // the days had passed.
    QStringList startOn(int month, int day, int hour = 9)
    {
        return writtenBy(at(month, day, hour), [=] {
            TBackupForm form;
            form.Now = [=] { return at(month, day, hour); };
            form.autoBackupDaily();
        });
    }
    QStringList exitOn(int month, int day)
    {
        return writtenBy(at(month, day, 18), [] {
            TBackupForm form;
            form.autoBackupOnExit();
        });
    }
    QStringList writtenBy(int64_t when, const std::function<void()> &run)
    {
        QHash<QString, qint64> before;
        for (const QString &f : generationFiles(dir))
            before[f] = QFileInfo(dir + "/" + f).lastModified().toMSecsSinceEpoch();
        run();
        QStringList written;
        for (const QString &f : generationFiles(dir)) {
            QFile file(dir + "/" + f);
            if (before.value(f, -1) == QFileInfo(file).lastModified().toMSecsSinceEpoch())
                continue;
            written.append(f);
            EXPECT_TRUE(file.open(QIODevice::ReadWrite));
            file.setFileTime(QDateTime::fromSecsSinceEpoch(when), QFileDevice::FileModificationTime);
        }
        return written;
    }
    static int64_t at(int month, int day, int hour)
    {
        struct tm tm {};
        tm.tm_year = 126;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = hour;
        tm.tm_isdst = -1;
        return int64_t(mktime(&tm));
    }
    // Generation g's archive in folder, of a database file changed on the
    // given day of March 2026, the archive file itself dated fileDay (0: now).
    // day 0: a file that is no archive.
    static void makeArchive(const QString &folder, int g, int day, int fileDay)
    {
        QFile archive(generationPath(folder, g));
        if (day != 0) {
            QFile db(folder + "/made/Quillet.zrv");
            ASSERT_TRUE(QDir().mkpath(folder + "/made") && db.open(QIODevice::WriteOnly));
            db.write(QByteArray(3000, char('a' + g)));
            db.flush();
            db.setFileTime(QDateTime::fromSecsSinceEpoch(at(3, day, 12)), QFileDevice::FileModificationTime);
            ASSERT_TRUE(TBackupFile().Backup({db.fileName()}, archive.fileName()));
        }
        ASSERT_TRUE(archive.open(QIODevice::Append));
        if (day == 0)
            archive.write("QZ2 but cut short");
        archive.flush();
        if (fileDay != 0)
            archive.setFileTime(QDateTime::fromSecsSinceEpoch(at(3, fileDay, 8)), QFileDevice::FileModificationTime);
    }
    QString dir;
};

TEST_F(Auto, DailyBackupsRotateOverTheGenerationsOncePerDay)
{
    storeSettings({.everyday = true, .lastBackup = 0, .totalBackup = 3});
    const int expectedLast[] = {1, 2, 0, 1, 2};
    const char *expectedFile[] = {"Quillet0.zbf", "Quillet1.zbf", "Quillet2.zbf", "Quillet0.zbf", "Quillet1.zbf"};
    for (int day = 0; day < 5; ++day) {
        SCOPED_TRACE(day);
        EXPECT_EQ(startOn(3, 10 + day), QStringList {expectedFile[day]});
        const BackupSettings s = readSettings();
        EXPECT_EQ(s.lastBackup, expectedLast[day]);
        EXPECT_EQ(s.lastBackupDate, int32_t(at(3, 10 + day, 0)));
        EXPECT_EQ(s.lastBackupDate % 86400, 16 * 3600);  // midnight in Hong Kong is 16:00 UTC
    }
    // a second start the same day, late in the evening
    EXPECT_TRUE(startOn(3, 14, 23).isEmpty());
    EXPECT_EQ(readSettings().lastBackup, 2);
}

// The tester's case: generations 0, 1 and 2 written, 1 restored (bringing
// back the rotation pointer of its day, 2); the next backup writes over the
// oldest, 0, and the newest archive is kept byte for byte.
TEST_F(Auto, AfterARestoreTheNextBackupWritesOverTheOldestNotTheNewest)
{
    storeSettings({.everyday = true, .lastBackup = 0, .totalBackup = 3});
    for (int day = 1; day <= 3; ++day)
        startOn(8, day);
    database.close();
    ASSERT_TRUE(TBackupFile().Restore(generationPath(dir, 1), dir));
    ASSERT_TRUE(database.open("Quillet"));
    EXPECT_EQ(readSettings().lastBackup, 2);
    EXPECT_EQ(startOn(8, 4), QStringList {"Quillet0.zbf"});  // Quillet2.zbf, the newest, untouched
    EXPECT_EQ(readSettings().lastBackup, 1);
}

// Which generation the next automatic backup writes, judged by the archives:
// by the date of the database inside them, not by the archive files' times
// (a copy or a sync tool changes those), an unreadable file first.
TEST_F(Auto, TheGenerationWrittenIsTheFirstUnusedElseTheOldestArchive)
{
    struct Archive {
        int generation, day, fileDay;  // day 0: no archive
    };
    constexpr AutoBackups normal = AutoBackups::Normal, freeOnly = AutoBackups::FreeGenerationsOnly;
    struct Case {
        const char *what;
        std::vector<Archive> archives;
        int totalBackup;
        AutoBackups allowed;
        int expected;
    } cases[] = {
        {"empty folder", {}, 3, normal, 0},
        {"a gap", {{0, 5, 0}, {2, 6, 0}}, 3, normal, 1},
        {"all taken", {{0, 7, 0}, {1, 5, 0}, {2, 6, 0}}, 3, normal, 1},
        {"copied files", {{0, 5, 9}, {1, 6, 8}, {2, 7, 7}}, 3, normal, 0},
        {"unreadable", {{0, 5, 0}, {1, 0, 20}, {2, 6, 0}}, 3, normal, 1},
        {"total lowered", {{0, 7, 0}, {1, 6, 0}, {2, 8, 0}, {3, 2, 0}, {4, 1, 0}}, 3, normal, 1},
        {"free generations only, all taken", {{0, 5, 0}, {1, 6, 0}}, 2, freeOnly, -1},
        {"free generations only, a gap", {{1, 5, 0}}, 2, freeOnly, 0},
        {"none", {}, 3, AutoBackups::None, -1},
    };
    const QString folder = dir + "/slots";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QDir(folder).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder));
        for (const Archive &a : c.archives)
            makeArchive(folder, a.generation, a.day, a.fileDay);
        EXPECT_EQ(generationToWrite(folder, c.totalBackup, c.allowed), c.expected);
    }
    QDir(folder).removeRecursively();
}

TEST_F(Auto, SwitchedOffMeansNoArchive)
{
    storeSettings({.everyday = false, .everytime = false, .lastBackup = 2, .totalBackup = 3});
    EXPECT_TRUE(startOn(4, 1).isEmpty());
    TBackupForm form;
    form.autoBackupOnExit();
    EXPECT_TRUE(generationFiles(dir).isEmpty());
    EXPECT_EQ(readSettings().lastBackup, 2);
    EXPECT_EQ(readSettings().lastBackupDate, -1);
}

TEST_F(Auto, ExitBackupTakesTheNextGenerationAndLeavesTheCommitToTheCaller)
{
    storeSettings({.everyday = true, .everytime = true, .lastBackup = 1, .totalBackup = 3});
    EXPECT_EQ(startOn(5, 1), QStringList {"Quillet0.zbf"});  // the stored pointer picks nothing
    EXPECT_EQ(exitOn(5, 1), QStringList {"Quillet1.zbf"});
    EXPECT_EQ(readSettings().lastBackup, 2);
    database.rollback();  // not committed by the exit backup
    EXPECT_EQ(readSettings().lastBackup, 1);
    EXPECT_EQ(exitOn(5, 2), QStringList {"Quillet2.zbf"});
    ASSERT_TRUE(database.commit());  // the closing window's commit stores it
    EXPECT_EQ(readSettings().lastBackup, 0);
    EXPECT_EQ(exitOn(5, 3), QStringList {"Quillet0.zbf"});
}

// Damage found in the database (here an index a search found damaged) stops
// both automatic backups: no generation is written or advanced.
TEST_F(Auto, ADatabaseWithDamageFoundIsNeverArchived)
{
    storeSettings({.everyday = true, .everytime = true, .lastBackup = 1, .totalBackup = 3});
    Customer::dbDescriptor.find("name")->indexBroken = true;
    EXPECT_TRUE(startOn(5, 1).isEmpty());
    {
        TBackupForm form;
        form.autoBackupOnExit();
    }
    Customer::dbDescriptor.find("name")->indexBroken = false;
    EXPECT_TRUE(generationFiles(dir).isEmpty());
    EXPECT_EQ(readSettings().lastBackup, 1);
    EXPECT_EQ(readSettings().lastBackupDate, -1);
    EXPECT_EQ(startOn(5, 1), QStringList {"Quillet0.zbf"});
}

TEST_F(Auto, OutOfRangeSettingsNeverDivideByZeroNorLeaveTheRotation)
{
    storeSettings({.everyday = true, .lastBackup = 9, .totalBackup = 0});
    EXPECT_EQ(startOn(6, 1), QStringList {"Quillet0.zbf"});
    EXPECT_EQ(readSettings().lastBackup, 0);
    storeSettings({.everyday = true, .lastBackup = -3, .totalBackup = -5});
    EXPECT_EQ(startOn(6, 2), QStringList {"Quillet0.zbf"});
    storeSettings({.everyday = true, .lastBackup = 4, .totalBackup = 4});
    EXPECT_EQ(startOn(6, 3), QStringList {"Quillet1.zbf"});
    EXPECT_EQ(readSettings().lastBackup, 2);
}

TEST_F(Auto, ARestoredGenerationHoldsTheDataCommittedBeforeIt)
{
    storeSettings({.everyday = true, .lastBackup = 0, .totalBackup = 2});
    addCategory("before");
    EXPECT_EQ(startOn(7, 1), QStringList {"Quillet0.zbf"});
    addCategory("after");
    EXPECT_EQ(categories(), QStringList({"before", "after"}));

    const QString archive = dir + "/kept.zbf";
    ASSERT_TRUE(QFile::rename(dir + "/Quillet0.zbf", archive));
    database.close();
    TBackupFile bf;
    bf.OnError = [](TBackupFile &, int32_t code, const QString &) { ADD_FAILURE() << code; };
    ASSERT_TRUE(bf.Restore(archive, dir));
    ASSERT_TRUE(database.open("Quillet"));
    EXPECT_EQ(categories(), QStringList({"before"}));
    const BackupSettings s = readSettings();
    EXPECT_EQ(s.lastBackup, 1);  // the archive was written after the settings were committed
    database.commit();
}

TEST_F(Auto, VolumeSizeFollowsTheFreeSpace)
{
    TBackupForm form;
    form.FreeSpace = [](const QString &) { return int64_t(50000); };
    // 1,024 bytes short of the free space, and two blocks: the volume's last one, taken whole, and its tag's
    EXPECT_EQ(form.volumeSizeFor(dir + "/x.zbf"), 48976 - 2 * QStorageInfo(dir).blockSize());
    form.FreeSpace = [](const QString &) { return int64_t(1) << 40; };
    EXPECT_EQ(form.volumeSizeFor(dir + "/x.zbf"), INT32_MAX);
    form.FreeSpace = [](const QString &) { return int64_t(-1); };  // cannot be measured
    EXPECT_EQ(form.volumeSizeFor("//server/share/x.zbf"), INT32_MAX);
    // 1 to 9 KiB left: a volume that takes no block, so that another disk is asked for; never 0, "any size"
    for (const int64_t free : {int64_t(100), int64_t(1024), int64_t(9 * 1024)}) {
        form.FreeSpace = [free](const QString &) { return free; };
        EXPECT_EQ(form.volumeSizeFor(dir + "/x.zbf"), 1) << free;
    }
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
