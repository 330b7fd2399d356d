// Deleting selected contacts from the main window (the Delete action: each
// contact with its issued cheques, one commit, the list run again) against
// removing the same rows in one bare engine transaction, for 1,000, 5,000
// and 20,000 contacts among as many again that stay, every other contact
// with two cheques; and the bare transaction for 20,000 contacts among
// 980,000 that stay (made once per run, in the benchmark's folder; the
// cheques are those of 20,000 among 20,000), whose time per contact is to
// stay near that of 20,000 among 20,000. The counter "per_contact" is the
// time of one contact; runs offscreen.
#include "bench_app.h"

#include "app/customeractions.h"
#include "app/mainlist.h"
#include "grid/listgrid.h"
#include "platform/dialogs.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

struct Fixture {
    BenchApplication base{false};  // the window opens the database
    platform::ScriptedDialogs dialogs;
    std::unique_ptr<TMainListForm> window;
    int nextId = 1;

    Fixture()
    {
        window = std::make_unique<TMainListForm>();
        window->show();
    }

    // Stores `count` contacts, every other one among the first `withCheques`
    // of them with two cheques; their record ids.
    std::vector<oid_t> store(int count, int withCheques)
    {
        std::vector<oid_t> oids;
        oids.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i, ++nextId) {
            const std::string name = "Customer " + std::to_string(nextId);
            const std::string mail = "c" + std::to_string(nextId) + "@example.org";
            Customer c;
            c.id = nextId;
            c.name = name.c_str();
            c.email = mail.c_str();
            c.amount = 12.5f;
            const oid_t oid = insert(c).getOid();
            oids.push_back(oid);
            for (int k = 0; i % 2 == 0 && i < withCheques && k < 2; ++k) {
                const std::string number = std::to_string(nextId) + "-" + std::to_string(k);
                Cheque q;
                q.chequeNo = number.c_str();
                q.customer = dbReference<Customer>(oid);
                q.amount = 10;
                q.transDate = dbDateTime(1700000000 + nextId * 60 + k);
                insert(q);
            }
            if ((i + 1) % 20000 == 0)
                database.commit();  // a million contacts in steps
        }
        database.commit();
        return oids;
    }
    // Makes the contacts that stay from one round to the next number
    // `count`, the cheques held as `withCheques` contacts to go hold them:
    // kept when they do, else all made anew.
    void keepStaying(int count, int withCheques)
    {
        if (staying == count)
            return;
        dbCursor<Customer> customers(dbCursorForUpdate);
        customers.removeAll();
        dbCursor<Cheque> cheques(dbCursorForUpdate);
        cheques.removeAll();
        database.commit();
        store(count, withCheques);
        staying = count;
    }
    // A round: `stay` contacts that stay, and those to go, `count` of them.
    // Those that stay hold as many cheques as those that go, so that the
    // cheques walked are as many at every size of the contact table.
    std::vector<oid_t> storeRound(int count, int stay)
    {
        keepStaying(stay, count);
        return store(count, count);
    }

    int staying = 0;
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void countPerContact(benchmark::State& state, int contacts)
{
    state.counters["per_contact"] = benchmark::Counter(double(contacts) * double(state.iterations()),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The contacts deleted stand among as many that stay.
void DeleteAction(benchmark::State& state)
{
    Fixture& f = fixture();
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<oid_t> doomed = f.storeRound(n, n);
        f.window->RefreshGrid();
        const std::unordered_set<oid_t> set(doomed.begin(), doomed.end());
        grid::RIvuZuvuzoZuvu& grid = *f.window->grid;
        grid.ClearRowSelect();
        for (int r = 1; r < grid.RowCount(); ++r)
            if (set.count(f.window->RowOid(r)))
                grid.SetRowSelect(r, true);
        f.dialogs.AnswerQuestion(true);
        state.ResumeTiming();
        deleteActionExecute(*f.window);
    }
    countPerContact(state, n);
}

// The same rows removed by hand: each contact by its record id and its
// cheques found by one walk over the cheques, one commit. Arguments: the
// contacts to go, and those that stay.
void BareTransaction(benchmark::State& state)
{
    Fixture& f = fixture();
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<oid_t> doomed = f.storeRound(n, static_cast<int>(state.range(1)));
        state.ResumeTiming();
        const std::unordered_set<oid_t> set(doomed.begin(), doomed.end());
        std::vector<oid_t> issued;
        dbCursor<Cheque> cheques(dbCursorForUpdate);
        if (cheques.select() > 0)
            do {
                if (set.count(cheques->customer.getOid()))
                    issued.push_back(cheques.currentId().getOid());
            } while (cheques.gotoNext());
        for (const oid_t oid : issued)
            if (cheques.at(dbReference<Cheque>(oid)))
                cheques.remove();
        dbCursor<Customer> customers(dbCursorForUpdate);
        for (const oid_t oid : doomed)
            if (customers.at(dbReference<Customer>(oid)))
                customers.remove();
        database.commit();
    }
    countPerContact(state, n);
}

} // namespace

BENCHMARK(DeleteAction)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BareTransaction)
    ->Args({1000, 1000})
    ->Args({5000, 5000})
    ->Args({20000, 20000})
    ->Args({20000, 980000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();
