// The table the grid file benchmarks write and read: 100,000 rows of 13
// cells of 10 to 30 characters, some holding a comma or a quote, and the
// scratch folder for their files; and their main(), on Qt's offscreen platform,
// which prints the program's summary (printSummary) after the runs.
#pragma once

#include "grid/listgrid.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 100000;
constexpr int kCols = 13;

inline QTemporaryDir& scratch()
{
    static QTemporaryDir dir;
    return dir;
}
inline QString file(const char* name) { return scratch().filePath(name); }

// Cells of 10 to 30 characters; every seventh holds a comma, every
// thirteenth a quote, so that some fields are quoted.
inline const std::vector<std::vector<std::string>>& table()
{
    static const auto t = [] {
        std::mt19937 rng(2026);
        std::vector<std::vector<std::string>> rows(kRows, std::vector<std::string>(kCols));
        for (auto& row : rows)
            for (int c = 0; c < kCols; ++c) {
                std::string s(10 + rng() % 21, ' ');
                for (char& ch : s)
                    ch = static_cast<char>('a' + rng() % 26);
                if (rng() % 7 == 0)
                    s[s.size() / 2] = ',';
                if (rng() % 13 == 0)
                    s[1] = '"';
                row[static_cast<size_t>(c)] = s;
            }
        return rows;
    }();
    return t;
}

inline void fill(grid::RIvuZuvuzoZuvu& g)
{
    g.SetColCountEx(kCols);
    g.SetRowCountEx(kRows);
    g.SetFixedCols(0);
    g.SetFixedRows(0);
    const auto& t = table();
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c)
            g.SetCells(c, r, t[static_cast<size_t>(r)][static_cast<size_t>(c)]);
}

// Set by a benchmark program that prints a summary after its runs.
inline void (*printSummary)() = nullptr;

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (printSummary)
        printSummary();
    return 0;
}
