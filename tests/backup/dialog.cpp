// The System Setup dialog's manual backup and restore with the dialog seam
// scripted, the volume prompt on the real form, and the end of the program
// replaced by a recorder.
#include "support.h"
#include "support_db.h"

#include "appcore/dialogs.h"
#include "backup/backupfile.h"
#include "backup/backupform.h"
#include "backup/restorelock.h"
#include "backup/volumeset.h"
#include "engine/hashtab.h"
#include "engine/ttree.h"
#include "platform/stagedfile.h"
#include "platform/startfolder.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QtEndian>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>
#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

using namespace testing_backup;

namespace {

// Contacts with remarks of 1,000 bytes that do not compress (400 of them
// take about 400 KB once archived), or that do, while it lives.
struct BulkRows {
    std::vector<dbReference<Customer>> rows;
    explicit BulkRows(int count = 400, bool compressible = false)
    {
        for (int i = 0; i < count; ++i) {
            const std::string remark = (compressible ? QByteArray(1000, 'r')
                                                     : randomBytes(1000, uint32_t(i)).replace('\0', '\1'))
                                           .toStdString();
            rows.push_back(insert(Customer {.id = 100000 + i, .name = "bulk", .remark = remark.c_str()}));
        }
        EXPECT_TRUE(database.commit());
    }
    ~BulkRows()
    {
        if (!database.isOpen() && !database.open("Quillet"))
            return;
        dbCursor<Customer> cursor(dbCursorForUpdate);
        for (const dbReference<Customer> &row : rows)
            if (cursor.at(row))
                cursor.remove();
        EXPECT_TRUE(database.commit());
    }
};

// Disks of one size in one drive, whose free space is the disk's size less
// the blocks its files take, or the room set for the disk.
struct Drive : DiskDrive {
    int64_t capacity = 0;
    std::map<QString, int64_t> room;  // by label
    Drive(const QString &dir, int64_t size) : DiskDrive {dir + "/drive", dir + "/shelf", {}}, capacity(size)
    {
        QDir(path).removeRecursively();
        QDir(shelf).removeRecursively();
        QDir().mkpath(path);
    }
    ~Drive()
    {
        QDir(path).removeRecursively();
        QDir(shelf).removeRecursively();
    }
    // The bytes that the files on a disk take, in whole blocks.
    int64_t used(const QString &disk) const
    {
        const int64_t block = QStorageInfo(path).blockSize();
        int64_t bytes = 0;
        for (const QString &name : files(disk))
            bytes += (QFileInfo(folderOf(disk) + "/" + name).size() + block - 1) / block * block;
        return bytes;
    }
    int disks() const { return std::max(current.toInt(), int(shelved().size())); }
    int64_t freeSpace() const { return room.count(current) ? room.at(current) : capacity - used(current); }
    // The time a volume's tag gives, as the messages show it.
    QString made(int disk) const { return madeAt(volumePath(folderOf(QString::number(disk)) + "/X.zbf", disk)); }
};

class Dialog : public ::testing::Test {
protected:
    static void TearDownTestSuite() { closeScratchDatabase(); }
    void SetUp() override
    {
        useUtc();
        dir = openScratchDatabase();
        dbFile = dir + "/Quillet.zrv";
        form = std::make_unique<TBackupForm>();
        form->ExitProgram = [this](int code) { exits.push_back(code); };
        SetModalRunner([this](QDialog &d) {
            auto &f = static_cast<TYesNoForm &>(d);
            prompts.append(f.msg->text() + " [" + f.YesButton->text() + "|" + f.NoButton->text() + "]");
            if (onPrompt)
                onPrompt(f.msg->text());
            const bool ok = !promptAnswers.empty() && promptAnswers.front();
            if (!promptAnswers.empty())
                promptAnswers.pop_front();
            d.setModal(true);  // a run lets only its own questions have the user's input
            d.show();
            QTest::mouseClick(ok ? f.YesButton : f.NoButton, Qt::LeftButton);
            return d.result();
        });
    }
    void TearDown() override
    {
        SetModalRunner(nullptr);
        form.reset();
        if (!database.isOpen()) {
            ASSERT_TRUE(database.open("Quillet"));
        }
    }
    // The database file as it lies on disk after a clean close.
    QByteArray closedDatabaseBytes()
    {
        database.close();
        const QByteArray bytes = readAll(dbFile);
        EXPECT_TRUE(database.open("Quillet"));
        return bytes;
    }

