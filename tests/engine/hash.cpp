// The persistent hash index: codes, buckets and growth, look-ups that must
// tell keys apart by their bytes, and removal.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "engine/class.h"
#include "engine/compact.h"
#include "engine/hashtab.h"
#include "engine/support_index.h"
#include "engine/support_storage.h"

using namespace storagetest;

namespace {

struct Keyed {
    const char* name;
    std::int32_t id;
    DB_FIELDS(Keyed, DB_KEY(name, dbHashed), DB_KEY(id, dbHashed))
};

}  // namespace

DB_TABLE(Keyed);

namespace {

class HashIndex : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str())); }
    void TearDown() override { db.close(); }

    dbTableDescriptor* table() { return db.findTable("Keyed"); }
    dbFieldDescriptor* field(const char* name) { return table()->find(name); }
    const dbHashTable& hashOf(const char* name)
    {
        return *reinterpret_cast<const dbHashTable*>(db.get(field(name)->hashTable));
    }
    oid_t slot(const char* name, std::uint32_t bucket)
    {
        const dbHashTable& h = hashOf(name);
        return reinterpret_cast<const oid_t*>(db.get(h.page + bucket / 1024))[bucket % 1024];
    }

    // The record of a bucket's first item, 0 when the bucket is empty.
    oid_t headRecord(const char* name, std::uint32_t bucket)
    {
        oid_t item = slot(name, bucket);
        return item != 0 ? reinterpret_cast<const dbHashTableItem*>(db.get(item))->record : 0;
    }

    oid_t insert(const char* name, std::int32_t id)
    {
        Keyed rec{name, id};
        dbAnyReference ref;
        EXPECT_TRUE(db.insertRecord(table(), &ref, &rec));
        return ref.oid;
    }

    // The buckets of the field's table that hold items.
    std::uint32_t bucketsTaken(const char* name)
    {
        std::uint32_t taken = 0;
        for (std::uint32_t b = 0; b < hashOf(name).size; b++) {
            taken += slot(name, b) != 0;
        }
        return taken;
    }

    std::vector<oid_t> findName(const char* text) { return indextest::hashFind(db, field("name"), text); }
    std::vector<oid_t> findId(std::int32_t id) { return indextest::hashFind(db, field("id"), &id); }

    TempDir dir;
    RecordingDatabase db;
};

}  // namespace

TEST_F(HashIndex, CodesAndBuckets)
{
    EXPECT_EQ(dbHashTable::hashCode(reinterpret_cast<const byte*>("abc"), 3), 96354u);
    EXPECT_EQ(dbHashTable::hashCode(reinterpret_cast<const byte*>("Aa"), 2), 2112u);
    EXPECT_EQ(dbHashTable::hashCode(reinterpret_cast<const byte*>("BB"), 2), 2112u);
    const byte high[] = {0xC3, 0x89};  // bytes count as unsigned values
    EXPECT_EQ(dbHashTable::hashCode(high, 2), 0xC3u * 31 + 0x89u);

    EXPECT_EQ(hashOf("name").size, 16383u);
    oid_t abc = insert("abc", 1);
    EXPECT_EQ(96354u % 16383, 14439u);
    oid_t itemId = slot("name", 14439);
    ASSERT_NE(itemId, 0u);
    const dbHashTableItem& item = *reinterpret_cast<const dbHashTableItem*>(db.get(itemId));
    EXPECT_EQ(item.record, abc);
    EXPECT_EQ(item.hash, 96354u);
    EXPECT_EQ(item.next, 0u);
    EXPECT_EQ(hashOf("name").used, 2u);
}

