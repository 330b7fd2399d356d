// Record operations: insert, fetch, update (in place or moved), remove,
// deleting a table, back references of inverse fields, damaged rows, and
// durability across close, reopen and a killed process, and the check of
// the tables when room cannot be had.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <new>
#include <random>
#include <set>
#include <sys/wait.h>
#include <vector>
#include <unistd.h>

#include "engine/class.h"
#include "engine/hashtab.h"
#include "engine/support_index.h"
#include "engine/support_storage.h"
#include "engine/ttree.h"
#include "flush_fails.h"

using namespace storagetest;

// The program's allocator is replaced here by one that refuses, while armed,
// every request of refusedFrom bytes or more (never while unarmed); not in
// the AddressSanitizer's build, whose own allocator must pair every block.
namespace {

std::atomic<std::size_t> refusedFrom {SIZE_MAX};

}  // namespace

#ifndef __SANITIZE_ADDRESS__

void* operator new(std::size_t size)
{
    if (size >= refusedFrom) {
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size != 0 ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}

// The pair of the allocator above, which takes its blocks from malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop
#endif

namespace {

// A node of the tree with two children of the same height (balance 0), so
// that exchanging its child links passes every check of heights and
// balances; 0 when there is none.
oid_t EvenTreeNode(dbDatabase& db, oid_t treeId)
{
    std::vector<oid_t> todo{reinterpret_cast<const dbTtree*>(db.get(treeId))->root};
    while (!todo.empty()) {
        const oid_t id = todo.back();
        todo.pop_back();
        if (id == 0)
            continue;
        const auto* node = reinterpret_cast<const dbTtreeNode*>(db.get(id));
        if (node->left != 0 && node->right != 0 && node->balance == 0)
            return id;
        todo.push_back(node->left);
        todo.push_back(node->right);
    }
    return 0;
}

struct Person {
    std::int32_t id;
    const char* name;
    double amount;
    dbArray<std::int8_t> photo;
    dbReference<Person> boss;
    dbDateTime born;
    const char* remark;
    DB_FIELDS(Person, DB_KEY(id, dbHashed), DB_KEY(name, dbIndexed), DB_FIELD(amount), DB_FIELD(photo),
              DB_FIELD(boss), DB_FIELD(born), DB_FIELD(remark))
};

// A parent owning its children through inverse references.
struct Child;
struct Parent {
    const char* name;
    dbArray<dbReference<Child>> children;
    DB_FIELDS(Parent, DB_FIELD(name), DB_OWNER(children, parent))
};
struct Child {
    const char* name;
    dbReference<Parent> parent;
    DB_FIELDS(Child, DB_FIELD(name), DB_RELATION(parent, children))
};

// A tree of nodes in one table: both sides of the relation, and an index.
struct Node {
    std::int32_t id;
    dbReference<Node> up;
    dbArray<dbReference<Node>> below;
    DB_FIELDS(Node, DB_KEY(id, dbHashed), DB_RELATION(up, below), DB_RELATION(below, up))
};

// A real number with both indexes.
struct Measure {
    double value;
    DB_FIELDS(Measure, DB_KEY(value, dbHashed | dbIndexed))
};

// Arrays inside the elements of an array: 12-byte elements, each with
// its own array of reals.
struct Sample {
    std::int32_t n;
    dbArray<double> values;
    DB_FIELDS(Sample, DB_FIELD(n), DB_FIELD(values))
};
struct Series {
    std::int8_t tag;
    dbArray<Sample> samples;
    DB_FIELDS(Series, DB_FIELD(tag), DB_FIELD(samples))
};

}  // namespace

DB_TABLE(Series);
DB_TABLE(Measure);
DB_TABLE(Person);
DB_TABLE(Parent);
DB_TABLE(Child);
DB_TABLE(Node);

namespace {

class Records : public testing::Test {
  protected:
    void SetUp() override { open(); }
    void TearDown() override { db.close(); }
    void open() { ASSERT_TRUE(db.open("t", path.c_str())); }

    dbTableDescriptor* people() { return db.findTable("Person"); }
    const dbTable& stored(const char* table) { return *reinterpret_cast<const dbTable*>(db.get(db.findTable(table)->tableId)); }

    oid_t add(std::int32_t id, const char* name, const char* remark = "")
    {
        Person p{};
        p.id = id;
        p.name = name;
        p.amount = id * 1.5;
        p.remark = remark;
        dbAnyReference ref;
        EXPECT_TRUE(db.insertRecord(people(), &ref, &p));
        return ref.oid;
    }
    Person fetch(oid_t id)
    {
        Person p{};
        EXPECT_TRUE(db.fetchRecord(people(), id, &p));
        return p;
    }
    std::vector<oid_t> byId(std::int32_t id) { return indextest::hashFind(db, people()->find("id"), &id); }
    std::vector<std::string> namesInOrder()
    {
        std::vector<std::string> names;
        for (oid_t id : indextest::treeWalk(db, people()->find("name"), true)) {
            names.push_back(fetch(id).name);
        }
        return names;
    }
    // Every object index entry past the bitmap pages, except those of the
    // given ids.
    std::vector<offs_t> entriesExcept(std::set<oid_t> skip)
    {
        std::vector<offs_t> entries;
        for (oid_t i = dbFirstUserId; i < db.getIndexSize(); i++) {
            entries.push_back(skip.count(i) ? 0 : db.getPos(i));
        }
        return entries;
    }

    TempDir dir;
    std::string path = dir.file("t.zrv");
    RecordingDatabase db;
    std::vector<uint8_t> baselineFile;  // the last sound file of a test that damages its own
};

}  // namespace

TEST_F(Records, InsertAndFetchEveryKindOfField)
{
    EXPECT_EQ(stored("Person").firstRow, 0u);
    Person p{};
    p.id = 42;
    p.name = "Émile Zola";
    p.amount = -12.25;
    std::int8_t bytes[300];
    for (int i = 0; i < 300; i++) {
        bytes[i] = std::int8_t(i);
    }
    p.photo.setData(bytes, 300);
    p.born = dbDateTime(951782400);
    p.remark = nullptr;  // stored as an empty text
    dbAnyReference first;
    ASSERT_TRUE(db.insertRecord(people(), &first, &p));
    EXPECT_EQ(stored("Person").firstRow, first.oid);
    EXPECT_EQ(stored("Person").lastRow, first.oid);
    p.boss = dbReference<Person>(first.oid);
    p.photo.resize(0);
    dbAnyReference second;
    ASSERT_TRUE(db.insertRecord(people(), &second, &p));
    EXPECT_EQ(stored("Person").nRows, 2);
    EXPECT_EQ(stored("Person").lastRow, second.oid);
    EXPECT_EQ(db.getRow(first.oid)->next, second.oid);
    EXPECT_EQ(db.getRow(second.oid)->prev, first.oid);

    Person a = fetch(first.oid);
    EXPECT_EQ(a.id, 42);
    EXPECT_STREQ(a.name, "Émile Zola");
    EXPECT_EQ(a.amount, -12.25);
    ASSERT_EQ(a.photo.length(), 300u);
    EXPECT_EQ(std::memcmp(a.photo.get(), bytes, 300), 0);
    EXPECT_EQ(a.boss.oid, 0u);
    EXPECT_EQ(a.born.stamp, 951782400);
    EXPECT_STREQ(a.remark, "");
    // Fetched texts point into the file.
    const byte* row = db.get(first.oid);
    EXPECT_GE(reinterpret_cast<const byte*>(a.name), row);
    EXPECT_LT(reinterpret_cast<const byte*>(a.name), row + db.getRow(first.oid)->size);
    Person b = fetch(second.oid);
    EXPECT_EQ(b.boss.oid, first.oid);
    EXPECT_EQ(b.photo.length(), 0u);
    std::vector<oid_t> found = byId(42);
    EXPECT_EQ(std::set<oid_t>(found.begin(), found.end()), (std::set<oid_t>{first.oid, second.oid}));
}

TEST_F(Records, UpdatesMoveRowsOnlyWhenTheyMust)
{
    oid_t id = add(1, "Alpha", "short");
    ASSERT_TRUE(db.commit());

    // A committed row moves on any update (copy on write), even of equal size.
    offs_t committed = db.getPos(id);
    Person p = fetch(id);
    p.remark = "SHORT";
    ASSERT_TRUE(db.update(id, people(), &p));
    offs_t privateCopy = db.getPos(id);
    EXPECT_NE(privateCopy, committed);
    EXPECT_STREQ(fetch(id).remark, "SHORT");

    // Private to the transaction and of equal size: rewritten in place, also
    // when the record's texts point into the row itself.
    p = fetch(id);
    p.amount = 99;
    ASSERT_TRUE(db.update(id, people(), &p));
    EXPECT_EQ(db.getPos(id), privateCopy);
    Person q = fetch(id);
    EXPECT_STREQ(q.name, "Alpha");
    EXPECT_STREQ(q.remark, "SHORT");
    EXPECT_EQ(q.amount, 99);

    // A longer text moves it.
    q.remark = "a much longer remark than before, well beyond the old size of the row";
    ASSERT_TRUE(db.update(id, people(), &q));
    EXPECT_NE(db.getPos(id), privateCopy);
    EXPECT_STREQ(fetch(id).remark, q.remark);
    EXPECT_STREQ(fetch(id).name, "Alpha");

    // The same for a row larger than the small work buffer.
    std::string large(2000, 'x');
    q = fetch(id);
    q.remark = large.c_str();
    ASSERT_TRUE(db.update(id, people(), &q));
    offs_t moved = db.getPos(id);
    q = fetch(id);
    q.amount = -1;
    ASSERT_TRUE(db.update(id, people(), &q));
    EXPECT_EQ(db.getPos(id), moved);
    EXPECT_EQ(std::string(fetch(id).remark), large);
    EXPECT_EQ(fetch(id).amount, -1);
    ASSERT_TRUE(db.commit());
    EXPECT_EQ(checkFile(readFile(path)), "");
}

TEST_F(Records, UpdatesTouchOnlyTheIndexesOfChangedFields)
{
    oid_t a = add(1, "Alpha");
    add(2, "Bravo");
    ASSERT_TRUE(db.commit());
    std::vector<offs_t> before = entriesExcept({a});
    Person p = fetch(a);
    p.amount = 1234;
    p.remark = "changed, but not indexed";
    ASSERT_TRUE(db.update(a, people(), &p));
    EXPECT_EQ(entriesExcept({a}), before);  // no index object was copied

    p = fetch(a);
    p.name = "Zulu";
    p.id = 7;
    ASSERT_TRUE(db.update(a, people(), &p));
    EXPECT_EQ(namesInOrder(), (std::vector<std::string>{"Bravo", "Zulu"}));
    EXPECT_TRUE(byId(1).empty());
    EXPECT_EQ(byId(7), std::vector<oid_t>{a});
    ASSERT_TRUE(db.commit());
}

TEST_F(Records, AnUpdateToTheStoredValuesWritesNothing)
{
    FlushCounter counter;
    Person p{};
    p.id = 5;
    p.name = "Echo";
    p.amount = 2.5;
    std::int8_t bytes[] = {1, 2, 3};
    p.photo.setData(bytes, 3);
    p.remark = "as it was";
    dbAnyReference ref;
    ASSERT_TRUE(db.insertRecord(people(), &ref, &p));
    ASSERT_TRUE(db.commit());
    db.close();
    open();
    const std::vector<uint8_t> before = readFile(path);
    const offs_t at = db.getPos(ref.oid);
    counter.flushes = 0;

    // the stored values again, texts pointing into the row itself: no copy,
    // no index work, and a commit that writes and flushes nothing
    Person same = fetch(ref.oid);
    ASSERT_TRUE(db.update(ref.oid, people(), &same));
    EXPECT_EQ(db.getPos(ref.oid), at);
    EXPECT_TRUE(db.commit());
    EXPECT_EQ(counter.flushes, 0);
    EXPECT_EQ(readFile(path), before);

    // a changed value is written and flushed as ever
    same = fetch(ref.oid);
    same.amount = 2.25;
    ASSERT_TRUE(db.update(ref.oid, people(), &same));
    EXPECT_NE(db.getPos(ref.oid), at);
    EXPECT_TRUE(db.commit());
    EXPECT_GT(counter.flushes, 0);
    EXPECT_EQ(fetch(ref.oid).amount, 2.25);
    EXPECT_EQ(byId(5), std::vector<oid_t>{ref.oid});
}

TEST_F(Records, RemoveAndDeleteTable)
{
    oid_t a = add(1, "Alpha");
    oid_t b = add(2, "Bravo");
    oid_t c = add(3, "Charlie");
    ASSERT_TRUE(db.commit());
    ASSERT_TRUE(db.remove(people(), b));
    EXPECT_EQ(db.getRow(a)->next, c);
    EXPECT_EQ(db.getRow(c)->prev, a);
    EXPECT_EQ(stored("Person").nRows, 2);
    EXPECT_TRUE(byId(2).empty());
    EXPECT_EQ(namesInOrder(), (std::vector<std::string>{"Alpha", "Charlie"}));
    ASSERT_TRUE(db.remove(people(), a));
    ASSERT_TRUE(db.remove(people(), c));
    EXPECT_EQ(stored("Person").firstRow, 0u);
    EXPECT_EQ(stored("Person").lastRow, 0u);
    EXPECT_EQ(stored("Person").nRows, 0);
    db.rollback();

    ASSERT_TRUE(db.deleteTable(people()));
    EXPECT_EQ(stored("Person").nRows, 0);
    EXPECT_EQ(stored("Person").firstRow, 0u);
    EXPECT_TRUE(byId(1).empty());
    EXPECT_TRUE(namesInOrder().empty());
    EXPECT_EQ(db.get(a), nullptr);
    ASSERT_TRUE(db.commit());
    db.close();
    EXPECT_EQ(checkFile(readFile(path)), "");
    open();
    EXPECT_EQ(stored("Person").nRows, 0);
    add(4, "Delta");
    EXPECT_EQ(namesInOrder(), std::vector<std::string>{"Delta"});
}

TEST_F(Records, RollingBackAnInsertFreesItsId)
{
    add(1, "Alpha");
    ASSERT_TRUE(db.commit());
    oid_t id = add(2, "Bravo");
    db.rollback();
    EXPECT_EQ(db.get(id), nullptr);
    EXPECT_EQ(stored("Person").nRows, 1);
    EXPECT_TRUE(byId(2).empty());
    EXPECT_EQ(namesInOrder(), std::vector<std::string>{"Alpha"});
    EXPECT_EQ(add(3, "Charlie"), id);
}

TEST_F(Records, DamagedRowsAreFetchedEmpty)
{
    Person p{};
    p.id = 5;
    p.name = "Echo";
    std::int8_t bytes[4] = {1, 2, 3, 4};
    p.photo.setData(bytes, 4);
    p.remark = "intact";
    dbAnyReference ref;
    ASSERT_TRUE(db.insertRecord(people(), &ref, &p));
    ASSERT_TRUE(db.commit());
    dbFieldDescriptor* name = people()->find("name");
    dbFieldDescriptor* photo = people()->find("photo");
    dbFieldDescriptor* remark = people()->find("remark");
    std::uint32_t size = db.getRow(ref.oid)->size;
    dbVarying photoPair;
    std::memcpy(&photoPair, db.get(ref.oid) + photo->dbsOffs, sizeof photoPair);
    struct Damage {
        dbFieldDescriptor* field;
        dbVarying pair;
    };
    const Damage damages[] = {
        {name, {5, size}},                  // beyond the row
        {name, {0xFFFFFFFF, 0xFFFFFFF0}},   // wrapping sizes
        {photo, {0x40000000, 16}},          // array beyond the row
        {remark, {4, photoPair.offs}},      // no NUL: the photo's bytes
    };
    for (const Damage& d : damages) {
        byte* row = db.put(ref.oid);
        dbVarying saved;
        std::memcpy(&saved, row + d.field->dbsOffs, sizeof saved);
        std::memcpy(row + d.field->dbsOffs, &d.pair, sizeof d.pair);
        Person got{};
        got.photo.setData(bytes, 2);
        db.messages.clear();
        EXPECT_FALSE(db.fetchRecord(people(), ref.oid, &got));
        EXPECT_TRUE(db.reported("Database file was corrupted: invalid record"));
        EXPECT_STREQ(got.name, "");
        EXPECT_STREQ(got.remark, "");
        EXPECT_EQ(got.photo.length(), 0u);
        EXPECT_EQ(got.id, 0);
        EXPECT_EQ(got.amount, 0);
        // Updating it is refused the same way; the transaction then ends.
        EXPECT_FALSE(db.update(ref.oid, people(), &p));
        db.rollback();
    }
    // A record size below the table's fixed size.
    dbRecord* rec = db.putRow(ref.oid);
    rec->size = 20;
    Person got{};
    EXPECT_FALSE(db.fetchRecord(people(), ref.oid, &got));
    db.rollback();
    EXPECT_TRUE(db.fetchRecord(people(), ref.oid, &got));
    EXPECT_STREQ(got.remark, "intact");
}

TEST_F(Records, ArraysInsideArrayElementsAreAlignedInTheRow)
{
    // The elements lie 12 bytes apart, so the reals of every other one
    // would lie off 8 bytes if placed by the element's own offsets; every
    // row the engine writes must read back as written.
    dbTableDescriptor* series = db.findTable("Series");
    const double reals[3] = {1.5, -2.25, 1e300};
    Sample samples[3];
    for (int i = 0; i < 3; i++) {
        samples[i].n = i;
        samples[i].values.setData(reals, std::size_t(i + 1));
    }
    Series s{};
    s.tag = 7;
    s.samples.setData(samples, 3);
    dbAnyReference ref;
    ASSERT_TRUE(db.insertRecord(series, &ref, &s));
    ASSERT_TRUE(db.commit());
    db.close();
    EXPECT_EQ(checkFile(readFile(path)), "");
    open();
    Series got{};
    ASSERT_TRUE(db.fetchRecord(series, ref.oid, &got));
    ASSERT_EQ(got.samples.length(), 3u);
    for (std::size_t i = 0; i < 3; i++) {
        const dbArray<double>& values = got.samples[i].values;
        EXPECT_EQ(got.samples[i].n, std::int32_t(i));
        ASSERT_EQ(values.length(), i + 1);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(values.get()) % alignof(double), 0u) << i;
        EXPECT_EQ(std::vector<double>(values.get(), values.get() + i + 1), std::vector<double>(reals, reals + i + 1));
    }
    EXPECT_TRUE(db.checkIndexes());
    EXPECT_TRUE(db.messages.empty());
}

