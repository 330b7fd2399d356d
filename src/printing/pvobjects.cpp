#include "printing/pvobjects.h"

#include "printing/pvdraw.h"
#include "printing/pvunits.h"
#include "platform/picturelimits.h"

#include <QBuffer>
#include <QPainter>

namespace {

// Bounds given as reals, kept as whole hundredths of a millimetre; a value
// that does not fit raises EConvertError and changes none of them.
void roundBounds(std::int32_t& X, std::int32_t& Y, std::int32_t& X2, std::int32_t& Y2, long double x1, long double y1,
                 long double x2, long double y2)
{
    const std::int32_t a = RoundToPvUnits(x1), b = RoundToPvUnits(y1), c = RoundToPvUnits(x2), d = RoundToPvUnits(y2);
    X = a, Y = b, X2 = c, Y2 = d;
}

}  // namespace

TPvBaseObject::~TPvBaseObject() = default;

void TPvBaseObject::Draw(platform::Canvas& canvas, int pixelsPerInch, QPoint offset, const TPvPageContext& page) const
{
    Render(canvas, PvDeviceMap::ForDraw(pixelsPerInch, offset), page);
}

void TPvBaseObject::Print(platform::Canvas& canvas, long double scale, const platform::Rect& pageRect, QPoint offset,
                          int pixelsPerInch, const TPvPageContext& page) const
{
    Render(canvas, PvDeviceMap::ForPrint(scale, pageRect, offset, pixelsPerInch), page);
}

// ---------------------------------------------------------------- text

QString TPvTextObject::place(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page,
                            QPoint& at) const
{
    map.ApplyBrush(canvas, Brush);
    map.ApplyFont(canvas, Font);
    at = map.Point(X, Y);
    return page.Tokenize(Text, Page);
}

void TPvTextObject::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const
{
    QPoint at;
    const QString text = place(canvas, map, page, at);
    canvas.TextOut(at.x(), at.y(), text);
}

TPvRect TPvTextObject::PrintedBox(int pixelsPerInch, const TPvPageContext& page) const
{
    platform::Canvas measure(pixelsPerInch);
    QPoint at;
    const QString text = place(measure, PvDeviceMap::ForPrint(1, platform::Rect{}, {}, pixelsPerInch), page, at);
    const QSize size = measure.TextExtent(text);
    const auto units = [pixelsPerInch](int pixels) { return pixels * 2540.0L / pixelsPerInch; };
    return {units(at.x()), units(at.y()), units(at.x() + size.width()), units(at.y() + size.height())};
}

void TPvTextBoxObject::SetBounds(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2)
{
    X = x1;
    Y = y1;
    X2 = x2;
    Y2 = y2;
}

void TPvTextBoxObject::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const
{
    map.ApplyBrush(canvas, Brush);
    map.ApplyFont(canvas, Font);
    map.ApplyPen(canvas, Pen);
    platform::Rect r = map.Box(X, Y, X2, Y2);
    canvas.Rectangle(r);
    canvas.Brush.SetStyle(platform::bsClear);
    // A box with no room (a zero-width column) shows no text at all.
    if (r.Right <= r.Left || r.Bottom <= r.Top) return;
    // "&" is printed as written: texts are names and addresses, not captions.
    // Only whole lines show; a text cut at the box's edge or bottom ends with
    // an ellipsis, as the grid on the screen shows it.
    unsigned flags = platform::DT_WORDBREAK | platform::DT_EDITCONTROL | platform::DT_END_ELLIPSIS |
                     platform::DT_EXPANDTABS | platform::DT_NOPREFIX;
    if (Alignment == 1)
        flags |= platform::DT_RIGHT;
    else if (Alignment == 2)
        flags |= platform::DT_CENTER;
    if (VertAlignment == gmMiddle)
        flags |= platform::DT_VCENTER | platform::DT_SINGLELINE;
    else if (VertAlignment == gmBottom)
        flags |= platform::DT_BOTTOM | platform::DT_SINGLELINE;
    canvas.DrawText(page.Tokenize(Text, Page), r, flags);
}

// ---------------------------------------------------------------- lines

void TPvLineObject::SetBounds(long double x1, long double y1, long double x2, long double y2)
{
    roundBounds(X, Y, X2, Y2, x1, y1, x2, y2);
}

