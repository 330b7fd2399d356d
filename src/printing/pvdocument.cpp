// Saving and loading preview documents (the format is described in pvdocument.h),
// and the stored forms of page setup, margins, shadow, header, footer,
// captions and pages that only documents use.
#include "printing/pvdocument.h"

#include "platform/screen.h"
#include "printing/pvdraw.h"
#include "printing/pvlegacy.h"
#include "printing/pvobjects.h"
#include "printing/pvpreview.h"

#include <QDate>
#include <QFile>
#include <QSaveFile>
#include <cmath>

using namespace printing;

long double AFileVersion = 0;

namespace {

const QString kPreviewClass = QStringLiteral("TPvPreview");

// No document is read that is larger than this (a file is read whole).
constexpr qint64 kMaxDocumentBytes = qint64(512) << 20;
// Page sides outside (0, ten metres] are not read.
constexpr std::int32_t kMaxPageSide = 1000000;
// Caption font sizes are held to what a font can have.
constexpr std::int32_t kMaxFontPoints = 1638;
// Shadows wider than this are not read.
constexpr int kMaxShadowWidth = 1000;

enum RecordKind : std::int32_t {
    kNewPage = 1, kPageSetup = 2, kMargins = 3, kShadow = 4, kInformation = 5, kHeader = 6, kFooter = 7, kObject = 10
};

[[noreturn]] void Malformed(const char* what) { throw StreamReadError(what); }

// A stored page setup, its sides checked.
struct PageSetup {
    std::int32_t width = 0, height = 0;
    TPvPaperSize paper = A4;
    TPvOrientation orientation = gmPortrait;

    PageSetup() = default;
    PageSetup(std::int64_t w, std::int64_t h, std::int64_t paperOrdinal, std::int64_t orientationOrdinal)
        : width(checkedSide(w)), height(checkedSide(h)), paper(PvEnumFromOrdinal<TPvPaperSize>(paperOrdinal)),
          orientation(PvEnumFromOrdinal<TPvOrientation>(orientationOrdinal))
    {
    }
    static std::int32_t checkedSide(std::int64_t v)
    {
        if (v <= 0 || v > kMaxPageSide) Malformed("page size out of range");
        return std::int32_t(v);
    }
};

PageSetup MiddlePageSetup(const TPvValueList& list)
{
    return {list.GetIntValue(2.01L), list.GetIntValue(2.02L), list.GetIntValue(2.03L), list.GetIntValue(2.04L)};
}

bool LowByte(std::int32_t v) { return (v & 0xFF) != 0; }

// A drawing object of a stored type id; none for an id no object has.
std::unique_ptr<TPvBaseObject> MakeObject(std::int32_t typeId)
{
    switch (typeId) {
    case 1: return std::make_unique<TPvTextObject>();
    case 2: return std::make_unique<TPvLineObject>();
    case 3: return std::make_unique<TPvEllipseShape>();
    case 4: return std::make_unique<TPvRectangleShape>();
    case 5: return std::make_unique<TPvRoundRectShape>();
    case 6: return std::make_unique<TPvTextBoxObject>();
    case 7: return std::make_unique<TPvPolygonObject>();
    case 8: return std::make_unique<TPvPolyLineObject>();
    case 9: return std::make_unique<TPvGraphicObject>();
    case 10: return std::make_unique<TPvArcShape>();
    case 11: return std::make_unique<TPvChordShape>();
    case 12: return std::make_unique<TPvPieShape>();
    case 13: return std::make_unique<TPvPolyBezierObject>();
    default: return nullptr;
    }
}

// A stored caption font into a caption's font: size held to range, Charset
// as the record gives it.
platform::Font CaptionFont(platform::Font font, TPvFont record)
{
    record.Size = std::clamp(record.Size, -kMaxFontPoints, kMaxFontPoints);
    PvFontToFont(font, record, 1);
    return font;
}

// The bytes of a plain file; none when it cannot be read, holds more than a
// document may, or is a device or pipe (which may never end).
QByteArray ReadWhole(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.isSequential() || file.size() > kMaxDocumentBytes) return {};
    return file.read(file.size());
}

