#include "printing/pvcanvas.h"

#include "platform/screen.h"
#include "printing/pvdraw.h"
#include "printing/pvobjects.h"
#include "printing/pvpreview.h"
#include "printing/pvunits.h"

#include <QRegularExpression>
#include <cmath>

long double ConvertValue(long double value, TPvMeasurement from, TPvMeasurement to)
{
    return ConvertPvUnits(value, from, to);
}

TPvPoint PvPoint(long double x, long double y) { return {x, y}; }

TPvRect PvRect(long double left, long double top, long double right, long double bottom)
{
    return {left, top, right, bottom};
}

TPvCanvas::TPvCanvas(TPvPreview* preview) : preview_(preview), measure_(platform::ScreenPixelsPerInch())
{
    Font.PixelsPerInch = platform::ScreenPixelsPerInch();
    Font.SetSize(14);
}

TPvCanvas::~TPvCanvas() = default;

platform::Canvas& TPvCanvas::GetCanvas()
{
    const int dpi = platform::ScreenPixelsPerInch();
    measure_.SetDpi(dpi);
    measure_.Font = Font;
    measure_.Font.PixelsPerInch = dpi;
    measure_.Font.SetSize(Font.Size());
    measure_.Pen = Pen;
    measure_.Brush = Brush;
    return measure_;
}

// ---------------------------------------------------------------- recording

long double TPvCanvas::originX() const
{
    switch (CoordsRelative) {
    case fromPage: break;
    case fromPrinterMargins: return preview_->Printer().GetPrinterMargin(0).Units;
    case fromUserMargins:
    case fromHeaderLine: return preview_->Margins().Left.AsPvUnits;
    }
    return 0;
}

long double TPvCanvas::originY() const
{
    switch (CoordsRelative) {
    case fromPage: break;
    case fromPrinterMargins: return preview_->Printer().GetPrinterMargin(1).Units;
    case fromUserMargins: return preview_->Margins().Top.AsPvUnits;
    case fromHeaderLine: return preview_->Margins().Top.AsPvUnits + preview_->Header().GetHeight();
    }
    return 0;
}

std::int32_t TPvCanvas::px(long double x, Unit unit) const { return RoundToPvUnits(toUnits(x, unit) + originX()); }
std::int32_t TPvCanvas::py(long double y, Unit unit) const { return RoundToPvUnits(toUnits(y, unit) + originY()); }

void TPvCanvas::append(std::unique_ptr<TPvBaseObject> object)
{
    TPvPage* page = preview_->CurrentPage();
    LastObject = page->AddObject(std::move(object));
    if (preview_->OnCanvasChange) preview_->OnCanvasChange(preview_);
}

void TPvCanvas::TextOut(long double x, long double y, const QString& text, Unit unit) { TextOutLeft(x, y, text, unit); }

void TPvCanvas::TextOutLeft(long double x, long double y, const QString& text, Unit unit)
{
    RotateOut(x, y, 0, text, unit);
}

void TPvCanvas::RotateOut(long double x, long double y, long double angle, const QString& text, Unit unit)
{
    auto t = std::make_unique<TPvTextObject>();
    t->X = px(x, unit);
    t->Y = py(y, unit);
    t->Brush = BrushToPvBrush(Brush);
    t->Font = FontToPvFont(Font, angle);
    t->Text = text;
    append(std::move(t));
}

void TPvCanvas::TextOutRight(long double x, long double y, const QString& text, Unit unit)
{
    const long double right = toUnits(x, unit);
    TextOutLeft(right - TextWidth(text).Units, toUnits(y, unit), text, PvUnits);
}

