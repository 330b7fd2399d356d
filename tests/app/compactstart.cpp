// The start gives the database file's space back: with most of the file
// free it is compacted before it is opened, and the program goes on with
// the same contacts under the same record ids, its daily archive smaller in
// the same proportion, and the file's group, ACL and other extended
// attributes; a file with little free, one another process holds open and
// one the disk has no room to copy are opened as they are.
#include "file_access.h"
#include "mainwindow_fixture.h"

#include "backup/backupfile.h"
#include "engine/compact.h"

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// Contact ID by record id, of every contact.
std::map<oid_t, int> contactIds()
{
    std::map<oid_t, int> ids;
    dbCursor<Customer> c;
    for (bool more = c.select() > 0; more; more = c.next())
        ids[c.currentId().getOid()] = c->id;
    database.commit();
    return ids;
}

struct FileAt {
    ino_t inode = 0;
    qint64 size = 0;
    bool operator==(const FileAt&) const = default;
};

FileAt fileAt(const char* path)
{
    struct stat st {};
    stat(path, &st);
    return {st.st_ino, qint64(st.st_size)};
}

class CompactStart : public MainWindowTest {
protected:
    // After a first start, `made` contacts of which all but `kept` are
    // deleted; the program then ends.
    void prepare(int made, int kept)
    {
        ASSERT_EQ(start(), -1);
        std::vector<oid_t> oids;
        for (int i = 1; i <= made; ++i) {
            const std::string name = "Contact " + std::to_string(i);
            const std::string remark(150 + i % 100, char('a' + i % 26));
            oids.push_back(insert(Customer {.id = i, .name = name.c_str(), .remark = remark.c_str()}).getOid());
            if (i % 500 == 0) {
                ASSERT_TRUE(database.commit());
            }
        }
        ASSERT_TRUE(database.commit());
        for (std::size_t i = std::size_t(kept); i < oids.size(); ++i) {
            dbCursor<Customer> c(dbCursorForUpdate);
            ASSERT_TRUE(c.at(dbReference<Customer>(oids[i])));
            c.remove();
            if (i % 200 == 0) {
                ASSERT_TRUE(database.commit());
            }
        }
        ASSERT_TRUE(database.commit());
        ids = contactIds();
        window.reset();  // the program ends without closing the database
    }
    std::map<oid_t, int> ids;
};

TEST_F(CompactStart, MostOfTheFileFreeIsGivenBackAndTheArchiveShrinksAlike)
{
    prepare(4000, 400);
    makeDailyBackupDue();
    database.close();
    const FileAt before = fileAt("Quillet.zrv");
    ASSERT_TRUE(TBackupFile().Backup({QDir::current().filePath("Quillet.zrv")}, "before.zbf"));
    const qint64 archivedBefore = QFileInfo("before.zbf").size();

    ASSERT_EQ(start(), -1);
    EXPECT_TRUE(dialogs.Messages().isEmpty()) << dialogs.Messages().join("; ").toStdString();
    EXPECT_EQ(contactIds(), ids);
    EXPECT_EQ(window->grid->RowCount(), 401);
    const FileAt after = fileAt("Quillet.zrv");
    EXPECT_NE(after.inode, before.inode);
    EXPECT_LE(2 * after.size, before.size);
    EXPECT_EQ(database.getFileSize(), quint64(after.size)) << "the start's commits needed more room";
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dbCompactionCopyName("Quillet.zrv"))));
    // the day's archive, made at the start, of the compacted file
    const qint64 archivedAfter = QFileInfo("Quillet0.zbf").size();
    ASSERT_GT(archivedAfter, 0);
    EXPECT_LE(double(archivedAfter) / double(archivedBefore), double(after.size) / double(before.size));
}

// A database shared with a group and by ACL stays shared: the compacted
// file keeps the group, the ACL and the other extended attributes.
TEST_F(CompactStart, TheCompactedFileKeepsWhoMayUseIt)
{
    using namespace fileaccess;
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root: to give the database file a group of its own";
    }
    prepare(4000, 400);
    database.close();
    const gid_t shared = 4243;
    const int attribute = setAttribute("Quillet.zrv", "user.shared-with", "accounts");
    if (attribute == ENOTSUP) {
        GTEST_SKIP() << QDir::currentPath().toStdString()
                     << " is on a filesystem that keeps no user extended attributes";
    }
    ASSERT_EQ(attribute, 0) << strerror(attribute);
    const int acl = setAttribute("Quillet.zrv", "system.posix_acl_access", aclGranting(4242));
    if (acl == ENOTSUP) {
        GTEST_SKIP() << QDir::currentPath().toStdString() << " is on a filesystem that keeps no ACLs";
    }
    ASSERT_EQ(acl, 0) << strerror(acl);
    ASSERT_EQ(chown("Quillet.zrv", uid_t(-1), shared), 0);
    const FileAt before = fileAt("Quillet.zrv");
    // all but the program's own mark of the last backup, which a start may renew
    auto attributesGiven = [] {
        Attributes attributes = attributesOf("Quillet.zrv");
        attributes.erase("user.quillet.archive");
        return attributes;
    };
    const Attributes attributes = attributesGiven();
    ASSERT_EQ(attributes.size(), 2u);

    ASSERT_EQ(start(), -1);
    EXPECT_TRUE(dialogs.Messages().isEmpty()) << dialogs.Messages().join("; ").toStdString();
    EXPECT_EQ(contactIds(), ids);
    EXPECT_NE(fileAt("Quillet.zrv").inode, before.inode);
    struct stat st {};
    ASSERT_EQ(stat("Quillet.zrv", &st), 0);
    EXPECT_EQ(st.st_gid, shared);
    EXPECT_EQ(st.st_mode & 07777, 0660u);
    EXPECT_EQ(attributesGiven(), attributes);
}

// Files opened as they are: the same file, and the start goes on (or says
// why it cannot).
TEST_F(CompactStart, AFileItMustNotCompactIsOpenedAsItIs)
{
    struct Case {
        const char* what;
        int made, kept;
        bool heldElsewhere;
        rlim_t fileSizeLimit;  // 0: none
    } cases[] = {
        {"little of it free", 1000, 900, false, 0},
        {"another process has it open", 4000, 400, true, 0},
        {"no room for the copy", 4000, 400, false, 512 * 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prepare(c.made, c.kept);
        database.close();
        const pid_t holder = c.heldElsewhere ? holdDatabaseInChild() : 0;
        ASSERT_GE(holder, 0);
        const FileAt before = fileAt("Quillet.zrv");
        rlimit unlimited {};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        if (c.fileSizeLimit != 0) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit small = unlimited;
            small.rlim_cur = c.fileSizeLimit;
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        dialogs.shown.clear();
        const int ended = start();
        setrlimit(RLIMIT_FSIZE, &unlimited);
        if (holder > 0) {
            kill(holder, SIGKILL);
            waitpid(holder, nullptr, 0);
            EXPECT_EQ(ended, 1);
            EXPECT_EQ(dialogs.Messages(), QStringList {"The database is still using."});
        } else {
            EXPECT_EQ(ended, -1);
            EXPECT_TRUE(dialogs.Messages().isEmpty()) << dialogs.Messages().join("; ").toStdString();
            EXPECT_EQ(contactIds(), ids);
        }
        EXPECT_TRUE(fileAt("Quillet.zrv") == before);
        EXPECT_FALSE(QFile::exists(QString::fromStdString(dbCompactionCopyName("Quillet.zrv"))));
        stop();
        QFile::remove("Quillet.zrv");
    }
}

}  // namespace
