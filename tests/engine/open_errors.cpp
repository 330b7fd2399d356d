// Opening damaged, foreign, empty and half-formatted files, and failing
// flushes: no crash, clear reports, files never changed by a refused open.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/class.h"
#include "engine/support_storage.h"

using namespace storagetest;

namespace {

const char* const invalidLayout = "Database file was corrupted: invalid file layout";
const char* const notDatabase = "Database file was corrupted: not a database file";

// A closed database with two committed records.
std::vector<uint8_t> goodFile(const std::string& path)
{
    RecordingDatabase db;
    EXPECT_TRUE(db.open("t", path.c_str()));
    storeRecord(db, 100, 1);
    storeRecord(db, 3000, 2);
    EXPECT_TRUE(db.commit());
    db.close();
    return readFile(path);
}

void setWord(std::vector<uint8_t>& bytes, size_t offset, uint32_t value)
{
    std::memcpy(bytes.data() + offset, &value, 4);
}

// Opens a damaged file: the open fails with `message` and changes nothing.
void expectRefused(const TempDir& dir, const std::vector<uint8_t>& bytes, const std::string& message)
{
    std::string path = dir.file("bad.zrv");
    writeFile(path, bytes);
    RecordingDatabase db;
    EXPECT_FALSE(db.open("bad", path.c_str()));
    EXPECT_FALSE(db.isOpen());
    ASSERT_EQ(db.messages.size(), 1u);
    EXPECT_EQ(db.messages[0], message);
    EXPECT_EQ(db.classes[0], dbDatabase::DatabaseOpenError);
    EXPECT_EQ(db.openFailure(), dbDatabase::dbFileNotDatabase);
    EXPECT_TRUE(readFile(path) == bytes) << "a refused file is left unchanged";
}

size_t countEntries(const char* dirPath)
{
    size_t n = 0;
    DIR* d = opendir(dirPath);
    while (d != nullptr && readdir(d) != nullptr) {
        n++;
    }
    if (d != nullptr) {
        closedir(d);
    }
    return n;
}

size_t countLines(const char* path, const std::string& containing = "")
{
    std::ifstream in(path);
    std::string line;
    size_t n = 0;
    while (std::getline(in, line)) {
        n += line.find(containing) != std::string::npos;
    }
    return n;
}

// Fails the n-th flush (counted from 1) with EIO.
class FailingFlush : public dbFileObserver {
public:
    explicit FailingFlush(int which) : target(which) { dbFile::setObserver(this); }
    ~FailingFlush() override { dbFile::setObserver(nullptr); }
    int beforeFlush(const dbFile&) override { return ++count == target ? EIO : 0; }
    int count = 0;
    int target;
};

// Mappings of files in `dir` and of database monitors, and address ranges of
// 3 to 4 GiB (the range a database reserves for its file).
size_t databaseMappings(const std::string& dir)
{
    std::ifstream in("/proc/self/maps");
    std::string line;
    size_t n = 0;
    while (std::getline(in, line)) {
        unsigned long long from = 0, to = 0;
        std::sscanf(line.c_str(), "%llx-%llx", &from, &to);
        bool reservation = to - from > (3ull << 30) && to - from <= (4ull << 30);
        bool monitor = line.find("/dev/shm/quillet-") != std::string::npos;
        n += reservation || monitor || line.find(dir) != std::string::npos;
    }
    return n;
}

// One table as releases of a program describe it: this program's, a later
// release's with one more field, an earlier one's without the text (declared
// as such where a case says so), and two that no release wrote (a field
// renamed; one more field with the text turned into a number).
struct Entry {
    std::int32_t a;
    const char* s;
    DB_FIELDS(Entry, DB_KEY(a, dbHashed), DB_FIELD(s))
};
template <class Text>
struct EntryWithMore {
    std::int32_t a;
    Text s;
    std::int32_t added;
    DB_FIELDS(EntryWithMore, DB_KEY(a, dbHashed), DB_FIELD(s), DB_FIELD(added))
};
using EntryLater = EntryWithMore<const char*>;
using EntryNumber = EntryWithMore<std::int32_t>;
struct EntryEarlier {
    std::int32_t a;
    DB_FIELDS(EntryEarlier, DB_KEY(a, dbHashed))
};
struct EntryRenamed {
    std::int32_t a;
    const char* t;
    DB_FIELDS(EntryRenamed, DB_KEY(a, dbHashed), DB_FIELD(t))
};

template <class T>
std::unique_ptr<dbTableDescriptor> describe(const char* name)
{
    return std::make_unique<dbTableDescriptor>(name, nullptr, sizeof(T), alignof(T), &T::dbDescribeComponents);
}

}  // namespace

