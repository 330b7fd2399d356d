#include "documents/chequepage.h"

#include "platform/canvas.h"
#include "platform/dialogs.h"
#include "platform/screen.h"
#include "printing/pvprinter.h"
#include "printing/pvprintjob.h"

#include <QPainter>

#include <cmath>

namespace {

int toPixels(double mm, int pixelsPerInch, double scale) { return int(std::lrint(mm / 25.4 * pixelsPerInch * scale)); }

}  // namespace

void DrawChequePage(const ChequePage& page, platform::Canvas& canvas, int pixelsPerInch, QPoint offset, double scale)
{
    auto at = [&](int left, int top) {
        return QPoint(toPixels(left, pixelsPerInch, scale) - offset.x(), toPixels(top, pixelsPerInch, scale) - offset.y());
    };
    for (const ChequePicture& p : page.pictures) {
        if (p.image.isNull()) continue;
        const QPoint o = at(p.left, p.top);
        const double f = double(pixelsPerInch) / 96.0 * scale;
        canvas.StretchDraw({o.x(), o.y(), o.x() + int(std::lrint(p.image.width() * f)),
                            o.y() + int(std::lrint(p.image.height() * f))},
                           p.image);
    }
    canvas.SetBackgroundTransparent(true);
    for (const ChequeText& t : page.texts) {
        platform::Font font = platform::Font::FromLogFont(t.font, 96);
        font.Color = t.color;
        font.Height = int(std::lrint(font.Height * scale));
        canvas.Font = font;
        canvas.SetBackgroundTransparent(true);
        const QPoint o = at(t.left, t.top);
        canvas.TextOut(o.x(), o.y(), t.text);
    }
}

bool PrintChequePage(const ChequePage& page, TPvOrientation orientation)
{
    TPvPrinter printer(QStringLiteral("TPvPreview"));
    TPvPrintRequest request;
    request.Orientation = orientation;
    request.PrintPage = [&page](int, platform::Canvas& canvas, long double scale, const platform::Rect& rect,
                                QPoint offset, int pixelsPerInch) {
        DrawChequePage(page, canvas, pixelsPerInch, offset - QPoint(rect.Left, rect.Top), double(scale));
    };
    return PvPrintPages(printer, request);
}

ChequePreviewPane::ChequePreviewPane(QWidget* owner) : QWidget(owner)
{
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::gray);
    setPalette(p);
}

void ChequePreviewPane::SetZoom(int zoom)
{
    Zoom = std::clamp(zoom, MinZoom, MaxZoom);
    updateGeometry();
    update();
}

void ChequePreviewPane::SetPage(ChequePage page)
{
    page_ = std::move(page);
    updateGeometry();
    update();
}

void ChequePreviewPane::Clear() { SetPage({page_.widthMm, page_.heightMm, {}, {}}); }

QSize ChequePreviewPane::sizeHint() const
{
    const int dpi = platform::ScreenPixelsPerInch();
    return {toPixels(page_.widthMm, dpi, Zoom / 100.0) + 40, toPixels(page_.heightMm, dpi, Zoom / 100.0) + 40};
}

void ChequePreviewPane::paintEvent(QPaintEvent*)
{
    platform::PaintScope painting;
    QPainter painter(this);
    const int dpi = platform::ScreenPixelsPerInch();
    const double scale = Zoom / 100.0;
    const QRect sheet(20, 20, toPixels(page_.widthMm, dpi, scale), toPixels(page_.heightMm, dpi, scale));
    painter.fillRect(sheet.translated(3, 3), Qt::darkGray);
    painter.fillRect(sheet, Qt::white);
    painter.setPen(Qt::black);
    painter.drawRect(sheet.adjusted(0, 0, -1, -1));
    painter.setClipRect(sheet);
    platform::Canvas canvas;
    canvas.Begin(&painter);
    DrawChequePage(page_, canvas, dpi, -sheet.topLeft(), scale);
    canvas.End();
}
