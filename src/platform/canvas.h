// A drawing surface with stateful pen, brush and font over QPainter, for the
// code that draws cells, pages and previews with these rules: integer
// coordinates, shapes that exclude their right and bottom edge, round-rect
// corners given as ellipse diameters, DrawText with DT_ flags, opaque or
// transparent text background following the brush.
//
// A Canvas draws only while it is attached to a painter (Begin/End, normally
// inside a paintEvent); detached it still measures text at its dpi and ignores
// drawing calls. Callers keep the painter alive for as long as it is attached.
#pragma once

#include "platform/color.h"
#include "platform/geometry.h"

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QPainterPath>
#include <QVector>
#include <memory>
#include <optional>

class QPainter;
class QFontMetrics;

namespace platform {

enum PenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum PenMode { pmCopy, pmXor, pmNot };
// The class library's brush styles, in its order: hatches leave their gaps unpainted.
enum BrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

// Pen mix modes as the class library numbers them in stored pens (pmBlack 0 ...
// pmNot 3, pmCopy 4, ... pmXor 14, pmNotXor 15): copy, xor and not map to
// their PenMode, every other ordinal draws as copy.
PenMode PenModeFromOrdinal(int ordinal);
int PenModeOrdinal(PenMode mode);
enum FontStyleFlag : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using FontStyles = unsigned;
enum FontPitch { fpDefault, fpFixed, fpVariable };

struct Pen {
    TColor Color = clBlack;
    int Width = 1;
    PenStyle Style = psSolid;
    PenMode Mode = pmCopy;
};

class Brush {
public:
    TColor Color() const { return color_; }
    BrushStyle Style() const { return style_; }
    // clNone as colour makes the brush clear, as the class library does.
    void SetColor(TColor c);
    void SetStyle(BrushStyle s);
    // Bumped on every change; the canvas uses it to end an explicit background mode.
    unsigned Version() const { return version_; }

private:
    TColor color_ = clWhite;
    BrushStyle style_ = bsSolid;
    unsigned version_ = 0;
};

class LogFont;

// A font as the grid and the layouts describe it. Height follows the LogFont
// rule: negative = character (em) height in pixels at PixelsPerInch, positive =
// cell height including internal leading, 0 = the default size.
class Font {
public:
    Font();

    QString Name = QStringLiteral("Arial");
    int Height = -16;              // 12 pt at 96 dpi
    int PixelsPerInch = 96;
    TColor Color = clBlack;
    FontStyles Style = 0;
    int Charset = 1;               // DEFAULT_CHARSET
    FontPitch Pitch = fpDefault;
    int Orientation = 0;           // escapement in tenths of a degree, counter-clockwise

    int Size() const;              // points, rounded
    void SetSize(int points);
    bool Bold() const { return Style & fsBold; }

    // The QFont to draw with on a device of the given dpi: the face name goes
    // through the mapping table, the height is scaled from PixelsPerInch.
    QFont ToQFont(int deviceDpi) const;
    // What the user picked in a font dialog, measured at PixelsPerInch.
    static Font FromQFont(const QFont& f, int pixelsPerInch = 96);
    LogFont ToLogFont() const;
    static Font FromLogFont(const LogFont& lf, int pixelsPerInch = 96);

