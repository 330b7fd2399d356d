#include "printing/pvpreview.h"

#include "platform/accessibility.h"
#include "platform/dialogs.h"
#include "platform/screen.h"
#include "printing/pvdraw.h"
#include "printing/pvobjects.h"
#include "printing/pvprintjob.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace {

const QString kPreviewClass = QStringLiteral("TPvPreview");

int screenPpi() { return platform::ScreenPixelsPerInch(); }

// The preview as a screen reader reads it: its description is the page it
// shows ("Page 2 of 5"), asked of the preview each time.
class PreviewAccessible : public QAccessibleWidget {
public:
    explicit PreviewAccessible(TPvPreview* preview) : QAccessibleWidget(preview) {}
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Description ? static_cast<TPvPreview*>(widget())->PageText()
                                             : QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* previewFactory(const QString& key, QObject* object)
{
    auto* preview = qobject_cast<TPvPreview*>(object);
    return preview && key == QLatin1String(object->metaObject()->className()) ? new PreviewAccessible(preview)
                                                                               : nullptr;
}

// The magnifier cursors of the page image, drawn here: a lens with "+" or "-".
QCursor magnifierCursor(bool zoomIn)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 4));
    p.drawEllipse(QRect(3, 3, 17, 17));
    p.drawLine(18, 18, 28, 28);
    p.setPen(QPen(Qt::black, 2));
    p.drawEllipse(QRect(3, 3, 17, 17));
    p.drawLine(18, 18, 28, 28);
    p.drawLine(7, 11, 16, 11);
    if (zoomIn) p.drawLine(11, 7, 11, 16);
    p.end();
    return QCursor(pm, 11, 11);
}

// Page width or height in inches.
long double inches(const TPvValue& v) { return UnitsToInches(v.AsPvUnits); }

}  // namespace

TPvLinkedControl::~TPvLinkedControl() = default;

// ---------------------------------------------------------------- page image

TPvPageImage::TPvPageImage(TPvPreview* preview, TPvMargins* margins, QWidget* parent)
    : TPvCustomPage(preview, margins, parent)
{
    setMouseTracking(true);
}

void TPvPageImage::UpdateCursor(bool mouseInside, Qt::KeyboardModifiers keys, Qt::MouseButtons buttons)
{
    if (!Preview || Preview->PreviewState() != gmIdle) return;
    const TPvPreviewOptions& o = Preview->Options;
    if (!mouseInside) {
        CursorState = PvCrDefault;
        unsetCursor();
    } else if ((buttons & Qt::RightButton) && o.AllowPanning) {
        CursorState = PvCrPanning;
        setCursor(Qt::PointingHandCursor);
    } else if ((keys & Qt::ControlModifier) && o.AllowDragZoom) {
        CursorState = PvCrDragZoom;
        setCursor(magnifierCursor(true));
    } else if ((keys & Qt::ShiftModifier) && o.AllowMouseZoom) {
        CursorState = PvCrZoomOut;
        setCursor(magnifierCursor(false));
    } else if (o.AllowMouseZoom) {
        CursorState = PvCrZoomIn;
        setCursor(magnifierCursor(true));
    } else {
        CursorState = PvCrDefault;
        unsetCursor();
    }
}

bool TPvPageImage::insidePicture(QPoint p) const
{
    const int sw = Shadow.Width();
    return p.x() > BorderGap && p.x() < width() - BorderGap - sw && p.y() > BorderGap && p.y() < height() - BorderGap - sw;
}

TPvUnits TPvPageImage::pageUnits(int pixels) const
{
    TPvUnits u;
    const long double zoom = Preview->Zoom() / 100.0L;
    u.Units = RoundToPvUnits((pixels - BorderGap) / static_cast<long double>(screenPpi()) * 2540 / zoom);
    FillPvUnits(u);
    return u;
}

