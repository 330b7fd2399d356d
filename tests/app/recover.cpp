// The ways back from a lost, unreadable or unreachable database, walked
// through the main window's start with the dialog seam scripted and real
// archive files: an unreadable database put aside and the newest readable
// backup restored, or one kept elsewhere (or, on No, nothing changed); a
// file the program may not open, never replaced; a full disk during the
// daily backup, which keeps the only archive, and during a restore, which
// says how much room it needs; a new database beside backups over eight
// days, which keeps them all where Restore finds them; a restore killed
// after each of its steps; and a start killed while it names records that
// the damage may have changed.
#include "contacts_fixture.h"

#include "backup/backupform.h"
#include "backup/generations.h"
#include "platform/application.h"

#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStorageInfo>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <optional>
#include <random>
#include <sys/mount.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using FolderBytes = std::map<QString, QByteArray>;

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray randomBytes(qsizetype n, unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray bytes(n, '\0');
    for (char& c : bytes)
        c = char(random());
    return bytes;
}

class Recover : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        folder = QString::fromStdString(dir.string());
    }

    QString path(const QString& name) const { return folder + "/" + name; }
    FolderBytes files() const { return filesIn(folder); }
    void emptyFolder() const
    {
        for (const QString& name : QDir(folder).entryList(QDir::Files))
            QFile::remove(path(name));
        QDir(path("stick")).removeRecursively();
    }
    static bool generationName(const QString& name)
    {
        return QRegularExpression("^Quillet[0-9]+\\.zbf$").match(name).hasMatch();
    }

    // Backups of a database of 30 contacts, stopped: Quillet0.zbf of contacts
    // 1 to 10 (of March 1), Quillet1.zbf of 1 to 20 (of March 2; its database
    // cut short when `newestDamaged`), a newer Quillet2.zbf that cannot be
    // read, and the archive `elsewhere` of 1 to 20, in a folder of its own.
    // The database's daily backup is due, with a rotation of 3.
    void makeArchives(bool newestDamaged, const QString& elsewhere)
    {
        ASSERT_EQ(start(), -1);
        addContacts(1, 10);
        dateFile("Quillet.zrv", 1);
        ASSERT_TRUE(TBackupForm().backupTo(path("Quillet0.zbf")));
        addContacts(11, 20);
        makeDailyBackupDue(3);
        dateFile("Quillet.zrv", 2);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(elsewhere).absolutePath()));
        ASSERT_TRUE(TBackupForm().backupTo(elsewhere));
        if (newestDamaged) {  // the archive whole, the database in it cut short
            database.close();
            const QByteArray sound = fileBytes(path("Quillet.zrv"));
            ASSERT_TRUE(QDir().mkpath(path("made")));
            writeBytes(path("made/Quillet.zrv"), sound.left(sound.size() / 2));
            dateFile(path("made/Quillet.zrv"), 2);
            ASSERT_TRUE(TBackupFile().Backup({path("made/Quillet.zrv")}, path("Quillet1.zbf")));
            QDir(path("made")).removeRecursively();
            ASSERT_TRUE(database.open("Quillet"));
        } else {
            ASSERT_TRUE(TBackupForm().backupTo(path("Quillet1.zbf")));
        }
        writeBytes(path("Quillet2.zbf"), "QZ2 and no more");
        // written within the same clock tick as Quillet1.zbf, it may bear the same time
        QFile unreadable(path("Quillet2.zbf"));
        ASSERT_TRUE(unreadable.open(QIODevice::ReadWrite)
                    && unreadable.setFileTime(QFileInfo(path("Quillet1.zbf")).lastModified().addSecs(1),
                                              QFileDevice::FileModificationTime));
        addContacts(21, 30);
        stop();
    }

    // Quillet0.zbf of contacts 1 to 20 beside the database of 30, stopped;
    // for a restore at start, the database file then filled with random
    // bytes, which are returned.
    QByteArray backupOf20AndDatabaseOf30(bool unreadable)
    {
        EXPECT_EQ(start(), -1);
        addContacts(1, 20);
        EXPECT_TRUE(TBackupForm().backupTo(path("Quillet0.zbf")));
        addContacts(21, 30);
        stop();
        const QByteArray random = randomBytes(fileBytes(path("Quillet.zrv")).size(), 11);
        if (unreadable)
            writeBytes(path("Quillet.zrv"), random);
        return random;
    }

    // Adds contacts numbered from..to (each with a remark of random bytes
    // when `bulky`, so that their archive is about that large) and commits.
    static void addContacts(int from, int to, bool bulky = false)
    {
        for (int i = from; i <= to; ++i) {
            const std::string remark = bulky ? randomBytes(1000, i).toHex().toStdString() : std::string();
            insert(Customer {.id = i, .name = "a contact", .remark = remark.c_str()});
        }
        ASSERT_TRUE(database.commit());
    }
    // Setup's Restore from the backup `name`, Yes at its question: the run ends.
    void restoreFromSetup(const QString& name)
    {
        dialogs.AnswerFile(path(name));
        dialogs.AnswerQuestion(true);
        EXPECT_THROW(TBackupForm(window.get()).restoreClick(), platform::ProgramExit);
    }
    static int contacts()
    {
        const int n = int(dbCursor<Customer>().select());
        database.commit();
        return n;
    }

    QString folder;
};

