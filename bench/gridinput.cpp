// What one input costs the contact list's grid at 100,000 and 1,000,000
// rows (13 columns, laid out as the main window lays them out, the rows
// flagged as the list flags them): a Ctrl+wheel notch, which zooms every
// row and column, and the Down and Shift+Down keys, which move the flagged
// row or stretch the flagged rows by one. The time of an input is to stay
// flat from 100,000 to 1,000,000 rows. Each input is followed by the events
// of its turn. Runs on Qt's offscreen platform.
#include "grid/listgrid.h"
#include "offscreen_app.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWheelEvent>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kCols = 13;

// The list of `rows` data rows below its header, shown, the first data row current.
grid::RIvuZuvuzoZuvu& list(int rows)
{
    offscreenApplication();
    static std::unique_ptr<grid::RIvuZuvuzoZuvu> g;  // one list at a time: a million rows are enough to hold
    static int held = 0;
    if (held != rows) {
        g.reset();
        held = rows;
        g = std::make_unique<grid::RIvuZuvuzoZuvu>();
        g->resize(800, 600);
        g->SetColCount(kCols);
        g->SetFixedCols(0);
        g->SetRowCount(rows + 1);
        g->SetFixedRows(1);
        g->SetOptions(g->Options() | platform::goRowSelect | platform::goRangeSelect);
        g->MouseActions->DisjunctRowSelect = true;
        for (int c = 0; c < kCols; ++c)
            g->SetCells(c, 0, "Column " + std::to_string(c));
        for (int r = 1; r <= rows; ++r)
            g->SetCells(1, r, std::to_string(r));
        g->show();
        QCoreApplication::processEvents();
    }
    return *g;
}

void settle() { QCoreApplication::processEvents(); }

void CtrlWheel(benchmark::State& state)
{
    grid::RIvuZuvuzoZuvu& g = list(static_cast<int>(state.range(0)));
    int delta = -120;  // in, then out again, so that the zoom stays in its range
    for (auto _ : state) {
        const QPointF at(20, 40);
        QWheelEvent e(at, g.viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(g.viewport(), &e);
        settle();
        delta = -delta;
    }
}

// Down, or Shift+Down, through the list from its first data row.
void keyDown(benchmark::State& state, Qt::KeyboardModifiers mods)
{
    grid::RIvuZuvuzoZuvu& g = list(static_cast<int>(state.range(0)));
    g.ClearRowSelect();
    g.SetRow(1);
    g.SetRowSelect(1, true);
    for (auto _ : state) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, mods);
        QApplication::sendEvent(&g, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Down, mods);
        QApplication::sendEvent(&g, &release);
        settle();
    }
    if (g.Row() < 2)
        state.SkipWithError("the key did not move the current row");
}

void Down(benchmark::State& state) { keyDown(state, Qt::NoModifier); }
void ShiftDown(benchmark::State& state) { keyDown(state, Qt::ShiftModifier); }

}  // namespace

BENCHMARK(CtrlWheel)->Arg(100000)->Arg(1000000)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(Down)->Arg(100000)->Arg(1000000)->Iterations(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(ShiftDown)->Arg(100000)->Arg(1000000)->Iterations(200)->Unit(benchmark::kMicrosecond);
