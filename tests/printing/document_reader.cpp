// Damaged preview documents of every generation: each load either gives a
// document or the one message with the preview exactly as it was; never a
// crash, a hang or a half-loaded preview.
#include "platform/dialogs.h"
#include "printing/document_samples.h"
#include "printing/mutate.h"
#include "printing/pvdocument.h"
#include "printing/pvobjects.h"
#include "printing/pvpreview.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace printing;
using namespace samples;

namespace {

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
    int failures = 0, documents = 0;

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
        if (pv->LoadFromFile(path)) {
            ++documents;
            EXPECT_EQ(dialogs.Messages().size(), shown);
            EXPECT_GE(pv->GetNumPages(), 1);
            pv->RedrawPages();
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
    };
    return samples;
}

TEST_F(ReaderTest, EverySampleReads)
{
    for (const QByteArray& s : Samples()) EXPECT_TRUE(Load(s));
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
