// Record operations with indexes: 100,000 inserts into a table with a hash
// index and a T-tree index in one transaction, and point look-ups through
// the hash index.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "engine/class.h"
#include "engine/hashtab.h"
#include "engine/ttree.h"

namespace {

struct Contact {
    std::int32_t id;
    const char* name;
    const char* email;
    float amount;
    DB_FIELDS(Contact, DB_KEY(id, dbHashed), DB_KEY(name, dbIndexed), DB_FIELD(email), DB_FIELD(amount))
};

}  // namespace

DB_TABLE(Contact);

namespace {

constexpr int rows = 100000;

class ScratchFile {
  public:
    ScratchFile()
    {
        char pattern[] = "/tmp/quillet-bench-records-XXXXXX";
        dir = mkdtemp(pattern);
    }
    ~ScratchFile() { std::filesystem::remove_all(dir); }
    std::string path() const { return dir + "/bench.zrv"; }
    std::string dir;
};

// Inserts the benchmark's rows (names in a scattered order) and commits.
void fill(dbDatabase& db)
{
    dbTableDescriptor* table = db.findTable("Contact");
    std::mt19937 random(7);
    std::string name, email;
    for (int i = 0; i < rows; i++) {
        name = "Contact " + std::to_string(random() % 1000000);
        email = "contact" + std::to_string(i) + "@example.com";
        Contact c{i, name.c_str(), email.c_str(), float(i) / 4};
        db.insertRecord(table, nullptr, &c);
    }
    db.commit();
}

void insertWithIndexes(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        ScratchFile scratch;
        dbDatabase db(dbDatabase::dbAllAccess, 1048576, 4194304, 65536, 1);
        db.open("bench", scratch.path().c_str());
        state.ResumeTiming();
        fill(db);
        state.PauseTiming();
        db.close();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(insertWithIndexes)->Unit(benchmark::kMillisecond)->Iterations(5);

class FirstFound : public dbSearchSink {
  public:
    bool add(oid_t id) override
    {
        found = id;
        return false;
    }
    oid_t found = 0;
};

void lookupById(benchmark::State& state)
{
    ScratchFile scratch;
    dbDatabase db(dbDatabase::dbAllAccess, 1048576, 4194304, 65536, 1);
    db.open("bench", scratch.path().c_str());
    fill(db);
    dbTableDescriptor* table = db.findTable("Contact");
    dbFieldDescriptor* id = table->find("id");
    db.beginTransaction(dbDatabase::dbSharedLock);
    std::mt19937 random(11);
    Contact c{};
    for (auto _ : state) {
        std::int32_t key = std::int32_t(random() % rows);
        FirstFound sink;
        dbSearchContext sc;
        sc.firstKey = &key;
        sc.type = dbField::tpInt4;
        sc.sizeofType = 4;
        sc.offs = id->dbsOffs;
        sc.sink = &sink;
        dbHashTable::find(&db, id->hashTable, sc);
        db.fetchRecord(table, sink.found, &c);
        benchmark::DoNotOptimize(c.name);
    }
    db.commit();
    db.close();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(lookupById);

}  // namespace
