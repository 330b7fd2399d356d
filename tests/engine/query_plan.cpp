// How select finds its records: hash look-ups, T-tree ranges and walks,
// sort avoidance and reversal, OR chains, scans with sorts, traversals
// along references, cursor limits, and queries that fail to compile. Each
// case checks the records and the counters of the way they were found.
#include "engine/program_tables.h"
#include "engine/query_exec.h"

#include <algorithm>
#include <cstring>
#include <string>

DB_TABLE(Sample);

namespace {

using Strategy = dbQueryStatistics::Strategy;

class PlanTest : public QueryExecTest {
  protected:
    oid_t addCustomer(int4 id, const char* name, const char* person = "")
    {
        Customer c;
        c.id = id;
        c.name = name;
        c.person = person;
        oid_t oid = insert(c).getOid();
        EXPECT_NE(oid, 0u);
        return oid;
    }

    // Customers 1..n named "name <3 digits>" in a shuffled insertion order.
    std::vector<oid_t> addCustomers(int n)
    {
        std::vector<int> order(std::size_t(n), 0);
        for (int i = 0; i < n; i++) {
            order[std::size_t(i)] = (i * 37) % n + 1; // n is not a multiple of 37
        }
        std::vector<oid_t> byId(std::size_t(n) + 1);
        zarvoBuffer texts;
        for (int id : order) {
            char name[32];
            std::snprintf(name, sizeof name, "name %03d", id);
            byId[std::size_t(id)] = addCustomer(id, texts.put(name));
        }
        EXPECT_TRUE(db.commit());
        return byId;
    }

    static const dbQueryStatistics& stats() { return dbLastQueryStatistics(); }

    // The names of the selected customers, in order.
    std::vector<std::string> names(dbQuery& q)
    {
        std::vector<std::string> result;
        dbCursor<Customer> c;
        if (c.select(q) != 0) {
            do {
                result.push_back(c->name);
            } while (c.next() != nullptr);
        }
        return result;
    }
    std::vector<std::string> names(const char* text)
    {
        dbQuery q(text);
        return names(q);
    }
};

TEST_F(PlanTest, IdParameterIsOneHashProbe)
{
    std::vector<oid_t> byId = addCustomers(50);
    int4 id = 17;
    dbQuery q;
    q.add("id=").bind(id);
    EXPECT_EQ(selectIds<Customer>(q), std::vector<oid_t>{byId[17]});
    EXPECT_EQ(stats().strategy, Strategy::IndexSearch);
    EXPECT_EQ(stats().hashSearches, 1u);
    EXPECT_EQ(stats().evaluations, 0u);
    EXPECT_EQ(stats().rowsScanned, 0u);
    const dbExprNode* compiled = q.tree;

    // The parameter is read at each run; the query is not compiled again.
    id = 42;
    EXPECT_EQ(selectIds<Customer>(q), std::vector<oid_t>{byId[42]});
    EXPECT_EQ(q.tree, compiled);
    id = 51;
    EXPECT_TRUE(selectIds<Customer>(q).empty());

    // Two records with one id are both found.
    oid_t twin = addCustomer(42, "twin");
    ASSERT_TRUE(db.commit());
    id = 42;
    std::vector<oid_t> found = selectIds<Customer>(q);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<oid_t>{byId[42], twin}));
    EXPECT_EQ(stats().hashSearches, 1u);
}

TEST_F(PlanTest, OrderByNameWalksTheTreeWithoutSorting)
{
    addCustomers(300);
    std::vector<std::string> desc = names("order by name desc");
    EXPECT_EQ(stats().strategy, Strategy::OrderedWalk);
    EXPECT_EQ(stats().sorts, 0u);
    EXPECT_EQ(stats().reverses, 0u);
    EXPECT_EQ(stats().evaluations, 0u);
    EXPECT_EQ(stats().rowsScanned, 0u);
    ASSERT_EQ(desc.size(), 300u);
    EXPECT_EQ(desc.front(), "name 300");
    EXPECT_TRUE(std::is_sorted(desc.rbegin(), desc.rend()));

    std::vector<std::string> asc = names("order by name");
    EXPECT_EQ(stats().sorts, 0u);
    EXPECT_TRUE(std::is_sorted(asc.begin(), asc.end()));
    EXPECT_EQ(asc.size(), 300u);
}