// Files of other releases of the program opened by this one, whose only table
// is Entry: a file that holds tables or fields this program does not know,
// beside all of its own in types it reads, is told as a later release's and
// left byte for byte, dirty or not (nothing converted, recovered or marked);
// one that also lacks a field of this program's, or holds one it cannot
// read, is no database of its; an earlier release's file is converted when
// this program declares that layout, and is no database of its otherwise.
TEST(OpenErrors, FilesOfOtherReleasesAreToldApart)
{
    // A file whose Entry rows have the layout of `sample` (and `extra` a
    // second table); without `close` the writer leaves it dirty, a change not
    // committed.
    auto written = [](auto sample, int rows, bool close = true, bool extra = false) {
        return [=](const std::string& path) {
            using Layout = decltype(sample);
            auto table = describe<Layout>("Entry");
            auto other = extra ? describe<EntryEarlier>("Extra") : nullptr;
            RecordingDatabase db;
            ASSERT_TRUE(db.open("t", path.c_str()));
            for (int i = 0; i < rows; i++) {
                Layout rec = sample;
                rec.a = i;
                ASSERT_TRUE(db.insertRecord(table.get(), nullptr, &rec));
            }
            if (other) {
                EntryEarlier rec{1};
                ASSERT_TRUE(db.insertRecord(other.get(), nullptr, &rec));
            }
            ASSERT_TRUE(db.commit());
            if (close) {
                db.close();
            } else {
                ASSERT_TRUE(db.insertRecord(table.get(), nullptr, &sample));
            }
        };
    };
    const struct Case {
        const char* what;
        std::function<void(const std::string&)> write;
        dbDatabase::dbOpenFailure failure;  // dbOpenDone: it opens
        bool dirty = false;
        bool earlierDeclared = false;  // the program declares EntryEarlier an earlier layout of Entry
    } cases[] = {
        {"one more field", written(EntryLater{0, "x", 5}, 3), dbDatabase::dbFileNewerRelease},
        {"one more field, left dirty", written(EntryLater{0, "x", 5}, 3, false), dbDatabase::dbFileNewerRelease,
         true},
        {"one more field in an empty table", written(EntryLater{0, "x", 5}, 0), dbDatabase::dbFileNewerRelease},
        {"one more table", written(Entry{0, "x"}, 3, true, true), dbDatabase::dbFileNewerRelease},
        {"a field renamed", written(EntryRenamed{0, "x"}, 3), dbDatabase::dbFileNotDatabase},
        {"one more field, the text stored as a number", written(EntryNumber{0, 7, 5}, 3),
         dbDatabase::dbFileNotDatabase},
        {"a field fewer", written(EntryEarlier{0}, 3), dbDatabase::dbOpenDone, false, true},
        {"a field fewer, a layout no release is declared to have written", written(EntryEarlier{0}, 3),
         dbDatabase::dbFileNotDatabase},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.file("t.zrv");
        c.write(path);
        const std::vector<uint8_t> bytes = readFile(path);
        ASSERT_EQ(word(bytes, 8), c.dirty ? 1u : 0u);
        auto program = describe<Entry>("Entry");
        const auto declared = c.earlierDeclared ? std::make_unique<dbFormerLayout>(
                                                      "Entry", sizeof(EntryEarlier), alignof(EntryEarlier),
                                                      &EntryEarlier::dbDescribeComponents)
                                                : nullptr;
        RecordingDatabase db;
        const bool opened = db.open("t", path.c_str());
        ASSERT_EQ(opened, c.failure == dbDatabase::dbOpenDone);
        if (!opened) {
            EXPECT_EQ(db.openFailure(), c.failure);
            EXPECT_EQ(db.messages, std::vector<std::string>{"Incompatible class definition in application"});
            EXPECT_TRUE(readFile(path) == bytes) << "the file changed";
            continue;
        }
        const dbTable* stored = reinterpret_cast<const dbTable*>(db.get(db.findTable("Entry")->tableId));
        EXPECT_EQ(stored->fields.size, 2u);
        EXPECT_EQ(stored->nRows, 3);
        Entry rec{};
        ASSERT_TRUE(db.fetchRecord(db.findTable("Entry"), stored->lastRow, &rec));
        EXPECT_EQ(rec.a, 2);
        EXPECT_STREQ(rec.s, "");
        db.close();
    }
}

