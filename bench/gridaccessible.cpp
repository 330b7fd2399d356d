// What a screen reader's questions cost the list grid when many rows are
// selected: the contact list's 13 columns (9 of them read), 100,000 rows,
// every row selected (Ctrl+A). Each question is asked through Qt's table
// interface as a reader asks it; the answer is dropped as a reader drops it
// and the events of the turn are let through, so that what the grid keeps
// for the answer shows. Counters: the size of the answer, bytes still held after
// the turn (kept) and the most held during the call (peak), per call.
// Runs on Qt's offscreen platform.
#include "grid/listgrid.h"
#include "offscreen_app.h"

#include <QAccessible>
#include <QApplication>
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <string>

namespace {

constexpr int kRows = 100'000, kCols = 13;

// The contact list as the main window lays it out, every row selected.
grid::RIvuZuvuzoZuvu& selectedList()
{
    offscreenApplication();
    static grid::RIvuZuvuzoZuvu* g = [] {
        auto* made = new grid::RIvuZuvuzoZuvu;
        made->SetColCount(kCols);
        made->SetFixedCols(0);
        made->SetRowCount(kRows + 1);
        made->SetFixedRows(1);
        made->SetOptions(made->Options() | platform::goRowSelect | platform::goRangeSelect);
        made->MouseActions->DisjunctRowSelect = true;
        const int widths[kCols] = {1, 40, 160, 100, 80, 80, 80, 100, 100, 0, 0, 0, 80};
        for (int c = 0; c < kCols; ++c) {
            made->SetColWidths(c, widths[c]);
            made->SetCells(c, 0, "Column " + std::to_string(c));
        }
        for (int r = 1; r <= kRows; ++r)
            for (int c = 0; c < kCols; ++c)
                made->SetCells(c, r, std::to_string(r * kCols + c));
        made->SelectRows(1, kRows);
        return made;
    }();
    return *g;
}

QAccessibleTableInterface* tableOf(grid::RIvuZuvuzoZuvu& g)
{
    return QAccessible::queryAccessibleInterface(&g)->tableInterface();
}

std::size_t heldBytes() { return mallinfo2().uordblks; }

// Asks Question once per iteration; the events of the turn run after each.
template <typename Question>
void ask(benchmark::State& state, Question question)
{
    QAccessibleTableInterface* table = tableOf(selectedList());
    QCoreApplication::processEvents();
    const std::size_t before = heldBytes();
    std::size_t peak = 0, answered = 0;
    for (auto _ : state) {
        answered = question(*table);
        peak = std::max(peak, heldBytes() - before);
        QCoreApplication::processEvents();
    }
    const std::size_t after = heldBytes();
    state.counters["answer"] = double(answered);
    state.counters["kept MB"] = double(after > before ? after - before : 0) / (1 << 20);
    state.counters["peak MB"] = double(peak) / (1 << 20);
}

void BM_SelectedCells(benchmark::State& state)
{
    ask(state, [](QAccessibleTableInterface& t) {
        const QList<QAccessibleInterface*> cells = t.selectedCells();
        benchmark::DoNotOptimize(cells.size());
        return std::size_t(cells.size());
    });
}
BENCHMARK(BM_SelectedCells)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SelectedCellCount(benchmark::State& state)
{
    ask(state, [](QAccessibleTableInterface& t) { return std::size_t(t.selectedCellCount()); });
}
BENCHMARK(BM_SelectedCellCount)->Unit(benchmark::kMillisecond);

void BM_SelectedRows(benchmark::State& state)
{
    ask(state, [](QAccessibleTableInterface& t) { return std::size_t(t.selectedRows().size()); });
}
BENCHMARK(BM_SelectedRows)->Unit(benchmark::kMillisecond);

void BM_SelectedColumns(benchmark::State& state)
{
    ask(state, [](QAccessibleTableInterface& t) { return std::size_t(t.selectedColumnCount()); });
}
BENCHMARK(BM_SelectedColumns)->Unit(benchmark::kMillisecond);

}  // namespace
