#include "platform/canvas.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <utility>

namespace platform {

void Brush::SetColor(TColor c)
{
    color_ = c;
    style_ = c == clNone ? bsClear : bsSolid;
    ++version_;
}

void Brush::SetStyle(BrushStyle s)
{
    style_ = s;
    ++version_;
}

PenMode PenModeFromOrdinal(int ordinal)
{
    switch (ordinal) {
    case 3: return pmNot;
    case 14: return pmXor;
    default: return pmCopy;
    }
}

int PenModeOrdinal(PenMode mode)
{
    switch (mode) {
    case pmNot: return 3;
    case pmXor: return 14;
    case pmCopy: break;
    }
    return 4;
}

Canvas::Canvas(int dpi) : dpi_(dpi) {}

Canvas::~Canvas()
{
    if (painter_) End();
}

void Canvas::Begin(QPainter* painter)
{
    if (painter_) End();
    painter_ = painter;
    if (!painter_) return;
    painter_->save();
    if (QPaintDevice* dev = painter_->device()) dpi_ = dev->logicalDpiY();
    painter_->setRenderHint(QPainter::Antialiasing, false);
    if (clipPath_)
        painter_->setClipPath(*clipPath_);
    else if (hasClip_)
        painter_->setClipRect(clip_.ToQRect());
}

void Canvas::End()
{
    if (!painter_) return;
    painter_->restore();
    painter_ = nullptr;
}

void Canvas::SetBackgroundTransparent(bool transparent)
{
    bkMode_ = transparent ? 1 : 2;
    bkBrushVersion_ = Brush.Version();
}

bool Canvas::TextBackgroundOpaque() const
{
    if (bkMode_ != 0 && bkBrushVersion_ == Brush.Version()) return bkMode_ == 2 && Brush.Color() != clNone;
    return Brush.Style() == bsSolid && Brush.Color() != clNone;
}

// ---------------------------------------------------------------- mapping

void Canvas::SetMapMode(MapMode mode)
{
    mapMode_ = mode == MM_LOMETRIC ? MM_LOMETRIC : MM_TEXT;
    penPos_ = QPoint();
}

void Canvas::SetViewportOrigin(QPoint devicePoint) { origin_ = devicePoint; }

QPoint Canvas::LogicalToDevice(int x, int y) const
{
    if (mapMode_ != MM_LOMETRIC) return QPoint(x, y) + origin_;
    const double s = scale();
    return {origin_.x() + int(std::lrint(x * s)), origin_.y() - int(std::lrint(y * s))};
}

Rect Canvas::LogicalToDevice(const Rect& r) const
{
    const QPoint a = LogicalToDevice(r.Left, r.Top), b = LogicalToDevice(r.Right, r.Bottom);
    return {std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::max(a.x(), b.x()), std::max(a.y(), b.y())};
}

Rect Canvas::DeviceToLogical(const Rect& r) const
{
    if (mapMode_ != MM_LOMETRIC) {
        Rect l = r;
        l.Offset(-origin_.x(), -origin_.y());
        return l;
    }
    const double s = scale();
    auto lx = [&](int x) { return int(std::lrint((x - origin_.x()) / s)); };
    auto ly = [&](int y) { return int(std::lrint((origin_.y() - y) / s)); };
    return {lx(r.Left), ly(r.Top), lx(r.Right), ly(r.Bottom)};
}

int Canvas::LogicalToDeviceLength(int units) const { return int(std::lrint(units * scale())); }

int Canvas::DeviceToLogicalLength(int pixels) const { return int(std::lrint(pixels / scale())); }

QVector<QPoint> Canvas::dev(const QVector<QPoint>& points) const
{
    if (!mapped()) return points;
    QVector<QPoint> out;
    out.reserve(points.size());
    for (const QPoint& p : points) out << dev(p);
    return out;
}

void Canvas::mapCorners(int& x1, int& y1, int& x2, int& y2) const
{
    if (!mapped()) return;
    const Rect d = LogicalToDevice(Rect{x1, y1, x2, y2});
    x1 = d.Left, y1 = d.Top, x2 = d.Right, y2 = d.Bottom;
}

int Canvas::penWidth() const
{
    return mapMode_ == MM_LOMETRIC ? std::max(1, LogicalToDeviceLength(Pen.Width)) : Pen.Width;
}

QFont Canvas::CurrentQFont() const
{
    if (!cachedMetrics_ || cachedDpi_ != dpi_ || !(cachedFont_ == Font) || cachedMapMode_ != mapMode_) {
        cachedFont_ = Font;
        cachedDpi_ = dpi_;
        cachedMapMode_ = mapMode_;
        platform::Font f = Font;
        if (mapMode_ == MM_LOMETRIC) f.PixelsPerInch = 254;  // heights in 0.1 mm
        cachedQFont_ = f.ToQFont(dpi_);
        cachedMetrics_ = std::make_unique<QFontMetrics>(cachedQFont_);
    }
    return cachedQFont_;
}

const QFontMetrics& Canvas::metrics() const
{
    CurrentQFont();
    return *cachedMetrics_;
}

// ---------------------------------------------------------------- pen and brush

void Canvas::applyPen(bool /*forShapeOutline*/)
{
    if (Pen.Style == psClear) {
        painter_->setPen(Qt::NoPen);
    } else {
        QPen p(ToQColor(Pen.Color));
        const int width = penWidth();
        p.setWidth(std::max(1, width));
        p.setCosmetic(width <= 1);
        p.setCapStyle(Qt::FlatCap);
        // Wide pens join round here, so a sharp corner stays within half the width.
        p.setJoinStyle(width > 1 ? Qt::RoundJoin : Qt::MiterJoin);
        switch (Pen.Style) {
        case psDash: p.setStyle(Qt::DashLine); break;
        case psDot: p.setDashPattern({1, 1}); break;
        case psDashDot: p.setStyle(Qt::DashDotLine); break;
        case psDashDotDot: p.setStyle(Qt::DashDotDotLine); break;
        default: p.setStyle(Qt::SolidLine); break;
        }
        painter_->setPen(p);
    }
    const bool rasterOps = painter_->paintEngine() && painter_->paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
    if (Pen.Mode == pmXor && rasterOps)
        painter_->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    else if (Pen.Mode == pmNot && rasterOps)
        painter_->setCompositionMode(QPainter::RasterOp_NotDestination);
    else
        painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

QBrush Canvas::qtBrush() const
{
    if (Brush.Style() == bsClear || Brush.Color() == clNone) return Qt::NoBrush;
    static constexpr Qt::BrushStyle kHatches[] = {Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
                                                  Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
    const int style = int(Brush.Style());
    if (style >= int(bsHorizontal) && style <= int(bsDiagCross))
        return QBrush(ToQColor(Brush.Color()), kHatches[style - int(bsHorizontal)]);
    return QBrush(ToQColor(Brush.Color()));
}

void Canvas::applyBrush() { painter_->setBrush(qtBrush()); }

// ---------------------------------------------------------------- shapes

void Canvas::FillRect(const Rect& logical)
{
    const Rect r = mapped() ? LogicalToDevice(logical) : logical;
    if (!painter_ || r.IsEmpty()) return;
    const QBrush b = qtBrush();
    if (b.style() != Qt::NoBrush) painter_->fillRect(r.ToQRect(), b);
}

void Canvas::FrameRect(const Rect& logical)
{
    const Rect r = mapped() ? LogicalToDevice(logical) : logical;
    if (!painter_ || r.IsEmpty() || Brush.Color() == clNone) return;
    const QColor c = ToQColor(Brush.Color());
    painter_->fillRect(QRect(r.Left, r.Top, r.Width(), 1), c);
    painter_->fillRect(QRect(r.Left, r.Bottom - 1, r.Width(), 1), c);
    painter_->fillRect(QRect(r.Left, r.Top, 1, r.Height()), c);
    painter_->fillRect(QRect(r.Right - 1, r.Top, 1, r.Height()), c);
}

namespace {

// The outline path of a shape over [x1, x2) x [y1, y2): Qt strokes the
// path's centre, so the path runs through the centres of the edge pixels.
QRectF outlineRect(int x1, int y1, int x2, int y2, int penWidth, bool insideFrame)
{
    QRectF r(x1, y1, x2 - x1 - 1, y2 - y1 - 1);
    if (insideFrame && penWidth > 1) {
        const double h = (penWidth - 1) / 2.0;
        r.adjust(h, h, -h, -h);
    }
    return r;
}

}  // namespace

void Canvas::Rectangle(int x1, int y1, int x2, int y2)
{
    mapCorners(x1, y1, x2, y2);
    if (pathOpen_) {
        if (x2 > x1 && y2 > y1) path_->addRect(outlineRect(x1, y1, x2, y2, 1, false));
        return;
    }
    if (!painter_ || x2 <= x1 || y2 <= y1) return;
    painter_->save();
    applyBrush();
    applyPen(true);
    if (Pen.Style == psClear) {
        painter_->setPen(Qt::NoPen);
        if (painter_->brush().style() != Qt::NoBrush)
            painter_->fillRect(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1), painter_->brush());
    } else {
        if (painter_->brush().style() != Qt::NoBrush)
            painter_->fillRect(QRect(x1, y1, x2 - x1, y2 - y1), painter_->brush());
        painter_->setBrush(Qt::NoBrush);
        painter_->drawRect(outlineRect(x1, y1, x2, y2, penWidth(), Pen.Style == psInsideFrame));
    }
    painter_->restore();
}

void Canvas::RoundRect(int x1, int y1, int x2, int y2, int w, int h)
{
    mapCorners(x1, y1, x2, y2);
    if (mapped()) {
        w = std::abs(LogicalToDeviceLength(w));
        h = std::abs(LogicalToDeviceLength(h));
    }
    if (!painter_ || x2 <= x1 || y2 <= y1) return;
    painter_->save();
    applyBrush();
    applyPen(true);
    // Callers give the corner ellipse's width and height; Qt wants radii.
    const double rx = std::min(w, x2 - x1) / 2.0, ry = std::min(h, y2 - y1) / 2.0;
    painter_->drawRoundedRect(outlineRect(x1, y1, x2, y2, penWidth(), Pen.Style == psInsideFrame), rx, ry,
                              Qt::AbsoluteSize);
    painter_->restore();
}

void Canvas::Ellipse(int x1, int y1, int x2, int y2)
{
    mapCorners(x1, y1, x2, y2);
    if (pathOpen_) {
        if (x2 > x1 && y2 > y1) path_->addEllipse(outlineRect(x1, y1, x2, y2, 1, false));
        return;
    }
    if (!painter_ || x2 <= x1 || y2 <= y1) return;
    painter_->save();
    applyBrush();
    applyPen(true);
    painter_->drawEllipse(outlineRect(x1, y1, x2, y2, penWidth(), Pen.Style == psInsideFrame));
    painter_->restore();
}

void Canvas::Polygon(const QVector<QPoint>& logical)
{
    const QVector<QPoint> points = dev(logical);
    if (pathOpen_) {
        if (points.size() >= 2) {
            path_->addPolygon(QPolygonF(QPolygon(points)));
            path_->closeSubpath();
        }
        return;
    }
    if (!painter_ || points.size() < 2) return;
    painter_->save();
    applyBrush();
    applyPen(true);
    painter_->drawPolygon(points.constData(), int(points.size()), Qt::OddEvenFill);
    painter_->restore();
}

namespace {

enum class ArcKind { Open, Chord, Pie };

// Qt angles (1/16 degree, counter-clockwise from 3 o'clock) of the two rays through the box's centre.
std::pair<int, int> arcAngles(const QRectF& box, int x3, int y3, int x4, int y4)
{
    const QPointF c = box.center();
    auto angleOf = [&](int x, int y) {
        // The ellipse is squeezed to a circle so that the ray's angle is the parameter angle.
        const double dx = (x - c.x()) / std::max(1.0, box.width() / 2), dy = (c.y() - y) / std::max(1.0, box.height() / 2);
        return std::atan2(dy, dx) * 180.0 / M_PI;
    };
    const double a = angleOf(x3, y3), b = angleOf(x4, y4);
    double span = b - a;
    while (span <= 0) span += 360.0;
    return {int(std::lrint(a * 16)), int(std::lrint(span * 16))};
}

}  // namespace

void Canvas::arcShape(int kind, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    if (mapped()) {
        const QPoint a = dev({x3, y3}), b = dev({x4, y4});
        x3 = a.x(), y3 = a.y(), x4 = b.x(), y4 = b.y();
    }
    mapCorners(x1, y1, x2, y2);
    if (!painter_ || x2 <= x1 || y2 <= y1) return;
    painter_->save();
    applyBrush();
    applyPen(true);
    const QRectF box = outlineRect(x1, y1, x2, y2, penWidth(), false);
    const auto [start, span] = arcAngles(box, x3, y3, x4, y4);
    switch (ArcKind(kind)) {
    case ArcKind::Open: painter_->drawArc(box, start, span); break;
    case ArcKind::Chord: painter_->drawChord(box, start, span); break;
    case ArcKind::Pie: painter_->drawPie(box, start, span); break;
    }
    painter_->restore();
}

void Canvas::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    arcShape(int(ArcKind::Open), x1, y1, x2, y2, x3, y3, x4, y4);
}

void Canvas::Chord(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    arcShape(int(ArcKind::Chord), x1, y1, x2, y2, x3, y3, x4, y4);
}

void Canvas::Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    arcShape(int(ArcKind::Pie), x1, y1, x2, y2, x3, y3, x4, y4);
}

