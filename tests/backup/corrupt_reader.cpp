// Damaged archives: every fault ends the restore with its error code, never a
// crash or a large allocation, and the file that would be replaced stays as
// it was.
#include "support.h"

#include "backup/volumeset.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <climits>
#include <random>

using namespace testing_backup;

namespace {

class Corrupt : public ::testing::Test {
protected:
    void SetUp() override
    {
        useUtc();
        r.bf.BackupTitle = "Backup Zarvo";
        target = dir.path() + "/target";
        QDir().mkpath(target);
        // The live file that a restore would replace.
        old = mixedBytes(50000, 11);
        writeFile(target + "/Quillet.zrv", old);
        writeFile(dir.path() + "/Quillet.zrv", mixedBytes(60000, 12) + randomBytes(16384, 13));
        archive = dir.path() + "/good.zbf";
        EXPECT_TRUE(r.bf.Backup({dir.path() + "/Quillet.zrv"}, archive));
        good = readAll(archive);
        parsed = parseVolume(good);
    }

    // Restores the forged bytes; expects failure with the code (0: none
    // reported) and the target untouched.
    void expectRefused(const QByteArray &bytes, int32_t code)
    {
        const QString bad = dir.path() + "/bad.zbf";
        writeFile(bad, bytes);
        r.errors.clear();
        EXPECT_FALSE(r.bf.Restore(bad, target));
        EXPECT_FALSE(r.bf.Busy());
        if (code) {
            EXPECT_EQ(r.errors, std::vector<int32_t>({code}));
        }
        EXPECT_EQ(readAll(target + "/Quillet.zrv"), old);
        EXPECT_EQ(QDir(target).entryList(QDir::Files | QDir::Hidden), QStringList {"Quillet.zrv"});
    }
    // Offset of the length of block i of the one entry.
    int64_t blockAt(size_t i) const
    {
        int64_t at = parsed.entries[0].blockOffset;
        for (size_t j = 0; j < i; ++j)
            at += 4 + parsed.entries[0].blocks[j].data.size();
        return at;
    }
    static QByteArray withInt(QByteArray b, int64_t at, int32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b[qsizetype(at + i)] = char((uint32_t(v) >> (8 * i)) & 0xFF);
        return b;
    }