// Leaves little room for a new file in the working directory: a small file
// system mounted there and filled (where this process may mount one), else
// the process's file-size limit.
class FullDisk {
public:
    // Mounts the small file system at once when `mount` (mounted() tells
    // whether it could), and goes into it.
    FullDisk(const std::filesystem::path& dir, bool mount) : dir_(dir)
    {
        mounted_ = mount && ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=8m") == 0;
        if (mounted_)
            std::filesystem::current_path(dir);  // into the new file system
    }
    bool mounted() const { return mounted_; }
    // Leaves less than `room` bytes for a new file: fills the mounted file
    // system up to it, else limits the size of a file to it. False when
    // neither could be done.
    bool leave(qint64 room)
    {
        if (!mounted_) {
            signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &before_);
            rlimit small = before_;
            small.rlim_cur = rlim_t(room);
            limited_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
            return limited_;
        }
        QFile filler("filler");
        const QByteArray block(4096, 'f');
        bool written = filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        while (written && QStorageInfo(QString::fromStdString(dir_.string())).bytesAvailable() > room)
            written = filler.write(block) == block.size();
        return written;
    }
    // Ends the limit, or unmounts (the caller has closed the database).
    ~FullDisk()
    {
        if (limited_)
            setrlimit(RLIMIT_FSIZE, &before_);
        if (mounted_) {
            std::filesystem::current_path(dir_.parent_path());
            umount2(dir_.c_str(), MNT_DETACH);
            std::filesystem::current_path(dir_);
        }
    }

private:
    std::filesystem::path dir_;
    bool mounted_ = false;
    bool limited_ = false;
    rlimit before_ {};
};

}  // namespace

