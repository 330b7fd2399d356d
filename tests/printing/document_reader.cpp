// Damaged preview documents of every generation: each load either gives a
// document whose every page paints, or the one message with the preview
// exactly as it was; never a crash, a hang or a half-loaded preview.
#include "platform/dialogs.h"
#include "printing/document_samples.h"
#include "printing/mutate.h"
#include "printing/pvdocument.h"
#include "printing/pvlegacy.h"
#include "printing/pvobjects.h"
#include "printing/pvpreview.h"

#include <QDataStream>
#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

using namespace printing;
using namespace samples;

namespace {

// Ends the program, naming the case, when a case runs past 30 s: a hang
// fails at once and says where.
struct CaseLimit {
    using Clock = std::chrono::steady_clock;
    std::atomic<Clock::time_point> deadline{};
    std::atomic<int> number{0};
    CaseLimit()
    {
        std::thread([this] {
            for (;; std::this_thread::sleep_for(std::chrono::milliseconds(200)))
                if (const auto d = deadline.load(); d != Clock::time_point() && Clock::now() > d) {
                    std::fprintf(stderr, "case %d ran past its limit\n", number.load());
                    std::abort();
                }
        }).detach();
    }
    void Start(int n) { number = n, deadline = Clock::now() + std::chrono::seconds(30); }
    void Stop() { deadline = Clock::time_point(); }
};

// Qt's recorded form of a path whose second element has a type no path
// element has (its checksum made right again): played by Qt, it never ends.
QByteArray HangingPicture()
{
    QPicture picture;
    {
        QPainter p(&picture);
        QPainterPath path;
        path.moveTo(10, 10);
        path.lineTo(12345.5, 20);
        path.lineTo(40, 40);
        p.drawPath(path);
    }
    QByteArray data(picture.data(), picture.size());
    QByteArray mark;
    QDataStream(&mark, QIODevice::WriteOnly) << 12345.5;
    const qsizetype at = data.indexOf(mark);
    if (at < 4) return {};
    data[at - 1] = 7;
    const quint16 sum = qChecksum(QByteArrayView(data.constData() + 6, data.size() - 6));
    data[4] = char(sum >> 8);
    data[5] = char(sum & 0xFF);
    return data;
}

// A document of one page whose graphic holds that picture.
QByteArray HangingPictureDocument()
{
    return kHead222 + Record(IntEntry(10.0L, 1)) +
           Record(IntEntry(10.05L, 5000) + IntEntry(10.06L, 5000) + IntEntry(10.5L, 0) + IntEntry(72.0L, 0) +
                  IntEntry(10.0L, 10) + IntEntry(10.01L, 9) + IntEntry(10.02L, 1) + IntEntry(10.03L, 100) +
                  IntEntry(10.04L, 100) + StrEntry(71.0L, Pvlegacy::MetafileToString(HangingPicture())));
}

// Every page of the preview as the page image paints it, into an image.
void PaintEveryPage(TPvPreview& pv)
{
    QImage image(210, 297, QImage::Format_RGB32);
    for (int n = 1; n <= pv.GetNumPages(); ++n) {
        image.fill(Qt::white);
        QPainter painter(&image);
        pv.GetPage(n)->Paint(painter, platform::Rect{0, 0, image.width(), image.height()}, 96);
    }
}

QByteArray Saved(TPvPreview& pv)
{
    ByteStream s;
    pv.SaveToStream(s);
    return s.Bytes();
}

class ReaderTest : public ::testing::Test {
protected:
    platform::ScriptedDialogs dialogs;
    QTemporaryDir dir;
    std::unique_ptr<TPvPreview> pv;
    QByteArray before;
    int failures = 0, documents = 0, cases = 0;
    static inline CaseLimit limit;

    // A preview of two pages with an object and a caption, to be left alone.
    void SetUp() override
    {
        pv = std::make_unique<TPvPreview>();
        pv->CurrentPage()->AddObject(std::make_unique<TPvEllipseShape>());
        pv->NewPage();
        pv->Header().CaptionRight.SetCaption("before");
        before = Saved(*pv);
        Write(dir.filePath("before.qpv"), before);
    }
    static void Write(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) ADD_FAILURE() << "cannot write";
    }
    // Back to the preview of SetUp (the preview's printer is asked for once).
    void Reset()
    {
        ASSERT_TRUE(pv->LoadFromFile(dir.filePath("before.qpv")));
        ASSERT_EQ(Saved(*pv), before);
    }