    QTemporaryDir dir;
    Recorder r;
    QString target, archive;
    QByteArray old, good;
    Parsed parsed;
};

TEST_F(Corrupt, TheUndamagedArchiveRestores)
{
    ASSERT_EQ(parsed.entries.size(), 1u);
    ASSERT_GE(parsed.entries[0].blocks.size(), 5u);
    ASSERT_TRUE(r.bf.Restore(archive, target));
    EXPECT_EQ(readAll(target + "/Quillet.zrv"), readAll(dir.path() + "/Quillet.zrv"));
}

TEST_F(Corrupt, BlockFaultsAreCannotReadFile)
{
    // cut inside a block
    expectRefused(good.left(blockAt(2) + 100), beCannotReadFile);
    // a length of 20,000, of INT32_MIN, and one running past the data
    expectRefused(withInt(good, blockAt(1), 20000), beCannotReadFile);
    expectRefused(withInt(good, blockAt(1), -20000), beCannotReadFile);
    expectRefused(withInt(good, blockAt(1), INT32_MIN), beCannotReadFile);
    const QByteArray last = ArchiveBuilder()
                                .header("Backup Zarvo", 10, 1)
                                .entry("/x/Quillet.zrv", 0)
                                .magic()
                                .i32(16000)
                                .raw("short")
                                .bytes;
    expectRefused(last, beCannotReadFile);
}

TEST_F(Corrupt, EntryFaultsAreInvalidArchiveType)
{
    QByteArray b = good;
    b[qsizetype(parsed.entries[0].blockOffset - 2)] = 'X';  // segment mark "QX2\0"
    expectRefused(b, beInvalidArchive);
    const int64_t nameAt = 4 + parsed.title.size() + 8;
    expectRefused(withInt(good, nameAt, -5), beInvalidArchive);
    expectRefused(withInt(good, nameAt, 5000), beInvalidArchive);
    expectRefused(ArchiveBuilder().header("t", 0, 1).i32(100).raw("short name").bytes, beInvalidArchive);
}

// The header counts the files: an end marker before that many entries (an
// empty first name reads as one), or a name that is no name, is a damaged
// archive, and nothing is replaced.
TEST_F(Corrupt, AnEndBeforeTheCountedFilesOrABadNameIsInvalid)
{
    expectRefused(ArchiveBuilder().header("Backup Zarvo", 10, 3).i32(0).bytes, beInvalidArchive);
    const QByteArray oneOfTwo = ArchiveBuilder()
                                    .header("Backup Zarvo", 10, 2)
                                    .entry("/x/Quillet.zrv", 0)
                                    .magic().zlibBlock("new data").i32(0)
                                    .i32(0)
                                    .bytes;
    expectRefused(oneOfTwo, beInvalidArchive);
    const QByteArray nulInName = ArchiveBuilder()
                                     .header("Backup Zarvo", 10, 1)
                                     .entry(QByteArray("/x/Quil\0et.zrv", 15), 0)
                                     .magic().zlibBlock("new data").i32(0)
                                     .i32(0)
                                     .bytes;
    expectRefused(nulInName, beInvalidArchive);
    expectRefused(ArchiveBuilder().header("Backup Zarvo", 10, -1).i32(0).bytes, beInvalidArchive);
}

// Files passed over by the restore mode or by OnRestoreFile count as read.
TEST_F(Corrupt, FilesPassedOverStillCount)
{
    const QByteArray two = ArchiveBuilder()
                               .header("Backup Zarvo", 10, 3)
                               .entry("FILE:LIST", 0)
                               .magic().rawBlock("list").i32(0)
                               .entry("/x/Quillet.zrv", 0)
                               .magic().zlibBlock("new data").i32(0)
                               .entry("/x/other.txt", 0)
                               .magic().rawBlock("other").i32(0)
                               .entry("/x/third.txt", 0)
                               .magic().rawBlock("third").i32(0)
                               .i32(0)
                               .bytes;
    writeFile(dir.path() + "/two.zbf", two);
    r.bf.RestoreMode = rmNoOverwrite;  // Quillet.zrv exists: passed over
    r.bf.OnRestoreFile = [](TBackupFile &, QString &name, int32_t, bool &doRestore) {
        doRestore = doRestore && !name.endsWith("third.txt");
    };
    ASSERT_TRUE(r.bf.Restore(dir.path() + "/two.zbf", target));
    EXPECT_EQ(readAll(target + "/Quillet.zrv"), old);
    EXPECT_EQ(readAll(target + "/other.txt"), "other");
    EXPECT_FALSE(QFileInfo::exists(target + "/third.txt"));
    EXPECT_EQ(r.bf.FilesDone(), 1);
}

// A listed file that is gone when its turn comes ends the backup with error
// 1: a finished archive always holds the files its header counts.
TEST_F(Corrupt, AFileThatVanishesDuringTheBackupFailsIt)
{
    const QString first = dir.path() + "/a.txt", second = dir.path() + "/b.txt";
    writeFile(first, mixedBytes(40000, 3));
    writeFile(second, "second");
    r.bf.OnProgress = [&](TBackupFile &, const QString &file, int, bool &) {
        if (file == first)
            QFile::remove(second);
    };
    r.errors.clear();
    EXPECT_FALSE(r.bf.Backup({first, second}, dir.path() + "/vanish.zbf"));
    EXPECT_EQ(r.errors, std::vector<int32_t>({beCannotReadFile}));
}

TEST_F(Corrupt, BlocksThatDoNotInflateToOneWholeStreamAreCompressionErrors)
{
    // the zlib header of the first compressed block damaged
    size_t i = 0;
    while (parsed.entries[0].blocks[i].k < 0)
        ++i;
    QByteArray b = good;
    b[qsizetype(blockAt(i) + 4)] = char(0xFF);
    expectRefused(b, beCompression);

    // a stream followed by extra bytes, a stream cut short, a stream that
    // inflates to more than one chunk
    const QByteArray stream = zlibCompress(QByteArray(1000, 'q'), 1);
    auto forged = [](const QByteArray &block) {
        return ArchiveBuilder()
            .header("Backup Zarvo", 1000, 1)
            .entry("/x/Quillet.zrv", 0)
            .magic()
            .str(block)
            .i32(0)
            .i32(0)
            .bytes;
    };
    expectRefused(forged(stream + "tail"), beCompression);
    expectRefused(forged(stream.left(stream.size() - 3)), beCompression);
    expectRefused(forged(zlibCompress(QByteArray(20000, 'q'), 1)), beCompression);
    // the same stream alone restores
    writeFile(dir.path() + "/ok.zbf", forged(stream));
    ASSERT_TRUE(r.bf.Restore(dir.path() + "/ok.zbf", target));
    EXPECT_EQ(readAll(target + "/Quillet.zrv"), QByteArray(1000, 'q'));
}

TEST_F(Corrupt, HeaderFaultsAreCannotReadArchive)
{
    expectRefused(QByteArray("\x05\x00", 2), beCannotReadArchive);
    expectRefused(withInt(good, 0, -1), beCannotReadArchive);
    expectRefused(withInt(good, 0, 1 << 30), beCannotReadArchive);
    // GetArchiveTitle neither crashes nor allocates for a huge length
    const QString bad = dir.path() + "/bad.zbf";
    writeFile(bad, withInt(good, 0, INT32_MAX));
    r.errors.clear();
    EXPECT_EQ(r.bf.GetArchiveTitle(bad, nullptr), "");
    EXPECT_EQ(r.errors, std::vector<int32_t>({beInvalidArchive}));
}

TEST_F(Corrupt, AnArchiveEndingBeforeItsEndMarkerFails)
{
    expectRefused(good.left(good.size() - 4), 0);
    expectRefused(good.left(good.size() - 8), 0);
}

TEST_F(Corrupt, NoTargetIsReplacedBeforeTheWholeArchiveHasBeenRead)
{
    // The first entry is whole, the second damaged: the first target stays too.
    const QByteArray twoEntries = ArchiveBuilder()
                                      .header("Backup Zarvo", 10, 2)
                                      .entry("/x/Quillet.zrv", 0)
                                      .magic().zlibBlock("new data").i32(0)
                                      .entry("/x/other.txt", 0)
                                      .magic().i32(40000).raw("cut")
                                      .bytes;
    expectRefused(twoEntries, beCannotReadFile);
    // and whole, both land
    const QByteArray whole = ArchiveBuilder()
                                 .header("Backup Zarvo", 13, 2)
                                 .entry("/x/Quillet.zrv", 0)
                                 .magic().zlibBlock("new data").i32(0)
                                 .entry("/x/other.txt", 0)
                                 .magic().rawBlock("other").i32(0)
                                 .i32(0)
                                 .bytes;
    writeFile(dir.path() + "/whole.zbf", whole);
    ASSERT_TRUE(r.bf.Restore(dir.path() + "/whole.zbf", target));
    EXPECT_EQ(readAll(target + "/Quillet.zrv"), "new data");
    EXPECT_EQ(readAll(target + "/other.txt"), "other");
    EXPECT_EQ(r.bf.FilesDone(), 2);
}

// A block length negated reads the compressed bytes as the chunk itself:
// the restored sizes no longer make the header's total, or the file-ID
// list's line, and nothing is replaced. Good archives, with and without the
// list, still restore; a total at the writer's clamp cannot be checked.
TEST_F(Corrupt, RestoredSizesMustMatchTheHeaderAndTheFileList)
{
    const int32_t length = int32_t(parsed.entries[0].blocks[1].data.size());
    expectRefused(withInt(good, blockAt(1), -length), beCannotReadFile);

    r.bf.SaveFileID = true;
    const QString listed = dir.path() + "/listed.zbf";
    ASSERT_TRUE(r.bf.Backup({dir.path() + "/Quillet.zrv"}, listed));
    const QByteArray withList = readAll(listed);
    const Parsed p = parseVolume(withList);
    ASSERT_EQ(p.entries.size(), 2u);
    int64_t at = p.entries[1].blockOffset + 4 + p.entries[1].blocks[0].data.size();
    expectRefused(withInt(withList, at, -int32_t(p.entries[1].blocks[1].data.size())), beCannotReadFile);

    // Sizes swapped between two list lines (the total still right), and the
    // same files under a clamped total.
    auto twoFiles = [](int32_t total, const QByteArray &list) {
        ArchiveBuilder b;
        b.header("Backup Zarvo", total, 2);
        if (!list.isEmpty())
            b.entry("FILE:LIST", 0).magic().rawBlock(list).i32(0);
        return b.entry("/x/Quillet.zrv", 0).magic().rawBlock("12345").i32(0)
            .entry("/x/other.txt", 0).magic().rawBlock("123").i32(0)
            .i32(0).bytes;
    };
    const QByteArray swapped = "/x/Quillet.zrv\t0=3\r\n/x/other.txt\t0=5\r\n";
    expectRefused(twoFiles(8 + swapped.size(), swapped), beCannotReadFile);
    expectRefused(twoFiles(9, {}), beCannotReadFile);
    ASSERT_TRUE(r.bf.Restore(listed, target));
    EXPECT_EQ(readAll(target + "/Quillet.zrv"), readAll(dir.path() + "/Quillet.zrv"));
    writeFile(dir.path() + "/clamped.zbf", twoFiles(INT32_MAX, {}));
    EXPECT_TRUE(r.bf.Restore(dir.path() + "/clamped.zbf", target));
}

TEST_F(Corrupt, StreamsAreCheckedTheSameWay)
{
    QByteArray b = withInt(good, blockAt(1), 20000);
    QBuffer buffer(&b);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    EXPECT_FALSE(r.bf.RestoreFromStream(&buffer, target));
    EXPECT_EQ(r.errors, std::vector<int32_t>({beCannotReadFile}));
    EXPECT_EQ(readAll(target + "/Quillet.zrv"), old);
}

TEST_F(Corrupt, RandomDamageNeverCrashesNorTouchesTheTargetOnFailure)
{
    std::mt19937 rng(2024);
    for (int round = 0; round < 300; ++round) {
        QByteArray b = good;
        const int hits = 1 + int(rng() % 4);
        for (int h = 0; h < hits; ++h) {
            // bias the damage towards the structure at the front of the data
            const int64_t at = (rng() % 2) ? int64_t(rng() % 64) : int64_t(rng() % b.size());
            b[qsizetype(at)] = char(rng() & 0xFF);
        }
        if (rng() % 3 == 0)
            b.truncate(int(rng() % b.size()));
        const QString bad = dir.path() + "/fuzz.zbf";
        writeFile(bad, b);
        r.errors.clear();
        const bool ok = r.bf.Restore(bad, target);
        if (!ok) {
            EXPECT_EQ(readAll(target + "/Quillet.zrv"), old) << "round " << round;
        } else {
            writeFile(target + "/Quillet.zrv", old);
        }
        EXPECT_LE(r.errors.size(), 1u);
        r.bf.GetArchiveTitle(bad, nullptr);
        // damage to the archived name restores under another name: clear those
        for (const QString &f : QDir(target).entryList(QDir::Files | QDir::Hidden))
            if (f != "Quillet.zrv")
                QFile::remove(target + "/" + f);
    }
}

// The tag beside a volume and the journal's record of a set, damaged: a
// cut, a changed byte or bytes put in anywhere read as nothing, or as a
// text written exactly so (never a crash; a record cut after its archive
// line reads as the release before wrote it); a tag that reads but no
// longer fits its volume's bytes is not taken: a further volume whose tag
// is damaged is refused, asked for again and named, and so is one beside
// a first volume whose tag is damaged, which is named.
TEST_F(Corrupt, DamagedVolumeTagsAreNoTags)
{
    writeFile(dir.path() + "/Quillet.zrv", randomBytes(60000, 14));  // two volumes
    r.bf.MaxSize = 48976;
    r.diskAnswers = {true};
    ASSERT_TRUE(r.bf.Backup({dir.path() + "/Quillet.zrv"}, archive));
    const QString second = dir.path() + "/good.002";
    const QByteArray tag = readAll(second + ".set");
    ASSERT_TRUE(volumeset::parseTag(tag));
    using Journal = volumeset::Journal;
    const QByteArray record = Journal::recordText({"00c0ffee12345678", "/home/u/Backups 1/X.zbf", {1, 2, 17}});
    ASSERT_TRUE(Journal::parseRecord(record));
    std::mt19937 rng(68);
    const auto damaged = [&](QByteArray b) {
        const qsizetype at = qsizetype(rng() % uint32_t(b.size()));
        switch (rng() % 3) {
        case 0: b[at] = char(rng() & 0xFF); break;
        case 1: b.truncate(at); break;
        default: b.insert(at, QByteArray(1 + int(rng() % 600), char(rng() & 0xFF))); break;
        }
        return b;
    };
    for (int round = 0; round < 3000; ++round) {
        const QByteArray b = damaged(tag), j = damaged(record);
        if (const std::optional<volumeset::Tag> read = volumeset::parseTag(b)) {
            EXPECT_EQ(volumeset::tagText(*read), b) << "round " << round;
        }
        if (const std::optional<Journal::Record> read = Journal::parseRecord(j)) {
            const QByteArray older = "set " + read->set + "\narchive " + read->archive.toUtf8() + '\n';
            EXPECT_TRUE(Journal::recordText(*read) == j || (older == j && read->away.isEmpty())) << "round " << round;
        }
    }
    QByteArray otherSize = tag;
    otherSize.replace("size ", "size 1");
    ASSERT_TRUE(volumeset::parseTag(otherSize));
    for (const QByteArray &damaged : {otherSize, QByteArray(tag).replace("volume 2", "volume 3"), tag.left(40)}) {
        writeFile(second + ".set", damaged);
        r.diskAnswers = {true, false};
        r.diskNotes.clear();
        EXPECT_FALSE(r.bf.Restore(archive, target));
        ASSERT_EQ(r.diskNotes.size(), 2u);
        EXPECT_TRUE(r.diskNotes[1].startsWith("good.002 on the disk in the drive is from another backup"))
            << r.diskNotes[1].toStdString();
        EXPECT_EQ(readAll(target + "/Quillet.zrv"), old);
    }
    writeFile(second + ".set", tag);
    writeFile(archive + ".set", "backup volume tag\n");
    r.diskAnswers = {true, false};
    r.diskNotes.clear();
    EXPECT_FALSE(r.bf.Restore(archive, target));
    ASSERT_EQ(r.diskNotes.size(), 2u);
    EXPECT_EQ(r.diskNotes[1], "good.zbf has no tag that fits it, so good.002 on the disk in the drive cannot be "
                              "checked to be from the same backup.");
}

}  // namespace
