// A file that cannot grow (size limit, full disk, the 4 GiB bound) fails the
// transaction, keeps the last commit and lets the process go on.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/support_storage.h"

using namespace storagetest;

namespace {

// Adds a small and a 2 MB record; the second needs the file to grow.
bool growingTransaction(dbDatabase& db)
{
    oid_t small = storeRecord(db, 100, 1);
    oid_t large = storeRecord(db, 2 * 1048576, 2);
    return small != 0 && large != 0;
}

size_t recordCount(dbDatabase& db)
{
    size_t n = 0;
    for (oid_t oid = dbFirstUserId; oid < db.getIndexSize(); oid++) {
        n += db.getRow(oid) != nullptr;
    }
    return n;
}

uint64_t sizeOnDisk(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
}

// Fails growth with an errno value for the first `failures` attempts.
class FailingGrowth : public dbFileObserver {
public:
    FailingGrowth(int code, int count) : error(code), failures(count) { dbFile::setObserver(this); }
    ~FailingGrowth() override { dbFile::setObserver(nullptr); }
    int beforeGrow(const dbFile&, uint64_t size) override
    {
        requested.push_back(size);
        return int(requested.size()) <= failures ? error : 0;
    }
    std::vector<uint64_t> requested;
    int error, failures;
};

}  // namespace

TEST(DiskFull, FileSizeLimitFailsTheTransactionAndTheProcessGoesOn)
{
    TempDir dir;
    std::string path = dir.file("limit.zrv");
    createBaseline(path);
    const uint64_t size = sizeOnDisk(path);
    ASSERT_EQ(size, 1048576u);
    std::string report = dir.file("report.txt");

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::ofstream out(report);
        signal(SIGXFSZ, SIG_DFL);  // as in a process that was just started
        struct rlimit limit = {rlim_t(size + 65536), RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        RecordingDatabase db;
        out << "open " << db.open("limit", path.c_str()) << "\n";
        out << "transaction " << growingTransaction(db) << "\n";
        for (const std::string& m : db.messages) {
            out << "message " << m << "\n";
        }
        out << "failed " << db.transactionFailed() << "\n";
        out << "further " << (db.allocateRecord(64) != 0) << "\n";
        out << "header " << db.getHeader()->size << "\n";
        out << "disk " << sizeOnDisk(path) << "\n";
        out << "commit " << db.commit() << "\n";
        db.close();
        out << "reopen " << db.open("limit", path.c_str()) << "\n";
        out << "records " << recordCount(db) << "\n";
        limit.rlim_cur = RLIM_INFINITY;
        setrlimit(RLIMIT_FSIZE, &limit);
        out << "again " << growingTransaction(db) << "\n";
        out << "commit " << db.commit() << "\n";
        db.close();
        out.close();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    std::ifstream in(report);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text,
              "open 1\n"
              "transaction 0\n"
              "message Failed to extend file: File too large\n"
              "failed 1\n"
              "further 0\n"
              "header 1048576\n"
              "disk 1048576\n"
              "commit 0\n"
              "reopen 1\n"
              "records 40\n"
              "again 1\n"
              "commit 1\n");
    std::vector<uint8_t> bytes = readFile(path);
    EXPECT_EQ(checkFile(bytes), "");
    auto records = committedRecords(bytes);
    EXPECT_EQ(records.size(), 42u);
}

TEST(DiskFull, GrowthIsRetriedOnceWithTheSizeActuallyNeeded)
{
    TempDir dir;
    std::string path = dir.file("retry.zrv");
    createBaseline(path);
    RecordingDatabase db;
    ASSERT_TRUE(db.open("retry", path.c_str()));
    ASSERT_TRUE(growingTransaction(db));  // to about 3 MB: doubling now asks for more than needed
    ASSERT_TRUE(db.commit());
    {
        FailingGrowth growth(ENOSPC, 1);
        EXPECT_TRUE(growingTransaction(db));
        ASSERT_GE(growth.requested.size(), 2u);
        EXPECT_GT(growth.requested[0], growth.requested[1]);
        EXPECT_EQ(growth.requested[1] % 524288, 0u);
        EXPECT_GE(db.getFileSize(), growth.requested[1]);
    }
    EXPECT_TRUE(db.messages.empty());
    EXPECT_TRUE(db.commit());
    db.close();
    EXPECT_EQ(checkFile(readFile(path)), "");
}

TEST(DiskFull, FullDiskRollsBackAndTheNextTransactionWorks)
{
    TempDir dir;
    std::string path = dir.file("full.zrv");
    createBaseline(path);
    RecordingDatabase db;
    ASSERT_TRUE(db.open("full", path.c_str()));
    {
        FailingGrowth growth(ENOSPC, 2);
        EXPECT_FALSE(growingTransaction(db));
        EXPECT_EQ(growth.requested.size(), 2u);
    }
    EXPECT_TRUE(db.reported("Failed to extend file: No space left on device"));
    EXPECT_EQ(db.classes.back(), dbDatabase::FileError);
    EXPECT_EQ(recordCount(db), 40u) << "the failed transaction's records are gone";
    db.rollback();  // the caller ends the failed transaction
    EXPECT_FALSE(db.transactionFailed());
    EXPECT_NE(storeRecord(db, 200, 3), 0u);
    EXPECT_TRUE(db.commit());
    EXPECT_EQ(recordCount(db), 41u);
    db.close();
    EXPECT_EQ(sizeOnDisk(path), 1048576u);
    EXPECT_EQ(checkFile(readFile(path)), "");
}

TEST(DiskFull, BeyondTheAddressableSizeIsReportedNotFatal)
{
    TempDir dir;
    RecordingDatabase db;
    ASSERT_TRUE(db.open("huge", dir.file("huge.zrv").c_str()));
    EXPECT_EQ(db.allocateRecord(size_t(5) << 30), 0u);
    ASSERT_EQ(db.classes.size(), 1u);
    EXPECT_EQ(db.classes[0], dbDatabase::OutOfMemoryError);
    EXPECT_EQ(db.messages[0].rfind("Not enough memory: failed to allocate ", 0), 0u);
    EXPECT_FALSE(db.commit());
    EXPECT_NE(storeRecord(db, 64, 1), 0u);
    EXPECT_TRUE(db.commit());
    db.close();
    EXPECT_EQ(checkFile(readFile(dir.file("huge.zrv"))), "");
}