namespace {

// Adds the complete Bézier pieces of points[first..] to the path; the last point added.
QPoint addBezierPieces(QPainterPath& path, const QVector<QPoint>& points, qsizetype first)
{
    QPoint last = path.currentPosition().toPoint();
    for (qsizetype i = first; i + 2 < points.size(); i += 3) {
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
        last = points[i + 2];
    }
    return last;
}

}  // namespace

void Canvas::PolyBezier(const QVector<QPoint>& logical)
{
    const QVector<QPoint> points = dev(logical);
    if (points.size() < 4) return;
    if (pathOpen_) {
        path_->moveTo(points[0]);
        addBezierPieces(*path_, points, 1);
        return;
    }
    if (!painter_) return;
    QPainterPath path(points[0]);
    addBezierPieces(path, points, 1);
    painter_->save();
    applyPen(false);
    painter_->setBrush(Qt::NoBrush);
    painter_->drawPath(path);
    painter_->restore();
}

void Canvas::PolyBezierTo(const QVector<QPoint>& logical)
{
    if (logical.size() < 3) return;
    const QVector<QPoint> points = dev(logical);
    const qsizetype last = (logical.size() / 3) * 3 - 1;
    if (pathOpen_) {
        addBezierPieces(*path_, points, 0);
        penPos_ = logical[last];
        return;
    }
    QPainterPath path(dev(penPos_));
    addBezierPieces(path, points, 0);
    penPos_ = logical[last];
    if (!painter_ || Pen.Style == psClear) return;
    painter_->save();
    applyPen(false);
    painter_->setBrush(Qt::NoBrush);
    painter_->drawPath(path);
    painter_->restore();
}