// The check's steps are timed each on its own: the walk of the row lists
// and the check of every index, each after the hook a benchmark sets.
TEST_F(Records, TheCheckTimesEachStepAfterItsHook)
{
    for (int i = 0; i < 50; i++) {
        add(i, ("name " + std::to_string(i)).c_str());
    }
    ASSERT_TRUE(db.commit());
    std::vector<std::size_t> timedBefore;  // steps timed when the hook ran
    db.beforeCheckStep = [&] { timedBefore.push_back(db.lastCheckTimes().indexes.size()); };
    EXPECT_TRUE(db.checkIndexes());
    db.beforeCheckStep = nullptr;
    ASSERT_TRUE(db.commit());
    const std::size_t indexes = db.lastCheckTimes().indexes.size();
    EXPECT_GE(indexes, 2u);  // the people's ID and name at least
    ASSERT_EQ(timedBefore.size(), indexes + 1);
    for (std::size_t k = 1; k < timedBefore.size(); k++) {
        EXPECT_EQ(timedBefore[k], k - 1);
    }
}

TEST_F(Records, InverseReferencesFollowTheirFields)
{
    dbTableDescriptor* parents = db.findTable("Parent");
    dbTableDescriptor* children = db.findTable("Child");
    Parent mum{"mum", {}};
    Parent dad{"dad", {}};
    dbAnyReference m, d;
    ASSERT_TRUE(db.insertRecord(parents, &m, &mum));
    ASSERT_TRUE(db.insertRecord(parents, &d, &dad));
    auto kids = [&](oid_t parent) {
        Parent p{};
        EXPECT_TRUE(db.fetchRecord(parents, parent, &p));
        std::vector<oid_t> ids;
        for (std::size_t i = 0; i < p.children.length(); i++) {
            ids.push_back(p.children[i].oid);
        }
        return ids;
    };
    Child ann{"ann", dbReference<Parent>(m.oid)};
    Child bob{"bob", dbReference<Parent>(m.oid)};
    dbAnyReference a, b;
    ASSERT_TRUE(db.insertRecord(children, &a, &ann));
    ASSERT_TRUE(db.insertRecord(children, &b, &bob));
    EXPECT_EQ(kids(m.oid), (std::vector<oid_t>{a.oid, b.oid}));
    EXPECT_TRUE(kids(d.oid).empty());

    bob.parent = dbReference<Parent>(d.oid);  // bob moves to dad
    ASSERT_TRUE(db.update(b.oid, children, &bob));
    EXPECT_EQ(kids(m.oid), std::vector<oid_t>{a.oid});
    EXPECT_EQ(kids(d.oid), std::vector<oid_t>{b.oid});

    ASSERT_TRUE(db.remove(children, a.oid));  // ann leaves mum's list
    EXPECT_TRUE(kids(m.oid).empty());

    // Setting the array side updates the children.
    Parent dadNow{};
    ASSERT_TRUE(db.fetchRecord(parents, d.oid, &dadNow));
    Child cat{"cat", {}};
    dbAnyReference c;
    ASSERT_TRUE(db.insertRecord(children, &c, &cat));
    dbReference<Child> both[2] = {dbReference<Child>(b.oid), dbReference<Child>(c.oid)};
    Parent dadNew{"dad", {}};
    dadNew.children.setData(both, 2);
    ASSERT_TRUE(db.update(d.oid, parents, &dadNew));
    Child got{};
    ASSERT_TRUE(db.fetchRecord(children, c.oid, &got));
    EXPECT_EQ(got.parent.oid, d.oid);

    // The parent owns its children: removing it removes them.
    ASSERT_TRUE(db.remove(parents, d.oid));
    EXPECT_EQ(db.get(b.oid), nullptr);
    EXPECT_EQ(db.get(c.oid), nullptr);
    EXPECT_EQ(stored("Child").nRows, 0);
    ASSERT_TRUE(db.commit());
}