void TPvPageImage::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (!Preview || !insidePicture(p)) return;
    TPvPreview& pv = *Preview;
    if (pv.OnMouseDown) pv.OnMouseDown(&pv, event->button(), event->modifiers(), p.x() - BorderGap, p.y() - BorderGap);
    if (pv.OnPageMouseDown)
        pv.OnPageMouseDown(&pv, event->button(), event->modifiers(), pageUnits(p.x()), pageUnits(p.y()));
    press_ = event->globalPosition().toPoint();
    pressScroll_ = {pv.horizontalScrollBar()->value(), pv.verticalScrollBar()->value()};
    panning_ = event->buttons() & Qt::RightButton;
    UpdateCursor(true, event->modifiers(), event->buttons());
    if (event->button() != Qt::LeftButton) return;
    if (CursorState == PvCrDragZoom) {
        dragging_ = true;
        band_ = QRect(p, p);
    } else if (CursorState == PvCrZoomIn || CursorState == PvCrZoomOut) {
        if (pv.Options.CenterOnMouseZoom) {
            // The pressed point moves to the middle of the preview.
            const QPoint inViewport = mapTo(pv.viewport(), p);
            pv.horizontalScrollBar()->setValue(pv.horizontalScrollBar()->value() + inViewport.x() - pv.viewport()->width() / 2);
            pv.verticalScrollBar()->setValue(pv.verticalScrollBar()->value() + inViewport.y() - pv.viewport()->height() / 2);
        }
        if (CursorState == PvCrZoomIn)
            pv.ZoomIn();
        else
            pv.ZoomOut();
    }
}

void TPvPageImage::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (!Preview) return;
    TPvPreview& pv = *Preview;
    if (!insidePicture(p)) {
        UpdateCursor(false, event->modifiers(), event->buttons());
        if (dragging_) update();
        return;
    }
    if (pv.OnMouseMove) pv.OnMouseMove(&pv, event->modifiers(), p.x() - BorderGap, p.y() - BorderGap);
    if (pv.OnPageMouseMove) pv.OnPageMouseMove(&pv, event->modifiers(), pageUnits(p.x()), pageUnits(p.y()));
    panning_ = event->buttons() & Qt::RightButton;
    UpdateCursor(true, event->modifiers(), event->buttons());
    if (panning_ && CursorState == PvCrPanning && pv.PreviewState() == gmIdle) {
        const QPoint moved = event->globalPosition().toPoint() - press_;
        pv.state_ = gmUpdating;
        pv.horizontalScrollBar()->setValue(pressScroll_.x() - moved.x());
        pv.verticalScrollBar()->setValue(pressScroll_.y() - moved.y());
        pv.state_ = gmIdle;
    } else if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        band_.setBottomRight(p);
        update();
    }
}

void TPvPageImage::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (!Preview) return;
    TPvPreview& pv = *Preview;
    if (insidePicture(p)) {
        if (pv.OnMouseUp) pv.OnMouseUp(&pv, event->button(), event->modifiers(), p.x() - BorderGap, p.y() - BorderGap);
        if (pv.OnPageMouseUp)
            pv.OnPageMouseUp(&pv, event->button(), event->modifiers(), pageUnits(p.x()), pageUnits(p.y()));
    }
    if (dragging_) {
        dragging_ = false;
        const QRect band = band_.normalized();
        update();
        // A click without a drag, or a page of no size, leaves the zoom alone.
        const int w = band.width() - 1, h = band.height() - 1;
        if (w > 0 && h > 0 && pv.PageWidth.AsPvUnits > 0 && pv.PageHeight.AsPvUnits > 0 && width() > 40 &&
            height() > 40) {
            const long double fx = (band.left() - 20) / static_cast<long double>(width() - 40);
            const long double fy = (band.top() - 20) / static_cast<long double>(height() - 40);
            const long double factor = std::min(pv.viewport()->width() / static_cast<long double>(w),
                                                pv.viewport()->height() / static_cast<long double>(h));
            pv.SetZoom(PvRound(pv.Zoom() * factor));
            QScrollBar* hb = pv.horizontalScrollBar();
            QScrollBar* vb = pv.verticalScrollBar();
            hb->setValue(PvRound(hb->maximum() * fx) + 20);
            vb->setValue(PvRound(vb->maximum() * fy) + 20);
        }
    }
    panning_ = false;
    CursorState = PvCrDefault;
    UpdateCursor(insidePicture(p), event->modifiers(), event->buttons());
}

bool TPvPageImage::event(QEvent* event)
{
    return pressWatch_.Handle(event, [&] { return TPvCustomPage::event(event); });
}

void TPvPageImage::pressLost()
{
    if (dragging_) {
        dragging_ = false;
        update();
    }
}