TEST_F(PlanTest, OrderByIdScansAndSorts)
{
    std::vector<oid_t> byId = addCustomers(60);
    dbQuery q("order by id desc");
    std::vector<oid_t> found = selectIds<Customer>(q);
    EXPECT_EQ(stats().strategy, Strategy::Scan);
    EXPECT_EQ(stats().rowsScanned, 60u);
    EXPECT_EQ(stats().sorts, 1u);
    std::vector<oid_t> expected(byId.rbegin(), byId.rend() - 1);
    EXPECT_EQ(found, expected);

    // No condition and no order: the table's row list itself.
    dbCursor<Customer> all;
    dbQuery none("");
    EXPECT_EQ(all.select(none), 60u);
    EXPECT_TRUE(all.isAllRecords());
    EXPECT_EQ(stats().strategy, Strategy::AllRecords);
}

// Reading only the first row of a sorted selection (the next ID) gives the
// full read's first row, and a full read after it gives the order the sort
// of the whole selection gives, ties included.
TEST_F(PlanTest, FirstRowOfASortedSelectionIsTheFullReadsFirst)
{
    zarvoBuffer texts;
    for (int i = 0; i < 200; i++) {
        char person[16];
        std::snprintf(person, sizeof person, "p%d", (i * 7) % 5); // five persons, many ties
        addCustomer((i * 53) % 200 + 1 + (i % 40 == 0 ? 1 : 0), "n", texts.put(person));
    }
    ASSERT_TRUE(db.commit());
    for (const char* text : {"order by id desc", "order by id", "order by person", "order by person desc, id",
                             "id > 150 order by person, id desc", "order by amount"}) {
        SCOPED_TRACE(text);
        dbQuery q(text);
        std::vector<oid_t> full = selectIds<Customer>(q);
        // The whole selection sorted at once, as scanned.
        dbCursor<Customer> scan;
        dbQuery filter(std::strchr(text, '>') != nullptr ? "id > 150" : "");
        ASSERT_GT(scan.select(filter), 1u);
        dbSelection reference;
        do {
            reference.add(scan.getOid());
        } while (scan.gotoNext());
        reference.sort(&db, q.order);
        std::vector<oid_t> expected;
        for (auto* seg = reference.first; seg != nullptr; seg = seg->next) {
            expected.insert(expected.end(), seg->rows, seg->rows + seg->nRows);
        }
        EXPECT_EQ(full, expected);
        dbCursor<Customer> first;
        ASSERT_GT(first.select(q), 0u);
        EXPECT_EQ(first.getOid(), expected.front());
        EXPECT_EQ(selectIds<Customer>(q), expected);
    }

    // A change made after the first row was read does not reorder the rest.
    dbQuery desc("order by id desc");
    std::vector<oid_t> expected = selectIds<Customer>(desc);
    dbCursor<Customer> reading;
    dbCursor<Customer> writing(dbCursorForUpdate);
    ASSERT_GT(reading.select(desc), 0u);
    ASSERT_GT(writing.select(desc), 0u);
    writing->id = 0;
    ASSERT_TRUE(writing.update());
    std::vector<oid_t> read;
    do {
        read.push_back(reading.getOid());
    } while (reading.gotoNext());
    EXPECT_EQ(read, expected);
    db.rollback();
}

