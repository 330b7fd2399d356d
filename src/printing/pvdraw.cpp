#include "printing/pvdraw.h"

#include "platform/screen.h"
#include "printing/pvunits.h"

#include <QPainter>
#include <cmath>
#include <cstdlib>

// ---------------------------------------------------------------- records and tools

TPvBrush BrushToPvBrush(const platform::Brush& brush)
{
    return {brush.Color(), std::uint8_t(brush.Style())};
}

void PvBrushToBrush(platform::Brush& brush, const TPvBrush& record)
{
    brush.SetColor(record.Color);
    brush.SetStyle(platform::BrushStyle(std::min<int>(record.Style, platform::bsDiagCross)));
}

void SetCanvasBrush(platform::Canvas& canvas, const TPvBrush& record) { PvBrushToBrush(canvas.Brush, record); }

TPvPen PenToPvPen(const platform::Pen& pen)
{
    return {pen.Color, std::uint8_t(pen.Style), pen.Width, std::uint8_t(platform::PenModeOrdinal(pen.Mode))};
}

void PvPenToPen(platform::Pen& pen, const TPvPen& record)
{
    pen.Color = record.Color;
    pen.Style = platform::PenStyle(std::min<int>(record.Style, platform::psInsideFrame));
    pen.Width = record.Width;
    pen.Mode = platform::PenModeFromOrdinal(record.Mode);
}

void SetCanvasPen(platform::Canvas& canvas, const TPvPen& record) { PvPenToPen(canvas.Pen, record); }

TPvFont FontToPvFont(const platform::Font& font, long double angle)
{
    TPvFont f;
    f.Angle = angle;
    f.Color = font.Color;
    f.Name = font.Name;
    f.Size = font.Size();
    f.Style = std::uint8_t(font.Style & 0x0F);
    f.Charset = std::uint8_t(font.Charset);
    return f;
}

void SetCanvasFont(platform::Canvas& canvas, const TPvFont& record)
{
    platform::Font& font = canvas.Font;
    font.Color = record.Color;
    font.Name = record.Name;
    font.Style = record.Style & 0x0F;
    font.SetSize(record.Size);
}

namespace {

// Everything of the record but its size.
void fontLooks(platform::Font& font, const TPvFont& record)
{
    font.Color = record.Color;
    font.Name = record.Name;
    font.Style = record.Style & 0x0F;
    font.Charset = record.Charset;
    // Whole turns dropped, so that any stored angle gives an escapement in range.
    font.Orientation = record.Angle != 0 ? PvRound(std::fmod(record.Angle, 360.0L) * 10) : 0;
}

}  // namespace

void PvFontToFont(platform::Font& font, const TPvFont& record, long double scale)
{
    font.SetSize(record.Size);
    font.Height = PvRound(font.Height * scale);
    fontLooks(font, record);
}

platform::Font PvFontForDevice(const TPvFont& record, int pixelsPerInch, long double scale, int deviceDpi)
{
    platform::Font font;
    font.PixelsPerInch = deviceDpi;
    font.Height = PvRound(-static_cast<long double>(record.Size) * pixelsPerInch / 72 * scale);
    fontLooks(font, record);
    return font;
}

// ---------------------------------------------------------------- device map

PvDeviceMap PvDeviceMap::ForDraw(int pixelsPerInch, QPoint offset)
{
    PvDeviceMap m;
    m.factor_ = pixelsPerInch;
    m.dx_ = -offset.x();
    m.dy_ = -offset.y();
    m.ppi_ = pixelsPerInch;
    return m;
}

PvDeviceMap PvDeviceMap::ForPrint(long double scale, const platform::Rect& pageRect, QPoint offset, int pixelsPerInch)
{
    PvDeviceMap m;
    m.factor_ = pixelsPerInch * scale;
    m.dx_ = pageRect.Left - offset.x();
    m.dy_ = pageRect.Top - offset.y();
    m.ppi_ = pixelsPerInch;
    m.scale_ = scale;
    m.printing_ = true;
    return m;
}

int PvDeviceMap::Length(long double units) const { return PvRound(UnitsToInches(units) * factor_); }

