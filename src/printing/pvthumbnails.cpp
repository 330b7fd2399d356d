#include "printing/pvthumbnails.h"

#include "platform/screen.h"
#include "printing/pvunits.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>

namespace {

const QString kThumbnailsClass = QStringLiteral("TPvThumbnails");
constexpr int kThumbShadow = 2;
constexpr int kThumbBorderGap = 3;
constexpr int kCaptionHeight = 14;

}  // namespace

// ---------------------------------------------------------------- TPvThumbPage

TPvThumbPage::TPvThumbPage(TPvPreview* preview, TPvThumbnail* thumbnail)
    : TPvCustomPage(preview, nullptr, thumbnail), thumbnail_(thumbnail)
{
    Shadow.SetWidth(kThumbShadow);
}

void TPvThumbPage::mousePressEvent(QMouseEvent* event)
{
    thumbnail_->ThumbMouseDown(event->button(), event->modifiers());
}

void TPvThumbPage::contextMenuEvent(QContextMenuEvent* event)
{
    if (QMenu* popup = thumbnail_->Owner()->ThumbPopup()) popup->popup(event->globalPos());
}

// ---------------------------------------------------------------- TPvThumbnail

TPvThumbnail::TPvThumbnail(TPvThumbnails* owner, int pageNum)
    : QWidget(owner->viewport()), owner_(owner), label_(new QLabel(this)), pageNum_(pageNum),
      page_(new TPvThumbPage(owner->Preview(), this))
{
    page_->BorderGap = kThumbBorderGap;
    label_->setAlignment(Qt::AlignCenter);
}

void TPvThumbnail::Invalidate()
{
    update();
    const bool chosen = owner_->Highlight() && owner_->ItemIndex() == pageNum_;
    const platform::TColor color = chosen ? platform::clBlue : platform::clBlack;
    page_->update();
    // The caption in the palette's link or text colour, as it reads on the
    // list's base. A style sheet, as the label's palette alone does not reach
    // its text; set on change only.
    const QString caption = platform::ToQColor(platform::ReadableTextColor(
                                                   chosen ? platform::clHotLight : platform::clWindowText,
                                                   platform::clWindow))
                                .name();
    const QString sheet = QStringLiteral("color: %1").arg(caption);
    if (label_->styleSheet() != sheet)
        label_->setStyleSheet(sheet);
    page_->BorderColor = color;
}

void TPvThumbnail::SetCaption(const QString& text)
{
    QString caption = text;
    label_->setText(caption.replace(QLatin1Char('#'), QString::number(pageNum_)));
    label_->adjustSize();
}

void TPvThumbnail::ResizeContents()
{
    const int sw = kThumbShadow;
    const int caption = owner_->CaptionHeight();
    page_->Shadow.SetWidth(sw);
    page_->BorderGap = kThumbBorderGap;
    page_->setGeometry(3, 3, width() + sw - 10, height() + sw - 10 - caption);
    SetCaption(owner_->PageCaptions());
    label_->setVisible(caption > 0);
    label_->move((width() - label_->width()) / 2, page_->height() + 6);
}

void TPvThumbnail::ThumbMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift)
{
    const QPointer<TPvThumbnail> self(this);
    TPvPreview* preview = owner_->Preview();
    if (!preview) return;
    if (owner_->ItemIndex() != pageNum_) {
        preview->SetCurrentPageNum(pageNum_);
        if (!self) return;  // the preview's page change rebuilt the thumbnails
        owner_->SetItemIndex(pageNum_);
        owner_->UpdatePage(pageNum_);
    }
    if (owner_->OnThumbMouseDown && pageNum_ <= preview->GetNumPages())
        owner_->OnThumbMouseDown(this, button, shift, preview->GetPage(pageNum_));
}

void TPvThumbnail::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    ThumbMouseDown(event->button(), event->modifiers());
}

// ---------------------------------------------------------------- TPvThumbnails

TPvThumbnails::TPvThumbnails(QWidget* parent) : QAbstractScrollArea(parent)
{
    resize(250, 124);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
    ready_ = true;
}