void Canvas::Polyline(const QVector<QPoint>& points)
{
    if (points.isEmpty()) return;
    MoveTo(points[0].x(), points[0].y());
    for (qsizetype i = 1; i < points.size(); ++i) LineTo(points[i].x(), points[i].y());
}

void Canvas::PolylineTo(const QVector<QPoint>& points)
{
    for (const QPoint& p : points) LineTo(p.x(), p.y());
}

void Canvas::MoveTo(int x, int y)
{
    penPos_ = QPoint(x, y);
    if (pathOpen_) path_->moveTo(dev(penPos_));
}

void Canvas::LineTo(int x, int y)
{
    const QPoint from = dev(penPos_), to = dev(QPoint(x, y));
    penPos_ = QPoint(x, y);
    if (pathOpen_) {
        path_->lineTo(to);
        return;
    }
    if (!painter_ || from == to || Pen.Style == psClear) return;
    // A line leaves out its last pixel; so does Qt's line with a flat cap.
    painter_->save();
    applyPen(false);
    if (penWidth() <= 1)
        painter_->drawLine(from, to);
    else
        painter_->drawLine(QPointF(from) + QPointF(0.5, 0.5), QPointF(to) + QPointF(0.5, 0.5));
    painter_->restore();
}

void Canvas::DrawFocusRect(const Rect& logical, TColor colour)
{
    const Rect r = mapped() ? LogicalToDevice(logical) : logical;
    if (!painter_ || r.IsEmpty()) return;
    painter_->save();
    const bool rasterOps = painter_->paintEngine() && painter_->paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
    QColor c = colour == clNone ? QColor(Qt::black) : ToQColor(colour);
    if (rasterOps && colour == clNone) {
        painter_->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        c = Qt::white;
    }
    // Every other pixel along the frame, starting at the top-left corner.
    QVector<QPoint> dots;
    for (int x = r.Left; x < r.Right; x += 2) {
        dots << QPoint(x, r.Top);
        if (r.Height() > 1) dots << QPoint(x, r.Bottom - 1);
    }
    for (int y = r.Top + 2; y < r.Bottom - 1; y += 2) {
        dots << QPoint(r.Left, y);
        if (r.Width() > 1) dots << QPoint(r.Right - 1, y);
    }
    QPen p(c);
    p.setWidth(1);
    p.setCosmetic(true);
    painter_->setPen(p);
    painter_->drawPoints(dots.constData(), int(dots.size()));
    painter_->restore();
}

