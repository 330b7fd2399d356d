#include "support_db.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace testing_backup {
namespace {
std::unique_ptr<QTemporaryDir> scratch;
QString previousDir;
}  // namespace

QString openScratchDatabase()
{
    if (!scratch) {
        scratch = std::make_unique<QTemporaryDir>();
        previousDir = QDir::currentPath();
        QDir::setCurrent(scratch->path());
    }
    if (!database.isOpen()) {
        EXPECT_TRUE(database.open("Quillet"));
        dbCursor<Config> config;
        if (config.select() == 0) {
            Config c;
            c.password = "";
            c.lastBackupDate = dbDateTime(-1);
            c.totalBackup = 7;
            EXPECT_FALSE(insert(c).isNull());
        }
        EXPECT_TRUE(database.commit());
    }
    return QDir(scratch->path()).canonicalPath();
}

void closeScratchDatabase()
{
    if (database.isOpen())
        database.close();
    if (scratch) {
        QDir::setCurrent(previousDir);
        scratch.reset();
    }
}

void storeSettings(const BackupSettings &s)
{
    dbCursor<Config> config(dbCursorForUpdate);
    ASSERT_EQ(config.select(), 1u);
    zarvoBuffer texts;
    config->password = texts.put(config->password);
    config->everyday = s.everyday;
    config->everytime = s.everytime;
    config->lastBackup = int1(s.lastBackup);
    config->totalBackup = int1(s.totalBackup);
    config->lastBackupDate = dbDateTime(s.lastBackupDate);
    ASSERT_TRUE(config.update());
    ASSERT_TRUE(database.commit());
}

BackupSettings readSettings()
{
    dbCursor<Config> config;
    BackupSettings s;
    if (config.select() != 1) {
        ADD_FAILURE() << "no Config record";
        return s;
    }
    s.everyday = config->everyday;
    s.everytime = config->everytime;
    s.lastBackup = config->lastBackup;
    s.totalBackup = config->totalBackup;
    s.lastBackupDate = config->lastBackupDate.stamp;
    return s;
}

void addCategory(const char *name)
{
    Category c;
    c.name = name;
    ASSERT_FALSE(insert(c).isNull());
    ASSERT_TRUE(database.commit());
}

QStringList categories()
{
    QStringList names;
    dbCursor<Category> c;
    if (c.select() > 0) {
        do
            names.append(QString::fromUtf8(c->name));
        while (c.next());
    }
    return names;
}

QStringList generationFiles(const QString &dir)
{
    return QDir(dir).entryList({"Quillet*.zbf"}, QDir::Files, QDir::Name);
}

}  // namespace testing_backup
