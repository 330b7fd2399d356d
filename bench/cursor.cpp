// Cursor speed: walking every row with fetch, moving to the n-th row of a
// selection, and sorting a selection by a text key.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/zarvoCursor.h"

namespace {

class Row {
  public:
    int4 key = 0;
    const char* name = nullptr;

    DB_FIELDS(Row, DB_FIELD(key), DB_FIELD(name))
};

}  // namespace

DB_TABLE(Row);

namespace {

// A database of n rows in a scratch folder, open for the benchmark's run.
class Fixture {
  public:
    explicit Fixture(int n)
    {
        dir = std::filesystem::temp_directory_path() /
              ("quillet-bench-cursor-" + std::to_string(n) + "-" + std::to_string(std::random_device{}()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        db.open("bench", (dir / "bench.zrv").c_str());
        zarvoBuffer texts;
        for (int i = 0; i < n; i++) {
            Row row;
            row.key = i;
            // Names in an order unrelated to the keys.
            row.name = texts.put("customer " + std::to_string((i * 7919) % n));
            ids.push_back(insert(row).getOid());
            texts.clear();
        }
        db.commit();
    }
    ~Fixture()
    {
        db.close();
        std::filesystem::remove_all(dir);
    }

    std::filesystem::path dir;
    zarvoDatabase db;
    std::vector<oid_t> ids;
};

void selectIds(dbAnyCursor& cursor, const std::vector<oid_t>& ids)
{
    cursor.beginSelect();
    for (oid_t id : ids) {
        cursor.add(id);
    }
}

void WalkAllRows(benchmark::State& state)
{
    Fixture f(int(state.range(0)));
    for (auto _ : state) {
        dbCursor<Row> cursor;
        std::int64_t sum = 0;
        if (cursor.select() != 0) {
            do {
                sum += cursor->key;
            } while (cursor.next());
        }
        benchmark::DoNotOptimize(sum);
        f.db.commit();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(WalkAllRows)->Arg(100000)->Unit(benchmark::kMillisecond);

void PositionInSelection(benchmark::State& state)
{
    Fixture f(int(state.range(0)));
    zarvoCursor<Row> cursor;
    selectIds(cursor, f.ids);
    std::uint32_t n = 0;
    for (auto _ : state) {
        n = (n + 7919) % std::uint32_t(f.ids.size());
        benchmark::DoNotOptimize(cursor.setPosition(n));
    }
    f.db.commit();
}
BENCHMARK(PositionInSelection)->Arg(100000);

void SortByName(benchmark::State& state)
{
    Fixture f(int(state.range(0)));
    dbOrderByNode byName;
    byName.field = Row::dbDescriptor.findLong("name");
    for (auto _ : state) {
        dbCursor<Row> cursor;
        selectIds(cursor, f.ids);
        cursor.sort(&byName);
        f.db.commit();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(SortByName)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