void TPvLineObject::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    map.ApplyPen(canvas, Pen, LineType == PvLine);
    if (LineType == PvLineExt) canvas.Pen.Width = PvRound(static_cast<long double>(Pen.Width) * map.PixelsPerInch() / 2540);
    const QPoint from = map.Point(X, Y), to = map.Point(X2, Y2);
    PvDashPattern pattern;
    if (Pen.Style == PvPsSolid || canvas.Pen.Width == 1 ||
        !PvDashPatternFor(Pen.Style, Pen.Width, map.PixelsPerInch(), pattern)) {
        canvas.Polyline({from, to});
        return;
    }
    // Wide pens draw their dashes themselves, each dash a solid stroke.
    canvas.Pen.Style = platform::psSolid;
    PvDashWalker walker(canvas);
    walker.MoveTo(from.x(), from.y());
    walker.LineTo(to.x(), to.y(), pattern);
}

// ---------------------------------------------------------------- shapes

void TPvSimpleShape::SetBounds(long double x1, long double y1, long double x2, long double y2)
{
    roundBounds(X, Y, X2, Y2, x1, y1, x2, y2);
}

platform::Rect TPvSimpleShape::prepare(platform::Canvas& canvas, const PvDeviceMap& map) const
{
    map.ApplyPen(canvas, Pen);
    map.ApplyBrush(canvas, Brush);
    return map.Box(X, Y, X2, Y2);
}

void TPvEllipseShape::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    canvas.Ellipse(prepare(canvas, map));
}

void TPvRectangleShape::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    canvas.Rectangle(prepare(canvas, map));
}

void TPvRoundRectShape::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    const platform::Rect r = prepare(canvas, map);
    canvas.RoundRect(r.Left, r.Top, r.Right, r.Bottom, map.Length(CornerWidth), map.Length(CornerHeight));
}

void TPvFillRectShape::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    canvas.FillRect(prepare(canvas, map));
}

void TPvComplexShape::SetBounds(long double x1, long double y1, long double x2, long double y2, long double x3,
                                long double y3, long double x4, long double y4)
{
    std::int32_t x[4], y[4];
    roundBounds(x[0], y[0], x[1], y[1], x1, y1, x2, y2);
    roundBounds(x[2], y[2], x[3], y[3], x3, y3, x4, y4);
    X = x[0], Y = y[0], X2 = x[1], Y2 = y[1], X3 = x[2], Y3 = y[2], X4 = x[3], Y4 = y[3];
}

void TPvComplexShape::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    const platform::Rect r = prepare(canvas, map);
    const QPoint start = map.Point(X3, Y3), end = map.Point(X4, Y4);
    switch (kind_) {
    case Kind::Arc: canvas.Arc(r.Left, r.Top, r.Right, r.Bottom, start.x(), start.y(), end.x(), end.y()); break;
    case Kind::Chord: canvas.Chord(r.Left, r.Top, r.Right, r.Bottom, start.x(), start.y(), end.x(), end.y()); break;
    case Kind::Pie: canvas.Pie(r.Left, r.Top, r.Right, r.Bottom, start.x(), start.y(), end.x(), end.y()); break;
    }
}

// ---------------------------------------------------------------- point lists

QVector<QPoint> TPvPolyBaseObject::prepare(platform::Canvas& canvas, const PvDeviceMap& map) const
{
    map.ApplyBrush(canvas, Brush);
    map.ApplyPen(canvas, Pen);
    QVector<QPoint> device;
    device.reserve(Points.size());
    for (const QPoint& p : Points) device.append(map.Point(p.x(), p.y()));
    return device;
}

void TPvPolygonObject::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    canvas.Polygon(prepare(canvas, map));
}

void TPvPolyLineObject::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    canvas.Polyline(prepare(canvas, map));
}

void TPvPolyBezierObject::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    canvas.PolyBezier(prepare(canvas, map));
}

void TPvPolyLineToObject::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    const QVector<QPoint> points = prepare(canvas, map);
    if (points.isEmpty()) return;
    canvas.LineTo(points[0].x(), points[0].y());
    canvas.PolylineTo(points);
}

void TPvPolyBezierToObject::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    const QVector<QPoint> points = prepare(canvas, map);
    if (points.isEmpty()) return;
    canvas.LineTo(points[0].x(), points[0].y());
    canvas.PolyBezierTo(points.mid(1));
}

// ---------------------------------------------------------------- pictures

void TPvGraphicObject::SetBounds(long double x1, long double y1, long double x2, long double y2)
{
    roundBounds(X, Y, X2, Y2, x1, y1, x2, y2);
}

