// Run-time errors and awkward values in queries over stored records: each
// failing select ends empty with its message on the error handler and the
// process goes on; keys that do not fit the indexed field, null and
// dangling references, EXISTS loops that never index, LIKE prefixes ending
// in byte 0xFF, and damaged indexes.
#include "engine/hashtab.h"
#include "engine/program_tables.h"
#include "engine/query_exec.h"
#include "engine/ttree.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

DB_TABLE(Sample);

namespace {

class RuntimeTest : public QueryExecTest {
  protected:
    void SetUp() override
    {
        QueryExecTest::SetUp();
        Category cat;
        cat.name = "x";
        category = insert(cat).getOid();
        Customer c;
        c.id = 1;
        c.name = "abc";
        abc = insert(c).getOid();
        c.id = 2;
        c.name = "with category";
        c.category = dbReference<Category>(category);
        withCategory = insert(c).getOid();
        ASSERT_TRUE(db.commit());
    }

    // Selects with the text: the records found, the messages reported, and
    // whether select reported a failure.
    struct Outcome {
        std::size_t found;
        std::vector<std::string> messages;
        bool failed;
    };
    template <class T = Customer>
    Outcome run(dbQuery& q)
    {
        dbCursor<T> cursor;
        std::size_t n = cursor.select(q);
        return {n, takeMessages(), cursor.selectFailed()};
    }
    template <class T = Customer>
    Outcome run(const char* text)
    {
        dbQuery q(text);
        return run<T>(q);
    }
    void expectFailure(const char* text, const std::string& message)
    {
        Outcome o = run(text);
        EXPECT_EQ(o.found, 0u) << text;
        EXPECT_TRUE(o.failed) << text;
        EXPECT_EQ(o.messages, std::vector<std::string>{message}) << text;
        EXPECT_TRUE(dbLastQueryStatistics().failed);
        // The process and the database go on.
        Outcome after = run("id = 1");
        EXPECT_EQ(after.found, 1u);
        EXPECT_FALSE(after.failed);
    }

