// Cursors over all rows and over selections: segments, moves, positions,
// removal, sorting by keys, and the end of the transaction.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine/radixsort.h"
#include "engine/rowkeys.h"
#include "engine/support_storage.h"
#include "engine/zarvoCursor.h"

using namespace storagetest;

namespace {

class Item {
  public:
    int4 key = 0;
    const char* label = nullptr;
    real8 weight = 0;

    DB_FIELDS(Item, DB_FIELD(key), DB_FIELD(label), DB_FIELD(weight))
};

// A second table, whose rows may take ids an Item left.
class Tag {
  public:
    const char* word = nullptr;

    DB_FIELDS(Tag, DB_FIELD(word))
};

// A table with a hash index, through which a cursor tells its rows.
class Keyed {
  public:
    int4 key = 0;
    const char* label = nullptr;

    DB_FIELDS(Keyed, DB_KEY(key, dbHashed), DB_FIELD(label))
};

// Every kind of key the sort by one integer key takes.
class Numbers {
  public:
    bool flag = false;
    int1 tiny = 0;
    int2 small = 0;
    int4 medium = 0;
    int8 large = 0;
    dbReference<Tag> tag{};

    DB_FIELDS(Numbers, DB_FIELD(flag), DB_FIELD(tiny), DB_FIELD(small), DB_FIELD(medium), DB_FIELD(large),
              DB_FIELD(tag))
};

}  // namespace

DB_TABLE(Item);
DB_TABLE(Tag);
DB_TABLE(Keyed);
DB_TABLE(Numbers);

namespace {

class CursorTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(db.open("cursor", dir.file("cursor.zrv").c_str())); }
    void TearDown() override
    {
        db.close();
        EXPECT_TRUE(db.messages.empty()) << db.messages.front();
    }

    // Inserts items with keys from..to-1 (label "item <key>") and commits.
    std::vector<oid_t> fill(int from, int to)
    {
        std::vector<oid_t> ids;
        zarvoBuffer texts;
        for (int k = from; k < to; k++) {
            Item item;
            item.key = k;
            item.label = texts.put("item " + std::to_string(k));
            item.weight = k / 2.0;
            ids.push_back(insert(item).getOid());
            texts.clear();
        }
        EXPECT_TRUE(db.commit());
        return ids;
    }

    std::vector<oid_t> fillLabels(const std::vector<std::string>& labels)
    {
        std::vector<oid_t> ids;
        int key = 0;
        for (const std::string& text : labels) {
            Item item;
            item.key = key++;
            item.label = text.c_str();
            ids.push_back(insert(item).getOid());
        }
        EXPECT_TRUE(db.commit());
        return ids;
    }

    // Puts a cursor in selection mode holding the ids.
    static void selectIds(dbAnyCursor& cursor, const std::vector<oid_t>& ids)
    {
        ASSERT_TRUE(cursor.beginSelect());
        for (oid_t id : ids) {
            cursor.add(id);
        }
    }

    static std::vector<std::string> labels(dbCursor<Item>& cursor)
    {
        std::vector<std::string> out;
        if (cursor.gotoFirst()) {
            do {
                out.push_back(cursor->label);
            } while (cursor.next());
        }
        return out;
    }

    TempDir dir;
    RecordingDatabase db;
};

TEST(Selection, SegmentsHoldAThousandAndTwentyFourIds)
{
    dbSelection selection;
    for (oid_t id = 1; id <= 1024; id++) {
        selection.add(id);
    }
    EXPECT_EQ(selection.segmentCount(), 1u);
    EXPECT_EQ(selection.first->nRows, 1024u);
    selection.add(1025);
    EXPECT_EQ(selection.segmentCount(), 2u);
    EXPECT_EQ(selection.last->nRows, 1u);
    EXPECT_EQ(selection.last->rows[0], 1025u);
    EXPECT_EQ(selection.nRows, 1025u);

    selection.reverse();
    EXPECT_EQ(selection.first->rows[0], 1025u);
    EXPECT_EQ(selection.last->rows[1023], 1u);
    EXPECT_EQ(selection.first->next, selection.last);
    EXPECT_EQ(selection.last->prev, selection.first);
}