TEST_F(HashIndex, TablesAreSizedForTheExpectedRows)
{
    struct Case {
        std::size_t rows;
        std::uint32_t size;
    };
    // More buckets than rows, 2^k - 1 of them, never a size that 31 divides
    // (32,767 and 1,048,575 are left out).
    for (Case c : {Case{0, 16383}, Case{16382, 16383}, Case{16383, 65535}, Case{20000, 65535}, Case{65535, 131071},
                   Case{600000, 2097151}}) {
        oid_t id = dbHashTable::allocate(&db, c.rows);
        ASSERT_NE(id, 0u);
        const dbHashTable& h = *reinterpret_cast<const dbHashTable*>(db.get(id));
        EXPECT_EQ(h.size, c.size) << c.rows;
        EXPECT_EQ(h.used, 0u);
        // (size + 1) / 1,024 page ids whose pages follow each other.
        offs_t first = db.getPos(h.page);
        EXPECT_EQ(first & (dbPageSize - 1), dbPageObjectMarker);
        for (std::uint32_t i = 1; i < (c.size + 1) / 1024; i++) {
            EXPECT_EQ(db.getPos(h.page + i), first + i * dbPageSize);
        }
        EXPECT_TRUE(dbHashTable::drop(&db, id));
    }
    db.rollback();
}

TEST_F(HashIndex, GrowsWithTheRowCount)
{
    const int n = 40000;
    std::vector<oid_t> ids(n);
    for (int i = 0; i < n; i++) {
        ids[i] = insert(("key " + std::to_string(i)).c_str(), i);
    }
    // The table grows when its rows outnumber its buckets: past 16,383 rows
    // to 65,535 buckets (32,767 is left out), and not again.
    EXPECT_EQ(hashOf("name").size, 65535u);
    EXPECT_EQ(hashOf("id").size, 65535u);
    ASSERT_TRUE(db.commit());
    // Every key is still found after the move, by text and by id.
    for (int i = 0; i < n; i++) {
        ASSERT_EQ(findName(("key " + std::to_string(i)).c_str()), std::vector<oid_t>{ids[i]}) << i;
        ASSERT_EQ(findId(i), std::vector<oid_t>{ids[i]}) << i;
    }
    EXPECT_TRUE(findName("key").empty());
    // Every row is in exactly one bucket, the one of its hash code.
    const dbHashTable& h = hashOf("name");
    std::set<oid_t> seen;
    for (std::uint32_t b = 0; b < h.size; b++) {
        for (oid_t item = slot("name", b); item != 0;) {
            const dbHashTableItem& it = *reinterpret_cast<const dbHashTableItem*>(db.get(item));
            EXPECT_EQ(it.hash % h.size, b);
            EXPECT_TRUE(seen.insert(it.record).second);
            item = it.next;
        }
    }
    EXPECT_EQ(seen.size(), std::size_t(n));
    // The ids' 8,061 codes, all of them multiples of 31, take a bucket each
    // (32,767 buckets would give them 1,057).
    EXPECT_EQ(bucketsTaken("id"), 8061u);
}

TEST_F(HashIndex, KeysAreToldApartByTheirBytes)
{
    oid_t aa = insert("Aa", 1);
    oid_t bb = insert("BB", 2);
    oid_t abcd = insert("abcd", 3);
    oid_t ab = insert("ab", 4);
    EXPECT_EQ(headRecord("name", 2112), bb);  // same bucket: the later one heads the chain
    EXPECT_EQ(findName("Aa"), std::vector<oid_t>{aa});
    EXPECT_EQ(findName("BB"), std::vector<oid_t>{bb});
    EXPECT_EQ(findName("abcd"), std::vector<oid_t>{abcd});
    EXPECT_EQ(findName("ab"), std::vector<oid_t>{ab});
    EXPECT_TRUE(findName("abc").empty());  // a prefix of "abcd", and "ab" is a prefix of it
    EXPECT_TRUE(findName("").empty());
    oid_t again = insert("Aa", 5);
    std::vector<oid_t> both = findName("Aa");
    EXPECT_EQ(std::set<oid_t>(both.begin(), both.end()), (std::set<oid_t>{aa, again}));

    // 64 texts of one hash code ("Aa" and "BB" blocks), some twice: each
    // finds its own records only.
    std::vector<std::string> texts;
    std::vector<std::set<oid_t>> records;
    for (int bits = 0; bits < 64; bits++) {
        std::string t;
        for (int b = 0; b < 6; b++) {
            t += (bits >> b) & 1 ? "BB" : "Aa";
        }
        texts.push_back(t);
        records.push_back({insert(t.c_str(), 100 + bits)});
        if (bits % 5 == 0) {
            records.back().insert(insert(t.c_str(), 200 + bits));
        }
    }
    for (std::size_t i = 0; i < texts.size(); i++) {
        std::vector<oid_t> found = findName(texts[i].c_str());
        EXPECT_EQ(std::set<oid_t>(found.begin(), found.end()), records[i]) << texts[i];
        EXPECT_EQ(found.size(), records[i].size());
    }
}

