// Transaction locks between threads of one process.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/support_storage.h"

using namespace storagetest;

namespace {

using Clock = std::chrono::steady_clock;

long long millisSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace

TEST(LocksThreads, ReaderWaitsForTheWriterAndSeesItsCommit)
{
    TempDir dir;
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    ASSERT_TRUE(db.commit());

    std::atomic<int> stage{0};
    std::atomic<oid_t> written{0};
    std::atomic<bool> readerIn{false};
    std::vector<uint8_t> seen;
    std::thread writer([&] {
        ASSERT_TRUE(db.beginTransaction(dbDatabase::dbExclusiveLock));
        written = storeRecord(db, 200, 77);
        stage = 1;
        while (stage < 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_TRUE(db.commit());
    });
    while (stage < 1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
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
    db.close();
}

TEST(LocksThreads, OnlyHolderUpgradesAtOnce)
{
    TempDir dir;
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    ASSERT_TRUE(db.commit());
    std::thread t([&] {
        ASSERT_TRUE(db.beginTransaction(dbDatabase::dbSharedLock));
        auto start = Clock::now();
        EXPECT_TRUE(db.beginTransaction(dbDatabase::dbExclusiveLock));
        EXPECT_LT(millisSince(start), 100);
        EXPECT_NE(storeRecord(db, 64, 1), 0u);
        EXPECT_TRUE(db.commit());
    });
    t.join();
    db.close();
}

TEST(LocksThreads, UpgraderWaitsForTheOtherReader)
{
    TempDir dir;
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    ASSERT_TRUE(db.commit());
    std::atomic<int> stage{0};
    std::atomic<bool> upgraded{false};
    std::thread other([&] {
        ASSERT_TRUE(db.beginTransaction(dbDatabase::dbSharedLock));
        stage = 1;
        while (stage < 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        db.commit();  // ends the read transaction
    });
    while (stage < 1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
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
    db.close();
}

TEST(LocksThreadsDeathTest, SecondUpgraderIsADeadlock)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    std::string path = dir.file("t.zrv");
    EXPECT_EXIT(
        {
            dbDatabase db;
            db.open("t", path.c_str());
            db.commit();
            std::atomic<int> holders{0};
            std::thread first([&] {
                db.beginTransaction(dbDatabase::dbSharedLock);
                holders += 1;
                while (holders < 2) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
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
}