// Today as the class library's day count (days since 30 December 1899).
long double Today() { return QDate(1899, 12, 30).daysTo(QDate::currentDate()); }

}  // namespace

// ---------------------------------------------------------------- stored forms of the parts

void TPvMargins::LoadFromValues(const TPvValueList& list)
{
    TPvPen record;
    list.GetPvPen(record);
    Left.AsPvUnits = list.GetIntValue(3.01L);
    Top.AsPvUnits = list.GetIntValue(3.02L);
    Right.AsPvUnits = list.GetIntValue(3.03L);
    Bottom.AsPvUnits = list.GetIntValue(3.04L);
    SetVisible(LowByte(list.GetIntValue(3.05L)));
    platform::Pen pen = pen_;
    PvPenToPen(pen, record);
    SetPen(pen);
    SetShowPrinterMargins(false);
}

void TPvShadow::LoadFromValues(const TPvValueList& list)
{
    const std::int32_t width = list.GetIntValue(4.02L);
    if (width < 0 || width > kMaxShadowWidth) Malformed("shadow width out of range");
    SetColor(list.GetIntValue(4.01L));
    SetWidth(width);
    SetVisible(LowByte(list.GetIntValue(4.03L)));
}

QByteArray TPvHeaderFooterCaption::SaveToString() const
{
    TPvExtValueList list;
    list.AddStrVal(50.0L, caption_);
    list.AddPvFont(1004.0L, FontToPvFont(font_, 0));
    ByteStream s;
    list.SaveToStream(s);
    return s.Bytes();
}

void TPvHeaderFooterCaption::LoadFromString(const QByteArray& text)
{
    ByteStream s(text);
    TPvExtValueList list;
    list.LoadFromStream(s);
    TPvFont record = FontToPvFont(font_, 0);
    list.GetPvFont(1004.0L, record);
    font_ = CaptionFont(font_, record);
    caption_ = QString::fromUtf8(list.GetStrValue(50.0L));
    owner_->Redraw();
}

void TPvHeaderFooter::LoadFromStream(ByteStream& stream)
{
    const QString caption = QString::fromUtf8(StrFromStream(stream));
    TPvFont font = FontToPvFont(CaptionLeft.Font(), 0);
    Pvlegacy::FontFromStream(stream, font);
    TPvPen record;
    Pvlegacy::PenFromStream(stream, record);
    const bool showLine = BoolFromStream(stream);
    const bool visible = BoolFromStream(stream);
    CaptionLeft.SetCaption(caption);
    CaptionLeft.SetFont(CaptionFont(CaptionLeft.Font(), font));
    platform::Pen pen = pen_;
    PvPenToPen(pen, record);
    SetPen(pen);
    SetShowLine(showLine);
    SetVisible(visible);
}

void TPvPage::LoadFromStream(ByteStream& stream, long double fileVersion)
{
    std::vector<std::unique_ptr<TPvBaseObject>> objects(CheckedCount(stream, IntFromStream(stream), 4));
    for (auto& object : objects) {
        const std::int32_t type = IntFromStream(stream);
        if (type < 1 || type > 12) Malformed("unknown object type");
        object = MakeObject(type);
        object->LoadFromStreamOld(stream, fileVersion);
    }
    Clear();
    for (auto& object : objects) AddObject(std::move(object));
}

// ---------------------------------------------------------------- reading

// A document read whole, beside the preview, before it replaces the
// preview's: starts from copies of the preview's settings, so that what a
// document does not store stays as it was.
class PvDocumentReader {
public:
    explicit PvDocumentReader(TPvPreview& preview)
        : preview_(preview), pages_(std::make_unique<TPvPageList>(&preview)), margins_(nullptr), shadow_(nullptr),
          header_(nullptr), footer_(nullptr)
    {
        setup_.width = preview.PageWidth.AsPvUnits;
        setup_.height = preview.PageHeight.AsPvUnits;
        setup_.paper = preview.paperSize_;
        setup_.orientation = preview.orientation_;
        margins_.Assign(*preview.margins_);
        shadow_.Assign(preview.image_->Shadow);
        header_.Assign(*preview.header_);
        footer_.Assign(*preview.footer_);
    }

