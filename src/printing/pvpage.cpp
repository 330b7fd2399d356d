#include "printing/pvpage.h"

#include "platform/screen.h"
#include "printing/pvdraw.h"
#include "printing/pvobjects.h"
#include "printing/pvpreview.h"

#include <QPainter>

// ---------------------------------------------------------------- TPvPage

TPvPage::TPvPage(TPvPreview* preview) : Preview(preview) {}

TPvPage::~TPvPage() = default;

TPvBaseObject* TPvPage::AddObject(std::unique_ptr<TPvBaseObject> object)
{
    object->Page = PageNum;
    Objects.push_back(std::move(object));
    return Objects.back().get();
}

void TPvPage::Clear() { Objects.clear(); }

void TPvPage::RemoveLastObject()
{
    if (!Objects.empty()) Objects.pop_back();
}

void TPvPage::SetPageNum(int n)
{
    PageNum = n;
    for (auto& o : Objects) o->Page = n;
}

void TPvPage::SetShowHeader(bool show)
{
    if (show == ShowHeader) return;
    ShowHeader = show;
    if (Preview) Preview->UpdatePreview();
}

void TPvPage::SetShowFooter(bool show)
{
    if (show == ShowFooter) return;
    ShowFooter = show;
    if (Preview) Preview->UpdatePreview();
}

namespace {

QSize PageSize(const TPvPreview& preview, int pixelsPerInch)
{
    return {PvRound(UnitsToInches(preview.PageWidth.AsPvUnits) * pixelsPerInch),
            PvRound(UnitsToInches(preview.PageHeight.AsPvUnits) * pixelsPerInch)};
}

}  // namespace

QSize TPvPage::SetSize(QPicture& metafile, int pixelsPerInch) const
{
    const QSize size = PageSize(*Preview, pixelsPerInch);
    metafile.setBoundingRect(QRect(QPoint(0, 0), size));
    return size;
}

void TPvPage::drawOn(QPainter& painter, QSize size, int pixelsPerInch) const
{
    const TPvMargins& m = Preview->Margins();
    const PvDeviceMap map = PvDeviceMap::ForDraw(pixelsPerInch, {0, 0});
    platform::Canvas canvas;
    canvas.Begin(&painter);
    if (m.ClipMargins())
        canvas.SetClipRect({map.Length(m.Left.AsPvUnits), map.Length(m.Top.AsPvUnits),
                            size.width() - map.Length(m.Right.AsPvUnits),
                            size.height() - map.Length(m.Bottom.AsPvUnits)});
    const TPvPageContext page{Preview->GetNumPages(), QDateTime::currentDateTime()};
    for (const auto& o : Objects) o->Draw(canvas, pixelsPerInch, {0, 0}, page);
    if (Preview->Header().Visible() && ShowHeader)
        Preview->Header().Draw(canvas, pixelsPerInch, {0, 0}, PageNum, page.NumPages);
    if (Preview->Footer().Visible() && ShowFooter)
        Preview->Footer().Draw(canvas, pixelsPerInch, {0, 0}, PageNum, page.NumPages);
    canvas.End();
}

void TPvPage::Draw(QPicture& metafile, int pixelsPerInch) const
{
    metafile = QPicture();
    const QSize size = SetSize(metafile, pixelsPerInch);
    {
        QPainter painter(&metafile);
        drawOn(painter, size, pixelsPerInch);
    }
    metafile.setBoundingRect(QRect(QPoint(0, 0), size));
}

void TPvPage::Paint(QPainter& painter, const platform::Rect& r, int pixelsPerInch) const
{
    const QSize size = PageSize(*Preview, pixelsPerInch);
    if (size.isEmpty() || r.IsEmpty()) return;
    painter.save();
    painter.translate(r.Left, r.Top);
    painter.scale(double(r.Width()) / size.width(), double(r.Height()) / size.height());
    drawOn(painter, size, pixelsPerInch);
    painter.restore();
}

void TPvPage::Print(platform::Canvas& canvas, long double scale, const platform::Rect& pageRect, QPoint offset,
                    int pixelsPerInch) const
{
    const int count = Preview->GetNumPages();
    if (Preview->Header().Visible())
        Preview->Header().Print(canvas, scale, pageRect, offset, pixelsPerInch, PageNum, count);
    if (Preview->Footer().Visible())
        Preview->Footer().Print(canvas, scale, pageRect, offset, pixelsPerInch, PageNum, count);
    const TPvPageContext page{count, QDateTime::currentDateTime()};
    for (const auto& o : Objects) o->Print(canvas, scale, pageRect, offset, pixelsPerInch, page);
}

bool TPvPage::PrintPage()
{
    if (const QString why = Preview->Printer().PrepareJob(); !why.isEmpty()) {
        ShowPvError(QStringLiteral("TPvPage"), why);
        return false;
    }
    const TPvPagesPerSheet before = Preview->PagesPerSheet();
    Preview->SetPagesPerSheet(gmOnePage);
    const bool printed = Preview->PrintRange(PageNum, PageNum);
    Preview->SetPagesPerSheet(before);
    return printed;
}

// ---------------------------------------------------------------- TPvPageList

TPvPageList::~TPvPageList()
{
    while (!pages_.empty()) pages_.pop_back();
}

TPvPage* TPvPageList::GetPage(int n) const
{
    if (n < 1 || n > GetNumPages()) return nullptr;
    return pages_[std::size_t(n - 1)].get();
}

TPvPage* TPvPageList::AddPage()
{
    pages_.push_back(std::make_unique<TPvPage>(Preview));
    pages_.back()->SetPageNum(GetNumPages());
    return pages_.back().get();
}

