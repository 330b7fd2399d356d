// The check a restore runs on the database file it brings back, on 100,000
// contacts: opening it with the engine's checks and walking every table's
// rows ("rows"), and the same followed by the walk of every hash and T-tree
// index ("rows and indexes"). Then the program's start on the same file,
// already open: the whole check of a sound file ("start check"), and of a
// file with one damaged index, rebuilt from the rows, committed and checked
// again ("start rebuild of the ID hash", "start rebuild of the name
// T-tree"). The files are made once, in a folder under /tmp.
#include "engine/hashtab.h"
#include "engine/program_tables.h"
#include "engine/ttree.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

constexpr int contacts = 100000;

class ScratchDatabase {
  public:
    ScratchDatabase()
    {
        char pattern[] = "/tmp/quillet-bench-restorecheck-XXXXXX";
        dir = mkdtemp(pattern);
        file = dir + "/Quillet.zrv";
        dbDatabase db;
        if (!db.open("Quillet", file.c_str())) {
            throw std::runtime_error("open failed");
        }
        for (int i = 0; i < contacts; i++) {
            const std::string name = "Contact " + std::to_string(i * 7919 % contacts);
            const std::string text = "Harbour Road " + std::to_string(i);
            Customer c;
            c.id = i + 1;
            c.name = name.c_str();
            c.address1 = c.address2 = c.person = c.telephone = c.email = c.website = text.c_str();
            insert(c);
        }
        if (!db.commit()) {
            throw std::runtime_error("commit failed");
        }
        db.close();
    }
    ~ScratchDatabase() { std::filesystem::remove_all(dir); }
    std::string dir, file;
};

template <class T>
std::size_t walk()
{
    dbCursor<T> rows;
    std::size_t seen = rows.select() != 0 ? 1 : 0;
    while (rows.next()) {
        seen++;
    }
    return seen;
}

void check(benchmark::State& state, bool indexes)
{
    static ScratchDatabase scratch;
    for (auto _ : state) {
        dbDatabase db;
        if (!db.open("Quillet", scratch.file.c_str())) {
            state.SkipWithError("open failed");
            return;
        }
        std::size_t rows = walk<Config>() + walk<Category>() + walk<EnvelopeSetup>() + walk<ChequeSetup>() +
                           walk<ReceiptSetup>() + walk<Customer>() + walk<MailSetup>() + walk<CustomerWidth>() +
                           walk<Cheque>() + walk<Mail>();
        if (rows != std::size_t(contacts) || (indexes && !db.checkIndexes())) {
            state.SkipWithError("the check failed");
        }
        db.close();
    }
}

void rowsOnly(benchmark::State& state) { check(state, false); }
void rowsAndIndexes(benchmark::State& state) { check(state, true); }

// A copy of the scratch file with one change made through the engine.
std::string damagedCopy(const std::string& name, const std::function<void(dbDatabase&)>& damage)
{
    static ScratchDatabase scratch;
    const std::string copy = scratch.dir + "/" + name + ".zrv";
    std::filesystem::copy_file(scratch.file, copy, std::filesystem::copy_options::overwrite_existing);
    dbDatabase db;
    if (!db.open("Quillet", copy.c_str())) {
        throw std::runtime_error("open failed");
    }
    damage(db);
    if (!db.commit()) {
        throw std::runtime_error("commit failed");
    }
    db.close();
    return copy;
}

// Times checkAndRebuildIndexes on a fresh copy of `source` each round.
void startCheck(benchmark::State& state, const std::string& source, dbDatabase::dbIndexRepair expected)
{
    const std::string work = source + ".work";
    for (auto _ : state) {
        std::filesystem::copy_file(source, work, std::filesystem::copy_options::overwrite_existing);
        dbDatabase db;
        if (!db.open("Quillet", work.c_str()) || !db.commit()) {
            state.SkipWithError("open failed");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        const dbDatabase::dbIndexRepair found = db.checkAndRebuildIndexes();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (found != expected) {
            state.SkipWithError("unexpected outcome");
        }
        db.close();
    }
    std::filesystem::remove(work);
}

void soundStart(benchmark::State& state)
{
    static const std::string file = damagedCopy("sound", [](dbDatabase&) {});
    startCheck(state, file, dbDatabase::dbIndexesSound);
}

void hashRebuilt(benchmark::State& state)
{
    static const std::string file = damagedCopy("hash", [](dbDatabase& db) {
        const auto& hash = *reinterpret_cast<const dbHashTable*>(db.get(Customer::dbDescriptor.find("id")->hashTable));
        oid_t item = 0;
        for (std::uint32_t b = 0; item == 0; b++) {
            item = reinterpret_cast<const oid_t*>(db.get(hash.page + b / 1024))[b % 1024];
        }
        reinterpret_cast<dbHashTableItem*>(db.put(item))->hash ^= 1;
    });
    startCheck(state, file, dbDatabase::dbIndexesRebuilt);
}

void treeRebuilt(benchmark::State& state)
{
    static const std::string file = damagedCopy("tree", [](dbDatabase& db) {
        const oid_t root = reinterpret_cast<const dbTtree*>(db.get(Customer::dbDescriptor.find("name")->tTree))->root;
        reinterpret_cast<dbTtreeNode*>(db.put(root))->nItems -= 1;
    });
    startCheck(state, file, dbDatabase::dbIndexesRebuilt);
}

}  // namespace

BENCHMARK(rowsOnly)->Name("rows")->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(rowsAndIndexes)->Name("rows and indexes")->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(soundStart)->Name("start check")->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(hashRebuilt)->Name("start rebuild of the ID hash")->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(treeRebuilt)->Name("start rebuild of the name T-tree")->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
