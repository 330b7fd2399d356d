// A dense list page (2,600 objects: text boxes, rules and filled rows, as the
// list print lays them out) recorded on the preview canvas, rendered and
// painted by the page image at zoom 100 and 400, against the same items drawn
// straight onto an image of the same size with QPainter; and a page turn: the
// next page of a 20-page document shown at zoom 100. Every case runs five
// times; the ratios to the direct painter are printed from the medians.
#include "platform/screen.h"
#include "printing/pvpreview.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>

namespace {

constexpr int kRows = 100;     // 100 rows x (24 text boxes + 1 rule + 1 fill) = 2,600 objects
constexpr int kColumns = 24;
constexpr long double kRowMm = 2.5L, kColMm = 7.5L;

struct Item {
    enum Kind { Text, Rule, Fill } kind;
    long double x1, y1, x2, y2;
    QString text;
};

std::vector<Item> listPage()
{
    std::vector<Item> items;
    for (int r = 0; r < kRows; ++r) {
        const long double y = 20 + r * kRowMm;
        if (r % 2) items.push_back({Item::Fill, 15, y, 15 + kColumns * kColMm, y + kRowMm, {}});
        else items.push_back({Item::Fill, 15, y, 15, y, {}});  // keeps the count per row even
        for (int c = 0; c < kColumns; ++c)
            items.push_back({Item::Text, 15 + c * kColMm, y, 15 + (c + 1) * kColMm, y + kRowMm,
                             QStringLiteral("R%1C%2").arg(r).arg(c)});
        items.push_back({Item::Rule, 15, y + kRowMm, 15 + kColumns * kColMm, y + kRowMm, {}});
    }
    return items;
}

void record(TPvPreview& pv, const std::vector<Item>& items)
{
    TPvCanvas& c = pv.Canvas();
    c.Font.SetSize(6);
    for (const Item& it : items) {
        switch (it.kind) {
        case Item::Text: c.TextBox(it.x1, it.y1, it.x2, it.y2, it.text, taLeftJustify); break;
        case Item::Rule: c.Line(it.x1, it.y1, it.x2, it.y2); break;
        case Item::Fill:
            c.Brush.SetColor(platform::clSilver);
            c.FillRect(it.x1, it.y1, it.x2, it.y2);
            c.Brush.SetColor(platform::clWhite);
            break;
        }
    }
}

void BM_PreviewPage(benchmark::State& state)
{
    const int zoom = int(state.range(0));
    const std::vector<Item> items = listPage();
    TPvPreview pv;
    pv.resize(800, 600);
    pv.SetZoom(zoom);
    QImage target(pv.PageImage().size(), QImage::Format_RGB32);
    for (auto _ : state) {
        pv.Clear();
        record(pv, items);
        pv.UpdatePreview();
        pv.PageImage().render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["objects"] = double(pv.CurrentPage()->Objects.size());
}

// Turning to the next page of a 20-page document (from the last, back to the
// first) and painting it: the pages are recorded before.
void BM_PreviewPageTurn(benchmark::State& state)
{
    constexpr int kPages = 20;
    const std::vector<Item> items = listPage();
    TPvPreview pv;
    pv.resize(800, 600);
    pv.SetZoom(int(state.range(0)));
    for (int p = 0; p < kPages; ++p) {
        if (p > 0) pv.NewPage();
        record(pv, items);
    }
    pv.FirstPage();
    pv.UpdatePreview();
    QImage target(pv.PageImage().size(), QImage::Format_RGB32);
    pv.PageImage().render(&target);
    for (auto _ : state) {
        if (pv.CurrentPageNum() < kPages)
            pv.NextPage();
        else
            pv.FirstPage();
        pv.PageImage().render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["pages"] = pv.GetNumPages();
}

// Repainting the page image alone (a scroll or an expose), the page already rendered.
void BM_PreviewRepaint(benchmark::State& state)
{
    TPvPreview pv;
    pv.resize(800, 600);
    pv.SetZoom(int(state.range(0)));
    record(pv, listPage());
    pv.UpdatePreview();
    QImage target(pv.PageImage().size(), QImage::Format_RGB32);
    for (auto _ : state) {
        pv.PageImage().render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}

void BM_DirectPainter(benchmark::State& state)
{
    const int zoom = int(state.range(0));
    const std::vector<Item> items = listPage();
    const long double f = platform::ScreenPixelsPerInch() / 25.4L * zoom / 100;
    TPvPreview pv;
    pv.SetZoom(zoom);
    QImage target(pv.PageImage().size(), QImage::Format_RGB32);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(std::max(1, int(6 * platform::ScreenPixelsPerInch() / 72.0 * zoom / 100)));
    auto px = [&](long double mm) { return int(std::lrint(double(mm * f))) + 21; };
    for (auto _ : state) {
        target.fill(Qt::white);
        QPainter p(&target);
        p.setFont(font);
        for (const Item& it : items) {
            const QRect r(QPoint(px(it.x1), px(it.y1)), QPoint(px(it.x2) - 1, px(it.y2) - 1));
            switch (it.kind) {
            case Item::Text:
                p.setPen(Qt::black);
                p.drawRect(r);
                p.drawText(r, Qt::AlignLeft | Qt::TextWordWrap, it.text);
                break;
            case Item::Rule: p.drawLine(r.topLeft(), QPoint(px(it.x2), px(it.y1))); break;
            case Item::Fill: p.fillRect(r, Qt::lightGray); break;
            }
        }
        benchmark::DoNotOptimize(target.constBits());
    }
}

constexpr int kRepetitions = 5;
BENCHMARK(BM_PreviewPage)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_PreviewPageTurn)->Arg(100)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_PreviewRepaint)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_DirectPainter)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// The console report, and at its end each case's median against the direct
// painter's at the same zoom.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians_[{run.run_name.function_name, run.run_name.args}] = run.GetAdjustedRealTime();
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\nMedians of %d runs, against the direct painter at the same zoom:\n", kRepetitions);
        for (const auto& [name, ms] : medians_) {
            const auto peer = medians_.find({"BM_DirectPainter", name.second});
            if (name.first == "BM_DirectPainter" || peer == medians_.end()) continue;
            std::printf("  %-20s zoom %-4s %8.2f ms   direct %7.2f ms   ratio %.2f\n", name.first.c_str(),
                        name.second.c_str(), ms, peer->second, ms / peer->second);
        }
    }

private:
    std::map<std::pair<std::string, std::string>, double> medians_;  // (case, zoom)
};

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::SetScreenPixelsPerInch(96);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