    // A new drive of disks of `size` for the form's free space and volume
    // prompts: each prompt puts in the next disk of `inserts` ("?": the one
    // it asks for), else the disk it asks for.
    Drive &useDrive(int64_t size)
    {
        Drive &drive = drive_.emplace(dir, size);
        form->FreeSpace = [&drive](const QString &folder) {
            return folder == drive.path ? drive.freeSpace() : int64_t(1) << 40;
        };
        onPrompt = [this, &drive](const QString &text) {
            static const QRegularExpression asked("^Please insert Disk #(\\d+)");
            QString label = inserts.empty() ? QString("?") : inserts.front();
            if (!inserts.empty())
                inserts.pop_front();
            if (const QRegularExpressionMatch m = asked.match(text); m.hasMatch())
                drive.insert(label == "?" ? m.captured(1) : label);
        };
        return drive;
    }
    // Setup's Backup into `target`, OK at the prompts as given, its
    // questions answered as given (its replace question first, where
    // `target` exists); what it told.
    QStringList backUp(const QString &target, const std::deque<bool> &questions = {},
                       const std::deque<bool> &answers = std::deque<bool>(20, true))
    {
        seam.shown.clear();
        seam.questions.clear();
        prompts.clear();
        promptAnswers = answers;
        seam.AnswerFile(target);
        if (QFileInfo::exists(target))
            seam.AnswerQuestion(true);
        for (const bool answer : questions)
            seam.AnswerQuestion(answer);
        form->backupClick();
        return seam.Messages();
    }
    // The same into X.zbf on the drive, Disk #1 put in first.
    QStringList backUpOnto(Drive &drive, const std::deque<bool> &questions = {},
                           const std::deque<bool> &answers = std::deque<bool>(20, true))
    {
        drive.insert("1");
        return backUp(drive.path + "/X.zbf", questions, answers);
    }
    // Setup's Restore from `archive`, Yes at its question, the database
    // opened first where a restore before closed it; what it told.
    QStringList restore(const QString &archive)
    {
        if (!database.isOpen()) {
            EXPECT_TRUE(database.open("Quillet"));
        }
        seam.shown.clear();
        seam.AnswerFile(archive);
        seam.AnswerQuestion(true);
        form->restoreClick();
        return seam.Messages();
    }
    // Setup's Restore from X.zbf on the drive, Disk #1 put in first and OK
    // at every prompt; what it told. The database, as the restore left it
    // (in `restored`), is open again.
    QStringList restoreFrom(Drive &drive, QByteArray *restored = nullptr)
    {
        exits.clear();
        prompts.clear();
        promptAnswers = std::deque<bool>(20, true);
        drive.insert("1");
        const QStringList told = restore(drive.path + "/X.zbf");
        EXPECT_EQ(exits, std::vector<int>({0}));
        if (restored)
            *restored = readAll(dbFile);
        EXPECT_TRUE(database.open("Quillet"));
        return told;
    }
    // The size of the database's archive: the room that volumes of it are given is measured by it.
    int64_t archiveSize() const
    {
        const QString archive = dir + "/size.zbf";
        EXPECT_TRUE(TBackupFile().Backup({dbFile}, archive));
        const int64_t size = QFileInfo(archive).size();
        QFile::remove(archive);
        return size;
    }
    // Every file on every disk and in the journal, by where it lies.
    Files everything(const Drive &drive) const
    {
        Files files = drive.everyFile();
        files.merge(filesIn(dir, {".backup-set-*"}));
        return files;
    }
    // Runs `run` as a kill at its file step or prompt numbered `point` would
    // leave the disks, the journal and the drive: the step fails (the prompt
    // is cancelled), and once the run has ended, everything is put back as
    // it was at that point. False when the run ended before it.
    bool killedAt(int point, Drive &drive, const std::function<void()> &run)
    {
        std::optional<std::pair<Files, QString>> left;
        int step = 0;
        const auto killedHere = [&] {
            if (step++ == point)
                left = {everything(drive), drive.current};
            return step - 1 == point;
        };
        const OnFileStep steps([&](platform::FileStep, const QString &) { return killedHere() ? EIO : 0; });
        const auto prompt = onPrompt;
        onPrompt = [&](const QString &text) {
            if (killedHere())
                promptAnswers.push_front(false);
            prompt(text);
        };
        run();
        onPrompt = prompt;
        if (left)
            putBack(drive, left->first, left->second);
        return left.has_value();
    }
    // Puts every disk and the journal as `files` give them, the disk
    // `current` in the drive.
    void putBack(Drive &drive, const Files &files, const QString &current)
    {
        for (const auto &[path, bytes] : everything(drive))
            QFile::remove(path);
        for (const auto &[path, bytes] : files) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            writeFile(path, bytes);
        }
        drive.current = current;
    }

    QString dir, dbFile;
    std::unique_ptr<TBackupForm> form;
    platform::ScriptedDialogs seam;
    std::vector<int> exits;
    QStringList prompts;
    std::deque<bool> promptAnswers;
    std::function<void(const QString &text)> onPrompt;  // before each prompt is answered
    std::deque<QString> inserts;
    std::optional<Drive> drive_;
};

TEST_F(Dialog, TheDatabaseIsRefusedAsBackupTargetAlsoThroughALink)
{
    const QString link = dir + "/alias.zbf";
    QFile::remove(link);
    ASSERT_EQ(::link(QFile::encodeName(dbFile).constData(), QFile::encodeName(link).constData()), 0);
    const QByteArray before = closedDatabaseBytes();
    for (const QString &target : {dbFile, link}) {
        // a Yes for the replace question, which must not be asked
        EXPECT_EQ(backUp(target), QStringList {"The database cannot be backed up onto itself."});
        EXPECT_TRUE(seam.Questions().isEmpty());
        seam.questions.clear();
        EXPECT_TRUE(database.isOpen());
    }
    EXPECT_EQ(closedDatabaseBytes(), before);
    QFile::remove(link);
}

