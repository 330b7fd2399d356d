// Writing and reading 100,000 rows of 13 cells of 10 to 30 characters as
// CSV with the list grid, against libcsv (reading) and a plain QTextStream
// loop (writing and reading) over the same cells, in MB/s of the file each
// case wrote or read. Every peer does the grid's work: the writers quote a
// field holding a comma, a quote or a line break, and the readers split at
// commas outside quotes and take the quotes off. Each case
// runs kRounds times, each round timed on its own; after the runs the
// medians are printed with the grid's ratio to its peers. Every reader is
// timed under one rule, twice per round: the load alone, from opening the
// file to holding all its cells, and the whole, which adds making the empty
// holder of the cells before (the grid; the peers' row lists and parser)
// and freeing it with its cells after. Runs on Qt's offscreen platform.
#include "gridtable.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <benchmark/benchmark.h>
#include <csv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 5;

qint64 fileSize(const QString& name) { return QFileInfo(name).size(); }

// Seconds of every round of every case, by case.
std::map<std::string, std::vector<double>>& rounds()
{
    static std::map<std::string, std::vector<double>> r;
    return r;
}

// The bytes of the file each case wrote or read, by case: a case's rate is
// that of its own file.
std::map<std::string, qint64>& caseBytes()
{
    static std::map<std::string, qint64> b;
    return b;
}

// Tells the benchmark and the summary the size of the case's file.
void setBytes(benchmark::State& state, const std::string& Name, const QString& File)
{
    const qint64 bytes = fileSize(File);
    caseBytes()[Name] = bytes;
    state.SetBytesProcessed(state.iterations() * bytes);
}

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Times Work as one round of the writing case Name and tells the benchmark its time.
template <class Work>
void timeRound(benchmark::State& state, const char* Name, Work work)
{
    const auto start = Clock::now();
    work();
    const double seconds = secondsSince(start);
    state.SetIterationTime(seconds);
    rounds()[Name].push_back(seconds);
}

// The case name under which the whole of a reading round is kept.
std::string wholeName(const std::string& name) { return name + " whole"; }

// Times one round of the reading case Name: make() returns the empty holder
// of the cells, load(holder) reads the file into it, then the holder is freed.
// The load alone is the benchmark's time; the whole is kept beside it.
template <class Make, class Load>
void timeLoadRound(benchmark::State& state, const char* Name, Make make, Load load)
{
    const auto wholeStart = Clock::now();
    auto holder = make();
    const auto loadStart = Clock::now();
    load(*holder);
    const double loadSeconds = secondsSince(loadStart);
    holder.reset();
    const double wholeSeconds = secondsSince(wholeStart);
    state.SetIterationTime(loadSeconds);
    rounds()[Name].push_back(loadSeconds);
    rounds()[wholeName(Name)].push_back(wholeSeconds);
}

void BM_GridSaveToCSV(benchmark::State& state)
{
    grid::RIvuZuvuzoZuvu g;
    fill(g);
    for (auto _ : state)
        timeRound(state, __func__, [&] { g.SaveToCSV(file("grid.csv")); });
    setBytes(state, __func__, file("grid.csv"));
}

// A field as the grid writes it: quoted, with its quotes doubled, when it
// holds a comma, a quote or a line break.
bool needsQuotes(const QString& s)
{
    for (const QChar ch : s)
        if (ch == u',' || ch == u'"' || ch == u'\r' || ch == u'\n')
            return true;
    return false;
}

void BM_TextStreamWrite(benchmark::State& state)
{
    const auto& t = table();
    for (auto _ : state)
        timeRound(state, __func__, [&] {
            QFile f(file("stream.csv"));
            f.open(QIODevice::WriteOnly);
            QTextStream out(&f);
            for (const auto& row : t) {
                for (int c = 0; c < kCols; ++c) {
                    if (c)
                        out << ',';
                    const QString s = QString::fromStdString(row[static_cast<size_t>(c)]);
                    if (needsQuotes(s))
                        out << '"' << QString(s).replace(QStringLiteral("\""), QStringLiteral("\"\"")) << '"';
                    else
                        out << s;
                }
                out << "\r\n";
            }
        });
    setBytes(state, __func__, file("stream.csv"));
}

void BM_GridLoadFromCSV(benchmark::State& state)
{
    {
        grid::RIvuZuvuzoZuvu g;
        fill(g);
        g.SaveToCSV(file("grid.csv"));
    }
    for (auto _ : state)
        timeLoadRound(
            state, __func__,
            [] {
                auto g = std::make_unique<grid::RIvuZuvuzoZuvu>();
                g->IncludeFixedCells = true;
                return g;
            },
            [](grid::RIvuZuvuzoZuvu& g) {
                g.LoadFromCSV(file("grid.csv"));
                benchmark::DoNotOptimize(g.Cells(1, kRows / 2));
            });
    setBytes(state, __func__, file("grid.csv"));
}

