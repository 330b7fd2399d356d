// Sorting 100,000 contact rows of 13 columns (id, names, telephones, e-mail,
// amounts with thousands separators, dates, ...) in the list grid by one
// column, against QStandardItemModel::sort on the same texts. Each run sorts
// freshly loaded, shuffled rows; loading is not timed. Runs on Qt's
// offscreen platform. The ratio of the two, per column, is printed at the end.
#include "grid/listgrid.h"

#include <QApplication>
#include <QStandardItemModel>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#ifndef QUILLET_BENCH_ROWS
#define QUILLET_BENCH_ROWS 100000
#endif

namespace {

constexpr int kRows = QUILLET_BENCH_ROWS;
constexpr int kCols = 13;
enum Column { cId, cName, cPerson, cTelephone, cMobile, cFax, cEmail, cWeb, cAddress, cRemark, cAmount, cCategory, cDate };

using Table = std::vector<std::vector<std::string>>;

std::string word(std::mt19937& rng, int syllables)
{
    static const char* parts[] = {"ka", "lo", "mi", "sun", "ta", "ve", "ro", "chen", "li", "wa", "do", "ne", "bri", "za"};
    std::string s;
    for (int i = 0; i < syllables; ++i)
        s += parts[rng() % 14];
    s[0] = static_cast<char>(s[0] - 'a' + 'A');
    return s;
}

std::string digits(std::mt19937& rng, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += static_cast<char>('0' + rng() % 10);
    return s;
}

std::string amount(std::mt19937& rng)
{
    const long cents = static_cast<long>(rng() % 100000000);
    std::string whole = std::to_string(cents / 100), grouped;
    for (size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0)
            grouped += ',';
        grouped += whole[i];
    }
    const long c = cents % 100;
    return grouped + (c < 10 ? ".0" : ".") + std::to_string(c);
}

const Table& contacts()
{
    static const Table table = [] {
        std::mt19937 rng(12345);
        Table t(kRows, std::vector<std::string>(kCols));
        for (int r = 0; r < kRows; ++r) {
            auto& row = t[r];
            row[cId] = std::to_string(r + 1);
            row[cName] = word(rng, 2) + " " + word(rng, 3) + " Ltd";
            row[cPerson] = word(rng, 1) + " " + word(rng, 2);
            row[cTelephone] = digits(rng, 4) + "-" + digits(rng, 4);
            row[cMobile] = "9" + digits(rng, 3) + "-" + digits(rng, 3) + "-" + digits(rng, 3);
            row[cFax] = r % 3 ? digits(rng, 4) + "-" + digits(rng, 4) : "";
            row[cEmail] = word(rng, 2) + "@" + word(rng, 2) + ".com";
            row[cWeb] = "http://www." + word(rng, 2) + ".com";
            row[cAddress] = std::to_string(rng() % 300) + " " + word(rng, 2) + " Road";
            row[cRemark] = r % 5 ? "" : word(rng, 3);
            row[cAmount] = amount(rng);
            row[cCategory] = word(rng, 1);
            row[cDate] = std::to_string(1 + rng() % 28) + "/" + std::to_string(1 + rng() % 12) + "/" +
                         std::to_string(1995 + rng() % 30);
        }
        return t;
    }();
    return table;
}

void load(grid::RIvuZuvuzoZuvu& g)
{
    const Table& t = contacts();
    g.SetColCountEx(kCols);
    g.SetRowCountEx(kRows + 1);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c)
            g.SetCells(c, r + 1, t[r][c]);
}

// A new model for each run, never freed: once sorted, a model takes its
// 1.3 million items apart (or rewrites them) in quadratic time, far slower
// than anything measured here. Hence one run per column.
QStandardItemModel* loadModel()
{
    const Table& t = contacts();
    auto* m = new QStandardItemModel(0, kCols);
    for (int r = 0; r < kRows; ++r) {
        QList<QStandardItem*> row;
        for (int c = 0; c < kCols; ++c)
            row.append(new QStandardItem(QString::fromStdString(t[r][c])));
        m->appendRow(row);
    }
    return m;
}

// Milliseconds per sort by column, for the ratios printed at the end.
std::map<int, double> gridMs, modelMs;

// CPU time of the calling thread in milliseconds: on a busy machine it
// leaves out the time the thread waits for a core.
double now()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

void BM_GridSort(benchmark::State& state)
{
    grid::formatSettings().ShortDateFormat = "d/M/yyyy";
    grid::formatSettings().DateSeparator = '/';
    grid::RIvuZuvuzoZuvu g;
    g.SortSettings->Column = static_cast<int>(state.range(0));
    double ms = 0;
    for (auto _ : state) {
        state.PauseTiming();
        load(g);
        state.ResumeTiming();
        const double t0 = now();
        g.QSort();
        ms += now() - t0;
        benchmark::DoNotOptimize(g.Cells(1, kRows / 2));
    }
    gridMs[int(state.range(0))] = ms / double(state.iterations());
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_ModelSort(benchmark::State& state)
{
    double ms = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QStandardItemModel* m = loadModel();
        state.ResumeTiming();
        const double t0 = now();
        m->sort(static_cast<int>(state.range(0)));
        ms += now() - t0;
        benchmark::DoNotOptimize(m->item(kRows / 2, 1));
    }
    modelMs[int(state.range(0))] = ms / double(state.iterations());
    state.SetItemsProcessed(state.iterations() * kRows);
}

void columns(benchmark::internal::Benchmark* b)
{
    for (int c : {cName, cTelephone, cAmount, cDate})
        b->Arg(c);
    b->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_GridSort)->Apply(columns)->Iterations(3);
BENCHMARK(BM_ModelSort)->Apply(columns)->Iterations(1);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const char* names[kCols] = {"id", "name", "person", "telephone", "mobile", "fax", "e-mail",
                                "web", "address", "remark", "amount", "category", "date"};
    std::printf("\n%d rows x %d columns, grid sort against QStandardItemModel::sort (thread CPU time):\n", kRows,
                kCols);
    for (const auto& [col, ms] : gridMs)
        if (modelMs.count(col))
            std::printf("  %-10s %8.1f ms against %8.1f ms   ratio %.2f\n", names[col], ms, modelMs[col],
                        ms / modelMs[col]);
    return 0;
}
