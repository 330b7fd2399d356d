// Storage speed: small commits (two flushes each), allocation of records in
// one transaction, and copy-on-write updates of committed records.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "engine/database.h"

namespace {

class ScratchFile {
public:
    ScratchFile()
    {
        char pattern[] = "/tmp/quillet-bench-XXXXXX";
        int fd = mkstemp(pattern);
        if (fd >= 0) {
            ::close(fd);
            unlink(pattern);
        }
        path = std::string(pattern) + ".zrv";
    }
    ~ScratchFile() { unlink(path.c_str()); }
    std::string path;
};

void SmallCommit(benchmark::State& state)
{
    ScratchFile file;
    dbDatabase db;
    db.open("bench", file.path.c_str());
    for (auto _ : state) {
        oid_t oid = db.allocateRecord(1024);
        benchmark::DoNotOptimize(oid);
        db.commit();
        db.freeObject(oid);
        db.commit();
    }
    state.SetItemsProcessed(state.iterations() * 2);
    db.close();
}
BENCHMARK(SmallCommit)->Unit(benchmark::kMicrosecond);

void AllocateRecords(benchmark::State& state)
{
    ScratchFile file;
    dbDatabase db;
    db.open("bench", file.path.c_str());
    const int count = int(state.range(0));
    for (auto _ : state) {
        for (int i = 0; i < count; i++) {
            benchmark::DoNotOptimize(db.allocateRecord(100 + i % 200));
        }
        state.PauseTiming();
        db.rollback();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
    db.close();
}
BENCHMARK(AllocateRecords)->Arg(10000)->Unit(benchmark::kMillisecond);

void UpdateCommittedRecords(benchmark::State& state)
{
    ScratchFile file;
    dbDatabase db;
    db.open("bench", file.path.c_str());
    const int count = int(state.range(0));
    std::vector<oid_t> ids;
    for (int i = 0; i < count; i++) {
        ids.push_back(db.allocateRecord(200));
    }
    db.commit();
    for (auto _ : state) {
        for (oid_t oid : ids) {
            benchmark::DoNotOptimize(db.put(oid));
        }
        db.commit();
    }
    state.SetItemsProcessed(state.iterations() * count);
    db.close();
}
BENCHMARK(UpdateCommittedRecords)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
