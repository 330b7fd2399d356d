// Which files a backup takes (file specifications, subdirectories, the
// archive itself, the archive attribute) and where and when a restore writes.
#include "support.h"

#include "platform/file_attributes.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing_backup;

namespace {

class Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        useUtc();
        root = QDir(dir.path()).canonicalPath();
        r.bf.BackupTitle = "Backup Zarvo";
    }
    QString make(const QString &rel, const QByteArray &data = "x")
    {
        const QString p = root + "/" + rel;
        QDir().mkpath(QFileInfo(p).absolutePath());
        writeFile(p, data);
        return p;
    }
    QStringList archived(const QString &archive)
    {
        QStringList names;
        for (const Entry &e : parseVolume(readAll(archive)).entries)
            names.append(QString::fromUtf8(e.name));
        return names;
    }
    QTemporaryDir dir;
    QString root;
    Recorder r;
};

TEST_F(Files, RecursiveSpecificationTakesSubdirectoriesFirstDeepestFirst)
{
    const QString top = make("data/top.txt");
    const QString a = make("data/a/one.txt");
    const QString deep = make("data/a/deep/two.txt");
    const QString b = make("data/b/three.dat");
    const QString hidden = make("data/.h/four.txt");
    EXPECT_EQ(r.bf.ExpandFileList({root + "/data/* /s"}, QString()),
              QStringList({hidden, deep, a, b, top}));
    EXPECT_EQ(r.bf.ExpandFileList({root + "/data/*.txt /s"}, QString()), QStringList({hidden, deep, a, top}));
    EXPECT_EQ(r.bf.ExpandFileList({root + "/data/*.* /s"}, QString()).size(), 5);
    // without the token: this folder only
    EXPECT_EQ(r.bf.ExpandFileList({root + "/data/*"}, QString()), QStringList({top}));
    EXPECT_EQ(r.bf.ExpandFileList({root + "/data/t?p.*"}, QString()), QStringList({top}));
    EXPECT_TRUE(r.bf.ExpandFileList({root + "/data/missing.txt", "", "   "}, QString()).isEmpty());
}

TEST_F(Files, SlashSInsideAPathIsNoSwitch)
{
    const QString f = make("srv/s/file.txt");
    make("srv/s/sub/other.txt");
    EXPECT_EQ(r.bf.ExpandFileList({root + "/srv/s/file.txt"}, QString()), QStringList({f}));
    EXPECT_EQ(r.bf.ExpandFileList({root + "/srv/s/*"}, QString()), QStringList({f}));
    EXPECT_EQ(r.bf.ExpandFileList({"  " + root + "/srv/s/*\t/s  "}, QString()).size(), 2);
}

TEST_F(Files, ANameIsTakenOnceAndNeverTheArchiveItself)
{
    const QString f = make("d/file.txt");
    const QString archive = root + "/d/out.zbf";
    make("d/out.zbf", "old archive");
    ASSERT_EQ(::link(QFile::encodeName(archive).constData(), QFile::encodeName(root + "/d/alias.zbf").constData()), 0);
    const QString relative = QDir(QDir::currentPath()).relativeFilePath(archive);
    EXPECT_EQ(r.bf.ExpandFileList({root + "/d/*", f, root + "/d/../d/file.txt"}, relative), QStringList({f}));
    ASSERT_TRUE(r.bf.Backup({root + "/d/*"}, archive));
    EXPECT_EQ(archived(archive), QStringList({f}));
    EXPECT_EQ(parseVolume(readAll(archive)).count, 1);
}