TEST_F(Dialog, ManualBackupReportsSuccessAndOpensTheDatabaseAgain)
{
    addCategory("kept");
    const QString target = dir + "/manual.zbf";
    QFile::remove(target);
    platform::SetLastPickedFolder({});
    const QString userFolder = platform::FileRequestFolder();  // not the program's own folder
    EXPECT_EQ(backUp(target), QStringList {"Backup Successfully."});
    ASSERT_EQ(seam.fileRequests.size(), 1u);
    EXPECT_EQ(seam.fileRequests[0].mode, platform::FileRequest::Save);
    EXPECT_EQ(seam.fileRequests[0].directory, userFolder);
    EXPECT_EQ(seam.fileRequests[0].fileName, "Quillet");
    EXPECT_EQ(seam.fileRequests[0].defaultSuffix, "zbf");
    EXPECT_FALSE(seam.fileRequests[0].confirmOverwrite) << "the backup asks its own question";
    EXPECT_TRUE(database.isOpen());
    EXPECT_TRUE(categories().contains("kept"));
    EXPECT_TRUE(exits.empty());
    EXPECT_FALSE(form->ProgressBar1->isVisible());

    const Parsed p = parseVolume(readAll(target));
    EXPECT_EQ(p.title, "Backup Zarvo");
    ASSERT_EQ(p.entries.size(), 1u);
    EXPECT_EQ(p.entries[0].name, dbFile.toUtf8());

    // An existing file: asked first; No leaves it, Yes replaces it.
    writeFile(target, "older archive");
    seam.shown.clear();
    seam.AnswerFile(target);
    seam.AnswerQuestion(false);
    form->backupClick();
    EXPECT_EQ(seam.Questions(), QStringList {target + " is existed, replace it?"});
    EXPECT_EQ(readAll(target), "older archive");
    seam.AnswerFile(target);
    seam.AnswerQuestion(true);
    form->backupClick();
    EXPECT_EQ(parseVolume(readAll(target)).entries.size(), 1u);
    // Cancelling the file choice does nothing.
    seam.shown.clear();
    form->backupClick();
    EXPECT_TRUE(seam.Messages().isEmpty());

    // Damage found in the database: nothing is asked or written, and the
    // database stays open with its damage marked.
    const QByteArray kept = readAll(target);
    Customer::dbDescriptor.find("name")->indexBroken = true;
    seam.shown.clear();
    seam.fileRequests.clear();
    form->backupClick();
    EXPECT_EQ(seam.Messages(), QStringList {"The database file is damaged and was not backed up. A backup can be "
                                            "restored with Restore in the setup dialog (Setup)."});
    EXPECT_TRUE(seam.fileRequests.empty());
    EXPECT_EQ(readAll(target), kept);
    EXPECT_TRUE(database.damageFound());
    Customer::dbDescriptor.find("name")->indexBroken = false;
}

// Restore opens where the last backup of the run wrote, while that folder
// is there, else in the user's documents.
TEST_F(Dialog, RestoreOpensWhereTheLastBackupWroteElseInDocuments)
{
    const QString kept = dir + "/kept";
    ASSERT_TRUE(QDir().mkpath(kept));
    EXPECT_EQ(backUp(kept + "/manual.zbf"), QStringList {"Backup Successfully."});
    form->restoreClick();  // the file dialog cancelled
    EXPECT_EQ(seam.fileRequests.back().directory, kept);
    ASSERT_TRUE(QDir(kept).removeRecursively());
    form->restoreClick();
    EXPECT_EQ(seam.fileRequests.back().directory, platform::DocumentsFolder());
    EXPECT_EQ(seam.fileRequests.back().mode, platform::FileRequest::Open);
    EXPECT_TRUE(exits.empty());
}

TEST_F(Dialog, VolumePromptAsksForTheNextDiskOnTheOkCancelForm)
{
    const BulkRows bulk(40);
    std::deque<int64_t> free;
    form->FreeSpace = [&](const QString &) {
        const int64_t v = free.front();
        if (free.size() > 1)
            free.pop_front();
        return v;
    };
    // Disk #1 takes one block; a disk put in with 1 to 9 KiB free takes
    // none, and a write-protected one cannot be written: each is asked for
    // again, saying why, without an empty volume.
    const QString noRoom = "There is no room for it on the disk in the drive.";
    const struct {
        int64_t free;
        int refusals;
        QString note;
    } cases[] = {{1024, 0, noRoom}, {5 * 1024, 0, noRoom}, {9 * 1024, 0, noRoom},
                 {int64_t(1) << 32, 1, "The disk in the drive cannot be written to (Read-only file system)."}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.note.toStdString() + " " + std::to_string(c.free));
        const QString target = dir + "/X" + QString::number(c.free) + ".zbf";
        int refusals = c.refusals;
        const OnFileStep writeProtected([&](platform::FileStep step, const QString &path) {
            return step == platform::FileStep::Create && path.endsWith(".002") && refusals-- > 0 ? EROFS : 0;
        });
        free = {26000, c.free, int64_t(1) << 32};
        EXPECT_EQ(backUp(target, {}, {true, true}), QStringList {"Backup Successfully."});
        EXPECT_EQ(prompts, QStringList({"Please insert Disk #2 [OK|Cancel]",
                                        "Please insert Disk #2\n" + c.note + " [OK|Cancel]"}));
        EXPECT_EQ(parseVolume(readAll(target)).nextVolume, "NEXT:DISK002");
        EXPECT_TRUE(parseVolume(readAll(TBackupFile::VolumeName(target, "002")), false).ended);
    }

    // Cancel fails the backup; the database is open again.
    free = {26000, 17500};
    EXPECT_EQ(backUp(dir + "/X.zbf", {}, {false}), QStringList {"Fail to backup."});
    EXPECT_EQ(prompts, QStringList {"Please insert Disk #2 [OK|Cancel]"});
    EXPECT_TRUE(database.isOpen());
}

