// The persistent T-tree: order and balance under random inserts and removes,
// node filling, equal keys and range searches with their bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "engine/class.h"
#include "engine/support_index.h"
#include "engine/support_storage.h"
#include "engine/ttree.h"

using namespace storagetest;

namespace {

struct Ordered {
    std::int32_t key;
    const char* text;
    DB_FIELDS(Ordered, DB_KEY(key, dbIndexed), DB_KEY(text, dbIndexed))
};

}  // namespace

DB_TABLE(Ordered);

namespace {

using indextest::Collect;

class TreeIndex : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str())); }
    void TearDown() override { db.close(); }

    dbTableDescriptor* table() { return db.findTable("Ordered"); }
    oid_t treeId(const char* field = "key") { return table()->find(field)->tTree; }
    oid_t root(const char* field = "key") { return reinterpret_cast<const dbTtree*>(db.get(treeId(field)))->root; }
    const dbTtreeNode& node(oid_t id) { return *reinterpret_cast<const dbTtreeNode*>(db.get(id)); }
    std::int32_t keyOf(oid_t row)
    {
        Ordered rec{};
        db.fetchRecord(table(), row, &rec);
        return rec.key;
    }

    oid_t insert(std::int32_t key, const char* text = "")
    {
        Ordered rec{key, text};
        dbAnyReference ref;
        EXPECT_TRUE(db.insertRecord(table(), &ref, &rec));
        return ref.oid;
    }

    std::vector<oid_t> walk(bool forward) { return indextest::treeWalk(db, table()->find("key"), forward); }

    std::vector<oid_t> range(const std::int32_t* low, bool lowIn, const std::int32_t* high, bool highIn)
    {
        return indextest::treeRange(db, table()->find("key"), low, lowIn, high, highIn);
    }

    // Height of a subtree, checking the balance of every node and the item
    // count and key order inside it.
    int checkedHeight(oid_t id)
    {
        if (id == 0) {
            return 0;
        }
        const dbTtreeNode& n = node(id);
        EXPECT_GE(n.nItems, 1);
        EXPECT_LE(n.nItems, dbTtreeNode::maxItems);
        for (int i = 1; i < n.nItems; i++) {
            EXPECT_LE(keyOf(n.item[i - 1]), keyOf(n.item[i]));
        }
        int l = checkedHeight(n.left), r = checkedHeight(n.right);
        EXPECT_EQ(n.balance, r - l) << "node " << id;
        EXPECT_LE(std::abs(r - l), 1);
        return std::max(l, r) + 1;
    }

    TempDir dir;
    RecordingDatabase db;
};

}  // namespace

TEST_F(TreeIndex, RandomInsertsAndRemovesKeepOrderAndBalance)
{
    std::mt19937 random(12345);
    std::multimap<std::int32_t, oid_t> model;
    std::vector<oid_t> live;
    for (int step = 1; step <= 100000; step++) {
        if (live.empty() || random() % 100 < 55) {
            std::int32_t key = std::int32_t(random() % 5000) - 2500;  // plenty of equal keys
            oid_t id = insert(key);
            model.emplace(key, id);
            live.push_back(id);
        } else {
            std::size_t at = random() % live.size();
            oid_t id = live[at];
            live[at] = live.back();
            live.pop_back();
            std::int32_t key = keyOf(id);
            auto [from, to] = model.equal_range(key);
            model.erase(std::find_if(from, to, [&](auto& p) { return p.second == id; }));
            ASSERT_TRUE(db.remove(table(), id));
        }
        if (step % 1000 == 0) {
            ASSERT_TRUE(db.commit());
            std::vector<oid_t> forward = walk(true);
            ASSERT_EQ(forward.size(), model.size());
            std::vector<std::int32_t> keys, expected;
            for (oid_t id : forward) {
                keys.push_back(keyOf(id));
            }
            for (auto& [key, id] : model) {
                expected.push_back(key);
            }
            ASSERT_EQ(keys, expected) << "step " << step;
            std::set<oid_t> ids(forward.begin(), forward.end()), liveIds(live.begin(), live.end());
            ASSERT_EQ(ids, liveIds);
            std::vector<oid_t> backward = walk(false);
            std::reverse(backward.begin(), backward.end());
            std::vector<std::int32_t> backKeys;
            for (oid_t id : backward) {
                backKeys.push_back(keyOf(id));
            }
            ASSERT_EQ(backKeys, expected);
            checkedHeight(root());
            ASSERT_FALSE(HasFailure()) << "step " << step;
        }
    }
    for (oid_t id : live) {
        ASSERT_TRUE(db.remove(table(), id));
    }
    EXPECT_EQ(root(), 0u);
    EXPECT_EQ(root("text"), 0u);
    ASSERT_TRUE(db.commit());
    db.close();
    EXPECT_EQ(checkFile(readFile(dir.file("t.zrv"))), "");
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
}