// An archive name that is a link to another disk, or a link to such a link,
// stays one: the backup is written beside the file the links lead to (made
// there when there is none yet) and replaces it, in one volume or several.
TEST_F(Files, AnArchiveNameThatIsALinkStaysOneAndTheFileItLeadsToIsReplaced)
{
    const QString f = make("src/data.bin", randomBytes(60000, 4));
    const QString disk = root + "/otherdisk", target = disk + "/Quillet0.zbf";
    const QString link = root + "/Quillet0.zbf", linkToLink = root + "/latest.zbf";
    QDir().mkpath(disk);
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
    ASSERT_EQ(::symlink("Quillet0.zbf", QFile::encodeName(linkToLink).constData()), 0);
    for (const QString &name : {link, linkToLink}) {
        SCOPED_TRACE(name.toStdString());
        for (const int32_t maxSize : {0, 48976}) {
            writeFile(f, randomBytes(60000, uint32_t(maxSize) + 5));
            r.bf.MaxSize = maxSize;
            r.diskAnswers = {true, true};
            ASSERT_TRUE(r.bf.Backup({f}, name));
            EXPECT_TRUE(QFileInfo(link).isSymLink());
            EXPECT_TRUE(QFileInfo(linkToLink).isSymLink());
            EXPECT_EQ(archived(target), QStringList({f}));
            r.diskAnswers = {true};
            ASSERT_TRUE(r.bf.Restore(name, root + "/back"));
            EXPECT_EQ(readAll(root + "/back/data.bin"), readAll(f));
        }
    }
    EXPECT_EQ(QDir(disk).entryList(QDir::Files), QStringList({"Quillet0.zbf", "Quillet0.zbf.set"}));
}

TEST_F(Files, IncrementalTakesOnlyChangedFiles)
{
    const QString a = make("inc/a.txt", "one");
    const QString b = make("inc/b.txt", "two");
    const bool marks = platform::clearArchiveFlag(a) && !platform::archiveFlagSet(a);
    if (!marks)
        GTEST_SKIP() << "no extended attributes here";
    r.bf.SetBackupMode(bmIncremental);
    EXPECT_TRUE(r.bf.SetArchiveFlag);
    const QString archive = root + "/inc.zbf";
    ASSERT_TRUE(r.bf.Backup({root + "/inc/*"}, archive));
    EXPECT_EQ(archived(archive), QStringList({b}));
    ASSERT_TRUE(r.bf.Backup({root + "/inc/*"}, archive));
    EXPECT_TRUE(archived(archive).isEmpty());
    writeFile(a, "changed, longer");
    ASSERT_TRUE(r.bf.Backup({root + "/inc/*"}, archive));
    EXPECT_EQ(archived(archive), QStringList({a}));
    r.bf.SetBackupMode(bmAll);
    ASSERT_TRUE(r.bf.Backup({root + "/inc/*"}, archive));
    EXPECT_EQ(archived(archive), QStringList({a, b}));
}

TEST_F(Files, AFileThatShrinksWhileBeingReadFailsTheRun)
{
    const QString f = make("grow/f.bin", randomBytes(50000, 3));
    r.bf.OnProgress = [&](TBackupFile &, const QString &name, TPercentage, bool &) {
        if (name == f)
            ::truncate(QFile::encodeName(f).constData(), 20000);
    };
    EXPECT_FALSE(r.bf.Backup({f}, root + "/grow.zbf"));
    EXPECT_EQ(r.errors, std::vector<int32_t>({beCannotReadFile}));
}

class RestoreModes : public Files {
protected:
    void SetUp() override
    {
        Files::SetUp();
        source = make("src/doc.txt", "archived");
        setMtime(source, 1600000000);
        archive = root + "/modes.zbf";
        ASSERT_TRUE(r.bf.Backup({source}, archive));
        out = root + "/out";
        QDir().mkpath(out);
    }
    // Restores with the mode over a target of the given age (0: no target)
    // and tells whether the archived content landed.
    bool restores(TRestoreMode mode, int64_t targetTime)
    {
        QFile::remove(out + "/doc.txt");
        if (targetTime) {
            writeFile(out + "/doc.txt", "present");
            setMtime(out + "/doc.txt", targetTime);
        }
        r.bf.RestoreMode = mode;
        EXPECT_TRUE(r.bf.Restore(archive, out));
        return readAll(out + "/doc.txt") == "archived";
    }
    QString source, archive, out;
};

TEST_F(RestoreModes, EachModeDecidesByPresenceAndDate)
{
    const int64_t older = 1500000000, same = 1600000000, newer = 1700000000;
    EXPECT_TRUE(restores(rmAll, 0));
    EXPECT_TRUE(restores(rmAll, newer));
    EXPECT_TRUE(restores(rmNoOverwrite, 0));
    EXPECT_FALSE(restores(rmNoOverwrite, older));
    EXPECT_TRUE(restores(rmNewer, 0));
    EXPECT_TRUE(restores(rmNewer, older));
    EXPECT_FALSE(restores(rmNewer, same));
    EXPECT_FALSE(restores(rmNewer, newer));
    EXPECT_FALSE(restores(rmExisting, 0));
    EXPECT_TRUE(restores(rmExisting, newer));
    EXPECT_FALSE(restores(rmExistingNewer, 0));
    EXPECT_TRUE(restores(rmExistingNewer, older));
    EXPECT_FALSE(restores(rmExistingNewer, same));
}