TEST(OpenErrors, DamagedHeadersAndLayoutsAreRefusedAndLeftUnchanged)
{
    TempDir dir;
    const std::vector<uint8_t> good = goodFile(dir.file("good.zrv"));
    ASSERT_EQ(checkFile(good), "");

    std::vector<uint8_t> bytes = good;
    setWord(bytes, 4, 2);  // curr
    expectRefused(dir, bytes, "Database file was corrupted: invalid root index");

    bytes = good;
    setWord(bytes, 12, 5);  // initialized
    expectRefused(dir, bytes, notDatabase);

    bytes = good;
    setWord(bytes, 32, 70000);  // root 0 indexUsed above indexSize
    expectRefused(dir, bytes, invalidLayout);

    bytes = good;
    setWord(bytes, 16, 0xFFFF0000);  // root 0 index outside the file
    expectRefused(dir, bytes, invalidLayout);

    bytes = good;
    uint32_t c = word(bytes, 4);
    uint32_t committedIndex = word(bytes, 16 + 24 * c);
    setWord(bytes, committedIndex + 4 * 3, 0x7FFFF001);  // bitmap page 3 beyond the end
    expectRefused(dir, bytes, invalidLayout);

    bytes = good;
    uint32_t meta = word(bytes, committedIndex + 4);
    setWord(bytes, meta, 40);  // Metatable row shorter than its fixed part
    expectRefused(dir, bytes, invalidLayout);

    bytes = good;
    uint32_t firstRecord = word(bytes, committedIndex + 4 * 8194);
    setWord(bytes, firstRecord, 0x7FFFFFF0);  // record running past the end
    expectRefused(dir, bytes, invalidLayout);

    bytes = good;
    setWord(bytes, 0, 2 * 1048576);  // clean file whose recorded size differs
    expectRefused(dir, bytes, "Database file was corrupted: file size in header differs from actual file size");
}

TEST(OpenErrors, TruncatedAndRandomFilesFailWithoutASignal)
{
    TempDir dir;
    const std::vector<uint8_t> good = goodFile(dir.file("good.zrv"));
    for (size_t size : {size_t(10), size_t(3000), size_t(100000), size_t(409600)}) {
        SCOPED_TRACE(size);
        expectRefused(dir, std::vector<uint8_t>(good.begin(), good.begin() + size), invalidLayout);
    }
    std::mt19937 random(42);
    std::vector<uint8_t> noise(1048576);
    for (auto& b : noise) {
        b = uint8_t(random());
    }
    std::string path = dir.file("noise.zrv");
    writeFile(path, noise);
    RecordingDatabase db;
    EXPECT_FALSE(db.open("noise", path.c_str()));
    ASSERT_EQ(db.messages.size(), 1u);
    EXPECT_EQ(db.messages[0].rfind("Database file was corrupted: ", 0), 0u) << db.messages[0];
    EXPECT_EQ(db.openFailure(), dbDatabase::dbFileNotDatabase);
    EXPECT_TRUE(readFile(path) == noise);
    // The same random bytes with a root index of 0 and `initialized` 1 get as
    // far as the layout check.
    setWord(noise, 4, 0);
    setWord(noise, 12, 1);
    expectRefused(dir, noise, invalidLayout);
}

TEST(OpenErrors, EmptyFileIsFormatted)
{
    TempDir dir;
    writeFile(dir.file("empty.zrv"), {});
    RecordingDatabase db;
    ASSERT_TRUE(db.open("empty", dir.file("empty.zrv").c_str()));
    db.close();
    std::vector<uint8_t> bytes = readFile(dir.file("empty.zrv"));
    EXPECT_EQ(bytes.size(), 1048576u);
    EXPECT_EQ(word(bytes, 12), 1u);
    EXPECT_EQ(checkFile(bytes), "");
}