TEST_F(TreeIndex, NodesFillBeforeChildrenGrow)
{
    std::vector<oid_t> ids;
    for (int i = 0; i < 125; i++) {
        ids.push_back(insert(i));
    }
    const dbTtreeNode& full = node(root());
    EXPECT_EQ(full.nItems, 125);
    EXPECT_EQ(full.left, 0u);
    EXPECT_EQ(full.right, 0u);
    EXPECT_TRUE(std::equal(ids.begin(), ids.end(), full.item));
    oid_t last = insert(125);
    const dbTtreeNode& top = node(root());
    EXPECT_EQ(top.nItems, 125);
    EXPECT_EQ(top.left, 0u);
    ASSERT_NE(top.right, 0u);
    EXPECT_EQ(top.balance, 1);
    EXPECT_EQ(node(top.right).nItems, 1);
    EXPECT_EQ(node(top.right).item[0], last);
    // A key inside a full node pushes an item out to a new child.
    oid_t middle = insert(60);
    EXPECT_EQ(node(root()).nItems, 125);
    EXPECT_EQ(walk(true).size(), 127u);
    EXPECT_EQ(keyOf(walk(true)[61]), 60);
    EXPECT_NE(std::find(walk(true).begin(), walk(true).end(), middle), walk(true).end());
    checkedHeight(root());
}

TEST_F(TreeIndex, SortedRunsRotateBothWays)
{
    // Ascending keys grow the tree to the right, descending ones to the
    // left; a zigzag of runs needs the double rotations.
    std::vector<std::int32_t> keys;
    for (int i = 0; i < 4000; i++) {
        keys.push_back(100000 + i);
        keys.push_back(-i);
    }
    for (int run = 0; run < 40; run++) {
        for (int i = 0; i < 130; i++) {
            keys.push_back(run % 2 == 0 ? 50000 - run * 1000 - i : 50000 + run * 1000 + i);
        }
    }
    std::vector<oid_t> ids;
    for (std::int32_t k : keys) {
        ids.push_back(insert(k));
    }
    checkedHeight(root());
    std::sort(keys.begin(), keys.end());
    std::vector<std::int32_t> walked;
    for (oid_t id : walk(true)) {
        walked.push_back(keyOf(id));
    }
    EXPECT_EQ(walked, keys);
    for (std::size_t i = 0; i < ids.size(); i += 2) {
        ASSERT_TRUE(db.remove(table(), ids[i]));
    }
    checkedHeight(root());
    EXPECT_EQ(walk(true).size(), ids.size() / 2);
}

TEST_F(TreeIndex, EqualKeysAreAllKeptAndRemovedById)
{
    std::vector<oid_t> ids;
    for (int i = 0; i < 400; i++) {
        ids.push_back(insert(7));
    }
    insert(3);
    insert(9);
    ASSERT_EQ(walk(true).size(), 402u);
    checkedHeight(root());
    for (int i = 0; i < 400; i += 3) {  // every third, from all over the tree
        ASSERT_TRUE(db.remove(table(), ids[i]));
    }
    std::int32_t seven = 7;
    std::vector<oid_t> sevens = range(&seven, true, &seven, true);
    std::set<oid_t> expected;
    for (int i = 0; i < 400; i++) {
        if (i % 3 != 0) {
            expected.insert(ids[i]);
        }
    }
    EXPECT_EQ(std::set<oid_t>(sevens.begin(), sevens.end()), expected);
    EXPECT_EQ(sevens.size(), expected.size());
    checkedHeight(root());
}

TEST_F(TreeIndex, RangeBounds)
{
    std::map<oid_t, std::int32_t> keyById;
    for (std::int32_t k : {20, 5, 25, 10, 15, 10}) {
        keyById[insert(k)] = k;
    }
    auto keys = [&](const std::vector<oid_t>& ids) {
        std::vector<std::int32_t> out;
        for (oid_t id : ids) {
            out.push_back(keyById[id]);
        }
        return out;
    };
    std::int32_t ten = 10, twenty = 20, zero = 0, hundred = 100, twentyFive = 25;
    EXPECT_EQ(keys(range(&ten, false, &twenty, false)), (std::vector<std::int32_t>{15}));
    EXPECT_EQ(keys(range(&ten, true, &twenty, true)), (std::vector<std::int32_t>{10, 10, 15, 20}));
    EXPECT_EQ(keys(range(&ten, true, &twenty, false)), (std::vector<std::int32_t>{10, 10, 15}));
    EXPECT_EQ(keys(range(nullptr, true, &ten, true)), (std::vector<std::int32_t>{5, 10, 10}));
    EXPECT_EQ(keys(range(&twenty, false, nullptr, true)), (std::vector<std::int32_t>{25}));
    EXPECT_EQ(keys(range(&twentyFive, false, nullptr, true)), (std::vector<std::int32_t>{}));
    EXPECT_EQ(keys(range(&zero, true, &hundred, true)), (std::vector<std::int32_t>{5, 10, 10, 15, 20, 25}));
    EXPECT_EQ(keys(walk(false)), (std::vector<std::int32_t>{25, 20, 15, 10, 10, 5}));

    // The sink's limit ends the search.
    Collect two;
    two.limit = 2;
    dbTtree::traverseForward(&db, treeId(), &two);
    EXPECT_EQ(keys(two.found), (std::vector<std::int32_t>{5, 10}));
}

