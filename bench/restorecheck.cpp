// The check a restore runs on the database file it brings back, on 100,000
// contacts: opening it with the engine's checks and walking every table's
// rows ("rows"), and the same followed by the walk of every hash and T-tree
// index ("rows and indexes"). The file is made once, in a folder under /tmp.
#include "engine/program_tables.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
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

}  // namespace

BENCHMARK(rowsOnly)->Name("rows")->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(rowsAndIndexes)->Name("rows and indexes")->Unit(benchmark::kMillisecond)->Iterations(10);
