// The automatic backups: daily at start-up and on exit, rotating over the
// generation files, with the clock set by the test.
#include "support.h"
#include "support_db.h"

#include "backup/backupform.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

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
    // Runs the start-up backup at the given local time of a day in 2026.
    QStringList startOn(int month, int day, int hour = 9)
    {
        for (const QString &f : generationFiles(dir))
            QFile::remove(dir + "/" + f);
        TBackupForm form;
        form.Now = [=] { return at(month, day, hour); };
        form.autoBackupDaily();
        return generationFiles(dir);
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
    QString dir;
};

TEST_F(Auto, DailyBackupsRotateOverTheGenerationsOncePerDay)
{
    storeSettings({.everyday = true, .lastBackup = 0, .totalBackup = 3});
    const int expectedLast[] = {1, 2, 0, 1};
    const char *expectedFile[] = {"Quillet0.zbf", "Quillet1.zbf", "Quillet2.zbf", "Quillet0.zbf"};
    for (int day = 0; day < 4; ++day) {
        SCOPED_TRACE(day);
        EXPECT_EQ(startOn(3, 10 + day), QStringList {expectedFile[day]});
        const BackupSettings s = readSettings();
        EXPECT_EQ(s.lastBackup, expectedLast[day]);
        EXPECT_EQ(s.lastBackupDate, int32_t(at(3, 10 + day, 0)));
        EXPECT_EQ(s.lastBackupDate % 86400, 16 * 3600);  // midnight in Hong Kong is 16:00 UTC
    }
    // a second start the same day, late in the evening
    EXPECT_TRUE(startOn(3, 13, 23).isEmpty());
    EXPECT_EQ(readSettings().lastBackup, 1);
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
    EXPECT_EQ(startOn(5, 1), QStringList {"Quillet1.zbf"});
    {
        TBackupForm form;
        form.autoBackupOnExit();
    }
    EXPECT_EQ(generationFiles(dir), QStringList({"Quillet1.zbf", "Quillet2.zbf"}));
    EXPECT_EQ(readSettings().lastBackup, 0);
    database.rollback();  // not committed by the exit backup
    EXPECT_EQ(readSettings().lastBackup, 2);
    {
        TBackupForm form;
        form.autoBackupOnExit();
    }
    ASSERT_TRUE(database.commit());  // the closing window's commit stores it
    EXPECT_EQ(readSettings().lastBackup, 0);
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
    EXPECT_EQ(startOn(5, 1), QStringList {"Quillet1.zbf"});
}

TEST_F(Auto, OutOfRangeSettingsNeverDivideByZeroNorLeaveTheRotation)
{
    storeSettings({.everyday = true, .lastBackup = 9, .totalBackup = 0});
    EXPECT_EQ(startOn(6, 1), QStringList {"Quillet0.zbf"});
    EXPECT_EQ(readSettings().lastBackup, 0);
    storeSettings({.everyday = true, .lastBackup = -3, .totalBackup = -5});
    EXPECT_EQ(startOn(6, 2), QStringList {"Quillet0.zbf"});
    storeSettings({.everyday = true, .lastBackup = 4, .totalBackup = 4});
    EXPECT_EQ(startOn(6, 3), QStringList {"Quillet0.zbf"});
    EXPECT_EQ(readSettings().lastBackup, 1);
    EXPECT_EQ(TBackupForm::currentGeneration(2, 3), 2);
    EXPECT_EQ(TBackupForm::currentGeneration(3, 3), 0);
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
    EXPECT_EQ(form.volumeSizeFor(dir + "/x.zbf"), 48976);
    form.FreeSpace = [](const QString &) { return int64_t(1) << 40; };
    EXPECT_EQ(form.volumeSizeFor(dir + "/x.zbf"), INT32_MAX);
    form.FreeSpace = [](const QString &) { return int64_t(-1); };  // cannot be measured
    EXPECT_EQ(form.volumeSizeFor("//server/share/x.zbf"), INT32_MAX);
    form.FreeSpace = [](const QString &) { return int64_t(100); };
    EXPECT_EQ(form.volumeSizeFor(dir + "/x.zbf"), 0);  // nothing left: no negative size
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