bool TPvPageList::DeletePage(int n)
{
    if (n < 1 || n > GetNumPages()) return false;
    pages_.erase(pages_.begin() + (n - 1));
    for (int i = 0; i < GetNumPages(); ++i) pages_[std::size_t(i)]->SetPageNum(i + 1);
    return true;
}

// ---------------------------------------------------------------- captions

TPvHeaderFooterCaption::TPvHeaderFooterCaption(TPvHeaderFooter* owner) : owner_(owner)
{
    font_.Name = QStringLiteral("Arial");
    font_.PixelsPerInch = platform::ScreenPixelsPerInch();
    font_.SetSize(12);
}

void TPvHeaderFooterCaption::SetCaption(const QString& text)
{
    caption_ = text;
    owner_->Redraw();
}

void TPvHeaderFooterCaption::SetFont(const platform::Font& font)
{
    font_ = font;
    owner_->Redraw();
}

void TPvHeaderFooterCaption::Assign(const TPvHeaderFooterCaption& source)
{
    font_ = source.font_;
    caption_ = source.caption_;
    owner_->Redraw();
}

// ---------------------------------------------------------------- header and footer

TPvHeaderFooter::TPvHeaderFooter(TPvPreview* preview) : Preview(preview) {}

TPvHeaderFooter::~TPvHeaderFooter() = default;

void TPvHeaderFooter::SetPen(const platform::Pen& pen)
{
    pen_ = pen;
    Redraw();
}

void TPvHeaderFooter::SetShowLine(bool show)
{
    if (show == showLine_) return;
    showLine_ = show;
    Redraw();
}

void TPvHeaderFooter::SetVisible(bool visible)
{
    if (visible == visible_) return;
    visible_ = visible;
    Redraw();
}

const platform::Font& TPvHeaderFooter::GetLargestFont() const
{
    const platform::Font* largest = &CaptionLeft.Font();
    if (CaptionCenter.Font().Size() > largest->Size()) largest = &CaptionCenter.Font();
    if (CaptionRight.Font().Size() > largest->Size()) largest = &CaptionRight.Font();
    return *largest;
}

std::int32_t TPvHeaderFooter::GetHeight()
{
    const int dpi = platform::ScreenPixelsPerInch();
    platform::Canvas measure(dpi);
    measure.Font = PvFontForDevice(FontToPvFont(GetLargestFont(), 0), dpi, 1, dpi);
    Height.AsPvUnits = RoundToPvUnits(measure.TextHeight(QStringLiteral(" ")) * 2540.0L / dpi);
    return Height.AsPvUnits;
}

void TPvHeaderFooter::Assign(const TPvHeaderFooter& source)
{
    CaptionLeft.Assign(source.CaptionLeft);
    CaptionCenter.Assign(source.CaptionCenter);
    CaptionRight.Assign(source.CaptionRight);
    pen_ = source.pen_;
    showLine_ = source.showLine_;
    visible_ = source.visible_;
    Redraw();
}

void TPvHeaderFooter::Redraw()
{
    if (Preview && Preview->PreviewState() == gmIdle) Preview->UpdatePreview();
}

void TPvHeaderFooter::Draw(platform::Canvas& canvas, int pixelsPerInch, QPoint offset, int pageNum, int pageCount) const
{
    layout(canvas, PvDeviceMap::ForDraw(pixelsPerInch, offset), pageNum, pageCount);
}

void TPvHeaderFooter::Print(platform::Canvas& canvas, long double scale, const platform::Rect& pageRect, QPoint offset,
                            int pixelsPerInch, int pageNum, int pageCount) const
{
    layout(canvas, PvDeviceMap::ForPrint(scale, pageRect, offset, pixelsPerInch), pageNum, pageCount);
}

void TPvHeaderFooter::layout(platform::Canvas& canvas, const PvDeviceMap& map, int pageNum, int pageCount) const
{
    const TPvMargins& m = Preview->Margins();
    const int left = map.X(m.Left.AsPvUnits);
    const int right = map.X(static_cast<long double>(Preview->PageWidth.AsPvUnits) - m.Right.AsPvUnits);
    map.ApplyFont(canvas, FontToPvFont(GetLargestFont(), 0));
    const int h = canvas.TextHeight(QStringLiteral(" "));
    const int rule = ruleY(map, h);
    canvas.Brush.SetStyle(platform::bsClear);
    const QDateTime now = QDateTime::currentDateTime();
    const TPvHeaderFooterCaption* captions[] = {&CaptionLeft, &CaptionCenter, &CaptionRight};
    for (int i = 0; i < 3; ++i) {
        const QString text = Tokenize(captions[i]->Caption(), pageNum, pageCount, now);
        if (text.isEmpty()) continue;
        map.ApplyFont(canvas, FontToPvFont(captions[i]->Font(), 0));
        const int w = canvas.TextWidth(text);
        const int x = i == 0 ? left : i == 1 ? left + (right - left - w) / 2 : right - w;
        canvas.TextOut(x, captionsAboveRule() ? rule - canvas.TextHeight(text) : rule, text);
    }
    canvas.Pen = pen_;
    canvas.Pen.Width = std::max(1, CalculatePenWidth(TPvPen{0, 0, pen_.Width, 0}, map.PixelsPerInch()));
    if (showLine_) {
        canvas.MoveTo(left, rule);
        canvas.LineTo(right, rule);
    }
}

int TPvHeader::ruleY(const PvDeviceMap& map, int h) const { return map.Y(Preview->Margins().Top.AsPvUnits) + h; }

int TPvFooter::ruleY(const PvDeviceMap& map, int h) const
{
    const long double bottom = static_cast<long double>(Preview->PageHeight.AsPvUnits) - Preview->Margins().Bottom.AsPvUnits;
    return map.Y(bottom) - h;
}