TEST_F(Records, SurviveReopenAndAKilledProcess)
{
    for (int i = 0; i < 500; i++) {
        add(i, ("name " + std::to_string(1000 + i)).c_str());
    }
    ASSERT_TRUE(db.commit());
    db.close();
    open();
    EXPECT_EQ(stored("Person").nRows, 500);
    EXPECT_EQ(namesInOrder().front(), "name 1000");
    EXPECT_EQ(fetch(byId(250).at(0)).id, 250);
    db.close();

    pid_t child = fork();
    if (child == 0) {
        RecordingDatabase other;
        if (!other.open("t", path.c_str())) {
            _exit(1);
        }
        Person p{};
        p.id = 9999;
        p.name = "committed";
        p.remark = "";
        other.insertRecord(other.findTable("Person"), nullptr, &p);
        if (!other.commit()) {
            _exit(2);
        }
        p.id = 10000;
        p.name = "not committed";
        other.insertRecord(other.findTable("Person"), nullptr, &p);
        raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    open();
    EXPECT_EQ(stored("Person").nRows, 501);
    ASSERT_EQ(byId(9999).size(), 1u);
    EXPECT_STREQ(fetch(byId(9999)[0]).name, "committed");
    EXPECT_TRUE(byId(10000).empty());
    std::vector<std::string> names = namesInOrder();
    EXPECT_EQ(names.size(), 501u);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    db.close();
    EXPECT_EQ(checkFile(readFile(path)), "");
    open();
}

TEST_F(Records, InverseReferencesWithinOneTableKeepItsIndexes)
{
    dbTableDescriptor* nodes = db.findTable("Node");
    auto findNode = [&](std::int32_t id) { return indextest::hashFind(db, nodes->find("id"), &id); };
    Node root{1, {}, {}};
    dbAnyReference r;
    ASSERT_TRUE(db.insertRecord(nodes, &r, &root));
    Node leaf{2, dbReference<Node>(r.oid), {}};
    dbAnyReference l;
    ASSERT_TRUE(db.insertRecord(nodes, &l, &leaf));
    Node got{};
    ASSERT_TRUE(db.fetchRecord(nodes, r.oid, &got));
    ASSERT_EQ(got.below.length(), 1u);
    EXPECT_EQ(got.below[0].oid, l.oid);

    // The leaf changes its key and leaves the root: the root is rewritten on
    // the way, and both keys stay findable.
    leaf.id = 3;
    leaf.up = dbReference<Node>();
    ASSERT_TRUE(db.update(l.oid, nodes, &leaf));
    ASSERT_TRUE(db.fetchRecord(nodes, r.oid, &got));
    EXPECT_EQ(got.below.length(), 0u);
    EXPECT_TRUE(findNode(2).empty());
    EXPECT_EQ(findNode(3), std::vector<oid_t>{l.oid});
    EXPECT_EQ(findNode(1), std::vector<oid_t>{r.oid});
    ASSERT_TRUE(db.remove(nodes, l.oid));
    ASSERT_TRUE(db.remove(nodes, r.oid));
    EXPECT_TRUE(findNode(1).empty());
    ASSERT_TRUE(db.commit());
}

TEST_F(Records, AFailedGrowthLeavesTheLastCommittedRowsAndIndexes)
{
    for (int i = 0; i < 100; i++) {
        add(i, ("name " + std::to_string(i)).c_str());
    }
    ASSERT_TRUE(db.commit());
    struct NoGrowth : dbFileObserver {
        int beforeGrow(const dbFile&, uint64_t) override { return ENOSPC; }
    } noGrowth;
    dbFile::setObserver(&noGrowth);
    std::vector<std::int8_t> picture(200000, 7);
    bool failed = false;
    for (int i = 100; i < 200 && !failed; i++) {
        Person p{};
        p.id = i;
        p.name = "large";
        p.remark = "";
        p.photo.setData(picture.data(), picture.size());
        failed = !db.insertRecord(people(), nullptr, &p);
    }
    dbFile::setObserver(nullptr);
    ASSERT_TRUE(failed);
    EXPECT_FALSE(db.commit());
    EXPECT_EQ(stored("Person").nRows, 100);
    EXPECT_EQ(namesInOrder().size(), 100u);
    EXPECT_TRUE(byId(100).empty());
    EXPECT_EQ(byId(99).size(), 1u);
    add(500, "after");
    ASSERT_TRUE(db.commit());
    db.close();
    EXPECT_EQ(checkFile(readFile(path)), "");
    open();
    EXPECT_EQ(stored("Person").nRows, 101);
}

// A rebuild at start that runs out of room half-way (the file may not grow)
// has written its new objects into space the committed state does not use:
// free quanta of the committed bitmap, and entries of the working object
// index past the ids in use. Nothing else differs: the header, the committed
// index and every quantum the committed bitmap marks (all committed objects,
// the bitmap itself) stay byte for byte, and the next start rebuilds.
TEST_F(Records, ARebuildWithoutRoomWritesOnlyWhereTheFileHoldsNothing)
{
    for (int i = 0; i < 2000; i++) {
        add(i, ("name " + std::to_string(i * 7919 % 2000)).c_str());
    }
    ASSERT_TRUE(db.commit());
    struct NoGrowth : dbFileObserver {
        int beforeGrow(const dbFile&, uint64_t) override { return ENOSPC; }
    } noGrowth;
    dbFile::setObserver(&noGrowth);
    // Rows of pictures fill the file, halving while they no longer fit, so
    // that no room for a new hash table is left.
    std::vector<std::int8_t> picture(1 << 20, 7);
    for (std::size_t size = picture.size(); size >= 4096;) {
        Person p{};
        p.id = -1;
        p.name = "filler";
        p.remark = "";
        p.photo.setData(picture.data(), size);
        if (!db.insertRecord(people(), nullptr, &p) || !db.commit()) {
            db.rollback();
            size /= 2;
        }
    }
    dbFile::setObserver(nullptr);
    db.messages.clear();
    const dbHashTable hash = *reinterpret_cast<const dbHashTable*>(db.get(people()->find("id")->hashTable));
    for (std::uint32_t b = 0;; b++) {
        if (oid_t item = reinterpret_cast<const oid_t*>(db.get(hash.page + b / 1024))[b % 1024]) {
            reinterpret_cast<dbHashTableItem*>(db.put(item))->hash ^= 1;
            break;
        }
    }
    ASSERT_TRUE(db.commit());
    db.close();
    const std::vector<uint8_t> damaged = readFile(path);
    open();
    dbFile::setObserver(&noGrowth);
    EXPECT_EQ(db.checkAndRebuildIndexes(), dbDatabase::dbIndexesNoSpace);
    dbFile::setObserver(nullptr);
    db.close();
    const std::vector<uint8_t> after = readFile(path);
    ASSERT_EQ(after.size(), damaged.size());
    EXPECT_NE(after, damaged) << "the rebuild did not get as far as writing";
    // The file with what the committed state does not use cleared.
    auto committedState = [](std::vector<uint8_t> bytes) {
        const dbHeader header = *reinterpret_cast<const dbHeader*>(bytes.data());
        const dbHeaderRoot& committed = header.root[header.curr];
        const dbHeaderRoot& working = header.root[1 - header.curr];
        auto entry = [&](const dbHeaderRoot& root, oid_t id) { return word(bytes, root.index + 4 * std::size_t(id)); };
        std::vector<bool> inUse(bytes.size() / dbAllocationQuantum);
        for (std::size_t q = 0; q < inUse.size(); q++) {
            const offs_t page = entry(committed, oid_t(dbBitmapId + q / (dbPageSize * 8))) & ~dbInternalObjectMarker;
            inUse[q] = bytes[page + q % (dbPageSize * 8) / 8] >> (q % 8) & 1;
        }
        for (std::size_t q = 0; q < inUse.size(); q++) {
            if (!inUse[q]) {
                std::fill_n(bytes.begin() + q * dbAllocationQuantum, dbAllocationQuantum, 0);
            }
        }
        std::fill(bytes.begin() + working.index + 4 * std::size_t(committed.indexUsed),
                  bytes.begin() + working.index + 4 * std::size_t(working.indexSize), 0);
        return bytes;
    };
    EXPECT_TRUE(committedState(after) == committedState(damaged));
    EXPECT_EQ(checkFile(after), "");
    open();
    EXPECT_EQ(db.checkAndRebuildIndexes(), dbDatabase::dbIndexesRebuilt);
    EXPECT_EQ(byId(7).size(), 1u);
}

TEST_F(Records, IndexesFollowTheStoredBytesOfRealKeys)
{
    // 0.0 and -0.0 are equal numbers with different bytes: the hash index
    // keys the stored bytes, so changing one into the other re-keys it.
    dbTableDescriptor* measures = db.findTable("Measure");
    dbFieldDescriptor* value = measures->find("value");
    Measure m{0.0};
    dbAnyReference ref;
    ASSERT_TRUE(db.insertRecord(measures, &ref, &m));
    ASSERT_TRUE(db.commit());
    m.value = -0.0;
    ASSERT_TRUE(db.update(ref.oid, measures, &m));
    double negative = -0.0, positive = 0.0;
    EXPECT_EQ(indextest::hashFind(db, value, &negative), std::vector<oid_t>{ref.oid});
    EXPECT_TRUE(indextest::hashFind(db, value, &positive).empty());
    ASSERT_TRUE(db.remove(measures, ref.oid));
    EXPECT_TRUE(indextest::hashFind(db, value, &negative).empty());
    EXPECT_TRUE(indextest::treeWalk(db, value, true).empty());
    ASSERT_TRUE(db.commit());
    db.close();
    EXPECT_EQ(checkFile(readFile(path)), "");
    open();
    EXPECT_TRUE(db.messages.empty());
}

TEST_F(Records, NaNKeysKeepTheTreeSearchable)
{
    // NaN equals no number, not even itself: the T-tree orders it after
    // every number, so searches and removals still find every row, and a
    // range of numbers holds no NaN.
    dbTableDescriptor* measures = db.findTable("Measure");
    dbFieldDescriptor* value = measures->find("value");
    std::mt19937 rng(1);
    std::vector<oid_t> ids;
    std::vector<double> values;
    for (int i = 0; i < 2000; i++) {
        double v = rng() % 10 == 0 ? std::nan("") : double(rng() % 1000);
        Measure m{v};
        dbAnyReference ref;
        ASSERT_TRUE(db.insertRecord(measures, &ref, &m));
        ids.push_back(ref.oid);
        values.push_back(v);
    }
    ASSERT_TRUE(db.commit());
    double low = 100, high = 200;
    auto count = [&](double from, double to) {
        return std::size_t(std::count_if(values.begin(), values.end(), [&](double v) { return v >= from && v <= to; }));
    };
    EXPECT_EQ(indextest::treeRange(db, value, &low, true, &high, true).size(), count(100, 200));
    EXPECT_EQ(indextest::treeRange(db, value, &low, true, nullptr, true).size(), count(100, 1000));
    EXPECT_EQ(indextest::treeRange(db, value, nullptr, true, &high, true).size(), count(0, 200));
    EXPECT_EQ(indextest::treeWalk(db, value, true).size(), ids.size());
    for (std::size_t k = 0; k < ids.size(); k++) {
        ASSERT_TRUE(db.remove(measures, ids[k * 7919 % ids.size()])) << k;
    }
    EXPECT_TRUE(indextest::treeWalk(db, value, true).empty());
    ASSERT_TRUE(db.commit());
    EXPECT_TRUE(db.messages.empty());
}

namespace {

// A database of 750 people and 750 measures (real-number keys, NaN among
// them) whose indexes the tests below damage, and the ways to reach into
// them. A name T-tree rebuilt from them has six nodes, one of them with two
// children of even heights.
class IndexRepair : public Records {
protected:
    static constexpr int kRows = 750;
    // Adds the rows, checks that the start finds the indexes sound, and keeps
    // the file as the baseline; the people's rows in insertion order.
    std::vector<oid_t> addRows()
    {
        dbTableDescriptor* measures = db.findTable("Measure");
        std::vector<oid_t> rows;
        for (int i = 0; i < kRows; i++) {
            rows.push_back(add(i, ("name " + std::to_string(i * 7919 % kRows)).c_str()));
            Measure m{i % 50 == 0 ? std::nan("") : i % 2 == 0 ? -0.5 * i : 0.25 * i};
            dbAnyReference ref;
            EXPECT_TRUE(db.insertRecord(measures, &ref, &m));
        }
        EXPECT_TRUE(db.commit());
        EXPECT_EQ(db.checkAndRebuildIndexes(), dbDatabase::dbIndexesSound);
        EXPECT_TRUE(db.messages.empty());
        db.close();
        baselineFile = readFile(path);
        open();
        return rows;
    }

    dbHashTable* hashOf(dbTableDescriptor* t, const char* f)
    {
        return reinterpret_cast<dbHashTable*>(db.put(t->find(f)->hashTable));
    }
    oid_t firstItem(dbTableDescriptor* t, const char* f)
    {
        const dbHashTable hash = *hashOf(t, f);
        for (std::uint32_t b = 0;; b++) {
            if (oid_t item = reinterpret_cast<const oid_t*>(db.get(hash.page + b / 1024))[b % 1024]) {
                return item;
            }
        }
    }
    dbHashTableItem* item(dbTableDescriptor* t, const char* f)
    {
        return reinterpret_cast<dbHashTableItem*>(db.put(firstItem(t, f)));
    }
    oid_t itemOfRow(dbTableDescriptor* t, const char* f, oid_t row)
    {
        const dbHashTable hash = *hashOf(t, f);
        for (std::uint32_t b = 0; b < hash.size; b++) {
            oid_t id = reinterpret_cast<const oid_t*>(db.get(hash.page + b / 1024))[b % 1024];
            for (; id != 0; id = reinterpret_cast<const dbHashTableItem*>(db.get(id))->next) {
                if (reinterpret_cast<const dbHashTableItem*>(db.get(id))->record == row) {
                    return id;
                }
            }
        }
        return 0;
    }
    std::pair<oid_t, dbTtreeNode*> root(dbTableDescriptor* t, const char* f)
    {
        oid_t id = reinterpret_cast<const dbTtree*>(db.get(t->find(f)->tTree))->root;
        return std::pair{id, reinterpret_cast<dbTtreeNode*>(db.put(id))};
    }
    byte* rowBytes(oid_t row) { return reinterpret_cast<byte*>(db.putRow(row, db.getRow(row)->size)); }
    void setId(oid_t row, std::int32_t id) { std::memcpy(rowBytes(row) + people()->find("id")->dbsOffs, &id, 4); }
    char* nameOf(oid_t row)
    {
        byte* bytes = rowBytes(row);
        dbVarying v;
        std::memcpy(&v, bytes + people()->find("name")->dbsOffs, sizeof v);
        return reinterpret_cast<char*>(bytes + v.offs);
    }
    // Removes the row and adds it again: it keeps its id (the last freed)
    // and goes to the end of the row list, after rows of higher ids.
    void relist(oid_t row)
    {
        const Person p = fetch(row);
        const std::string name = p.name;
        ASSERT_TRUE(db.remove(people(), row));
        ASSERT_EQ(add(p.id, name.c_str()), row);
        ASSERT_EQ(reinterpret_cast<const dbTable*>(db.get(people()->tableId))->lastRow, row);
    }
};

}  // namespace

// The start's check and rebuild: a table with real-number keys (NaN among
// them) passes; each kind of damage to an index alone, loops included, is
// mended from the rows and committed, so that every row is found again and
// the next check is silent (nodes moved as a block, their heights even,
// included); a row whose key was changed in place is mended the same way but
// told as changed, also when the same index is damaged besides or the row
// list holds the row after rows of higher ids; a damaged row list leaves
// everything as it was, with the damage marked.
TEST_F(IndexRepair, TheStartCheckRebuildsDamagedIndexesFromTheRows)
{
    dbTableDescriptor* measures = db.findTable("Measure");
    const std::vector<oid_t> rows = addRows();
    struct Case {
        const char* what;
        std::function<void()> damage;
        dbDatabase::dbIndexRepair outcome;
        std::vector<oid_t> changed = {};
    } cases[] = {
        {"a loop in a hash chain", [&] { item(people(), "id")->next = firstItem(people(), "id"); },
         dbDatabase::dbIndexesRebuilt},
        {"a loop in a tree", [&] { auto [id, node] = root(people(), "name"); node->left = id; },
         dbDatabase::dbIndexesRebuilt},
        {"a bucket count past the file", [&] { hashOf(people(), "id")->size = 0xFFFFFFFF; },
         dbDatabase::dbIndexesRebuilt},
        {"a real key's hash code", [&] { item(measures, "value")->hash ^= 1; }, dbDatabase::dbIndexesRebuilt},
        {"two real keys of a node swapped",
         [&] {
             dbTtreeNode* node = root(measures, "value").second;
             std::swap(node->item[0], node->item[node->nItems - 1]);
         },
         dbDatabase::dbIndexesRebuilt},
        {"a hashed key changed in its row", [&] { setId(rows[22], 2200); }, dbDatabase::dbRowKeysChanged, {rows[22]}},
        {"a name changed in its row", [&] { nameOf(rows[30])[0] = 'z'; }, dbDatabase::dbRowKeysChanged, {rows[30]}},
        {"a hashed key changed in its row, and another item's link to its item",  // ID 0's, in bucket 0
         [&] {
             setId(rows[23], 2300);
             item(people(), "id")->next = itemOfRow(people(), "id", rows[23]);
         },
         dbDatabase::dbRowKeysChanged, {rows[23]}},
        {"a name changed in its row, and another item of the tree",
         [&] {
             nameOf(rows[31])[0] = 'z';
             dbTtreeNode* node = root(people(), "name").second;
             node->item[node->item[1] == rows[31] ? 2 : 1] = 0x00FFFFFF;
         },
         dbDatabase::dbRowKeysChanged, {rows[31]}},
        {"an item of the tree past every id",
         [&] { root(people(), "name").second->item[0] = 0xFFFFFFF0; }, dbDatabase::dbIndexesRebuilt},
        {"the child links of a node exchanged",
         [&] {
             const oid_t even = EvenTreeNode(db, people()->find("name")->tTree);
             ASSERT_NE(even, 0u);
             dbTtreeNode* node = reinterpret_cast<dbTtreeNode*>(db.put(even));
             std::swap(node->left, node->right);
         },
         dbDatabase::dbIndexesRebuilt},
        {"a hashed key changed in a row listed after higher ids",
         [&] {
             relist(rows[24]);
             setId(rows[24], 2400);
         },
         dbDatabase::dbRowKeysChanged, {rows[24]}},
        {"a name changed in a row listed after higher ids",
         [&] {
             relist(rows[32]);
             nameOf(rows[32])[0] = 'z';
         },
         dbDatabase::dbRowKeysChanged, {rows[32]}},
        {"a row list's link", [&] { db.putRow(rows[10])->next = rows[20]; }, dbDatabase::dbRowsDamaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.damage();
        ASSERT_TRUE(db.commit());
        db.close();
        const std::vector<uint8_t> damaged = readFile(path);
        open();
        db.messages.clear();
        std::vector<dbDatabase::dbChangedRow> changed;
        EXPECT_EQ(db.checkAndRebuildIndexes(&changed), c.outcome);
        EXPECT_EQ(db.messages.empty(), c.outcome == dbDatabase::dbIndexesSound);
        std::vector<oid_t> changedIds;
        for (const dbDatabase::dbChangedRow& r : changed) {
            EXPECT_EQ(r.table, people());
            changedIds.push_back(r.oid);
        }
        EXPECT_EQ(changedIds, c.changed);
        if (c.outcome == dbDatabase::dbRowsDamaged) {
            EXPECT_TRUE(db.damageFound());
            db.close();
            EXPECT_EQ(readFile(path), damaged);
            writeFile(path, baselineFile);
            open();
            continue;
        }
        EXPECT_FALSE(db.damageFound());
        for (std::size_t i = 0; i < kRows; i++) {  // by the keys the rows hold now
            ASSERT_EQ(byId(fetch(rows[i]).id), std::vector<oid_t>{rows[i]}) << i;
        }
        std::vector<std::string> names = namesInOrder();
        EXPECT_EQ(names.size(), std::size_t(kRows));
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
        EXPECT_EQ(indextest::treeWalk(db, measures->find("value"), true).size(), std::size_t(kRows));
        db.close();
        EXPECT_EQ(checkFile(readFile(path)), "");
        open();
        db.messages.clear();
        EXPECT_EQ(db.checkAndRebuildIndexes(), dbDatabase::dbIndexesSound);
        EXPECT_TRUE(db.messages.empty());
        baselineFile = readFile(path);
    }
}

// Names alike in more leading bytes than the order check tells apart at once
// are compared whole: one changed past those bytes is told as changed.
TEST_F(IndexRepair, NamesAlikeInTheirLeadingBytesAreComparedWhole)
{
    std::vector<oid_t> rows;
    for (int i = 0; i < 300; i++) {
        rows.push_back(add(i, ("a name that the rows share " + std::to_string(i * 7919 % 300)).c_str()));
    }
    ASSERT_TRUE(db.commit());
    EXPECT_EQ(db.checkAndRebuildIndexes(), dbDatabase::dbIndexesSound);
    char* number = std::strrchr(nameOf(rows[32]), ' ') + 1;  // its number's first digit
    *number = *number == '9' ? '1' : '9';
    ASSERT_TRUE(db.commit());
    db.close();
    open();
    std::vector<dbDatabase::dbChangedRow> changed;
    EXPECT_EQ(db.checkAndRebuildIndexes(&changed), dbDatabase::dbRowKeysChanged);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].oid, rows[32]);
    const std::vector<std::string> names = namesInOrder();
    EXPECT_EQ(names.size(), 300u);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
}

