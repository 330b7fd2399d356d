// Archives that span volumes: where a volume ends, how the next is named and
// asked for, that a restore follows the volume records, and that the
// volumes of one archive are put right after a run that failed or was
// killed anywhere, in one folder or across changed disks.
#include "support.h"

#include "backup/volumeset.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <climits>
#include <cstdio>
#include <functional>
#include <set>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testing_backup;

namespace {

class Volumes : public ::testing::Test {
protected:
    void SetUp() override
    {
        useUtc();
        r.bf.BackupTitle = "Backup Zarvo";
        r.bf.JournalFolder = dir.path() + "/journal";
        source = dir.path() + "/source.bin";
        content = randomBytes(100000, 42);
        writeFile(source, content);
        archive = dir.path() + "/X.zbf";
    }
    // The source file's bytes, dated sourceTime when it is set.
    void writeSource(const QByteArray &bytes)
    {
        writeFile(source, bytes);
        if (sourceTime != 0)
            setMtime(source, sourceTime);
    }
    // Backs up `bytes` as the source file, in volumes of the documented size,
    // the prompts answered as given.
    bool backUp(const QByteArray &bytes, const std::deque<bool> &answers = std::deque<bool>(8, true))
    {
        writeSource(bytes);
        r.bf.MaxSize = 48976;
        r.diskAnswers = answers;
        return r.bf.Backup({source}, archive);
    }
    // The source file as a restore of the archive gives it; "(refused)" when
    // the restore fails.
    QByteArray restored()
    {
        QTemporaryDir into;
        r.diskAnswers = std::deque<bool>(8, true);
        return r.bf.Restore(archive, into.path()) ? readAll(into.path() + "/source.bin") : QByteArray("(refused)");
    }
    // Every file of the archive's folder and of the journal's, hidden ones too.
    Files folders() const
    {
        Files files = filesIn(dir.path());
        files.merge(filesIn(r.bf.JournalFolder));
        return files;
    }
    // Puts `files` where the files `now` are.
    static void putBack(const Files &files, const Files &now)
    {
        for (const auto &[name, bytes] : now)
            QFile::remove(name);
        for (const auto &[name, bytes] : files)
            writeFile(name, bytes);
    }
    QStringList keptAside() const { return QDir(dir.path()).entryList({"*.old"}, QDir::Files | QDir::Hidden); }
    // The volume `disk` of the archive replaced where it is, as Setup does
    // after Yes; false when it could not be.
    bool replaceVolume(uint16_t disk)
    {
        r.bf.PreviousVolume(archive, disk);
        return r.bf.ReplacePreviousVolume(archive, disk);
    }
    // Backs up the source file in a child process that is killed (ends at
    // once) at its file step (creation, rename, removal, folder sync) or
    // volume prompt numbered `stopAt`; a prompt runs `atPrompt` and answers
    // OK. With `replacing`, each volume first replaces what the disk holds at
    // its name. False when the backup ended before that point: every point
    // has been tried.
    bool backupKilledAt(int stopAt, const std::function<void(uint16_t disk)> &atPrompt = {})
    {
        const pid_t child = fork();
        if (child == 0) {
            int step = 0;
            const auto tick = [&] {
                if (step++ == stopAt)
                    _exit(0);  // killed here
            };
            const OnFileStep steps([&](platform::FileStep, const QString &) {
                tick();
                return 0;
            });
            r.bf.OnNeedDisk = [&](TBackupFile &, uint16_t disk, bool &cont) {
                tick();
                if (atPrompt)
                    atPrompt(disk);
                cont = !replacing || replaceVolume(disk);
            };
            r.bf.MaxSize = 48976;
            if (!replacing || replaceVolume(1))
                r.bf.Backup({source}, archive);
            _exit(1);
        }
        int status = 0;
        EXPECT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status));
        return child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    // Kills the backup of `bytes` at each of its points in turn, each time
    // from what `start` puts in place, and runs `after` once the process has
    // ended there; gives the number of points.
    int killedAtEachPoint(const QByteArray &bytes, const std::function<void()> &start, const std::function<void()> &after,
                          const std::function<void(uint16_t disk)> &atPrompt = {})
    {
        for (int point = 0;; ++point) {
            start();
            writeSource(bytes);
            if (!backupKilledAt(point, atPrompt))
                return point;
            SCOPED_TRACE("killed at step " + std::to_string(point));
            after();
        }
    }
    QStringList journal() const { return QDir(r.bf.JournalFolder).entryList(QDir::Files | QDir::Hidden); }
    // The journal's records of unfinished sets.
    qsizetype unfinished() const { return journal().size() - journal().filter(QRegularExpression("\\.whole$")).size(); }