TEST_F(CursorTest, EmptyTableHasNoFirstRow)
{
    dbCursor<Item> cursor;
    EXPECT_EQ(cursor.select(), 0u);
    EXPECT_FALSE(cursor.gotoFirst());
    EXPECT_EQ(cursor.getOid(), 0u);
    EXPECT_EQ(cursor.next(), nullptr);
}

TEST_F(CursorTest, AllRowsWalkBothWaysAndStopAtTheEnds)
{
    std::vector<oid_t> ids = fill(0, 5);
    dbCursor<Item> cursor;
    ASSERT_EQ(cursor.select(), 5u);
    EXPECT_EQ(cursor.getOid(), ids[0]);
    EXPECT_EQ(cursor->key, 0);
    EXPECT_STREQ(cursor->label, "item 0");
    int steps = 0;
    while (cursor.next()) {
        steps++;
        EXPECT_EQ(cursor->key, steps);
        EXPECT_EQ(cursor.getOid(), ids[steps]);
    }
    EXPECT_EQ(steps, 4);
    // At the end: stays on the last row, record unchanged.
    EXPECT_FALSE(cursor.gotoNext());
    EXPECT_EQ(cursor.getOid(), ids[4]);
    EXPECT_EQ(cursor->key, 4);
    EXPECT_DOUBLE_EQ(cursor->weight, 2.0);
    while (cursor.prev()) {
    }
    EXPECT_EQ(cursor.getOid(), ids[0]);
    EXPECT_EQ(cursor->key, 0);
}

TEST_F(CursorTest, SelectionPositionsAcrossSegments)
{
    std::vector<oid_t> ids = fill(0, 2000);
    zarvoCursor<Item> cursor;
    selectIds(cursor, ids);
    EXPECT_EQ(cursor.getSelection().segmentCount(), 2u);
    ASSERT_TRUE(cursor.setPosition(1500));
    EXPECT_EQ(cursor.getOid(), ids[1500]);
    EXPECT_EQ(cursor.getPosition(), 1500u);
    EXPECT_EQ(cursor.getSelection().pos, 1500u - 1024u);  // the 477th id of the second segment
    EXPECT_EQ(cursor.get()->key, 1500);  // fetched
    EXPECT_FALSE(cursor.setPosition(2000));
    EXPECT_EQ(cursor.getPosition(), 1500u);

    // Counting moves.
    ASSERT_TRUE(cursor.first());
    EXPECT_EQ(cursor.getPosition(), 0u);
    ASSERT_TRUE(cursor.setPosition(1023));
    ASSERT_NE(cursor.next(), nullptr);
    EXPECT_EQ(cursor.getPosition(), 1024u);
    EXPECT_EQ(cursor->key, 1024);
    ASSERT_NE(cursor.prev(), nullptr);
    EXPECT_EQ(cursor->key, 1023);
    ASSERT_TRUE(cursor.setPosition(1999));
    EXPECT_FALSE(cursor.gotoNext());
    EXPECT_EQ(cursor.getOid(), ids[1999]);
    EXPECT_EQ(cursor.getPosition(), 1999u);
}

TEST_F(CursorTest, PositionsOverAllRows)
{
    std::vector<oid_t> ids = fill(0, 30);
    zarvoCursor<Item> cursor;
    ASSERT_EQ(cursor.select(), 30u);
    ASSERT_TRUE(cursor.setPosition(17));
    EXPECT_EQ(cursor.getOid(), ids[17]);
    EXPECT_EQ(cursor->key, 17);
    ASSERT_TRUE(cursor.setPosition(3));
    EXPECT_EQ(cursor->key, 3);
    EXPECT_EQ(cursor.getPosition(), 3u);
    EXPECT_FALSE(cursor.setPosition(30));
}