// A file renamed into place whose folder the disk does not sync is in
// place: each backup and the restore tell it as done, with a warning.
TEST_F(Dialog, WhatIsInPlaceButNotSyncedIsToldAsDoneWithAWarning)
{
    const QString warning = " is in place, but the disk did not confirm that it is saved, so it may not survive a "
                            "power cut.";
    const QString manual = dir + "/unsynced.zbf", daily = dir + "/Quillet7.zbf";
    QFile::remove(manual);
    addCategory("archived");
    const OnFileStep noSync([](platform::FileStep step, const QString &) {
        return step == platform::FileStep::SyncFolder ? EIO : 0;
    });
    seam.AnswerFile(manual);
    form->backupClick();
    ASSERT_TRUE(form->backupTo(daily));
    EXPECT_EQ(seam.Messages(), QStringList({"Backup Successfully.\nThe backup " + manual + warning,
                                            "The backup " + daily + warning}));
    EXPECT_TRUE(parseVolume(readAll(manual)).ended);
    EXPECT_TRUE(parseVolume(readAll(daily)).ended);

    addCategory("after the backup");
    EXPECT_EQ(restore(manual), QStringList({"The restored database " + dbFile + warning,
                                            "Restore Completed. Restart the program."}));
    EXPECT_EQ(exits, std::vector<int>({0}));
    ASSERT_TRUE(database.open("Quillet"));
    EXPECT_TRUE(categories().contains("archived"));
    EXPECT_FALSE(categories().contains("after the backup"));
    database.commit();
}

