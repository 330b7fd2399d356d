// Writing and reading 100,000 rows of 13 cells of 10 to 30 characters as
// CSV with the list grid, against libcsv (reading) and a plain QTextStream
// loop (writing and reading) over the same file, in MB/s of file. Each case
// runs kRounds times, each round timed on its own; after the runs the
// medians are printed with the grid's ratio to its peers. A load is timed
// from the call to its return: making the empty grid before and freeing it
// after are not part of it. Runs on Qt's offscreen platform.
#include "gridtable.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <benchmark/benchmark.h>
#include <csv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 5;

qint64 fileSize(const QString& name) { return QFileInfo(name).size(); }

// Seconds of every round of every case, by case.
std::map<std::string, std::vector<double>>& rounds()
{
    static std::map<std::string, std::vector<double>> r;
    return r;
}

// Times Work as one round of the case Name and tells the benchmark its time.
template <class Work>
void timeRound(benchmark::State& state, const char* Name, Work work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    rounds()[Name].push_back(seconds);
}

void BM_GridSaveToCSV(benchmark::State& state)
{
    grid::RIvuZuvuzoZuvu g;
    fill(g);
    for (auto _ : state)
        timeRound(state, __func__, [&] { g.SaveToCSV(file("grid.csv")); });
    state.SetBytesProcessed(state.iterations() * fileSize(file("grid.csv")));
}

void BM_TextStreamWrite(benchmark::State& state)
{
    const auto& t = table();
    for (auto _ : state)
        timeRound(state, __func__, [&] {
            QFile f(file("stream.csv"));
            f.open(QIODevice::WriteOnly);
            QTextStream out(&f);
            for (const auto& row : t) {
                for (int c = 0; c < kCols; ++c) {
                    if (c)
                        out << ',';
                    const QString s = QString::fromStdString(row[static_cast<size_t>(c)]);
                    if (s.contains(u',') || s.contains(u'"'))
                        out << '"' << QString(s).replace(QStringLiteral("\""), QStringLiteral("\"\"")) << '"';
                    else
                        out << s;
                }
                out << "\r\n";
            }
        });
    state.SetBytesProcessed(state.iterations() * fileSize(file("stream.csv")));
}

void BM_GridLoadFromCSV(benchmark::State& state)
{
    {
        grid::RIvuZuvuzoZuvu g;
        fill(g);
        g.SaveToCSV(file("grid.csv"));
    }
    for (auto _ : state) {
        grid::RIvuZuvuzoZuvu g;
        g.IncludeFixedCells = true;
        timeRound(state, __func__, [&] { g.LoadFromCSV(file("grid.csv")); });
        benchmark::DoNotOptimize(g.Cells(1, kRows / 2));
    }
    state.SetBytesProcessed(state.iterations() * fileSize(file("grid.csv")));
}

struct CsvCount {
    long fields = 0, rows = 0;
    std::vector<std::string> row;
};

void BM_LibcsvRead(benchmark::State& state)
{
    for (auto _ : state)
        timeRound(state, __func__, [&] {
            QFile f(file("grid.csv"));
            f.open(QIODevice::ReadOnly);
            const QByteArray bytes = f.readAll();
            csv_parser p;
            csv_init(&p, CSV_APPEND_NULL);
            CsvCount count;
            csv_parse(
                &p, bytes.constData(), static_cast<size_t>(bytes.size()),
                [](void* s, size_t n, void* data) {
                    auto* c = static_cast<CsvCount*>(data);
                    c->row.emplace_back(static_cast<const char*>(s), n);
                    ++c->fields;
                },
                [](int, void* data) {
                    auto* c = static_cast<CsvCount*>(data);
                    c->row.clear();
                    ++c->rows;
                },
                &count);
            csv_free(&p);
            benchmark::DoNotOptimize(count.fields);
        });
    state.SetBytesProcessed(state.iterations() * fileSize(file("grid.csv")));
}

void BM_TextStreamRead(benchmark::State& state)
{
    for (auto _ : state)
        timeRound(state, __func__, [&] {
            QFile f(file("grid.csv"));
            f.open(QIODevice::ReadOnly);
            QTextStream in(&f);
            std::vector<QStringList> rows;
            rows.reserve(kRows);
            QString line;
            while (in.readLineInto(&line))
                rows.push_back(line.split(u','));
            benchmark::DoNotOptimize(rows.size());
        });
    state.SetBytesProcessed(state.iterations() * fileSize(file("grid.csv")));
}

double medianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The median of a case in MB/s of the CSV file (0 when it did not run).
double medianRate(const std::string& name)
{
    const auto found = rounds().find(name);
    if (found == rounds().end())
        return 0;
    const double seconds = medianOf(found->second);
    return seconds > 0 ? static_cast<double>(fileSize(file("grid.csv"))) / seconds / 1e6 : 0;
}

void printRatios()
{
    const auto line = [](const char* ours, const char* peer) {
        const double a = medianRate(ours), b = medianRate(peer);
        if (a > 0 && b > 0)
            std::printf("%-20s %6.0f MB/s   %-20s %6.0f MB/s   ratio %.2f\n", ours, a, peer, b, a / b);
    };
    std::printf("\nMedians of %d rounds:\n", kRounds);
    line("BM_GridLoadFromCSV", "BM_LibcsvRead");
    line("BM_GridLoadFromCSV", "BM_TextStreamRead");
    line("BM_GridSaveToCSV", "BM_TextStreamWrite");
}

const bool summary = (printSummary = printRatios, true);

}  // namespace

BENCHMARK(BM_GridSaveToCSV)->Unit(benchmark::kMillisecond)->Iterations(kRounds)->UseManualTime();
BENCHMARK(BM_TextStreamWrite)->Unit(benchmark::kMillisecond)->Iterations(kRounds)->UseManualTime();
BENCHMARK(BM_GridLoadFromCSV)->Unit(benchmark::kMillisecond)->Iterations(kRounds)->UseManualTime();
BENCHMARK(BM_LibcsvRead)->Unit(benchmark::kMillisecond)->Iterations(kRounds)->UseManualTime();
BENCHMARK(BM_TextStreamRead)->Unit(benchmark::kMillisecond)->Iterations(kRounds)->UseManualTime();