namespace {

// The class library's float format, for the digit placeholders "0" and "#",
// one decimal point and the thousands separator ","; the first section only.
// Locale-free: "." and "," whatever the user's locale.
QString formatFloat(long double value, const QString& format)
{
    QString f = format.section(QLatin1Char(';'), 0, 0);
    if (f.isEmpty()) return QString::number(double(value), 'g', 15);
    const qsizetype dot = f.indexOf(QLatin1Char('.'));
    const QString intPart = dot < 0 ? f : f.left(dot);
    const QString fracPart = dot < 0 ? QString() : f.mid(dot + 1);
    const bool thousands = intPart.contains(QLatin1Char(','));
    const int minInt = int(intPart.count(QLatin1Char('0')));
    const int minFrac = int(fracPart.count(QLatin1Char('0')));
    const int maxFrac = minFrac + int(fracPart.count(QLatin1Char('#')));
    const bool negative = std::signbit(value) && value != 0;
    QString digits = QString::number(double(std::fabs(value)), 'f', maxFrac);
    QString whole = digits.section(QLatin1Char('.'), 0, 0);
    QString frac = digits.section(QLatin1Char('.'), 1, 1);
    while (frac.size() > minFrac && frac.endsWith(QLatin1Char('0'))) frac.chop(1);
    if (whole == QLatin1String("0") && minInt == 0) whole.clear();
    while (whole.size() < minInt) whole.prepend(QLatin1Char('0'));
    if (thousands)
        for (qsizetype i = whole.size() - 3; i > 0; i -= 3) whole.insert(i, QLatin1Char(','));
    QString out = whole;
    if (!frac.isEmpty()) out += QLatin1Char('.') + frac;
    if (out.isEmpty()) out = QStringLiteral("0");
    if (negative && out.contains(QRegularExpression(QStringLiteral("[1-9]")))) out.prepend(QLatin1Char('-'));
    return out;
}

}  // namespace

void TPvCanvas::FloatOut(long double x, long double y, long double value, const QString& format, Unit unit)
{
    TextOutRight(x, y, formatFloat(value, format), unit);
}

long double TPvCanvas::TextBox(long double x1, long double y1, long double x2, long double y2, const QString& text,
                               TAlignment alignment, bool draw, Unit unit)
{
    return TextBoxExt(x1, y1, x2, y2, text, alignment, gmTop, draw, unit);
}

long double TPvCanvas::TextBox(const TPvRect& r, const QString& text, TAlignment alignment, bool draw, Unit unit)
{
    return TextBox(r.Left, r.Top, r.Right, r.Bottom, text, alignment, draw, unit);
}

long double TPvCanvas::TextBoxExt(const TPvRect& r, const QString& text, TAlignment alignment,
                                  TPvVertAlignment vertAlignment, bool draw, Unit unit)
{
    return TextBoxExt(r.Left, r.Top, r.Right, r.Bottom, text, alignment, vertAlignment, draw, unit);
}

long double TPvCanvas::TextBoxExt(long double x1, long double y1, long double x2, long double y2, const QString& text,
                                  TAlignment alignment, TPvVertAlignment vertAlignment, bool draw, Unit unit)
{
    long double ux1 = toUnits(x1, unit), uy1 = toUnits(y1, unit), ux2 = toUnits(x2, unit), uy2 = toUnits(y2, unit);
    if (text.isEmpty()) uy2 = uy1;
    auto box = std::make_unique<TPvTextBoxObject>();
    box->Text = text;
    box->Alignment = std::uint8_t(alignment);
    box->VertAlignment = vertAlignment;
    box->Brush = BrushToPvBrush(Brush);
    box->Font = FontToPvFont(Font, 0);
    box->Pen = PenToPvPen(Pen);
    if (uy2 == 0) {
        // As high as the text wrapped in the box's width, measured on the screen.
        platform::Canvas& m = GetCanvas();
        platform::Rect r{UnitsToPixels(ux1), UnitsToPixels(uy1), UnitsToPixels(ux2), UnitsToPixels(uy1)};
        m.DrawText(text, r, platform::DT_CALCRECT | platform::DT_WORDBREAK | platform::DT_EXPANDTABS | platform::DT_NOPREFIX);
        uy2 = r.Bottom / static_cast<long double>(platform::ScreenPixelsPerInch()) * 2540;
    }
    const long double ox = originX(), oy = originY();
    box->SetBounds(RoundToPvUnits(ux1 + ox), RoundToPvUnits(uy1 + oy), RoundToPvUnits(ux2 + ox), RoundToPvUnits(uy2 + oy));
    const long double height = ConvertValue(uy2 - uy1, PvUnits, unitOf(unit));
    if (draw) append(std::move(box));
    return height;
}

