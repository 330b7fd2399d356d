// What the preview paints around a page: the user's margins (also used to clip
// page drawing), the drop shadow, and the page control showing one rendered
// page on its sheet. Callers keep the preview alive as long as these.
#pragma once

#include "platform/canvas.h"
#include "printing/pvunits.h"

#include <QImage>
#include <functional>
#include <QPicture>
#include <QPointer>
#include <QWidget>

class TPvPreview;
namespace printing {
class TPvValueList;
}  // namespace printing

class TPvMargins {
public:
    explicit TPvMargins(TPvPreview* preview);
    TPvValue Left, Top, Right, Bottom;  // 15, 20, 15 and 25 mm at creation

    bool ClipMargins() const { return clipMargins_; }
    void SetClipMargins(bool clip);
    const platform::Pen& Pen() const { return pen_; }
    void SetPen(const platform::Pen& pen);
    const platform::Pen& PrinterMarginPen() const { return printerMarginPen_; }
    void SetPrinterMarginPen(const platform::Pen& pen);
    bool ShowPrinterMargins() const { return showPrinterMargins_; }
    void SetShowPrinterMargins(bool show);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    // The page control repainted when a pen or a switch changes.
    void SetPageControl(QWidget* page) { page_ = page; }

    // The printer's unprintable margins become the margins (no change events).
    void UsePrinterMargins();
    // Each margin at least the printer's.
    bool AreMarginsValid() const;
    // Lengths, switches and pens; not ClipMargins.
    void Assign(const TPvMargins& source);
    // The middle document generation's margins record: lengths stored
    // directly, Visible and the pen; the printer's margins are switched off.
    void LoadFromValues(const printing::TPvValueList& list);

private:
    void marginsChanged();
    void repaint();
    TPvPreview* preview_;
    QPointer<QWidget> page_;
    platform::Pen pen_;
    platform::Pen printerMarginPen_;
    bool clipMargins_ = false;
    bool showPrinterMargins_ = false;
    bool visible_ = true;
};

class TPvShadow {
public:
    explicit TPvShadow(QWidget* owner) : owner_(owner) {}
    platform::TColor Color() const { return color_; }
    void SetColor(platform::TColor c);
    int Width() const { return width_; }  // screen pixels
    void SetWidth(int w);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    void Assign(const TPvShadow& source);
    // The middle document generation's shadow record, through the setters;
    // a width below 0 or above 1000 throws printing::StreamReadError, nothing changed.
    void LoadFromValues(const printing::TPvValueList& list);

private:
    QPointer<QWidget> owner_;
    platform::TColor color_ = 0;
    int width_ = 3;
    bool visible_ = true;
};

// Paints one page picture on a white sheet with border, margins and shadow.
class TPvCustomPage : public QWidget {
    Q_OBJECT
public:
    TPvCustomPage(TPvPreview* preview, TPvMargins* margins, QWidget* parent = nullptr);
    ~TPvCustomPage() override;

    int BorderGap = 0;
    TPvShadow Shadow{this};
    TPvMargins* Margins = nullptr;
    platform::TColor BorderColor = 0;
    TPvPreview* Preview = nullptr;
    QPicture MetaFile;
    // Draws the page into a rectangle of a painter; when set it is shown in
    // place of MetaFile (the preview's own page image draws its current page
    // this way, with no picture in between).
    std::function<void(QPainter&, const platform::Rect&)> PagePainter;

    void SetMetaFile(const QPicture& metafile);
    // The page changed: it is drawn again at the next paint.
    void PageChanged();
    // Grey guide lines for a header and a footer, `inset` inside r.
    static void DrawHeaderFooter(platform::Canvas& canvas, const platform::Rect& r, int inset);

protected:
    void paintEvent(QPaintEvent* event) override;
    // Where the page is painted inside the control, in its pixels.
    platform::Rect pageArea() const;

private:
    void drawPage(QPainter& painter, const platform::Rect& r);
    // The played page at its shown size, so that scrolling and exposes do not
    // replay the whole page; made again when the page or its size changes.
    QImage shown_;
    bool shownValid_ = false;
};