TEST_F(PlanTest, ChequeReportIsOneRangeSearchThenReversed)
{
    ChequeSetup layout;
    layout.name = "plain";
    oid_t plain = insert(layout).getOid();
    layout.name = "fancy";
    oid_t fancy = insert(layout).getOid();
    std::vector<std::pair<std::int32_t, bool>> issued; // stamp, fancy layout
    for (int i = 0; i < 400; i++) {
        Cheque c;
        c.chequeNo = "n";
        c.transDate = dbDateTime(1700000000 + (i * 7919) % 400 * 3600);
        c.setup = dbReference<ChequeSetup>(i % 3 == 0 ? fancy : plain);
        ASSERT_NE(insert(c).getOid(), 0u);
        issued.push_back({c.transDate.stamp, i % 3 == 0});
    }
    ASSERT_TRUE(db.commit());

    std::int32_t from = 1700000000 + 100 * 3600, to = 1700000000 + 199 * 3600;
    std::uint32_t setup = fancy;
    for (bool withSetup : {false, true}) {
        SCOPED_TRACE(withSetup ? "one layout" : "all layouts");
        dbQuery q;
        dbQueryFragment range("transDate", "stamp");
        range.add("between").bind(from).add("and").bind(to);
        q.addParenthesized(range);
        if (withSetup) {
            q.add(" and setup=").bindReference(setup, &ChequeSetup::dbDescriptor);
        }
        q.add(" order by");
        dbQueryFragment key("transDate", "stamp");
        key.add("desc");
        q.addParenthesized(key);

        dbCursor<Cheque> c;
        std::size_t n = c.select(q);
        EXPECT_EQ(stats().strategy, Strategy::IndexSearch);
        EXPECT_EQ(stats().treeSearches, 1u);
        EXPECT_EQ(stats().hashSearches, 0u);
        EXPECT_EQ(stats().sorts, 0u);
        EXPECT_EQ(stats().reverses, 1u);
        EXPECT_EQ(stats().rowsScanned, 0u);
        EXPECT_EQ(stats().evaluations, withSetup ? 100u : 0u);
        std::vector<std::int32_t> stamps;
        if (n != 0) {
            do {
                EXPECT_TRUE(!withSetup || c->setup.getOid() == fancy);
                stamps.push_back(c->transDate.stamp);
            } while (c.next() != nullptr);
        }
        std::vector<std::int32_t> expected;
        for (auto [stamp, isFancy] : issued) {
            if (stamp >= from && stamp <= to && (!withSetup || isFancy)) {
                expected.push_back(stamp);
            }
        }
        std::sort(expected.rbegin(), expected.rend());
        EXPECT_EQ(stamps, expected);
    }
    // Equal bounds: the stamp's hash index answers.
    to = from;
    dbQuery q;
    dbQueryFragment range("transDate", "stamp");
    range.add("between").bind(from).add("and").bind(to);
    q.addParenthesized(range);
    EXPECT_EQ(selectIds<Cheque>(q).size(), 1u);
    EXPECT_EQ(stats().hashSearches, 1u);
    EXPECT_EQ(stats().treeSearches, 0u);
}

TEST_F(PlanTest, LikeReadsOnlyThePrefixRange)
{
    for (const char* name : {"Aa", "Ab", "Abc", "Abz", "Ac", "ab", "B", "Ab\xC3\xA9", "A"}) {
        addCustomer(1, name);
    }
    ASSERT_TRUE(db.commit());
    EXPECT_EQ(names("name like 'Ab%'"), (std::vector<std::string>{"Ab", "Abc", "Abz", "Ab\xC3\xA9"}));
    EXPECT_EQ(stats().strategy, Strategy::IndexSearch);
    EXPECT_EQ(stats().treeSearches, 1u);
    EXPECT_EQ(stats().evaluations, 0u);
    EXPECT_EQ(stats().rowsScanned, 0u);

    // A pattern that goes on after its prefix is tested on the range only.
    EXPECT_EQ(names("name like 'A_c'"), std::vector<std::string>{"Abc"});
    EXPECT_EQ(stats().treeSearches, 1u);
    EXPECT_EQ(stats().evaluations, 7u); // the names that begin with "A"

    EXPECT_EQ(names("name like 'Abc'"), std::vector<std::string>{"Abc"});
    EXPECT_EQ(stats().treeSearches, 1u);
    EXPECT_EQ(stats().evaluations, 0u);

    EXPECT_EQ(names("name like '%b'").size(), 2u);
    EXPECT_EQ(stats().strategy, Strategy::Scan);
    EXPECT_EQ(stats().rowsScanned, 9u);

    EXPECT_EQ(names("name like '%'").size(), 9u);
    EXPECT_EQ(stats().treeWalks, 1u);

    // With a filter on the right of AND, and a bound pattern.
    const char* pattern = "Ab%";
    dbQuery q;
    q.add("name like ").bind(pattern).append(dbQueryElement::Text, " and length(name) = 3 order by name desc");
    EXPECT_EQ(names(q), (std::vector<std::string>{"Abz", "Abc"}));
    EXPECT_EQ(stats().treeSearches, 1u);
    EXPECT_EQ(stats().evaluations, 4u);
    EXPECT_EQ(stats().reverses, 1u);
    EXPECT_EQ(stats().sorts, 0u);
}

