// Measuring 10,000 mixed mini-HTML cell texts (plain words, bold and italic
// runs, fonts and colours, links, lists, line breaks) wrapped at 200 pixels,
// with the grid's renderer against QTextDocument laying out the same HTML.
// Runs on Qt's offscreen platform.
#include "grid/htmldraw.h"

#include <QApplication>
#include <QTextDocument>
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kTexts = 10000;
constexpr int kWidth = 200;

std::vector<std::string> mixedTexts()
{
    static const char* words[] = {"Chan", "Tai", "Man", "cheque", "amount", "Hong", "Kong", "Road", "floor",
                                  "remark", "contact", "telephone", "paid", "invoice", "2026", "12.50"};
    static const char* open[] = {"<B>", "<I>", "<U>", "<FONT COLOR=\"#FF0000\">", "<FONT SIZE=\"4\" FACE=\"Arial\">",
                                 "<A HREF=\"http://example.com/x\">"};
    static const char* close[] = {"</B>", "</I>", "</U>", "</FONT>", "</FONT>", "</A>"};
    std::mt19937 rng(7);
    std::vector<std::string> texts;
    texts.reserve(kTexts);
    for (int i = 0; i < kTexts; ++i) {
        std::string t;
        const int kind = i % 5;
        if (kind == 4)
            t += "<UL><LI>";
        const int n = 3 + static_cast<int>(rng() % 12);
        for (int w = 0; w < n; ++w) {
            const bool tagged = kind != 0 && rng() % 3 == 0;
            const int k = static_cast<int>(rng() % 6);
            if (tagged)
                t += open[k];
            t += words[rng() % 16];
            if (tagged)
                t += close[k];
            t += (kind == 3 && w % 4 == 3) ? "<BR>" : (kind == 4 && w % 3 == 2) ? "<LI>" : " ";
        }
        if (kind == 4)
            t += "</UL>";
        texts.push_back(std::move(t));
    }
    return texts;
}

const std::vector<std::string>& texts()
{
    static const std::vector<std::string> t = mixedTexts();
    return t;
}

void BM_GridRendererMeasure(benchmark::State& state)
{
    platform::Canvas canvas;
    canvas.Font.Name = QStringLiteral("Arial");
    canvas.Font.SetSize(9);
    grid::THTMLDrawParams in;
    in.CheckOnly = true;
    in.KeepColors = true;
    in.WordWrap = true;
    long long total = 0;
    for (auto _ : state) {
        for (const std::string& t : texts()) {
            grid::THTMLDrawResult out;
            grid::Listgrid::HTMLDraw(canvas, t, {0, 0, kWidth, 65535}, in, out);
            total += out.YSize;
        }
    }
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(state.iterations() * kTexts);
}
BENCHMARK(BM_GridRendererMeasure)->Unit(benchmark::kMillisecond);

void BM_QTextDocumentLayout(benchmark::State& state)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(9);
    std::vector<QString> html;
    for (const std::string& t : texts())
        html.push_back(QString::fromStdString(t));
    double total = 0;
    for (auto _ : state) {
        for (const QString& h : html) {
            QTextDocument doc;
            doc.setDefaultFont(font);
            doc.setHtml(h);
            doc.setTextWidth(kWidth);
            total += doc.size().height();
        }
    }
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(state.iterations() * kTexts);
}
BENCHMARK(BM_QTextDocumentLayout)->Unit(benchmark::kMillisecond);

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