void TPvCanvas::Line(long double x1, long double y1, long double x2, long double y2, Unit unit)
{
    line(x1, y1, x2, y2, std::nullopt, unit);
}

void TPvCanvas::Line(const TPvRect& r, Unit unit) { Line(r.Left, r.Top, r.Right, r.Bottom, unit); }

void TPvCanvas::LineExt(long double x1, long double y1, long double x2, long double y2, std::int32_t width, Unit unit)
{
    line(x1, y1, x2, y2, width, unit);
}

void TPvCanvas::line(long double x1, long double y1, long double x2, long double y2, std::optional<std::int32_t> width,
                     Unit unit)
{
    auto l = std::make_unique<TPvLineObject>();
    l->SetBounds(px(x1, unit), py(y1, unit), px(x2, unit), py(y2, unit));
    l->Pen = PenToPvPen(Pen);
    if (width) {  // a width of its own, in hundredths of a millimetre
        l->LineType = PvLineExt;
        l->Pen.Width = *width;
    }
    append(std::move(l));
}

void TPvCanvas::LineExt(const TPvRect& r, std::int32_t width, Unit unit)
{
    LineExt(r.Left, r.Top, r.Right, r.Bottom, width, unit);
}

template <typename T> void TPvCanvas::penPoint(long double x, long double y, Unit unit)
{
    auto o = std::make_unique<T>();
    o->PointX = px(x, unit);
    o->PointY = py(y, unit);
    o->Pen = PenToPvPen(Pen);
    append(std::move(o));
}

void TPvCanvas::MoveTo(long double x, long double y, Unit unit) { penPoint<TPvMovetoObject>(x, y, unit); }
void TPvCanvas::LineTo(long double x, long double y, Unit unit) { penPoint<TPvLinetoObject>(x, y, unit); }

template <typename T>
T& TPvCanvas::shape(long double x1, long double y1, long double x2, long double y2, Unit unit)
{
    auto s = std::make_unique<T>();
    s->SetBounds(px(x1, unit), py(y1, unit), px(x2, unit), py(y2, unit));
    s->Brush = BrushToPvBrush(Brush);
    s->Pen = PenToPvPen(Pen);
    T& ref = *s;
    append(std::move(s));
    return ref;
}

void TPvCanvas::Rectangle(long double x1, long double y1, long double x2, long double y2, Unit unit)
{
    shape<TPvRectangleShape>(x1, y1, x2, y2, unit);
}
void TPvCanvas::Rectangle(const TPvRect& r, Unit unit) { Rectangle(r.Left, r.Top, r.Right, r.Bottom, unit); }
void TPvCanvas::FillRect(long double x1, long double y1, long double x2, long double y2, Unit unit)
{
    shape<TPvFillRectShape>(x1, y1, x2, y2, unit);
}
void TPvCanvas::FillRect(const TPvRect& r, Unit unit) { FillRect(r.Left, r.Top, r.Right, r.Bottom, unit); }
void TPvCanvas::Ellipse(long double x1, long double y1, long double x2, long double y2, Unit unit)
{
    shape<TPvEllipseShape>(x1, y1, x2, y2, unit);
}
void TPvCanvas::Ellipse(const TPvRect& r, Unit unit) { Ellipse(r.Left, r.Top, r.Right, r.Bottom, unit); }

void TPvCanvas::RoundRect(long double x1, long double y1, long double x2, long double y2, long double x3,
                          long double y3, Unit unit)
{
    const std::int32_t w = RoundToPvUnits(toUnits(x3, unit)), h = RoundToPvUnits(toUnits(y3, unit));
    auto& r = shape<TPvRoundRectShape>(x1, y1, x2, y2, unit);
    r.CornerWidth = w;
    r.CornerHeight = h;
}

