// What drawing objects share to reach a device: records to and from the
// canvas's tools, the mapping of hundredths of a millimetre to device pixels on
// screen and on a sheet, the dashed-line walk and picture output.
#pragma once

#include "platform/canvas.h"
#include "printing/pvtypes.h"

#include <QImage>
#include <QPicture>
#include <QPoint>
#include <array>
#include <climits>

class QPainter;

// Records from and into the canvas's drawing tools.
TPvBrush BrushToPvBrush(const platform::Brush& brush);
void PvBrushToBrush(platform::Brush& brush, const TPvBrush& record);
void SetCanvasBrush(platform::Canvas& canvas, const TPvBrush& record);
TPvPen PenToPvPen(const platform::Pen& pen);
void PvPenToPen(platform::Pen& pen, const TPvPen& record);
void SetCanvasPen(platform::Canvas& canvas, const TPvPen& record);
// Colour, name, size (at the font's PixelsPerInch), style and character set, with the given angle.
TPvFont FontToPvFont(const platform::Font& font, long double angle);
// Colour, name, style and size; neither character set nor angle.
void SetCanvasFont(platform::Canvas& canvas, const TPvFont& record);
// Colour, name and size, the height then multiplied by `scale`; style,
// character set and the record's angle as the font's orientation.
void PvFontToFont(platform::Font& font, const TPvFont& record, long double scale);

// Hundredths of a millimetre to device pixels. On the screen picture a
// coordinate c becomes round(c in inches x ppi) - offset; on a printed sheet
// round(c in inches x ppi x scale) + page rectangle's corner - offset.
class PvDeviceMap {
public:
    static PvDeviceMap ForDraw(int pixelsPerInch, QPoint offset);
    static PvDeviceMap ForPrint(long double scale, const platform::Rect& pageRect, QPoint offset, int pixelsPerInch);

    int X(long double units) const { return Shifted(Length(units), dx_); }
    int Y(long double units) const { return Shifted(Length(units), dy_); }
    QPoint Point(long double x, long double y) const { return {X(x), Y(y)}; }
    platform::Rect Box(long double x1, long double y1, long double x2, long double y2) const
    {
        return {X(x1), Y(y1), X(x2), Y(y2)};
    }
    // A length that is not a position (corner sizes).
    int Length(long double units) const;
    int PixelsPerInch() const { return ppi_; }
    long double Scale() const { return scale_; }
    bool Printing() const { return printing_; }

    // Puts the records into the canvas. A pen's width is scaled from screen
    // pixels to the device when printing (scalePen); the font gets the pixel
    // height of its size at this device's ppi and scale.
    void ApplyPen(platform::Canvas& canvas, const TPvPen& pen, bool scalePen = true) const;
    void ApplyBrush(platform::Canvas& canvas, const TPvBrush& brush) const;
    void ApplyFont(platform::Canvas& canvas, const TPvFont& font) const;

private:
    // v + d, held to the int range.
    static int Shifted(int v, int d)
    {
        const long long s = static_cast<long long>(v) + d;
        return s < INT_MIN ? INT_MIN : s > INT_MAX ? INT_MAX : int(s);
    }
    long double factor_ = 96;
    int dx_ = 0, dy_ = 0;
    int ppi_ = 96;
    long double scale_ = 1;
    bool printing_ = false;
};

// The font a record gives on a device of `deviceDpi` drawn at `pixelsPerInch` and `scale`.
platform::Font PvFontForDevice(const TPvFont& record, int pixelsPerInch, long double scale, int deviceDpi);

// Entries of a dash pattern: dash, gap, dash, gap, in device pixels.
using PvDashPattern = std::array<int, 4>;

// The pattern of a wide line of `style` (dash, dot or dash-dot) and stored
// `penWidth`, the width added to the gaps, scaled from the screen to a device
// of `pixelsPerInch`; false for the other styles.
bool PvDashPatternFor(int style, int penWidth, int pixelsPerInch, PvDashPattern& pattern);

// Walks a line pixel by pixel and draws its dashes in the canvas pen.
class PvDashWalker {
public:
    explicit PvDashWalker(platform::Canvas& canvas) : canvas_(canvas) {}
    void MoveTo(int x, int y);
    // The last partial dash or gap before (x, y) is left undrawn.
    void LineTo(int x, int y, const PvDashPattern& pattern);

private:
    void reset();
    void step();
    platform::Canvas& canvas_;
    QPoint walk_;
    PvDashPattern pattern_{};
    PvDashPattern counters_{};
    int position_ = 0;
};

// Plays a picture so that its bounding rectangle fills r, whatever the
// resolution of the painter's device and of the device it was recorded on.
void PlayPictureInto(QPainter& painter, QPicture& picture, const platform::Rect& r);

// A bitmap stretched into r.
void PrintBitmap(platform::Canvas& canvas, const platform::Rect& r, const QImage& bitmap);
