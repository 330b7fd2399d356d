// The archive's bytes: header, entries, segments and blocks as other copies of
// the program read them.
#include "support.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace testing_backup;

namespace {

// 2020-05-17 10:20:30 UTC
constexpr int64_t kStamp = 1589710830;
constexpr int32_t kStampDos = (((2020 - 1980) << 9 | 5 << 5 | 17) << 16) | (10 << 11 | 20 << 5 | 15);

class Format : public ::testing::Test {
protected:
    void SetUp() override
    {
        useUtc();
        ASSERT_TRUE(dir.isValid());
        r.bf.BackupTitle = "Backup Zarvo";
        r.bf.CompressionLevel = clFastest;
    }
    QString path(const QString &name) const { return dir.path() + "/" + name; }
    QByteArray backupOne(const QString &file, const QByteArray &content)
    {
        writeFile(file, content);
        setMtime(file, kStamp);
        const QString archive = path("out.zbf");
        EXPECT_TRUE(r.bf.Backup({file}, archive));
        return readAll(archive);
    }
    QTemporaryDir dir;
    Recorder r;
};

TEST_F(Format, DosDatesFollowLocalTimeAndClampToTheirRange)
{
    EXPECT_EQ(dosDateTimeOf(kStamp), kStampDos);
    EXPECT_EQ(unixSecondsOfDosDateTime(kStampDos), kStamp);
    // before 1980 and after 2107
    EXPECT_EQ(dosDateTimeOf(0), int32_t((0 << 9 | 1 << 5 | 1) << 16));
    EXPECT_EQ(uint32_t(dosDateTimeOf(int64_t(5000000000LL))), uint32_t(((127u << 9 | 12u << 5 | 31u) << 16) | (23u << 11 | 59u << 5 | 29u)));
    setenv("TZ", "Asia/Hong_Kong", 1);
    tzset();
    EXPECT_EQ(dosDateTimeOf(kStamp), int32_t((((2020 - 1980) << 9 | 5 << 5 | 17) << 16) | (18 << 11 | 20 << 5 | 15)));
    useUtc();
}

TEST_F(Format, OneSmallFileIsHeaderEntryOneZlibBlockAndEndMarker)
{
    const QString file = path("hello.txt");
    const QByteArray bytes = backupOne(file, "hello\n");
    const QByteArray name = file.toUtf8();
    const QByteArray stream = zlibCompress("hello\n", 1);
    const QByteArray expected = ArchiveBuilder()
                                    .header("Backup Zarvo", 6, 1)
                                    .entry(name, kStampDos)
                                    .magic()
                                    .str(stream)
                                    .i32(0)
                                    .i32(0)
                                    .bytes;
    EXPECT_EQ(bytes.toHex().toStdString(), expected.toHex().toStdString());
    QByteArray out;
    ASSERT_TRUE(zlibInflate(stream, out));
    EXPECT_EQ(out, "hello\n");
    EXPECT_EQ(r.bf.FilesDone(), 1);
    EXPECT_EQ(r.bf.ArchiveBytes(), 4 + 4 + stream.size());
    EXPECT_TRUE(r.errors.empty());
}

TEST_F(Format, EmptyFileHasOneSegmentWithoutBlocksAndRestoresWithItsDate)
{
    const QString file = path("empty.dat");
    const QByteArray bytes = backupOne(file, "");
    const QByteArray expected =
        ArchiveBuilder().header("Backup Zarvo", 0, 1).entry(file.toUtf8(), kStampDos).magic().i32(0).i32(0).bytes;
    EXPECT_EQ(bytes.toHex().toStdString(), expected.toHex().toStdString());

    const QString target = path("restored");
    ASSERT_TRUE(r.bf.Restore(path("out.zbf"), target));
    EXPECT_TRUE(QFileInfo::exists(target + "/empty.dat"));
    EXPECT_EQ(readAll(target + "/empty.dat").size(), 0);
    EXPECT_EQ(mtimeOf(target + "/empty.dat"), kStamp);
}

TEST_F(Format, BlocksAreWholeZlibStreamsOrRawChunks)
{
    // 16,384 random bytes do not shrink: stored raw. 1,000 random bytes grow a
    // little but still fit the buffer: a zlib stream. Text compresses.
    const QByteArray content = randomBytes(16384, 1) + QByteArray(20000, 'a') + randomBytes(1000, 2);
    const QString file = path("mix.bin");
    const Parsed p = parseVolume(backupOne(file, content));
    ASSERT_TRUE(p.ended);
    EXPECT_EQ(p.total, content.size());
    ASSERT_EQ(p.entries.size(), 1u);
    const auto &blocks = p.entries[0].blocks;
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].k, -16384);
    EXPECT_EQ(blocks[0].data, content.left(16384));
    QByteArray chunk;
    ASSERT_GT(blocks[1].k, 0);
    ASSERT_TRUE(zlibInflate(blocks[1].data, chunk));
    EXPECT_EQ(chunk, content.mid(16384, 16384));
    EXPECT_EQ(blocks[1].data, zlibCompress(content.mid(16384, 16384), 1));
    ASSERT_GT(blocks[2].k, 0);
    ASSERT_TRUE(zlibInflate(blocks[2].data, chunk));
    EXPECT_EQ(chunk, content.mid(32768));
    EXPECT_EQ(r.bf.CompressionRate(),
              100 - int(std::lround(double(r.bf.ArchiveBytes()) / double(content.size()) * 100.0)));
}

