// The contact list's refresh (select with the search query and fill the grid)
// against the same query in SQLite filling a QStandardItemModel, for 10,000
// and 100,000 contacts. Runs offscreen.
#include "appcore/dialogs.h"
#include "app/mainlist.h"
#include "appcore/schema.h"
#include "grid/listgrid.h"
#include "platform/dialogs.h"
#include "platform/process.h"
#include "bench_contact.h"

#include <QApplication>
#include <QStandardItemModel>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

const int setOffscreen = (qputenv("QT_QPA_PLATFORM", "offscreen"), 0);

Contact contact(int i)
{
    const std::string n = std::to_string(i);
    return {"Customer " + n, "Person " + n, "2345 " + n, "9123 " + n, "3456 " + n, "c" + n + "@example.org",
            "www.c" + n + ".example", n + " Main Street", "District " + std::to_string(i % 50), "Springfield",
            "", i, i * 1.25};
}

struct Fixture {
    std::filesystem::path dir;
    std::unique_ptr<QApplication> app;
    std::unique_ptr<platform::ScriptedDialogs> dialogs;
    std::unique_ptr<TMainListForm> window;
    sqlite3* lite = nullptr;
    int rows = 0;

    Fixture()
    {
        static int argc = 1;
        static char arg0[] = "bench";
        static char* argv[] = {arg0, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
        dir = std::filesystem::temp_directory_path() / ("quillet-bench-refresh-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
        dialogs = std::make_unique<platform::ScriptedDialogs>();
        window = std::make_unique<TMainListForm>();
        window->reverseSort->setChecked(false);
        window->show();
        sqlite3_open((dir / "peer.db").c_str(), &lite);
        sqlite3_exec(lite,
                     (std::string("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;") + kPeerCustomerTable).c_str(),
                     nullptr, nullptr, nullptr);
    }

    void growTo(int n)
    {
        if (rows >= n)
            return;
        sqlite3_exec(lite, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* ins = nullptr;
        sqlite3_prepare_v2(lite, kPeerCustomerInsert, -1, &ins, nullptr);
        for (int i = rows + 1; i <= n; ++i) {
            const Contact c = contact(i);
            insert(customerOf(c));
            insertPeerRow(ins, c);
        }
        sqlite3_finalize(ins);
        sqlite3_exec(lite, "COMMIT", nullptr, nullptr, nullptr);
        database.commit();
        rows = n;
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void RefreshGrid(benchmark::State& state)
{
    Fixture& f = fixture();
    f.growTo(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        f.window->RefreshGrid();
        benchmark::DoNotOptimize(f.window->grid->RowCount());
    }
    state.counters["rows"] = f.window->grid->RowCount() - 1;
}

void SqliteModel(benchmark::State& state)
{
    Fixture& f = fixture();
    f.growTo(static_cast<int>(state.range(0)));
    QStandardItemModel model;
    sqlite3_stmt* sel = nullptr;
    sqlite3_prepare_v2(f.lite,
                       "SELECT rowid, id, name, person, telephone, mobile, fax, email, website,"
                       " address1 || ' ' || address2 || ' ' || address3, remark, printf('%.2f', amount), category"
                       " FROM customer ORDER BY id",
                       -1, &sel, nullptr);
    for (auto _ : state) {
        model.clear();
        model.setColumnCount(13);
        int row = 0;
        while (sqlite3_step(sel) == SQLITE_ROW) {
            QList<QStandardItem*> items;
            items.reserve(13);
            for (int c = 0; c < 13; ++c)
                items.append(new QStandardItem(
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(sel, c)))));
            model.appendRow(items);
            ++row;
        }
        sqlite3_reset(sel);
        benchmark::DoNotOptimize(row);
    }
    sqlite3_finalize(sel);
    state.counters["rows"] = model.rowCount();
}

} // namespace

// The table only grows: both contenders run at 10,000 before either at 100,000.
BENCHMARK(RefreshGrid)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(SqliteModel)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(RefreshGrid)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(SqliteModel)->Arg(100000)->Unit(benchmark::kMillisecond);