    oid_t category = 0, abc = 0, withCategory = 0;
};

TEST_F(RuntimeTest, ErrorsEndTheSelectEmpty)
{
    expectFailure("1/0 = 1", "Division by zero");
    expectFailure("1.0/0 = 1", "Division by zero");
    expectFailure("0 ^ -1 = 0", "Raise zero to negative power");
    expectFailure("0.0 ^ -1 = 0", "Raise zero to negative power");
    expectFailure("0.0 ^ -0.5 = 0", "Raise zero to negative power");
    expectFailure("(-8.0) ^ (1.0/3) = 0", "Power operator returns complex result");
    expectFailure("(-8.0) ^ 2.0 = 64", "Power operator returns complex result");
    expectFailure("name[length(name)] = 0", "Index 3 is out of range");
    expectFailure("name[-1] = 0", "Index -1 is out of range");
    expectFailure("card[0] = 0", "Index 0 is out of range");
    expectFailure("category.name = 'x'", "Null object reference is accessed");
    // Inside an index filter, and inside an ORDER BY key.
    expectFailure("id = 1 and 1/(id - 1) = 0", "Division by zero");
    expectFailure("id > 0 order by name[5]", "Index 5 is out of range");
    // The guarded form the program uses is safe.
    Outcome o = run("category != null and category.name = 'x'");
    EXPECT_EQ(o.found, 1u);
    EXPECT_TRUE(o.messages.empty());
    EXPECT_EQ(run("(-8.0) ^ 2 = 64").found, 2u); // an integer exponent is fine
}

TEST_F(RuntimeTest, DanglingReferenceEndsTheSelect)
{
    ChequeSetup layout;
    layout.name = "gone";
    oid_t setup = insert(layout).getOid();
    Cheque cheque;
    cheque.chequeNo = "1";
    cheque.setup = dbReference<ChequeSetup>(setup);
    insert(cheque);
    ASSERT_TRUE(db.commit());
    {
        dbCursor<ChequeSetup> c(dbCursorForUpdate);
        ASSERT_NE(c.at(dbReference<ChequeSetup>(setup)), nullptr);
        c.remove();
    }
    ASSERT_TRUE(db.commit());
    Outcome o = run<Cheque>("setup.name = 'gone'");
    EXPECT_EQ(o.found, 0u);
    EXPECT_TRUE(o.failed);
    EXPECT_EQ(o.messages, std::vector<std::string>{"Reference to a removed object is accessed"});
    o = run<Cheque>("chequeNo = '1'");
    EXPECT_EQ(o.found, 1u);
}

TEST_F(RuntimeTest, DamagedRowsAreReportedNotRead)
{
    const std::string damaged = "Database file was corrupted: invalid record";
    // A reference that leads to a record of another, smaller table: the
    // layout's name lies beyond the end of the category's row.
    Cheque cheque;
    cheque.chequeNo = "2";
    cheque.setup = dbReference<ChequeSetup>(category);
    insert(cheque);
    ASSERT_TRUE(db.commit());
    Outcome o = run<Cheque>("setup != null and setup.name = 'x'");
    EXPECT_EQ(o.found, 0u);
    EXPECT_TRUE(o.failed);
    EXPECT_EQ(o.messages, std::vector<std::string>{damaged});

    // A text whose stored offset points outside its row.
    int nameOffset = -1;
    dbFieldDescriptor* fd = Customer::dbDescriptor.columns;
    do {
        if (std::string(fd->name) == "name") {
            nameOffset = fd->dbsOffs;
        }
    } while ((fd = fd->next) != Customer::dbDescriptor.columns);
    ASSERT_GT(nameOffset, 0);
    byte* row = db.put(abc);
    ASSERT_NE(row, nullptr);
    dbVarying bad{4, 0xFFFFFF00u};
    std::memcpy(row + nameOffset, &bad, sizeof bad);
    o = run("id = 1 and name = 'abc'");
    EXPECT_EQ(o.found, 0u);
    EXPECT_EQ(o.messages, std::vector<std::string>{damaged});
    o = run("upper(name) like 'W%'");
    EXPECT_EQ(o.messages, std::vector<std::string>{damaged});
    db.rollback();
    EXPECT_EQ(run("name = 'abc'").found, 1u);
}

TEST_F(RuntimeTest, ExistsWithoutIndexingEnds)
{
    // The body is false for "abc" without ever indexing with i: the loop
    // ends instead of counting forever.
    Outcome o = run("exists i: (id = 2 and name[i] = 119)");
    EXPECT_EQ(o.found, 1u); // "with category" starts with 'w'
    EXPECT_TRUE(o.messages.empty());
    o = run("exists i: (id = 1 and name[i] = 120)");
    EXPECT_EQ(o.found, 0u);
    EXPECT_FALSE(o.failed);
    o = run("exists i: (name[i] = 98 or id = 5)");
    EXPECT_EQ(o.found, 1u); // only "abc" holds a 'b'
    EXPECT_TRUE(o.messages.empty());
}

TEST_F(RuntimeTest, KeysOutsideTheFieldDoNotUseTheIndex)
{
    Outcome o = run("id = 4294967297");
    EXPECT_EQ(o.found, 0u);
    EXPECT_EQ(dbLastQueryStatistics().strategy, dbQueryStatistics::Scan);
    std::int64_t wide = 4294967297;
    dbQuery q;
    q.add("id=").bind(wide);
    EXPECT_EQ(run(q).found, 0u);
    wide = 1;
    EXPECT_EQ(run(q).found, 1u);
    EXPECT_EQ(dbLastQueryStatistics().hashSearches, 1u);
    EXPECT_EQ(run("id between 1 and 4294967298").found, 2u);
    EXPECT_EQ(run("id > -4294967296").found, 2u);

    // A 4-byte real field: 0.1 is no float, so nothing equals it exactly.
    for (float price : {0.1f, 0.5f}) {
        addSample([&](Sample& s) { s.price = price; });
    }
    ASSERT_TRUE(db.commit());
    EXPECT_EQ(run<Sample>("price = 0.1").found, 0u);
    EXPECT_EQ(dbLastQueryStatistics().strategy, dbQueryStatistics::Scan);
    EXPECT_EQ(run<Sample>("price = 0.5").found, 1u);
    EXPECT_EQ(dbLastQueryStatistics().hashSearches, 1u);
    float single = 0.1f;
    double precise = 0.1;
    dbQuery byFloat, byDouble;
    byFloat.add("price=").bind(single);
    byDouble.add("price=").bind(precise);
    EXPECT_EQ(run<Sample>(byFloat).found, 1u);
    EXPECT_EQ(run<Sample>(byDouble).found, 0u);
    // 0.1f lies above 0.1: the exact comparison of the scan finds both.
    EXPECT_EQ(run<Sample>("price > 0.1 and price < 0.6").found, 2u);
    EXPECT_EQ(run<Sample>("price = 1e300").found, 0u);
}

TEST_F(RuntimeTest, CurrentNamesOneRecord)
{
    std::uint32_t ref = 0;
    dbQuery q;
    q.add("current = ").bindReference(ref, &Customer::dbDescriptor);
    Outcome o = run(q);
    EXPECT_EQ(o.found, 0u);
    EXPECT_TRUE(o.messages.empty());
    ref = withCategory;
    dbCursor<Customer> c;
    ASSERT_EQ(c.select(q), 1u);
    EXPECT_EQ(c.getOid(), withCategory);
    EXPECT_EQ(c->id, 2);
    EXPECT_EQ(dbLastQueryStatistics().strategy, dbQueryStatistics::NamedRecord);
}

TEST_F(RuntimeTest, LikePrefixEndingInFF)
{
    const char* names[] = {"a\xFF\xFF\xFF\xFF" "b", "a\xFF", "a", "b", "\xFF\xFFz"};
    for (const char* name : names) {
        Customer c;
        c.id = 10;
        c.name = name;
        insert(c);
    }
    ASSERT_TRUE(db.commit());
    auto likeCount = [&](const char* pattern) {
        dbQuery q;
        q.add("name like ").bind(pattern);
        return run(q).found;
    };
    EXPECT_EQ(likeCount("a\xFF%"), 2u);
    EXPECT_EQ(dbLastQueryStatistics().treeSearches, 1u);
    EXPECT_EQ(likeCount("a\xFF\xFF%"), 1u);
    EXPECT_EQ(likeCount("a%"), 4u); // "a", "a\xFF", "a\xFF...b" and "abc"
    EXPECT_EQ(likeCount("\xFF%"), 1u);
    EXPECT_EQ(likeCount("\xFF\xFF%"), 1u);
}

} // namespace