TEST_F(CursorTest, LimitAndDuplicateElimination)
{
    std::vector<oid_t> ids = fill(0, 4);
    dbCursor<Item> cursor;
    ASSERT_TRUE(cursor.beginSelect());
    cursor.checkForDuplicates();
    EXPECT_TRUE(cursor.add(ids[0]));
    EXPECT_TRUE(cursor.add(ids[0]));
    EXPECT_EQ(cursor.getNumberOfRecords(), 1u);
    cursor.setLimit(2);
    EXPECT_FALSE(cursor.add(ids[1]));  // the limit is reached with this one
    EXPECT_FALSE(cursor.add(ids[2]));
    EXPECT_EQ(cursor.getNumberOfRecords(), 2u);
}

TEST_F(CursorTest, RemovingTheOnlyRowLeavesNoCurrentRecord)
{
    fill(0, 1);
    dbCursor<Item> cursor(dbCursorForUpdate);
    ASSERT_EQ(cursor.select(), 1u);
    cursor.remove();
    EXPECT_EQ(cursor.getOid(), 0u);
    EXPECT_TRUE(cursor.isRemoved());
    EXPECT_FALSE(cursor.gotoFirst());
    ASSERT_TRUE(db.commit());
    EXPECT_EQ(cursor.select(), 0u);
}

TEST_F(CursorTest, RemovingOverAllRowsMovesOnThenBack)
{
    std::vector<oid_t> ids = fill(0, 3);
    dbCursor<Item> cursor(dbCursorForUpdate);
    ASSERT_EQ(cursor.select(), 3u);
    cursor.remove();  // the first: moves to the second, which becomes first
    EXPECT_EQ(cursor.getOid(), ids[1]);
    EXPECT_EQ(cursor->key, 1);
    ASSERT_NE(cursor.next(), nullptr);
    cursor.remove();  // the last: moves back
    EXPECT_EQ(cursor.getOid(), ids[1]);
    EXPECT_FALSE(cursor.gotoNext());
    ASSERT_TRUE(cursor.gotoFirst());
    EXPECT_EQ(cursor.getOid(), ids[1]);
    ASSERT_TRUE(db.commit());

    dbCursor<Item> check;
    EXPECT_EQ(check.select(), 1u);
    EXPECT_EQ(check->key, 1);
}

TEST_F(CursorTest, RemovingInASelectionAcrossASegmentBoundary)
{
    std::vector<oid_t> ids = fill(0, 1026);
    dbCursor<Item> cursor(dbCursorForUpdate);
    selectIds(cursor, ids);
    ASSERT_EQ(cursor.getSelection().segmentCount(), 2u);
    // The last id of the first segment: the cursor goes on to the next segment.
    ASSERT_TRUE(cursor.gotoFirst());
    for (int i = 0; i < 1023; i++) {
        ASSERT_TRUE(cursor.gotoNext());
    }
    ASSERT_EQ(cursor.getOid(), ids[1023]);
    cursor.remove();
    EXPECT_EQ(cursor.getOid(), ids[1024]);
    EXPECT_EQ(cursor->key, 1024);
    EXPECT_EQ(cursor.getNumberOfRecords(), 1025u);
    ASSERT_TRUE(cursor.gotoPrev());
    EXPECT_EQ(cursor.getOid(), ids[1022]);
    ASSERT_TRUE(cursor.gotoNext());
    // Empty the second segment: it is freed and the cursor steps back.
    cursor.remove();
    EXPECT_EQ(cursor.getOid(), ids[1025]);
    cursor.remove();
    EXPECT_EQ(cursor.getSelection().segmentCount(), 1u);
    EXPECT_EQ(cursor.getOid(), ids[1022]);
    EXPECT_EQ(cursor->key, 1022);
    EXPECT_FALSE(cursor.gotoNext());
    EXPECT_EQ(cursor.getNumberOfRecords(), 1023u);
    ASSERT_TRUE(db.commit());

    dbCursor<Item> check;
    EXPECT_EQ(check.select(), 1023u);
}

