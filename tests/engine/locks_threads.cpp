// Transaction locks between threads of one process.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

#include "engine/support_storage.h"

using namespace storagetest;

namespace {

using Clock = std::chrono::steady_clock;

long long millisSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void waitFor(const std::atomic<int>& stage, int value)
{
    while (stage < value) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// An open database with its opening transaction ended.
class LocksThreads : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
        ASSERT_TRUE(db.commit());
    }
    void TearDown() override { db.close(); }
    TempDir dir;
    RecordingDatabase db;
};

}  // namespace

TEST_F(LocksThreads, ReaderWaitsForTheWriterAndSeesItsCommit)
{

    std::atomic<int> stage{0};
    std::atomic<oid_t> written{0};
    std::atomic<bool> readerIn{false};
    std::vector<uint8_t> seen;
    std::thread writer([&] {
        ASSERT_TRUE(db.beginTransaction(dbDatabase::dbExclusiveLock));
        written = storeRecord(db, 200, 77);
        stage = 1;
        waitFor(stage, 2);
        EXPECT_TRUE(db.commit());
    });
    waitFor(stage, 1);
    std::thread reader([&] {
        EXPECT_TRUE(db.beginTransaction(dbDatabase::dbSharedLock));
        readerIn = true;
        seen = readRecord(db, written);
        db.commit();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(readerIn) << "the reader must wait while the writer holds the lock";
    stage = 2;
    writer.join();
    reader.join();
    EXPECT_TRUE(readerIn);
    EXPECT_EQ(seen, recordImage(200, 77));
}

// Readers that join each other's shared lock and a writer that grows the
// file and the object index take turns: each reader sees every commit made
// before it took the lock, whole.
TEST_F(LocksThreads, ReadersSideBySideSeeEachCommitWhole)
{
    constexpr uint32_t commits = 40;
    // The last committed record: its seed in the high word and its id in the
    // low one, published in one step so that no reader sees one without the
    // other.
    std::atomic<uint64_t> published{0};
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (uint32_t i = 1; i <= commits; i++) {
            // every tenth record is large (the file grows), every commit adds ids
            oid_t oid = storeRecord(db, i % 10 == 0 ? 600000 : 64 + i, i);
            for (int k = 0; k < 300; k++) {
                storeRecord(db, 24, k);
            }
            if (!db.commit()) {
                ADD_FAILURE() << "commit " << i;  // and the readers stop
                break;
            }
            published = uint64_t(i) << 32 | oid;
        }
        done = true;
    });
    std::atomic<int> mismatches{0}, reads{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; r++) {
        readers.emplace_back([&] {
            while (!done || (reads < 10 && published != 0)) {
                const uint64_t record = published;
                const uint32_t seed = uint32_t(record >> 32);
                const oid_t oid = oid_t(record);
                if (!db.beginTransaction(dbDatabase::dbSharedLock)) {
                    mismatches += 1;
                    break;
                }
                if (seed != 0) {
                    mismatches += readRecord(db, oid) != recordImage(seed % 10 == 0 ? 600000 : 64 + seed, seed);
                    reads += 1;
                }
                db.commit();
            }
        });
    }
    writer.join();
    for (std::thread& t : readers) {
        t.join();
    }
    EXPECT_EQ(mismatches, 0) << "of " << reads;
    EXPECT_GE(db.getIndexSize(), dbFirstUserId + commits * 301);
}

TEST_F(LocksThreads, OnlyHolderUpgradesAtOnce)
{
    std::thread t([&] {
        ASSERT_TRUE(db.beginTransaction(dbDatabase::dbSharedLock));
        // no other holder to wait for: a wait for the readers to leave would
        // wait for this thread itself (the lock wait here never runs out)
        EXPECT_TRUE(db.beginTransaction(dbDatabase::dbExclusiveLock));
        EXPECT_NE(storeRecord(db, 64, 1), 0u);
        EXPECT_TRUE(db.commit());
    });
    t.join();
}

