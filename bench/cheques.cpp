// Cheques: spelling 100,000 amounts with TNumberToText (US English) against
// ICU's rule-based spell-out format, and a batch of 1,000 cheques printed to
// PDF files through the hidden cheque window (layout loaded, words spelled,
// page laid out on the preview, printed, amount stored on the contact)
// against a plain QPdfWriter loop drawing the same texts at the same places.
// The ratios are printed at the end. Runs offscreen.
#include "appcore/schema.h"
#include "bench_app.h"
#include "documents/chequeform.h"
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

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kAmounts = 100000;
constexpr int kCheques = 1000;

double spellSeconds = 0, icuSeconds = 0, windowSeconds = 0, plainSeconds = 0;

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
        const auto start = std::chrono::steady_clock::now();
        TNumberToText t;
        for (long double n : v) {
            t.Number = n;
            bytes += t.Text().size();
        }
        spellSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
        const auto start = std::chrono::steady_clock::now();
        for (long double n : v) {
            icu::UnicodeString out;
            format.format(int64_t(n), out);
            std::string utf8;
            out.toUTF8String(utf8);
            chars += utf8.size();
        }
        icuSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
        for (int i = 0; i < kCheques; ++i) {
            Customer c;
            const std::string name = "Payee number " + std::to_string(i + 1);
            c.name = name.c_str();
            c.amount = real4(100 + i * 7.25);
            contacts.push_back(insert(c).getOid());
        }
        database.commit();
    }
};

PrintFixture& fixture()
{
    static PrintFixture f;
    return f;
}

platform::PdfPrinter& pdfIn(const QString& folder)
{
    platform::PdfPrinterSetup setup;
    setup.folder = folder;
    setup.resolution = 600;
    return platform::UsePdfPrinter(setup);
}

void BM_WindowBatch(benchmark::State& state)
{
    PrintFixture& f = fixture();
    for (auto _ : state) {
        QTemporaryDir out;
        pdfIn(out.path());
        const auto start = std::chrono::steady_clock::now();
        TChequeForm form;
        for (oid_t oid : f.contacts) {
            dbCursor<Customer> c;
            c.at(dbReference<Customer>(oid));
            form.name->setText(QString::fromUtf8(c->name));
            form.contact = oid;
            form.amount->setText(QString::number(double(c->amount), 'f', 2));
            const dbReference<ChequeSetup> layout = c->chequeSetup;
            database.commit();
            form.loadSettingList(layout);
            if (!form.printActionExecute()) state.SkipWithError("a cheque did not print");
        }
        windowSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetItemsProcessed(state.iterations() * kCheques);
}

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
        QTemporaryDir out;
        const auto start = std::chrono::steady_clock::now();
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
        plainSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetItemsProcessed(state.iterations() * kCheques);
}

}  // namespace

BENCHMARK(BM_NumberToText)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IcuSpellOut)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowBatch)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainPdfWriterLoop)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (spellSeconds > 0 && icuSeconds > 0)
        std::printf("spelling %d amounts: TNumberToText %.3f s, ICU spell-out %.3f s, ratio %.2f\n", kAmounts,
                    spellSeconds, icuSeconds, spellSeconds / icuSeconds);
    if (windowSeconds > 0 && plainSeconds > 0)
        std::printf("%d cheques to PDF: hidden window %.3f s, plain QPdfWriter loop %.3f s, ratio %.2f\n", kCheques,
                    windowSeconds, plainSeconds, windowSeconds / plainSeconds);
    return 0;
}