TEST_F(HashIndex, RemovingItemsMendsChainsAndEmptiesSlots)
{
    oid_t abc = insert("abc", 1);
    oid_t aa = insert("Aa", 2);
    oid_t bb = insert("BB", 3);
    ASSERT_TRUE(db.commit());
    std::uint32_t used = hashOf("name").used;
    ASSERT_TRUE(db.remove(table(), abc));
    EXPECT_EQ(slot("name", 14439), 0u);
    EXPECT_EQ(hashOf("name").used, used - 1);
    ASSERT_TRUE(db.remove(table(), bb));  // the head of a chain of two
    EXPECT_EQ(findName("Aa"), std::vector<oid_t>{aa});
    EXPECT_TRUE(findName("BB").empty());
    EXPECT_EQ(headRecord("name", 2112), aa);
    ASSERT_TRUE(db.commit());
    db.close();
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    EXPECT_EQ(findName("Aa"), std::vector<oid_t>{aa});
    EXPECT_TRUE(findName("abc").empty());
    EXPECT_EQ(findId(2), std::vector<oid_t>{aa});
}

TEST_F(HashIndex, OneBucketChangeCopiesOnePage)
{
    insert("first", 1);
    ASSERT_TRUE(db.commit());
    const dbHashTable& h = hashOf("name");
    oid_t page = h.page;
    std::vector<offs_t> before;
    for (std::uint32_t i = 0; i < 16; i++) {
        before.push_back(db.getPos(page + i));
    }
    insert("second", 2);
    int moved = 0;
    for (std::uint32_t i = 0; i < 16; i++) {
        moved += db.getPos(page + i) != before[i];
    }
    EXPECT_EQ(moved, 1);
    db.rollback();
}

TEST_F(HashIndex, AnItemNamingAFreedRowIsReportedNotFollowed)
{
    oid_t abc = insert("abc", 1);
    ASSERT_TRUE(db.commit());
    oid_t item = slot("name", 14439);
    reinterpret_cast<dbHashTableItem*>(db.put(item))->record = 3;  // a bitmap page
    EXPECT_TRUE(findName("abc").empty());
    EXPECT_TRUE(db.reported("Database file was corrupted: invalid index"));
    db.rollback();
    EXPECT_EQ(findName("abc"), std::vector<oid_t>{abc});
    reinterpret_cast<dbHashTableItem*>(db.put(item))->record = 100000000;  // beyond the index
    db.messages.clear();
    EXPECT_TRUE(findName("abc").empty());
    EXPECT_TRUE(db.reported("Database file was corrupted: invalid index"));
    db.rollback();
    EXPECT_EQ(findName("abc"), std::vector<oid_t>{abc});
}

TEST_F(HashIndex, ADamagedTableOrChainIsReportedNotFollowed)
{
    oid_t abc = insert("abc", 1);
    ASSERT_TRUE(db.commit());
    // A table whose bucket count reads as zero (a zeroed object).
    reinterpret_cast<dbHashTable*>(db.put(field("name")->hashTable))->size = 0;
    EXPECT_TRUE(findName("abc").empty());
    EXPECT_TRUE(db.reported("Database file was corrupted: invalid index"));
    Keyed rec{"def", 2};
    EXPECT_FALSE(db.insertRecord(table(), nullptr, &rec));
    EXPECT_FALSE(db.commit());
    EXPECT_EQ(findName("abc"), std::vector<oid_t>{abc});

    // A chain whose item leads back to itself ends the walk.
    oid_t item = slot("name", 14439);
    reinterpret_cast<dbHashTableItem*>(db.put(item))->next = item;
    db.messages.clear();
    findName("abc");
    EXPECT_TRUE(db.reported("Database file was corrupted: invalid index"));
    db.rollback();
    EXPECT_EQ(findName("abc"), std::vector<oid_t>{abc});
}