    friend bool operator==(const Font&, const Font&) = default;
};

// The installed family that stands in for a face the layouts name ("Tahoma",
// "MS Sans Serif", "Symbol", the Chinese faces, ...); other names are returned as given.
QString MapFaceName(const QString& face);

// The text DrawText shows of Text without DT_NOPREFIX: "&&" as one
// ampersand, the "&" that marks an underlined character left out.
QString TextWithoutPrefixes(const QString& Text);

// DrawText flags (values of the stored layouts and of the grid's flag words).
enum : unsigned {
    DT_TOP = 0x0, DT_LEFT = 0x0, DT_CENTER = 0x1, DT_RIGHT = 0x2, DT_VCENTER = 0x4, DT_BOTTOM = 0x8,
    DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_EXPANDTABS = 0x40, DT_TABSTOP = 0x80, DT_NOCLIP = 0x100,
    DT_EXTERNALLEADING = 0x200, DT_CALCRECT = 0x400, DT_NOPREFIX = 0x800, DT_INTERNAL = 0x1000,
    DT_EDITCONTROL = 0x2000, DT_PATH_ELLIPSIS = 0x4000, DT_END_ELLIPSIS = 0x8000, DT_MODIFYSTRING = 0x10000,
    DT_RTLREADING = 0x20000, DT_WORD_ELLIPSIS = 0x40000
};

// Mapping modes, numbered as stored drawings number them. MM_TEXT: one unit
// is one device pixel, y grows downwards. MM_LOMETRIC: one unit is 0.1 mm, y grows upwards, so the
// page lies at negative y. In both, logical (0, 0) lands on the viewport
// origin (device pixels). Under MM_LOMETRIC coordinates, pen widths, font
// heights (Font.Height taken in 0.1 mm, whatever its PixelsPerInch) and text
// measures are in 0.1 mm; it is a coordinate mapping, so glyphs and pictures
// stay upright and Font.Orientation turns text as on the screen.
enum MapMode { MM_TEXT = 1, MM_LOMETRIC = 2 };

class Canvas {
public:
    // A detached canvas that measures at the given dpi.
    explicit Canvas(int dpi = 96);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    // Attaches a painter that is already active; the canvas takes the painter's
    // device dpi. End() detaches and restores the painter's state.
    void Begin(QPainter* painter);
    void End();
    bool IsDrawing() const { return painter_ != nullptr; }
    QPainter* Painter() const { return painter_; }
    int Dpi() const { return dpi_; }
    void SetDpi(int dpi) { dpi_ = dpi; }

    platform::Pen Pen;
    platform::Brush Brush;
    platform::Font Font;

    // Coordinate mapping (see MapMode). Changing it keeps the clip region where
    // it is on the device; the pen position is reset to (0, 0).
    void SetMapMode(MapMode mode);
    MapMode GetMapMode() const { return mapMode_; }
    void SetViewportOrigin(QPoint devicePoint);
    QPoint ViewportOrigin() const { return origin_; }
    QPoint LogicalToDevice(int x, int y) const;
    // Rectangles come back with Left < Right and Top < Bottom on the device;
    // DeviceToLogical gives Top > Bottom under MM_LOMETRIC (the page lies below y = 0).
    Rect LogicalToDevice(const Rect& r) const;
    Rect DeviceToLogical(const Rect& r) const;
    int LogicalToDeviceLength(int units) const;
    int DeviceToLogicalLength(int pixels) const;

    // Text background: by default opaque exactly when the brush is solid. An
    // explicit mode holds until the brush changes next.
    void SetBackgroundTransparent(bool transparent);
    bool TextBackgroundOpaque() const;

    // Shapes. Right and bottom are exclusive.
    void FillRect(const Rect& r);
    void Rectangle(int x1, int y1, int x2, int y2);
    void Rectangle(const Rect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
    // Corner ellipse of width w and height h (diameters).
    void RoundRect(int x1, int y1, int x2, int y2, int w, int h);
    void Ellipse(int x1, int y1, int x2, int y2);
    void Ellipse(const Rect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
    void Polygon(const QVector<QPoint>& points);
    // Elliptic arcs in the box [x1, x2) x [y1, y2), counter-clockwise from the
    // ray through (x3, y3) to the ray through (x4, y4); equal rays give the whole ellipse.
    void Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);    // outline only
    void Chord(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);  // closed by a chord, filled
    void Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);    // closed through the centre, filled
    // Cubic Bézier pieces: the first point, then three points per piece.
    void PolyBezier(const QVector<QPoint>& points);
    void Polyline(const QVector<QPoint>& points);
    // From the pen position through every point; the pen ends at the last one.
    void PolylineTo(const QVector<QPoint>& points);
    // Bézier pieces from the pen position, three points each (an incomplete
    // last piece is left out); the pen ends at the last point drawn to.
    void PolyBezierTo(const QVector<QPoint>& points);
    void MoveTo(int x, int y);
    // A line from the pen position up to, not including, (x, y).
    void LineTo(int x, int y);
    QPoint PenPos() const { return penPos_; }
    // The dotted frame of a focused item, one pixel wide, inside r: in
    // `colour`, or with clNone inverting what is under it.
    void DrawFocusRect(const Rect& r, TColor colour = clNone);
    void FrameRect(const Rect& r);  // one-pixel frame in the brush colour