// ---------------------------------------------------------------- pictures

namespace {

QImage withTopLeftTransparent(const QImage& image)
{
    QImage img = image.convertToFormat(QImage::Format_ARGB32);
    if (img.isNull()) return img;
    const QRgb key = img.pixel(0, 0) | 0xFF000000u;
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] | 0xFF000000u) == key) line[x] = 0;
    }
    return img;
}

}  // namespace

void Canvas::Draw(int x, int y, const QImage& image, bool transparent)
{
    if (!painter_ || image.isNull()) return;
    painter_->drawImage(dev(QPoint(x, y)), transparent ? withTopLeftTransparent(image) : image);
}

void Canvas::StretchDraw(const Rect& logical, const QImage& image, bool transparent)
{
    const Rect r = mapped() ? LogicalToDevice(logical) : logical;
    if (!painter_ || image.isNull() || r.IsEmpty()) return;
    painter_->save();
    painter_->setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter_->drawImage(r.ToQRect(), transparent ? withTopLeftTransparent(image) : image);
    painter_->restore();
}

// ---------------------------------------------------------------- text

int Canvas::TextWidth(const QString& text) const { return TextExtent(text).width(); }

int Canvas::TextHeight(const QString& text) const { return TextExtent(text).height(); }

QSize Canvas::TextExtent(const QString& text) const
{
    const QFontMetrics& fm = metrics();
    const QSize px(fm.horizontalAdvance(text), fm.height());
    if (mapMode_ != MM_LOMETRIC) return px;
    return {DeviceToLogicalLength(px.width()), DeviceToLogicalLength(px.height())};
}

