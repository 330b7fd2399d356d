// The string grid against QTableView over a QStandardItemModel on the same
// data: filling 100,000 rows of 13 columns, and scrolling through all of them a
// page at a time with a repaint per page. Runs on Qt's offscreen platform.
#include "platform/stringgrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QThread>
#include <QWindow>
#include <benchmark/benchmark.h>
#include <memory>
#include <string>

namespace {

constexpr int kRows = 100000;
constexpr int kCols = 13;

// Shows a widget and waits until the platform exposes it, so that repaints really paint.
void showExposed(QWidget& w)
{
    w.show();
    for (int i = 0; i < 200 && !(w.windowHandle() && w.windowHandle()->isExposed()); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    QCoreApplication::processEvents();
}

std::string cellText(int col, int row) { return "R" + std::to_string(row) + " C" + std::to_string(col); }

void fillGrid(platform::StringGrid& g)
{
    g.SetColCount(kCols);
    g.SetRowCount(kRows + 1);
    for (int c = 0; c < kCols; ++c) g.SetCells(c, 0, "Column " + std::to_string(c));
    for (int r = 1; r <= kRows; ++r)
        for (int c = 0; c < kCols; ++c) g.SetCells(c, r, cellText(c, r));
}

void fillModel(QStandardItemModel& m)
{
    m.setColumnCount(kCols);
    m.setRowCount(kRows);
    for (int c = 0; c < kCols; ++c) m.setHeaderData(c, Qt::Horizontal, QString("Column %1").arg(c));
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c) m.setItem(r, c, new QStandardItem(QString::fromStdString(cellText(c, r + 1))));
}

void BM_StringGridFill(benchmark::State& state)
{
    for (auto _ : state) {
        platform::StringGrid g;
        fillGrid(g);
        benchmark::DoNotOptimize(g.Cells(5, kRows / 2));
    }
    state.SetItemsProcessed(state.iterations() * kRows * kCols);
}
BENCHMARK(BM_StringGridFill)->Unit(benchmark::kMillisecond);

void BM_TableViewFill(benchmark::State& state)
{
    for (auto _ : state) {
        QStandardItemModel m;
        fillModel(m);
        QTableView view;
        view.setModel(&m);
        benchmark::DoNotOptimize(m.item(kRows / 2, 5));
    }
    state.SetItemsProcessed(state.iterations() * kRows * kCols);
}
BENCHMARK(BM_TableViewFill)->Unit(benchmark::kMillisecond);

void BM_StringGridScroll(benchmark::State& state)
{
    platform::StringGrid g;
    fillGrid(g);
    g.resize(1000, 600);
    showExposed(g);
    int pages = 0;
    long long painted = 0;
    for (auto _ : state) {
        for (int top = 1; top < kRows; top += g.VisibleRowCount()) {
            g.SetTopRow(top);
            g.viewport()->repaint();
            painted += g.LastPaintCellCount();
            ++pages;
        }
    }
    state.counters["pages"] = benchmark::Counter(pages, benchmark::Counter::kIsRate);
    state.counters["cells_per_page"] = pages ? double(painted) / pages : 0;
}
BENCHMARK(BM_StringGridScroll)->Unit(benchmark::kMillisecond);

void BM_TableViewScroll(benchmark::State& state)
{
    QStandardItemModel m;
    fillModel(m);
    QTableView view;
    view.setModel(&m);
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.verticalHeader()->setDefaultSectionSize(25);
    view.resize(1000, 600);
    showExposed(view);
    QScrollBar* bar = view.verticalScrollBar();
    int pages = 0;
    for (auto _ : state) {
        for (int v = 0; v < bar->maximum(); v += bar->pageStep()) {
            bar->setValue(v);
            view.viewport()->repaint();
            ++pages;
        }
    }
    state.counters["pages"] = benchmark::Counter(pages, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TableViewScroll)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