// Quillet.zrv filled with random bytes, or cut to half its length, beside
// two readable archives and a newer unreadable one: after "Fail to open
// database." the start names the file and its folder and offers the newest
// readable archive, saying that the newer one cannot be read. Yes keeps the
// file under the name it gave and restores; the run then writes over no
// archive (the restored database's daily backup is due). An archive whose
// database fails the restore's checks is skipped, and the offer of the next
// one says why. With no readable archive left in the folder, one chosen
// elsewhere is offered, restored through the same checks, offered again
// after one that fails; its file dialog opens in the documents folder, then
// in the folder of the file picked before, as every other file dialog of the
// program. No, or a cancelled choice, ends the program with every file as
// it was.
TEST_F(Recover, AnUnreadableDatabaseIsKeptAndTheNewestReadableBackupRestored)
{
    const QString head = "The database file Quillet.zrv in " + folder + " cannot be read. ";
    // generation g's archive is of March g + 1
    auto offer = [](int g, bool newest) {
        return QString("The %1 backup that can be read is Quillet%2.zbf of 2026-03-0%3. Restore it in its place?")
            .arg(newest ? "newest" : "next")
            .arg(g)
            .arg(g + 1);
    };
    const QString newer = "Quillet2.zbf, a newer backup, cannot be read either. ";
    const QString damaged1 = "The backup Quillet1.zbf could not be restored: the database in it is damaged "
                             "(Database file was corrupted: invalid file layout). ";
    const QString elsewhere = "Restore a backup kept elsewhere, such as on another disk, in its place?";
    const QString failed = "Fail to open database.";
    const QString completed = "Restore Completed.";
    const QString stick = path("stick/Quillet.zbf");  // of contacts 1 to 20
    const QString notes = path("stick/notes.zbf");    // no archive
    struct Case {
        const char* what;
        bool cutInHalf;  // else random bytes
        bool newestDamaged;
        QStringList removed;  // archives taken out of the folder
        std::deque<bool> answers;
        std::deque<QString> chosen;
        QStringList messages;
        QStringList questions;  // without the name the file is kept under
        int contacts;           // -1: the program ends
    } cases[] = {
        {"random bytes, yes", false, false, {}, {true}, {}, {failed, completed}, {head + newer + offer(1, true)}, 20},
        {"the newest backup's database damaged, yes twice", false, true, {}, {true, true}, {}, {failed, completed},
         {head + newer + offer(1, true), head + damaged1 + offer(0, false)}, 10},
        {"cut in half, no", true, false, {}, {false}, {}, {failed}, {head + newer + offer(1, true)}, -1},
        {"only an unreadable backup in the folder, one chosen elsewhere", false, false,
         {"Quillet0.zbf", "Quillet1.zbf"}, {true}, {stick}, {failed, completed},
         {head + "No backup in that folder can be read. " + elsewhere}, 20},
        {"the only readable backup's database damaged, then one chosen elsewhere", false, true, {"Quillet0.zbf"},
         {true, true}, {stick}, {failed, completed},
         {head + newer + offer(1, true), head + damaged1 + "No other backup in that folder can be read. " + elsewhere},
         20},
        {"no backup at all, a chosen file that is none, then the choice cancelled", false, false,
         {"Quillet0.zbf", "Quillet1.zbf", "Quillet2.zbf"}, {true, true}, {notes}, {failed},
         {head + "There is no backup in that folder. " + elsewhere,
          head + "The backup notes.zbf could not be restored: it cannot be read. " + elsewhere},
         -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        makeArchives(c.newestDamaged, stick);
        writeBytes(notes, randomBytes(5000, 9));
        for (const QString& name : c.removed)
            ASSERT_TRUE(QFile::remove(path(name)));
        const QByteArray sound = fileBytes(path("Quillet.zrv"));
        const QByteArray damaged = c.cutInHalf ? sound.left(sound.size() / 2) : randomBytes(sound.size(), 7);
        writeBytes(path("Quillet.zrv"), damaged);
        const FolderBytes before = files();

        dialogs.shown.clear();
        dialogs.questions = c.answers;
        dialogs.files = c.chosen;
        dialogs.fileRequests.clear();
        const QDate dayBefore = QDate::currentDate();
        ASSERT_TRUE(QDir().mkpath(path("home/Documents")));
        {
            const UserHome user(path("home"));
            EXPECT_EQ(start(), c.contacts < 0 ? 1 : -1);
        }
        for (size_t i = 0; i < dialogs.fileRequests.size(); ++i)
            EXPECT_EQ(dialogs.fileRequests[i].directory,
                      i == 0 ? path("home/Documents") : QFileInfo(c.chosen[i - 1]).absolutePath());
        const QDate dayAfter = QDate::currentDate();
        EXPECT_EQ(dialogs.Messages(), c.messages);
        const QString kept = dialogs.Questions().value(0).section("kept as ", 1).chopped(1);
        EXPECT_TRUE(kept == "Quillet-unreadable-" + dayBefore.toString("yyyy-MM-dd") + ".zrv" ||
                    kept == "Quillet-unreadable-" + dayAfter.toString("yyyy-MM-dd") + ".zrv")
            << kept.toStdString();
        QStringList questions;
        for (const QString& q : c.questions)
            questions << q + " The unreadable file will be kept as " + kept + ".";
        EXPECT_EQ(dialogs.Questions(), questions);
        EXPECT_TRUE(dialogs.files.empty() && dialogs.questions.empty()) << "an answer was not asked for";
        if (c.contacts < 0) {
            EXPECT_TRUE(files() == before) << "a file changed";
        } else {
            EXPECT_EQ(contacts(), c.contacts);
            EXPECT_EQ(QFile::permissions(path("Quillet.zrv")) & (QFile::ReadOther | QFile::ReadGroup), 0)
                << "the restored database is readable by others";
            stop();
            FolderBytes after = files();
            EXPECT_TRUE(after[kept] == damaged) << "the unreadable file is not kept under the name given";
            after.erase("Quillet.zrv");
            after.erase(kept);
            for (const auto& [name, bytes] : before) {  // only a free generation may have been added
                if (name != "Quillet.zrv") {
                    EXPECT_TRUE(after[name] == bytes) << name.toStdString() << " was written over";
                }
                after.erase(name);
            }
            for (const auto& [name, bytes] : after)
                EXPECT_TRUE(generationName(name)) << name.toStdString() << " was left behind";
        }
        stop();
        emptyFolder();
    }
}

// A file the program may not open may well be a sound database: it is never
// put aside, however good the backups beside it (random bytes behind it, so
// that only its mode stops the open), and the start says why it could not
// be opened. One that another process holds is opened and turned away before
// any check.
TEST_F(Recover, AFileThatCannotBeOpenedIsNeverReplaced)
{
    ASSERT_EQ(start(), -1);
    addContacts(1, 10);
    ASSERT_TRUE(TBackupForm().backupTo(path("Quillet0.zbf")));
    stop();
    ASSERT_EQ(chmod(QFile::encodeName(path("Quillet0.zbf")).constData(), 0644), 0);  // readable by all
    writeBytes(path("Quillet.zrv"), randomBytes(fileBytes(path("Quillet.zrv")).size(), 3));
    ASSERT_EQ(chmod(QFile::encodeName(path("Quillet.zrv")).constData(), 0), 0);
    const FolderBytes locked = files();

    dialogs.AnswerQuestion(true);
    {
        AsAnotherUser other;
        EXPECT_EQ(start(), 1);
    }
    dialogs.questions.clear();
    EXPECT_EQ(dialogs.Messages(), (QStringList {"Fail to open database.",
                                               "The database file Quillet.zrv in " + folder +
                                                   " may not be opened by this user (Permission denied). Its owner, or "
                                                   "an administrator, can give this user the right to read and write it."}));
    EXPECT_TRUE(dialogs.Questions().isEmpty());
    EXPECT_TRUE(files() == locked);
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(path("Quillet.zrv")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0u);
}

// One generation kept, and the disk too full for the next daily backup (a
// full small file system, or the process's file-size limit): the archive
// stays byte for byte, nothing is left beside it, and the user is told that
// the disk was full and that no daily backup is made that day; a backup as
// the program ends says that none is made then.
TEST_F(Recover, AFullDiskKeepsTheOnlyBackupByteForByte)
{
    for (const bool mount : {true, false}) {
        SCOPED_TRACE(mount ? "small file system" : "file-size limit");
        std::optional<FullDisk> disk(std::in_place, dir, mount);
        if (mount && !disk->mounted())
            continue;  // no right to mount here: the limit below stands for it
        ASSERT_EQ(start(), -1);
        addContacts(1, 300, true);
        makeDailyBackupDue(1);
        ASSERT_TRUE(TBackupForm().backupTo(path("Quillet0.zbf")));
        stop();
        const qint64 archive = QFileInfo(path("Quillet0.zbf")).size();
        ASSERT_GT(archive, 300 * 1000);
        ASSERT_TRUE(disk->leave(archive / 2));
        FolderBytes before = files();
        before.erase("Quillet.zrv");  // the start stores the day of its backup

        dialogs.shown.clear();
        ASSERT_EQ(start(), -1);
        {
            dbCursor<Config> config(dbCursorForUpdate);
            ASSERT_EQ(config.select(), 1u);
            config->everytime = true;
            config.update();
        }
        TBackupForm(window.get()).autoBackupOnExit();
        const QString full = "Cannot write to archive: the disk holding " + folder + " is full";
        const QString room = " make room on the disk holding " + folder;
        EXPECT_EQ(dialogs.Messages(),
                  QStringList({full,
                               "Fail to backup.\nNo daily backup is made today: it is made at the first start of each "
                               "day. To back up today," + room + " and choose Backup in the setup dialog (Setup).",
                               full, "Fail to backup.\nNo backup is made as the program ends. M" + room.mid(2) +
                                         " before the next backup."}));
        stop();
        FolderBytes after = files();
        after.erase("Quillet.zrv");
        EXPECT_TRUE(after == before) << "the archive changed, or a partial one was left";
        disk.reset();
        emptyFolder();
    }
}

// The newest backup's database (300 contacts) larger than the room left in
// the folder (a full small file system, or the process's file-size limit),
// an older, smaller one beside it. A restore at start, and Setup's Restore,
// say first that the backup needs room in that folder and how much (and how
// little is free, where that is the reason); the start offers nothing older,
// and every file stays as it was.
TEST_F(Recover, AFullDiskStopsARestoreWithTheRoomItNeeds)
{
    auto bytesOf = [](const QString& size) {  // "25 MB", "700 KB"
        return size.section(' ', 0, 0).toLongLong() * (size.endsWith("MB") ? 1 << 20 : 1 << 10);
    };
    for (const bool mount : {true, false}) {
        for (const bool atStart : {true, false}) {
            SCOPED_TRACE(std::string(mount ? "small file system" : "file-size limit") +
                         (atStart ? ", at start" : ", from Setup"));
            std::optional<FullDisk> disk(std::in_place, dir, mount);
            if (mount && !disk->mounted())
                continue;  // no right to mount here: the limit below stands for it
            ASSERT_EQ(start(), -1);
            addContacts(1, 10);
            ASSERT_TRUE(TBackupForm().backupTo(path("Quillet0.zbf")));
            addContacts(11, 300, true);
            ASSERT_TRUE(TBackupForm().backupTo(path("Quillet1.zbf")));
            stop();
            const qint64 needed = QFileInfo(path("Quillet.zrv")).size();
            if (atStart)
                writeBytes(path("Quillet.zrv"), randomBytes(needed, 5));
            ASSERT_TRUE(disk->leave(needed / 2));
            FolderBytes before = files();

            dialogs.shown.clear();
            if (atStart) {
                dialogs.AnswerQuestion(true);
                EXPECT_EQ(start(), 1);
                EXPECT_EQ(dialogs.Questions().size(), 1) << "an older backup was offered";
            } else {
                ASSERT_EQ(start(), -1);
                before.erase("Quillet.zrv");  // a start writes to it
                restoreFromSetup("Quillet1.zbf");
            }
            const qint64 free = QStorageInfo(folder).bytesAvailable();
            const QStringList told = dialogs.Messages();
            ASSERT_EQ(told.size(), 2);
            EXPECT_EQ(told[atStart ? 0 : 1],
                      atStart ? "Fail to open database." : "Fail to restore. Restart the program.");
            const QRegularExpressionMatch m =
                QRegularExpression("^The backup Quillet1\\.zbf could not be restored: it needs ([0-9]+ [KM]B) free in "
                                   "(.+), and (only ([0-9]+ [KM]B) is free there|writing there failed)\\. The "
                                   "database file Quillet\\.zrv has been left as it was\\.( Make room there and try "
                                   "again\\.)?$")
                    .match(told[atStart ? 1 : 0]);
            ASSERT_TRUE(m.hasMatch()) << told[atStart ? 1 : 0].toStdString();
            EXPECT_EQ(m.captured(2), folder);
            EXPECT_GE(bytesOf(m.captured(1)), needed);
            EXPECT_EQ(m.hasCaptured(4), mount) << "the room free is told when it is the reason";
            if (mount) {
                EXPECT_LE(bytesOf(m.captured(4)), free);
                EXPECT_LT(bytesOf(m.captured(4)), needed);
                EXPECT_TRUE(m.hasCaptured(5));
            }
            FolderBytes after = files();
            if (!atStart)
                after.erase("Quillet.zrv");
            EXPECT_TRUE(after == before) << "a file changed, or a copy was left";
            stop();
            if (!atStart) {
                ASSERT_EQ(start(), -1);
                EXPECT_EQ(contacts(), 300);
                stop();
            }
            disk.reset();
            emptyFolder();
        }
    }
}

// Quillet.zrv gone beside three good archives: the start sets them aside
// (as app_firststart shows), and eight days of daily backups of the new
// database later all three are there byte for byte, offered by Restore,
// which brings back the newest.
TEST_F(Recover, ANewDatabaseBesideThreeBackupsKeepsThemOverEightDays)
{
    ASSERT_EQ(start(), -1);
    FolderBytes kept;
    for (int g = 0; g < 3; ++g) {
        addContacts(100 * g + 1, 100 * g + 100);
        dateFile("Quillet.zrv", g + 1);
        ASSERT_TRUE(TBackupForm().backupTo(generationPath(folder, g)));
        kept[QString("Quillet%1-of-2026-03-0%2.zbf").arg(g).arg(g + 1)] = fileBytes(generationPath(folder, g));
    }
    stop();
    std::filesystem::remove("Quillet.zrv");

    for (int day = 0; day <= 8; ++day) {  // the start that sets them aside, then one a day
        ASSERT_EQ(start(), -1) << day;
        makeDailyBackupDue(7);
        stop();
    }
    EXPECT_EQ(generationArchives(folder).size(), 7);
    for (const auto& [name, bytes] : kept)
        EXPECT_TRUE(fileBytes(path(name)) == bytes) << name.toStdString();

    ASSERT_EQ(start(), -1);
    dialogs.shown.clear();
    restoreFromSetup("Quillet2-of-2026-03-03.zbf");
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    const platform::FileRequest& offered = dialogs.fileRequests[0];
    QStringList patterns;
    for (const QString& filter : offered.filters)
        patterns << filter.section('(', 1).chopped(1).split(' ');
    const QStringList listed = QDir(offered.directory).entryList(patterns, QDir::Files);
    for (const auto& [name, bytes] : kept)
        EXPECT_TRUE(listed.contains(name)) << name.toStdString() << " is not offered";
    EXPECT_EQ(dialogs.Messages(), QStringList {"Restore Completed. Restart the program."});
    stop();
    ASSERT_EQ(start(), -1);
    EXPECT_EQ(contacts(), 300);
}

// A start that is killed while it names records whose keys disagree with the
// indexes: the next start names them again and makes no automatic backup,
// until the user has seen them; the start after that is silent and makes
// its daily backup again.
//
// The killed start is the program's own start in a child process (this test
// program run again, with QUILLET_DYING_START set): its dialog seam writes
// the message's text to its standard output and waits; the test kills it
// with SIGKILL as soon as the text has come. A restore killed after one of
// its steps is run so too (QUILLET_KILLED_RESTORE set to the step and where
// the restore starts): the child kills itself there.
namespace {

constexpr const char* kChildVariable = "QUILLET_DYING_START";
constexpr const char* kKilledRestoreVariable = "QUILLET_KILLED_RESTORE";
constexpr char kMessageMark = '\x02';  // before the message, after Google Test's own output

// In the child: starts the main window in the working folder and never
// returns. Its end without any message is told by the output's end alone.
class DyingStart : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (std::getenv(kChildVariable) == nullptr)
            return;
        testApplication();
        // A message goes out, then the process waits to be killed, as a
        // start waits for the user to read it.
        struct MessageOut : platform::ScriptedDialogs {
            void ShowMessage(const QString& text, platform::MessageKind, const QString&, QWidget*) override
            {
                std::printf("%c%s%c", kMessageMark, text.toUtf8().constData(), '\0');
                std::fflush(stdout);
                sleep(120);  // killed long before, unless the test itself ended
                _exit(3);
            }
        } dialogs;
        try {
            TMainListForm window;
            const bool signalled = std::string(std::getenv(kChildVariable)) == "signal";
            if (signalled) {  // then ended by a signal
                platform::Application::EndOnSignals([] {
                    database.rollback();
                    database.close();
                });
                platform::SetExitHandler([](int code) { _exit(code); });
            }
            std::printf("%cup%c", kMessageMark, '\0');  // without a message
            std::fflush(stdout);
            if (signalled)
                QApplication::exec();
        } catch (...) {
        }
        _exit(0);
    }
};
[[maybe_unused]] ::testing::Environment* const dyingStart = ::testing::AddGlobalTestEnvironment(new DyingStart);