void TPvPageImage::leaveEvent(QEvent*)
{
    CursorState = PvCrDefault;
    unsetCursor();
}

void TPvPageImage::paintCutMarks(QPainter& painter) const
{
    const long double width = Preview->PageWidth.AsPvUnits, height = Preview->PageHeight.AsPvUnits;
    if (width <= 0 || height <= 0) return;
    const platform::Rect page = pageArea();
    // page units to the control's pixels, held to the page
    const auto x = [&](long double u) {
        return PvRound(page.Left + std::clamp(u / width, 0.0L, 1.0L) * page.Width());
    };
    const auto y = [&](long double u) {
        return PvRound(page.Top + std::clamp(u / height, 0.0L, 1.0L) * page.Height());
    };
    // a bar across the edge the box crosses: a little inside the page, more outside it
    constexpr int kIn = 3, kOut = 8, kBar = kIn + kOut;
    for (const TPvRect& box : Preview->CutMarks()) {
        const int left = x(box.Left), top = y(box.Top), across = x(box.Right) - left, down = y(box.Bottom) - top;
        if (box.Right > width) painter.fillRect(page.Right - kIn, top, kBar, down, Qt::red);
        if (box.Left < 0) painter.fillRect(page.Left - kOut, top, kBar, down, Qt::red);
        if (box.Bottom > height) painter.fillRect(left, page.Bottom - kIn, across, kBar, Qt::red);
        if (box.Top < 0) painter.fillRect(left, page.Top - kOut, across, kBar, Qt::red);
    }
}

void TPvPageImage::paintEvent(QPaintEvent* event)
{
    TPvCustomPage::paintEvent(event);
    if (Preview && !Preview->CutMarks().empty()) {
        QPainter marks(this);
        paintCutMarks(marks);
    }
    if (!dragging_) return;
    QPainter p(this);
    QPen pen(Qt::black);
    pen.setStyle(Qt::DotLine);
    p.setPen(pen);
    p.drawRect(band_.normalized());
}

// ---------------------------------------------------------------- construction

TPvPreview::TPvPreview(QWidget* parent) : QAbstractScrollArea(parent)
{
    // before anything made below asks Qt for this preview's interface, which
    // Qt keeps once made
    static const bool readable = [] {
        QAccessible::installFactory(previewFactory);
        return true;
    }();
    (void)readable;
    state_ = gmCreating;
    updating_ = true;
    canvas_ = std::make_unique<TPvCanvas>(this);
    pages_ = std::make_unique<TPvPageList>(this);
    margins_ = std::make_unique<TPvMargins>(this);
    footer_ = std::make_unique<TPvFooter>(this);
    header_ = std::make_unique<TPvHeader>(this);
    image_ = new TPvPageImage(this, margins_.get(), viewport());
    image_->BorderGap = 20;
    image_->BorderColor = platform::clBlack;
    image_->PagePainter = [this](QPainter& painter, const platform::Rect& r) {
        if (const TPvPage* page = shownPage()) page->Paint(painter, r, screenPpi());
    };
    resize(210, 297);
    SetBorderStyle(platform::bsSingle);
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    orientation_ = gmPortrait;
    paperSize_ = A4;
    SetPageSize(210, 297, PvMillimeters);
    paperSize_ = A4;
    printer_ = std::make_unique<TPvPrinter>(kPreviewClass);
    NewPage();
    PageWidth.OnChange = [this](TPvValue*) { pageSizeChange(); };
    PageHeight.OnChange = [this](TPvValue*) { pageSizeChange(); };
    updating_ = false;
    state_ = gmIdle;
    layoutImage(zoom_, false);
    UpdatePreview();
    setAccessibleName(QStringLiteral("Print preview"));
    platform::ShowFocusFrame(this);  // the frame of the page area shows no focus of its own
}

TPvPreview::~TPvPreview()
{
    state_ = gmDestroying;
    delete image_;
    image_ = nullptr;
    pages_.reset();
}

TPvShadow& TPvPreview::Shadow() { return image_->Shadow; }

void TPvPreview::SetBorderStyle(platform::BorderStyle style)
{
    borderStyle_ = style;
    setFrameStyle(style == platform::bsSingle ? QFrame::StyledPanel | QFrame::Sunken : QFrame::NoFrame);
}

// ---------------------------------------------------------------- content

