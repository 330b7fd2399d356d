// Deleting selected contacts from the main window (the Delete action: each
// contact with its issued cheques, one commit, the list run again), for
// 1,000, 5,000 and 20,000 contacts among as many again that stay, every
// other contact with two cheques; and removing contacts in one bare engine
// transaction, the same numbers out of twice as many, and 20,000 out of
// 1,000,000 (a table made once per run, in the benchmark's folder), the
// contacts to go spread through the table, every other one with two
// cheques. The time per contact of 20,000 out of 1,000,000 is to stay near
// that of 20,000 out of 40,000. The counter "per_contact" is the time of one
// contact; runs offscreen.
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

    // Stores `count` contacts, every other one with two cheques when
    // `withCheques`; their record ids.
    std::vector<oid_t> store(int count, bool withCheques)
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
            if (withCheques && i % 2 == 0)
                addCheques(oid);
            if ((i + 1) % 20000 == 0)
                database.commit();  // a million contacts in steps
        }
        database.commit();
        return oids;
    }
    // Two cheques issued to the contact.
    void addCheques(oid_t contact)
    {
        for (int k = 0; k < 2; ++k, ++nextCheque) {
            const std::string number = "Q" + std::to_string(nextCheque);
            Cheque q;
            q.chequeNo = number.c_str();
            q.customer = dbReference<Customer>(contact);
            q.amount = 10;
            q.transDate = dbDateTime(1700000000 + nextCheque * 60);
            insert(q);
        }
    }
    void clear()
    {
        dbCursor<Customer> customers(dbCursorForUpdate);
        customers.removeAll();
        dbCursor<Cheque> cheques(dbCursorForUpdate);
        cheques.removeAll();
        database.commit();
        kept = -1;
    }
    // A round of the Delete action: as many contacts that stay as are to go,
    // every other one with two cheques; those to go, the newest.
    std::vector<oid_t> storeRound(int count)
    {
        clear();
        store(count, true);
        return store(count, true);
    }
    // A round of the bare transaction: a table of `total` contacts, kept from
    // one round to the next (made once per run) and topped up with new ones
    // for those the last round removed; those to go, `count` of them spread
    // evenly through it in list order, so that old and new contacts go
    // alike, every other one given two cheques now. The cheques walked are
    // then as many at every size of the table.
    std::vector<oid_t> spreadRound(int count, int total)
    {
        const std::size_t held = dbCursor<Customer>().select();
        if (kept != total || held > static_cast<std::size_t>(total))
            clear();
        store(total - static_cast<int>(dbCursor<Customer>().select()), false);
        kept = total;
        std::vector<oid_t> doomed;
        dbCursor<Customer> all;
        const std::size_t step = static_cast<std::size_t>(total / count);
        std::size_t at = 0;
        if (all.select() > 0)
            do {
                if (at++ % step == 0 && doomed.size() < static_cast<std::size_t>(count))
                    doomed.push_back(all.currentId().getOid());
            } while (all.next());
        for (std::size_t k = 0; k < doomed.size(); k += 2)
            addCheques(doomed[k]);
        database.commit();
        return doomed;
    }

    int nextCheque = 1;
    int kept = -1;  // the contacts the bare rounds keep, -1 when none
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
        const std::vector<oid_t> doomed = f.storeRound(n);
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

// Rows removed by hand: each contact by its record id and its cheques found
// by one walk over the cheques, one commit. Arguments: the contacts to go,
// and the contacts in the table.
void BareTransaction(benchmark::State& state)
{
    Fixture& f = fixture();
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<oid_t> doomed = f.spreadRound(n, static_cast<int>(state.range(1)));
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
    ->Args({1000, 2000})
    ->Args({5000, 10000})
    ->Args({20000, 40000})
    ->Args({20000, 1000000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();
