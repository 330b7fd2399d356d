// The list grid's spreadsheet exchange on 100,000 rows of 13 cells of 10 to
// 30 characters: SaveToXLS against writing the same cells with libxlsxwriter
// directly, and LoadFromXLS against reading them with python3-openpyxl in
// its read-only mode (a child process, timed whole). The ratios (grid time /
// peer time) are printed after the runs. Runs on Qt's offscreen platform.
#include "gridtable.h"

#include <QFileInfo>
#include <QProcess>

#include <chrono>
#include <cstdio>

#include <xlsxwriter.h>

namespace {

double gridSave = 0, directWrite = 0, gridLoad = 0, openpyxlRead = 0;

// Runs work once a round and keeps the mean seconds of a round.
template <class Work>
void timeRounds(benchmark::State& state, double& seconds, Work work)
{
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        work();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    seconds = total / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * kRows * kCols);
}

void BM_GridSaveToXLS(benchmark::State& state)
{
    grid::RIvuZuvuzoZuvu g;
    fill(g);
    timeRounds(state, gridSave, [&] { g.SaveToXLS(file("grid.xlsx")); });
}

void BM_LibxlsxwriterDirect(benchmark::State& state)
{
    const auto& t = table();
    const QByteArray name = QFile::encodeName(file("direct.xlsx"));
    timeRounds(state, directWrite, [&] {
        lxw_workbook* wb = workbook_new(name.constData());
        lxw_worksheet* ws = workbook_add_worksheet(wb, "Sheet1");
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kCols; ++c)
                worksheet_write_string(ws, static_cast<lxw_row_t>(r), static_cast<lxw_col_t>(c),
                                       t[static_cast<size_t>(r)][static_cast<size_t>(c)].c_str(), nullptr);
        if (workbook_close(wb) != LXW_NO_ERROR)
            state.SkipWithError("libxlsxwriter could not write the workbook");
    });
}

void BM_GridLoadFromXLS(benchmark::State& state)
{
    if (!QFileInfo::exists(file("grid.xlsx"))) {
        grid::RIvuZuvuzoZuvu g;
        fill(g);
        g.SaveToXLS(file("grid.xlsx"));
    }
    timeRounds(state, gridLoad, [&] {
        grid::RIvuZuvuzoZuvu g;
        g.IncludeFixedCells = true;
        g.LoadFromXLS(file("grid.xlsx"));
        benchmark::DoNotOptimize(g.Cells(1, kRows / 2));
    });
}

void BM_OpenpyxlReadOnly(benchmark::State& state)
{
    const char* script = "import sys, openpyxl\n"
                         "wb = openpyxl.load_workbook(sys.argv[1], read_only=True)\n"
                         "n = sum(1 for row in wb.active.iter_rows(values_only=True) for v in row if v is not None)\n"
                         "print(n)\n";
    timeRounds(state, openpyxlRead, [&] {
        QProcess p;
        p.start("/usr/bin/python3", {"-c", script, file("grid.xlsx")});
        if (!p.waitForFinished(-1) || p.exitCode() != 0 ||
            p.readAllStandardOutput().trimmed().toLongLong() != static_cast<qlonglong>(kRows) * kCols)
            state.SkipWithError("openpyxl did not read every cell");
    });
}

void printRatios()
{
    if (gridSave > 0 && directWrite > 0)
        std::printf("SaveToXLS %.2f s, libxlsxwriter directly %.2f s: ratio %.2f\n", gridSave, directWrite,
                    gridSave / directWrite);
    if (gridLoad > 0 && openpyxlRead > 0)
        std::printf("LoadFromXLS %.2f s, openpyxl read-only (child process) %.2f s: ratio %.2f\n", gridLoad,
                    openpyxlRead, gridLoad / openpyxlRead);
}

const bool summary = (printSummary = printRatios, true);

}  // namespace

BENCHMARK(BM_GridSaveToXLS)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_LibxlsxwriterDirect)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_GridLoadFromXLS)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_OpenpyxlReadOnly)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