void TPvPreview::Clear()
{
    DeleteAllPages(true);
    canvas_->Brush.SetColor(platform::clWhite);
    canvas_->Pen.Color = platform::clBlack;
    UpdatePreview();
    fire(OnClear);
}

TPvPage* TPvPreview::NewPage()
{
    const bool wasUpdating = updating_;
    updating_ = true;
    TPvPage* page = pages_->AddPage();
    SetCurrentPageNum(page->PageNum);
    MessageToControls(PvMsgPageAdded, 0, 0);
    fire(OnNewPage);
    updating_ = wasUpdating;
    return page;
}

void TPvPreview::DeletePage(int n)
{
    if (!pages_->DeletePage(n)) {
        ShowPvError(kPreviewClass, kPvMsgPageRange);
        return;
    }
    if (GetNumPages() == 0) {
        currentPageNum_ = 0;
        NewPage();
    } else {
        currentPageNum_ = std::min(currentPageNum_, GetNumPages());
    }
    tellPage();
    UpdatePreview();
}

void TPvPreview::DeletePages(int first, int last)
{
    for (int n = last; n >= first; --n) DeletePage(n);
}

void TPvPreview::SetCutMarks(std::vector<TPvRect> boxes)
{
    cutMarks_ = std::move(boxes);
    image_->update();
}

void TPvPreview::DeleteAllPages(bool makeNew)
{
    pages_ = std::make_unique<TPvPageList>(this);
    cutMarks_.clear();
    currentPageNum_ = 0;
    if (makeNew)
        NewPage();
    else
        tellPage();
}

TPvPage* TPvPreview::GetPage(int n)
{
    if (TPvPage* page = pages_->GetPage(n)) return page;
    ShowPvError(kPreviewClass, kPvMsgPageRange);
    return CurrentPage();
}

const QPicture& TPvPreview::GetMetaFile(int n)
{
    TPvPage* page = GetPage(n);
    page->Draw(page->Metafile, screenPpi());
    return page->Metafile;
}

TPvPage* TPvPreview::CurrentPage()
{
    if (GetNumPages() == 0) return NewPage();
    currentPageNum_ = std::clamp(currentPageNum_, 1, GetNumPages());
    return pages_->GetPage(currentPageNum_);
}

TPvPage* TPvPreview::shownPage() { return GetNumPages() == 0 ? nullptr : CurrentPage(); }

// The page image draws the current page from its objects; a page's picture
// is rendered when it is asked for (GetMetaFile, thumbnails).
void TPvPreview::RedrawPages() { image_->PageChanged(); }

void TPvPreview::ResizePages()
{
    for (int n = 1; n <= GetNumPages(); ++n) {
        TPvPage* page = pages_->GetPage(n);
        page->SetSize(page->Metafile, screenPpi());
    }
    SetZoom(zoom_);
}

// ---------------------------------------------------------------- geometry

void TPvPreview::SetPageSize(long double width, long double height, TPvMeasurement unit)
{
    // Both lengths are checked before either changes.
    const std::int32_t w = RoundToPvUnits(ConvertValue(width, unit, PvUnits));
    const std::int32_t h = RoundToPvUnits(ConvertValue(height, unit, PvUnits));
    const TPreviewState before = state_;
    if (state_ == gmIdle) state_ = gmUpdating;
    updating_ = true;
    PageWidth.AsPvUnits = orientation_ == gmPortrait ? w : h;
    PageHeight.AsPvUnits = orientation_ == gmPortrait ? h : w;
    paperSize_ = Custom;
    state_ = before;
    updating_ = false;
}

void TPvPreview::SetPage(TPvPaperSize paper)
{
    struct Paper {
        long double w, h;
        TPvMeasurement unit;
    };
    static constexpr Paper kPapers[] = {
        {297, 420, PvMillimeters}, {210, 297, PvMillimeters}, {148, 210, PvMillimeters}, {105, 148, PvMillimeters},
        {176, 250, PvMillimeters}, {229, 163, PvMillimeters}, {8.5L, 14, PvInches},      {8.5L, 11, PvInches},
    };
    if (paper != Custom) {
        const Paper& p = kPapers[std::min<int>(paper, Letter)];
        SetPageSize(p.w, p.h, p.unit);
    }
    paperSize_ = paper;
    MessageToControls(PvMsgPageSize, 0, 0);
    if (state_ == gmIdle) SetZoom(zoom_);
}