TPvThumbnails::~TPvThumbnails()
{
    if (preview_) preview_->RemoveAssociatedComponent(this);
}

void TPvThumbnails::SetPreview(TPvPreview* preview)
{
    if (!preview) return;
    if (preview_ && preview_ != preview) preview_->RemoveAssociatedComponent(this);
    preview_ = preview;
    preview->AddAssociatedComponent(this);
    // A destroyed preview is forgotten, also by the page pictures.
    connect(preview, &QObject::destroyed, this, &TPvThumbnails::forgetPreview, Qt::UniqueConnection);
    for (TPvThumbnail* t : thumbs_) t->PageImage().Preview = preview;
    UpdateThumbnails();
}

void TPvThumbnails::forgetPreview()
{
    for (TPvThumbnail* t : thumbs_) t->PageImage().Preview = nullptr;
}

void TPvThumbnails::SetBorderStyle(TBorderStyle style)
{
    if (style == borderStyle_) return;
    borderStyle_ = style;
    setFrameStyle(style == bsSingle ? QFrame::StyledPanel | QFrame::Sunken : QFrame::NoFrame);
}

void TPvThumbnails::SetThumbsEnabled(bool enabled)
{
    if (enabled == enabled_) return;
    enabled_ = enabled;
    UpdateThumbnails();
}

void TPvThumbnails::SetHighlight(bool highlight)
{
    if (highlight == highlight_) return;
    highlight_ = highlight;
    UpdateThumbnails();
}

void TPvThumbnails::SetLayout(TPvThumbNailLayout layout)
{
    if (layout == layout_) return;
    layout_ = layout;
    UpdateThumbnails();
}

void TPvThumbnails::SetGridWidth(int width)
{
    if (width == gridWidth_) return;
    gridWidth_ = width;
    UpdateThumbnails();
}

void TPvThumbnails::SetPageCaption(const QString& text)
{
    pageCaptions_ = text;
    UpdateThumbnails();
}

void TPvThumbnails::SetShowCaption(bool show)
{
    if (show == ShowCaption()) return;
    captionHeight_ = show ? kCaptionHeight : 0;
    if (ready_) UpdateThumbnails();
}

void TPvThumbnails::SetThumbSize(int size)
{
    if (size < 1 || size > 20) {
        ShowPvError(kThumbnailsClass, kPvMsgThumbSize);
        return;
    }
    if (size == thumbSize_) return;
    thumbSize_ = size;
    if (ready_) UpdateThumbnails();
}

void TPvThumbnails::SetThumbPopup(QMenu* menu) { popup_ = menu; }

void TPvThumbnails::SetItemIndex(int n)
{
    if (n == itemIndex_) return;
    previousIndex_ = itemIndex_;
    itemIndex_ = n;
    UpdatePage(n);
}

void TPvThumbnails::UpdatePage(int n)
{
    if (previousIndex_ > 0 && previousIndex_ <= Count()) thumbs_[std::size_t(previousIndex_ - 1)]->Invalidate();
    if (n > 0 && n <= Count()) thumbs_[std::size_t(n - 1)]->Invalidate();
}

void TPvThumbnails::PreviewMessage(TPvPreview*, int message, int, int)
{
    switch (message) {
    case PvMsgPageChanged:
    case PvMsgPageAdded:
    case PvMsgOrientation:
    case PvMsgPageSize:
    case PvMsgUpdated: UpdateThumbnails(); break;
    default: break;
    }
}

void TPvThumbnails::UpdateThumbnails()
{
    if (!enabled_) return;
    syncronizePages();
    resizeThumbnails();
    repositionThumbnails();
    redrawThumbnails();
}

QSize TPvThumbnails::PictureSize() const
{
    if (!preview_) return {};
    const long double s = thumbSize_ / 10.0L / 2;
    return QSize(PvRound(preview_->PageWidth.AsPvUnits / 100.0L * s),
                 PvRound(preview_->PageHeight.AsPvUnits / 100.0L * s));
}