void TPvCanvas::RoundRect(const TPvRect& r, long double x3, long double y3, Unit unit)
{
    RoundRect(r.Left, r.Top, r.Right, r.Bottom, x3, y3, unit);
}

void TPvCanvas::complex(std::unique_ptr<TPvComplexShape> s, long double x1, long double y1, long double x2,
                        long double y2, long double x3, long double y3, long double x4, long double y4, Unit unit)
{
    s->SetBounds(px(x1, unit), py(y1, unit), px(x2, unit), py(y2, unit), px(x3, unit), py(y3, unit), px(x4, unit),
                 py(y4, unit));
    s->Brush = BrushToPvBrush(Brush);
    s->Pen = PenToPvPen(Pen);
    append(std::move(s));
}

void TPvCanvas::Arc(long double x1, long double y1, long double x2, long double y2, long double x3, long double y3,
                    long double x4, long double y4, Unit unit)
{
    complex(std::make_unique<TPvArcShape>(), x1, y1, x2, y2, x3, y3, x4, y4, unit);
}

void TPvCanvas::Chord(long double x1, long double y1, long double x2, long double y2, long double x3, long double y3,
                      long double x4, long double y4, Unit unit)
{
    complex(std::make_unique<TPvChordShape>(), x1, y1, x2, y2, x3, y3, x4, y4, unit);
}

void TPvCanvas::Pie(long double x1, long double y1, long double x2, long double y2, long double x3, long double y3,
                    long double x4, long double y4, Unit unit)
{
    complex(std::make_unique<TPvPieShape>(), x1, y1, x2, y2, x3, y3, x4, y4, unit);
}

template <typename T> void TPvCanvas::poly(const QVector<TPvPoint>& points, int lastIndex, Unit unit)
{
    auto p = std::make_unique<T>();
    const qsizetype n = std::min<qsizetype>(qsizetype(std::max(lastIndex + 1, 0)), points.size());
    p->Points.reserve(n);
    for (qsizetype i = 0; i < n; ++i) p->Points.append(QPoint(px(points[i].X, unit), py(points[i].Y, unit)));
    p->Brush = BrushToPvBrush(Brush);
    p->Pen = PenToPvPen(Pen);
    append(std::move(p));
}

void TPvCanvas::Polygon(const QVector<TPvPoint>& points, int lastIndex, Unit unit)
{
    poly<TPvPolygonObject>(points, lastIndex, unit);
}
void TPvCanvas::PolyLine(const QVector<TPvPoint>& points, int lastIndex, Unit unit)
{
    poly<TPvPolyLineObject>(points, lastIndex, unit);
}
void TPvCanvas::PolyBezier(const QVector<TPvPoint>& points, int lastIndex, Unit unit)
{
    poly<TPvPolyBezierObject>(points, lastIndex, unit);
}
void TPvCanvas::PolyLineTo(const QVector<TPvPoint>& points, int lastIndex, Unit unit)
{
    poly<TPvPolyLineToObject>(points, lastIndex, unit);
}
void TPvCanvas::PolyBezierTo(const QVector<TPvPoint>& points, int lastIndex, Unit unit)
{
    poly<TPvPolyBezierToObject>(points, lastIndex, unit);
}

// ---------------------------------------------------------------- pictures

namespace {

void give(TPvGraphicObject& g, const QImage& image) { g.SetBitmap(image); }
void give(TPvGraphicObject& g, const QPicture& picture)
{
    g.SetMetafile(picture);
    g.GraphicType = gtMetafile;
}
QSize pixelSize(const QImage& image) { return image.size(); }
QSize pixelSize(const QPicture& picture) { return picture.boundingRect().size(); }
bool isNull(const QImage& image) { return image.isNull(); }
bool isNull(const QPicture& picture) { return picture.isNull(); }

}  // namespace

