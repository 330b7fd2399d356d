// The preview's drawing interface: each call converts the caller's unit to
// hundredths of a millimetre and appends one drawing object to the preview's
// current page. Owned by its preview, which must outlive every call.
#pragma once

#include "platform/canvas.h"
#include "printing/pvtypes.h"

#include <QImage>
#include <QPicture>
#include <QString>
#include <QVector>
#include <memory>
#include <optional>

class TPvBaseObject;
class TPvPreview;

// A value given in `from` in the unit `to` (through hundredths of a millimetre, not rounded).
long double ConvertValue(long double value, TPvMeasurement from, TPvMeasurement to);
TPvPoint PvPoint(long double x, long double y);
TPvRect PvRect(long double left, long double top, long double right, long double bottom);

// The class library's horizontal text alignment.
enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };

class TPvCanvas {
public:
    // A unit argument left out means DefaultMeasurement.
    using Unit = std::optional<TPvMeasurement>;

    explicit TPvCanvas(TPvPreview* preview);
    ~TPvCanvas();
    TPvCanvas(const TPvCanvas&) = delete;
    TPvCanvas& operator=(const TPvCanvas&) = delete;

    platform::Brush Brush;
    platform::Pen Pen;
    platform::Font Font;  // "Arial" 14 at creation, measured at the screen's dpi
    TPvCoordsRelative CoordsRelative = fromPage;
    TPvMeasurement DefaultMeasurement = PvMillimeters;
    TPvBaseObject* LastObject = nullptr;  // owned by its page
    TPvPreview* Preview() const { return preview_; }
    // The measuring canvas, holding the current font.
    platform::Canvas& GetCanvas();

    // Text.
    void TextOut(long double x, long double y, const QString& text, Unit unit = {});
    void TextOutLeft(long double x, long double y, const QString& text, Unit unit = {});
    void TextOutRight(long double x, long double y, const QString& text, Unit unit = {});
    void RotateOut(long double x, long double y, long double angle, const QString& text, Unit unit = {});
    // The number written with a format of the class library's float format
    // ("0.00", "#,##0.00", "0.###" ...), locale-free, ending at x.
    void FloatOut(long double x, long double y, long double value, const QString& format, Unit unit = {});
    long double TextBox(long double x1, long double y1, long double x2, long double y2, const QString& text,
                        TAlignment alignment, bool draw = true, Unit unit = {});
    long double TextBox(const TPvRect& r, const QString& text, TAlignment alignment, bool draw = true, Unit unit = {});
    // Records a text box (when draw) and returns its height in the unit. y2 = 0
    // makes the box as high as the text wrapped in its width.
    long double TextBoxExt(long double x1, long double y1, long double x2, long double y2, const QString& text,
                           TAlignment alignment, TPvVertAlignment vertAlignment, bool draw = true, Unit unit = {});
    long double TextBoxExt(const TPvRect& r, const QString& text, TAlignment alignment,
                           TPvVertAlignment vertAlignment, bool draw = true, Unit unit = {});

