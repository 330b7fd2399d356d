// A 250-page document of list pages (40 rows of 6 text boxes and a rule each)
// saved and loaded as a preview document, against QPicture::save and
// QPicture::load of the same pages' pictures; and the thumbnails of those
// pages built and painted, against the same pictures painted into images of
// the thumbnails' size with QPainter.
#include "platform/screen.h"
#include "printing/bytestream.h"
#include "printing/pvdocument.h"
#include "printing/pvthumbnails.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

namespace {

constexpr int kPages = 250, kRows = 40, kColumns = 6;

// The document, built once.
TPvPreview& Document()
{
    static TPvPreview* pv = [] {
        auto* p = new TPvPreview;
        TPvCanvas& c = p->Canvas();
        c.Font.SetSize(8);
        for (int page = 0; page < kPages; ++page) {
            if (page) p->NewPage();
            for (int r = 0; r < kRows; ++r) {
                const long double y = 25 + r * 6;
                for (int col = 0; col < kColumns; ++col)
                    c.TextBox(15 + col * 30, y, 45 + col * 30, y + 6, QStringLiteral("Row %1 column %2").arg(r).arg(col),
                              taLeftJustify);
                c.Line(15, y + 6, 195, y + 6);
            }
        }
        p->RedrawPages();
        return p;
    }();
    return *pv;
}

QByteArray Saved()
{
    printing::ByteStream s;
    Document().SaveToStream(s);
    return s.Bytes();
}

void BM_DocumentSave(benchmark::State& state)
{
    TPvPreview& pv = Document();
    qint64 bytes = 0;
    for (auto _ : state) {
        printing::ByteStream s;
        pv.SaveToStream(s);
        bytes += s.Size();
    }
    state.SetBytesProcessed(bytes);
}

void BM_DocumentLoad(benchmark::State& state)
{
    const QByteArray doc = Saved();
    TPvPreview pv;
    AFileVersion = TPvPreview::GetVersion();
    for (auto _ : state) {
        printing::ByteStream s(doc);
        s.Seek(10);
        if (!pv.LoadFromStreamNew(s)) state.SkipWithError("the document did not load");
    }
    state.SetBytesProcessed(qint64(state.iterations()) * doc.size());
    state.counters["pages"] = pv.GetNumPages();
}

void BM_QPictureSave(benchmark::State& state)
{
    TPvPreview& pv = Document();
    qint64 bytes = 0;
    for (auto _ : state) {
        for (int n = 1; n <= kPages; ++n) {
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            pv.GetPage(n)->Metafile.save(&buffer);
            bytes += buffer.size();
        }
    }
    state.SetBytesProcessed(bytes);
}

void BM_QPictureLoad(benchmark::State& state)
{
    TPvPreview& pv = Document();
    std::vector<QByteArray> saved;
    qint64 total = 0;
    for (int n = 1; n <= kPages; ++n) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        pv.GetPage(n)->Metafile.save(&buffer);
        saved.push_back(buffer.data());
        total += buffer.size();
    }
    for (auto _ : state) {
        for (QByteArray& bytes : saved) {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::ReadOnly);
            QPicture picture;
            picture.load(&buffer);
            benchmark::DoNotOptimize(picture.size());
        }
    }
    state.SetBytesProcessed(qint64(state.iterations()) * total);
}

// Thumbnails built for the document and each painted once.
void BM_Thumbnails(benchmark::State& state)
{
    TPvPreview& pv = Document();
    for (auto _ : state) {
        TPvThumbnails thumbs;
        thumbs.SetPreview(&pv);
        QImage target(thumbs.Thumbnail(0)->size(), QImage::Format_RGB32);
        for (int i = 0; i < thumbs.Count(); ++i) thumbs.Thumbnail(i)->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}

// The same pages rendered and painted into images of the pictures' size.
void BM_ThumbnailImages(benchmark::State& state)
{
    TPvPreview& pv = Document();
    const QSize size(52, 74);
    for (auto _ : state) {
        QImage target(size, QImage::Format_RGB32);
        for (int n = 1; n <= kPages; ++n) {
            TPvPage* page = pv.GetPage(n);
            page->Draw(page->Metafile, platform::ScreenPixelsPerInch());
            target.fill(Qt::white);
            QPainter p(&target);
            const QRect bounds = page->Metafile.boundingRect();
            p.scale(qreal(size.width()) / bounds.width(), qreal(size.height()) / bounds.height());
            p.drawPicture(0, 0, page->Metafile);
        }
        benchmark::DoNotOptimize(target.constBits());
    }
}

BENCHMARK(BM_DocumentSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QPictureSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DocumentLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QPictureLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Thumbnails)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThumbnailImages)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::SetScreenPixelsPerInch(96);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