    void ReadCurrent(ByteStream& stream)
    {
        TPvExtValueList list;
        while (stream.Remaining() > 0) {
            list.LoadFromStream(stream);
            switch (list.GetIntValueDef(10.0L, -1)) {
            case kNewPage: newPage(); break;
            case kPageSetup:
                setup_ = PageSetup(list.GetIntValueDef(2.01L, 0), list.GetIntValueDef(2.02L, 0),
                                   list.GetIntValueDef(2.03L, 0), list.GetIntValueDef(2.04L, 0));
                break;
            case kMargins: {
                margins_.Left.AsPvUnits = list.GetIntValueDef(3.01L, 0);
                margins_.Top.AsPvUnits = list.GetIntValueDef(3.02L, 0);
                margins_.Right.AsPvUnits = list.GetIntValueDef(3.03L, 0);
                margins_.Bottom.AsPvUnits = list.GetIntValueDef(3.04L, 0);
                margins_.SetVisible(list.GetBoolValue(3.05L));
                margins_.SetShowPrinterMargins(list.GetBoolValue(3.06L));
                margins_.SetPen(pen(list, 3.07L, margins_.Pen()));
                margins_.SetPrinterMarginPen(pen(list, 3.08L, margins_.PrinterMarginPen()));
                break;
            }
            case kShadow: {
                const std::int32_t width = list.GetIntValueDef(4.02L, 0);
                if (width < 0 || width > kMaxShadowWidth) Malformed("shadow width out of range");
                shadow_.SetColor(list.GetIntValueDef(4.01L, 0));
                shadow_.SetWidth(width);
                shadow_.SetVisible(list.GetBoolValue(4.03L));
                break;
            }
            case kInformation: expected_ = list.GetIntValueDef(5.02L, 0); break;
            case kHeader: readHeaderFooter(list, header_, 6.03L, 6.04L); break;
            case kFooter: readHeaderFooter(list, footer_, 7.03L, 7.04L); break;
            case kObject:
                if (auto object = MakeObject(list.GetIntValueDef(10.01L, -1))) {
                    object->LoadFromValuesNew(list);
                    currentPage()->AddObject(std::move(object));
                }
                break;
            default: break;
            }
        }
    }

    void ReadMiddle(ByteStream& stream)
    {
        TPvValueList list;
        while (stream.Remaining() > 0) {
            list.LoadFromStream(stream);
            switch (list.GetIntValue(10.0L)) {
            case kNewPage: newPage(); break;
            case kPageSetup: setup_ = MiddlePageSetup(list); break;
            case kMargins: margins_.LoadFromValues(list); break;
            case kShadow: shadow_.LoadFromValues(list); break;
            case kInformation: expected_ = list.GetIntValue(5.02L); break;
            case kHeader: header_.LoadFromValues(list, AFileVersion); break;
            case kFooter: footer_.LoadFromValues(list, AFileVersion); break;
            case kObject:
                if (auto object = MakeObject(list.GetIntValue(10.01L))) {
                    object->LoadFromValues(list);
                    if (auto* graphic = dynamic_cast<TPvGraphicObject*>(object.get());
                        graphic && AFileVersion <= kPvGraphicAfterRecordMax)
                        graphic->LoadGraphicFromStream(stream);
                    currentPage()->AddObject(std::move(object));
                }
                break;
            default: break;
            }
        }
    }

    void ReadOldest(ByteStream& stream, long double version)
    {
        const std::uint8_t orientation = ByteFromStream(stream);
        const std::int32_t height = IntFromStream(stream);
        setup_ = PageSetup(IntFromStream(stream), height, setup_.paper, orientation);
        header_.LoadFromStream(stream);
        footer_.LoadFromStream(stream);
        const qint64 count = CheckedCount(stream, IntFromStream(stream), 4);
        for (qint64 i = 0; i < count; ++i) {
            pages_->AddPage()->LoadFromStream(stream, version);
        }
    }

