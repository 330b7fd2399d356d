// Writing and reading 100,000 rows of 13 cells of 10 to 30 characters as
// CSV with the list grid, against libcsv (reading) and a plain QTextStream
// loop (writing and reading) over the same file, in MB/s of file. Runs on
// Qt's offscreen platform.
#include "gridtable.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <benchmark/benchmark.h>
#include <csv.h>

#include <string>
#include <vector>

namespace {

qint64 fileSize(const QString& name) { return QFileInfo(name).size(); }

void BM_GridSaveToCSV(benchmark::State& state)
{
    grid::RIvuZuvuzoZuvu g;
    fill(g);
    for (auto _ : state)
        g.SaveToCSV(file("grid.csv"));
    state.SetBytesProcessed(state.iterations() * fileSize(file("grid.csv")));
}

void BM_TextStreamWrite(benchmark::State& state)
{
    const auto& t = table();
    for (auto _ : state) {
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
    }
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
        g.LoadFromCSV(file("grid.csv"));
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
    for (auto _ : state) {
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
    }
    state.SetBytesProcessed(state.iterations() * fileSize(file("grid.csv")));
}

void BM_TextStreamRead(benchmark::State& state)
{
    for (auto _ : state) {
        QFile f(file("grid.csv"));
        f.open(QIODevice::ReadOnly);
        QTextStream in(&f);
        std::vector<QStringList> rows;
        rows.reserve(kRows);
        QString line;
        while (in.readLineInto(&line))
            rows.push_back(line.split(u','));
        benchmark::DoNotOptimize(rows.size());
    }
    state.SetBytesProcessed(state.iterations() * fileSize(file("grid.csv")));
}

}  // namespace

BENCHMARK(BM_GridSaveToCSV)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TextStreamWrite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GridLoadFromCSV)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LibcsvRead)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TextStreamRead)->Unit(benchmark::kMillisecond)->Iterations(3);