TEST_F(RestoreModes, DatesFrom2044OnAreLaterThanEarlierOnes)
{
    // from 2044 on a DOS date-time has its top bit set
    const int64_t in2030 = 1893456000, in2050 = 2524608000, in2060 = 2840140800;
    setMtime(source, in2050);
    ASSERT_TRUE(r.bf.Backup({source}, archive));
    EXPECT_TRUE(restores(rmNewer, in2030));
    EXPECT_TRUE(restores(rmExistingNewer, 1600000000));
    EXPECT_FALSE(restores(rmNewer, in2060));
    EXPECT_FALSE(restores(rmNewer, in2050));
}

TEST_F(RestoreModes, TheRestoreFileEventMayRedirectOrRefuse)
{
    r.bf.OnRestoreFile = [&](TBackupFile &, QString &name, int32_t fa, bool &doRestore) {
        EXPECT_EQ(fa, dosDateTimeOf(1600000000));
        EXPECT_TRUE(doRestore);
        name = out + "/renamed.txt";
    };
    QString restoredName;
    r.bf.OnFileRestored = [&](TBackupFile &, QString &name, QIODevice &stream) {
        restoredName = name;
        EXPECT_TRUE(stream.isWritable());
    };
    ASSERT_TRUE(r.bf.Restore(archive, out));
    EXPECT_EQ(readAll(out + "/renamed.txt"), "archived");
    EXPECT_EQ(restoredName, out + "/renamed.txt");
    EXPECT_FALSE(QFileInfo::exists(out + "/doc.txt"));
    r.bf.OnRestoreFile = [](TBackupFile &, QString &, int32_t, bool &doRestore) { doRestore = false; };
    QFile::remove(out + "/renamed.txt");
    ASSERT_TRUE(r.bf.Restore(archive, out));
    EXPECT_TRUE(QDir(out).isEmpty());
    EXPECT_EQ(r.bf.FilesDone(), 0);
}