// In the child: a restore of Quillet0.zbf, at start ("<step> start": the
// database file cannot be read, and the offer is answered Yes) or from
// Setup ("<step> setup"), during which the process kills itself after the
// step.
class KilledRestore : public ::testing::Environment {
public:
    void SetUp() override
    {
        const char* what = std::getenv(kKilledRestoreVariable);
        if (what == nullptr)
            return;
        testApplication();
        const QStringList words = QString(what).split(' ');
        const auto step = TBackupForm::RestoreStep(words.value(0).toInt());
        TBackupForm::RestoreStepDone() = [step](TBackupForm::RestoreStep done) {
            if (done == step)
                raise(SIGKILL);
        };
        platform::ScriptedDialogs dialogs;
        dialogs.AnswerQuestion(true);
        dialogs.AnswerFile(QDir::current().absoluteFilePath("Quillet0.zbf"));
        try {
            TMainListForm window;
            if (words.value(1) == "setup")
                TBackupForm(&window).restoreClick();
        } catch (...) {
        }
        _exit(0);  // not killed: the step was never reached
    }
};
[[maybe_unused]] ::testing::Environment* const killedRestore = ::testing::AddGlobalTestEnvironment(new KilledRestore);

// Runs the running test's program again in a child, in the working folder,
// with the variable set. Google Test sets up its environments only when a
// test is to run: the child is given this one, which it never reaches.
void startThisTestInAChild(QProcess& child, const char* variable, const QString& value)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(variable, value);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(environment);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    child.start(QCoreApplication::applicationFilePath(),
                {QString("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name())});
}

// Whether a restore in a child process ended by its kill after `step`,
// within two minutes.
bool restoreKilledAfter(TBackupForm::RestoreStep step, bool atStart)
{
    QProcess child;
    startThisTestInAChild(child, kKilledRestoreVariable,
                          QString("%1 %2").arg(int(step)).arg(atStart ? "start" : "setup"));
    return child.waitForFinished(120000) && child.exitStatus() == QProcess::CrashExit;
}

// An OS user other than the test's, and a group of its own.
struct OsUser {
    uid_t uid;
    gid_t gid;
};

// The first message of a start of the program in a child process (as
// `user` when one is given), which is then killed: "up" when it came up
// without one, empty when it did not come up within two minutes. Started as
// "signal", the child stays up and is ended by SIGTERM, whose exit status
// is returned.
QString messageOfAKilledStart(std::optional<OsUser> user = std::nullopt, const char* how = "1")
{
    QProcess child;
    if (user) {
        child.setChildProcessModifier([user] {
            if (setgroups(1, &user->gid) != 0 || setgid(user->gid) != 0 || setuid(user->uid) != 0)
                _exit(4);
        });
    }
    startThisTestInAChild(child, kChildVariable, how);
    QByteArray out;
    qsizetype from = -1, to = -1;
    while ((from = out.indexOf(kMessageMark)) < 0 || (to = out.indexOf('\0', from)) < 0) {
        if (!child.waitForReadyRead(120000))
            return {};  // the child is killed as `child` goes
        out += child.readAllStandardOutput();
    }
    if (std::string(how) == "signal") {
        ::kill(pid_t(child.processId()), SIGTERM);
        return child.waitForFinished(120000) && child.exitStatus() == QProcess::NormalExit
                   ? QString::number(child.exitCode())
                   : QString("not ended");
    }
    child.kill();
    child.waitForFinished();
    return QString::fromUtf8(out.mid(from + 1, to - from - 1));
}

}  // namespace

TEST_F(ContactsTest, AStartKilledWhileItNamesChangedRecordsNamesThemAgain)
{
    std::vector<oid_t> contacts;
    for (int i = 1; i <= 30; ++i)
        contacts.push_back(addCustomer(i, ("Contact " + std::to_string(i)).c_str()));
    makeDailyBackupDue();  // and so at every start
    const int64_t id22 = int64_t(database.getPos(contacts[21])) + Customer::dbDescriptor.find("id")->dbsOffs;
    database.commit();
    stop();
    const std::map<QString, QByteArray> archives = archiveBytes();
    ASSERT_FALSE(archives.empty()) << "the first start's daily backup";
    QFile file("Quillet.zrv");
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const uint32_t changedId = 2200;
    ASSERT_TRUE(file.seek(id22) && file.write(reinterpret_cast<const char*>(&changedId), 4) == 4);
    file.close();

    const QString warning = messageOfAKilledStart();
    ASSERT_TRUE(warning.startsWith("The database file is damaged: the stored values")) << warning.toStdString();
    EXPECT_EQ(warning.split('\n').value(1), "Contact ID 2200: Contact 22");

    dialogs.shown.clear();
    ASSERT_EQ(start(), -1);
    EXPECT_EQ(dialogs.Messages(), QStringList{warning}) << "the same warning, until it has been seen";
    EXPECT_EQ(archiveBytes(), archives) << "a changed file was archived";

    stop();
    dialogs.shown.clear();
    ASSERT_EQ(start(), -1);
    EXPECT_EQ(dialogs.Messages(), QStringList{}) << "seen: the next start is silent";
    EXPECT_NE(archiveBytes(), archives) << "and makes its daily backup";
}

// A restore of Quillet0.zbf (contacts 1 to 20) killed after each of its
// steps, at start (the database file random bytes) and from Setup (the
// database of 30 contacts). The next start puts the checked copy in place
// when the database file is gone, says that the restore did not finish when
// the file is still there (then, at start, offers the backup again, and Yes
// restores it), and is silent when the restore was done; a copy that fails
// its checks again is never put in place. No copy is left, and at start the
// unreadable file is kept.
TEST_F(Recover, ARestoreKilledAfterEachStepIsFinishedOrUndoneByTheNextStart)
{
    using Step = TBackupForm::RestoreStep;
    const QString cutOff = "A restore of a backup was cut off before it was finished";
    const QString undone = cutOff + ". The database file Quillet.zrv in " + folder + " is as it was before it.";
    const QString finished = cutOff + ". It has now been finished: the database file Quillet.zrv in " + folder +
                             " holds the restored database.";
    const QString copyDamaged = cutOff + ", and the copy it left in " + folder +
                                " (Quillet.zrv.restore) is damaged, so it has not been put in place (";
    const QString failed = "Fail to open database.";
    const QString completed = "Restore Completed.";
    struct Case {
        const char* what;
        Step step;
        bool atStart;
        bool copyDamagedAfter;
        QStringList messages;  // the start of each
        int contacts;
    } cases[] = {
        {"at start, the copy written", Step::CopyWritten, true, false, {undone, failed, completed}, 20},
        {"at start, the copy checked", Step::CopyChecked, true, false, {undone, failed, completed}, 20},
        {"at start, the file renamed aside", Step::CurrentKeptAside, true, false, {finished}, 20},
        {"at start, the copy in place", Step::CopyInPlace, true, false, {}, 20},
        {"at start, the file renamed aside, the copy damaged after", Step::CurrentKeptAside, true, true,
         {copyDamaged, "No database was found in " + folder + ", but it holds backups."}, 0},
        {"from Setup, the copy written", Step::CopyWritten, false, false, {undone}, 30},
        {"from Setup, the copy checked", Step::CopyChecked, false, false, {undone}, 30},
        {"from Setup, the copy in place", Step::CopyInPlace, false, false, {}, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray unreadable;
        ASSERT_NO_FATAL_FAILURE(unreadable = backupOf20AndDatabaseOf30(c.atStart));

        ASSERT_TRUE(restoreKilledAfter(c.step, c.atStart));
        ASSERT_EQ(QFileInfo::exists(path("Quillet.zrv.restore")), c.step != Step::CopyInPlace) << "what the kill left";
        ASSERT_EQ(QFileInfo::exists(path("Quillet.zrv")), c.step != Step::CurrentKeptAside);
        if (c.copyDamagedAfter) {
            const QByteArray copy = fileBytes(path("Quillet.zrv.restore"));
            writeBytes(path("Quillet.zrv.restore"), copy.left(copy.size() / 2));
        }
        dialogs.shown.clear();
        dialogs.AnswerQuestion(true);  // the backup, offered again at start
        ASSERT_EQ(start(), -1);
        dialogs.questions.clear();
        const QStringList told = dialogs.Messages();
        ASSERT_EQ(told.size(), c.messages.size()) << told.join('\n').toStdString();
        for (qsizetype i = 0; i < told.size(); ++i)
            EXPECT_TRUE(told[i].startsWith(c.messages[i])) << told[i].toStdString();
        EXPECT_EQ(contacts(), c.contacts);
        stop();
        EXPECT_FALSE(QFileInfo::exists(path("Quillet.zrv.restore"))) << "a copy was left";
        const FolderBytes kept = filesIn(folder, {"Quillet-unreadable-*.zrv"});
        EXPECT_EQ(kept.size(), c.atStart ? 1u : 0u);
        if (!kept.empty()) {
            EXPECT_TRUE(kept.begin()->second == unreadable) << "the unreadable file is not kept";
        }
        emptyFolder();
    }
}

// A second start of the program, in a process of its own, while a restore
// from Setup or at start is between its steps: it says that a backup is
// being restored and touches no file; the restore then completes and says
// so, and the database at the name is the restored one (contacts 1 to 20).
// Also when the start is another OS user's, in a folder the two users share
// through a group (set up by hand: the folder and the database file are the
// group's; the lock file the test's user made under the usual umask, or a
// third user, which the others may only read, as an earlier release made it).
TEST_F(Recover, AStartDuringARestoreLeavesItAlone)
{
    using Step = TBackupForm::RestoreStep;
    const QString restoring = "A backup is being restored in " + folder +
                              " by another run of the program, so the database cannot be opened now. Start the "
                              "program again once the restore has finished.";
    const QStringList fromSetup {"Restore Completed. Restart the program."};
    const QStringList atStart {"Fail to open database.", "Restore Completed."};
    const OsUser other {50002, 50000};  // the group's other user
    const struct {
        const char* what;
        Step step;
        bool atStart;
        bool otherUser;
        bool thirdUsersLock;
    } cases[] = {
        {"from Setup, the copy written", Step::CopyWritten, false, false, false},
        {"from Setup, the copy checked", Step::CopyChecked, false, false, false},
        {"at start, the copy checked", Step::CopyChecked, true, false, false},
        {"at start, the file kept aside", Step::CurrentKeptAside, true, false, false},
        {"from Setup, the copy written, another user's start", Step::CopyWritten, false, true, false},
        {"from Setup, the copy written, another user's start, a third user's lock file", Step::CopyWritten, false,
         true, true},
    };
    const auto noSeam = qScopeGuard([] { TBackupForm::RestoreStepDone() = nullptr; });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.otherUser && geteuid() != 0)
            GTEST_SKIP() << "a start by another OS user needs the test to run as root";
        const QByteArray folderName = QFile::encodeName(folder);
        if (c.otherUser) {
            umask(022);
            ASSERT_EQ(chown(folderName.constData(), 0, other.gid), 0);
            ASSERT_EQ(chmod(folderName.constData(), 02770), 0);
        }
        ASSERT_NO_FATAL_FAILURE(backupOf20AndDatabaseOf30(c.atStart));
        if (c.otherUser) {
            ASSERT_EQ(chmod(QFile::encodeName(path("Quillet.zrv")).constData(), 0660), 0);
            ASSERT_EQ(chmod(QFile::encodeName(path(".Quillet.lock")).constData(), 0644), 0);
        }
        if (c.thirdUsersLock) {
            ASSERT_EQ(chown(QFile::encodeName(path(".Quillet.lock")).constData(), 50003, other.gid), 0);
        }
        QString told = "(no second start)";
        TBackupForm::RestoreStepDone() = [&](Step done) {
            if (done == c.step)
                told = messageOfAKilledStart(c.otherUser ? std::optional(other) : std::nullopt);
        };
        dialogs.shown.clear();
        if (c.atStart) {
            dialogs.AnswerQuestion(true);
            ASSERT_EQ(start(), -1);
        } else {
            ASSERT_EQ(start(), -1);
            restoreFromSetup("Quillet0.zbf");
        }
        TBackupForm::RestoreStepDone() = nullptr;
        EXPECT_EQ(told, restoring);
        EXPECT_EQ(dialogs.Messages(), c.atStart ? atStart : fromSetup);
        stop();
        ASSERT_EQ(start(), -1);
        EXPECT_EQ(contacts(), 20);
        stop();
        EXPECT_FALSE(QFileInfo::exists(path("Quillet.zrv.restore"))) << "a copy was left";
        if (c.otherUser && !c.thirdUsersLock) {
            // the lock file is the other user's too: its start settles what a killed restore left
            ASSERT_TRUE(QFile::copy(path("Quillet0.zbf"), path("Quillet.zrv.restore")));
            EXPECT_EQ(messageOfAKilledStart(other), "A restore of a backup was cut off before it was finished. The "
                                                    "database file Quillet.zrv in " + folder + " is as it was before it.");
            EXPECT_FALSE(QFileInfo::exists(path("Quillet.zrv.restore")));
        }
        emptyFolder();
    }
}