void Canvas::drawTextLine(int x, int y, const QString& text, int underlineAt, const QFontMetrics& fm, bool opaque)
{
    if (opaque) painter_->fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()), ToQColor(Brush.Color()));
    painter_->setPen(ToQColor(Font.Color));
    painter_->drawText(QPoint(x, y + fm.ascent()), text);
    if (underlineAt >= 0 && underlineAt < text.size()) {
        const int ux = x + fm.horizontalAdvance(text.left(underlineAt));
        const int uw = std::max(1, fm.horizontalAdvance(text.mid(underlineAt, 1)));
        painter_->fillRect(QRect(ux, y + fm.ascent() + 1, uw, std::max(1, fm.lineWidth())), ToQColor(Font.Color));
    }
}

void Canvas::TextOut(int x, int y, const QString& text)
{
    if (!painter_ || text.isEmpty()) return;
    if (mapped()) {
        const QPoint d = dev(QPoint(x, y));
        x = d.x(), y = d.y();
    }
    painter_->save();
    const QFont f = CurrentQFont();
    painter_->setFont(f);
    const QFontMetrics& fm = metrics();
    if (Font.Orientation != 0) {
        painter_->translate(x, y);
        painter_->rotate(-Font.Orientation / 10.0);
        x = y = 0;
    }
    drawTextLine(x, y, text, -1, fm, TextBackgroundOpaque());
    painter_->restore();
}

void Canvas::TextRect(const Rect& logical, int x, int y, const QString& text)
{
    if (!painter_) return;
    const Rect r = mapped() ? LogicalToDevice(logical) : logical;
    if (mapped()) {
        const QPoint d = dev(QPoint(x, y));
        x = d.x(), y = d.y();
    }
    painter_->save();
    painter_->setClipRect(r.ToQRect(), hasClip_ ? Qt::IntersectClip : Qt::ReplaceClip);
    if (TextBackgroundOpaque()) painter_->fillRect(r.ToQRect(), ToQColor(Brush.Color()));
    const QFont f = CurrentQFont();
    painter_->setFont(f);
    drawTextLine(x, y, text, -1, metrics(), false);
    painter_->restore();
}

