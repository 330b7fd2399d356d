// The list grid printing itself: Print of a 10,000 x 13 grid to the PDF
// printer, and its counting pass alone, against QTextDocument printing the
// same table, given as an HTML table, to a PDF QPrinter.
#include "grid/listgrid.h"
#include "platform/application.h"
#include "platform/printer.h"
#include "printing/pdf_pages.h"

#include <QPrinter>
#include <QTemporaryDir>
#include <QTextDocument>
#include <benchmark/benchmark.h>

namespace {

constexpr int kRows = 10000, kCols = 13;

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "bench_gridownprint";
    static char* argv[] = {name, nullptr};
    static platform::Application* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new platform::Application(argc, argv);
    }();
    (void)app;
}

std::string cellText(int c, int r) { return "R" + std::to_string(r) + " C" + std::to_string(c); }

std::unique_ptr<grid::RIvuZuvuzoZuvu> makeGrid()
{
    auto g = std::make_unique<grid::RIvuZuvuzoZuvu>();
    g->SetColCountEx(kCols);
    g->SetRowCountEx(kRows);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c)
            g->SetCellEx(c, r, cellText(c, r));
    g->PrintSettings->Borders = grid::pbSingle;
    g->PrintSettings->Orientation = grid::poLandscape;
    g->PrintSettings->FitToPage = grid::fpShrink;
    return g;
}

void BM_GridPrint(benchmark::State& state)
{
    ensureApplication();
    auto g = makeGrid();
    QTemporaryDir dir;
    UseTestPdfPrinter(dir, QMarginsF(4, 4, 4, 4));
    for (auto _ : state)
        g->Print();
    state.counters["pages"] = g->PrintPageCount();
}

void BM_GridCountingPass(benchmark::State& state)
{
    ensureApplication();
    auto g = makeGrid();
    QTemporaryDir dir;
    UseTestPdfPrinter(dir, QMarginsF(4, 4, 4, 4));
    g->OnPrintStart = [](grid::RIvuZuvuzoZuvu*, int, int& From, int&) { From = 0; };  // count, print nothing
    for (auto _ : state)
        g->Print();
    state.counters["pages"] = g->PrintPageCount();
}

void BM_TextDocumentHtmlPrint(benchmark::State& state)
{
    ensureApplication();
    QTemporaryDir dir;
    for (auto _ : state) {
        QString html = QStringLiteral("<table border=1 cellspacing=0>");
        for (int r = 0; r < kRows; ++r) {
            html += QStringLiteral("<tr>");
            for (int c = 0; c < kCols; ++c)
                html += QStringLiteral("<td>%1</td>").arg(QString::fromStdString(cellText(c, r)));
            html += QStringLiteral("</tr>");
        }
        html += QStringLiteral("</table>");
        QTextDocument doc;
        doc.setHtml(html);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("doc.pdf"));
        printer.setPageOrientation(QPageLayout::Landscape);
        doc.print(&printer);
    }
}

BENCHMARK(BM_GridPrint)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_GridCountingPass)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TextDocumentHtmlPrint)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
