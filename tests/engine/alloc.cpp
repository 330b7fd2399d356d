// Space allocation and object ids: placement, reuse, growth of the object
// index and of the file.
#include <cstring>
#include <set>
#include <gtest/gtest.h>

#include "engine/support_storage.h"
#include "engine/ttree.h"

using namespace storagetest;

namespace {

constexpr uint32_t boundary34 = 2 * 524288;  // first byte covered by bitmap page 4

uint32_t workingRoot(dbDatabase& db)
{
    return 1 - db.getHeader()->curr;
}

}  // namespace

TEST(Alloc, PageMultiplesArePageAlignedOtherSizesAreRecords)
{
    TempDir dir;
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    // The first record goes right after the Metatable's row (536,576 + 992).
    offs_t small = db.allocate(100);
    EXPECT_EQ(small, 536576u + 992u);
    offs_t page = db.allocate(4096);
    EXPECT_EQ(page % 4096, 0u);
    offs_t pages = db.allocate(3 * 4096);
    EXPECT_EQ(pages % 4096, 0u);
    // 4,097 bytes go through the record cursor: two such records follow one
    // another with no rounding to a page.
    offs_t odd = db.allocate(4097);
    EXPECT_EQ(db.allocate(4097), odd + 4112);
    offs_t next = db.allocate(32);
    EXPECT_EQ(next, odd + 2 * 4112);
    // Freeing rewinds the record cursor, so the space is taken again.
    db.deallocate(small, 100);
    EXPECT_EQ(db.allocate(64), small);
    db.rollback();
    EXPECT_EQ(db.allocate(100), small) << "rollback restarts allocation from the start";
    db.rollback();
    db.close();
    EXPECT_EQ(checkFile(readFile(dir.file("t.zrv"))), "");
}

TEST(Alloc, SmallRecordTakesTheLowestOfTheLongestRunsOfItsByte)
{
    TempDir dir;
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    // Eight 16-byte records share one bitmap byte; free quanta 1, 3, 4, 6, 7
    // leave runs {1}, {3,4}, {6,7}: a 32-byte record takes quantum 3.
    oid_t id = db.allocateRecord(16);
    while (db.getPos(id) % 128 != 0) {  // up to the start of a bitmap byte
        id = db.allocateRecord(16);
    }
    std::vector<oid_t> ids{id};
    for (int i = 1; i < 8; i++) {
        ids.push_back(db.allocateRecord(16));
    }
    offs_t first = db.getPos(ids[0]);
    ASSERT_EQ(db.getPos(ids[7]), first + 7 * 16);
    ASSERT_TRUE(db.commit());
    for (int i : {1, 3, 4, 6, 7}) {
        db.freeObject(ids[i]);
    }
    ASSERT_TRUE(db.commit());
    db.close();
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));  // cursors back at the start
    id = db.allocateRecord(32);
    EXPECT_EQ(db.getPos(id), first + 3 * 16);
    ASSERT_TRUE(db.commit());
    db.close();
    EXPECT_EQ(checkFile(readFile(dir.file("t.zrv"))), "");
}