// A rebuild whose commit cannot be written: nothing changes, the index stays
// marked, and the next start rebuilds it.
TEST_F(IndexRepair, ARebuildWhoseCommitCannotBeWrittenChangesNothing)
{
    const std::vector<oid_t> rows = addRows();
    item(people(), "id")->hash ^= 1;
    ASSERT_TRUE(db.commit());
    db.close();
    const std::vector<uint8_t> damaged = readFile(path);
    open();
    dbFieldDescriptor* id = people()->find("id");
    const oid_t hashId = id->hashTable;
    {
        struct FullDisk : dbFileObserver {
            int beforeFlush(const dbFile&) override { return ENOSPC; }
        } full;
        dbFile::setObserver(&full);
        EXPECT_EQ(db.checkAndRebuildIndexes(), dbDatabase::dbIndexesNoSpace);
        dbFile::setObserver(nullptr);
    }
    EXPECT_TRUE(id->indexBroken);
    EXPECT_EQ(id->hashTable, hashId);
    db.close();
    EXPECT_EQ(readFile(path), damaged);
    open();
    EXPECT_EQ(db.checkAndRebuildIndexes(), dbDatabase::dbIndexesRebuilt);
    EXPECT_EQ(byId(7), std::vector<oid_t>{rows[7]});
}