void TPvThumbnails::syncronizePages()
{
    if (!preview_) return;
    while (Count() != preview_->GetNumPages()) {
        if (preview_->GetNumPages() <= Count()) {
            TPvThumbnail* last = thumbs_.back();
            thumbs_.pop_back();
            // It may be the one whose click is being handled.
            last->hide();
            last->deleteLater();
        } else {
            auto* t = new TPvThumbnail(this, Count() + 1);
            thumbs_.push_back(t);
            t->show();
        }
    }
}

void TPvThumbnails::resizeThumbnails()
{
    if (!preview_ || thumbs_.empty()) return;
    const QSize picture = PictureSize();
    for (TPvThumbnail* t : thumbs_) {
        t->resize(picture.width() + 10 + kThumbShadow, picture.height() + 10 + kThumbShadow + captionHeight_);
        t->ResizeContents();
    }
}

void TPvThumbnails::repositionThumbnails()
{
    if (thumbs_.empty()) {
        updateScrollRanges();
        return;
    }
    const int hp = horizontalScrollBar()->value(), vp = verticalScrollBar()->value();
    const int columns = std::max(1, gridWidth_);
    for (int i = 0; i < Count(); ++i) {
        TPvThumbnail* t = thumbs_[std::size_t(i)];
        const int w = t->width(), h = t->height();
        QPoint at;
        switch (layout_) {
        case gmThumbHorz: at = QPoint(i * w - hp, -vp); break;
        case gmThumbVert: at = QPoint(-hp, i * h - vp); break;
        case gmThumbGrid: at = QPoint((i % columns) * w - hp, (i / columns) * h - vp); break;
        }
        if (!t->parentWidget()) t->setParent(viewport());
        if (t->pos() != at) t->move(at);
    }
    updateScrollRanges();
}

void TPvThumbnails::updateScrollRanges()
{
    QSize extent;
    if (!thumbs_.empty()) {
        const QSize one = thumbs_.front()->size();
        const int n = Count(), columns = std::max(1, gridWidth_);
        switch (layout_) {
        case gmThumbHorz: extent = QSize(n * one.width(), one.height()); break;
        case gmThumbVert: extent = QSize(one.width(), n * one.height()); break;
        case gmThumbGrid:
            extent = QSize(std::min(n, columns) * one.width(), (n + columns - 1) / columns * one.height());
            break;
        }
    }
    const QSize vp = viewport()->size();
    QScrollBar* hb = horizontalScrollBar();
    QScrollBar* vb = verticalScrollBar();
    hb->setRange(0, std::max(0, extent.width() - vp.width()));
    hb->setPageStep(vp.width());
    vb->setRange(0, std::max(0, extent.height() - vp.height()));
    vb->setPageStep(vp.height());
}

void TPvThumbnails::redrawThumbnails()
{
    if (!enabled_ || !preview_) return;
    const int ppi = platform::ScreenPixelsPerInch();
    for (int i = 0; i < Count(); ++i) {
        itemIndex_ = preview_->CurrentPageNum();
        TPvPage* page = preview_->GetPage(i + 1);
        page->Draw(page->Metafile, ppi);
        thumbs_[std::size_t(i)]->PageImage().Preview = preview_;
        thumbs_[std::size_t(i)]->PageImage().SetMetaFile(page->Metafile);
        UpdatePage(i + 1);
    }
    if (ScrollIntoView && itemIndex_ >= 1 && itemIndex_ <= Count()) {
        const TPvThumbnail* t = thumbs_[std::size_t(itemIndex_ - 1)];
        const QRect r(t->pos() + QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value()), t->size());
        const QSize vp = viewport()->size();
        QScrollBar* hb = horizontalScrollBar();
        QScrollBar* vb = verticalScrollBar();
        if (r.left() < hb->value()) hb->setValue(r.left());
        else if (r.left() + r.width() > hb->value() + vp.width()) hb->setValue(r.left() + r.width() - vp.width());
        if (r.top() < vb->value()) vb->setValue(r.top());
        else if (r.top() + r.height() > vb->value() + vp.height()) vb->setValue(r.top() + r.height() - vp.height());
    }
}

void TPvThumbnails::scrollContentsBy(int, int) { repositionThumbnails(); }

void TPvThumbnails::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRanges();
}
