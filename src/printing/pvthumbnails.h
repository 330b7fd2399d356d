// Thumbnails of a linked preview's pages in a row, column or grid, captioned
// "Page: #", the current page in blue; a click turns the preview to that page.
// Does nothing while no preview is linked; forgets a preview that is destroyed.
#pragma once

#include "printing/pvpreview.h"

#include <QAbstractScrollArea>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <functional>
#include <vector>

class TPvThumbnails;
class TPvThumbnail;

// The page picture of a thumbnail: a click on it is a click on the thumbnail.
class TPvThumbPage : public TPvCustomPage {
    Q_OBJECT
public:
    TPvThumbPage(TPvPreview* preview, TPvThumbnail* thumbnail);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    TPvThumbnail* thumbnail_;
};

class TPvThumbnail : public QWidget {
    Q_OBJECT
public:
    TPvThumbnail(TPvThumbnails* owner, int pageNum);
    int PageNum() const { return pageNum_; }
    TPvThumbnails* Owner() const { return owner_; }
    TPvThumbPage& PageImage() { return *page_; }
    QLabel& CaptionLabel() { return *label_; }
    // Repaints with the highlight: blue for the owner's current item, else black.
    void Invalidate();
    // The text with every "#" replaced by the page number.
    void SetCaption(const QString& text);
    // Places the picture and the caption inside the thumbnail's size.
    void ResizeContents();
    // Makes this page the preview's current page, then OnThumbMouseDown.
    void ThumbMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    TPvThumbnails* owner_;
    QLabel* label_;
    int pageNum_;
    TPvThumbPage* page_;
};

class TPvThumbnails : public QAbstractScrollArea, public TPvLinkedControl {
    Q_OBJECT
public:
    explicit TPvThumbnails(QWidget* parent = nullptr);
    ~TPvThumbnails() override;
    static long double GetVersion() { return 2.22L; }

    TPvPreview* Preview() const { return preview_; }
    // Links a preview (null is ignored) and builds the thumbnails.
    void SetPreview(TPvPreview* preview);

    enum TBorderStyle { bsNone, bsSingle };
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);
    bool Enabled() const { return enabled_; }
    void SetThumbsEnabled(bool enabled);
    bool Highlight() const { return highlight_; }
    void SetHighlight(bool highlight);
    TPvThumbNailLayout Layout() const { return layout_; }
    void SetLayout(TPvThumbNailLayout layout);
    int GridWidth() const { return gridWidth_; }  // below 1 lays out as 1
    void SetGridWidth(int width);
    QString PageCaptions() const { return pageCaptions_; }
    void SetPageCaption(const QString& text);
    bool ScrollIntoView = true;
    bool ShowCaption() const { return captionHeight_ > 0; }
    void SetShowCaption(bool show);
    int ThumbSize() const { return thumbSize_; }
    // 1 to 20; other sizes show the range message and keep the size.
    void SetThumbSize(int size);
    QMenu* ThumbPopup() const { return popup_; }
    void SetThumbPopup(QMenu* menu);
    int CaptionHeight() const { return captionHeight_; }

    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int n);
    void UpdatePage(int n);
    void UpdatePageMetafile(int) {}
    void UpdateThumbnails();

    int Count() const { return int(thumbs_.size()); }
    TPvThumbnail* Thumbnail(int i) const { return thumbs_[std::size_t(i)]; }  // 0-based
    // The page picture's size in pixels for the preview's page at ThumbSize.
    QSize PictureSize() const;

    std::function<void(TPvThumbnail* sender, Qt::MouseButton, Qt::KeyboardModifiers, TPvPage* page)>
        OnThumbMouseDown;

    void PreviewMessage(TPvPreview* preview, int message, int wParam, int lParam) override;

protected:
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void syncronizePages();
    void resizeThumbnails();
    void repositionThumbnails();
    void redrawThumbnails();
    void updateScrollRanges();
    void forgetPreview();

    TBorderStyle borderStyle_ = bsSingle;
    int captionHeight_ = 14;
    bool enabled_ = true;
    bool highlight_ = true;
    QPointer<TPvPreview> preview_;
    std::vector<TPvThumbnail*> thumbs_;
    TPvThumbNailLayout layout_ = gmThumbHorz;
    int gridWidth_ = 4;
    int itemIndex_ = -1;
    int previousIndex_ = -1;
    QString pageCaptions_ = QStringLiteral("Page: #");
    bool ready_ = false;
    QPointer<QMenu> popup_;
    int thumbSize_ = 5;
};