    QTemporaryDir dir;
    Recorder r;
    QString source, archive;
    QByteArray content;
    bool replacing = false;
    int64_t sourceTime = 0;
};

TEST_F(Volumes, FourVolumesOfTheDocumentedSizesRestoreIdentically)
{
    const int L = int(source.toUtf8().size());
    ASSERT_TRUE(backUp(content));
    EXPECT_EQ(r.disksAsked, std::vector<uint16_t>({2, 3, 4}));

    const QString stem = dir.path() + "/X.";
    EXPECT_EQ(QFileInfo(archive).size(), 32832 + L);
    EXPECT_EQ(QFileInfo(stem + "002").size(), 32800);
    EXPECT_EQ(QFileInfo(stem + "003").size(), 32800);
    ASSERT_TRUE(QFileInfo::exists(stem + "004"));
    EXPECT_FALSE(QFileInfo::exists(stem + "005"));

    const Parsed v1 = parseVolume(readAll(archive));
    EXPECT_EQ(v1.nextVolume, "NEXT:DISK002");
    EXPECT_EQ(v1.entries.at(0).blocks.size(), 2u);
    const Parsed v2 = parseVolume(readAll(stem + "002"), false);
    EXPECT_EQ(v2.nextVolume, "NEXT:DISK003");
    const Parsed v3 = parseVolume(readAll(stem + "003"), false);
    EXPECT_EQ(v3.nextVolume, "NEXT:DISK004");
    const Parsed v4 = parseVolume(readAll(stem + "004"), false);
    EXPECT_TRUE(v4.ended);
    ASSERT_EQ(v4.entries.size(), 1u);
    ASSERT_EQ(v4.entries[0].blocks.size(), 1u);
    EXPECT_GT(v4.entries[0].blocks[0].k, 0);  // 1,696 random bytes still fit as a stream

    r.disksAsked.clear();
    r.diskAnswers = {true, true, true};
    const QString target = dir.path() + "/restored";
    ASSERT_TRUE(r.bf.Restore(archive, target));
    EXPECT_EQ(r.disksAsked, std::vector<uint16_t>({2, 3, 4}));
    EXPECT_EQ(readAll(target + "/source.bin"), content);
    EXPECT_TRUE(r.errors.empty());
}