    // Hands everything to the preview, which has state gmLoading. The last
    // page becomes current (none for a document without pages); the one
    // update at the end tells the linked controls.
    void Commit()
    {
        TPvPreview& pv = preview_;
        pv.pages_ = std::move(pages_);
        pv.currentPageNum_ = pv.GetNumPages();
        pv.PageWidth.AsPvUnits = setup_.width;
        pv.PageHeight.AsPvUnits = setup_.height;
        pv.paperSize_ = setup_.paper;
        pv.orientation_ = setup_.orientation;
        pv.margins_->Assign(margins_);
        pv.image_->Shadow.Assign(shadow_);
        pv.header_->Assign(header_);
        pv.footer_->Assign(footer_);
        pv.state_ = gmIdle;
        pv.ResizePages();
    }

private:
    void newPage()
    {
        current_ = pages_->AddPage();
        ++counter_;
        if (preview_.OnLoadProgess)
            preview_.OnLoadProgess(&preview_, expected_ > 0 ? PvRound(counter_ * 100.0L / expected_) : 100);
    }

    // Objects before the first page record go on a page of their own.
    TPvPage* currentPage()
    {
        if (!current_) current_ = pages_->AddPage();
        return current_;
    }

    static platform::Pen pen(const TPvExtValueList& list, long double key, platform::Pen pen)
    {
        TPvPen record = PenToPvPen(pen);
        list.GetPvPen(key, record);
        PvPenToPen(pen, record);
        return pen;
    }

    static void readHeaderFooter(const TPvExtValueList& list, TPvHeaderFooter& part, long double showLineKey,
                                 long double visibleKey)
    {
        part.CaptionLeft.LoadFromString(list.GetStrValue(50.01L));
        part.CaptionCenter.LoadFromString(list.GetStrValue(50.02L));
        part.CaptionRight.LoadFromString(list.GetStrValue(50.03L));
        part.SetShowLine(list.GetBoolValue(showLineKey));
        part.SetVisible(list.GetBoolValue(visibleKey));
        part.SetPen(pen(list, 1005.0L, part.Pen()));
    }

    TPvPreview& preview_;
    std::unique_ptr<TPvPageList> pages_;
    TPvPage* current_ = nullptr;
    PageSetup setup_;
    TPvMargins margins_;
    TPvShadow shadow_;
    TPvHeader header_;
    TPvFooter footer_;
    std::int32_t expected_ = 0;
    std::int32_t counter_ = 0;
};

namespace {

enum class Generation { Oldest, Middle, Current };

// Reads the records of one generation beside the preview and, when all of
// them read, puts the document in its place; otherwise says so.
bool LoadDocument(TPvPreview& preview, TPreviewState& state, ByteStream& stream, Generation generation,
                  long double version)
{
    if (state != gmIdle) return false;
    state = gmLoading;
    try {
        PvDocumentReader reader(preview);
        switch (generation) {
        case Generation::Oldest: reader.ReadOldest(stream, version); break;
        case Generation::Middle: reader.ReadMiddle(stream); break;
        case Generation::Current: reader.ReadCurrent(stream); break;
        }
        reader.Commit();
        return true;
    } catch (const StreamReadError&) {
    } catch (...) {
        state = gmIdle;  // an event handler's own failure goes on to the caller
        throw;
    }
    state = gmIdle;
    ShowPvError(kPreviewClass, kPvMsgNotADocument);
    return false;
}

}  // namespace

bool TPvPreview::LoadFromStream(ByteStream& stream)
{
    return LoadDocument(*this, state_, stream, Generation::Middle, AFileVersion);
}

bool TPvPreview::LoadFromStreamNew(ByteStream& stream)
{
    return LoadDocument(*this, state_, stream, Generation::Current, AFileVersion);
}

void TPvPreview::PageSetupFromValues(const TPvValueList& list, long double)
{
    const PageSetup setup = MiddlePageSetup(list);
    PageWidth.AsPvUnits = setup.width;
    PageHeight.AsPvUnits = setup.height;
    paperSize_ = setup.paper;
    orientation_ = setup.orientation;
}

long double TPvPreview::GetFileVersion(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    const QByteArray head = file.read(10);
    if (head.size() != 10) return 0;
    ExtendedBytes bytes;
    std::copy(head.begin(), head.end(), bytes.begin());
    return DecodeExtended(bytes);
}