// An index a search finds damaged is gone round from then on (the rows are
// walked), and changes through it are refused until the database closes.
TEST_F(RuntimeTest, ADamagedIndexIsGoneRoundAndTakesNoChanges)
{
    const std::string damaged = "Database file was corrupted: invalid index";
    auto hashItem = [&](std::int32_t id) {
        const auto& h = *reinterpret_cast<const dbHashTable*>(db.get(Customer::dbDescriptor.find("id")->hashTable));
        const std::uint32_t b = dbHashTable::hashCode(reinterpret_cast<const byte*>(&id), sizeof id) % h.size;
        return reinterpret_cast<const oid_t*>(db.get(h.page + b / 1024))[b % 1024];
    };
    auto treeRoot = [&] { return reinterpret_cast<const dbTtree*>(db.get(Customer::dbDescriptor.find("name")->tTree))->root; };
    for (bool byHash : {true, false}) {
        SCOPED_TRACE(byHash ? "hash" : "tree");
        const char* search = byHash ? "id = 1" : "name = 'abc'";
        // The index word the damage overwrites: a hash item's record, or
        // the first item of the tree's root.
        auto word = [&]() -> oid_t& {
            return byHash ? reinterpret_cast<dbHashTableItem*>(db.put(hashItem(1)))->record
                          : reinterpret_cast<dbTtreeNode*>(db.put(treeRoot()))->item[0];
        };
        const oid_t sound = word();
        word() = 3;  // a bitmap page
        ASSERT_TRUE(db.commit());
        Outcome o = run(search);
        EXPECT_TRUE(o.failed);
        EXPECT_EQ(o.messages, std::vector<std::string>{damaged});
        o = run(search);  // the rows are walked instead
        EXPECT_EQ(o.found, 1u);
        EXPECT_FALSE(o.failed);

        Customer c;
        c.id = 9;
        c.name = "new";
        EXPECT_EQ(insert(c).getOid(), 0u);
        EXPECT_EQ(takeMessages(), std::vector<std::string>{damaged});
        EXPECT_FALSE(db.commit());
        dbCursor<Customer> row(dbCursorForUpdate);
        dbQuery q(search);
        ASSERT_EQ(row.select(q), 1u);
        row->address1 = "changed, not a key";
        EXPECT_TRUE(row.update());
        EXPECT_TRUE(db.commit());
        ASSERT_EQ(row.select(q), 1u);
        if (byHash) {
            row->id = 5;
        } else {
            row->name = "renamed";
        }
        EXPECT_FALSE(row.update());
        EXPECT_FALSE(db.commit());
        ASSERT_EQ(row.select(q), 1u);
        row.remove();
        EXPECT_FALSE(db.commit());
        EXPECT_EQ(run("address1 = 'changed, not a key'").found, 1u);

        word() = sound;
        ASSERT_TRUE(db.commit());
        db.close();
        ASSERT_TRUE(db.open("query", dir.file("query.zrv").c_str()));
        takeMessages();
    }
}