TEST_F(CursorTest, RemoveAllSelectedSkipsIdsMetTwice)
{
    std::vector<oid_t> ids = fill(0, 5);
    dbCursor<Item> cursor(dbCursorForUpdate);
    selectIds(cursor, {ids[1], ids[3], ids[1]});
    cursor.removeAllSelected();
    EXPECT_EQ(cursor.getOid(), 0u);
    EXPECT_EQ(cursor.getNumberOfRecords(), 0u);
    ASSERT_TRUE(db.commit());

    dbCursor<Item> check;
    ASSERT_EQ(check.select(), 3u);
    std::vector<int> keys;
    do {
        keys.push_back(check->key);
    } while (check.next());
    EXPECT_EQ(keys, (std::vector<int>{0, 2, 4}));
}

TEST_F(CursorTest, OtherCursorsOnAChangedRecordFollowIt)
{
    std::vector<oid_t> ids = fill(0, 2);
    dbCursor<Item> writer(dbCursorForUpdate);
    dbCursor<Item> reader;
    ASSERT_NE(writer.at(dbReference<Item>(ids[0])), nullptr);
    ASSERT_NE(reader.at(dbReference<Item>(ids[0])), nullptr);
    writer->key = 77;
    writer->label = "changed";
    ASSERT_TRUE(writer.update());
    EXPECT_EQ(reader->key, 77);
    EXPECT_STREQ(reader->label, "changed");
    EXPECT_EQ(writer->key, 77);

    writer.remove();
    EXPECT_EQ(reader.getOid(), 0u);  // the reader's record is gone
    ASSERT_TRUE(db.commit());
}

TEST_F(CursorTest, AtAnAbsentRecordSelectsNothing)
{
    std::vector<oid_t> ids = fill(0, 1);
    dbCursor<Item> cursor(dbCursorForUpdate);
    cursor.at(dbReference<Item>(ids[0]));
    cursor.remove();
    ASSERT_TRUE(db.commit());
    EXPECT_EQ(cursor.at(dbReference<Item>(ids[0])), nullptr);
    EXPECT_EQ(cursor.getOid(), 0u);
    EXPECT_EQ(cursor.at(dbReference<Item>(0xFFFFFF)), nullptr);
    EXPECT_EQ(cursor.at(dbReference<Item>()), nullptr);  // a null reference names nothing
    EXPECT_EQ(cursor.getNumberOfRecords(), 0u);
}

TEST_F(CursorTest, EndingTheTransactionResetsEveryCursor)
{
    fill(0, 3);
    dbCursor<Item> a;
    dbCursor<Item> b(dbCursorForUpdate);
    ASSERT_EQ(a.select(), 3u);
    ASSERT_EQ(b.select(), 3u);
    ASSERT_TRUE(db.commit());
    EXPECT_EQ(a.getOid(), 0u);
    EXPECT_EQ(b.getOid(), 0u);
    EXPECT_FALSE(a.gotoFirst());
    EXPECT_EQ(a.getNumberOfRecords(), 0u);

    ASSERT_EQ(a.select(), 3u);
    db.rollback();
    EXPECT_EQ(a.getOid(), 0u);
    ASSERT_EQ(a.select(), 3u);
    db.precommit();
    EXPECT_EQ(a.getOid(), 0u);
}

TEST_F(CursorTest, SortingByTextOrdersBytesAsUnsignedValues)
{
    fillLabels({"b", "\xC3\x89mile", "a", "B", "A"});
    dbCursor<Item> cursor;
    ASSERT_TRUE(cursor.beginSelect());
    dbCursor<Item> all;
    all.select();
    do {
        cursor.add(all.getOid());
    } while (all.gotoNext());

    dbOrderByNode byLabel;
    byLabel.field = Item::dbDescriptor.findLong("label");
    ASSERT_NE(byLabel.field, nullptr);
    cursor.sort(&byLabel);
    EXPECT_EQ(labels(cursor), (std::vector<std::string>{"A", "B", "a", "b", "\xC3\x89mile"}));

    byLabel.ascent = false;
    cursor.sort(&byLabel);
    EXPECT_EQ(labels(cursor), (std::vector<std::string>{"\xC3\x89mile", "b", "a", "B", "A"}));
    ASSERT_TRUE(db.commit());
}