// A cancelled backup leaves no volume of its own, and every volume of the
// archive it was to replace as it was.
TEST_F(Volumes, CancelAtASecondPromptFailsTheBackupAndTheRestore)
{
    EXPECT_FALSE(backUp(content, {true, false}));
    EXPECT_EQ(r.disksAsked, std::vector<uint16_t>({2, 3}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList {"source.bin"});
    EXPECT_TRUE(r.errors.empty());  // a cancel is no error

    ASSERT_TRUE(backUp(content));
    const Files volumes = folders();
    ASSERT_EQ(volumes.size(), 9u);  // the source, and four volumes with their tags
    EXPECT_FALSE(backUp(randomBytes(100000, 43), {true, false}));
    writeFile(source, content);
    EXPECT_EQ(folders(), volumes);
    const QString target = dir.path() + "/restored";
    QDir().mkpath(target);
    writeFile(target + "/source.bin", "previous");
    r.disksAsked.clear();
    r.diskAnswers = {true, false};
    EXPECT_FALSE(r.bf.Restore(archive, target));
    EXPECT_EQ(readAll(target + "/source.bin"), "previous");
}

TEST_F(Volumes, RestoreAsksAgainWhileTheVolumeIsMissing)
{
    ASSERT_TRUE(backUp(content));
    const QString v3 = dir.path() + "/X.003", hidden = dir.path() + "/elsewhere";
    ASSERT_TRUE(QFile::rename(v3, hidden));
    int asks = 0;
    r.bf.OnNeedDisk = [&](TBackupFile &, uint16_t disk, bool &cont) {
        r.disksAsked.push_back(disk);
        if (disk == 3 && ++asks == 2)
            QFile::rename(hidden, v3);  // the user inserts the right disk
        cont = true;
    };
    r.disksAsked.clear();
    ASSERT_TRUE(r.bf.Restore(archive, dir.path() + "/r"));
    EXPECT_EQ(r.disksAsked, std::vector<uint16_t>({2, 3, 3, 4}));
    EXPECT_EQ(readAll(dir.path() + "/r/source.bin"), content);
}

TEST_F(Volumes, APromptThatLeavesNoRoomForABlockIsAskedAgainWithoutAnEmptyVolume)
{
    r.bf.MaxSize = 48976;
    std::vector<int32_t> sizes = {10000, 16488, 48976, 48976, 48976};
    r.bf.OnNeedDisk = [&](TBackupFile &bf, uint16_t disk, bool &cont) {
        r.disksAsked.push_back(disk);
        // the free space on the new disk, measured again
        cont = !sizes.empty();
        if (cont) {
            bf.MaxSize = sizes.front();
            sizes.erase(sizes.begin());
        }
    };
    ASSERT_TRUE(r.bf.Backup({source}, archive));
    EXPECT_EQ(r.disksAsked, std::vector<uint16_t>({2, 2, 2, 3, 4}));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/X.005"));
    r.bf.OnNeedDisk = [](TBackupFile &, uint16_t, bool &cont) { cont = true; };
    ASSERT_TRUE(r.bf.Restore(archive, dir.path() + "/r"));
    EXPECT_EQ(readAll(dir.path() + "/r/source.bin"), content);
}

TEST_F(Volumes, VolumeNamesReplaceTheExtensionOfTheLastComponentOnly)
{
    EXPECT_EQ(TBackupFile::VolumeName("/a/backup.zbf", "002"), "/a/backup.002");
    EXPECT_EQ(TBackupFile::VolumeName("/a.dir/backup", "010"), "/a.dir/backup.010");
    EXPECT_EQ(TBackupFile::VolumeName("x.tar.zbf", "100"), "x.tar.100");
}

TEST_F(Volumes, TenthVolumeRecordAndPromptNumbers)
{
    // 16,400 bytes per volume: one block each, so ten volumes for 150,000
    // random bytes.
    writeFile(source, randomBytes(150000, 5));
    r.bf.MaxSize = 16484 + 200 + 40;
    r.diskAnswers = std::deque<bool>(20, true);
    ASSERT_TRUE(r.bf.Backup({source}, archive));
    ASSERT_GE(r.disksAsked.size(), 9u);
    EXPECT_EQ(r.disksAsked[8], 10);
    EXPECT_EQ(parseVolume(readAll(dir.path() + "/X.009"), false).nextVolume, "NEXT:DISK010");
    r.diskAnswers = std::deque<bool>(20, true);
    ASSERT_TRUE(r.bf.Restore(archive, dir.path() + "/r"));
    EXPECT_EQ(readAll(dir.path() + "/r/source.bin"), readAll(source));
}

// Every file step (rename, removal, folder sync) and every volume prompt of
// a backup of four volumes over one of two, all in one folder, is a point
// where the process is killed: it ends there at once, in a child process.
// After each, a restore gives the old file or the new one whole and changes
// no file; the next backup (cancelled at its second volume) settles what
// the killed one left: a restore then gives the old file or the new one
// whole, nothing is left kept aside, and the journal is empty.
TEST_F(Volumes, AKillAtAnyStepLeavesTheOldOrTheNewArchiveWhole)
{
    const QByteArray before = randomBytes(60000, 1), after = content;
    ASSERT_TRUE(backUp(before));
    const Files old = folders();
    std::set<QByteArray> outcomes;
    const int points = killedAtEachPoint(after, [&] { putBack(old, folders()); }, [&] {
        const Files killed = folders();
        QByteArray got = restored();
        EXPECT_TRUE(got == before || got == after);
        outcomes.insert(got);
        EXPECT_EQ(folders(), killed);
        EXPECT_FALSE(backUp(after, {false}));
        got = restored();
        EXPECT_TRUE(got == before || got == after);
        outcomes.insert(got);
        EXPECT_TRUE(keptAside().isEmpty()) << keptAside().join(' ').toStdString();
        EXPECT_TRUE(journal().isEmpty()) << journal().join(' ').toStdString();
    });
    EXPECT_EQ(outcomes, (std::set<QByteArray> {before, after}));
    EXPECT_GT(points, 30);
}

// A step the disk refuses. A folder that cannot be synced once a volume is
// in place: the archive is in place and told as such. A rename of a
// volume, or of the journal's record that would note the set whole, that
// fails, or the journal's folder that cannot be synced after that rename
// (a power cut could take the record back): the run fails and every volume
// is as it was. A tag that finds no room is a full disk.
TEST_F(Volumes, AStepTheDiskRefusesIsToldAsNotSyncedOrUndone)
{
    const QByteArray before = randomBytes(60000, 1), after = content;
    struct Case {
        const char *what;
        platform::FileStep step;
        const char *pathEnd;  // of the first step that fails
        const char *after;    // the end of a rename's path that comes first
        int error;
        bool done;
    } cases[] = {
        {"the folder sync after the first volume's rename", platform::FileStep::SyncFolder, "", "/X.zbf", EIO, true},
        {"the rename of the second volume", platform::FileStep::Rename, "/X.002", "", EIO, false},
        {"the rename that notes the set whole", platform::FileStep::Rename, ".whole", "", EIO, false},
        {"the journal's sync after the set is noted whole", platform::FileStep::SyncFolder, "/journal", ".whole", EIO,
         false},
        {"the second volume's tag", platform::FileStep::Rename, "/X.002.set", "", ENOSPC, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(backUp(before));
        const Files old = folders();
        bool afterDone = !*c.after, failed = false;
        const OnFileStep refuse([&](platform::FileStep step, const QString &path) {
            const bool hit = afterDone && step == c.step && path.endsWith(c.pathEnd) && !failed;
            afterDone = afterDone || (step == platform::FileStep::Rename && path.endsWith(c.after));
            failed = failed || hit;
            return hit ? c.error : 0;
        });
        r.errors.clear();
        EXPECT_EQ(backUp(after), c.done);
        EXPECT_TRUE(failed);
        EXPECT_EQ(r.bf.NotSynced(), c.done);
        EXPECT_EQ(r.bf.DiskFull(), c.error == ENOSPC);
        EXPECT_EQ(r.errors, c.done ? std::vector<int32_t>() : std::vector<int32_t>({beCannotWriteArchive}));
        if (!c.done) {
            writeFile(source, before);
            EXPECT_EQ(folders(), old);
        }
        EXPECT_EQ(restored(), c.done ? after : before);
        EXPECT_TRUE(journal().isEmpty());
    }
}

// Disks changed in one drive, the archive's folder.
class Disks : public Volumes {
protected:
    void SetUp() override
    {
        Volumes::SetUp();
        // a label ending in "!" is inserted, and the prompt then cancelled;
        // "?" is the disk the prompt asks for
        r.bf.OnNeedDisk = [this](TBackupFile &sender, uint16_t disk, bool &cont) {
            r.disksAsked.push_back(disk);
            r.diskNotes.push_back(sender.DiskNote());
            cont = !inserts.empty();
            if (cont) {
                QString label = inserts.front() == "?" ? QString::number(disk) : inserts.front();
                inserts.pop_front();
                cont = !label.endsWith(u'!');
                drive.insert(cont ? label : label.chopped(1));
            }
        };
    }
    // Backs up `bytes` with the disks inserted at the prompts as given.
    bool backUpAcross(const QByteArray &bytes, const QStringList &disks)
    {
        writeSource(bytes);
        r.bf.MaxSize = 48976;
        inserts = {disks.cbegin(), disks.cend()};
        return r.bf.Backup({source}, archive);
    }
    QByteArray restoredAcross(const QStringList &disks)
    {
        inserts = {disks.cbegin(), disks.cend()};
        QTemporaryDir into;
        return r.bf.Restore(archive, into.path()) ? readAll(into.path() + "/source.bin") : QByteArray("(refused)");
    }
    // Restored with disk 1 in the drive and, at each prompt, the disk it
    // asks for (a dozen at most); `away`: from a data folder without the
    // journal. Nothing on any disk changes.
    QByteArray restoredAsAsked(bool away = false)
    {
        drive.insert("1");
        const Files disks = everyDisk();
        const QString journalHere = r.bf.JournalFolder;
        if (away)
            r.bf.JournalFolder = dir.path() + "/elsewhere";
        const QByteArray got = restoredAcross(QStringList(12, "?"));
        r.bf.JournalFolder = journalHere;
        drive.insert("1");
        EXPECT_EQ(everyDisk(), disks);
        return got;
    }
    // Every file on every disk, by where it lies now, and in the journal.
    Files everyDisk() const
    {
        Files files = drive.everyFile();
        files.merge(filesIn(r.bf.JournalFolder));
        return files;
    }
    // What a backup across `disks` disks leaves on them: on each, its own
    // volume and tag and what it kept aside there, and in the journal its own
    // record and those of sets that still hold only disks beyond them.
    void expectNothingLeftBehind(int disks)
    {
        const std::optional<volumeset::Tag> tag = volumeset::readTag(drive.folderOf("1") + "/X.zbf");
        const QString set = tag ? QString::fromLatin1(tag->set) : QString("none");
        for (int d = 1; d <= disks; ++d) {
            const QString label = QString::number(d), volume = QFileInfo(volumePath(archive, d)).fileName();
            for (const QString &name : drive.files(label))
                EXPECT_TRUE(name == volume || name == volume + ".set" ||
                            (name.startsWith(volume + ".") && name.endsWith("." + set + ".old")))
                    << "disk " << d << ": " << name.toStdString();
        }
        static const QRegularExpression replacedBy("\\.replaced-by-([0-9a-f]{16})$");
        for (const QString &name : journal()) {
            if (const QRegularExpressionMatch m = replacedBy.match(name); m.hasMatch()) {
                const QString by = ".backup-set-" + m.captured(1);  // noted while the later set has a record
                EXPECT_TRUE(journal().contains(by) || journal().contains(by + ".whole")) << name.toStdString();
                continue;
            }
            const auto record = volumeset::Journal::parseRecord(readAll(r.bf.JournalFolder + "/" + name));
            ASSERT_TRUE(record) << name.toStdString();
            for (const int away : record->away)
                EXPECT_TRUE(record->set == set.toLatin1() || away > disks) << name.toStdString();
        }
    }
    QString inDriveNote() const { return dir.path() + "/in-drive"; }
    // Puts back every disk, and the journal, as everyDisk() gave them with
    // disk 1 in the drive.
    void putBackEveryDisk(const Files &files)
    {
        drive.insert("1");
        putBack(files, everyDisk());
    }

    // the archive's folder; the source file there is on no disk
    DiskDrive drive {dir.path(), dir.path() + "/shelf", {"X.*"}};
    std::deque<QString> inserts;
};

// Each volume is whole on the disk the prompt asked for before the next disk
// is asked for, with its tag. What it replaced goes once the set is whole:
// at once on the last disk, on the others when the next backup sees them
// (a restore changes nothing).
TEST_F(Disks, AVolumeIsWrittenWholeToTheDiskThePromptAskedFor)
{
    ASSERT_TRUE(backUpAcross(randomBytes(100000, 9), {"2", "3", "4"}));
    drive.insert("1");
    QStringList inDriveAtPrompts;
    const auto prompt = r.bf.OnNeedDisk;
    r.bf.OnNeedDisk = [&](TBackupFile &sender, uint16_t disk, bool &cont) {
        const QString volume = volumePath(archive, disk - 1);
        const std::optional<volumeset::Tag> tag = volumeset::fittingTag(volume, nullptr);
        inDriveAtPrompts.append(QFileInfo(volume).fileName() + (tag && tag->volume == disk - 1 ? " whole" : " not"));
        prompt(sender, disk, cont);
    };
    ASSERT_TRUE(backUpAcross(content, {"2", "3", "4"}));
    EXPECT_EQ(inDriveAtPrompts, QStringList({"X.zbf whole", "X.002 whole", "X.003 whole"}));
    EXPECT_EQ(drive.files("4"), QStringList({"X.004", "X.004.set"}));
    EXPECT_EQ(drive.files("1").size(), 4);  // its old volume and tag are still kept aside
    r.bf.OnNeedDisk = prompt;
    drive.insert("1");
    const Files disks = everyDisk();
    EXPECT_EQ(restoredAcross({"2", "3", "4"}), content);
    drive.insert("1");
    EXPECT_EQ(everyDisk(), disks);
}

// A restore asked for a disk takes only the volume of its own backup: a disk
// without it, or with the volume of another backup, is named in the prompt
// that asks again; Cancel then refuses the restore.
TEST_F(Disks, ARestoreRefusesAVolumeOfAnotherBackupAndSaysWhichItNeeds)
{
    const QByteArray older = randomBytes(60000, 1), newer = randomBytes(60000, 2);
    ASSERT_TRUE(backUpAcross(older, {"a2"}));
    drive.insert("b1");
    ASSERT_TRUE(backUpAcross(newer, {"b2"}));
    const QString madeOlder = madeAt(drive.folderOf("a2") + "/X.002");
    const QString madeNewer = madeAt(drive.folderOf("b2") + "/X.002");
    ASSERT_FALSE(madeOlder.isEmpty() || madeNewer.isEmpty());
    drive.insert("b1");
    r.diskNotes.clear();
    EXPECT_EQ(restoredAcross({"empty", "a2", "b2"}), newer);
    EXPECT_EQ(r.diskNotes, (std::vector<QString> {
                               "", "X.002 is not on the disk in the drive.",
                               "X.002 on the disk in the drive is from another backup, made " + madeOlder +
                                   "; this backup was made " + madeNewer + "."}));
    drive.insert("b1");
    r.diskNotes.clear();
    EXPECT_EQ(restoredAcross({"a2"}), "(refused)");
    EXPECT_EQ(r.diskNotes.size(), 2u);
}

// A backup cancelled on its fourth disk has replaced the volumes of the
// first three; the third, in the drive, is put back at once. The older
// backup is restored from what the others kept aside, and the next backup
// puts back each disk as it is inserted, before its own volume goes there.
TEST_F(Disks, ABackupCancelledOnALaterDiskIsUndoneOnEachDiskAsItIsSeen)
{
    const QByteArray older = randomBytes(100000, 9);
    ASSERT_TRUE(backUpAcross(older, {"2", "3", "4"}));
    drive.insert("1");
    EXPECT_FALSE(backUpAcross(content, {"2", "3"}));
    ASSERT_EQ(journal().size(), 1u);  // the first two disks still hold the set
    const QByteArray cancelled = journal()[0].section('-', 2).toLatin1();
    drive.insert("1");
    EXPECT_EQ(restoredAcross({"2", "3", "4"}), older);
    drive.insert("1");
    ASSERT_TRUE(backUpAcross(randomBytes(100000, 10), {"2", "3", "4"}));
    for (const auto &[name, bytes] : everyDisk())
        EXPECT_FALSE(name.contains(cancelled) || bytes.contains(cancelled)) << name.toStdString();
}

// Every file step and every prompt of a backup across one to four disks,
// over an older one of one to four volumes, is a point where the process is
// killed, in a child process, with the disk it was writing in the drive;
// then again, on up to three disks, with every disk's previous volume
// replaced as Setup does after Yes, and with the data unchanged (volumes of
// the same bytes). After each, with disk 1 put back: a restore on this
// computer, and one from a data folder without the journal, with the disk
// asked for put in at each prompt, give the older backup or the newer one
// (or, once a volume was replaced, nothing) and change no file; the next
// backup across the disks settles, on each as it is seen, what the killed
// one left, and leaves on each of its disks nothing but its own volume and
// what it kept aside: no passing file, and no record in the journal but its
// own and those of disks it did not see.
TEST_F(Disks, AKillAtAnyStepAcrossDisksCostsNoBackup)
{
    const auto labels = [](int disks) {
        QStringList later;  // the labels of the disks after the first
        for (int d = 2; d <= disks; ++d)
            later << QString::number(d);
        return later;
    };
    const auto sized = [](int volumes, uint32_t seed) { return randomBytes(32000 * volumes - 25000, seed); };
    enum Way { Over, Replacing, Unchanged };
    int total = 0;
    for (const Way way : {Over, Replacing, Unchanged}) {
        for (const int before : {1, 2, 3, 4}) {
            for (const int disks : {1, 2, 3, 4}) {
                const bool sameCount = before == disks && disks <= 3;
                if ((way == Replacing && !sameCount && disks != 1) || (way == Unchanged && (!sameCount || disks == 1)))
                    continue;
                SCOPED_TRACE(std::to_string(disks) + " disks over " + std::to_string(before) + " volumes" +
                             (way == Replacing ? ", replacing" : way == Unchanged ? ", unchanged" : ""));
                sourceTime = way == Unchanged ? 1700000000 : 0;
                const QByteArray older = sized(before, 9), newest = sized(disks, 10);
                const QByteArray newer = way == Unchanged ? older : sized(disks, 11);
                putBackEveryDisk({});
                ASSERT_TRUE(backUpAcross(older, labels(before)));
                drive.insert("1");
                const Files start = everyDisk();
                std::set<QByteArray> outcomes;
                replacing = way == Replacing;
                const int points = killedAtEachPoint(newer, [&] {
                    putBackEveryDisk(start);
                    writeFile(inDriveNote(), "1");
                }, [&] {
                    replacing = false;
                    drive.current = readAll(inDriveNote());  // the disk the killed process left in the drive
                    for (const bool away : {false, true}) {
                        const QByteArray got = restoredAsAsked(away);
                        EXPECT_TRUE(got == older || got == newer || (way == Replacing && got == "(refused)"))
                            << (away ? "away" : "here");
                        outcomes.insert(got);
                    }
                    drive.insert("1");
                    ASSERT_TRUE(backUpAcross(newest, labels(disks)));
                    expectNothingLeftBehind(disks);
                    EXPECT_EQ(restoredAsAsked(true), newest);
                    replacing = way == Replacing;
                }, [this](uint16_t disk) {
                    drive.insert(QString::number(disk));
                    writeFile(inDriveNote(), QByteArray::number(disk));
                });
                replacing = false;
                EXPECT_TRUE(way == Replacing || outcomes == (std::set<QByteArray> {older, newer}));
                EXPECT_GE(points, 4 * disks);
                total += points;
            }
        }
    }
    sourceTime = 0;
    std::printf("%d kill points\n", total);
}

// Cancel at the prompt for the second disk, with the first disk already out
// of the drive (the second in, or none): the new set's first volume cannot
// be put back, so the journal keeps the set noted unfinished. The older
// backup is restored from what disk 1 kept aside, as often as asked, and
// from a data folder without the journal; the next backup puts disk 1
// back, and the set's record goes.
TEST_F(Disks, ACancelAfterTheDiskChangeKeepsTheOlderBackup)
{
    const QByteArray older = randomBytes(100000, 9);
    ASSERT_TRUE(backUpAcross(older, {"2", "3", "4"}));
    for (const QString swapped : {"2", "none"}) {
        SCOPED_TRACE(swapped.toStdString());
        drive.insert("1");
        EXPECT_FALSE(backUpAcross(content, {swapped + "!"}));
        EXPECT_EQ(unfinished(), 1);
        for (int restore = 0; restore < 2; ++restore) {
            drive.insert("1");
            EXPECT_EQ(restoredAcross({"2", "3", "4"}), older);
        }
        EXPECT_EQ(restoredAsAsked(true), older);
        drive.insert("1");
        EXPECT_FALSE(backUpAcross(content, {"1!"}));  // cancelled with disk 1 still in
        EXPECT_EQ(unfinished(), 0);
        EXPECT_EQ(drive.files("1").size(), 2);
        EXPECT_EQ(restoredAcross({"2", "3", "4"}), older);
    }
}

// The computer dies while a backup across disks waits for its third disk.
// A restore from another data folder, which has no journal, takes the new
// set, finds the older backup's volume on the third disk instead of the new
// one's, says so and goes back to Disk #1 for the older backup; nothing on
// the disks changes. The first computer restores the older backup too.
TEST_F(Disks, ARestoreAwayFromTheJournalChangesNothingOnTheDisks)
{
    const QByteArray older = randomBytes(100000, 9);
    ASSERT_TRUE(backUpAcross(older, {"2", "3", "4"}));
    const QString madeOlder = madeAt(volumePath(archive, 4));
    drive.insert("1");
    writeFile(source, content);
    ASSERT_TRUE(backupKilledAt(INT_MAX, [this](uint16_t disk) {
        if (disk == 3)
            _exit(0);  // the computer dies
        drive.insert("2");
    }));
    drive.current = "2";
    drive.insert("1");
    const QString madeNewer = madeAt(archive);
    r.diskNotes.clear();
    r.disksAsked.clear();
    EXPECT_EQ(restoredAsAsked(true), older);
    EXPECT_EQ(r.disksAsked, std::vector<uint16_t>({2, 3, 1, 2, 3, 4}));
    EXPECT_EQ(r.diskNotes, (std::vector<QString> {"", "",
                                                  "The backup made " + madeNewer + " is not whole on these disks; the "
                                                  "one made " + madeOlder + " is. Insert Disk #1 to restore it.",
                                                  "", "", ""}));
    EXPECT_EQ(restoredAsAsked(), older);
}

// An older backup that fitted one disk (its volume has no tag), and a newer
// one across disks cut off at the prompt for Disk #2: disk 2 put in and
// Cancel, Cancel with no disk in the drive, or a kill. The older one comes
// back, on this computer and from a data folder without the journal.
TEST_F(Disks, AnOlderBackupOfOneDiskComesBackWhenTheNextIsCutOffAtDisk2)
{
    const QByteArray older = randomBytes(20000, 9);
    ASSERT_TRUE(backUpAcross(older, {}));
    ASSERT_EQ(drive.files("1"), QStringList {"X.zbf"});
    const Files start = everyDisk();
    for (const QString cut : {"2!", "none!", "kill"}) {
        SCOPED_TRACE(cut.toStdString());
        putBackEveryDisk(start);
        if (cut == "kill") {
            writeFile(source, content);
            ASSERT_TRUE(backupKilledAt(INT_MAX, [](uint16_t) { _exit(0); }));
        } else {
            EXPECT_FALSE(backUpAcross(content, {cut}));
        }
        EXPECT_EQ(restoredAsAsked(), older);
        EXPECT_EQ(restoredAsAsked(true), older);
    }
}

// A backup made while the clock was 30 days behind: its tags' times come
// before the older backup's, and it is still the newer one, here and away.
TEST_F(Disks, TheBackupPlacedLastIsTheNewerWhateverTheClockSaid)
{
    ASSERT_TRUE(backUpAcross(randomBytes(100000, 9), {"2", "3", "4"}));
    drive.insert("1");
    ASSERT_TRUE(backUpAcross(content, {"2", "3", "4"}));
    const std::optional<volumeset::Tag> newer = volumeset::readTag(archive.chopped(3) + "004");
    ASSERT_TRUE(newer);
    for (const auto &[name, bytes] : everyDisk()) {
        std::optional<volumeset::Tag> tag = volumeset::parseTag(bytes);
        if (!tag || tag->set != newer->set)
            continue;
        tag->made -= 30 * 86400;
        writeFile(name, volumeset::tagText(*tag));
    }
    EXPECT_EQ(restoredAsAsked(), content);
    EXPECT_EQ(restoredAsAsked(true), content);
}

// A first volume without a tag that fits it. An archive whose volumes have
// no tags is read as it is; beside a further volume with a tag (a first
// volume copied alone over another backup's, or one byte of its tag
// damaged) the further volume is refused and the first one named.
TEST_F(Disks, AFirstVolumeWithoutAFittingTagIsNamedBesideTaggedVolumes)
{
    const QByteArray older = randomBytes(100000, 9);
    ASSERT_TRUE(backUpAcross(older, {"2", "3", "4"}));
    QTemporaryDir elsewhere;
    writeFile(source, content);
    Recorder other;
    other.bf.MaxSize = 48976;
    other.diskAnswers = {true, true, true};
    ASSERT_TRUE(other.bf.Backup({source}, elsewhere.path() + "/X.zbf"));
    drive.insert("1");
    const Files disks = everyDisk();
    const QString named = "X.zbf has no tag that fits it, so X.002 on the disk in the drive cannot be checked to be "
                          "from the same backup.";
    struct Case {
        const char *what;
        std::function<void()> change;
        QStringList inserted;  // at the restore's prompts
        QByteArray restored;
        std::vector<QString> notes;
    } cases[] = {
        {"no volume has a tag",
         [&] {
             for (const auto &[name, bytes] : disks)
                 if (name.endsWith(".set"))
                     QFile::remove(name);
         },
         {"2", "3", "4"}, older, {"", "", ""}},
        {"the first volume copied alone over another backup's",
         [&] {
             QFile::remove(archive);
             QFile::remove(archive + ".set");
             ASSERT_TRUE(QFile::copy(elsewhere.path() + "/X.zbf", archive));
         },
         {"2"}, "(refused)", {"", named}},
        {"one byte of the first volume's tag damaged",
         [&] {
             QByteArray tag = readAll(archive + ".set");
             tag[tag.size() - 2] = tag.endsWith("0\n") ? '1' : '0';
             writeFile(archive + ".set", tag);
         },
         {"2"}, "(refused)", {"", named}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        putBackEveryDisk(disks);
        c.change();
        r.diskNotes.clear();
        EXPECT_EQ(restoredAcross(c.inserted), c.restored);
        EXPECT_EQ(r.diskNotes, c.notes);
    }
}

}  // namespace
