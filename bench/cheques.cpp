// Cheques: spelling 100,000 amounts with TNumberToText (US English) against
// ICU's rule-based spell-out format, and a batch of 1,000 cheques printed to
// PDF files through the hidden cheque window's batch (layouts loaded, words
// spelled, page laid out on the preview, printed, amount and layout stored on
// the contact and committed, files synced) against a plain QPdfWriter loop
// drawing the same texts at the same places. The batch runs twice over: on
// contacts that have had a cheque from that layout before (what they store
// is what they hold), and on contacts whose layout is cleared before each run,
// so that every cheque changes its contact and commits to the disk.
// Each case runs several times, the repetitions of all cases interleaved at
// random, and the ratios of the medians are printed at the end. Runs offscreen;
// the files go to the temporary folder (TMPDIR), which should be on a disk.
#include "appcore/schema.h"
#include "bench_app.h"
#include "documents/chequeform.h"
#include "documents/layoutfields.h"
#include "documents/numberconvert.h"
#include "platform/dialogs.h"
#include "platform/printer.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <unicode/locid.h>
#include <unicode/rbnf.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kAmounts = 100000;
constexpr int kCheques = 1000;

constexpr int kSpellRuns = 9, kPrintRuns = 5;

// The wall-clock and processor seconds of each run of a case. The processor
// time leaves out the waits for the disk, such as the syncs that make each
// cheque's record durable.
struct Runs {
    std::vector<double> wall, cpu;
};
Runs spellRuns, icuRuns, windowRuns, storingRuns, plainRuns;

// Times one run from its construction to stop().
class RunTimer {
public:
    void stop(Runs& runs) const
    {
        runs.wall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count());
        runs.cpu.push_back(double(std::clock() - cpu_) / CLOCKS_PER_SEC);
    }

private:
    std::chrono::steady_clock::time_point wall_ = std::chrono::steady_clock::now();
    std::clock_t cpu_ = std::clock();
};

double median(std::vector<double> v)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

std::vector<long double> amounts()
{
    std::vector<long double> v;
    uint64_t x = 12345;
    for (int i = 0; i < kAmounts; ++i) {
        x = x * 6364136223846793005ULL + 1442695040888963407ULL;
        v.push_back(static_cast<long double>((x >> 33) % 2147483648ULL));
    }
    return v;
}

void BM_NumberToText(benchmark::State& state)
{
    const auto v = amounts();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const RunTimer timer;
        TNumberToText t;
        for (long double n : v) {
            t.Number = n;
            bytes += t.Text().size();
        }
        timer.stop(spellRuns);
    }
    benchmark::DoNotOptimize(bytes);
    state.SetItemsProcessed(state.iterations() * kAmounts);
}

void BM_IcuSpellOut(benchmark::State& state)
{
    const auto v = amounts();
    UErrorCode status = U_ZERO_ERROR;
    icu::RuleBasedNumberFormat format(icu::URBNF_SPELLOUT, icu::Locale::getUS(), status);
    if (U_FAILURE(status)) {
        state.SkipWithError("no spell-out rules");
        return;
    }
    std::size_t chars = 0;
    for (auto _ : state) {
        const RunTimer timer;
        for (long double n : v) {
            icu::UnicodeString out;
            format.format(int64_t(n), out);
            std::string utf8;
            out.toUTF8String(utf8);
            chars += utf8.size();
        }
        timer.stop(icuRuns);
    }
    benchmark::DoNotOptimize(chars);
    state.SetItemsProcessed(state.iterations() * kAmounts);
}

struct PrintFixture {
    BenchApplication base;
    std::vector<oid_t> contacts;
    platform::ScriptedDialogs dialogs;

    PrintFixture()
    {
        TChequeForm maker;
        maker.loadSettingList({});  // the default layout
        const dbReference<ChequeSetup> layout = maker.SelectedSetting();
        for (int i = 0; i < kCheques; ++i) {
            Customer c;
            const std::string name = "Payee number " + std::to_string(i + 1);
            c.name = name.c_str();
            c.amount = real4(100 + i * 7.25);
            c.chequeSetup = layout;
            contacts.push_back(insert(c).getOid());
        }
        database.commit();
    }

    // Gives every contact the layout reference `layout`, committed.
    void setLayouts(dbReference<ChequeSetup> layout)
    {
        for (oid_t oid : contacts) {
            dbCursor<Customer> c(dbCursorForUpdate);
            c.at(dbReference<Customer>(oid));
            zarvoBuffer texts;
            KeepCustomerTexts(*c, texts);
            c->chequeSetup = layout;
            c.update();
        }
        database.commit();
    }
};

PrintFixture& fixture()
{
    static PrintFixture f;
    return f;
}

// A fresh folder for one run's PDF files. The folders stay until the end of
// the program: files deleted between runs would leave the file system
// stepping over their freshly freed inodes when the next run creates its
// files, a cost of the set-up that would fall on whichever case runs next.
QString outputFolder()
{
    static std::vector<std::unique_ptr<QTemporaryDir>> folders;
    folders.push_back(std::make_unique<QTemporaryDir>());
    return folders.back()->path();
}