// A transaction's first small records fill the holes of the file, as an
// edit does. Its later ones share their pages, though there is a hole that
// fits each in every page, so that a large transaction has a few pages to
// write, not one for each record; once the file has no longer run, they
// fill the holes again rather than grow the file.
TEST(Alloc, SmallRecordsOfALargeTransactionShareTheirPages)
{
    TempDir dir;
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    std::vector<oid_t> ids;
    for (int i = 0; i < 2000; i++) {
        ids.push_back(db.allocateRecord(160));
    }
    ASSERT_TRUE(db.commit());
    std::set<offs_t> holes;
    for (size_t i = 0; i < ids.size(); i += 2) {
        holes.insert(db.getPos(ids[i]));
        db.freeObject(ids[i]);
    }
    ASSERT_TRUE(db.commit());
    for (int i = 0; i < 64; i++) {
        EXPECT_EQ(holes.count(db.getPos(db.allocateRecord(160))), 1u);
    }
    // Past those, small objects share pages, rows apart from the other
    // objects (index nodes, say) made alongside: each row follows the one
    // before, but where a run (16,384 bytes for rows, 4,096 for the
    // others) is full.
    std::set<offs_t> pages;  // those the rows and nodes begin in
    offs_t last = 0;
    int breaks = 0;
    for (int i = 0; i < 200; i++) {
        const offs_t pos = db.getPos(db.allocateRecord(160));
        breaks += i > 0 && pos != last + 160;
        last = pos;
        pages.insert(pos / 4096);
        pages.insert((db.getPos(db.allocateObject(dbTtree::nodeMarker)) & ~dbInternalObjectMarker) / 4096);
    }
    constexpr std::size_t rowsPerRun = 16384 / 160, nodesPerRun = 4096 / sizeof(dbTtreeNode);
    EXPECT_LE(pages.size(), (200 * 160 + 4095) / 4096 + (200 + nodesPerRun - 1) / nodesPerRun + 3);
    EXPECT_LE(breaks, int(200 / rowsPerRun) + 1);
    const uint32_t fileSize = db.getHeader()->size;
    offs_t end = 0;
    while (end + 2 * 4112 <= fileSize) {
        oid_t page = db.allocateRecord(4112);
        ASSERT_NE(page, 0u);
        end = db.getPos(page) + 4112;
    }
    ASSERT_EQ(db.getPos(db.allocateRecord(fileSize - end)), end);
    ASSERT_EQ(db.getHeader()->size, fileSize);
    size_t inHoles = 0;  // all but a few, that take what was left of a run taken before
    for (int i = 0; i < 200; i++) {
        inHoles += holes.count(db.getPos(db.allocateRecord(160)));
    }
    EXPECT_GE(inHoles, 180u);
    EXPECT_EQ(db.getHeader()->size, fileSize) << "the file grew while a hole would do";
    ASSERT_TRUE(db.commit());
    db.close();
    EXPECT_EQ(checkFile(readFile(dir.file("t.zrv"))), "");
}

TEST(Alloc, FreeRunAcrossTwoBitmapPagesIsFoundAndMarkedInBoth)
{
    TempDir dir;
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    std::vector<oid_t> ids;
    while (ids.empty() || db.getPos(ids.back()) < boundary34 + 65536) {
        ids.push_back(db.allocateRecord(1024));
        ASSERT_NE(ids.back(), 0u);
    }
    ASSERT_TRUE(db.commit());
    // Free 16 KB on each side of the boundary between pages 3 and 4.
    for (oid_t id : ids) {
        offs_t pos = db.getPos(id);
        if (pos + 1024 > boundary34 - 16384 && pos < boundary34 + 16384) {
            db.freeObject(id);
        }
    }
    ASSERT_TRUE(db.commit());
    db.close();
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    oid_t big = db.allocateRecord(20000);  // larger than any other hole
    ASSERT_NE(big, 0u);
    offs_t pos = db.getPos(big);
    EXPECT_LT(pos, boundary34);
    EXPECT_GT(pos + 20000, boundary34);
    ASSERT_TRUE(db.commit());
    db.close();
    EXPECT_EQ(checkFile(readFile(dir.file("t.zrv"))), "");
}

TEST(Alloc, FreedIdsAreReusedAndTheIndexDoublesWhenFull)
{
    TempDir dir;
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    oid_t a = db.allocateId();
    EXPECT_EQ(a, 8194u) << "with no free id, the next id is the index size";
    oid_t b = db.allocateId();
    db.freeId(a);
    EXPECT_EQ(db.allocateId(), a);
    db.freeId(b);
    db.freeId(a);
    EXPECT_EQ(db.allocateId(), a);
    EXPECT_EQ(db.allocateId(), b);
    db.rollback();
    EXPECT_EQ(db.allocateId(), 8194u) << "rollback frees the ids again";
    db.rollback();

    // Fill the index to its capacity of 65,536 entries with records.
    std::vector<oid_t> ids;
    while (db.getIndexSize() < 65536) {
        ids.push_back(storeRecord(db, 16 + 4, uint32_t(ids.size())));
    }
    ASSERT_TRUE(db.commit());
    EXPECT_EQ(db.getHeader()->root[workingRoot(db)].indexSize, 65536u);
    offs_t oldIndex = db.getHeader()->root[workingRoot(db)].index;
    oid_t last = storeRecord(db, 40, 7);
    EXPECT_EQ(last, 65536u);
    EXPECT_EQ(db.getHeader()->root[workingRoot(db)].indexSize, 131072u);
    EXPECT_NE(db.getHeader()->root[workingRoot(db)].index, oldIndex);
    ASSERT_TRUE(db.commit());
    for (int r = 0; r < 2; r++) {
        EXPECT_EQ(db.getHeader()->root[r].indexSize, 131072u);
        EXPECT_EQ(db.getHeader()->root[r].shadowIndexSize, 131072u);
    }
    db.close();
    std::vector<uint8_t> bytes = readFile(dir.file("t.zrv"));
    EXPECT_EQ(checkFile(bytes), "") << "the old index areas are free again";
    auto records = committedRecords(bytes);
    EXPECT_EQ(records.size(), ids.size() + 1);
    EXPECT_EQ(records[last], recordImage(40, 7));
    EXPECT_EQ(records[ids[1000]], recordImage(20, 1000));

    // The doubled index also survives a rollback of the transaction that
    // doubled it, and a reopen.
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    EXPECT_EQ(db.getIndexSize(), 65537u);
    db.close();
}