void TPvPreview::SetOrientation(TPvOrientation o)
{
    if (o == orientation_) return;
    orientation_ = o;
    const std::int32_t a = PageWidth.AsPvUnits, b = PageHeight.AsPvUnits;
    const bool landscape = o == gmLandscape;
    PageWidth.AsPvUnits = landscape ? std::max(a, b) : std::min(a, b);
    PageHeight.AsPvUnits = landscape ? std::min(a, b) : std::max(a, b);
    ResizePages();
    MessageToControls(PvMsgOrientation, 0, 0);
    fire(OnChangeOrientation);
}

void TPvPreview::UsePrinterPageSize()
{
    if (!printer_->GetPrinterSelected() || printer_->PrinterPpiX() <= 0 || printer_->PrinterPpiY() <= 0) {
        ShowPvError(kPreviewClass, kPvMsgNoPrinter);
        return;
    }
    PageWidth.AsPvUnits = RoundToPvUnits(static_cast<long double>(printer_->PrinterWidth()) / printer_->PrinterPpiX() * 2540);
    PageHeight.AsPvUnits = RoundToPvUnits(static_cast<long double>(printer_->PrinterHeight()) / printer_->PrinterPpiY() * 2540);
    paperSize_ = Custom;
    fire(OnPageSizeChange);
    MessageToControls(PvMsgPageSize, 0, 0);
    const TPvOrientation o = PageHeight.AsPvUnits <= PageWidth.AsPvUnits ? gmLandscape : gmPortrait;
    if (o != orientation_) {
        orientation_ = o;
        fire(OnChangeOrientation);
        MessageToControls(PvMsgOrientation, 0, 0);
    }
    SetZoom(zoom_);
}

std::int32_t TPvPreview::AvailablePageWidth(TPvCoordsRelative relative)
{
    std::int64_t w = PageWidth.AsPvUnits;
    switch (relative) {
    case fromPage: break;
    case fromPrinterMargins: w -= printer_->GetPrinterMargin(0).Units + printer_->GetPrinterMargin(2).Units; break;
    case fromUserMargins:
    case fromHeaderLine: w -= std::int64_t(margins_->Left.AsPvUnits) + margins_->Right.AsPvUnits; break;
    }
    return RoundToPvUnits(w);
}

std::int32_t TPvPreview::AvailablePageHeight(TPvCoordsRelative relative)
{
    std::int64_t h = PageHeight.AsPvUnits;
    switch (relative) {
    case fromPage: break;
    case fromPrinterMargins: h -= printer_->GetPrinterMargin(1).Units + printer_->GetPrinterMargin(3).Units; break;
    case fromUserMargins: h -= std::int64_t(margins_->Top.AsPvUnits) + margins_->Bottom.AsPvUnits; break;
    case fromHeaderLine:
        h -= std::int64_t(margins_->Top.AsPvUnits) + margins_->Bottom.AsPvUnits + header_->GetHeight() +
             footer_->GetHeight();
        break;
    }
    return RoundToPvUnits(h);
}

void TPvPreview::pageSizeChange()
{
    if (!updating_) ResizePages();
}

void TPvPreview::SetPagesPerSheet(TPvPagesPerSheet p)
{
    if (p == pagesPerSheet_) return;
    pagesPerSheet_ = p;
    MessageToControls(PvMsgPagesPerSheet, 0, 0);
}

void TPvPreview::SetPrinterIndex(int index)
{
    if (!printer_->GetPrinterSelected() || index == printer_->GetPrinterIndex()) return;
    if (!printer_->SetPrinterIndex(index)) return;
    MessageToControls(PvMsgPrinter, 0, 0);
    fire(OnChangePrinter);
}

void TPvPreview::SetPrinterBinIndex(int index)
{
    if (!printer_->GetPrinterSelected() || index == printer_->GetPrinterBinIndex()) return;
    if (printer_->SetPrinterBinIndex(index)) MessageToControls(PvMsgPrinterBin, 0, 0);
}

// ---------------------------------------------------------------- navigation

