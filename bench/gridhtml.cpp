// Writing 100,000 rows of 13 cells as an HTML table with the list grid
// (colours, fonts and escaping included), against writing the same table
// with a plain QTextStream loop, in MB/s of file. Runs on Qt's offscreen
// platform.
#include "gridtable.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <benchmark/benchmark.h>

namespace {

void BM_GridSaveToHTML(benchmark::State& state)
{
    grid::RIvuZuvuzoZuvu g;
    fill(g);
    for (auto _ : state)
        g.SaveToHTML(file("grid.html"));
    state.SetBytesProcessed(state.iterations() * QFileInfo(file("grid.html")).size());
}

void BM_TextStreamHTML(benchmark::State& state)
{
    const auto& t = table();
    for (auto _ : state) {
        QFile f(file("stream.html"));
        f.open(QIODevice::WriteOnly);
        QTextStream out(&f);
        out << "<table border=\"1\" cellspacing=\"0\" cellpadding=\"0\" Width=\"100%\">\r\n";
        for (const auto& row : t) {
            out << "<tr>\r\n";
            for (const std::string& cell : row)
                out << "<td nowrap BGCOLOR=\"#FFFFFF\"><Font Color=\"#000000\">"
                    << QString::fromStdString(cell).toHtmlEscaped() << "</Font></td>\r\n";
            out << "</tr>\r\n";
        }
        out << "</table><p>\r\n";
    }
    state.SetBytesProcessed(state.iterations() * QFileInfo(file("stream.html")).size());
}

}  // namespace

BENCHMARK(BM_GridSaveToHTML)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TextStreamHTML)->Unit(benchmark::kMillisecond)->Iterations(3);