TEST_F(Format, EveryCompressionLevelWritesItsOwnStreamsAndRestoresIdentically)
{
    const QByteArray content = mixedBytes(120000, 7);
    const int zlevels[] = {1, 0, -1, 9};
    for (TCompressionLevel level : {clFastest, clNone, clDefault, clMax}) {
        SCOPED_TRACE(int(level));
        r.bf.CompressionLevel = level;
        const QString file = path("data.bin");
        const Parsed p = parseVolume(backupOne(file, content));
        ASSERT_EQ(p.entries.size(), 1u);
        QByteArray joined;
        for (const Block &b : p.entries[0].blocks) {
            if (b.k < 0) {
                EXPECT_EQ(b.k, -b.data.size());
                joined += b.data;
                continue;
            }
            QByteArray chunk;
            ASSERT_TRUE(zlibInflate(b.data, chunk));
            EXPECT_EQ(b.data, zlibCompress(chunk, zlevels[level]));
            joined += chunk;
        }
        EXPECT_EQ(joined, content);
        const QString target = path(QString("restored%1").arg(int(level)));
        ASSERT_TRUE(r.bf.Restore(path("out.zbf"), target));
        EXPECT_EQ(readAll(target + "/data.bin"), content);
        EXPECT_EQ(mtimeOf(target + "/data.bin"), kStamp);
    }
    EXPECT_TRUE(r.errors.empty());
}

TEST_F(Format, FileListEntryComesFirstAndIsNeverRestored)
{
    const QString a = path("a.txt"), b = path("b.txt");
    writeFile(a, "alpha");
    writeFile(b, QByteArray(30000, 'b'));
    setMtime(a, kStamp);
    setMtime(b, kStamp + 2);
    r.bf.SaveFileID = true;
    const QString archive = path("ids.zbf");
    ASSERT_TRUE(r.bf.Backup({a, b}, archive));

    const QByteArray lines = a.toUtf8() + "\t" + QByteArray::number(kStampDos) + "=5\r\n" + b.toUtf8() + "\t" +
                             QByteArray::number(kStampDos + 1) + "=30000\r\n";
    const Parsed p = parseVolume(readAll(archive));
    EXPECT_EQ(p.count, 2);
    EXPECT_EQ(p.total, 5 + 30000 + lines.size());
    ASSERT_EQ(p.entries.size(), 3u);
    EXPECT_EQ(p.entries[0].name, "FILE:LIST");
    QByteArray text;
    for (const Block &blk : p.entries[0].blocks) {
        QByteArray chunk;
        ASSERT_TRUE(blk.k < 0 || zlibInflate(blk.data, chunk));
        text += blk.k < 0 ? blk.data : chunk;
    }
    EXPECT_EQ(text, lines);
    EXPECT_EQ(p.entries[1].name, a.toUtf8());
    EXPECT_EQ(p.entries[2].name, b.toUtf8());

    QStringList ids {"old line"};
    EXPECT_EQ(r.bf.GetArchiveTitle(archive, &ids), "Backup Zarvo");
    EXPECT_EQ(ids, QStringList({a + "\t" + QString::number(kStampDos) + "=5",
                                b + "\t" + QString::number(kStampDos + 1) + "=30000"}));
    EXPECT_EQ(r.bf.FileCount(), 2);
    EXPECT_EQ(r.bf.TotalSize(), p.total);

    const QString target = path("restored");
    ASSERT_TRUE(r.bf.Restore(archive, target));
    EXPECT_EQ(QDir(target).entryList(QDir::Files), QStringList({"a.txt", "b.txt"}));
    EXPECT_EQ(r.bf.FilesDone(), 2);

    // Without the entry the list stays as it was.
    r.bf.SaveFileID = false;
    ASSERT_TRUE(r.bf.Backup({a}, archive));
    ids = QStringList {"kept"};
    EXPECT_EQ(r.bf.GetArchiveTitle(archive, &ids), "Backup Zarvo");
    EXPECT_EQ(ids, QStringList {"kept"});
}

