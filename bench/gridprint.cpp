// Laying a 10,000 x 13 grid onto preview pages and printing them to PDF,
// against drawing the same table with QTextDocument::print into a PDF. Each
// run also reports the growth of the process's peak resident memory while it
// ran (the peak is reset before each run).
#include "platform/application.h"
#include "printing/pdf_pages.h"
#include "platform/printer.h"
#include "platform/stringgrid.h"
#include "printing/pvgridprint.h"
#include "printing/pvpreview.h"

#include <QFile>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

constexpr int kRows = 10000, kCols = 13;

// The offscreen application the widgets need, made once.
void ensureApplication()
{
    static int argc = 1;
    static char name[] = "bench_gridprint";
    static char* argv[] = {name, nullptr};
    static platform::Application* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new platform::Application(argc, argv);
    }();
    (void)app;
}

QString cellText(int c, int r)
{
    return QString("R%1 C%2 text").arg(r).arg(c);
}

std::unique_ptr<platform::StringGrid> makeGrid()
{
    auto grid = std::make_unique<platform::StringGrid>();
    grid->SetColCount(kCols);
    grid->SetRowCount(kRows);
    for (int c = 0; c < kCols; ++c)
        grid->SetColWidths(c, 80);
    for (int r = 0; r < kRows; ++r) {
        grid->SetRowHeights(r, 20);
        for (int c = 0; c < kCols; ++c)
            grid->SetCells(c, r, cellText(c, r).toStdString());
    }
    return grid;
}

// The process's peak resident size in kB, and resetting it to the current size.
long peakKb()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

void resetPeak()
{
    QFile clear("/proc/self/clear_refs");
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void BM_GridToPageAndPrint(benchmark::State& state)
{
    ensureApplication();
    auto grid = makeGrid();
    QTemporaryDir dir;
    UseTestPdfPrinter(dir, QMarginsF(4, 4, 4, 4));
    long growth = 0;
    for (auto _ : state) {
        const long before = (resetPeak(), peakKb());
        TPvPreview preview;
        preview.SetOrientation(gmLandscape);
        TPvGridPrint gp;
        gp.SetPreview(&preview);
        gp.GridToPage(50, 100, 0, PvPixels, grid.get());
        benchmark::DoNotOptimize(preview.Print());
        state.counters["pages"] = preview.GetNumPages();
        growth = std::max(growth, peakKb() - before);
    }
    state.counters["peak_MB"] = growth / 1024.0;
}

void BM_TextDocumentPrint(benchmark::State& state)
{
    ensureApplication();
    QTemporaryDir dir;
    long growth = 0;
    for (auto _ : state) {
        const long before = (resetPeak(), peakKb());
        QTextDocument doc;
        QTextCursor cursor(&doc);
        QTextTable* table = cursor.insertTable(kRows, kCols);
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kCols; ++c)
                table->cellAt(r, c).firstCursorPosition().insertText(cellText(c, r));
        QPdfWriter writer(dir.filePath("doc.pdf"));
        writer.setResolution(600);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        doc.print(&writer);
        growth = std::max(growth, peakKb() - before);
    }
    state.counters["peak_MB"] = growth / 1024.0;
}

BENCHMARK(BM_GridToPageAndPrint)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_TextDocumentPrint)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