template <typename Picture>
void TPvCanvas::picture(long double x1, long double y1, long double x2, long double y2, const Picture& graphic)
{
    if (isNull(graphic)) return;
    auto g = std::make_unique<TPvGraphicObject>();
    const long double ox = originX(), oy = originY();
    g->SetBounds(x1 + ox, y1 + oy, x2 + ox, y2 + oy);
    give(*g, graphic);
    append(std::move(g));
}

template <typename Picture>
void TPvCanvas::drawNatural(long double x, long double y, const Picture& graphic, long double scale, Unit unit)
{
    // One picture pixel is one screen pixel, times the scale.
    const long double left = std::nearbyint(toUnits(x, unit)), top = std::nearbyint(toUnits(y, unit));
    const long double perPixel = 2540.0L / platform::ScreenPixelsPerInch() * scale;
    const QSize size = pixelSize(graphic);
    picture(left, top, std::nearbyint(size.width() * perPixel) + left, std::nearbyint(size.height() * perPixel) + top,
            graphic);
}

void TPvCanvas::Draw(long double x, long double y, const QImage& graphic, long double scale, Unit unit)
{
    drawNatural(x, y, graphic, scale, unit);
}

void TPvCanvas::Draw(long double x, long double y, const QPicture& graphic, long double scale, Unit unit)
{
    drawNatural(x, y, graphic, scale, unit);
}

void TPvCanvas::StretchDraw(long double x1, long double y1, long double x2, long double y2, const QImage& graphic,
                            Unit unit)
{
    picture(toUnits(x1, unit), toUnits(y1, unit), toUnits(x2, unit), toUnits(y2, unit), graphic);
}

void TPvCanvas::StretchDraw(long double x1, long double y1, long double x2, long double y2, const QPicture& graphic,
                            Unit unit)
{
    picture(toUnits(x1, unit), toUnits(y1, unit), toUnits(x2, unit), toUnits(y2, unit), graphic);
}

// ---------------------------------------------------------------- paths

void TPvCanvas::OpenPath()
{
    auto b = std::make_unique<TPvBeginPath>();
    b->Brush = BrushToPvBrush(Brush);
    b->Pen = PenToPvPen(Pen);
    TPvPage* page = preview_->CurrentPage();
    LastObject = page->AddObject(std::move(b));
}

void TPvCanvas::CloseFig()
{
    LastObject = preview_->CurrentPage()->AddObject(std::make_unique<TPvCloseFigure>());
}

void TPvCanvas::ClosePath(const QImage* bitmap, int i1, int i2, int i3, int i4)
{
    auto e = std::make_unique<TPvEndPath>();
    if (bitmap && !bitmap->isNull())
        e->FillBitmap = *bitmap;
    else
        e->FillBitmap.reset();
    e->FillColor = Brush.Color();
    e->X = i1, e->Y = i2, e->X2 = i3, e->Y2 = i4;
    LastObject = preview_->CurrentPage()->AddObject(std::move(e));
}

// ---------------------------------------------------------------- measuring

TPvUnits TPvCanvas::measured(int pixels) const
{
    TPvUnits u;
    u.Units = RoundToPvUnits(pixels * 2540.0L / platform::ScreenPixelsPerInch());
    FillPvUnits(u);
    return u;
}

TPvUnits TPvCanvas::TextWidth(const QString& text)
{
    const QString s = preview_->Tokenize(text, preview_->CurrentPageNum());
    return measured(GetCanvas().TextWidth(s));
}

TPvUnits TPvCanvas::TextHeight(const QString& text)
{
    const QString s = preview_->Tokenize(text, preview_->CurrentPageNum());
    return measured(GetCanvas().TextHeight(s));
}

void TPvCanvas::TextExtent(const QString& text, TPvUnits& width, TPvUnits& height)
{
    width = TextWidth(text);
    height = TextHeight(text);
}

TPvUnits TPvCanvas::GraphicWidth(const QImage& graphic) const { return measured(graphic.width()); }
TPvUnits TPvCanvas::GraphicHeight(const QImage& graphic) const { return measured(graphic.height()); }
