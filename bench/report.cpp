// The cheque report's query of a 31-day range over 100,000 cheques (10,000 in
// the range) filling its grid, against the same range read from SQLite with
// an index on the date into a QStandardItemModel. Runs offscreen.
#include "appcore/amounts.h"
#include "appcore/schema.h"
#include "documents/chequeregister.h"
#include "documents/reportform.h"
#include "grid/listgrid.h"
#include "platform/dialogs.h"

#include <QApplication>
#include <QDateEdit>
#include <QLocale>
#include <QStandardItemModel>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

const int setOffscreen = (qputenv("QT_QPA_PLATFORM", "offscreen"), qputenv("TZ", "UTC"), 0);

constexpr int kCheques = 100000;
constexpr int kDays = 310;  // one cheque in ten falls in a 31-day range
const QDate kFirstDay(2020, 1, 1);

struct Fixture {
    std::filesystem::path dir;
    std::unique_ptr<QApplication> app;
    std::unique_ptr<platform::ScriptedDialogs> dialogs;
    std::unique_ptr<TReportForm> report;
    sqlite3* lite = nullptr;
    std::int32_t from = 0, to = 0;

    Fixture()
    {
        static int argc = 1;
        static char arg0[] = "bench";
        static char* argv[] = {arg0, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
        dir = std::filesystem::temp_directory_path() / ("quillet-bench-report-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
        dialogs = std::make_unique<platform::ScriptedDialogs>();
        database.open("Quillet");
        sqlite3_open((dir / "peer.db").c_str(), &lite);
        sqlite3_exec(lite,
                     "PRAGMA journal_mode=WAL; CREATE TABLE cheque(chequeNo TEXT, description TEXT, amount REAL,"
                     " customerName TEXT, setup TEXT, transDate INTEGER);"
                     "CREATE INDEX cheque_date ON cheque(transDate);",
                     nullptr, nullptr, nullptr);
        ChequeSetup layout;
        layout.name = "BANK";
        const dbReference<ChequeSetup> bank = insert(layout);
        const std::int32_t start = *LocalStamp(kFirstDay);
        sqlite3_exec(lite, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* ins = nullptr;
        sqlite3_prepare_v2(lite, "INSERT INTO cheque VALUES(?,?,?,?,'BANK',?)", -1, &ins, nullptr);
        for (int i = 0; i < kCheques; ++i) {
            const std::string number = "N" + std::to_string(i), payee = "Payee " + std::to_string(i % 500);
            const std::int32_t stamp = start + std::int32_t(std::int64_t(i) * kDays * 86400 / kCheques);
            Cheque q;
            q.chequeNo = number.c_str();
            q.description = "rent";
            q.amount = 100 + i % 1000;
            q.customerName = payee.c_str();
            q.setup = bank;
            q.transDate = dbDateTime(stamp);
            insert(q);
            sqlite3_bind_text(ins, 1, number.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(ins, 2, "rent", -1, SQLITE_STATIC);
            sqlite3_bind_double(ins, 3, q.amount);
            sqlite3_bind_text(ins, 4, payee.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(ins, 5, stamp);
            sqlite3_step(ins);
            sqlite3_reset(ins);
        }
        sqlite3_finalize(ins);
        sqlite3_exec(lite, "COMMIT", nullptr, nullptr, nullptr);
        database.commit();
        report = std::make_unique<TReportForm>();
        report->fromDate->setDate(kFirstDay.addDays(100));
        report->toDate->setDate(kFirstDay.addDays(130));
        const auto range = DayRange(report->fromDate->date(), report->toDate->date());
        from = range->from;
        to = range->to;
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void ReportQuery(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        f.report->queryActionExecute();
        benchmark::DoNotOptimize(f.report->grid->RowCount());
    }
    state.counters["rows"] = f.report->grid->RowCount() - 1;
}

void SqliteModel(benchmark::State& state)
{
    Fixture& f = fixture();
    QStandardItemModel model;
    sqlite3_stmt* sel = nullptr;
    sqlite3_prepare_v2(f.lite,
                       "SELECT transDate, setup, chequeNo, customerName, description, amount, rowid FROM cheque"
                       " WHERE transDate BETWEEN ? AND ? ORDER BY transDate DESC",
                       -1, &sel, nullptr);
    const QLocale locale = QLocale::system();
    for (auto _ : state) {
        model.clear();
        model.setColumnCount(7);
        sqlite3_bind_int(sel, 1, f.from);
        sqlite3_bind_int(sel, 2, f.to);
        while (sqlite3_step(sel) == SQLITE_ROW) {
            QList<QStandardItem*> items;
            items.reserve(7);
            const QDate day = QDateTime::fromSecsSinceEpoch(sqlite3_column_int(sel, 0)).date();
            items.append(new QStandardItem(locale.toString(day, QLocale::ShortFormat)));
            for (int c = 1; c < 5; ++c)
                items.append(new QStandardItem(
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(sel, c)))));
            items.append(new QStandardItem(
                QString::fromStdString(FormatAmount(FormatMoney(sqlite3_column_double(sel, 5))))));
            items.append(new QStandardItem(QString::number(sqlite3_column_int64(sel, 6))));
            model.appendRow(items);
        }
        sqlite3_reset(sel);
        benchmark::DoNotOptimize(model.rowCount());
    }
    sqlite3_finalize(sel);
    state.counters["rows"] = model.rowCount();
}

}  // namespace

BENCHMARK(ReportQuery)->Unit(benchmark::kMillisecond);
BENCHMARK(SqliteModel)->Unit(benchmark::kMillisecond);