    // Lines and shapes.
    void Line(long double x1, long double y1, long double x2, long double y2, Unit unit = {});
    void Line(const TPvRect& r, Unit unit = {});
    // A line whose pen is `width` hundredths of a millimetre wide (whatever the unit).
    void LineExt(long double x1, long double y1, long double x2, long double y2, std::int32_t width, Unit unit = {});
    void LineExt(const TPvRect& r, std::int32_t width, Unit unit = {});
    void MoveTo(long double x, long double y, Unit unit = {});
    void LineTo(long double x, long double y, Unit unit = {});
    void Rectangle(long double x1, long double y1, long double x2, long double y2, Unit unit = {});
    void Rectangle(const TPvRect& r, Unit unit = {});
    void FillRect(long double x1, long double y1, long double x2, long double y2, Unit unit = {});
    void FillRect(const TPvRect& r, Unit unit = {});
    void Ellipse(long double x1, long double y1, long double x2, long double y2, Unit unit = {});
    void Ellipse(const TPvRect& r, Unit unit = {});
    // x3, y3: width and height of the corner ellipse.
    void RoundRect(long double x1, long double y1, long double x2, long double y2, long double x3, long double y3,
                   Unit unit = {});
    void RoundRect(const TPvRect& r, long double x3, long double y3, Unit unit = {});
    void Arc(long double x1, long double y1, long double x2, long double y2, long double x3, long double y3,
             long double x4, long double y4, Unit unit = {});
    void Chord(long double x1, long double y1, long double x2, long double y2, long double x3, long double y3,
               long double x4, long double y4, Unit unit = {});
    void Pie(long double x1, long double y1, long double x2, long double y2, long double x3, long double y3,
             long double x4, long double y4, Unit unit = {});
    // Points 0 to lastIndex of `points`.
    void Polygon(const QVector<TPvPoint>& points, int lastIndex, Unit unit = {});
    void PolyLine(const QVector<TPvPoint>& points, int lastIndex, Unit unit = {});
    void PolyBezier(const QVector<TPvPoint>& points, int lastIndex, Unit unit = {});
    void PolyLineTo(const QVector<TPvPoint>& points, int lastIndex, Unit unit = {});
    void PolyBezierTo(const QVector<TPvPoint>& points, int lastIndex, Unit unit = {});

    // Pictures at their screen size times `scale`, or stretched into a box.
    // Any decoded raster image (BMP, JPEG, PNG) is kept as a bitmap; a null
    // image records nothing.
    void Draw(long double x, long double y, const QImage& graphic, long double scale = 1, Unit unit = {});
    void Draw(long double x, long double y, const QPicture& graphic, long double scale = 1, Unit unit = {});
    void StretchDraw(long double x1, long double y1, long double x2, long double y2, const QImage& graphic,
                     Unit unit = {});
    void StretchDraw(long double x1, long double y1, long double x2, long double y2, const QPicture& graphic,
                     Unit unit = {});

    // Paths: open, close a figure, close with a fill bitmap (or none: filled in
    // the brush colour) stretched into (i1, i2)-(i3, i4) hundredths of a millimetre.
    void OpenPath();
    void CloseFig();
    void ClosePath(const QImage* bitmap = nullptr, int i1 = 0, int i2 = 0, int i3 = 0, int i4 = 0);

    // Measures of texts as they will print (page tokens replaced).
    TPvUnits TextWidth(const QString& text);
    TPvUnits TextHeight(const QString& text);
    void TextExtent(const QString& text, TPvUnits& width, TPvUnits& height);
    TPvUnits GraphicWidth(const QImage& graphic) const;
    TPvUnits GraphicHeight(const QImage& graphic) const;

private:
    TPvMeasurement unitOf(Unit unit) const { return unit ? *unit : DefaultMeasurement; }
    // Converted to hundredths of a millimetre, without and with the origin of CoordsRelative.
    long double toUnits(long double v, Unit unit) const { return ConvertValue(v, unitOf(unit), PvUnits); }
    long double originX() const;
    long double originY() const;
    std::int32_t px(long double x, Unit unit) const;
    std::int32_t py(long double y, Unit unit) const;
    void append(std::unique_ptr<TPvBaseObject> object);
    template <typename T> T& shape(long double x1, long double y1, long double x2, long double y2, Unit unit);
    void line(long double x1, long double y1, long double x2, long double y2, std::optional<std::int32_t> width,
              Unit unit);
    template <typename T> void penPoint(long double x, long double y, Unit unit);
    template <typename T> void poly(const QVector<TPvPoint>& points, int lastIndex, Unit unit);
    void complex(std::unique_ptr<class TPvComplexShape> s, long double x1, long double y1, long double x2,
                 long double y2, long double x3, long double y3, long double x4, long double y4, Unit unit);
    template <typename Picture>
    void drawNatural(long double x, long double y, const Picture& graphic, long double scale, Unit unit);
    template <typename Picture>
    void picture(long double x1, long double y1, long double x2, long double y2, const Picture& graphic);
    TPvUnits measured(int pixels) const;

    TPvPreview* preview_;
    platform::Canvas measure_;
};
