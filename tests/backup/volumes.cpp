// Archives that span volumes: where a volume ends, how the next is named and
// asked for, and that a restore follows the volume records.
#include "support.h"

#include <QDir>
#include <QFileInfo>

#include <map>

#include <gtest/gtest.h>

using namespace testing_backup;

namespace {

class Volumes : public ::testing::Test {
protected:
    void SetUp() override
    {
        useUtc();
        r.bf.BackupTitle = "Backup Zarvo";
        source = dir.path() + "/source.bin";
        content = randomBytes(100000, 42);
        writeFile(source, content);
        archive = dir.path() + "/X.zbf";
    }
    QTemporaryDir dir;
    Recorder r;
    QString source, archive;
    QByteArray content;
};

TEST_F(Volumes, FourVolumesOfTheDocumentedSizesRestoreIdentically)
{
    const int L = int(source.toUtf8().size());
    r.bf.MaxSize = 48976;
    r.diskAnswers = {true, true, true};
    ASSERT_TRUE(r.bf.Backup({source}, archive));
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
    r.bf.MaxSize = 48976;
    r.diskAnswers = {true, false};
    EXPECT_FALSE(r.bf.Backup({source}, archive));
    EXPECT_EQ(r.disksAsked, std::vector<uint16_t>({2, 3}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList {"source.bin"});
    EXPECT_TRUE(r.errors.empty());  // a cancel is no error

    r.diskAnswers = {true, true, true};
    ASSERT_TRUE(r.bf.Backup({source}, archive));
    std::map<QString, QByteArray> volumes;
    for (const QString &name : QDir(dir.path()).entryList({"X.*"}, QDir::Files))
        volumes[name] = readAll(dir.path() + "/" + name);
    ASSERT_EQ(volumes.size(), 4u);
    writeFile(source, randomBytes(100000, 43));
    r.diskAnswers = {true, false};
    EXPECT_FALSE(r.bf.Backup({source}, archive));
    EXPECT_EQ(QDir(dir.path()).entryList({"X.*"}, QDir::Files).size(), 4);
    for (const auto &[name, bytes] : volumes)
        EXPECT_TRUE(readAll(dir.path() + "/" + name) == bytes) << name.toStdString();
    writeFile(source, content);
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
    r.bf.MaxSize = 48976;
    r.diskAnswers = {true, true, true};
    ASSERT_TRUE(r.bf.Backup({source}, archive));
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

}  // namespace