// Two OS users of one group share a set-group-ID folder, the test's user
// (root) with umask 077 and another: whatever the first one does, the
// other's start is never locked out. The database made under umask 077 and
// then shared with the group (the lock file too is the group's from the
// first start), and with a lock file its owner kept for itself in a folder
// the other may not write; a run killed while it has the database open, and one ended
// by SIGTERM (which leaves no monitor and a file marked clean); a restore
// from Setup (the restored file is the group's, as the replaced one was);
// a restore at start killed after it kept the unreadable file aside, which
// the other user's start finishes; and while the database is open, the
// other's start is told that it is in use. Skipped where the test does not
// run as root.
TEST_F(Recover, TwoUsersOfAGroupFolderAreNeverLockedOut)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "another OS user's start needs the test to run as root";
    const OsUser other {50002, 50000};
    const QByteArray database = QFile::encodeName(path("Quillet.zrv"));
    ASSERT_EQ(chown(QFile::encodeName(folder).constData(), 0, other.gid), 0);
    ASSERT_EQ(chmod(QFile::encodeName(folder).constData(), 02770), 0);
    const mode_t umaskBefore = umask(077);
    const auto umaskBack = qScopeGuard([umaskBefore] { umask(umaskBefore); });
    ASSERT_NO_FATAL_FAILURE(backupOf20AndDatabaseOf30(false));
    ASSERT_EQ(chmod(database.constData(), 0660), 0);
    EXPECT_EQ(messageOfAKilledStart(other), "up") << "the database made under umask 077, shared";
    const QByteArray lock = QFile::encodeName(path(".Quillet.lock")), dir = QFile::encodeName(folder);
    ASSERT_TRUE(chmod(lock.constData(), 0600) == 0 && chmod(dir.constData(), 02750) == 0);
    EXPECT_EQ(messageOfAKilledStart(other), "up") << "a lock file made for its owner alone, the folder not theirs";
    ASSERT_TRUE(chmod(lock.constData(), 0660) == 0 && chmod(dir.constData(), 02770) == 0);

    const pid_t killed = holdDatabaseInChild();
    ASSERT_GT(killed, 0);
    kill(killed, SIGKILL);
    waitpid(killed, nullptr, 0);
    EXPECT_EQ(messageOfAKilledStart(other), "up") << "a run killed while open";

    EXPECT_EQ(messageOfAKilledStart(std::nullopt, "signal"), "0") << "SIGTERM";
    struct stat st {};
    ASSERT_EQ(stat(database.constData(), &st), 0);
    EXPECT_EQ(QDir("/dev/shm").entryList({QString("quillet-%1-%2*").arg(st.st_dev).arg(st.st_ino)}, QDir::Files),
              QStringList {}) << "a monitor left by the run that SIGTERM ended";
    EXPECT_EQ(fileBytes(path("Quillet.zrv")).mid(8, 4), QByteArray(4, '\0')) << "the file is not marked clean";

    ASSERT_EQ(start(), -1);
    restoreFromSetup("Quillet0.zbf");
    stop();
    ASSERT_EQ(stat(database.constData(), &st), 0);
    EXPECT_EQ(st.st_gid, other.gid);
    EXPECT_EQ(st.st_mode & 07777, 0660u);
    EXPECT_EQ(messageOfAKilledStart(other), "up") << "after a restore from Setup";

    writeBytes(path("Quillet.zrv"), randomBytes(fileBytes(path("Quillet.zrv")).size(), 5));
    ASSERT_TRUE(restoreKilledAfter(TBackupForm::RestoreStep::CurrentKeptAside, true));
    EXPECT_EQ(messageOfAKilledStart(other), "A restore of a backup was cut off before it was finished. It has now "
                                            "been finished: the database file Quillet.zrv in " +
                                                folder + " holds the restored database.");

    dialogs.shown.clear();
    ASSERT_EQ(start(), -1);
    EXPECT_EQ(dialogs.Messages(), QStringList {});
    EXPECT_EQ(contacts(), 20);
    EXPECT_EQ(messageOfAKilledStart(other), "The database is still using.");
}