TEST_F(PlanTest, OrChainsAndConjunctions)
{
    std::vector<oid_t> byId = addCustomers(40);
    std::vector<oid_t> found = selectIds<Customer>("id = 3 or id = 1 or id = 3");
    EXPECT_EQ(stats().strategy, Strategy::IndexOrChain);
    EXPECT_EQ(stats().hashSearches, 3u);
    EXPECT_EQ(found, (std::vector<oid_t>{byId[3], byId[1]}));

    found = selectIds<Customer>("id in (1, 3)");
    EXPECT_EQ(found, (std::vector<oid_t>{byId[1], byId[3]}));
    EXPECT_EQ(stats().hashSearches, 2u);
    found = selectIds<Customer>("id in (5, 1, 3)");
    std::sort(found.begin(), found.end());
    std::vector<oid_t> expected = {byId[1], byId[3], byId[5]};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);

    found = selectIds<Customer>("person = 'x' or name = 'name 007'");
    EXPECT_EQ(stats().strategy, Strategy::Scan);
    EXPECT_EQ(stats().hashSearches + stats().treeSearches, 0u);
    EXPECT_EQ(found, std::vector<oid_t>{byId[7]});

    // Only partly served by indexes: the ordered walk gets the whole
    // condition, and the order holds.
    std::vector<std::string> ordered = names("id = 30 or id < 5 order by name desc");
    EXPECT_EQ(stats().strategy, Strategy::OrderedWalk);
    EXPECT_EQ(ordered, (std::vector<std::string>{"name 030", "name 004", "name 003", "name 002", "name 001"}));
    ordered = names("id = 30 or id = 2 order by name desc");
    EXPECT_EQ(stats().sorts, 1u);
    EXPECT_EQ(ordered, (std::vector<std::string>{"name 030", "name 002"}));

    found = selectIds<Customer>("id = 12 and name = 'name 012'");
    EXPECT_EQ(found, std::vector<oid_t>{byId[12]});
    EXPECT_EQ(stats().hashSearches, 1u);
    EXPECT_EQ(stats().evaluations, 1u);
    found = selectIds<Customer>("name >= 'name 038' and id > 0");
    EXPECT_EQ(found, (std::vector<oid_t>{byId[38], byId[39], byId[40]}));
    EXPECT_EQ(stats().treeSearches, 1u);
    EXPECT_EQ(stats().evaluations, 3u);
    found = selectIds<Customer>("name < 'name 003' order by id desc");
    EXPECT_EQ(found, (std::vector<oid_t>{byId[2], byId[1]}));
    EXPECT_EQ(stats().sorts, 1u);
    found = selectIds<Customer>("name > 'name 039'");
    EXPECT_EQ(found, std::vector<oid_t>{byId[40]});
    found = selectIds<Customer>("name <= 'name 001'");
    EXPECT_EQ(found, std::vector<oid_t>{byId[1]});
    EXPECT_EQ(stats().treeSearches, 1u);
}

TEST_F(PlanTest, UpperLikeOrderedByNameWalksWithTheCondition)
{
    for (const char* name : {"abel", "ABBA", "Abacus", "bob", "aB", "zz"}) {
        addCustomer(1, name);
    }
    ASSERT_TRUE(db.commit());
    EXPECT_EQ(names("upper(name) like 'AB%' order by name"),
              (std::vector<std::string>{"ABBA", "Abacus", "aB", "abel"}));
    EXPECT_EQ(stats().strategy, Strategy::OrderedWalk);
    EXPECT_EQ(stats().evaluations, 6u);
    EXPECT_EQ(stats().sorts, 0u);
}