TEST_F(CursorTest, SortingByTwoKeysAndByNumbers)
{
    // Keys: key = position, weight by hand so that the second key decides.
    std::vector<oid_t> ids = fill(0, 3000);
    dbCursor<Item> update(dbCursorForUpdate);
    update.select();
    do {
        update->weight = update->key % 7;  // many equal first keys
        update->key = -update->key;        // negative numbers sort below positive ones
        ASSERT_TRUE(update.update());
    } while (update.next());
    ASSERT_TRUE(db.commit());

    dbCursor<Item> cursor;
    std::vector<oid_t> reversed(ids.rbegin(), ids.rend());
    selectIds(cursor, reversed);
    dbOrderByNode byWeight, byKey;
    byWeight.field = Item::dbDescriptor.findLong("weight");
    byKey.field = Item::dbDescriptor.findLong("key");
    byWeight.next = &byKey;
    byKey.ascent = false;
    cursor.sort(&byWeight);

    double lastWeight = -1;
    int lastKey = 0;
    std::size_t n = 0;
    ASSERT_TRUE(cursor.gotoFirst());
    do {
        if (cursor->weight == lastWeight) {
            EXPECT_LT(cursor->key, lastKey);
        } else {
            EXPECT_GT(cursor->weight, lastWeight);
        }
        lastWeight = cursor->weight;
        lastKey = cursor->key;
        n++;
    } while (cursor.next());
    EXPECT_EQ(n, 3000u);
    EXPECT_EQ(lastWeight, 6.0);
}

}  // namespace

namespace {

TEST_F(CursorTest, SortingKeepsEveryIdWhenValuesDoNotOrder)
{
    // Not-a-number weights compare neither below nor above anything.
    std::vector<oid_t> ids = fill(0, 500);
    dbCursor<Item> update(dbCursorForUpdate);
    update.select();
    do {
        update->weight = update->key % 3 == 0 ? std::nan("") : update->key;
        ASSERT_TRUE(update.update());
    } while (update.next());
    ASSERT_TRUE(db.commit());

    dbCursor<Item> cursor;
    selectIds(cursor, ids);
    dbOrderByNode byWeight;
    byWeight.field = Item::dbDescriptor.findLong("weight");
    cursor.sort(&byWeight);
    std::vector<oid_t> sorted;
    ASSERT_TRUE(cursor.gotoFirst());
    do {
        sorted.push_back(cursor.getOid());
    } while (cursor.gotoNext());
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, ids);
    ASSERT_TRUE(db.commit());
}

}  // namespace