// Archives that would bring back no database, or a broken one: the live
// file stays byte for byte, nothing is left beside it, and the user is told;
// where the restore was asked for, it fails and ends the program. A sound
// archive replaces the database and ends the program.
TEST_F(Dialog, ARestoreBringsBackASoundDatabaseOrNothing)
{
    addCategory("in archive");
    const QString good = dir + "/good.zbf";
    ASSERT_TRUE(form->backupTo(good));
    addCategory("after archive");
    const QByteArray archive = readAll(good);
    const Parsed p = parseVolume(archive);
    ASSERT_EQ(p.entries.size(), 1u);
    const QByteArray before = closedDatabaseBytes();

    // The database stored raw, one word changed, under its own total.
    auto storedRaw = [&](QByteArray db, int64_t at, uint32_t word) {
        for (int i = 0; i < 4; ++i)
            db[qsizetype(at + i)] = char((word >> (8 * i)) & 0xFF);
        ArchiveBuilder b;
        b.header("Backup Zarvo", int32_t(db.size()), 1).entry(dbFile.toUtf8(), 0).magic();
        for (int64_t at = 0; at < db.size(); at += TBackupFile::kChunk)
            b.rawBlock(db.mid(at, TBackupFile::kChunk));
        return b.i32(0).i32(0).bytes;
    };
    auto word = [&](int64_t at) { return qFromLittleEndian<uint32_t>(before.constData() + at); };
    const int64_t index = word(16 + 24 * word(4));  // the committed root's object index
    QByteArray negated = archive, longer = archive, renamed = archive;
    const int32_t length = p.entries[0].blocks[0].k;
    qToLittleEndian<int32_t>(-length, negated.data() + p.entries[0].blockOffset);
    qToLittleEndian<int32_t>(20000, longer.data() + p.entries[0].blockOffset);
    renamed[archive.indexOf("Quillet.zrv") + 3] = 'M';

    const QString kept = "The database in this archive is damaged; the current database has been kept.\n";
    const QString failed = "Fail to restore. Restart the program.";
    struct Case {
        const char *what;
        QByteArray bytes;
        QStringList messages;
    } cases[] = {
        {"a block length negated", negated, {"Cannot read file", failed}},
        {"the first block's length made 20,000", longer, {"Cannot read file", failed}},
        {"the database entry renamed", renamed,
         {"This archive holds no database file (Quillet.zrv); nothing has been restored."}},
        {"the header's size word", storedRaw(before, 0, 4096),
         {kept + "Database file was corrupted: file size in header differs from actual file size", failed}},
        {"an object index entry", storedRaw(before, index + 4 * 8194, 0x7FFFFFF0),
         {kept + "Database file was corrupted: invalid file layout", failed}},
        {"an empty database file", ArchiveBuilder().header("t", 0, 1).entry("Quillet.zrv", 0).magic().i32(0).i32(0).bytes,
         {kept + "The database file is empty.", failed}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(dir + "/bad.zbf", c.bytes);
        const QStringList files = QDir(dir).entryList(QDir::Files);
        exits.clear();
        EXPECT_EQ(restore(dir + "/bad.zbf"), c.messages);
        const bool asked = c.messages.size() == 2;  // an archive refused at once leaves the program running
        EXPECT_EQ(seam.Questions(), asked ? QStringList {"Restoring the database will replace the current database, "
                                                         "are you sure to restore it?"}
                                          : QStringList {});
        EXPECT_EQ(exits, asked ? std::vector<int>({0}) : std::vector<int>());
        EXPECT_EQ(database.isOpen(), !asked);
        EXPECT_EQ(QDir(dir).entryList(QDir::Files), files);
        seam.questions.clear();
        database.close();
        EXPECT_EQ(readAll(dbFile), before);
    }

    exits.clear();
    EXPECT_EQ(restore(good), QStringList {"Restore Completed. Restart the program."});
    EXPECT_EQ(exits, std::vector<int>({0}));
    ASSERT_TRUE(database.open("Quillet"));
    EXPECT_TRUE(categories().contains("in archive"));
    EXPECT_FALSE(categories().contains("after archive"));
    database.commit();
}

// Databases with one index damaged (loops in a hash chain and in the tree
// among them), each stored by the backup component beside two files that
// are not the database: every restore is refused, the
// live file stays byte for byte and nothing else is written. The sound
// database with the same two files is restored alone.
TEST_F(Dialog, ARestoreChecksEveryIndexAndWritesOnlyTheDatabase)
{
    for (int i = 0; i < 300; ++i) {
        Customer c;
        c.id = i + 1;
        const std::string name = "Contact " + std::to_string(i * 7919 % 300);
        c.name = name.c_str();
        ASSERT_FALSE(insert(c).isNull());
    }
    ASSERT_TRUE(database.commit());
    addCategory("marker");
    dbCursor<Category> category;
    ASSERT_GT(category.select(), 0u);
    const oid_t otherTable = category.getOid();
    // File offsets of the index words, read while the database is open.
    auto at = [](oid_t oid) { return int64_t(database.getPos(oid) & ~dbInternalObjectMarker); };
    const auto &hash = *reinterpret_cast<const dbHashTable *>(database.get(Customer::dbDescriptor.find("id")->hashTable));
    std::vector<int64_t> buckets, items;
    std::vector<oid_t> itemIds;
    for (uint32_t b = 0; b < hash.size && buckets.size() < 4; ++b) {
        if (oid_t item = reinterpret_cast<const oid_t *>(database.get(hash.page + b / 1024))[b % 1024]) {
            buckets.push_back(at(hash.page + b / 1024) + 4 * (b % 1024));
            items.push_back(at(item));
            itemIds.push_back(item);
        }
    }
    const oid_t root = reinterpret_cast<const dbTtree *>(database.get(Customer::dbDescriptor.find("name")->tTree))->root;
    std::vector<int64_t> nodes;
    for (oid_t n = root; n != 0; n = reinterpret_cast<const dbTtreeNode *>(database.get(n))->left)
        nodes.push_back(at(n));
    ASSERT_EQ(items.size(), 4u);
    ASSERT_GE(nodes.size(), 2u);
    const QByteArray before = closedDatabaseBytes();

    auto word = [](QByteArray &db, int64_t offset) -> uint32_t & { return *reinterpret_cast<uint32_t *>(db.data() + offset); };
    std::vector<std::function<void(QByteArray &)>> damages;
    for (size_t k = 0; k < items.size(); ++k) {
        damages.push_back([&, k](QByteArray &db) { word(db, buckets[k]) = 0; });
        damages.push_back([&, k](QByteArray &db) { word(db, items[k] + 4) = word(db, items[(k + 1) % 4] + 4); });
        damages.push_back([&, k](QByteArray &db) { word(db, items[k] + 8) ^= 0x100; });
    }
    for (int64_t node : nodes) {
        damages.push_back([&, node](QByteArray &db) { db[qsizetype(node + 10)] = char(db[qsizetype(node + 10)] - 1); });  // count
        damages.push_back([&, node](QByteArray &db) { std::swap(word(db, node + 12), word(db, node + 16)); });
        damages.push_back([&, node](QByteArray &db) { db[qsizetype(node + 8)] = char(db[qsizetype(node + 8)] == 0 ? 1 : 0); });  // balance
    }
    damages.push_back([&](QByteArray &db) { word(db, nodes[0]) = 0; });  // a subtree cut off
    damages.push_back([&](QByteArray &db) { word(db, items[0]) = itemIds[0]; });  // a loop in a hash chain
    damages.push_back([&](QByteArray &db) { word(db, nodes.back()) = root; });     // a loop in the tree
    damages.push_back([&](QByteArray &db) { word(db, items[0] + 4) = otherTable; });
    damages.push_back([&](QByteArray &db) { word(db, nodes[0] + 12) = otherTable; });

    // The database and two other files, stored by the backup component.
    const QString source = dir + "/source";
    QDir().mkpath(source);
    writeFile(source + "/quillet-query", "#!/bin/sh\n");
    writeFile(source + "/index.htm", "<html></html>");
    auto archiveOf = [&](const QByteArray &db) {
        writeFile(source + "/Quillet.zrv", db);
        TBackupFile backup;
        EXPECT_TRUE(backup.Backup({source + "/Quillet.zrv", source + "/quillet-query", source + "/index.htm"},
                                  dir + "/damaged.zbf"));
        return dir + "/damaged.zbf";
    };
    const QStringList files = QDir(dir).entryList(QDir::Files);
    auto restoreAlone = [&](const QString &archive) {
        const QStringList told = restore(archive);
        seam.questions.clear();
        database.close();
        EXPECT_FALSE(QFileInfo::exists(dir + "/quillet-query"));
        EXPECT_FALSE(QFileInfo::exists(dir + "/index.htm"));
        return told;
    };
    const QStringList refusal = {"The database in this archive is damaged; the current database has been kept.\n"
                                 "Database file was corrupted: invalid index",
                                 "Fail to restore. Restart the program."};
    size_t refused = 0;
    for (size_t i = 0; i < damages.size(); ++i) {
        SCOPED_TRACE(i);
        QByteArray db = before;
        damages[i](db);
        const QString archive = archiveOf(db);
        QFile::remove(source + "/Quillet.zrv");
        const QStringList messages = restoreAlone(archive);
        EXPECT_EQ(messages, refusal);
        refused += messages == refusal;
        EXPECT_EQ(readAll(dbFile), before);
        QFile::remove(archive);
        EXPECT_EQ(QDir(dir).entryList(QDir::Files), files);
    }
    EXPECT_EQ(refused, damages.size());
    std::printf("damaged-index archives refused: %zu of %zu\n", refused, damages.size());

    EXPECT_EQ(restoreAlone(archiveOf(before)), QStringList {"Restore Completed. Restart the program."});
    ASSERT_TRUE(database.open("Quillet"));
    EXPECT_TRUE(categories().contains("marker"));
}

// Before anything is closed or written: a missing file, a No, or another
// run of the program opening the database in the folder (or restoring).
TEST_F(Dialog, RestoreStopsEarlyForAMissingFileANoOrAnotherRunInTheFolder)
{
    seam.AnswerFile(dir + "/nothing.zbf");
    form->restoreClick();
    EXPECT_EQ(seam.Messages(), QStringList {"Filename does not exist."});
    const QString archive = dir + "/any.zbf";
    ASSERT_TRUE(form->backupTo(archive));
    seam.AnswerFile(archive);
    seam.AnswerQuestion(false);
    form->restoreClick();
    EXPECT_TRUE(exits.empty());
    EXPECT_TRUE(database.isOpen());

    RestoreLock opening(dir);
    ASSERT_EQ(opening.enterStart(), RestoreLock::Taken);
    const QStringList files = QDir(dir).entryList(QDir::Files);
    EXPECT_EQ(restore(archive), QStringList {"The backup has not been restored: another run of the program is "
                                             "opening the database in " + dir + ", or restoring a backup there. "
                                             "Nothing has been changed; try again in a moment."});
    EXPECT_TRUE(exits.empty());
    EXPECT_TRUE(database.isOpen());
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), files);
}