TEST_F(LocksThreads, UpgraderWaitsForTheOtherReader)
{
    std::atomic<int> stage{0};
    std::atomic<bool> upgraded{false};
    std::thread other([&] {
        ASSERT_TRUE(db.beginTransaction(dbDatabase::dbSharedLock));
        stage = 1;
        waitFor(stage, 2);
        db.commit();  // ends the read transaction
    });
    waitFor(stage, 1);
    std::thread upgrader([&] {
        ASSERT_TRUE(db.beginTransaction(dbDatabase::dbSharedLock));
        EXPECT_TRUE(db.beginTransaction(dbDatabase::dbExclusiveLock));
        upgraded = true;
        db.commit();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(upgraded);
    stage = 2;
    other.join();
    upgrader.join();
    EXPECT_TRUE(upgraded);
}

TEST(LocksThreadsDeathTest, SecondUpgraderIsADeadlock)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The death test's child runs this test again from its start: it takes
    // the parent's folder, named in its environment, rather than making one
    // that nobody would remove once it has died.
    constexpr const char* folderVariable = "QUILLET_DEATH_TEST_FOLDER";
    std::optional<TempDir> made;
    if (std::getenv(folderVariable) == nullptr) {
        made.emplace();
        setenv(folderVariable, made->path.c_str(), 1);
    }
    const std::string path = std::string(std::getenv(folderVariable)) + "/t.zrv";
    EXPECT_EXIT(
        {
            dbDatabase db;
            db.open("t", path.c_str());
            db.commit();
            std::atomic<int> holders{0};
            std::thread first([&] {
                db.beginTransaction(dbDatabase::dbSharedLock);
                holders += 1;
                waitFor(holders, 2);
                db.beginTransaction(dbDatabase::dbExclusiveLock);  // waits for the second reader
            });
            db.beginTransaction(dbDatabase::dbSharedLock);
            holders += 1;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            db.beginTransaction(dbDatabase::dbExclusiveLock);
            first.join();
            _exit(0);
        },
        testing::ExitedWithCode(3),
        "Deadlock is caused by upgrading shared locks to exclusive\nAbnormal program termination");
    unsetenv(folderVariable);
}

TEST_F(LocksThreads, EachThreadAndDatabaseHasItsOwnContext)
{
    RecordingDatabase second;
    ASSERT_TRUE(second.open("u", dir.file("u.zrv").c_str()));
    EXPECT_NE(db.getContext(false), nullptr);
    EXPECT_NE(db.getContext(false), second.getContext(false));
    std::thread t([&] {
        EXPECT_EQ(db.getContext(false), nullptr) << "created by the thread's first engine call";
        ASSERT_TRUE(db.beginTransaction(dbDatabase::dbSharedLock));
        dbDatabaseThreadContext* ctx = db.getContext(false);
        ASSERT_NE(ctx, nullptr);
        EXPECT_TRUE(ctx->readAccess);
        EXPECT_NE(ctx, second.getContext(true));
        db.commit();
        EXPECT_FALSE(ctx->readAccess);
    });
    t.join();
    second.close();
}

// A lock wait that runs out on a thread of the same process ends in failure:
// that thread keeps its lock, its reads and its changes, and commits them.
TEST(LocksThreadsTimeOut, HolderInThisProcessKeepsItsLock)
{
    struct Case {
        dbDatabase::dbLockType held, wanted;
    };
    for (Case c : {Case{dbDatabase::dbExclusiveLock, dbDatabase::dbSharedLock},
                   Case{dbDatabase::dbSharedLock, dbDatabase::dbExclusiveLock}}) {
        SCOPED_TRACE(c.held);
        TempDir dir;
        RecordingDatabase db;
        ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str(), 200));  // lock wait 200 ms
        oid_t before = storeRecord(db, 64, 3);
        ASSERT_TRUE(db.commit());
        std::atomic<int> stage{0};
        oid_t written = 0;
        std::vector<uint8_t> seen;
        std::thread holder([&] {
            ASSERT_TRUE(db.beginTransaction(c.held));
            if (c.held == dbDatabase::dbExclusiveLock) {
                written = storeRecord(db, 100, 9);
            }
            stage = 1;
            waitFor(stage, 2);
            seen = readRecord(db, before);
            EXPECT_TRUE(db.commit());
        });
        waitFor(stage, 1);
        auto start = Clock::now();
        EXPECT_FALSE(db.beginTransaction(c.wanted));
        EXPECT_GE(millisSince(start), 150);
        stage = 2;
        holder.join();
        EXPECT_EQ(seen, recordImage(64, 3));
        EXPECT_TRUE(db.messages.empty()) << db.messages.front();
        ASSERT_TRUE(db.beginTransaction(dbDatabase::dbSharedLock)) << "the lock is free again";
        if (written != 0) {
            EXPECT_EQ(readRecord(db, written), recordImage(100, 9));
        }
        db.close();
    }
}