void TPvPreview::SetCurrentPageNum(int n)
{
    if (n < 1 || n > GetNumPages()) {
        ShowPvError(kPreviewClass, kPvMsgPageRange);
        return;
    }
    currentPageNum_ = n;
    image_->PageChanged();
    tellPage();
    if (OnPageChange) OnPageChange(this, n);
    MessageToControls(PvMsgPageChanged, 0, 0);
}

QString TPvPreview::PageText() const
{
    const int pages = GetNumPages();
    if (pages == 0) return QStringLiteral("No pages");
    return QStringLiteral("Page %1 of %2").arg(std::clamp(currentPageNum_, 1, pages)).arg(pages);
}

void TPvPreview::tellPage()
{
    const QString text = PageText();
    if (text == toldPage_) return;
    toldPage_ = text;
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    platform::SendAccessibleEvent(changed);
}

void TPvPreview::FirstPage()
{
    if (currentPageNum_ > 1) turnTo(1);
}

void TPvPreview::PreviousPage()
{
    if (currentPageNum_ > 1) turnTo(currentPageNum_ - 1);
}

void TPvPreview::NextPage()
{
    if (currentPageNum_ < GetNumPages()) turnTo(currentPageNum_ + 1);
}

void TPvPreview::LastPage()
{
    if (currentPageNum_ < GetNumPages()) turnTo(GetNumPages());
}

void TPvPreview::turnTo(int n)
{
    SetCurrentPageNum(n);
    if (OnPageChange) OnPageChange(this, currentPageNum_);
    // the focus is on the button that turned the page, not on the page
    platform::Announce(PageText(), this);
}

// ---------------------------------------------------------------- zoom and view

void TPvPreview::layoutImage(int zoom, bool keepScroll)
{
    QScrollBar* hb = horizontalScrollBar();
    QScrollBar* vb = verticalScrollBar();
    const long double rx = hb->maximum() > 0 ? hb->value() / (hb->maximum() + 0.1L) : 0;
    const long double ry = vb->maximum() > 0 ? vb->value() / (vb->maximum() + 0.1L) : 0;
    const int sw = image_->Shadow.Width();
    const int w = PvRound(screenPpi() * inches(PageWidth) * zoom / 100 + 40) + sw;
    const int h = PvRound(screenPpi() * inches(PageHeight) * zoom / 100 + 40) + sw;
    image_->resize(w, h);
    const QSize vp = viewport()->size();
    hb->setRange(0, std::max(0, w - vp.width()));
    hb->setPageStep(vp.width());
    hb->setSingleStep(10);
    vb->setRange(0, std::max(0, h - vp.height()));
    vb->setPageStep(vp.height());
    vb->setSingleStep(10);
    hb->setValue(keepScroll ? PvRound(hb->maximum() * rx) : 0);
    vb->setValue(keepScroll ? PvRound(vb->maximum() * ry) : 0);
    placeImage();
}

void TPvPreview::placeImage()
{
    if (!image_) return;
    const QSize vp = viewport()->size();
    const int x = image_->width() < vp.width() ? (vp.width() - image_->width()) / 2 : -horizontalScrollBar()->value();
    const int y = image_->height() < vp.height() ? (vp.height() - image_->height()) / 2 : -verticalScrollBar()->value();
    image_->move(x, y);
}

void TPvPreview::scrollContentsBy(int, int) { placeImage(); }

void TPvPreview::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (!image_) return;
    if (state_ == gmIdle)
        SetZoom(zoom_);
    else
        placeImage();
}

void TPvPreview::SetZoom(int z)
{
    if (state_ != gmIdle) return;
    state_ = gmZooming;
    z = std::clamp(z, std::min(MinZoom, MaxZoom), MaxZoom);
    layoutImage(z, true);
    if (OnZoom) OnZoom(this, zoom_, z);
    zoom_ = z;
    state_ = gmIdle;
    UpdatePreview();
}

void TPvPreview::ZoomIn() { SetZoom(ZoomStyle == gmFixedZoom ? zoom_ + ZoomIncrement : zoom_ + zoom_ / 2); }
void TPvPreview::ZoomOut() { SetZoom(ZoomStyle == gmFixedZoom ? zoom_ - ZoomIncrement : zoom_ - zoom_ / 2); }

int TPvPreview::FitToWidthZoom() const
{
    const long double page = inches(PageWidth) * screenPpi();
    return page > 0 ? int((width() - 40) / page * 100) : zoom_;
}

