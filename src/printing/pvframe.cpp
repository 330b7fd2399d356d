#include "printing/pvframe.h"

#include "platform/dialogs.h"
#include "printing/pvdraw.h"
#include "printing/pvpreview.h"

#include <QPainter>

// ---------------------------------------------------------------- TPvMargins

TPvMargins::TPvMargins(TPvPreview* preview) : preview_(preview)
{
    Bottom.SetAsMm(25);
    Left.SetAsMm(15);
    Right.SetAsMm(15);
    Top.SetAsMm(20);
    pen_.Color = platform::clSilver;
    pen_.Style = platform::psDot;
    printerMarginPen_ = pen_;
    for (TPvValue* v : {&Left, &Top, &Right, &Bottom}) v->OnChange = [this](TPvValue*) { marginsChanged(); };
}

void TPvMargins::marginsChanged()
{
    if (preview_) preview_->Perform(PvMsgMarginsChanged);
}

void TPvMargins::repaint()
{
    if (page_) page_->update();
}

void TPvMargins::SetClipMargins(bool clip)
{
    if (clip == clipMargins_) return;
    clipMargins_ = clip;
    if (preview_) preview_->UpdatePreview();
}

void TPvMargins::SetPen(const platform::Pen& pen)
{
    pen_ = pen;
    repaint();
}

void TPvMargins::SetPrinterMarginPen(const platform::Pen& pen)
{
    printerMarginPen_ = pen;
    repaint();
}

void TPvMargins::SetShowPrinterMargins(bool show)
{
    showPrinterMargins_ = show;
    repaint();
}

void TPvMargins::SetVisible(bool visible)
{
    visible_ = visible;
    repaint();
}

void TPvMargins::UsePrinterMargins()
{
    if (!preview_) return;
    TPvValue* sides[] = {&Left, &Top, &Right, &Bottom};
    for (int i = 0; i < 4; ++i) sides[i]->AsPvUnits = preview_->Printer().GetPrinterMargin(i).Units;
    preview_->UpdatePreview();
}

bool TPvMargins::AreMarginsValid() const
{
    if (!preview_) return true;
    const TPvValue* sides[] = {&Left, &Top, &Right, &Bottom};
    for (int i = 0; i < 4; ++i)
        if (sides[i]->AsPvUnits < preview_->Printer().GetPrinterMargin(i).Units) return false;
    return true;
}

void TPvMargins::Assign(const TPvMargins& source)
{
    Left.AsPvUnits = source.Left.AsPvUnits;
    Top.AsPvUnits = source.Top.AsPvUnits;
    Right.AsPvUnits = source.Right.AsPvUnits;
    Bottom.AsPvUnits = source.Bottom.AsPvUnits;
    visible_ = source.visible_;
    showPrinterMargins_ = source.showPrinterMargins_;
    pen_ = source.pen_;
    printerMarginPen_ = source.printerMarginPen_;
    repaint();
}

// ---------------------------------------------------------------- TPvShadow

void TPvShadow::SetColor(platform::TColor c)
{
    if (c == color_) return;
    color_ = c;
    if (owner_) owner_->update();
}

void TPvShadow::SetWidth(int w)
{
    if (w == width_) return;
    width_ = w;
    if (owner_) owner_->update();
}

void TPvShadow::SetVisible(bool v)
{
    if (v == visible_) return;
    visible_ = v;
    if (owner_) owner_->update();
}

void TPvShadow::Assign(const TPvShadow& source)
{
    SetColor(source.color_);
    SetWidth(source.width_);
    SetVisible(source.visible_);
}

// ---------------------------------------------------------------- TPvCustomPage

TPvCustomPage::TPvCustomPage(TPvPreview* preview, TPvMargins* margins, QWidget* parent)
    : QWidget(parent), Margins(margins), Preview(preview)
{
    if (Margins) Margins->SetPageControl(this);
}

TPvCustomPage::~TPvCustomPage() = default;

void TPvCustomPage::SetMetaFile(const QPicture& metafile)
{
    MetaFile = metafile;
    PageChanged();
}

void TPvCustomPage::PageChanged()
{
    shownValid_ = false;
    update();
}