    // Loads the bytes; false (after the checks of a failed load) when they did not read.
    bool Load(const QByteArray& bytes)
    {
        const QString path = dir.filePath("doc.qpv");
        Write(path, bytes);
        const qsizetype shown = dialogs.Messages().size();
        limit.Start(++cases);
        const bool loaded = pv->LoadFromFile(path);
        if (loaded) {
            pv->RedrawPages();
            PaintEveryPage(*pv);
        }
        limit.Stop();
        if (loaded) {
            ++documents;
            EXPECT_EQ(dialogs.Messages().size(), shown);
            Saved(*pv);
            Reset();
            return true;
        }
        ++failures;
        EXPECT_EQ(dialogs.Messages().size(), shown + 1);
        EXPECT_TRUE(dialogs.Messages().last().endsWith(kPvMsgNotADocument));
        EXPECT_EQ(Saved(*pv), before) << "a failed load changed the preview";
        EXPECT_EQ(pv->PreviewState(), gmIdle);
        return false;
    }
};

const std::vector<QByteArray>& Samples()
{
    static const std::vector<QByteArray> samples = {
        OldestDocument(kHead21, true),
        MiddleDocument(Hex("14AE47E17A14AE870040"), true),  // 2.12: the picture after its record
        MiddleDocument(kHead213, false),
        CurrentDocument(),
        HangingPictureDocument(),
    };
    return samples;
}

TEST_F(ReaderTest, EverySampleReads)
{
    for (const QByteArray& s : Samples()) EXPECT_TRUE(Load(s));
    // The recorded picture is kept as it came and never played.
    ASSERT_FALSE(HangingPicture().isEmpty());
    ASSERT_TRUE(pv->LoadFromFile(dir.filePath("doc.qpv")));
    const auto& g = dynamic_cast<const TPvGraphicObject&>(*pv->GetPage(1)->Objects.at(0));
    EXPECT_EQ(g.Metafile, HangingPicture());
}

TEST_F(ReaderTest, BitFlippedDocumentsGiveADocumentOrTheMessage)
{
    const int rounds = FuzzRounds(1000);
    std::mt19937 rng(29);
    for (const QByteArray& sample : Samples()) {
        failures = documents = 0;
        for (int i = 0; i < rounds; ++i) Load(Mutated(sample, rng));
        EXPECT_GT(failures, 0);
        EXPECT_GT(documents, 0);
    }
}

TEST_F(ReaderTest, CutShortDocumentsNeverReadAsWholeOldOnes)
{
    const QByteArray oldest = Samples()[0];
    for (qsizetype n = 0; n < oldest.size(); ++n) EXPECT_FALSE(Load(oldest.left(n))) << n;
    for (const QByteArray& sample : Samples())
        for (qsizetype n = 0; n < sample.size(); n += 3) Load(sample.left(n));
}

TEST_F(ReaderTest, GarbageEmptyAndOversizedFilesGiveTheMessage)
{
    std::mt19937 rng(5);
    for (const QByteArray& head : {kHead21, kHead213, kHead222, Ext(1e300L)}) {
        for (int i = 0; i < 200; ++i) {
            QByteArray garbage(int(rng() % 300), Qt::Uninitialized);
            for (char& c : garbage) c = char(rng());
            Load(head + garbage);
        }
    }
    EXPECT_FALSE(Load({}));
    EXPECT_FALSE(Load(Hex("00112233")));

    const QString path = dir.filePath("huge.qpv");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kHead222);
    ASSERT_TRUE(f.resize(qint64(600) << 20));  // sparse: nothing is written
    f.close();
    EXPECT_FALSE(pv->LoadFromFile(path));
    EXPECT_EQ(Saved(*pv), before);
    EXPECT_FALSE(pv->LoadFromFile("/dev/zero")) << "a device without end is not read to its end";
    EXPECT_FALSE(pv->LoadFromFile(dir.path()));
    EXPECT_EQ(Saved(*pv), before);
}

}  // namespace