namespace {

struct TextLine {
    QString text;
    qsizetype start = 0;  // where it starts in the text drawn
    int underlineAt = -1;
    int width = 0;
};

// Width of a text with tabs at every `tab` pixels when expanding.
int advanceOf(const QFontMetrics& fm, const QString& s, bool expandTabs, int tab)
{
    if (!expandTabs || !s.contains(QLatin1Char('\t'))) return fm.horizontalAdvance(s);
    int x = 0;
    const QStringList parts = s.split(QLatin1Char('\t'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        x += fm.horizontalAdvance(parts[i]);
        if (i + 1 < parts.size()) x = (x / tab + 1) * tab;
    }
    return x;
}

// Prefix processing: "&&" draws one ampersand, "&x" underlines x (the first
// such x, whose index goes to UnderlineAt); a trailing "&" draws nothing.
QString stripPrefixes(const QString& input, int& underlineAt)
{
    QString text;
    text.reserve(input.size());
    for (qsizetype i = 0; i < input.size(); ++i) {
        if (input[i] == QLatin1Char('&') && i + 1 < input.size()) {
            ++i;
            if (input[i] != QLatin1Char('&') && underlineAt < 0) underlineAt = int(text.size());
        } else if (input[i] == QLatin1Char('&')) {
            continue;
        }
        text += input[i];
    }
    return text;
}

// Splits a text into the lines it draws as, keeping each line's offset for
// the underlined character. A box that shows `maxLines` lines at most (0: no
// limit) is split no further than it shows; with `restOnLast` its last line
// takes the rest of the text, line breaks as blanks, for an ellipsis to cut.
class LineSplitter {
public:
    LineSplitter(const QString& text, int underlineAt, const QFontMetrics& fm, bool expandTabs, int tab)
        : text_(text), underlineAt_(underlineAt), fm_(fm), expandTabs_(expandTabs), tab_(tab)
    {
    }

    // Every line break of the text opens a line (a final one does not); with
    // Wrap each line is broken further to fit Width.
    std::vector<TextLine> split(bool wrap, bool breakWords, int width, std::size_t maxLines = 0,
                                bool restOnLast = false)
    {
        maxLines_ = maxLines;
        restOnLast_ = restOnLast;
        qsizetype pos = 0;
        while (pos <= text_.size()) {
            qsizetype end = pos;
            while (end < text_.size() && text_[end] != QLatin1Char('\n') && text_[end] != QLatin1Char('\r')) ++end;
            if (!wrap)
                add(pos, end - pos);
            else if (!wrapLine(pos, end, breakWords, width))
                break;
            if (end >= text_.size()) break;
            pos = end + ((text_[end] == QLatin1Char('\r') && end + 1 < text_.size() && text_[end + 1] == QLatin1Char('\n')) ? 2 : 1);
            if (pos == text_.size()) break;  // a final line break opens no empty line
            if (full()) {
                takeRest();
                break;
            }
        }
        return std::move(lines_);
    }

    // The whole text as one line.
    std::vector<TextLine> whole()
    {
        add(0, text_.size());
        return std::move(lines_);
    }

private:
    // `width`: the line's width when it was measured already, else -1.
    void add(qsizetype start, qsizetype len, int width = -1)
    {
        TextLine l;
        l.text = text_.mid(start, len);
        l.start = start;
        if (underlineAt_ >= start && underlineAt_ < start + len) l.underlineAt = int(underlineAt_ - start);
        l.width = width >= 0 ? width : advanceOf(fm_, l.text, expandTabs_, tab_);
        lines_.push_back(std::move(l));
    }

    bool full() const { return maxLines_ > 0 && lines_.size() >= maxLines_; }

    // The last line shown takes the rest of the text, when asked to;
    // `width`: the rest's width when it was measured already, else -1.
    void takeRest(int width = -1)
    {
        if (!restOnLast_) return;
        TextLine& last = lines_.back();
        last.text = text_.mid(last.start).replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        last.width = width >= 0 ? width : advanceOf(fm_, last.text, expandTabs_, tab_);
        last.underlineAt = underlineAt_ >= last.start ? int(underlineAt_ - last.start) : -1;
    }

    int widthOf(qsizetype from, qsizetype to) const
    {
        while (to > from && text_[to - 1] == QLatin1Char(' ')) --to;  // trailing blanks do not count
        return advanceOf(fm_, text_.mid(from, to - from), expandTabs_, tab_);
    }

    // Lays out text[start, end) greedily: each line takes whole words (with
    // the blanks before them) while they fit. A word wider than the box is
    // broken between characters with BreakWords, otherwise it stands alone
    // and overflows. A line that fits whole is measured once. False when the
    // lines shown end inside it.
    bool wrapLine(qsizetype start, qsizetype end, bool breakWords, int width)
    {
        const int whole = widthOf(start, end);
        if (whole <= width) {
            qsizetype shown = end;
            while (shown > start && text_[shown - 1] == QLatin1Char(' ')) --shown;
            add(start, shown - start, whole);
            return true;
        }
        if (lines_.size() + 1 == maxLines_ && restOnLast_) {  // the line shown last, cut anyway
            lines_.push_back({{}, start});
            // the rest is this line, measured whole, when nothing follows it
            const bool measured = end == text_.size() && text_[end - 1] != QLatin1Char(' ');
            takeRest(measured ? whole : -1);
            return false;
        }
        do {
            // fitWidth: the measured width of text[start, fitEnd) less its trailing blanks.
            qsizetype fitEnd = -1, next = start;
            int fitWidth = -1;
            while (next < end) {
                qsizetype e = next;
                while (e < end && text_[e] == QLatin1Char(' ')) ++e;
                while (e < end && text_[e] != QLatin1Char(' ')) ++e;
                const int w = widthOf(start, e);
                if (w <= width) {
                    fitEnd = next = e;
                    fitWidth = w;
                    continue;
                }
                if (fitEnd < 0) {
                    if (breakWords) {
                        qsizetype c = start + 1;
                        while (c < e && widthOf(start, c + 1) <= width) ++c;
                        fitEnd = next = c;
                    } else {
                        fitEnd = next = e;
                        fitWidth = w;
                    }
                }
                break;
            }
            if (fitEnd < 0) fitEnd = next = end;
            qsizetype shown = fitEnd;
            while (shown > start && text_[shown - 1] == QLatin1Char(' ')) --shown;
            add(start, shown - start, fitWidth);
            start = next;
            while (start < end && text_[start] == QLatin1Char(' ')) ++start;
            if (start < end && full()) {
                takeRest();
                return false;
            }
        } while (start < end);
        return true;
    }

    const QString& text_;
    int underlineAt_;
    const QFontMetrics& fm_;
    bool expandTabs_;
    int tab_;
    std::size_t maxLines_ = 0;
    bool restOnLast_ = false;
    std::vector<TextLine> lines_;
};

}  // namespace

QString TextWithoutPrefixes(const QString& Text)
{
    int underlineAt = -1;
    return stripPrefixes(Text, underlineAt);
}

int Canvas::DrawText(const QString& text, Rect& r, unsigned flags)
{
    if (!mapped()) return drawTextDevice(text, r, flags);
    Rect d = LogicalToDevice(r);
    const int result = drawTextDevice(text, d, flags);
    if (flags & DT_CALCRECT) {
        // The measured box grows from the top-left corner the caller gave.
        const Rect l = DeviceToLogical(d);
        r.Right = r.Left + (l.Right - l.Left);
        r.Bottom = r.Top + (l.Bottom - l.Top);
    }
    return mapMode_ == MM_LOMETRIC ? DeviceToLogicalLength(result) : result;
}

int Canvas::drawTextDevice(const QString& input, Rect& r, unsigned flags)
{
    const QFont f = CurrentQFont();
    const QFontMetrics& fm = metrics();
    const bool singleLine = flags & DT_SINGLELINE;
    const bool expandTabs = flags & DT_EXPANDTABS;
    const int lineHeight = fm.height() + ((flags & DT_EXTERNALLEADING) ? std::max(0, fm.leading()) : 0);

    int underlineAt = -1;
    QString text = (flags & DT_NOPREFIX) ? input : stripPrefixes(input, underlineAt);
    // the tab stops, measured only for a text that has tabs to expand
    const int tab = expandTabs && text.contains(QLatin1Char('\t')) ? std::max(1, 8 * fm.averageCharWidth()) : 1;
    std::vector<TextLine> lines;
    if (singleLine) {
        for (qsizetype i = text.size() - 1; i >= 0; --i)
            if (text[i] == QLatin1Char('\r') || text[i] == QLatin1Char('\n')) {
                text.remove(i, 1);
                if (underlineAt > i) --underlineAt;
            }
        lines = LineSplitter(text, underlineAt, fm, expandTabs, tab).whole();
    } else {
        // An edit control shows no partly visible last line. With an ellipsis,
        // the last line shown takes the rest of the text, to be cut with the mark.
        const bool wrap = (flags & DT_WORDBREAK) && r.Width() > 0;
        const bool wholeLines = (flags & DT_EDITCONTROL) && !(flags & DT_CALCRECT);
        const std::size_t shown = wholeLines ? std::size_t(std::max(1, r.Height() / std::max(1, lineHeight))) : 0;
        lines = LineSplitter(text, underlineAt, fm, expandTabs, tab)
                    .split(wrap, flags & DT_EDITCONTROL, r.Width(), shown, flags & DT_END_ELLIPSIS);
    }

    // Ellipsis at the end of lines that do not fit.
    if (flags & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) {
        for (auto& l : lines)
            if (l.width > r.Width()) {
                l.text = fm.elidedText(l.text, Qt::ElideRight, std::max(0, r.Width()));
                if (l.underlineAt >= l.text.size() - 1) l.underlineAt = -1;
                // within the box: its width is wanted only to place or measure it
                l.width = (flags & (DT_CENTER | DT_RIGHT | DT_CALCRECT)) ? fm.horizontalAdvance(l.text) : r.Width();
            }
    }

    int maxWidth = 0;
    for (const auto& l : lines) maxWidth = std::max(maxWidth, l.width);
    const int total = int(lines.size()) * lineHeight;

    if (flags & DT_CALCRECT) {
        r.Right = r.Left + maxWidth;
        r.Bottom = r.Top + total;
        return total;
    }

    int y = r.Top;
    if (singleLine) {
        if (flags & DT_VCENTER)
            y = r.Top + (r.Height() - lineHeight) / 2;
        else if (flags & DT_BOTTOM)
            y = r.Bottom - lineHeight;
    }
    const int result = (singleLine && (flags & (DT_VCENTER | DT_BOTTOM))) ? y + total - r.Top : total;
    if (!painter_) return result;

    painter_->save();
    painter_->setFont(f);
    if (!(flags & DT_NOCLIP)) painter_->setClipRect(r.ToQRect(), hasClip_ ? Qt::IntersectClip : Qt::ReplaceClip);
    const bool opaque = TextBackgroundOpaque();
    for (const auto& l : lines) {
        int x = r.Left;
        if (flags & DT_CENTER)
            x = r.Left + (r.Width() - l.width) / 2;
        else if (flags & DT_RIGHT)
            x = r.Right - l.width;
        if (expandTabs && l.text.contains(QLatin1Char('\t'))) {
            // Draw the pieces between tabs at their stops.
            int px = 0;
            const QStringList parts = l.text.split(QLatin1Char('\t'));
            for (qsizetype i = 0; i < parts.size(); ++i) {
                drawTextLine(x + px, y, parts[i], -1, fm, opaque);
                px += fm.horizontalAdvance(parts[i]);
                if (i + 1 < parts.size()) px = (px / tab + 1) * tab;
            }
        } else {
            drawTextLine(x, y, l.text, l.underlineAt, fm, opaque);
        }
        y += lineHeight;
    }
    painter_->restore();
    return result;
}

// ---------------------------------------------------------------- paths

void Canvas::BeginPath()
{
    path_.emplace();
    path_->moveTo(dev(penPos_));
    pathOpen_ = true;
}

void Canvas::CloseFigure()
{
    if (pathOpen_) path_->closeSubpath();
}

void Canvas::EndPath() { pathOpen_ = false; }

void Canvas::AbortPath()
{
    pathOpen_ = false;
    path_.reset();
}

void Canvas::drawPath(bool stroke, bool fill)
{
    if (!path_ || pathOpen_) return;
    if (painter_) {
        painter_->save();
        if (fill)
            applyBrush();
        else
            painter_->setBrush(Qt::NoBrush);
        if (stroke)
            applyPen(true);
        else
            painter_->setPen(Qt::NoPen);
        painter_->drawPath(*path_);
        painter_->restore();
    }
    path_.reset();
}

void Canvas::StrokePath() { drawPath(true, false); }
void Canvas::FillPath() { drawPath(false, true); }
void Canvas::StrokeAndFillPath() { drawPath(true, true); }

void Canvas::SelectClipPath()
{
    if (!path_ || pathOpen_) return;
    clipPath_ = *path_;
    hasClip_ = true;
    clip_ = Rect::FromQRect(path_->boundingRect().toAlignedRect());
    if (painter_) painter_->setClipPath(*clipPath_);
    path_.reset();
}

// ---------------------------------------------------------------- clipping

void Canvas::SetClipRect(const Rect& logical)
{
    const Rect r = mapped() ? LogicalToDevice(logical) : logical;
    hasClip_ = true;
    clip_ = r;
    clipPath_.reset();
    if (painter_) painter_->setClipRect(r.ToQRect());
}

void Canvas::ClearClipRect()
{
    hasClip_ = false;
    clip_ = {};
    clipPath_.reset();
    if (painter_) painter_->setClipping(false);
}

}  // namespace platform