// The start check reads a name tree of a full root node with one row alone in
// each child. Nothing but the order of the tree's items tells of a changed
// key, so a row alone in its node that has left the order is a changed row,
// and so is each of two; an item whose link names a row the tree holds
// elsewhere, or a subtree two links lead to, is damage of the tree alone and
// names no row.
TEST_F(Records, TheStartCheckTellsChangedNamesFromDamagedTreeLinks)
{
    std::vector<oid_t> middle;
    for (int i = 0; i < dbTtreeNode::maxItems; i++) {
        char name[8];
        std::snprintf(name, sizeof name, "m%03d", i);
        middle.push_back(add(i, name));
    }
    const oid_t low = add(200, "a"), high = add(201, "z");  // each in a child node of its own
    ASSERT_TRUE(db.commit());
    const oid_t rootId = reinterpret_cast<const dbTtree*>(db.get(people()->find("name")->tTree))->root;
    {
        const auto* top = reinterpret_cast<const dbTtreeNode*>(db.get(rootId));
        ASSERT_EQ(top->nItems, dbTtreeNode::maxItems);
        ASSERT_EQ(reinterpret_cast<const dbTtreeNode*>(db.get(top->left))->item[0], low);
        ASSERT_EQ(reinterpret_cast<const dbTtreeNode*>(db.get(top->right))->item[0], high);
    }
    db.close();
    const std::vector<uint8_t> baseline = readFile(path);
    open();
    auto rename = [&](oid_t row, const char* name) {  // in place: the text keeps its length
        byte* bytes = reinterpret_cast<byte*>(db.putRow(row, db.getRow(row)->size));
        dbVarying v;
        std::memcpy(&v, bytes + people()->find("name")->dbsOffs, sizeof v);
        std::memcpy(bytes + v.offs, name, v.size);
    };
    auto top = [&] { return reinterpret_cast<dbTtreeNode*>(db.put(rootId)); };
    const struct Case {
        const char* what;
        std::function<void()> damage;
        dbDatabase::dbIndexRepair outcome;
        std::vector<oid_t> changed;
    } cases[] = {
        {"the name of a row alone in its node", [&] { rename(low, "y"); }, dbDatabase::dbRowKeysChanged, {low}},
        {"the names of two rows, each alone in its node",
         [&] {
             rename(low, "y");
             rename(high, "b");
         },
         dbDatabase::dbRowKeysChanged, {low, high}},
        {"an item's link to a row the tree holds elsewhere", [&] { top()->item[0] = high; },
         dbDatabase::dbIndexesRebuilt, {}},
        {"a child link to the node another link leads to", [&] { top()->left = top()->right; },
         dbDatabase::dbIndexesRebuilt, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.damage();
        ASSERT_TRUE(db.commit());
        db.close();
        open();
        std::vector<dbDatabase::dbChangedRow> changed;
        EXPECT_EQ(db.checkAndRebuildIndexes(&changed), c.outcome);
        std::vector<oid_t> changedIds;
        for (const dbDatabase::dbChangedRow& r : changed) {
            changedIds.push_back(r.oid);
        }
        EXPECT_EQ(changedIds, c.changed);
        std::vector<std::string> names = namesInOrder();
        EXPECT_EQ(names.size(), middle.size() + 2);
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
        db.close();
        writeFile(path, baseline);
        open();
    }
}

// A row count past the rows there are (within the ids) makes the walk of the
// rows ask for room for that many. Refused (more than a word per id), the
// failure is damage of the table checked, told as such, never an exception
// that ends the program; the check goes on to its end.
TEST_F(Records, AFailureToAllocateInTheCheckIsDamageOfTheTableChecked)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the allocator cannot be replaced in this build";
#endif
    for (std::int32_t i = 0; i < 3; i++) {
        add(i, "entry");
    }
    reinterpret_cast<dbTable*>(db.put(people()->tableId))->nRows = 0x7FFFFFFF;
    ASSERT_TRUE(db.commit());
    refusedFrom = std::size_t(db.getIndexSize()) * sizeof(oid_t) + 1;
    const bool sound = db.checkIndexes();
    refusedFrom = SIZE_MAX;
    EXPECT_FALSE(sound);
    EXPECT_TRUE(db.reported("Database file was corrupted: invalid record"));
    EXPECT_TRUE(people()->rowListBroken);
    db.commit();
}
