// Copying 100,000 rows of 13 cells to the clipboard with the list grid
// (CopyFunc: the text built, placed and read back) against QStringList::join
// of the same cells into one UTF-8 text, and pasting that text back
// (PasteText into the grid's cells) against QString::split of the same text
// into lines and fields. Each iteration times both in thread CPU time; the
// counters "grid_ms", "qt_ms" and "ratio" (grid / Qt) are printed with each
// result. Runs on Qt's offscreen platform.
#include "gridtable.h"

#include <QClipboard>
#include <QStringList>

#include <ctime>

namespace {

// CPU time of the calling thread in milliseconds.
double threadMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

void report(benchmark::State& state, double gridMs, double qtMs)
{
    const double n = double(state.iterations());
    state.counters["grid_ms"] = gridMs / n;
    state.counters["qt_ms"] = qtMs / n;
    state.counters["ratio"] = gridMs / qtMs;
    state.SetItemsProcessed(state.iterations() * kRows * kCols);
}

const std::vector<QStringList>& qtRows()
{
    static const auto rows = [] {
        std::vector<QStringList> v;
        for (const auto& row : table()) {
            QStringList cells;
            for (const std::string& s : row)
                cells << QString::fromStdString(s);
            v.push_back(cells);
        }
        return v;
    }();
    return rows;
}

void BM_CopyFuncAgainstJoin(benchmark::State& state)
{
    grid::RIvuZuvuzoZuvu g;
    fill(g);
    const std::vector<QStringList>& rows = qtRows();
    double gridMs = 0, qtMs = 0;
    for (auto _ : state) {
        double t0 = threadMs();
        benchmark::DoNotOptimize(g.CopyFunc({0, 0, kCols - 1, kRows - 1}));
        gridMs += threadMs() - t0;

        t0 = threadMs();
        QStringList lines;
        lines.reserve(kRows + 1);
        for (const QStringList& row : rows)
            lines << row.join(u'\t');
        lines << QString();
        const QByteArray text = lines.join(QStringLiteral("\r\n")).toUtf8();
        benchmark::DoNotOptimize(text.size());
        qtMs += threadMs() - t0;
    }
    report(state, gridMs, qtMs);
}

void BM_PasteTextAgainstSplit(benchmark::State& state)
{
    grid::RIvuZuvuzoZuvu g;
    fill(g);
    g.SetOptions(g.Options() | platform::goEditing);
    g.CopyFunc({0, 0, kCols - 1, kRows - 1});
    const std::string text = QApplication::clipboard()->mimeData()->data("text/plain").toStdString();
    double gridMs = 0, qtMs = 0;
    for (auto _ : state) {
        double t0 = threadMs();
        benchmark::DoNotOptimize(g.PasteText(0, 0, text));
        gridMs += threadMs() - t0;

        t0 = threadMs();
        const QString decoded = QString::fromStdString(text);
        std::vector<QStringList> cells;
        cells.reserve(kRows + 1);
        for (const QString& line : decoded.split(QStringLiteral("\r\n")))
            cells.push_back(line.split(u'\t'));
        benchmark::DoNotOptimize(cells.size());
        qtMs += threadMs() - t0;
    }
    report(state, gridMs, qtMs);
}

}  // namespace

BENCHMARK(BM_CopyFuncAgainstJoin)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PasteTextAgainstSplit)->Unit(benchmark::kMillisecond)->Iterations(5);