void PvDeviceMap::ApplyPen(platform::Canvas& canvas, const TPvPen& pen, bool scalePen) const
{
    PvPenToPen(canvas.Pen, pen);
    if (printing_ && scalePen) canvas.Pen.Width = CalculatePenWidth(pen, ppi_);
}

void PvDeviceMap::ApplyBrush(platform::Canvas& canvas, const TPvBrush& brush) const
{
    PvBrushToBrush(canvas.Brush, brush);
}

void PvDeviceMap::ApplyFont(platform::Canvas& canvas, const TPvFont& font) const
{
    canvas.Font = PvFontForDevice(font, ppi_, scale_, canvas.Dpi());
}

// ---------------------------------------------------------------- dashes

bool PvDashPatternFor(int style, int penWidth, int pixelsPerInch, PvDashPattern& pattern)
{
    switch (style) {
    case PvPsDash: pattern = {6, 10, 6, 10}; break;
    case PvPsDot: pattern = {1, 10, 1, 10}; break;
    case PvPsDashDot: pattern = {6, 8, 1, 8}; break;
    default: return false;
    }
    pattern[1] += penWidth;
    pattern[3] += penWidth;
    const long double f = static_cast<long double>(pixelsPerInch) / platform::ScreenPixelsPerInch();
    for (int& e : pattern) e = std::max(1, PvRound(e * f));
    return true;
}

void PvDashWalker::reset()
{
    position_ = 0;
    counters_ = pattern_;
}

void PvDashWalker::MoveTo(int x, int y)
{
    canvas_.MoveTo(x, y);
    reset();
    walk_ = QPoint(x, y);
}

void PvDashWalker::step()
{
    if (--counters_[position_] > 0) return;
    if (position_ % 2 == 0)
        canvas_.LineTo(walk_.x(), walk_.y());
    else
        canvas_.MoveTo(walk_.x(), walk_.y());
    position_ = (position_ + 1) % 4;
    if (position_ == 0) counters_ = pattern_;
}

void PvDashWalker::LineTo(int x, int y, const PvDashPattern& pattern)
{
    pattern_ = pattern;
    for (int& e : pattern_) e = std::max(1, e);
    reset();
    const long long dx = static_cast<long long>(x) - walk_.x(), dy = static_cast<long long>(y) - walk_.y();
    const long long adx = std::llabs(dx), ady = std::llabs(dy);
    // No page has a line this long (a damaged record does): drawn plain
    // instead of walked pixel by pixel.
    constexpr long long kMaxWalk = 1 << 20;
    if (adx > kMaxWalk || ady > kMaxWalk) {
        canvas_.MoveTo(walk_.x(), walk_.y());
        canvas_.LineTo(x, y);
        walk_ = QPoint(x, y);
        return;
    }
    const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const bool xMajor = adx >= ady;
    const int major = int(xMajor ? adx : ady), minor = int(xMajor ? ady : adx);
    int error = major;
    for (int i = 0; i < major; ++i) {
        error -= minor;
        if (error <= 0) {
            (xMajor ? walk_.ry() : walk_.rx()) += xMajor ? sy : sx;
            error += major;
        }
        (xMajor ? walk_.rx() : walk_.ry()) += xMajor ? sx : sy;
        step();
    }
    walk_ = QPoint(x, y);
}

// ---------------------------------------------------------------- bitmaps

void PrintBitmap(platform::Canvas& canvas, const platform::Rect& r, const QImage& bitmap)
{
    canvas.StretchDraw(r, bitmap);
}

void PlayPictureInto(QPainter& painter, QPicture& picture, const platform::Rect& r)
{
    const QRect frame = picture.boundingRect();
    if (frame.isEmpty() || r.IsEmpty()) return;
    // Replaying scales by the device's dpi over the recording dpi; undo that.
    const QPaintDevice* device = painter.device();
    const double dpiX = device ? double(picture.logicalDpiX()) / device->logicalDpiX() : 1.0;
    const double dpiY = device ? double(picture.logicalDpiY()) / device->logicalDpiY() : 1.0;
    painter.save();
    painter.translate(r.Left, r.Top);
    painter.scale(double(r.Width()) / frame.width() * dpiX, double(r.Height()) / frame.height() * dpiY);
    painter.translate(-frame.left() / dpiX, -frame.top() / dpiY);
    picture.play(&painter);
    painter.restore();
}