// The checked copy gone when its rename fails (as a second start once
// removed it): the file at the name is still the old database, so the
// restore is told as failed, never as completed.
TEST_F(Dialog, ARestoreIsJudgedByTheFileAtTheNameNotByAMissingCopy)
{
    const QString archive = dir + "/judged.zbf";
    ASSERT_TRUE(form->backupTo(archive));
    addCategory("after the backup");
    const QByteArray before = closedDatabaseBytes();
    const OnFileStep copyGone([](platform::FileStep step, const QString &path) {
        if (step != platform::FileStep::Rename || QFileInfo(path).fileName() != "Quillet.zrv")
            return 0;
        QFile::remove(path + ".restore");
        return EIO;
    });
    const QStringList told = restore(archive);
    ASSERT_EQ(told.size(), 2);
    EXPECT_TRUE(told[0].startsWith("The backup judged.zbf could not be restored: ")) << told[0].toStdString();
    EXPECT_TRUE(told[0].endsWith(" The database file Quillet.zrv has been left as it was.")) << told[0].toStdString();
    EXPECT_EQ(told[1], "Fail to restore. Restart the program.");
    EXPECT_EQ(readAll(dbFile), before);
}

// A backup from Setup that finds the disk full (here the process's
// file-size limit; where the free space is known, the backup asks for
// another disk instead) says after the archive component's own message that
// none has been made, and its progress bar shows none written. (The
// automatic backups' messages: app_recover.)
TEST_F(Dialog, ABackupOnAFullDiskSaysThatNoneHasBeenMade)
{
    // an archive of about 400 KB; the database monitor that the backup
    // makes again as it reopens the database fits under the limit
    const BulkRows bulk;
    const QStringList files = QDir(dir).entryList(QDir::Files);
    signal(SIGXFSZ, SIG_IGN);
    rlimit before {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 256 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    seam.AnswerFile(dir + "/no-room.zbf");
    form->backupClick();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
    EXPECT_EQ(seam.Messages(), QStringList({"Cannot write to archive: the disk holding " + dir + " is full",
                                            "Fail to backup.\nNo backup has been made. Make room on the disk "
                                            "holding " + dir + " and try again."}));
    EXPECT_EQ(form->ProgressBar1->value(), 0) << "no backup written";
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), files);
    ASSERT_TRUE(database.isOpen());
}

// Backups from Setup onto empty disks of 17 sizes from 192 to 256 KiB: on
// each disk the volume, its last block taken whole, and its tag fit.
TEST_F(Dialog, EachVolumeLeavesRoomForItsTagAndItsLastBlock)
{
    const BulkRows bulk;
    for (int64_t size = 192 * 1024; size <= 256 * 1024; size += 4096) {
        SCOPED_TRACE(size);
        Drive &drive = useDrive(size);
        EXPECT_EQ(backUpOnto(drive), QStringList {"Backup Successfully."});
        EXPECT_GE(drive.disks(), 2);
        for (int disk = 1; disk <= drive.disks(); ++disk)
            EXPECT_LE(drive.used(QString::number(disk)), size) << "disk " << disk;
    }
}