void TPvGraphicObject::SetBitmap(const QImage& bitmap)
{
    BitmapStream = platform::BitmapFileBytes(bitmap);
    GraphicType = gtBitmap;
}

QImage TPvGraphicObject::GetBitmap() const
{
    if (BitmapStream.isEmpty()) return {};
    if (bitmapCacheKey_.isSharedWith(BitmapStream) || bitmapCacheKey_ == BitmapStream) return bitmapCache_;
    bitmapCache_ = QImage::fromData(BitmapStream, "BMP");
    bitmapCacheKey_ = BitmapStream;
    return bitmapCache_;
}

void TPvGraphicObject::SetMetafile(const QPicture& picture)
{
    recorded_ = picture;
    Metafile.reset();
}

void TPvGraphicObject::TakeStoredPicture(TPvGraphicType type, std::optional<QImage> bitmap,
                                         std::optional<QByteArray> metafile)
{
    BitmapStream.clear();
    recorded_.reset();
    Metafile = std::move(metafile);
    if (bitmap) SetBitmap(*bitmap);
    GraphicType = type;
}

QImage TPvGraphicObject::recordedAsBitmap() const
{
    if (!recorded_ || recorded_->boundingRect().isEmpty()) return {};
    QSizeF size(std::abs(X2 - X) * double(kStoredPixelsPerInch) / 2540, std::abs(Y2 - Y) * double(kStoredPixelsPerInch) / 2540);
    if (size.width() < 1 || size.height() < 1) size = recorded_->boundingRect().size();
    const QSize pixels = size.width() > kMaxStoredSide || size.height() > kMaxStoredSide
                             ? size.scaled(kMaxStoredSide, kMaxStoredSide, Qt::KeepAspectRatio).toSize()
                             : size.toSize();
    QImage bitmap(pixels.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    QPainter painter(&bitmap);
    QPicture picture = *recorded_;
    PlayPictureInto(painter, picture, platform::Rect::FromSize(0, 0, bitmap.width(), bitmap.height()));
    return bitmap;
}

void TPvGraphicObject::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    const platform::Rect r = map.Box(X, Y, X2, Y2);
    if (GraphicType == gtBitmap || (map.Printing() && !BitmapStream.isEmpty())) {
        const QImage bitmap = GetBitmap();
        if (bitmap.isNull()) return;
        if (map.Printing())
            PrintBitmap(canvas, r, bitmap);
        else
            canvas.StretchDraw(r, bitmap);
        return;
    }
    std::optional<QPicture> picture = recorded_;
    QPainter* painter = canvas.Painter();
    if (!picture || !painter) return;
    const bool throughBitmap = DrawAsBitmap && !map.Printing() && r.Width() > 0 && r.Height() > 0 &&
                               r.Width() <= kMaxDrawBitmapSide && r.Height() <= kMaxDrawBitmapSide;
    if (!throughBitmap) {
        PlayPictureInto(*painter, *picture, r);
        return;
    }
    QImage bitmap(r.Width(), r.Height(), QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    {
        QPainter onBitmap(&bitmap);
        PlayPictureInto(onBitmap, *picture, platform::Rect::FromSize(0, 0, r.Width(), r.Height()));
    }
    PrintBitmap(canvas, r, bitmap);
}

// ---------------------------------------------------------------- paths

void TPvMovetoObject::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    map.ApplyPen(canvas, Pen, false);
    canvas.MoveTo(map.X(PointX), map.Y(PointY));
}

void TPvLinetoObject::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    map.ApplyPen(canvas, Pen, false);
    canvas.LineTo(map.X(PointX), map.Y(PointY));
}

void TPvBeginPath::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    prepare(canvas, map);
    canvas.BeginPath();
}

void TPvCloseFigure::Render(platform::Canvas& canvas, const PvDeviceMap&, const TPvPageContext&) const
{
    canvas.CloseFigure();
}

void TPvEndPath::Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext&) const
{
    canvas.EndPath();
    if (!FillBitmap || FillBitmap->isNull()) {
        canvas.Brush.SetColor(FillColor);
        canvas.StrokeAndFillPath();
        return;
    }
    // The path clips the bitmap; the clip in force before comes back afterwards.
    const bool hadClip = canvas.HasClipRect();
    const platform::Rect clip = canvas.ClipRect();
    canvas.SelectClipPath();
    canvas.StretchDraw(map.Box(X, Y, X2, Y2), *FillBitmap);
    if (hadClip)
        canvas.SetClipRect(clip);
    else
        canvas.ClearClipRect();
}
