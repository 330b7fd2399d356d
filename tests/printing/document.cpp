// Preview documents: what a preview saves, how each generation reads back,
// and what a failed or cancelled load or save leaves behind.
#include "folder_override.h"
#include "platform/dialogs.h"
#include "printing/document_samples.h"
#include "printing/pvdocument.h"
#include "printing/pvlegacy.h"
#include "printing/pvobjects.h"
#include "printing/pvpreview.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace printing;
using namespace samples;

namespace {

QByteArray Saved(TPvBaseObject& o)
{
    ByteStream s;
    o.SaveToStream(s);
    return s.Bytes();
}

QByteArray Saved(TPvPreview& pv)
{
    ByteStream s;
    pv.SaveToStream(s);
    return s.Bytes();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One object of every stored class, each field away from its default.
std::vector<std::unique_ptr<TPvBaseObject>> EveryClass()
{
    std::vector<std::unique_ptr<TPvBaseObject>> v;
    const TPvPen pen{0x112233, PvPsDash, 3, 6};
    const TPvBrush brush{0x445566, PvBsCross};
    auto text = std::make_unique<TPvTextObject>();
    text->Text = "page {PAGE}";
    text->Font = TPvFont{30, 0x0000FF, "Arial", 11, PvFsBold | PvFsUnderline, 136};
    text->Brush = brush;
    v.push_back(std::move(text));
    auto line = std::make_unique<TPvLineObject>();
    line->SetBounds(1, 2, 3000, 4000);
    line->Pen = pen;
    line->LineType = PvLineExt;
    v.push_back(std::move(line));
    v.push_back(std::make_unique<TPvEllipseShape>());
    v.push_back(std::make_unique<TPvRectangleShape>());
    auto round = std::make_unique<TPvRoundRectShape>();
    round->CornerWidth = 300;
    round->CornerHeight = 200;
    v.push_back(std::move(round));
    auto box = std::make_unique<TPvTextBoxObject>();
    box->SetBounds(100, 200, 900, 700);
    box->Text = "box";
    box->Pen = pen;
    box->Alignment = 2;
    box->VertAlignment = gmBottom;
    v.push_back(std::move(box));
    v.push_back(std::make_unique<TPvPolygonObject>());
    v.push_back(std::make_unique<TPvPolyLineObject>());
    auto graphic = std::make_unique<TPvGraphicObject>();
    graphic->SetBounds(0, 0, 1000, 1000);
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    graphic->SetBitmap(image);
    graphic->DrawAsBitmap = true;
    v.push_back(std::move(graphic));
    v.push_back(std::make_unique<TPvArcShape>());
    v.push_back(std::make_unique<TPvChordShape>());
    v.push_back(std::make_unique<TPvPieShape>());
    v.push_back(std::make_unique<TPvPolyBezierObject>());
    for (auto& o : v) {
        o->X = 100 + o->TypeId;
        o->Y = 200 + o->TypeId;
        if (auto* s = dynamic_cast<TPvSimpleShape*>(o.get())) {
            s->SetBounds(10, 20, 3000, 4000);
            s->Brush = brush;
            s->Pen = pen;
        }
        if (auto* c = dynamic_cast<TPvComplexShape*>(o.get())) c->SetBounds(10, 20, 3000, 4000, 50, 60, 70, 80);
        if (auto* p = dynamic_cast<TPvPolyBaseObject*>(o.get())) {
            p->Points = {QPoint(1, 2), QPoint(300, 400), QPoint(-5, 6), QPoint(7, 8)};
            p->Brush = brush;
            p->Pen = pen;
        }
    }
    return v;
}

// The kinds of the records after the head.
std::vector<int> RecordKinds(const QByteArray& document)
{
    ByteStream s(document);
    s.Seek(10);
    std::vector<int> kinds;
    TPvExtValueList list;
    while (s.Remaining() > 0) {
        list.LoadFromStream(s);
        kinds.push_back(list.GetIntValue(10.0L));
    }
    return kinds;
}

struct DocumentTest : ::testing::Test {
    platform::ScriptedDialogs dialogs;
    QTemporaryDir dir;
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
};

TEST_F(DocumentTest, EveryObjectClassAndTheSettingsRoundTrip)
{
    TPvPreview a;
    a.SetPage(Letter);
    a.SetOrientation(gmLandscape);
    a.Margins().Left.AsPvUnits = 1234;
    a.Margins().SetShowPrinterMargins(true);
    a.Shadow().SetWidth(7);
    a.Header().CaptionCenter.SetCaption("Title {PAGE}");
    a.Footer().SetShowLine(false);
    auto objects = EveryClass();
    std::vector<QByteArray> expected;
    for (auto& o : objects) {
        o->Page = 1;
        expected.push_back(Saved(*o));
        a.CurrentPage()->AddObject(std::move(o));
    }
    a.NewPage();
    ASSERT_TRUE(a.SaveToFile(Path("a.qpv")));

    TPvPreview b;
    std::vector<int> progress;
    b.OnLoadProgess = [&](TPvPreview*, int p) { progress.push_back(p); };
    ASSERT_TRUE(b.LoadFromFile(Path("a.qpv")));
    EXPECT_EQ(progress, (std::vector<int>{50, 100}));
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    ASSERT_EQ(b.GetNumPages(), 2);
    const auto& loaded = b.GetPage(1)->Objects;
    ASSERT_EQ(loaded.size(), expected.size());
    for (std::size_t i = 0; i < loaded.size(); ++i) EXPECT_EQ(Saved(*loaded[i]), expected[i]) << "type " << i + 1;
    EXPECT_EQ(dynamic_cast<TPvTextObject&>(*loaded[0]).Font.Charset, 0) << "no generation stores the charset";
    EXPECT_EQ(b.PaperSize(), Letter);
    EXPECT_EQ(b.Orientation(), gmLandscape);
    EXPECT_EQ(b.PageWidth.AsPvUnits, 27940);
    EXPECT_EQ(b.Margins().Left.AsPvUnits, 1234);
    EXPECT_TRUE(b.Margins().ShowPrinterMargins());
    EXPECT_EQ(b.Shadow().Width(), 7);
    EXPECT_EQ(b.Header().CaptionCenter.Caption(), "Title {PAGE}");
    EXPECT_FALSE(b.Footer().ShowLine());
    EXPECT_EQ(b.CurrentPageNum(), 2);
}

TEST_F(DocumentTest, ANewPreviewSavesTheHeadSixRecordsAndOnePage)
{
    TPvPreview pv;
    std::vector<int> progress;
    pv.OnSaveProgress = [&](TPvPreview*, int p) { progress.push_back(p); };
    const QByteArray doc = Saved(pv);
    EXPECT_EQ(doc.left(10), kHead222);
    EXPECT_EQ(RecordKinds(doc), (std::vector<int>{2, 3, 4, 5, 6, 7, 1}));
    EXPECT_EQ(progress, std::vector<int>{100});
    EXPECT_EQ(TPvPreview::GetVersion(), 2.22L);

    pv.DeleteAllPages(false);
    EXPECT_EQ(RecordKinds(Saved(pv)), (std::vector<int>{2, 3, 4, 5, 6, 7}));
    WriteFile(Path("empty.qpv"), Saved(pv));
    EXPECT_EQ(TPvPreview::GetFileVersion(Path("empty.qpv")), 2.22L);

    // A document without pages loads as a preview without pages, settings and
    // all; showing, zooming and paging it make no page; drawing makes the first.
    TPvPreview other;
    other.SetPage(A3);
    ASSERT_TRUE(other.LoadFromFile(Path("empty.qpv")));
    EXPECT_EQ(other.GetNumPages(), 0);
    EXPECT_EQ(other.PaperSize(), A4);
    other.SetZoom(50);
    other.RedrawPages();
    other.UpdatePreview();
    other.NextPage();
    other.LastPage();
    EXPECT_TRUE(other.PageImage().grab().toImage().size().isValid());
    EXPECT_EQ(other.GetNumPages(), 0);
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    EXPECT_EQ(RecordKinds(Saved(other)), (std::vector<int>{2, 3, 4, 5, 6, 7}));
    other.Canvas().Rectangle(10, 10, 20, 20);
    ASSERT_EQ(other.GetNumPages(), 1);
    EXPECT_EQ(other.GetPage(1)->Objects.size(), 1u);
}

TEST_F(DocumentTest, TheOldestGenerationReadsItsPlainValues)
{
    for (bool withPage : {true, false}) {
        WriteFile(Path("old.qpv"), OldestDocument(withPage ? kHead21 : Hex("B81E85EB51B81E850040"), withPage));
        TPvPreview pv;
        long double seen = 0;
        pv.BeforeLoad = [&](TPvPreview*, long double v, bool&) { seen = v; };
        ASSERT_TRUE(pv.LoadFromFile(Path("old.qpv"))) << withPage;
        EXPECT_EQ(seen, withPage ? 2.1L : 2.08L);
        EXPECT_EQ(AFileVersion, seen);
        ASSERT_EQ(pv.GetNumPages(), 2);
        EXPECT_EQ(pv.Orientation(), gmLandscape);
        EXPECT_EQ(pv.PageWidth.AsPvUnits, 29700);
        EXPECT_EQ(pv.PageHeight.AsPvUnits, 21000);
        EXPECT_EQ(pv.Header().CaptionLeft.Caption(), "Left");
        EXPECT_EQ(pv.Header().CaptionLeft.Font().Size(), 10);
        EXPECT_TRUE(pv.Header().CaptionLeft.Font().Bold());
        EXPECT_EQ(pv.Header().Pen().Width, 3);
        EXPECT_FALSE(pv.Footer().ShowLine());
        ASSERT_EQ(pv.GetPage(1)->Objects.size(), 2u);
        const auto& text = dynamic_cast<TPvTextObject&>(*pv.GetPage(1)->Objects[0]);
        EXPECT_EQ(text.Text, "Hello");
        EXPECT_EQ(text.Page, 1);
        EXPECT_EQ(text.X, 1000);
        EXPECT_EQ(pv.GetPage(2)->Objects.at(0)->TypeId, 4);
    }
}

TEST_F(DocumentTest, TheMiddleGenerationFindsAGraphicInsideOrAfterItsRecord)
{
    struct Case {
        QByteArray head;
        bool after;
    } cases[] = {{kHead213, false}, {Hex("14AE47E17A14AE870040"), true}};  // 2.13, 2.12
    for (const Case& c : cases) {
        WriteFile(Path("mid.qpv"), MiddleDocument(c.head, c.after));
        TPvPreview pv;
        ASSERT_TRUE(pv.LoadFromFile(Path("mid.qpv"))) << c.after;
        EXPECT_EQ(pv.PaperSize(), Letter);
        EXPECT_EQ(pv.PageWidth.AsPvUnits, 21590);
        EXPECT_EQ(pv.Margins().Top.AsPvUnits, 1100);
        EXPECT_EQ(pv.Margins().Pen().Width, 2);
        EXPECT_EQ(pv.Shadow().Width(), 5);
        ASSERT_EQ(pv.GetNumPages(), 1);
        ASSERT_EQ(pv.GetPage(1)->Objects.size(), 2u);
        const auto& g = dynamic_cast<TPvGraphicObject&>(*pv.GetPage(1)->Objects[0]);
        EXPECT_EQ(g.Metafile.value_or(QByteArray()), kForeignMetafile);
        EXPECT_EQ(g.X2, 500);
        EXPECT_EQ(pv.GetPage(1)->Objects[1]->TypeId, 4);
    }
}

TEST_F(DocumentTest, TheCurrentGenerationLoadsAndSavesForeignMetafileBytesUnchanged)
{
    WriteFile(Path("cur.qpv"), CurrentDocument());
    TPvPreview pv;
    ASSERT_TRUE(pv.LoadFromFile(Path("cur.qpv")));
    EXPECT_EQ(pv.PaperSize(), A5);
    EXPECT_EQ(pv.Margins().Right.AsPvUnits, 700);
    EXPECT_EQ(pv.Margins().PrinterMarginPen().Color, 0xFF00u);
    EXPECT_EQ(pv.Shadow().Color(), 0x404040u);
    EXPECT_EQ(pv.Header().CaptionCenter.Caption(), "Page {PAGE}");
    EXPECT_EQ(pv.Header().CaptionCenter.Font().Size(), 14);
    EXPECT_FALSE(pv.Footer().ShowLine());
    ASSERT_EQ(pv.GetNumPages(), 2);
    const auto& text = dynamic_cast<TPvTextObject&>(*pv.GetPage(1)->Objects.at(0));
    EXPECT_EQ(text.Text, "Hello");
    EXPECT_EQ(text.Font.Style, PvFsItalic);

    const QByteArray again = Saved(pv);
    EXPECT_TRUE(again.contains(Int(std::int32_t(kForeignMetafile.size())) + kForeignMetafile));
    TPvPreview copy;
    WriteFile(Path("again.qpv"), again);
    ASSERT_TRUE(copy.LoadFromFile(Path("again.qpv")));
    EXPECT_EQ(dynamic_cast<TPvGraphicObject&>(*copy.GetPage(2)->Objects.at(0)).Metafile.value_or(QByteArray()),
              kForeignMetafile);
}

TEST_F(DocumentTest, ObjectsBeforeTheFirstPageGoOnANewPageAndProgressNeedsNoCount)
{
    const QByteArray text = Record(IntEntry(10.0L, 10) + IntEntry(10.01L, 1) + StrEntry(50.0L, "x"));
    WriteFile(Path("loose.qpv"), kHead222 + text + Record(IntEntry(10.0L, 1)) + text);
    TPvPreview pv;
    std::vector<int> progress;
    pv.OnLoadProgess = [&](TPvPreview*, int p) { progress.push_back(p); };
    ASSERT_TRUE(pv.LoadFromFile(Path("loose.qpv")));
    EXPECT_EQ(pv.GetNumPages(), 2);
    EXPECT_EQ(pv.GetPage(1)->Objects.size(), 1u);
    EXPECT_EQ(progress, std::vector<int>{100});
}

TEST_F(DocumentTest, ACancelledOrFailedLoadLeavesThePreviewAsItWas)
{
    TPvPreview pv;
    pv.CurrentPage()->AddObject(std::make_unique<TPvRectangleShape>());
    pv.NewPage();
    pv.Header().CaptionLeft.SetCaption("kept");
    const QByteArray before = Saved(pv);

    WriteFile(Path("cur.qpv"), CurrentDocument());
    pv.BeforeLoad = [](TPvPreview*, long double, bool& load) { load = false; };
    EXPECT_FALSE(pv.LoadFromFile(Path("cur.qpv")));
    EXPECT_EQ(Saved(pv), before);
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    pv.BeforeLoad = nullptr;

    const QByteArray sound = CurrentDocument();
    const QByteArray bad[] = {
        {},                                                            // empty
        sound.left(sound.size() - 3),                                  // truncated
        Hex("000000000000000000") + "garbage",                         // no version
        Hex("0000000000000080FF7F") + sound.mid(10),                   // infinite version
        Ext(-1.0L) + sound.mid(10),                  // negative version
        OldestDocument(kHead21, true).replace(Int(4) + Int(10), Int(99) + Int(10)),  // unknown oldest type
        Ext(9.5L) + Record(IntEntry(10.0L, 1)) + Int(400) + "short",   // a future version, malformed
    };
    int shown = 0;
    for (const QByteArray& b : bad) {
        WriteFile(Path("bad.qpv"), b);
        EXPECT_FALSE(pv.LoadFromFile(Path("bad.qpv"))) << b.toHex().toStdString();
        EXPECT_EQ(dialogs.Messages().size(), ++shown);
        EXPECT_TRUE(dialogs.Messages().last().endsWith(kPvMsgNotADocument));
        EXPECT_EQ(Saved(pv), before);
        EXPECT_EQ(pv.GetNumPages(), 2);
    }
    EXPECT_FALSE(pv.LoadFromFile(Path("missing.qpv")));
    EXPECT_EQ(Saved(pv), before);
}

TEST_F(DocumentTest, ASaveThatCannotWriteKeepsTheOldFile)
{
    QDir(dir.path()).mkdir("locked");
    const QString path = dir.filePath("locked/doc.qpv");
    const QByteArray old = "old document bytes";
    WriteFile(path, old);
    QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::ExeOwner);
    TPvPreview pv;
    {
        WithoutFolderOverride guard;
        EXPECT_FALSE(pv.SaveToFile(path));
    }
    QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(ReadFile(path), old);
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages().first().endsWith(kPvMsgNotSaved));
    EXPECT_TRUE(pv.SaveToFile(path));
    EXPECT_EQ(ReadFile(path).left(10), kHead222);
}

}  // namespace