TEST(OpenErrors, FormatKilledAtEitherFlushOpensAfterwards)
{
    for (int flush = 1; flush <= 2; flush++) {
        SCOPED_TRACE(flush);
        TempDir dir;
        std::string path = dir.file("q.zrv");
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            struct KillAtFlush : dbFileObserver {
                int target, count = 0;
                int beforeFlush(const dbFile&) override
                {
                    if (++count == target) {
                        raise(SIGKILL);
                    }
                    return 0;
                }
            } killer;
            killer.target = flush;
            dbFile::setObserver(&killer);
            dbDatabase db;
            db.open("q", path.c_str());
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        std::vector<uint8_t> half = readFile(path);
        ASSERT_EQ(half.size(), 1048576u);
        // Killed before its first flush the format is still uninitialised;
        // before its second, initialised and dirty (the next open recovers it).
        EXPECT_EQ(word(half, 12), flush == 1 ? 0u : 1u);
        EXPECT_EQ(word(half, 8), 1u);

        RecordingDatabase db;
        ASSERT_TRUE(db.open("q", path.c_str())) << (db.messages.empty() ? "" : db.messages[0]);
        db.close();
        std::vector<uint8_t> bytes = readFile(path);
        EXPECT_EQ(word(bytes, 12), 1u);
        EXPECT_EQ(checkFile(bytes), "");
    }
}

TEST(OpenErrors, FailedOpenLeavesNoDescriptorMappingOrLock)
{
    TempDir dir;
    goodFile(dir.file("good.zrv"));
    std::vector<uint8_t> bad(8192, 0x11);
    writeFile(dir.file("bad.zrv"), bad);
    struct stat st;
    ASSERT_EQ(stat(dir.file("bad.zrv").c_str(), &st), 0);
    std::string inode = ":" + std::to_string(st.st_ino) + " ";

    size_t fds = countEntries("/proc/self/fd");
    size_t maps = databaseMappings(dir.path);
    RecordingDatabase db;
    EXPECT_FALSE(db.open("bad", dir.file("bad.zrv").c_str()));
    EXPECT_EQ(countEntries("/proc/self/fd"), fds);
    EXPECT_EQ(databaseMappings(dir.path), maps);
    EXPECT_EQ(countLines("/proc/locks", inode), 0u);
    std::string monitorName = "/dev/shm/quillet-" + std::to_string(uint64_t(st.st_dev)) + "-" + std::to_string(uint64_t(st.st_ino));
    EXPECT_NE(access(monitorName.c_str(), F_OK), 0) << "the monitor a failed open created is gone";

    // The same object then opens a good file, and releases it on close.
    ASSERT_TRUE(db.open("good", dir.file("good.zrv").c_str()));
    EXPECT_EQ(countEntries("/proc/self/fd"), fds + 1);
    EXPECT_GT(databaseMappings(dir.path), maps);
    db.close();
    EXPECT_EQ(countEntries("/proc/self/fd"), fds);
    EXPECT_EQ(databaseMappings(dir.path), maps);
}

TEST(OpenErrors, FailedDirtyFlushRollsTheChangeBack)
{
    TempDir dir;
    std::string path = dir.file("t.zrv");
    goodFile(path);  // closed: the next change flushes `dirty` first
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", path.c_str()));
    {
        FailingFlush failing(1);
        EXPECT_EQ(db.allocateRecord(64), 0u);
        EXPECT_TRUE(db.reported("Failed to flush file: Input/output error"));
        EXPECT_TRUE(db.transactionFailed());
        EXPECT_EQ(db.allocateRecord(64), 0u) << "the failed transaction takes no further change";
        EXPECT_FALSE(db.commit());
        EXPECT_EQ(failing.count, 1) << "nothing was written for the failed transaction";
    }
    EXPECT_FALSE(db.transactionFailed());
    oid_t id = storeRecord(db, 64, 9);
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(db.commit());
    db.close();
    std::vector<uint8_t> bytes = readFile(path);
    EXPECT_EQ(checkFile(bytes), "");
    EXPECT_EQ(committedRecords(bytes).size(), 3u);
}