TEST_F(RestoreModes, RestoredFilesKeepTheTargetsPermissionsOrAreTheUsersAloneAndTakeTheArchivedDate)
{
    writeFile(out + "/doc.txt", "present");
    ASSERT_EQ(::chmod(QFile::encodeName(out + "/doc.txt").constData(), 0640), 0);
    ASSERT_TRUE(r.bf.Restore(archive, out));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(out + "/doc.txt").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(st.st_mtime, 1600000000);

    QFile::remove(out + "/doc.txt");
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(r.bf.Restore(archive, out));
    ::umask(mask);
    ASSERT_EQ(::stat(QFile::encodeName(out + "/doc.txt").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "a new file is readable by others";
}

TEST_F(Files, FullPathRebuildsTheArchivedPathBelowTheTarget)
{
    // an archive written elsewhere holding "/data/a.txt" and a Windows name
    const QByteArray forged = ArchiveBuilder()
                                  .header("Backup Zarvo", 2, 2)
                                  .entry("/data/a.txt", 0)
                                  .magic().rawBlock("A").i32(0)
                                  .entry("C:\\old\\b.txt", 0)
                                  .magic().rawBlock("B").i32(0)
                                  .i32(0)
                                  .bytes;
    const QString archive = root + "/forged.zbf";
    writeFile(archive, forged);
    const QString r1 = root + "/r";
    r.bf.RestoreFullPath = true;
    ASSERT_TRUE(r.bf.Restore(archive, r1));
    EXPECT_EQ(readAll(r1 + "/data/a.txt"), "A");
    EXPECT_EQ(readAll(r1 + "/old/b.txt"), "B");
    r.bf.RestoreFullPath = false;
    const QString r2 = root + "/r2/";
    ASSERT_TRUE(r.bf.Restore(archive, r2));
    EXPECT_EQ(readAll(r2 + "a.txt"), "A");
    EXPECT_EQ(readAll(r2 + "b.txt"), "B");
}

TEST_F(Files, ParentComponentsThatLeaveTheTargetAreRefused)
{
    for (const QByteArray& name : {QByteArray("/data/../../escaped.txt"), QByteArray("..\\..\\escaped.txt"),
                                  QByteArray("/.."), QByteArray("/data/")}) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray forged = ArchiveBuilder()
                                      .header("Backup Zarvo", 1, 1)
                                      .entry(name, 0)
                                      .magic().rawBlock("E").i32(0)
                                      .i32(0)
                                      .bytes;
        const QString archive = root + "/evil.zbf";
        writeFile(archive, forged);
        r.bf.RestoreFullPath = true;
        r.errors.clear();
        EXPECT_FALSE(r.bf.Restore(archive, root + "/in/box"));
        EXPECT_EQ(r.errors, std::vector<int32_t>({beCannotReadFile}));
        EXPECT_FALSE(QFileInfo::exists(root + "/escaped.txt"));
        EXPECT_FALSE(QFileInfo::exists(root + "/in/escaped.txt"));
    }
    // inside the target a ".." is harmless
    const QByteArray inside =
        ArchiveBuilder().header("t", 1, 1).entry("/a/../b.txt", 0).magic().rawBlock("I").i32(0).i32(0).bytes;
    writeFile(root + "/inside.zbf", inside);
    ASSERT_TRUE(r.bf.Restore(root + "/inside.zbf", root + "/in"));
    EXPECT_EQ(readAll(root + "/in/b.txt"), "I");
}

// A restore that fails in writing its files is told apart from one that
// fails in reading the archive: a target folder that cannot be made and a
// file-size limit below the file, against a block longer than a chunk and
// an archive cut short. None leaves the file at its target.
TEST_F(Files, ARestoreTellsAFailedWriteFromAnArchiveThatCannotBeRead)
{
    const QString source = make("w/data.bin", randomBytes(100000, 4));
    const QString archive = root + "/w.zbf";
    ASSERT_TRUE(r.bf.Backup({source}, archive));
    const QByteArray whole = readAll(archive);
    QByteArray longBlock = whole;
    const int64_t at = parseVolume(whole).entries.at(0).blockOffset;
    longBlock.replace(qsizetype(at), 4, ArchiveBuilder().i32(TBackupFile::kChunk + 1).bytes);
    make("blocked");
    struct Case {
        const char* what;
        QByteArray bytes;
        QString target;
        bool limited;
        bool writeFailed;
    } cases[] = {
        {"the target folder cannot be made", whole, root + "/blocked/in", false, true},
        {"a file-size limit below the file", whole, root + "/out", true, true},
        {"a block longer than a chunk", longBlock, root + "/out", false, false},
        {"the archive cut short", whole.left(whole.size() / 2), root + "/out", false, false},
    };
    signal(SIGXFSZ, SIG_IGN);  // past the limit a write fails instead
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(root + "/case.zbf", c.bytes);
        r.errors.clear();
        rlimit before {};
        getrlimit(RLIMIT_FSIZE, &before);
        if (c.limited) {
            rlimit small = before;
            small.rlim_cur = 50000;
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        EXPECT_FALSE(r.bf.Restore(root + "/case.zbf", c.target));
        setrlimit(RLIMIT_FSIZE, &before);
        EXPECT_EQ(r.bf.TargetWriteFailed(), c.writeFailed);
        EXPECT_EQ(r.errors.size(), 1u);
        EXPECT_FALSE(QFileInfo::exists(c.target + "/data.bin"));
    }
}

TEST_F(Files, MissingArchiveFailsQuietlyAndASecondRunWhileBusyIsRefused)
{
    EXPECT_FALSE(r.bf.Restore(root + "/none.zbf", root + "/x"));
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.bf.GetArchiveTitle(root + "/none.zbf", nullptr), "");
    const QString f = make("busy/f.bin", randomBytes(40000, 1));
    bool inner = true;
    r.bf.OnProgress = [&](TBackupFile &bf, const QString &name, TPercentage, bool &) {
        if (!name.isEmpty() && bf.Busy())
            inner = bf.Backup({f}, root + "/inner.zbf") || bf.Restore(root + "/outer.zbf", root + "/x");
    };
    ASSERT_TRUE(r.bf.Backup({f}, root + "/outer.zbf"));
    EXPECT_FALSE(inner);
    EXPECT_FALSE(QFileInfo::exists(root + "/inner.zbf"));
}

}  // namespace
