// The print-preview control: pages, canvas, page geometry, zoom and printer of
// one document, the current page shown in a scrolling area. It may hold no
// pages (after DeleteAllPages(false) or loading an empty document): it then
// shows an empty page, and drawing makes a page first. Zoom, update and
// redraw run only while it is idle. Screen readers read it as "Print
// preview" (a window may name it otherwise) with the page shown as its
// description ("Page 2 of 5"), and hear each change of it; a page turned
// with First, Previous, Next or Last is also said wherever the focus is, as
// is a print that reached the printer ("Sent to <printer>.").
#pragma once

#include "platform/presswatch.h"
#include "platform/stringgrid.h"
#include "printing/pvcanvas.h"
#include "printing/pvframe.h"
#include "printing/pvpage.h"
#include "printing/pvprinter.h"

namespace printing {
class ByteStream;
class TPvValueList;
}  // namespace printing
class PvDocumentReader;

#include <QAbstractScrollArea>
#include <functional>
#include <memory>
#include <vector>

class TPvPreview;

// Messages between the preview, its page image and its linked controls.
enum TPvPreviewMessage : int {
    PvMsgRendering = 7025,       // to the preview: wParam 0 starts, 1 ends a rendering bracket
    PvMsgPageChanged = 7026,
    PvMsgPageAdded = 7027,
    PvMsgPagesPerSheet = 7028,
    PvMsgOrientation = 7029,
    PvMsgPageSize = 7030,
    PvMsgPrinter = 7031,
    PvMsgUpdated = 7032,
    PvMsgPrinterBin = 7033,
    PvMsgMarginsChanged = 7034,  // to the preview: fires OnChangeMargins
};

// A control kept in step with a preview (thumbnails, the grid printer, ...).
class TPvLinkedControl {
public:
    virtual ~TPvLinkedControl();
    virtual void PreviewMessage(TPvPreview* preview, int message, int wParam, int lParam) = 0;
};

struct TPvPreviewOptions {
    bool AllowPanning = true;
    bool AllowDragZoom = true;
    bool AllowMouseZoom = true;
    bool CenterOnMouseZoom = true;
    TPvPrintColor PrintColor = gmColor;    // kept, not used
    TPvDitherType DitherType = gmNone;     // kept, not used
};

// The page image: the current page with its frame, and the mouse zoom, drag
// zoom and panning gestures.
class TPvPageImage : public TPvCustomPage {
    Q_OBJECT
public:
    TPvPageImage(TPvPreview* preview, TPvMargins* margins, QWidget* parent);
    TPvCursorState CursorState = PvCrDefault;
    // The cursor for the mouse's place, keys and buttons (only while the preview is idle).
    void UpdateCursor(bool mouseInside, Qt::KeyboardModifiers keys, Qt::MouseButtons buttons);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool insidePicture(QPoint p) const;
    void paintCutMarks(QPainter& painter) const;
    // A press whose release will not come: the drag band goes, nothing zooms.
    void pressLost();
    TPvUnits pageUnits(int pixels) const;
    bool panning_ = false;
    bool dragging_ = false;
    QPoint press_;
    QPoint pressScroll_;
    QRect band_;
    platform::PressWatch pressWatch_{[this] { pressLost(); }};
};

