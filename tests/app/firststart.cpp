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
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <sys/stat.h>

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
    // a backup kept elsewhere is offered; no ends the start with the file as it was
    const QStringList questions = dialogs.Questions();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].startsWith("The database file Quillet.zrv in " + QDir::currentPath() +
                                        " cannot be read. There is no backup in that folder. Restore a backup kept "
                                        "elsewhere, such as on another disk, in its place?"))
        << questions[0].toStdString();
    EXPECT_EQ(std::filesystem::file_size("Quillet.zrv"), 8192u);
    EXPECT_EQ(QDir(".").entryList(QDir::Files), QStringList {"Quillet.zrv"});
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
// or a full disk during a copy, a sync tool): the start sets every archive
// aside under the names it gives, bytes unchanged, writes no backup of the
// new, empty database, and says so in a notice that names the folder, once
// the new database is there. The notice offers only an archive that can be
// read. In a folder where nothing can be renamed or made, the archives keep
// their names and the notice says so, and claims no new database.
TEST_F(MainWindowTest, BackupsWithoutADatabaseAreSetAsideToldAndKept)
{
    const QString folder = QString::fromStdString(dir.string());
    // generation g's archive is of March g + 1
    auto kept = [](int g) { return QString("Quillet%1-of-2026-03-0%2.zbf").arg(g).arg(g + 1); };
    auto restore = [&](const QString& name, int g) {
        return " The newest that can be read is " + name + QString(" of 2026-03-0%1").arg(g + 1) +
               ". To bring it back, choose Setup, then Backup, then Restore.";
    };
    const QString removed = "No database was found in " + folder + ", but it holds backups.";
    const QString fresh = " The program now starts with a new, empty database.";
    struct Case {
        const char* what;
        bool emptied;  // else removed
        int archives;
        bool unreadable;
        bool locked;  // the folder can be read but not written
        QString expected;
    } cases[] = {
        {"removed", false, 1, false, false,
         removed + " It is kept as " + kept(0) + ", where no automatic backup writes over it." + restore(kept(0), 0) +
             fresh},
        {"emptied", true, 1, false, false,
         "The database file Quillet.zrv in " + folder + " is empty, but the folder holds backups. It is kept as " +
             kept(0) + ", where no automatic backup writes over it." + restore(kept(0), 0) + fresh},
        {"removed, every generation taken", false, 7, false, false,
         removed + " They are kept as " + kept(0) + ", " + kept(1) + ", " + kept(2) + ", " + kept(3) + ", " +
             kept(4) + " and 2 more, where no automatic backup writes over them." + restore(kept(6), 6) + fresh},
        {"removed, no archive readable", false, 2, true, false,
         removed + " They are kept as " + kept(0) + " and " + kept(1) +
             ", where no automatic backup writes over them. None of them can be read, so none can be restored." +
             fresh},
        {"removed, the folder locked", false, 2, false, true,
         removed + " Quillet0.zbf and Quillet1.zbf could not be renamed: later automatic backups may write over "
                   "them." + restore("Quillet1.zbf", 1)},
    };
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
            expected[c.locked ? name : kept(QString(name).remove("Quillet").remove(".zbf").toInt())] = bytes;
        DatabaseWatch watch;
        if (c.locked) {
            for (const auto& [name, bytes] : archivesIn(folder))
                ASSERT_EQ(chmod(QFile::encodeName(folder + "/" + name).constData(), 0644), 0);
            ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
            AsAnotherUser other;
            EXPECT_EQ(start(), 1);
        } else {
            ASSERT_EQ(start(), -1);
            EXPECT_EQ(dbCursor<Customer>().select(), 0u);
            database.commit();
        }
        ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
        QStringList told {c.expected};
        if (c.locked)
            told << "Fail to open database."
                 << "The database file Quillet.zrv cannot be made in " + folder + ": Permission denied.";
        EXPECT_EQ(watch.Messages(), told);
        ASSERT_FALSE(watch.sizes.empty());
        EXPECT_EQ(watch.sizes[0] > 0, !c.locked) << "the new database is there when the notice says so";
        EXPECT_EQ(archivesIn(folder), expected) << "a backup was written, or an archive changed";

        window.reset();
        database.close();
        for (const QString& name : QDir(folder).entryList(QDir::Files))
            QFile::remove(folder + "/" + name);
    }
}

namespace {

// The program's own boxes, with the owner each was given; the message forms
// are shown (through the modal runner) so that their place can be seen.
class PlacedBoxes : public FormDialogs {
public:
    PlacedBoxes() : previous_(platform::SetDialogs(this))
    {
        SetModalRunner([this](QDialog& form) {
            form.show();
            centres.push_back(form.frameGeometry().center());
            form.hide();
            return 1;
        });
    }
    ~PlacedBoxes() override
    {
        SetModalRunner(nullptr);
        platform::SetDialogs(previous_);
    }
    void ShowMessage(const QString& text, platform::MessageKind kind, const QString& caption, QWidget* owner) override
    {
        texts << text;
        owners.push_back(owner);
        if (kind == platform::MessageKind::Information)  // the error box is Qt's own, placed the same way
            FormDialogs::ShowMessage(text, kind, caption, owner);
    }
    QStringList texts;
    std::vector<QWidget*> owners;
    std::vector<QPoint> centres;

private:
    platform::DialogService* previous_;
};

bool near(const QPoint& a, const QPoint& b) { return (a - b).manhattanLength() <= 4; }

}  // namespace

// A first start whose daily backup cannot be written (a folder holds the
// generation file's name): its boxes come before the main window and stand
// in the middle of the screen, not where the unshown window lies. Once the
// main window is shown, a box of a form that is not shown stands over it.
TEST_F(MainWindowTest, BoxesBeforeTheMainWindowStandInTheMiddleOfTheScreen)
{
    ASSERT_TRUE(QDir().mkdir("Quillet0.zbf"));
    PlacedBoxes boxes;
    ASSERT_EQ(start(), -1);
    EXPECT_EQ(boxes.texts, QStringList({"Cannot write to archive", "Fail to backup."}));
    EXPECT_EQ(boxes.owners, std::vector<QWidget*>({nullptr, nullptr}));
    const QPoint screen = QGuiApplication::primaryScreen()->availableGeometry().center();
    ASSERT_EQ(boxes.centres.size(), 1u);
    EXPECT_TRUE(near(boxes.centres[0], screen)) << boxes.centres[0].x() << "," << boxes.centres[0].y();

    window->move(10, 10);  // away from the middle of the screen
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    TBackupForm unshown(window.get());
    ShowInfo("Over the main window.", &unshown);
    EXPECT_EQ(boxes.owners.back(), window.get());
    ASSERT_EQ(boxes.centres.size(), 2u);
    EXPECT_TRUE(near(boxes.centres[1], window->frameGeometry().center()))
        << boxes.centres[1].x() << "," << boxes.centres[1].y();
}