// What stops a restore at start for another user is told for what it is:
// a folder this user may not write (never a want of room), and backups this
// user may not read (never that no backup can be read, without the cause).
// Root passes over modes: the user is "nobody" meanwhile.
TEST_F(Recover, ARestoreThatPermissionsStopSaysSo)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "another OS user needs the test to run as root";
    backupOf20AndDatabaseOf30(true);
    for (const char* name : {"Quillet.zrv", ".Quillet.lock"})
        ASSERT_EQ(chmod(QFile::encodeName(path(name)).constData(), 0666), 0);
    ASSERT_EQ(chmod(QFile::encodeName(folder).constData(), 0755), 0);
    for (const bool backupReadable : {true, false}) {
        SCOPED_TRACE(backupReadable ? "the folder not writable" : "the backup not readable");
        ASSERT_EQ(chmod(QFile::encodeName(path("Quillet0.zbf")).constData(), backupReadable ? 0644 : 0600), 0);
        dialogs.shown.clear();
        dialogs.AnswerQuestion(true);
        dialogs.AnswerQuestion(false);
        {
            AsAnotherUser other;
            EXPECT_EQ(start(), 1);
        }
        const QStringList told = dialogs.Messages(), asked = dialogs.Questions();
        if (backupReadable) {
            EXPECT_EQ(told.value(1), "The backup Quillet0.zbf could not be restored: this user may not change the "
                                     "files in " + folder + " (Permission denied). The database file Quillet.zrv "
                                     "has been left as it was.");
        } else {
            EXPECT_TRUE(asked.value(0).contains("No backup in that folder can be read. This user may not read "
                                                "Quillet0.zbf there: its owner, or an administrator, can give this "
                                                "user the right to read it."))
                << asked.value(0).toStdString();
        }
        dialogs.questions.clear();
    }
}