    // Pictures. With transparent set, pixels of the colour of the top-left pixel are not drawn.
    void Draw(int x, int y, const QImage& image, bool transparent = false);
    void StretchDraw(const Rect& r, const QImage& image, bool transparent = false);

    // Text. (x, y) is the top-left corner of the text (rotated with Font.Orientation).
    void TextOut(int x, int y, const QString& text);
    // Text clipped to r, drawn at (x, y); the background of r is filled when opaque.
    void TextRect(const Rect& r, int x, int y, const QString& text);
    int TextWidth(const QString& text) const;
    int TextHeight(const QString& text) const;
    QSize TextExtent(const QString& text) const;
    // Draws or, with DT_CALCRECT, measures (r is set to the
    // text's bounds). Returns the height of the text; with DT_VCENTER or
    // DT_BOTTOM the offset from r.Top to the bottom of the text. With
    // DT_EDITCONTROL only whole lines show; with DT_END_ELLIPSIS as well, a
    // text with lines left out ends its last line shown with an ellipsis.
    int DrawText(const QString& text, Rect& r, unsigned flags);

    // A path bracket: between BeginPath and EndPath, MoveTo, LineTo, the
    // poly-lines, Bézier curves, Polygon, Rectangle and Ellipse add figures to
    // the path instead of drawing. After EndPath the path is drawn or made the
    // clip region by one of the calls below, which use it up.
    void BeginPath();
    void CloseFigure();
    void EndPath();
    void AbortPath();
    bool InPath() const { return pathOpen_; }
    void StrokePath();         // the outline with the pen
    void FillPath();           // the inside with the brush
    void StrokeAndFillPath();  // both
    // Makes the path the clip region, replacing any clip.
    void SelectClipPath();

    // Clipping, in canvas coordinates; an empty Rect is "clip everything".
    void SetClipRect(const Rect& r);
    void ClearClipRect();
    bool HasClipRect() const { return hasClip_; }
    Rect ClipRect() const { return mapped() ? DeviceToLogical(clip_) : clip_; }

    QFont CurrentQFont() const;

private:
    struct Layout;
    bool mapped() const { return mapMode_ != MM_TEXT || !origin_.isNull(); }
    double scale() const { return mapMode_ == MM_LOMETRIC ? dpi_ / 254.0 : 1.0; }
    QPoint dev(QPoint p) const { return LogicalToDevice(p.x(), p.y()); }
    QVector<QPoint> dev(const QVector<QPoint>& points) const;
    int penWidth() const;  // in device pixels
    // A shape's corners on the device, ordered, when a mapping is in force.
    void mapCorners(int& x1, int& y1, int& x2, int& y2) const;
    int drawTextDevice(const QString& text, Rect& r, unsigned flags);
    void applyPen(bool forShapeOutline);
    void applyBrush();
    QBrush qtBrush() const;
    void drawPath(bool stroke, bool fill);
    void arcShape(int kind, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    void drawTextLine(int x, int y, const QString& text, int underlineAt, const QFontMetrics& fm, bool opaque);

    const QFontMetrics& metrics() const;

    QPainter* painter_ = nullptr;
    int dpi_ = 96;
    // The QFont and metrics of the last font drawn with, rebuilt when Font or the dpi changes.
    mutable platform::Font cachedFont_;
    mutable int cachedDpi_ = 0;
    mutable MapMode cachedMapMode_ = MM_TEXT;
    mutable QFont cachedQFont_;
    mutable std::unique_ptr<QFontMetrics> cachedMetrics_;
    QPoint penPos_;
    bool hasClip_ = false;
    Rect clip_;
    std::optional<QPainterPath> clipPath_;
    bool pathOpen_ = false;
    std::optional<QPainterPath> path_;  // the open or ended path
    int bkMode_ = 0;              // 0 follow the brush, 1 transparent, 2 opaque
    MapMode mapMode_ = MM_TEXT;
    QPoint origin_;
    unsigned bkBrushVersion_ = 0;
};

}  // namespace platform