TEST_F(PlanTest, CursorLimitStopsTheSearch)
{
    addCustomers(30);
    dbQuery q("id > 10");
    std::vector<oid_t> found = selectIds<Customer>(q, 1);
    EXPECT_EQ(found.size(), 1u);
    EXPECT_LT(stats().rowsScanned, 30u);
    EXPECT_EQ(stats().evaluations, stats().rowsScanned);
    dbQuery walk("order by name");
    EXPECT_EQ(selectIds<Customer>(walk, 2).size(), 2u);
}

TEST_F(PlanTest, FailedCompilationSelectsNothingAndTriesAgain)
{
    addCustomers(5);
    dbCursor<Customer> c;
    dbQuery q("id = = 1");
    EXPECT_EQ(c.select(q), 0u);
    EXPECT_TRUE(c.selectFailed());
    EXPECT_EQ(stats().strategy, Strategy::None);
    EXPECT_EQ(takeMessages(), std::vector<std::string>{"operand expected in position 5"});
    q = "id = 1";
    EXPECT_EQ(c.select(q), 1u);
    EXPECT_FALSE(c.selectFailed());
    EXPECT_EQ(c->id, 1);
}

TEST_F(PlanTest, TraversalFollowsReferencesOnce)
{
    // 1 -> (2, 3), 2 -> (4), 3 -> (4, 1); 4's parent is 3.
    oid_t ids[5] = {};
    for (int i = 1; i <= 4; i++) {
        ids[i] = addSample([&](Sample& s) { s.id = i; });
    }
    auto link = [&](int from, std::initializer_list<int> to, int parent) {
        dbCursor<Sample> c(dbCursorForUpdate);
        ASSERT_NE(c.at(dbReference<Sample>(ids[from])), nullptr);
        std::vector<dbReference<Sample>> refs;
        for (int t : to) {
            refs.emplace_back(ids[t]);
        }
        c->children.setData(refs.data(), refs.size());
        c->parent = dbReference<Sample>(parent != 0 ? ids[parent] : 0);
        ASSERT_TRUE(c.update());
    };
    link(1, {2, 3}, 0);
    link(2, {4}, 1);
    link(3, {4, 1}, 1);
    link(4, {}, 3);
    ASSERT_TRUE(db.commit());

    auto order = [&](std::vector<int> v) {
        std::vector<oid_t> r;
        for (int i : v) {
            r.push_back(ids[i]);
        }
        return r;
    };
    EXPECT_EQ(selectIds<Sample>("start from first follow by children"), order({1, 2, 4, 3}));
    EXPECT_EQ(stats().strategy, Strategy::Traversal);
    EXPECT_EQ(selectIds<Sample>("id != 2 start from first follow by children"), order({1, 4, 3}));
    EXPECT_EQ(selectIds<Sample>("start from last follow by parent"), order({4, 3, 1}));
    EXPECT_EQ(selectIds<Sample>("start from first follow by children order by id desc"), order({4, 3, 2, 1}));

    std::uint32_t start = ids[2];
    dbQuery q;
    q.add("start from ").bindReference(start, &Sample::dbDescriptor).add(" follow by parent, children");
    EXPECT_EQ(selectIds<Sample>(q), order({2, 1, 3, 4})); // the last field named is followed first

    dbArray<dbReference<Sample>> starts;
    dbReference<Sample> two[] = {dbReference<Sample>(ids[4]), dbReference<Sample>(0), dbReference<Sample>(ids[2])};
    starts.setData(two, 3);
    dbQuery fromArray;
    fromArray.add("start from ").append(dbQueryElement::ParamArrayOfRef, &starts, &Sample::dbDescriptor);
    EXPECT_EQ(selectIds<Sample>(fromArray), order({4, 2}));

    // A limit of 1 takes no duplicate bitmap; a cycle must still end.
    dbQuery none("id = 99 start from first follow by children");
    EXPECT_TRUE(selectIds<Sample>(none, 1).empty());
    EXPECT_EQ(stats().evaluations, 4u);
    dbQuery first("start from first follow by children");
    EXPECT_EQ(selectIds<Sample>(first, 2), order({1, 2}));
    EXPECT_TRUE(takeMessages().empty());
}

} // namespace