void TPvCustomPage::DrawHeaderFooter(platform::Canvas& canvas, const platform::Rect& r, int inset)
{
    canvas.Pen = platform::Pen{0x777777, 1, platform::psSolid, platform::pmCopy};
    canvas.MoveTo(r.Left + inset, r.Top + inset);
    canvas.LineTo(r.Right - inset, r.Top + inset);
    canvas.MoveTo(r.Left + inset, r.Bottom - inset);
    canvas.LineTo(r.Right - inset, r.Bottom - inset);
}

void TPvCustomPage::drawPage(QPainter& painter, const platform::Rect& r)
{
    if (PagePainter)
        PagePainter(painter, r);
    else
        PlayPictureInto(painter, MetaFile, r);
}

platform::Rect TPvCustomPage::pageArea() const
{
    platform::Rect r{0, 0, width() - Shadow.Width(), height() - Shadow.Width()};
    r.Inflate(-(BorderGap + 1), -(BorderGap + 1));
    return r;
}

void TPvCustomPage::paintEvent(QPaintEvent*)
{
    if (!Preview) return;
    platform::PaintScope scope;
    QPainter painter(this);
    platform::Canvas c;
    c.Begin(&painter);
    const long double z = Preview->Zoom() / 100.0L;
    const int sw = Shadow.Width();
    const platform::Rect r = pageArea();

    c.Pen = platform::Pen{BorderColor, 1, platform::psSolid, platform::pmCopy};
    c.Brush.SetColor(platform::clWhite);
    c.Rectangle(r.Left - 1, r.Top - 1, r.Right, r.Bottom);
    constexpr qint64 kMaxShownPixels = 16'000'000;  // larger pages are played straight onto the control
    if (!r.IsEmpty() && qint64(r.Width()) * r.Height() <= kMaxShownPixels) {
        if (!shownValid_ || shown_.size() != QSize(r.Width(), r.Height())) {
            // The image is kept while its size holds: a page turn draws into it again.
            if (shown_.size() != QSize(r.Width(), r.Height()))
                shown_ = QImage(r.Width(), r.Height(), QImage::Format_ARGB32_Premultiplied);
            shown_.setDevicePixelRatio(1);
            shown_.setDotsPerMeterX(painter.device()->logicalDpiX() * 10000 / 254);
            shown_.setDotsPerMeterY(painter.device()->logicalDpiY() * 10000 / 254);
            shown_.fill(Qt::transparent);
            QPainter onShown(&shown_);
            drawPage(onShown, platform::Rect::FromSize(0, 0, r.Width(), r.Height()));
            shownValid_ = true;
        }
        painter.drawImage(r.Left, r.Top, shown_);
    } else {
        drawPage(painter, r);
    }

    if (Margins) {
        c.Brush.SetStyle(platform::bsClear);
        // The gap of 20 pixels is the preview's border gap.
        auto frame = [&](const platform::Pen& pen, int l, int t, int rr, int b) {
            c.Pen = pen;
            c.Rectangle(PvRound(l * z) + 20, PvRound(t * z) + 20, width() - 20 - PvRound(rr * z) - sw,
                        height() - 20 - PvRound(b * z) - sw);
        };
        if (Margins->ShowPrinterMargins()) {
            TPvUnits m[4];
            for (int i = 0; i < 4; ++i) m[i] = Preview->Printer().GetPrinterMargin(i);
            for (TPvUnits& u : m) FillPvUnits(u);
            frame(Margins->PrinterMarginPen(), m[0].Pixels, m[1].Pixels, m[2].Pixels, m[3].Pixels);
        }
        if (Margins->Visible())
            frame(Margins->Pen(), Margins->Left.GetAsPixels(), Margins->Top.GetAsPixels(),
                  Margins->Right.GetAsPixels(), Margins->Bottom.GetAsPixels());
    }
    if (Shadow.Visible()) {
        c.Brush.SetColor(Shadow.Color());
        c.Pen = platform::Pen{Shadow.Color(), 1, platform::psSolid, platform::pmCopy};
        c.Rectangle(r.Right, r.Top + sw, r.Right + sw, r.Bottom + sw);
        c.Rectangle(r.Left + sw, r.Bottom, r.Right, r.Bottom + sw);
    }
    c.End();
}