TEST_F(HashIndex, ATableOfEarlierReleasesStuckAt32767BucketsHeals)
{
    const int n = 40000;
    std::vector<oid_t> rows(n);
    for (int i = 0; i < n; i++) {
        rows[i] = insert(("key " + std::to_string(i)).c_str(), i);
    }
    ASSERT_TRUE(db.commit());
    ASSERT_EQ(hashOf("id").size, 65535u);
    ASSERT_TRUE(indextest::fileHashAsEarlierReleases(db, field("id"), 32767));
    auto everyRowFound = [&](int upTo) {
        for (int i = 0; i < upTo; i++) {
            ASSERT_EQ(findId(i), std::vector<oid_t>{rows[i]}) << i;
        }
    };
    // Stuck: the ids' codes, all of them multiples of 31, take a 31st of the
    // buckets at most. Such a table is read and checked as it is.
    EXPECT_EQ(hashOf("id").size, 32767u);
    EXPECT_EQ(bucketsTaken("id"), 32767u / 31);
    everyRowFound(n);
    EXPECT_TRUE(db.checkIndexes());
    db.commit();
    ASSERT_TRUE(db.messages.empty());
    db.close();
    const std::string stuck = dir.file("stuck.zrv");
    std::filesystem::copy_file(dir.file("t.zrv"), stuck);

    // The next insert moves it to the size this release gives 40,001 rows;
    // until it is committed the file keeps the table it had.
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    rows.push_back(insert("key 40000", n));
    EXPECT_EQ(hashOf("id").size, 65535u);
    EXPECT_EQ(bucketsTaken("id"), 8061u);  // a bucket for each code
    everyRowFound(n + 1);
    db.rollback();
    EXPECT_EQ(hashOf("id").size, 32767u);
    everyRowFound(n);
    rows.back() = insert("key 40000", n);
    ASSERT_TRUE(db.commit());
    db.close();
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    EXPECT_EQ(hashOf("id").size, 65535u);
    everyRowFound(n + 1);
    EXPECT_TRUE(db.checkIndexes());
    db.commit();
    db.close();

    // A compaction of the stuck file moves it too, and keeps every row.
    const dbCompactionResult compacted = dbCompactFile(stuck.c_str(), dbCompactAlways);
    ASSERT_EQ(compacted.outcome, dbCompactionResult::dbCompacted) << compacted.reason;
    ASSERT_TRUE(db.open("t", stuck.c_str()));
    EXPECT_EQ(hashOf("id").size, 65535u);
    EXPECT_EQ(bucketsTaken("id"), 8061u);
    EXPECT_EQ(hashOf("name").size, 65535u);  // a table of this release stays as it is
    everyRowFound(n);
    EXPECT_TRUE(db.checkIndexes());
    db.commit();
    EXPECT_TRUE(db.messages.empty());
}

// The check of an index is given the key codes the walk of the rows read,
// which hold every row the walk took: a row taken without its code is a
// disagreement of the two checks, answered as damage, never assumed away.
TEST_F(HashIndex, ARowTakenWithoutTheCodeTheWalkReadIsDamage)
{
    dbFieldDescriptor* id = field("id");
    std::vector<dbRowHash> codes;
    for (std::int32_t i = 1; i <= 3; i++) {
        const oid_t row = insert(("k" + std::to_string(i)).c_str(), i);
        const dbKeyBytes key = dbRecordKey(db.get(row), id->type, id->dbsSize, id->dbsOffs);
        codes.push_back({row, dbHashTable::hashCode(key.data, key.size)});
    }
    ASSERT_TRUE(db.commit());  // the check reads a committed state
    for (const bool whole : {true, false}) {
        SCOPED_TRACE(whole ? "every code" : "a code left out");
        indextest::EveryRowOnce rows;
        std::vector<oid_t> changed, filed;
        const std::vector<dbRowHash> given(codes.begin() + (whole ? 0 : 1), codes.end());
        db.messages.clear();
        EXPECT_EQ(dbHashTable::check(&db, id->hashTable, id->type, id->dbsSize, id->dbsOffs, rows, &given, changed,
                                     filed),
                  whole);
        EXPECT_EQ(rows.taken.size(), 3u);
        EXPECT_EQ(db.reported("Database file was corrupted: invalid index"), !whole);
    }
    db.rollback();
}