// One integer key sorts without comparisons: the order is the comparison
// sort's, ascending and descending, equal keys kept in the order selected;
// so too when the rows were selected in that order already, or in the
// opposite one (which, with ties, is no mere reversal).
TEST_F(CursorTest, SortingByOneIntegerKeyIsTheComparisonSortWithTiesInSelectedOrder)
{
    std::mt19937 random(20240611);
    const int8 edges[] = {0, -1, 1, INT8_MIN, INT8_MAX, INT16_MIN, INT32_MIN, INT32_MAX, INT64_MIN, INT64_MAX};
    std::vector<oid_t> ids;
    for (int i = 0; i < 3000; i++) {
        // few distinct values (many ties), the edges of each width, and
        // values spread over all 64 bits
        const int8 v = i % 3 == 0 ? int8(random() % 5) - 2
                     : i % 3 == 1 ? edges[random() % std::size(edges)]
                                  : int8((std::uint64_t(random()) << 32) | random());
        Numbers n;
        n.flag = v % 2 != 0;
        n.tiny = int1(v);
        n.small = int2(v);
        n.medium = int4(v);
        n.large = v;
        n.tag = dbReference<Tag>(oid_t(v));
        ids.push_back(insert(n).getOid());
    }
    ASSERT_TRUE(db.commit());
    std::shuffle(ids.begin(), ids.end(), random);

    for (const char* name : {"flag", "tiny", "small", "medium", "large", "tag"}) {
        for (bool ascent : {true, false}) {
            SCOPED_TRACE(std::string(name) + (ascent ? " ascending" : " descending"));
            dbOrderByNode key;
            key.field = Numbers::dbDescriptor.findLong(name);
            ASSERT_NE(key.field, nullptr);
            key.ascent = ascent;
            auto stableSorted = [&](std::vector<oid_t> v) {
                std::stable_sort(v.begin(), v.end(), [&](oid_t a, oid_t b) {
                    return dbSelection::compare(reinterpret_cast<const byte*>(db.getRow(a)),
                                                reinterpret_cast<const byte*>(db.getRow(b)), &key) < 0;
                });
                return v;
            };
            const std::vector<oid_t> inOrder = stableSorted(ids);
            std::vector<oid_t> distinct;  // one row of each key, in order
            for (oid_t id : inOrder) {
                if (distinct.empty() || dbSelection::compare(reinterpret_cast<const byte*>(db.getRow(distinct.back())),
                                                             reinterpret_cast<const byte*>(db.getRow(id)), &key) != 0) {
                    distinct.push_back(id);
                }
            }
            const std::vector<oid_t> arrangements[] = {ids, inOrder, {inOrder.rbegin(), inOrder.rend()},
                                                       {distinct.rbegin(), distinct.rend()}};
            for (const std::vector<oid_t>& selected : arrangements) {
                dbCursor<Numbers> cursor;
                selectIds(cursor, selected);
                cursor.sort(&key);
                std::vector<oid_t> sorted;
                ASSERT_TRUE(cursor.gotoFirst());
                do {
                    sorted.push_back(cursor.getOid());
                } while (cursor.gotoNext());
                EXPECT_EQ(sorted, stableSorted(selected));
            }
        }
    }
    ASSERT_TRUE(db.commit());
}