TEST(Alloc, RolledBackLargeAllocationsGrowTheFileOnlyOnce)
{
    TempDir dir;
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    uint64_t sizes = 0;
    uint64_t previous = db.getFileSize();
    int growths = 0;
    for (int round = 0; round < 100; round++) {
        ASSERT_NE(db.allocateRecord(2 * 1048576), 0u);
        db.rollback();
        if (db.getFileSize() != previous) {
            growths += 1;
            previous = db.getFileSize();
        }
        sizes = previous;
    }
    EXPECT_LE(growths, 1);
    db.close();
    std::vector<uint8_t> bytes = readFile(dir.file("t.zrv"));
    EXPECT_EQ(bytes.size(), sizes);
    EXPECT_EQ(checkFile(bytes), "");
}

TEST(Alloc, CommittedFreesAreReused)
{
    TempDir dir;
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    uint64_t after100 = 0;
    for (int round = 0; round < 10000; round++) {
        oid_t id = storeRecord(db, 1024, uint32_t(round));
        ASSERT_NE(id, 0u);
        ASSERT_TRUE(db.commit());
        db.freeObject(id);
        ASSERT_TRUE(db.commit());
        if (round == 99) {
            after100 = db.getFileSize();
        }
    }
    EXPECT_EQ(db.getFileSize(), after100);
    db.close();
    std::vector<uint8_t> bytes = readFile(dir.file("t.zrv"));
    EXPECT_EQ(bytes.size(), after100);
    EXPECT_EQ(checkFile(bytes), "");
    EXPECT_TRUE(committedRecords(bytes).empty());
}

TEST(Alloc, RowsOfATableStayLinked)
{
    TempDir dir;
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    oid_t r1 = db.allocateRow(dbMetaTableId, 64);
    oid_t r2 = db.allocateRow(dbMetaTableId, 64);
    oid_t r3 = db.allocateRow(dbMetaTableId, 64);
    ASSERT_TRUE(db.commit());
    auto meta = [&] { return reinterpret_cast<const dbTable*>(db.get(dbMetaTableId)); };
    EXPECT_EQ(meta()->nRows, 3);
    EXPECT_EQ(meta()->firstRow, r1);
    EXPECT_EQ(meta()->lastRow, r3);
    EXPECT_EQ(db.getRow(r2)->prev, r1);
    EXPECT_EQ(db.getRow(r2)->next, r3);
    db.freeRow(dbMetaTableId, r2);
    EXPECT_EQ(db.getRow(r1)->next, r3);
    EXPECT_EQ(db.getRow(r3)->prev, r1);
    EXPECT_EQ(meta()->nRows, 2);
    db.rollback();
    EXPECT_EQ(db.getRow(r1)->next, r2) << "rollback restores the links";
    EXPECT_EQ(meta()->nRows, 3);
    // A row grown in place of itself keeps its id, links and contents.
    std::memset(reinterpret_cast<byte*>(db.putRow(r2)) + sizeof(dbRecord), 0x5A, 52);
    dbRecord* grown = db.putRow(r2, 5000);
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(grown->size, 5000u);
    EXPECT_EQ(grown->prev, r1);
    EXPECT_EQ(reinterpret_cast<byte*>(grown)[63], 0x5A);
    ASSERT_TRUE(db.commit());
    db.freeRow(dbMetaTableId, r1);
    db.freeRow(dbMetaTableId, r3);
    ASSERT_TRUE(db.commit());
    EXPECT_EQ(meta()->firstRow, r2);
    EXPECT_EQ(meta()->lastRow, r2);
    db.close();
    EXPECT_EQ(checkFile(readFile(dir.file("t.zrv"))), "");
}
