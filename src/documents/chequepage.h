// One cheque as the cheque window lays it out: the page size and every printed
// text and picture at its position in whole millimetres from the page's
// top-left corner, with the text's font record and colour. The page is drawn
// on a canvas at any resolution (screen preview, printer) and printed as one
// job through the preview suite's printer.
#pragma once

#include "platform/color.h"
#include "platform/logfont.h"
#include "printing/pvtypes.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <vector>

namespace platform {
class Canvas;
}

struct ChequeText {
    QString text;
    platform::LogFont font;
    platform::TColor color = 0;
    int left = 0, top = 0;  // mm
};

struct ChequePicture {
    QImage image;           // drawn at its pixel size on the screen (96 dpi)
    int left = 0, top = 0;  // mm
};

struct ChequePage {
    double widthMm = 170, heightMm = 90;
    std::vector<ChequePicture> pictures;  // drawn first, in order
    std::vector<ChequeText> texts;
};

// Draws the page's pictures and texts on a canvas of `pixelsPerInch`, every
// position multiplied by `scale` and shifted by minus `offset` (device pixels).
void DrawChequePage(const ChequePage& page, platform::Canvas& canvas, int pixelsPerInch, QPoint offset = {},
                    double scale = 1.0);

// Prints the page as one job on the process's printer in the given
// orientation, with no print dialog. True only when the page reached the
// printer; a missing printer or a failed job is said once and gives false.
bool PrintChequePage(const ChequePage& page, TPvOrientation orientation);

// The window's view of the page: the page at a zoom in percent of its size on
// the screen, on a grey ground.
class ChequePreviewPane : public QWidget {
    Q_OBJECT
public:
    explicit ChequePreviewPane(QWidget* owner = nullptr);
    int Zoom = 40, MaxZoom = 200, MinZoom = 10, ZoomIncrement = 10;
    void SetZoom(int zoom);
    void SetPage(ChequePage page);
    void Clear();
    const ChequePage& Page() const { return page_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ChequePage page_;
};
