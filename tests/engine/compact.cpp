// Giving a database file's space back: the compacted file holds every object
// of the committed state under its id with its bytes, laid out as a new file
// (header size equal to the file's, both roots alike, bitmap pages in one
// run) with room for the next edits; a file with nothing to gain, one in use
// or one that fails a check is left byte for byte; a kill at any step or a
// full disk leaves the old file or the new one, whole; and an open that waited
// while the file was compacted opens the compacted file.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "appcore/schema.h"
#include "file_access.h"
#include "engine/compact.h"
#include "engine/hashtab.h"
#include "engine/program_tables.h"
#include "engine/support_storage.h"

using namespace storagetest;

namespace {

using Bytes = std::vector<uint8_t>;

// Runs body in a child process; its exit code, or 128 + the signal that ended it.
int inChild(const std::function<int()>& body)
{
    pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// `contacts` contacts, every third with a cheque, all but `kept` then deleted
// one commit at a time, and one contact added but not committed: a file
// left as the program leaves it (dirty, with a working root past the last
// commit), most of it free.
void makeSparseDatabase(const std::string& path, int contacts, int kept)
{
    RecordingDatabase db;
    ASSERT_TRUE(db.open("sparse", path.c_str()));
    std::vector<oid_t> made;
    for (int i = 1; i <= contacts; i++) {
        const std::string name = "Contact " + std::to_string(i * 7919 % contacts);
        const std::string remark(120 + i % 90, char('a' + i % 26));
        made.push_back(insert(Customer{.id = i, .name = name.c_str(), .remark = remark.c_str()}).getOid());
        if (i % 3 == 0) {
            insert(Cheque{.chequeNo = "Q", .customer = dbReference<Customer>(made.back()),
                          .setup = {}, .transDate = dbDateTime(1700000000 + 86400 * (i % 50))});
        }
        if (i % 500 == 0) {
            ASSERT_TRUE(db.commit());
        }
    }
    ASSERT_TRUE(db.commit());
    for (int i = kept; i < contacts; i++) {
        dbCursor<Customer> c(dbCursorForUpdate);
        ASSERT_TRUE(c.at(dbReference<Customer>(made[size_t(i)])));
        c.remove();
        ASSERT_TRUE(db.commit());
    }
    insert(Customer{.id = contacts + 1, .name = "not committed"});
    EXPECT_TRUE(db.messages.empty());
}  // not closed

// The start's check on a file: opens, finds every index sound, and counts
// the contacts.
long soundContacts(const std::string& path)
{
    RecordingDatabase db;
    if (!db.open("check", path.c_str()) || db.checkAndRebuildIndexes() != dbDatabase::dbIndexesSound) {
        return -1;
    }
    long n = long(dbCursor<Customer>().select());
    db.close();
    return db.messages.empty() ? n : -1;
}

class Compaction : public ::testing::Test {
protected:
    void SetUp() override
    {
        makeSparseDatabase(path, 3000, 300);
        before = readFile(path);
    }
    TempDir dir{std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp"};  // many commits
    std::string path = dir.file("Quillet.zrv");
    std::string copyName = dbCompactionCopyName(path);
    Bytes before;
};

TEST_F(Compaction, KeepsEveryObjectUnderItsIdInAFileLaidOutAsNew)
{
    chmod(path.c_str(), 0640);
    dbCompactionResult done = dbCompactFile(path.c_str());
    ASSERT_EQ(done.outcome, dbCompactionResult::dbCompacted) << done.reason;
    const Bytes after = readFile(path);
    EXPECT_EQ(after.size(), done.compactedSize);
    EXPECT_EQ(done.fileSize, before.size());
    EXPECT_LE(2 * after.size(), before.size());
    EXPECT_EQ(committedState(after), committedState(before));
    EXPECT_EQ(checkFile(after), "");  // the bitmap marks exactly what the objects take

    dbHeader h;
    std::memcpy(&h, after.data(), sizeof h);
    const uint32_t n = h.root[0].indexSize;
    EXPECT_EQ(h.size, after.size());
    EXPECT_EQ(h.dirty, 0u);
    EXPECT_EQ(h.curr, 0u);
    EXPECT_EQ(h.root[0].index, dbPageSize);
    EXPECT_EQ(h.root[1].index, h.root[0].shadowIndex);
    EXPECT_EQ(h.root[1].shadowIndex, h.root[0].index);
    EXPECT_EQ(std::memcmp(after.data() + h.root[0].index, after.data() + h.root[1].index, 4 * size_t(n)), 0);
    const size_t bitmapPages = after.size() / dbBitmapSegmentSize;
    for (size_t k = 0; k < dbBitmapPages; k++) {
        EXPECT_EQ(word(after, dbPageSize + 4 * (dbBitmapId + k)),
                  k < bitmapPages ? dbPageSize + 8 * n + k * dbPageSize + dbPageObjectMarker : dbFreeHandleMarker);
    }
    // Pages on page boundaries, and a hash table's bucket pages one after the other.
    for (oid_t oid = dbFirstUserId; oid < h.root[0].indexUsed; oid++) {
        offs_t e = word(after, dbPageSize + 4 * oid);
        if (e & dbFreeHandleMarker) {
            continue;
        }
        if ((e & dbInternalObjectMarker) == dbHashTable::tableMarker) {
            uint32_t buckets = word(after, e - dbHashTable::tableMarker);
            oid_t first = word(after, e - dbHashTable::tableMarker + 8);
            for (oid_t page = 0; page < (buckets + 1) / dbHandlesPerPage; page++) {
                EXPECT_EQ(word(after, dbPageSize + 4 * (first + page)),
                          word(after, dbPageSize + 4 * first) + page * dbPageSize);
            }
        } else if ((e & dbInternalObjectMarker) == dbPageObjectMarker) {
            EXPECT_EQ(e % dbPageSize, dbPageObjectMarker);
        }
    }
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_NE(access(copyName.c_str(), F_OK), 0);
    EXPECT_EQ(soundContacts(path), 300);
}

// A category named after n, stored; its id (0 when it could not be stored).
oid_t addCategory(uint32_t n)
{
    const std::string name = "Category " + std::to_string(n);
    return insert(Category{.name = name.c_str()}).getOid();
}

// The compacted file takes the next edits without growing: contacts, and
// ids past the object index's capacity (a full index is given room too).
// A second compaction then has nothing to gain and pays nothing.
TEST_F(Compaction, LeavesRoomForTheNextEdits)
{
    const std::string ids = dir.file("ids.zrv");
    {
        dbDatabase db;
        ASSERT_TRUE(db.open("ids", ids.c_str()));
        while (db.getIndexSize() < 60000) {
            ASSERT_NE(addCategory(db.getIndexSize()), 0u);
        }
        ASSERT_TRUE(db.commit());
        db.close();
    }
    struct Case {
        const char* what;
        std::string file;
        dbCompactionRule rule;
        int edits;
        std::function<bool(int)> edit;  // one change, not committed
    } cases[] = {
        {"contacts", path, dbCompactWhenWorthIt, 300,
         [](int i) {
             const std::string name = "Added " + std::to_string(i);
             const std::string remark(200, 'x');
             return insert(Customer{.id = 10000 + i, .name = name.c_str(), .remark = remark.c_str()}).getOid() != 0;
         }},
        {"ids past the capacity", ids, dbCompactAlways, 8000, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(dbCompactFile(c.file.c_str(), c.rule).outcome, dbCompactionResult::dbCompacted);
        const uint64_t compacted = readFile(c.file).size();
        RecordingDatabase db;
        ASSERT_TRUE(db.open("edits", c.file.c_str()));
        ASSERT_EQ(db.checkAndRebuildIndexes(), dbDatabase::dbIndexesSound);
        for (int i = 0; i < c.edits; i++) {
            ASSERT_TRUE(c.edit ? c.edit(i) : addCategory(uint32_t(i)) != 0);
            ASSERT_TRUE(db.commit());
        }
        EXPECT_EQ(db.getFileSize(), compacted);
        db.close();
        const Bytes edited = readFile(c.file);
        EXPECT_EQ(dbCompactFile(c.file.c_str()).outcome, dbCompactionResult::dbNothingToGain);
        EXPECT_EQ(readFile(c.file), edited);
    }
}

// Files that are not compacted, each left byte for byte as it was.
TEST_F(Compaction, LeavesAFileItMustNotCompactAsItWas)
{
    const std::string fresh = dir.file("fresh.zrv");
    {
        dbDatabase db;
        ASSERT_TRUE(db.open("fresh", fresh.c_str()));
        insert(Customer{.id = 1, .name = "one"});
        ASSERT_TRUE(db.commit());
    }
    auto damage = [&](size_t offset, uint32_t value) {
        Bytes bytes = before;
        std::memcpy(bytes.data() + offset, &value, 4);
        writeFile(path, bytes);
    };
    dbHeader h;
    std::memcpy(&h, before.data(), sizeof h);
    const dbHeaderRoot& r = h.root[h.curr];
    // the first row of the Customer table's name T-tree, as the index check meets it
    auto nameTreeNode = [&]() -> size_t {
        RecordingDatabase db;
        EXPECT_TRUE(db.open("look", path.c_str()));
        oid_t tree = db.findTable("Customer")->find("name")->tTree;
        offs_t treePos = db.getPos(tree) & ~dbInternalObjectMarker;
        oid_t node = *reinterpret_cast<const oid_t*>(db.getBase() + treePos);
        offs_t nodePos = db.getPos(node) & ~dbInternalObjectMarker;
        db.rollback();
        return nodePos + 12;  // its first item
    };
    struct Case {
        const char* what;
        std::function<std::string()> prepare;  // the file to compact
        dbCompactionResult::Outcome outcome;
    } cases[] = {
        {"a file with little free", [&] { return fresh; }, dbCompactionResult::dbNothingToGain},
        {"another release's file", [&] { damage(64, dbDatabaseMajorVersion + 1); return path; },
         dbCompactionResult::dbNotCompacted},
        {"an object outside the file", [&] { damage(r.index + 4 * dbMetaTableId, uint32_t(before.size())); return path; },
         dbCompactionResult::dbNotCompacted},
        {"a damaged index", [&] { writeFile(path, before); size_t at = nameTreeNode(); damage(at, 0xFFFF0); return path; },
         dbCompactionResult::dbNotCompacted},
        {"a file open in another process", [&] { writeFile(path, before); return path; },
         dbCompactionResult::dbFileInUse},
        {"a file reached through a link",
         [&] {
             symlink(path.c_str(), dir.file("link.zrv").c_str());
             return dir.file("link.zrv");
         },
         dbCompactionResult::dbNotCompacted},
        {"a file with a second name",
         [&] {
             link(path.c_str(), dir.file("second.zrv").c_str());
             return path;
         },
         dbCompactionResult::dbNotCompacted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = c.prepare();
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t holder = -1;
        if (c.outcome == dbCompactionResult::dbFileInUse) {
            holder = fork();
            if (holder == 0) {
                dbDatabase db;
                char ok = db.open("holder", file.c_str()) ? 'y' : 'n';
                (void)!write(ready[1], &ok, 1);
                pause();
            }
            char ok = 0;
            ASSERT_EQ(read(ready[0], &ok, 1), 1);
            ASSERT_EQ(ok, 'y');
        }
        const Bytes bytes = readFile(file);
        dbCompactionResult result = dbCompactFile(file.c_str());
        if (holder > 0) {
            kill(holder, SIGKILL);
            waitpid(holder, nullptr, 0);
        }
        close(ready[0]);
        close(ready[1]);
        EXPECT_EQ(result.outcome, c.outcome) << result.reason;
        EXPECT_EQ(readFile(file), bytes);
        EXPECT_NE(access(dbCompactionCopyName(file).c_str(), F_OK), 0);
    }
    // nor while this process has a database open: the check would take its tables
    unlink(dir.file("second.zrv").c_str());
    writeFile(path, before);
    dbDatabase open;
    ASSERT_TRUE(open.open("open", fresh.c_str()));
    EXPECT_EQ(dbCompactFile(path.c_str()).outcome, dbCompactionResult::dbFileInUse);
    EXPECT_EQ(readFile(path), before);
    open.close();
}

// The compacted file keeps who may use it: its group, its ACL and its other
// extended attributes. A file whose owner cannot give the copy one of them
// is left as it was. Each is compacted by its owner, in a child process of
// that user's, in a folder of that user's.
TEST_F(Compaction, KeepsWhoMayUseTheFileOrLeavesItAsItWas)
{
    using namespace fileaccess;
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root: to give a file a group its owner is not in and an attribute its owner may not set";
    }
    const uid_t owner = 4242, reader = 4243;
    const gid_t ownGroup = 4242, sharedGroup = 4243, otherGroup = 4244;
    const int probe = setAttribute(path, "user.probe", "");
    if (probe == ENOTSUP) {
        GTEST_SKIP() << dir.path << " is on a filesystem that keeps no user extended attributes";
    }
    ASSERT_EQ(probe, 0) << dbFile::errorText(probe);
    struct Case {
        const char* what;
        gid_t group;
        const char* attribute;  // given besides the ACL, with "accounts"
        dbCompactionResult::Outcome outcome;
    } cases[] = {
        {"a group of its owner's, an ACL entry and a user attribute", sharedGroup, "user.shared-with",
         dbCompactionResult::dbCompacted},
        {"a group its owner is not in", otherGroup, "user.shared-with", dbCompactionResult::dbNotCompacted},
        {"an attribute its owner may not set", sharedGroup, "security.shared-with", dbCompactionResult::dbNotCompacted},
    };
    ASSERT_EQ(chown(dir.path.c_str(), owner, ownGroup), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        unlink(path.c_str());
        writeFile(path, before);
        ASSERT_EQ(chown(path.c_str(), owner, c.group), 0);
        ASSERT_EQ(chmod(path.c_str(), 02660), 0);
        const int acl = setAttribute(path, "system.posix_acl_access", aclGranting(reader));
        if (acl == ENOTSUP) {
            GTEST_SKIP() << dir.path << " is on a filesystem that keeps no ACLs";
        }
        ASSERT_EQ(acl, 0) << dbFile::errorText(acl);
        ASSERT_EQ(setAttribute(path, c.attribute, "accounts"), 0);
        struct stat was, is;
        ASSERT_EQ(stat(path.c_str(), &was), 0);
        const Attributes attributes = attributesOf(path);
        ASSERT_EQ(attributes.size(), 2u);

        const int outcome = inChild([&] {
            const gid_t groups[] = {ownGroup, sharedGroup};
            if (setgroups(2, groups) != 0 || setgid(ownGroup) != 0 || setuid(owner) != 0) {
                return 100;
            }
            return int(dbCompactFile(path.c_str()).outcome);
        });
        EXPECT_EQ(outcome, c.outcome);
        ASSERT_EQ(stat(path.c_str(), &is), 0);
        EXPECT_EQ(is.st_ino != was.st_ino, c.outcome == dbCompactionResult::dbCompacted);
        EXPECT_EQ(is.st_uid, owner);
        EXPECT_EQ(is.st_gid, c.group);
        EXPECT_EQ(is.st_mode & 07777, 02660u);
        EXPECT_EQ(attributesOf(path), attributes);
        EXPECT_NE(access(copyName.c_str(), F_OK), 0);
        if (c.outcome == dbCompactionResult::dbCompacted) {
            EXPECT_EQ(committedState(readFile(path)), committedState(before));
        } else {
            EXPECT_EQ(readFile(path), before);
        }
    }
}

// Kills the process at the n-th thing the observer hears of, and names each.
class KillAt : public dbFileObserver {
public:
    explicit KillAt(size_t n) : killAt(n) {}
    int beforeGrow(const dbFile&, uint64_t) override { return heard("grow"); }
    int beforeFlush(const dbFile&) override { return heard("flush"); }
    void afterFlush(const dbFile&) override { heard("flushed"); }
    void reached(const dbFile&, int point) override { heard("point " + std::to_string(point)); }
    std::vector<std::string> names;

private:
    int heard(const std::string& name)
    {
        names.push_back(name);
        if (names.size() == killAt) {
            raise(SIGKILL);
        }
        return 0;
    }
    size_t killAt;
};

TEST_F(Compaction, AKillAtAnyStepLeavesTheOldFileOrTheNewOneWhole)
{
    const std::string scratch = dir.file("scratch.zrv");
    writeFile(scratch, before);
    KillAt listen(0);
    dbFile::setObserver(&listen);
    ASSERT_EQ(dbCompactFile(scratch.c_str()).outcome, dbCompactionResult::dbCompacted);
    dbFile::setObserver(nullptr);
    const Bytes after = readFile(scratch);
    const std::string inPlace = "point " + std::to_string(dbPointCopyInPlace);
    ASSERT_GE(listen.names.size(), 9u);
    ASSERT_EQ(listen.names.back(), inPlace);

    for (size_t k = 1; k <= listen.names.size(); k++) {
        SCOPED_TRACE("killed at " + listen.names[k - 1]);
        writeFile(path, before);
        EXPECT_EQ(inChild([&] {
                      KillAt killer(k);
                      dbFile::setObserver(&killer);
                      dbCompactFile(path.c_str());
                      return 0;
                  }),
                  128 + SIGKILL);
        const bool replaced = listen.names[k - 1] == inPlace;
        EXPECT_EQ(readFile(path), replaced ? after : before);
        // the next start: a copy left over goes, the compaction is done or has nothing left to do
        dbCompactionResult next = dbCompactFile(path.c_str());
        EXPECT_EQ(next.outcome, replaced ? dbCompactionResult::dbNothingToGain : dbCompactionResult::dbCompacted);
        EXPECT_EQ(readFile(path), after);
        EXPECT_NE(access(copyName.c_str(), F_OK), 0);
    }
    EXPECT_EQ(soundContacts(path), 300);
}

// A full disk or failing writes while the copy is made leave the file.
TEST_F(Compaction, AFullDiskLeavesTheFileAsItWas)
{
    class FailFlush : public dbFileObserver {
        int beforeFlush(const dbFile&) override { return ENOSPC; }
    };
    struct Case {
        const char* what;
        std::function<void()> limit;  // run in the child before it compacts
        int error;
    } cases[] = {
        {"file-size limit",
         [&] {
             struct rlimit small = {rlim_t(before.size() / 8), RLIM_INFINITY};
             setrlimit(RLIMIT_FSIZE, &small);
         },
         EFBIG},
        {"flush fails", [] { dbFile::setObserver(new FailFlush); }, ENOSPC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(path, before);
        EXPECT_EQ(inChild([&] {
                      signal(SIGXFSZ, SIG_DFL);  // as in a program just started
                      c.limit();
                      dbCompactionResult r = dbCompactFile(path.c_str());
                      return r.outcome == dbCompactionResult::dbNotCompacted && r.error == c.error ? 0 : 1;
                  }),
                  0);
        EXPECT_EQ(readFile(path), before);
        EXPECT_NE(access(copyName.c_str(), F_OK), 0);
    }
    EXPECT_EQ(dbCompactFile(path.c_str()).outcome, dbCompactionResult::dbCompacted);
}

TEST_F(Compaction, AnOpenThatWaitedFindsTheCompactedFile)
{
    dbFile waiting;
    ASSERT_EQ(waiting.open(path.c_str(), false), 0);  // opened, not yet locked, before the compaction
    const std::string old = waiting.identity();
    ASSERT_EQ(dbCompactFile(path.c_str()).outcome, dbCompactionResult::dbCompacted);
    EXPECT_EQ(waiting.lockAsUser(), 1);
    EXPECT_NE(waiting.identity(), old);
    EXPECT_EQ(waiting.getSize(), readFile(path).size());
    waiting.close();
    EXPECT_EQ(soundContacts(path), 300);
}

}  // namespace