int TPvPreview::FitToHeightZoom() const
{
    const long double page = inches(PageHeight) * screenPpi();
    return page > 0 ? int((height() - 40) / page * 100) : zoom_;
}

void TPvPreview::FitWidth()
{
    if (PageWidth.AsPvUnits > 0) SetZoom(FitToWidthZoom() - 5);
}

void TPvPreview::FitHeight()
{
    if (PageHeight.AsPvUnits > 0) SetZoom(FitToHeightZoom());
}

void TPvPreview::FitWholePage()
{
    if (PageWidth.AsPvUnits > 0 && PageHeight.AsPvUnits > 0) SetZoom(std::min(FitToWidthZoom(), FitToHeightZoom()));
}

void TPvPreview::ScrollToPosition(int xPercent, int yPercent)
{
    if (xPercent != -1) horizontalScrollBar()->setValue(PvRound(horizontalScrollBar()->maximum() / 100.0L * xPercent));
    if (yPercent != -1) verticalScrollBar()->setValue(PvRound(verticalScrollBar()->maximum() / 100.0L * yPercent));
}

void TPvPreview::UpdatePreview()
{
    if (state_ != gmIdle) return;
    state_ = gmUpdating;
    updating_ = true;
    const int sw = image_->Shadow.Width();
    image_->resize(PvRound(screenPpi() * inches(PageWidth) * zoom_ / 100 + 40) + sw,
                   PvRound(screenPpi() * inches(PageHeight) * zoom_ / 100 + 40) + sw);
    placeImage();
    image_->PageChanged();
    state_ = gmIdle;
    updating_ = false;
    if (InstantPreview) MessageToControls(PvMsgUpdated, 0, 0);
}

// ---------------------------------------------------------------- linked controls

void TPvPreview::AddAssociatedComponent(TPvLinkedControl* c)
{
    if (c && std::find(associated_.begin(), associated_.end(), c) == associated_.end()) associated_.push_back(c);
}

void TPvPreview::RemoveAssociatedComponent(TPvLinkedControl* c)
{
    associated_.erase(std::remove(associated_.begin(), associated_.end(), c), associated_.end());
}

void TPvPreview::MessageToControls(int message, int wParam, int lParam)
{
    const std::vector<TPvLinkedControl*> controls = associated_;
    for (TPvLinkedControl* c : controls) c->PreviewMessage(this, message, wParam, lParam);
}

void TPvPreview::Perform(int message, int wParam, int)
{
    if (message == PvMsgRendering)
        state_ = wParam == 0 ? gmRendering : gmIdle;
    else if (message == PvMsgMarginsChanged)
        fire(OnChangeMargins);
}

// ---------------------------------------------------------------- printing

bool TPvPreview::Print() { return PrintRange(1, GetNumPages()); }

bool TPvPreview::PrintCurrentPage()
{
    const TPvPage* page = shownPage();
    return page ? PrintRange(page->PageNum, page->PageNum) : PrintRange(1, 0);
}

bool TPvPreview::PrintRange(int first, int last)
{
    TPvPrintRequest request;
    request.First = first;
    request.Last = last;
    request.NumPages = GetNumPages();
    request.PagesPerSheet = pagesPerSheet_;
    request.Orientation = orientation_;
    request.OwnerClass = kPreviewClass;
    request.PrintPage = [this](int n, platform::Canvas& canvas, long double scale, const platform::Rect& pageRect,
                               QPoint offset, int ppi) { GetPage(n)->Print(canvas, scale, pageRect, offset, ppi); };
    request.BeforePrint = [this] { fire(BeforePrint); };
    request.AfterPrint = [this] { fire(AfterPrint); };
    request.OnPrintProgress = [this](int printed, int total) {
        if (OnPrintProgress) OnPrintProgress(this, printed, total);
    };
    if (!PvPrintPages(*printer_, request)) return false;
    if (platform::AccessibilityListening()) {
        const QString printer = printer_->GetPrinters().value(printer_->GetPrinterIndex());
        platform::Announce(QStringLiteral("Sent to %1.").arg(printer), this);
    }
    return true;
}

QString TPvPreview::Tokenize(const QString& text, int page) const
{
    return ::Tokenize(text, page, GetNumPages(), QDateTime::currentDateTime());
}