// libcsv's parser and the rows it has read, kept whole as the grid keeps its cells.
struct CsvTable {
    csv_parser parser;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    CsvTable() { csv_init(&parser, CSV_APPEND_NULL); }
    ~CsvTable() { csv_free(&parser); }
    CsvTable(const CsvTable&) = delete;
    CsvTable& operator=(const CsvTable&) = delete;
};

void BM_LibcsvRead(benchmark::State& state)
{
    for (auto _ : state)
        timeLoadRound(
            state, __func__, [] { return std::make_unique<CsvTable>(); },
            [](CsvTable& t) {
                QFile f(file("grid.csv"));
                f.open(QIODevice::ReadOnly);
                const QByteArray bytes = f.readAll();
                const auto field = [](void* s, size_t n, void* data) {
                    static_cast<CsvTable*>(data)->row.emplace_back(static_cast<const char*>(s), n);
                };
                const auto rowEnd = [](int, void* data) {
                    auto* c = static_cast<CsvTable*>(data);
                    c->rows.push_back(std::move(c->row));
                    c->row.clear();
                };
                csv_parse(&t.parser, bytes.constData(), static_cast<size_t>(bytes.size()), field, rowEnd, &t);
                csv_fini(&t.parser, field, rowEnd, &t);
                benchmark::DoNotOptimize(t.rows.size());
            });
    setBytes(state, __func__, file("grid.csv"));
}

// The fields of the record that starts with Line, split at commas outside
// quotes, quotes taken off and doubled ones made single, as the grid and
// libcsv read them; a quoted line break takes the next line of In.
QStringList splitRecord(QString Line, QTextStream& In)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0;; ++i) {
        if (i == Line.size()) {
            if (!quoted || !In.readLineInto(&Line))
                break;
            field += u'\n';
            i = -1;
            continue;
        }
        const QChar ch = Line[i];
        if (quoted) {
            if (ch != u'"')
                field += ch;
            else if (i + 1 < Line.size() && Line[i + 1] == u'"')
                field += Line[++i];
            else
                quoted = false;
        } else if (ch == u'"' && field.isEmpty()) {
            quoted = true;
        } else if (ch == u',') {
            fields.push_back(std::move(field));
            field.clear();
        } else {
            field += ch;
        }
    }
    fields.push_back(std::move(field));
    return fields;
}

void BM_TextStreamRead(benchmark::State& state)
{
    for (auto _ : state)
        timeLoadRound(
            state, __func__, [] { return std::make_unique<std::vector<QStringList>>(); },
            [](std::vector<QStringList>& rows) {
                QFile f(file("grid.csv"));
                f.open(QIODevice::ReadOnly);
                QTextStream in(&f);
                QString line;
                while (in.readLineInto(&line))
                    rows.push_back(splitRecord(line, in));
                benchmark::DoNotOptimize(rows.size());
            });
    setBytes(state, __func__, file("grid.csv"));
}

double medianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The median of the rounds kept under name in MB/s of the file of the case
// fileCase (0 when it did not run).
double medianRate(const std::string& name, const std::string& fileCase)
{
    const auto found = rounds().find(name);
    const auto bytes = caseBytes().find(fileCase);
    if (found == rounds().end() || bytes == caseBytes().end())
        return 0;
    const double seconds = medianOf(found->second);
    return seconds > 0 ? static_cast<double>(bytes->second) / seconds / 1e6 : 0;
}

void printRatios()
{
    // ours and peer name the cases whose files give the bytes; with Whole the
    // whole of the two readers' rounds is compared
    const auto line = [](const std::string& ours, const std::string& peer, bool Whole = false) {
        const std::string a = Whole ? wholeName(ours) : ours, b = Whole ? wholeName(peer) : peer;
        const double rateA = medianRate(a, ours), rateB = medianRate(b, peer);
        if (rateA > 0 && rateB > 0)
            std::printf("%-26s %6.0f MB/s   %-26s %6.0f MB/s   ratio %.2f\n", a.c_str(), rateA, b.c_str(), rateB,
                        rateA / rateB);
    };
    std::printf("\nMedians of %d rounds; a reader's \"whole\" adds making and freeing what holds the cells:\n",
                kRounds);
    for (const char* peer : {"BM_LibcsvRead", "BM_TextStreamRead"}) {
        line("BM_GridLoadFromCSV", peer);
        line("BM_GridLoadFromCSV", peer, true);
    }
    line("BM_GridSaveToCSV", "BM_TextStreamWrite");
}

const bool summary = (printSummary = printRatios, true);

}  // namespace

BENCHMARK(BM_GridSaveToCSV)->Unit(benchmark::kMillisecond)->Iterations(kRounds)->UseManualTime();
BENCHMARK(BM_TextStreamWrite)->Unit(benchmark::kMillisecond)->Iterations(kRounds)->UseManualTime();
BENCHMARK(BM_GridLoadFromCSV)->Unit(benchmark::kMillisecond)->Iterations(kRounds)->UseManualTime();
BENCHMARK(BM_LibcsvRead)->Unit(benchmark::kMillisecond)->Iterations(kRounds)->UseManualTime();
BENCHMARK(BM_TextStreamRead)->Unit(benchmark::kMillisecond)->Iterations(kRounds)->UseManualTime();