platform::PdfPrinter& pdfIn(const QString& folder)
{
    platform::PdfPrinterSetup setup;
    setup.folder = folder;
    setup.resolution = 600;
    return platform::UsePdfPrinter(setup);
}

void runBatch(benchmark::State& state, Runs& runs, bool changing)
{
    PrintFixture& f = fixture();
    for (auto _ : state) {
        if (changing) f.setLayouts({});  // each cheque stores the layout again
        pdfIn(outputFolder());
        const RunTimer timer;
        TChequeForm form;
        if (form.printBatch(f.contacts) != kCheques) state.SkipWithError("a cheque did not print");
        timer.stop(runs);
    }
    state.SetItemsProcessed(state.iterations() * kCheques);
}

void BM_WindowBatch(benchmark::State& state) { runBatch(state, windowRuns, false); }
void BM_WindowBatchStoring(benchmark::State& state) { runBatch(state, storingRuns, true); }

// The same seven texts, fonts and millimetre places as the default layout.
void BM_PlainPdfWriterLoop(benchmark::State& state)
{
    PrintFixture& f = fixture();
    struct Item {
        const char* face;
        int pixels;
        double left, top;
    };
    const Item items[] = {{"URW Gothic", 21, 20, 30},   {"Liberation Mono", 19, 140, 38},
                          {"URW Gothic", 16, 30, 38},   {"URW Gothic", 16, 10, 45},
                          {"Liberation Mono", 15, 125, 13}, {"Liberation Mono", 15, 140, 13},
                          {"Liberation Mono", 15, 155, 13}};
    for (auto _ : state) {
        const QDir out(outputFolder());
        const RunTimer timer;
        int n = 0;
        for (oid_t oid : f.contacts) {
            QPdfWriter pdf(out.filePath(QString("plain-%1.pdf").arg(++n)));
            pdf.setResolution(600);
            pdf.setPageSize(QPageSize(QPageSize::A4));
            pdf.setPageMargins(QMarginsF());
            QPainter p(&pdf);
            const QString texts[] = {QString("Payee number %1").arg(oid), "1,234.12",
                                     "ONE THOUSAND TWO HUNDRED AND THIRTY", "FOUR DOLLARS AND TWELVE CENTS", "7",
                                     "12", "2026"};
            for (int i = 0; i < 7; ++i) {
                QFont font(items[i].face);
                font.setPixelSize(items[i].pixels * 600 / 96);
                p.setFont(font);
                const QFontMetrics m(font, &pdf);
                p.drawText(QPointF(items[i].left / 25.4 * 600, items[i].top / 25.4 * 600 + m.ascent()), texts[i]);
            }
        }
        timer.stop(plainRuns);
    }
    state.SetItemsProcessed(state.iterations() * kCheques);
}

// One timed run per iteration, repeated; only the aggregates are reported.
void repeated(benchmark::internal::Benchmark* b, int runs)
{
    b->Iterations(1)->Repetitions(runs)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)->UseRealTime();
}

}  // namespace

BENCHMARK(BM_NumberToText)->Apply([](auto* b) { repeated(b, kSpellRuns); });
BENCHMARK(BM_IcuSpellOut)->Apply([](auto* b) { repeated(b, kSpellRuns); });
BENCHMARK(BM_WindowBatch)->Apply([](auto* b) { repeated(b, kPrintRuns); });
BENCHMARK(BM_WindowBatchStoring)->Apply([](auto* b) { repeated(b, kPrintRuns); });
BENCHMARK(BM_PlainPdfWriterLoop)->Apply([](auto* b) { repeated(b, kPrintRuns); });

namespace {

void printRatio(const std::string& what, const char* ours, const Runs& ourRuns, const char* peer, const Runs& peerRuns)
{
    const double a = median(ourRuns.wall), b = median(peerRuns.wall);
    const double ac = median(ourRuns.cpu), bc = median(peerRuns.cpu);
    if (a > 0 && b > 0 && bc > 0)
        std::printf("%s: %s %.3f s, %s %.3f s (medians of %zu and %zu runs), ratio %.2f; "
                    "processor time %.3f s and %.3f s, ratio %.2f\n",
                    what.c_str(), ours, a, peer, b, ourRuns.wall.size(), peerRuns.wall.size(), a / b, ac, bc, ac / bc);
}

}  // namespace

int main(int argc, char** argv)
{
    // Repetitions of the cases are interleaved, so that a busy spell of the
    // machine does not fall on one side only; a flag given on the command line wins.
    std::vector<char*> args(argv, argv + argc);
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    if (std::none_of(args.begin(), args.end(),
                     [](const char* a) { return std::strncmp(a, "--benchmark_enable_random_interleaving", 38) == 0; }))
        args.insert(args.begin() + 1, interleave);
    int count = int(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printRatio("spelling " + std::to_string(kAmounts) + " amounts", "TNumberToText", spellRuns, "ICU spell-out",
               icuRuns);
    printRatio(std::to_string(kCheques) + " cheques to PDF", "hidden window", windowRuns, "plain QPdfWriter loop",
               plainRuns);
    printRatio(std::to_string(kCheques) + " cheques to PDF, each changing its contact", "hidden window",
               storingRuns, "plain QPdfWriter loop", plainRuns);
    return 0;
}