TEST_F(TreeIndex, TextsOrderAsUnsignedBytes)
{
    for (const char* text : {"b", "\xC3\x89mile", "B", "a", "A", "ab"}) {
        insert(0, text);
    }
    std::vector<std::string> texts;
    for (oid_t id : indextest::treeWalk(db, table()->find("text"), true)) {
        Ordered rec{};
        db.fetchRecord(table(), id, &rec);
        texts.push_back(rec.text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"A", "B", "a", "ab", "b", "\xC3\x89mile"}));
    std::vector<oid_t> prefixed = indextest::treeRange(db, table()->find("text"), "a", true, "az", true);
    EXPECT_EQ(prefixed.size(), 2u);
}

TEST_F(TreeIndex, ADamagedNodeIsReportedNotFollowed)
{
    for (int i = 0; i < 300; i++) {
        insert(i);
    }
    ASSERT_TRUE(db.commit());
    oid_t top = root();
    reinterpret_cast<dbTtreeNode*>(db.put(top))->nItems = 999;
    std::int32_t low = 10;
    EXPECT_TRUE(range(&low, true, nullptr, true).empty());
    EXPECT_TRUE(db.reported("Database file was corrupted: invalid index"));
    // A change through the damaged tree fails and undoes the transaction.
    Ordered rec{1000, ""};
    EXPECT_FALSE(db.insertRecord(table(), nullptr, &rec));
    EXPECT_FALSE(db.commit());
    EXPECT_EQ(node(root()).nItems, 125);
    EXPECT_EQ(walk(true).size(), 300u);
    reinterpret_cast<dbTtree*>(db.put(treeId()))->root = db.findTable("Ordered")->tableId;  // a row, not a node
    db.messages.clear();
    EXPECT_TRUE(walk(true).empty());
    EXPECT_TRUE(db.reported("Database file was corrupted: invalid index"));
    db.rollback();
}

TEST_F(TreeIndex, ANodeLinkedBackIntoItsPathIsReportedNotFollowed)
{
    for (int i = 0; i < 300; i++) {
        insert(i);
    }
    ASSERT_TRUE(db.commit());
    oid_t top = root();
    oid_t right = node(top).right;
    ASSERT_NE(right, 0u);
    auto damage = [&] {
        db.messages.clear();
        reinterpret_cast<dbTtreeNode*>(db.put(right))->right = top;
    };
    // Each search or change ends, reported, and undoes the transaction.
    damage();
    walk(true);
    EXPECT_TRUE(db.reported("Database file was corrupted: invalid index"));
    EXPECT_FALSE(db.commit());
    damage();
    std::int32_t low = 290;
    range(&low, true, nullptr, true);
    EXPECT_TRUE(db.reported("Database file was corrupted: invalid index"));
    db.rollback();
    damage();
    Ordered rec{1000, ""};
    EXPECT_FALSE(db.insertRecord(table(), nullptr, &rec));
    EXPECT_TRUE(db.reported("Database file was corrupted: invalid index"));
    db.rollback();
    damage();
    EXPECT_FALSE(db.deleteTable(table()));
    EXPECT_TRUE(db.reported("Database file was corrupted: invalid index"));
    db.rollback();
    EXPECT_EQ(walk(true).size(), 300u);
}

// The check of a text index is given the key prefixes the walk of the rows
// read, which hold every row the walk took: a row taken without its prefix
// is a disagreement of the two checks, answered as damage, never assumed
// away.
TEST_F(TreeIndex, ARowTakenWithoutThePrefixTheWalkReadIsDamage)
{
    dbFieldDescriptor* text = table()->find("text");
    std::vector<dbRowKeyPrefix> prefixes;
    for (const char* t : {"a", "b", "c"}) {
        const oid_t row = insert(0, t);
        prefixes.push_back({row, dbTextPrefix::of(dbRecordKey(db.get(row), text->type, text->dbsSize, text->dbsOffs))});
    }
    ASSERT_TRUE(db.commit());  // the check reads a committed state
    for (const bool whole : {true, false}) {
        SCOPED_TRACE(whole ? "every prefix" : "a prefix left out");
        indextest::EveryRowOnce rows;
        std::vector<oid_t> outOfOrder;
        const std::vector<dbRowKeyPrefix> given(prefixes.begin() + (whole ? 0 : 1), prefixes.end());
        db.messages.clear();
        EXPECT_EQ(dbTtree::check(&db, text->tTree, text->type, text->dbsSize, text->comparator, text->dbsOffs, rows,
                                 &given, outOfOrder),
                  whole);
        EXPECT_EQ(rows.taken.size(), 3u);
        EXPECT_TRUE(outOfOrder.empty());
        EXPECT_EQ(db.reported("Database file was corrupted: invalid index"), !whole);
    }
    db.rollback();
}