// The same disks every week, each with no room for the new volume beside
// the previous backup's. Setup asks before it replaces a volume; once it
// has, the question at a later disk and the failure say that the previous
// backup can no longer be restored from the disks, and No asks for another
// disk. A restore then says that the disks hold no whole backup and which
// volume each backup lacks, and stops asking. Yes at every disk makes a
// backup that is restored.
TEST_F(Dialog, TheNextBackupReplacesThePreviousOneOnTheSameDisksWhenAsked)
{
    const BulkRows bulk;
    Drive &drive = useDrive(160 * 1024);
    ASSERT_EQ(backUpOnto(drive), QStringList {"Backup Successfully."});
    const int disks = drive.disks();
    ASSERT_GE(disks, 3);
    const QString previous = drive.made(2);
    const auto question = [](int disk, const QString &then) {
        return QStringLiteral("Disk #%1 holds the previous backup's volume and has no room for this one beside it. "
                              "Replace it? ")
                   .arg(disk) +
               then;
    };
    const QString gone = "The previous backup can no longer be restored from these disks: its volume on Disk #1 has "
                         "been replaced.";
    addCategory("second");
    EXPECT_EQ(backUpOnto(drive, {true, false}, {true, false}), QStringList {"Fail to backup.\n" + gone});
    EXPECT_EQ(seam.Questions().filter("Replace it?"),
              QStringList({question(1, "If this backup then does not finish, the previous backup cannot be restored "
                                       "from these disks."),
                           question(2, gone)}));
    EXPECT_EQ(prompts, QStringList({"Please insert Disk #2 [OK|Cancel]", "Please insert Disk #2\nThere is no room for "
                                                                         "it on the disk in the drive. [OK|Cancel]"}));
    EXPECT_TRUE(database.isOpen());

    // Disk #1 holds the cut-off backup's first volume, the others the previous one's
    EXPECT_EQ(restoreFrom(drive), QStringList({"Cannot read archive: no whole backup was found on these disks. The "
                                               "backup made " + drive.made(1) + " lacks volume 2 (X.002). The disk put "
                                               "in for it holds volume 2 of the backup made " + previous + ", which "
                                               "lacks volume 1 (X.zbf).",
                                               "Fail to restore. Restart the program."}));
    EXPECT_EQ(prompts.size(), 1);

    addCategory("third");
    EXPECT_EQ(backUpOnto(drive, std::deque<bool>(disks, true)), QStringList {"Backup Successfully."});
    EXPECT_EQ(restoreFrom(drive), QStringList {"Restore Completed. Restart the program."});
    EXPECT_TRUE(categories().contains("third"));
}

// Room for a volume beside the previous backup's is weighed against what
// the archive takes, not against the database's own size: a disk with less
// room than the database file takes, but room for its archive, is written
// without a question.
TEST_F(Dialog, AVolumeGoesBesideThePreviousOneWhereTheDiskHasRoomForIt)
{
    const BulkRows bulk(2000, true);
    Drive &drive = useDrive(int64_t(1) << 40);
    ASSERT_EQ(backUpOnto(drive), QStringList {"Backup Successfully."});
    drive.capacity = 2 * drive.used("1") + 64 * 1024;  // room for one more archive
    ASSERT_LT(drive.freeSpace(), QFileInfo(dbFile).size());
    addCategory("beside");
    EXPECT_EQ(backUpOnto(drive), QStringList {"Backup Successfully."});
    EXPECT_EQ(seam.Questions().filter("Replace it?"), QStringList {});
    EXPECT_EQ(drive.disks(), 1);
}

// Where the previous backup's volume cannot be removed after Yes at a
// prompt (a write-protected disk), the prompt says so and asks again, and
// nothing notes the previous backup replaced: a restore here gives it back.
TEST_F(Dialog, APreviousVolumeThatCannotBeRemovedIsToldAndKept)
{
    const BulkRows bulk;
    Drive &drive = useDrive(archiveSize() / 2);
    ASSERT_EQ(backUpOnto(drive), QStringList {"Backup Successfully."});
    drive.room["1"] = drive.capacity;  // this backup's first volume goes beside the previous one
    addCategory("refused");
    {
        const OnFileStep writeProtected([](platform::FileStep step, const QString &path) {
            return step == platform::FileStep::Remove && path.endsWith("/X.002") ? EROFS : 0;
        });
        EXPECT_EQ(backUpOnto(drive, {true}, {true, false}), QStringList {"Fail to backup."});
    }
    EXPECT_EQ(prompts, QStringList({"Please insert Disk #2 [OK|Cancel]",
                                    "Please insert Disk #2\nThe previous backup's volume on the disk in the drive "
                                    "could not be removed (Read-only file system), so it has been kept as it was. "
                                    "[OK|Cancel]"}));
    EXPECT_EQ(restoreFrom(drive), QStringList {"Restore Completed. Restart the program."});
    EXPECT_FALSE(categories().contains("refused"));
}

// The offer to go back to an older backup is withdrawn once the disk put
// in holds the volume of the backup being read: with an older backup across
// two disks kept aside beside a newer one across four, the wrong disk put
// in for volume 3 and then the right one at the offer's prompt, the restore
// goes on with the newer backup and asks for Disk #4.
TEST_F(Dialog, TheOfferOfAnOlderBackupIsWithdrawnWhenTheRightDiskIsPutIn)
{
    const BulkRows bulk;
    Drive &drive = useDrive(0);
    const int64_t size = archiveSize();
    const auto roomOf = [&](int64_t room) {
        for (const QString label : {"1", "2", "3", "4"})
            drive.room[label] = room + 16 * 1024;  // the volume's size, and its tag's and last block's room
    };
    roomOf(size * 2 / 3);
    ASSERT_EQ(backUpOnto(drive), QStringList {"Backup Successfully."});
    ASSERT_EQ(drive.disks(), 2);
    const QString older = drive.made(1);
    addCategory("newer");
    roomOf(size * 2 / 7);
    ASSERT_EQ(backUpOnto(drive), QStringList {"Backup Successfully."});
    ASSERT_EQ(drive.disks(), 4);
    inserts = {"2", "2", "3", "?"};
    EXPECT_EQ(restoreFrom(drive), QStringList {"Restore Completed. Restart the program."});
    EXPECT_EQ(prompts, QStringList({"Please insert Disk #2 [OK|Cancel]", "Please insert Disk #3 [OK|Cancel]",
                                    "Please insert Disk #1\nThe backup made " + drive.made(1) + " is not whole on "
                                    "these disks; the one made " + older + " is. Insert Disk #1 to restore it. "
                                    "[OK|Cancel]",
                                    "Please insert Disk #4 [OK|Cancel]"}));
    EXPECT_TRUE(categories().contains("newer"));
}