class TPvPreview : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TPvPreview(QWidget* parent = nullptr);
    ~TPvPreview() override;

    TPvCanvas& Canvas() { return *canvas_; }
    TPvMargins& Margins() { return *margins_; }
    TPvHeader& Header() { return *header_; }
    TPvFooter& Footer() { return *footer_; }
    TPvShadow& Shadow();
    TPvPrinter& Printer() { return *printer_; }
    TPvPageImage& PageImage() { return *image_; }
    TPvPreviewOptions Options;
    TPvValue PageWidth, PageHeight;  // hundredths of a millimetre
    TPreviewState PreviewState() const { return state_; }
    // None, or a single sunken edge.
    platform::BorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(platform::BorderStyle style);

    // Content.
    void Clear();
    TPvPage* NewPage();
    void DeletePage(int n);
    void DeletePages(int first, int last);
    void DeleteAllPages(bool makeNew);
    int GetNumPages() const { return pages_->GetNumPages(); }
    // Page n; "Page is out of range." and the current page otherwise.
    TPvPage* GetPage(int n);
    // Page n rendered into its picture at screen resolution.
    const QPicture& GetMetaFile(int n);
    // The page drawing goes to, made when there is none.
    TPvPage* CurrentPage();
    int CurrentPageNum() const { return currentPageNum_; }
    // "Page n of m", as screen readers read it; "No pages" when there are none.
    QString PageText() const;
    void RedrawPages();
    void ResizePages();

    // Geometry.
    void SetPageSize(long double width, long double height, TPvMeasurement unit);
    TPvPaperSize PaperSize() const { return paperSize_; }
    void SetPage(TPvPaperSize paper);
    TPvOrientation Orientation() const { return orientation_; }
    void SetOrientation(TPvOrientation o);
    void UsePrinterPageSize();
    std::int32_t AvailablePageWidth(TPvCoordsRelative relative);
    std::int32_t AvailablePageHeight(TPvCoordsRelative relative);
    TPvPagesPerSheet PagesPerSheet() const { return pagesPerSheet_; }
    void SetPagesPerSheet(TPvPagesPerSheet p);
    int PrintCopies = 1;  // kept, not used

    // The printer object's printers and bins. Choosing another one tells the
    // linked controls (and, for a printer, OnChangePrinter).
    const QStringList& GetPrinters() { return printer_->GetPrinters(); }
    const QStringList& GetPrinterBins() { return printer_->GetPrinterBins(); }
    int GetPrinterIndex() const { return printer_->GetPrinterIndex(); }
    int GetPrinterBinIndex() const { return printer_->GetPrinterBinIndex(); }
    void SetPrinterIndex(int index);
    void SetPrinterBinIndex(int index);
    QString Title() const { return printer_->GetTitle(); }
    void SetTitle(const QString& title) { printer_->SetTitle(title); }

    // Navigation.
    void SetCurrentPageNum(int n);
    void FirstPage();
    void PreviousPage();
    void NextPage();
    void LastPage();

    // Zoom, percent.
    int Zoom() const { return zoom_; }
    void SetZoom(int z);
    int MaxZoom = 400, MinZoom = 10, ZoomIncrement = 10;
    TPvZoomStyle ZoomStyle = gmFixedZoom;
    bool InstantPreview = true;
    void ZoomIn();
    void ZoomOut();
    void FitWidth();
    void FitHeight();
    void FitWholePage();
    void ScrollToPosition(int xPercent, int yPercent);

    void UpdatePreview();
    void RefreshChild() { MessageToControls(PvMsgUpdated, 0, 0); }

    // Boxes (hundredths of a millimetre from the page's corner) of what is
    // drawn past the page's edge, which the paper will cut: the page shown
    // gets a red bar across each edge a box crosses, beside the cut. Marks
    // are for the screen only: never printed or saved, dropped with the pages.
    void SetCutMarks(std::vector<TPvRect> boxes);
    const std::vector<TPvRect>& CutMarks() const { return cutMarks_; }

    // Linked controls and messages.
    void AddAssociatedComponent(TPvLinkedControl* c);
    void RemoveAssociatedComponent(TPvLinkedControl* c);
    void MessageToControls(int message, int wParam, int lParam);
    // A message to the preview itself (7025, 7034).
    void Perform(int message, int wParam = 0, int lParam = 0);

    // Printing on the printer object's printer, no dialog. True only when
    // every page reached it, and then said to screen readers.
    bool Print();
    bool PrintCurrentPage();
    bool PrintRange(int first, int last);

    QString Tokenize(const QString& text, int page) const;

    // Preview documents (pvdocument.cpp). Saving replaces the file only when
    // the whole document was written; a load reads the whole document before
    // it replaces pages, page setup, margins, shadow, header and footer, and
    // a document that does not read leaves them as they were and says so.
    // Both return false on failure (after the message) and on a cancelled load.
    static long double GetVersion() { return 2.22L; }
    // The first ten bytes of the file as an extended value; 0 when unreadable.
    static long double GetFileVersion(const QString& fileName);
    bool SaveToFile(const QString& fileName);
    void SaveToStream(printing::ByteStream& stream);
    bool LoadFromFile(const QString& fileName);
    // Records of the middle and of the current generation from the stream's
    // position (after the head) to its end.
    bool LoadFromStream(printing::ByteStream& stream);
    bool LoadFromStreamNew(printing::ByteStream& stream);
    // The middle generation's page setup record, stored directly; throws
    // printing::StreamReadError, nothing changed, for a side out of range.
    void PageSetupFromValues(const printing::TPvValueList& list, long double version);
    // LoadFile is true on entry; false cancels the load.
    std::function<void(TPvPreview*, long double fileVersion, bool& loadFile)> BeforeLoad;
    std::function<void(TPvPreview*, int percent)> OnLoadProgess, OnSaveProgress;

    // Events; the preview is the sender.
    using Notify = std::function<void(TPvPreview*)>;
    Notify AfterPrint, BeforePrint, OnCanvasChange, OnChangeMargins, OnChangeOrientation, OnChangePrinter, OnClear,
        OnNewPage, OnPageSizeChange;
    std::function<void(TPvPreview*, int pageNum)> OnPageChange;
    std::function<void(TPvPreview*, int printed, int total)> OnPrintProgress;
    std::function<void(TPvPreview*, int oldZoom, int newZoom)> OnZoom;
    std::function<void(TPvPreview*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseDown, OnMouseUp;
    std::function<void(TPvPreview*, Qt::KeyboardModifiers, int x, int y)> OnMouseMove;
    std::function<void(TPvPreview*, Qt::MouseButton, Qt::KeyboardModifiers, TPvUnits x, TPvUnits y)> OnPageMouseDown,
        OnPageMouseUp;
    std::function<void(TPvPreview*, Qt::KeyboardModifiers, TPvUnits x, TPvUnits y)> OnPageMouseMove;

    int FitToWidthZoom() const;
    int FitToHeightZoom() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    friend class TPvPageImage;
    friend class PvDocumentReader;
    void fire(const Notify& event) { if (event) event(this); }
    // The current page; none while there are no pages (no page is made).
    TPvPage* shownPage();
    // Sizes and places the page image for the zoom; keeps the scroll ratio.
    void layoutImage(int zoom, bool keepScroll);
    void placeImage();
    void pageSizeChange();
    // Tells screen readers when the page text has changed since last told.
    void tellPage();
    // First, Previous, Next and Last: shows page n and says so.
    void turnTo(int n);
    QString toldPage_;

    TPreviewState state_ = gmCreating;
    bool updating_ = false;
    std::unique_ptr<TPvCanvas> canvas_;
    std::unique_ptr<TPvPageList> pages_;
    std::vector<TPvLinkedControl*> associated_;
    std::unique_ptr<TPvMargins> margins_;
    std::unique_ptr<TPvFooter> footer_;
    std::unique_ptr<TPvHeader> header_;
    TPvPageImage* image_ = nullptr;
    std::unique_ptr<TPvPrinter> printer_;
    int currentPageNum_ = 0;
    TPvPaperSize paperSize_ = A4;
    TPvOrientation orientation_ = gmPortrait;
    TPvPagesPerSheet pagesPerSheet_ = gmOnePage;
    platform::BorderStyle borderStyle_ = platform::bsSingle;
    int zoom_ = 20;
    QPoint imageOrigin_;  // where the image sits when it is smaller than the viewport
    std::vector<TPvRect> cutMarks_;
};