bool TPvPreview::LoadFromFile(const QString& fileName)
{
    if (state_ != gmIdle) return false;
    ByteStream stream(ReadWhole(fileName));
    long double version = 0;
    if (stream.Remaining() >= 10) version = FloatFromStream(stream);
    if (!std::isfinite(version) || version <= 0) {
        ShowPvError(kPreviewClass, kPvMsgNotADocument);
        return false;
    }
    AFileVersion = version;
    bool loadFile = true;
    if (BeforeLoad) BeforeLoad(this, version, loadFile);
    if (!loadFile) return false;
    if (version > kPvMiddleVersionMax) return LoadFromStreamNew(stream);
    if (version > kPvOldestVersionMax) return LoadFromStream(stream);
    return LoadDocument(*this, state_, stream, Generation::Oldest, version);
}

// ---------------------------------------------------------------- saving

void TPvPreview::SaveToStream(ByteStream& stream)
{
    const TPreviewState before = state_;
    state_ = gmSaving;
    FloatToStream(stream, GetVersion());
    TPvExtValueList list;

    list.AddIntVal(10.0L, kPageSetup);
    list.AddIntVal(2.01L, PageWidth.AsPvUnits);
    list.AddIntVal(2.02L, PageHeight.AsPvUnits);
    list.AddIntVal(2.03L, paperSize_);
    list.AddIntVal(2.04L, orientation_);
    list.SaveToStream(stream);

    const TPvMargins& m = *margins_;
    list.AddIntVal(10.0L, kMargins);
    list.AddIntVal(3.01L, m.Left.AsPvUnits);
    list.AddIntVal(3.02L, m.Top.AsPvUnits);
    list.AddIntVal(3.03L, m.Right.AsPvUnits);
    list.AddIntVal(3.04L, m.Bottom.AsPvUnits);
    list.AddBoolVal(3.05L, m.Visible());
    list.AddBoolVal(3.06L, m.ShowPrinterMargins());
    list.AddPvPen(3.07L, PenToPvPen(m.Pen()));
    list.AddPvPen(3.08L, PenToPvPen(m.PrinterMarginPen()));
    list.SaveToStream(stream);

    const TPvShadow& shadow = image_->Shadow;
    list.AddIntVal(10.0L, kShadow);
    list.AddIntVal(4.01L, std::int32_t(shadow.Color()));
    list.AddIntVal(4.02L, shadow.Width());
    list.AddBoolVal(4.03L, shadow.Visible());
    list.SaveToStream(stream);

    list.AddIntVal(10.0L, kInformation);
    list.AddExtVal(5.01L, Today());
    list.AddIntVal(5.02L, GetNumPages());
    list.SaveToStream(stream);

    const auto headerFooter = [&](const TPvHeaderFooter& part, std::int32_t kind, long double showLineKey,
                                  long double visibleKey) {
        list.AddIntVal(10.0L, kind);
        list.AddBoolVal(showLineKey, part.ShowLine());
        list.AddBoolVal(visibleKey, part.Visible());
        list.AddStrVal(50.01L, part.CaptionLeft.SaveToString());
        list.AddStrVal(50.02L, part.CaptionCenter.SaveToString());
        list.AddStrVal(50.03L, part.CaptionRight.SaveToString());
        list.AddPvPen(1005.0L, PenToPvPen(part.Pen()));
        list.SaveToStream(stream);
    };
    headerFooter(*header_, kHeader, 6.03L, 6.04L);
    headerFooter(*footer_, kFooter, 7.03L, 7.04L);

    const int n = GetNumPages();
    for (int p = 1; p <= n; ++p) {
        list.AddIntVal(10.0L, kNewPage);
        list.SaveToStream(stream);
        for (const auto& object : pages_->GetPage(p)->Objects) object->SaveToStream(stream);
        if (OnSaveProgress) OnSaveProgress(this, PvRound(p * 100.0L / n));
    }
    state_ = before;
}

bool TPvPreview::SaveToFile(const QString& fileName)
{
    ByteStream stream;
    SaveToStream(stream);
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly) && file.write(stream.Bytes()) == stream.Size() && file.commit()) return true;
    file.cancelWriting();
    ShowPvError(kPreviewClass, kPvMsgNotSaved);
    return false;
}