// No to "Replace it?" at Disk #1, after a settling that let the window
// system run (it rolled back a backup cut off there, above the files that a
// backup from another data folder kept aside): the dialog takes the user's
// input again.
TEST_F(Dialog, TheDialogTakesInputAgainAfterNoAtDisk1)
{
    const BulkRows bulk;
    Drive &drive = useDrive(archiveSize() / 2);
    ASSERT_EQ(backUpOnto(drive), QStringList {"Backup Successfully."});
    drive.insert("1");
    const QString volume = drive.path + "/X.zbf";
    const QByteArray elsewhere = "00000000000000aa", cutOff = "00000000000000bb";
    ASSERT_TRUE(QFile::rename(volume, volume + "." + elsewhere + ".old"));
    ASSERT_TRUE(QFile::rename(volume + ".set", volume + ".set." + elsewhere + ".old"));
    writeFile(volume, "cut off");
    const QByteArray digest = QCryptographicHash::hash("cut off", QCryptographicHash::Blake2b_256);
    writeFile(volume + ".set", volumeset::tagText({cutOff, 1, 0, 7, digest}));
    ASSERT_TRUE(volumeset::Journal(dir).note({cutOff, volume, {1}}));
    form->show();
    form->PageControl1->setCurrentIndex(1);
    EXPECT_EQ(backUpOnto(drive, {false}), QStringList {"Fail to backup.\nNo backup has been made: the disk holding " +
                                                       drive.path + " has no room for it beside the previous backup, "
                                                       "which has been kept as it was."});
    EXPECT_FALSE(QFileInfo::exists(volume + ".set"));  // rolled back
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    seam.fileRequests.clear();
    QTest::mouseClick(form->restore, Qt::LeftButton);
    EXPECT_EQ(seam.fileRequests.size(), 1u);
}

// Every file step and every prompt of a backup from Setup over one across
// three disks of the same data (whose volumes are then of the same bytes),
// and of one that fits Disk #1 alone over it, is a point where the program
// is killed. After each, Setup's Restore gives the database byte for byte,
// and the next backup succeeds and leaves no passing file on the disks.
TEST_F(Dialog, AKillAtAnyStepOfABackupFromSetupCostsNoBackup)
{
    const BulkRows bulk(150);
    Drive &drive = useDrive(0);
    // the database file keeps its time, so that its archive is the same
    QByteArray data;  // as backed up
    form->BackupFile1.OnProgress = [&](TBackupFile &sender, const QString &file, TPercentage percent, bool &cont) {
        if (file.isEmpty() && percent == 0) {
            setMtime(dbFile, 1700000000);
            data = readAll(dbFile);
        }
        form->BackupFile1Progress(sender, file, percent, cont);
    };
    const int64_t room = archiveSize() * 2 / 5 + 16 * 1024;
    drive.room = {{"1", room}, {"2", room}, {"3", room}};
    ASSERT_EQ(backUpOnto(drive), QStringList {"Backup Successfully."});
    ASSERT_EQ(drive.disks(), 3);
    drive.insert("1");
    const Files start = everything(drive);
    int points = 0;
    for (const int64_t free : {room, int64_t(1) << 30}) {
        for (auto &[label, bytes] : drive.room)
            bytes = free;
        for (int point = 0;; ++point, ++points) {
            putBack(drive, start, "1");
            if (!killedAt(point, drive, [&] { backUpOnto(drive); }))
                break;
            SCOPED_TRACE("killed at step " + std::to_string(point) + (free > room ? " of one volume" : ""));
            const QByteArray backedUp = data;
            QByteArray restored;
            EXPECT_EQ(restoreFrom(drive, &restored), QStringList {"Restore Completed. Restart the program."});
            EXPECT_EQ(restored, backedUp);
            EXPECT_EQ(backUpOnto(drive), QStringList {"Backup Successfully."});
            for (const auto &[path, bytes] : drive.everyFile())
                EXPECT_FALSE(platform::StagedFile::isPassingName(QFileInfo(path).fileName())) << path.toStdString();
        }
    }
    EXPECT_GT(points, 30);
    std::printf("kill points through Setup: %d\n", points);
}

TEST_F(Dialog, TheFormStaysOpenWhileARunIsBusy)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    int checks = 0;
    form->BackupFile1.OnProgress = [&](TBackupFile &, const QString &name, TPercentage p, bool &) {
        form->ProgressBar1->setValue(p);
        if (name.isEmpty())
            return;
        form->close();
        form->reject();
        QTest::mouseClick(form->NoButton, Qt::LeftButton);
        EXPECT_TRUE(form->isVisible());
        ++checks;
    };
    EXPECT_TRUE(form->backupTo(dir + "/busy.zbf"));
    EXPECT_GT(checks, 0);
    EXPECT_TRUE(form->isVisible());
    QTest::mouseClick(form->NoButton, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), 2);
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
