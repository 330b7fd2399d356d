// The first start in an empty folder: the database file, the settings rows,
// the first daily backup and an empty list. A folder that holds backups but
// no database (or an empty one) is told so before anything is written, and
// keeps every archive out of the automatic backups' rotation.
#include "mainwindow_fixture.h"

#include "backup/backupform.h"
#include "backup/generations.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

TEST_F(MainWindowTest, FirstStartCreatesTheDatabaseAndItsSettings)
{
    ASSERT_EQ(start(), -1);
    EXPECT_TRUE(std::filesystem::exists("Quillet.zrv"));
    EXPECT_TRUE(std::filesystem::exists("Quillet0.zbf"));
    EXPECT_FALSE(std::filesystem::exists("Quillet1.zbf"));

    dbCursor<Config> config;
    ASSERT_EQ(config.select(), 1u);
    EXPECT_STREQ(config->password, "");
    EXPECT_EQ(config->version, 18);
    EXPECT_FALSE(config->everytime);
    EXPECT_TRUE(config->everyday);
    EXPECT_EQ(config->totalBackup, 7);
    EXPECT_EQ(config->lastBackup, 1);
    const QDateTime midnight(QDate::currentDate(), QTime(0, 0));
    EXPECT_EQ(config->lastBackupDate.stamp, midnight.toSecsSinceEpoch());

    dbCursor<CustomerWidth> widths;
    ASSERT_EQ(widths.select(), 1u);
    EXPECT_EQ(widths->id, 50);
    EXPECT_EQ(widths->name, 100);
    EXPECT_EQ(widths->person, 100);
    EXPECT_EQ(widths->telephone, 80);
    EXPECT_EQ(widths->website, 70);
    EXPECT_EQ(widths->address, 0);
    EXPECT_EQ(widths->amount, 0);
    EXPECT_EQ(widths->category, 70);
    EXPECT_EQ(widths->sortBy, 0);
    EXPECT_TRUE(widths->reverseSort);
    database.commit();

    EXPECT_EQ(window->StatusText(1), "Total Customer: 0");
    ASSERT_EQ(window->category->count(), 1);
    EXPECT_EQ(window->category->itemText(0), "All");
    EXPECT_EQ(window->windowTitle(), "Zarvo Cheque Printing System");
    EXPECT_EQ(window->grid->ColCount(), 13);
    EXPECT_EQ(window->grid->Cells(12, 0), "Category");
    EXPECT_EQ(window->grid->ColWidths(0), 1);
    EXPECT_TRUE(dialogs.Messages().isEmpty());
}

TEST_F(MainWindowTest, SecondStartTheSameDayWritesNoBackup)
{
    ASSERT_EQ(start(), -1);
    window.reset();
    database.close();
    std::filesystem::remove("Quillet0.zbf");
    ASSERT_EQ(start(), -1);
    EXPECT_FALSE(std::filesystem::exists("Quillet0.zbf"));
    EXPECT_FALSE(std::filesystem::exists("Quillet1.zbf"));
}

TEST_F(MainWindowTest, AnUnreadableDatabaseEndsTheStart)
{
    {
        std::FILE* f = std::fopen("Quillet.zrv", "wb");
        ASSERT_NE(f, nullptr);
        for (int i = 0; i < 8192; ++i)
            std::fputc(i * 7 & 0xFF, f);
        std::fclose(f);
    }
    EXPECT_EQ(start(), 1);
    EXPECT_EQ(dialogs.Messages(), QStringList{"Fail to open database."});
    EXPECT_EQ(std::filesystem::file_size("Quillet.zrv"), 8192u);
}

namespace {

// Every generation file of the folder with its bytes.
std::map<QString, QByteArray> archivesIn(const QString& dir) { return filesIn(dir, {"Quillet*.zbf"}); }

// Records the size of the database file (-1: none) when a message is shown.
class DatabaseWatch : public platform::ScriptedDialogs {
public:
    void ShowMessage(const QString& text, platform::MessageKind kind, const QString& caption, QWidget* owner) override
    {
        sizes.push_back(QFileInfo::exists("Quillet.zrv") ? QFileInfo("Quillet.zrv").size() : -1);
        ScriptedDialogs::ShowMessage(text, kind, caption, owner);
    }
    std::vector<qint64> sizes;
};

}  // namespace