// Damage marks the index it was met through and no other: a record the
// ordered walk of the name index leads to that is no contact ("invalid
// record" from the filter) marks the name index, and so does another
// thread's check of it, while this thread's searches of the sound ID hash
// go on unmarked and unfailed.
TEST_F(RuntimeTest, DamageMarksTheIndexThatMetIt)
{
    dbFieldDescriptor* id = Customer::dbDescriptor.find("id");
    dbFieldDescriptor* name = Customer::dbDescriptor.find("name");
    const oid_t rootId = reinterpret_cast<const dbTtree*>(db.get(name->tTree))->root;
    reinterpret_cast<dbTtreeNode*>(db.put(rootId))->item[0] = category;  // a Category row
    ASSERT_TRUE(db.commit());

    Outcome o = run("address1 = '' order by name");
    EXPECT_TRUE(o.failed);
    EXPECT_EQ(o.messages, std::vector<std::string>{"Database file was corrupted: invalid record"});
    EXPECT_TRUE(name->indexBroken);
    EXPECT_FALSE(id->indexBroken);
    Customer c;
    c.id = 9;
    c.name = "new";
    EXPECT_EQ(insert(c).getOid(), 0u);
    EXPECT_FALSE(db.commit());
    o = run("address1 = '' order by name");  // the rows are walked and sorted instead
    EXPECT_EQ(o.found, 2u);
    EXPECT_FALSE(o.failed);

    db.close();  // forgets the marks
    ASSERT_TRUE(db.open("query", dir.file("query.zrv").c_str()));
    ASSERT_TRUE(db.commit());
    takeMessages();
    std::atomic<bool> stop{false};
    std::atomic<int> checks{0};
    std::thread checker([&] {
        while (!stop) {
            EXPECT_FALSE(db.checkIndexes());
            db.commit();
            checks += 1;
        }
    });
    int searches = 0, failed = 0;
    for (auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
         std::chrono::steady_clock::now() < until || checks < 3; searches++) {
        dbCursor<Customer> byId;
        dbQuery q("id = 1");
        failed += byId.select(q) != 1 || byId.selectFailed();
        db.commit();
    }
    stop = true;
    checker.join();
    EXPECT_EQ(failed, 0) << "of " << searches;
    EXPECT_FALSE(id->indexBroken);
    EXPECT_TRUE(name->indexBroken);
    db.messages.clear();
}