TEST(OpenErrors, FailedCommitFlushesKeepACommittedState)
{
    TempDir dir;
    for (int which = 1; which <= 2; which++) {
        SCOPED_TRACE(which);
        std::string path = dir.file("c" + std::to_string(which) + ".zrv");
        goodFile(path);
        RecordingDatabase db;
        ASSERT_TRUE(db.open("t", path.c_str()));
        storeRecord(db, 64, 1);  // flush 1: `dirty`
        bool committed;
        {
            FailingFlush failing(which);  // counted from the commit's first flush
            committed = db.commit();
        }
        EXPECT_FALSE(committed);
        EXPECT_TRUE(db.reported("Failed to flush file: Input/output error"));
        if (which == 1) {
            // Not switched: rolled back, and the next transaction works.
            EXPECT_NE(storeRecord(db, 64, 2), 0u);
            EXPECT_TRUE(db.commit());
        } else {
            // Switched but not known to be on disk: no further change.
            EXPECT_EQ(db.allocateRecord(64), 0u);
            EXPECT_FALSE(db.commit());
            EXPECT_EQ(readRecord(db, 8196), recordImage(64, 1)) << "reads see the new state";
        }
        db.close();
        std::vector<uint8_t> bytes = readFile(path);
        EXPECT_EQ(checkFile(bytes), "");
        RecordingDatabase again;
        ASSERT_TRUE(again.open("t", path.c_str()));
        size_t count = 0;
        for (oid_t oid = 8194; oid < again.getIndexSize(); oid++) {
            count += again.getRow(oid) != nullptr;
        }
        EXPECT_EQ(count, 3u) << "old two records plus the one committed afterwards or switched to";
        again.close();
        EXPECT_EQ(checkFile(readFile(path)), "");
    }
}

TEST(OpenErrors, FailedCommitOfAMovedIndexLeavesBothRootsUsable)
{
    TempDir dir;
    std::string path = dir.file("moved.zrv");
    goodFile(path);
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", path.c_str()));
    while (db.getIndexSize() <= 65536) {
        ASSERT_NE(storeRecord(db, 16, 0), 0u);
    }
    {
        FailingFlush failing(1);
        EXPECT_FALSE(db.commit());
    }
    const dbHeader* h = db.getHeader();
    EXPECT_EQ(h->root[1 - h->curr].index, h->root[h->curr].shadowIndex);
    EXPECT_EQ(h->root[1 - h->curr].shadowIndex, h->root[h->curr].index);
    EXPECT_NE(storeRecord(db, 64, 5), 0u);
    EXPECT_TRUE(db.commit());
    db.close();
    EXPECT_EQ(checkFile(readFile(path)), "");
    ASSERT_TRUE(db.open("t", path.c_str())) << db.messages.back();
    EXPECT_EQ(readRecord(db, 8196), recordImage(64, 5));
    db.close();
}

TEST(OpenErrors, ReadOnlyAccess)
{
    TempDir dir;
    std::string path = dir.file("ro.zrv");
    goodFile(path);
    {
        RecordingDatabase db(dbDatabase::dbReadOnly);
        ASSERT_TRUE(db.open("ro", path.c_str()));
        EXPECT_EQ(readRecord(db, 8195), recordImage(3000, 2));
        EXPECT_EXIT(db.allocateRecord(64), testing::ExitedWithCode(3),
                    "Attempt to modify readonly database\nAbnormal program termination");
        db.close();
    }
    {
        RecordingDatabase writer;
        ASSERT_TRUE(writer.open("ro", path.c_str()));
        storeRecord(writer, 64, 3);  // the file is dirty from here on
        // An exit without close leaves it dirty.
    }
    std::vector<uint8_t> dirty = readFile(path);
    ASSERT_EQ(word(dirty, 8), 1u);
    RecordingDatabase db(dbDatabase::dbReadOnly);
    EXPECT_FALSE(db.open("ro", path.c_str()));
    EXPECT_TRUE(db.reported("Can not open dirty file in read only moode"));
    EXPECT_EQ(db.openFailure(), dbDatabase::dbFileUnavailable);  // a sound file, refused for the access asked
    EXPECT_TRUE(readFile(path) == dirty);

    writeFile(dir.file("new.zrv"), {});
    RecordingDatabase fresh(dbDatabase::dbReadOnly);
    EXPECT_FALSE(fresh.open("new", dir.file("new.zrv").c_str()));
    EXPECT_TRUE(fresh.reported("Can not open uninitialized file in read only mode"));
    EXPECT_EQ(fresh.openFailure(), dbDatabase::dbFileUnavailable);
    EXPECT_TRUE(readFile(dir.file("new.zrv")).empty());
}
