// Compilation speed of the queries the contact list and the cheque report
// build, and of scanning alone.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "engine/class.h"
#include "engine/compiler.h"
#include "engine/query.h"

namespace {

struct Contact {
    std::int32_t id;
    const char* name;
    const char* person;
    const char* telephone;
    const char* mobile;
    const char* email;
    dbReference<Contact> category;
    dbDateTime when;
    DB_FIELDS(Contact, DB_KEY(id, dbHashed), DB_KEY(name, dbIndexed), DB_FIELD(person), DB_FIELD(telephone),
              DB_FIELD(mobile), DB_FIELD(email), DB_FIELD(category), DB_FIELD(when))
};

} // namespace

DB_TABLE(Contact);

namespace {

const char* const searchText =
    "category!=null and category.name='Clients' and upper(name) like 'AB%' and upper(person) like '%X%'"
    " and telephone like '%1%' and mobile like '%2%' and id=7 and email like '%@%' order by name desc";

void BM_CompileContactSearch(benchmark::State& state)
{
    dbCompiler compiler;
    dbQuery q(searchText);
    for (auto _ : state) {
        bool ok = compiler.compile(&Contact::dbDescriptor, q);
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_CompileContactSearch);

void BM_CompileReportRange(benchmark::State& state)
{
    dbCompiler compiler;
    std::int32_t from = 0, to = 1;
    dbQuery q;
    dbQueryFragment range("when", "stamp");
    range.add("between").bind(from).add("and").bind(to);
    q.addParenthesized(range);
    q.add(" order by");
    dbQueryFragment key("when", "stamp");
    key.add("desc");
    q.addParenthesized(key);
    for (auto _ : state) {
        bool ok = compiler.compile(&Contact::dbDescriptor, q);
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_CompileReportRange);

void BM_ScanContactSearch(benchmark::State& state)
{
    dbCompiler compiler;
    dbQuery q(searchText);
    for (auto _ : state) {
        compiler.startScan(q);
        int n = 0;
        while (compiler.nextToken() != tokEof) {
            n += 1;
        }
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_ScanContactSearch);

} // namespace