TEST_F(Format, StreamsAreWrittenAndReadFromTheirCurrentPosition)
{
    const QString file = path("s.txt");
    writeFile(file, mixedBytes(40000, 3));
    setMtime(file, kStamp);
    QByteArray store("prefix");
    QBuffer buffer(&store);
    ASSERT_TRUE(buffer.open(QIODevice::ReadWrite));
    buffer.seek(6);
    r.bf.MaxSize = 20000;  // ignored for a stream
    ASSERT_TRUE(r.bf.BackupToStream({file}, &buffer));
    EXPECT_EQ(r.bf.MaxSize, 0);
    EXPECT_TRUE(buffer.isOpen());
    EXPECT_TRUE(store.startsWith("prefix"));
    const Parsed p = parseVolume(store.mid(6));
    EXPECT_TRUE(p.ended);

    buffer.seek(6);
    EXPECT_EQ(r.bf.GetArchiveTitleFromStream(&buffer, nullptr), "Backup Zarvo");
    buffer.seek(6);
    const QString target = path("from-stream");
    ASSERT_TRUE(r.bf.RestoreFromStream(&buffer, target));
    EXPECT_EQ(readAll(target + "/s.txt"), readAll(file));
    EXPECT_FALSE(r.bf.BackupToStream({file}, nullptr));
    EXPECT_FALSE(r.bf.RestoreFromStream(nullptr, target));
}

TEST_F(Format, ProgressRunsFromZeroToHundredAndStopEndsTheRunKeepingTheArchiveThatWasThere)
{
    const QString file = path("p.bin");
    writeFile(file, randomBytes(5 * 16384, 9));
    std::vector<int> seen;
    QStringList names;
    r.bf.OnProgress = [&](TBackupFile &bf, const QString &name, TPercentage pct, bool &) {
        seen.push_back(pct);
        names.append(name);
        EXPECT_TRUE(bf.Busy());
    };
    const QString archive = path("p.zbf");
    ASSERT_TRUE(r.bf.Backup({file}, archive));
    EXPECT_EQ(seen, std::vector<int>({0, 20, 40, 60, 80, 100, 100}));
    EXPECT_EQ(names, QStringList({"", file, file, file, file, file, ""}));
    EXPECT_FALSE(r.bf.Busy());

    r.bf.OnProgress = [&](TBackupFile &bf, const QString &, TPercentage pct, bool &) {
        if (pct == 40)
            bf.Stop();
    };
    const QByteArray whole = readAll(archive);
    writeFile(file, randomBytes(5 * 16384, 10));
    EXPECT_FALSE(r.bf.Backup({file}, archive));
    EXPECT_TRUE(r.errors.empty());  // stopping reports nothing
    EXPECT_EQ(r.bf.FilesDone(), 1);
    EXPECT_TRUE(readAll(archive) == whole) << "the archive of the run before was written over";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"p.bin", "p.zbf"})) << "a partial archive was left";
}

}  // namespace