// Backups of 300 contacts, then the database file gone or emptied (a crash
// or a full disk during a copy, a sync tool): the start says so before the
// open makes a new database, sets every archive aside under the names it
// gives, bytes unchanged, and writes no backup of the new, empty database.
// The notice offers only an archive that can be read.
TEST_F(MainWindowTest, BackupsWithoutADatabaseAreSetAsideToldAndKept)
{
    // generation g's archive is of March g + 1
    auto kept = [](int g) { return QString("Quillet%1-of-2026-03-0%2.zbf").arg(g).arg(g + 1); };
    auto restore = [&](int g) {
        return " The newest that can be read is " + kept(g) + QString(" of 2026-03-0%1").arg(g + 1) +
               ". To bring it back, choose Setup, then Backup, then Restore.";
    };
    const QString removed = "No database was found in this folder, but it holds backups.";
    const QString fresh = " The program now starts with a new, empty database.";
    struct Case {
        const char* what;
        bool emptied;  // else removed
        int archives;
        bool unreadable;
        QString expected;
    } cases[] = {
        {"removed", false, 1, false,
         removed + " It is kept as " + kept(0) + ", where no automatic backup writes over it." + restore(0) + fresh},
        {"emptied", true, 1, false,
         "The database file Quillet.zrv in this folder is empty, but the folder holds backups. It is kept as " +
             kept(0) + ", where no automatic backup writes over it." + restore(0) + fresh},
        {"removed, every generation taken", false, 7, false,
         removed + " They are kept as " + kept(0) + ", " + kept(1) + ", " + kept(2) + ", " + kept(3) + ", " +
             kept(4) + " and 2 more, where no automatic backup writes over them." + restore(6) + fresh},
        {"removed, no archive readable", false, 2, true,
         removed + " They are kept as " + kept(0) + " and " + kept(1) +
             ", where no automatic backup writes over them. None of them can be read, so none can be restored." +
             fresh},
    };
    const QString folder = QString::fromStdString(dir.string());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(start(), -1);
        for (int i = 1; i <= 300; ++i)
            insert(Customer {.id = i, .name = "a contact"});
        ASSERT_TRUE(database.commit());
        QFile::remove(generationPath(folder, 0));  // the first start's backup
        for (int g = 0; g < c.archives; ++g) {
            dateFile("Quillet.zrv", g + 1);
            ASSERT_TRUE(TBackupForm().backupTo(generationPath(folder, g)));
            if (c.unreadable) {  // dated by the file itself
                std::filesystem::resize_file(generationPath(folder, g).toStdString(), 100);
                dateFile(generationPath(folder, g), g + 1);
            }
        }
        window.reset();
        database.close();
        if (c.emptied)
            std::filesystem::resize_file("Quillet.zrv", 0);
        else
            std::filesystem::remove("Quillet.zrv");
        std::map<QString, QByteArray> expected;
        for (const auto& [name, bytes] : archivesIn(folder))
            expected[kept(QString(name).remove("Quillet").remove(".zbf").toInt())] = bytes;
        DatabaseWatch watch;
        ASSERT_EQ(start(), -1);
        EXPECT_EQ(watch.Messages(), QStringList {c.expected});
        EXPECT_EQ(watch.sizes, std::vector<qint64> {c.emptied ? 0 : -1});
        EXPECT_EQ(dbCursor<Customer>().select(), 0u);
        database.commit();
        EXPECT_EQ(archivesIn(folder), expected) << "a backup was written, or an archive changed";

        window.reset();
        database.close();
        for (const QString& name : QDir(folder).entryList(QDir::Files))
            QFile::remove(folder + "/" + name);
    }
}