// A list mostly in order (rows along their list, ids reused here and there)
// ends as a stable sort leaves it, however far from its order it was, and
// lookups then find each row asked for, in whatever order they are asked.
TEST(Sorting, MostlyOrderedListsSortStablyAndLookupsFindEveryRow)
{
    struct Row {
        oid_t row;
        int seen;  // place before the sort, to tell ties apart
    };
    std::mt19937 random(20261208);
    const struct Case {
        const char* what;
        std::vector<oid_t> rows;
    } cases[] = {
        {"empty", {}},
        {"one row", {7}},
        {"in order", {1, 2, 5, 9}},
        {"one reused id at the end", {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 1}},
        {"a high id first", {20, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
        {"ties out of place", [] {
             std::vector<oid_t> ids;
             for (oid_t id = 1; id <= 60; id++) {
                 ids.push_back(id);
                 if (id == 30 || id == 40) {
                     ids.push_back(id == 30 ? 10 : 35);
                 }
             }
             ids.push_back(1);
             ids.push_back(60);
             return ids;
         }()},
        {"reversed", {9, 8, 7, 6, 5, 4, 3, 2, 1}},
        {"spread over all bits", [&] {
             std::vector<oid_t> ids(5000);
             for (oid_t& id : ids) {
                 id = oid_t(random());
             }
             return ids;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Row> rows;
        for (oid_t id : c.rows) {
            rows.push_back({id, int(rows.size())});
        }
        std::vector<Row> expected = rows;
        auto byRow = [](const Row& a, const Row& b) { return a.row < b.row; };
        std::stable_sort(expected.begin(), expected.end(), byRow);
        dbSortMostlyOrdered(rows, [](const Row& r) { return r.row; });
        ASSERT_EQ(rows.size(), expected.size());
        for (std::size_t i = 0; i < rows.size(); i++) {
            EXPECT_EQ(rows[i].row, expected[i].row);
            EXPECT_EQ(rows[i].seen, expected[i].seen) << "a tie moved, at " << i;
        }
        rows.erase(std::unique(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.row == b.row; }),
                   rows.end());
        std::vector<oid_t> asked;
        for (const Row& r : rows) {
            asked.push_back(r.row);
            asked.push_back(r.row + 1);  // a row the list may not hold
        }
        for (bool ascending : {true, false}) {
            if (!ascending) {
                std::shuffle(asked.begin(), asked.end(), random);
            }
            dbRowLookup<Row> lookup(rows);
            for (oid_t id : asked) {
                const Row* found = lookup.find(id);
                const bool held = std::binary_search(rows.begin(), rows.end(), Row{id, 0}, byRow);
                ASSERT_EQ(found != nullptr, held) << id;
                if (found != nullptr) {
                    EXPECT_EQ(found->row, id);
                }
            }
        }
    }
}

TEST_F(CursorTest, RowLinksToNoRecordEndTheWalkReported)
{
    std::vector<oid_t> ids = fill(0, 5);
    dbTableDescriptor* table = db.findTable("Item");
    ASSERT_TRUE(db.remove(table, ids[3]));
    ASSERT_TRUE(db.commit());
    const std::string damaged = "Database file was corrupted: invalid record";

    // A next link naming the removed row.
    db.putRow(ids[2])->next = ids[3];
    dbCursor<Item> cursor;
    ASSERT_EQ(cursor.select(), 4u);
    EXPECT_EQ(labels(cursor), (std::vector<std::string>{"item 0", "item 1", "item 2"}));
    EXPECT_TRUE(db.reported(damaged));
    db.rollback();
    // From then on no row reached through that list is written: it may be
    // another table's row, or a table descriptor.
    Item first {};
    ASSERT_TRUE(db.fetchRecord(table, ids[0], &first));
    first.key += 100;
    EXPECT_FALSE(db.update(ids[0], table, &first));
    db.rollback();

    // A previous link beyond the object index: the row does not link back
    // to the row before it, so the walk stops there too.
    db.messages.clear();
    db.putRow(ids[1])->prev = 100000000;
    ASSERT_EQ(cursor.select(), 4u);
    EXPECT_EQ(cursor.next(), nullptr);
    EXPECT_EQ(cursor.getOid(), ids[0]);
    EXPECT_TRUE(db.reported(damaged));
    db.rollback();

    // A first row that is an internal object (a bitmap page).
    db.messages.clear();
    reinterpret_cast<dbTable*>(db.put(table->tableId))->firstRow = dbBitmapId;
    cursor.select();
    EXPECT_FALSE(cursor.gotoFirst());
    EXPECT_TRUE(db.reported(damaged));
    db.rollback();
    db.messages.clear();
    EXPECT_EQ(labels(cursor), std::vector<std::string>{});
    ASSERT_EQ(cursor.select(), 4u);
    EXPECT_EQ(labels(cursor), (std::vector<std::string>{"item 0", "item 1", "item 2", "item 4"}));
}

TEST_F(CursorTest, AtAnIdTakenByARowOfAnotherTableSelectsNothing)
{
    std::vector<oid_t> ids = fill(0, 3);
    ASSERT_TRUE(db.remove(db.findTable("Item"), ids[1]));
    ASSERT_TRUE(db.commit());
    Tag tag;
    tag.word = "reused";
    oid_t taken = insert(tag).getOid();
    ASSERT_EQ(taken, ids[1]);  // a freed id is the next one given out
    ASSERT_TRUE(db.commit());

    // A stale reference to the removed item must not reach the tag: removing
    // it as an item would splice the tag table's rows into the item list.
    dbCursor<Item> items(dbCursorForUpdate);
    EXPECT_EQ(items.at(dbReference<Item>(taken)), nullptr);
    EXPECT_EQ(items.getNumberOfRecords(), 0u);
    ASSERT_NE(items.at(dbReference<Item>(ids[2])), nullptr);
    EXPECT_EQ(items->key, 2);
    ASSERT_NE(items.at(dbReference<Item>(ids[0])), nullptr);
    EXPECT_EQ(items->key, 0);
    dbCursor<Tag> tags;
    ASSERT_NE(tags.at(dbReference<Tag>(taken)), nullptr);
    EXPECT_STREQ(tags->word, "reused");
    db.rollback();
    ASSERT_EQ(items.select(), 2u);
    EXPECT_EQ(labels(items), (std::vector<std::string>{"item 0", "item 2"}));
    db.rollback();

    // The same within one transaction, after the cursor found the id in the
    // item list before its row was removed and the id given to a tag.
    ASSERT_NE(items.at(dbReference<Item>(ids[2])), nullptr);
    items.remove();
    Tag again;
    again.word = "taken at once";
    ASSERT_EQ(insert(again).getOid(), ids[2]);
    EXPECT_EQ(items.at(dbReference<Item>(ids[2])), nullptr);
    ASSERT_NE(items.at(dbReference<Item>(ids[0])), nullptr);
    EXPECT_EQ(items->key, 0);
    db.rollback();
}

// The same for a table with a hash index, which tells its rows by their
// keys: a row of another table is none of them, whatever its bytes say, and
// a row added in the transaction is one.
TEST_F(CursorTest, AtAnIdTakenByARowOfAnotherTableSelectsNothingThroughAHashIndex)
{
    std::vector<oid_t> ids;
    for (int4 k = 0; k < 3; k++) {
        ids.push_back(insert(Keyed{k, "keyed"}).getOid());
    }
    ASSERT_TRUE(db.remove(db.findTable("Keyed"), ids[1]));
    ASSERT_TRUE(db.commit());
    Tag tag;
    tag.word = "reused";
    ASSERT_EQ(insert(tag).getOid(), ids[1]);
    dbCursor<Keyed> keyed(dbCursorForUpdate);
    EXPECT_EQ(keyed.at(dbReference<Keyed>(ids[1])), nullptr);
    EXPECT_EQ(keyed.getNumberOfRecords(), 0u);
    ASSERT_NE(keyed.at(dbReference<Keyed>(ids[2])), nullptr);
    EXPECT_EQ(keyed->key, 2);
    const oid_t added = insert(Keyed{7, "added"}).getOid();
    ASSERT_NE(keyed.at(dbReference<Keyed>(added)), nullptr);
    EXPECT_EQ(keyed->key, 7);
    keyed.remove();
    EXPECT_EQ(keyed.at(dbReference<Keyed>(added)), nullptr);
    db.rollback();
}

TEST_F(CursorTest, SortKeysOutsideTheirRowFailTheSelectReported)
{
    std::vector<oid_t> ids = fill(0, 5);
    const std::string damaged = "Database file was corrupted: invalid record";
    const dbFieldDescriptor* label = Item::dbDescriptor.findLong("label");
    struct Case {
        const char* query;
        bool shortRow;  // else the label's text lies far beyond the row
    };
    for (const Case& c : {Case{"order by label", false}, Case{"key >= 0 order by key desc, label", false},
                          Case{"order by key", true}, Case{"order by label desc", true}}) {
        SCOPED_TRACE(c.query);
        db.messages.clear();
        byte* row = reinterpret_cast<byte*>(db.putRow(ids[2]));
        if (c.shortRow) {
            reinterpret_cast<dbRecord*>(row)->size = sizeof(dbRecord);
        } else {
            const std::uint32_t far = 0x7FFF0000;
            std::memcpy(row + label->dbsOffs + 4, &far, sizeof far);
        }
        dbQuery q(c.query);
        dbCursor<Item> cursor;
        EXPECT_EQ(cursor.select(q), 0u);
        EXPECT_EQ(labels(cursor), std::vector<std::string>{});
        EXPECT_TRUE(db.reported(damaged));
        db.rollback();
    }
    db.messages.clear();
    dbQuery byLabel("order by label desc");
    dbCursor<Item> cursor;
    ASSERT_EQ(cursor.select(byLabel), 5u);
    EXPECT_EQ(labels(cursor).front(), "item 4");
}
