// Stored forms of the drawing objects.
//
// Current generation: one keyed record per object (pvstream.h). Each class adds
// its entries before its parent's, so a record holds the subclass entries, then
// the parent's, then the five base entries: 10.0 = 10 (a drawing object),
// 10.01 type id, 10.02 Page, 10.03 X, 10.04 Y. Per class, in the order added:
//   text       1003.0 brush, 1004.0 font, 50.0 text
//   text box   10.05 X2, 10.06 Y2, 51.0 Alignment, 51.01 VertAlignment, 1005.0 pen; then the text's
//   line       10.05 X2, 10.06 Y2, 11.0 LineType, 1005.0 pen
//   shapes     10.05 X2, 10.06 Y2, 1003.0 brush, 1005.0 pen (begin-path too)
//   round rect 10.07 CornerWidth, 10.08 CornerHeight; then the shape's
//   arc, chord, pie  10.07 X3, 10.08 Y3, 10.09 X4, 10.1 Y4, 1003.0 brush, 1005.0 pen; then the shape's
//   poly       1003.0 brush, 1005.0 pen, 60.0 last point index (-1 for none), 63.0 points as text
//   graphic    10.05 X2, 10.06 Y2, 10.5 GraphicType, 72.0 DrawAsBitmap, then 70.0 the
//              bitmap as text (a bitmap) or 71.0 the metafile as text (a metafile)
//              (a picture recorded in this run is written as a bitmap of its box)
//   move-to, end-path, close-figure: the base entries only
//   line-to and polyline-to: no record at all.
// Reading takes the points from 63.0 (60.0 is not trusted) and holds stored
// ordinals to their enumerations. The middle generation has the same keys
// without defaults and one flat brush, font and pen per record; its text box
// has no 51.01 and its graphic no 72.0.
//
// Oldest generation, plain values in this order (pvlegacy.h):
//   text      X, Y, brush, font, text, and Page from version 2.09 on (else Page 1)
//   text box  X, Y, X2, Y2, brush, font, pen, text, Page
//   line      X, Y, X2, Y2, pen
//   shapes    X, Y, X2, Y2, brush, pen (a round rectangle keeps its corners)
//   arc, chord, pie  X, Y, X2, Y2, X3, Y3, X4, Y4, brush, pen
//   polygon   point count n, n pairs x, y, brush, pen
//   polyline  point count n, n pairs x, y, pen
//   graphic   X, Y, X2, Y2, 1 byte GraphicType, then a bitmap or a metafile
//   others    nothing
//
// Every reader gathers what it reads first and changes the object only when
// all of it was sound, so an object whose record is damaged is left as it was.
#include "printing/pvlegacy.h"
#include "printing/pvobjects.h"

using namespace printing;

// The values of one record of either keyed generation, read the way that
// generation reads them.
class PvValueSource {
public:
    explicit PvValueSource(const TPvExtValueList& list) : ext_(&list) {}
    explicit PvValueSource(const TPvValueList& list) : mid_(&list) {}

    bool Middle() const { return mid_ != nullptr; }
    // The middle generation has no defaults: a missing integer is 0.
    std::int32_t Int(PvKey key, std::int32_t def = 0) const
    {
        return ext_ ? ext_->GetIntValueDef(key, def) : mid_->GetIntValue(key);
    }
    QByteArray Str(PvKey key) const { return ext_ ? ext_->GetStrValue(key) : mid_->GetStrValue(key); }
    template <typename E> E Enum(PvKey key) const { return PvEnumFromOrdinal<E>(Int(key)); }
    void Brush(TPvBrush& brush) const { ext_ ? ext_->GetPvBrush(1003.0L, brush) : mid_->GetPvBrush(brush); }
    void Font(TPvFont& font) const { ext_ ? ext_->GetPvFont(1004.0L, font) : mid_->GetPvFont(font); }
    void Pen(TPvPen& pen) const { ext_ ? ext_->GetPvPen(1005.0L, pen) : mid_->GetPvPen(pen); }
    bool Bool(PvKey key) const { return ext_->GetBoolValue(key); }

private:
    const TPvExtValueList* ext_ = nullptr;
    const TPvValueList* mid_ = nullptr;
};

namespace {

constexpr std::int32_t kDrawingObjectRecord = 10;
constexpr int kMaxAlignment = 2;  // 0 left, 1 right, 2 centre

QPoint PointFromStream(ByteStream& stream)
{
    const std::int32_t x = IntFromStream(stream);
    return QPoint(x, IntFromStream(stream));
}

QVector<QPoint> PointsFromStream(ByteStream& stream)
{
    QVector<QPoint> points(CheckedCount(stream, IntFromStream(stream), 8));
    for (QPoint& p : points)
        p = PointFromStream(stream);
    return points;
}

// The bounding box (X, Y)-(X2, Y2) of the oldest generation.
struct Box {
    QPoint topLeft, bottomRight;
    explicit Box(ByteStream& stream) : topLeft(PointFromStream(stream)), bottomRight(PointFromStream(stream)) {}
    template <typename T> void MoveInto(T& object) const
    {
        object.X = topLeft.x();
        object.Y = topLeft.y();
        object.X2 = bottomRight.x();
        object.Y2 = bottomRight.y();
    }
};

// The second corner or end point, X2 and Y2, of the keyed generations.
void AddCorner(TPvExtValueList& list, std::int32_t x2, std::int32_t y2)
{
    list.AddIntVal(10.05L, x2);
    list.AddIntVal(10.06L, y2);
}

template <typename T> void ReadCorner(const PvValueSource& values, T& object)
{
    object.X2 = values.Int(10.05L);
    object.Y2 = values.Int(10.06L);
}

// The text, brush and font (and a text box's pen) of the oldest generation.
struct TextParts {
    TPvBrush brush;
    TPvFont font;
    TPvPen pen;
    QString text;
    TextParts(ByteStream& stream, const TPvFont& current, bool withPen) : font(current)
    {
        Pvlegacy::BrushFromStream(stream, brush);
        Pvlegacy::FontFromStream(stream, font);
        if (withPen)
            Pvlegacy::PenFromStream(stream, pen);
        text = QString::fromUtf8(StrFromStream(stream));
    }
    void MoveInto(TPvTextObject& object)
    {
        object.Brush = brush;
        object.Font = std::move(font);
        object.Text = std::move(text);
    }
};

// The brush and pen that end a shape of the oldest generation.
struct BrushAndPen {
    TPvBrush brush;
    TPvPen pen;
    explicit BrushAndPen(ByteStream& stream)
    {
        Pvlegacy::BrushFromStream(stream, brush);
        Pvlegacy::PenFromStream(stream, pen);
    }
};

// The picture of a graphic object, read whole before the object takes it.
struct Picture {
    TPvGraphicType type = gtMetafile;
    std::optional<QImage> bitmap;
    std::optional<QByteArray> metafile;

    void MoveInto(TPvGraphicObject& object) { object.TakeStoredPicture(type, std::move(bitmap), std::move(metafile)); }
};

// The picture in its stream form: a BMP file image, or Int32 size and the metafile's bytes.
Picture PictureFromStream(ByteStream& stream, TPvGraphicType type)
{
    Picture p;
    p.type = type;
    if (type == gtBitmap)
        p.bitmap = Pvlegacy::BitmapFromStream(stream);
    else
        p.metafile = Pvlegacy::MetafileFromStream(stream);
    return p;
}

}  // namespace

// ---- base ----

void TPvBaseObject::SaveToStream(ByteStream& stream)
{
    TPvExtValueList list;
    AddEntries(list);
    list.SaveToStream(stream);
}

void TPvBaseObject::AddEntries(TPvExtValueList& list) const
{
    list.AddIntVal(10.0L, kDrawingObjectRecord);
    list.AddIntVal(10.01L, TypeId);
    list.AddIntVal(10.02L, Page);
    list.AddIntVal(10.03L, X);
    list.AddIntVal(10.04L, Y);
}

void TPvBaseObject::LoadFromValues(const TPvValueList& list)
{
    ReadValues(PvValueSource(list));
}

void TPvBaseObject::LoadFromValuesNew(const TPvExtValueList& list)
{
    ReadValues(PvValueSource(list));
}

void TPvBaseObject::ReadValues(const PvValueSource& values)
{
    Page = values.Int(10.02L, 1);
    X = values.Int(10.03L);
    Y = values.Int(10.04L);
}

void TPvBaseObject::LoadFromStreamOld(ByteStream&, long double) {}

// ---- text ----

void TPvTextObject::AddEntries(TPvExtValueList& list) const
{
    list.AddPvBrush(1003.0L, Brush);
    list.AddPvFont(1004.0L, Font);
    list.AddStrVal(50.0L, Text);
    TPvBaseObject::AddEntries(list);
}

void TPvTextObject::ReadValues(const PvValueSource& values)
{
    TPvBaseObject::ReadValues(values);
    values.Brush(Brush);
    values.Font(Font);
    Text = QString::fromUtf8(values.Str(50.0L));
}

void TPvTextObject::LoadFromStreamOld(ByteStream& stream, long double fileVersion)
{
    const QPoint p = PointFromStream(stream);
    TextParts parts(stream, Font, false);
    Page = fileVersion >= 2.09L ? IntFromStream(stream) : 1;
    X = p.x();
    Y = p.y();
    parts.MoveInto(*this);
}

void TPvTextBoxObject::AddEntries(TPvExtValueList& list) const
{
    AddCorner(list, X2, Y2);
    list.AddIntVal(51.0L, Alignment);
    list.AddIntVal(51.01L, VertAlignment);
    list.AddPvPen(1005.0L, Pen);
    TPvTextObject::AddEntries(list);
}

void TPvTextBoxObject::ReadValues(const PvValueSource& values)
{
    TPvTextObject::ReadValues(values);
    ReadCorner(values, *this);
    Alignment = ClampOrdinal(values.Int(51.0L), kMaxAlignment);
    if (!values.Middle())
        VertAlignment = values.Enum<TPvVertAlignment>(51.01L);
    values.Pen(Pen);
}

void TPvTextBoxObject::LoadFromStreamOld(ByteStream& stream, long double)
{
    const Box box(stream);
    TextParts parts(stream, Font, true);
    Page = IntFromStream(stream);
    box.MoveInto(*this);
    Pen = parts.pen;
    parts.MoveInto(*this);
}

// ---- line ----

void TPvLineObject::AddEntries(TPvExtValueList& list) const
{
    AddCorner(list, X2, Y2);
    list.AddIntVal(11.0L, LineType);
    list.AddPvPen(1005.0L, Pen);
    TPvBaseObject::AddEntries(list);
}

void TPvLineObject::ReadValues(const PvValueSource& values)
{
    TPvBaseObject::ReadValues(values);
    ReadCorner(values, *this);
    LineType = values.Enum<TPvLineType>(11.0L);
    values.Pen(Pen);
}

void TPvLineObject::LoadFromStreamOld(ByteStream& stream, long double)
{
    const Box box(stream);
    TPvPen pen;
    Pvlegacy::PenFromStream(stream, pen);
    box.MoveInto(*this);
    Pen = pen;
}

// ---- shapes ----

void TPvSimpleShape::AddEntries(TPvExtValueList& list) const
{
    AddCorner(list, X2, Y2);
    list.AddPvBrush(1003.0L, Brush);
    list.AddPvPen(1005.0L, Pen);
    TPvBaseObject::AddEntries(list);
}

void TPvSimpleShape::ReadValues(const PvValueSource& values)
{
    TPvBaseObject::ReadValues(values);
    ReadCorner(values, *this);
    values.Brush(Brush);
    values.Pen(Pen);
}

void TPvSimpleShape::LoadFromStreamOld(ByteStream& stream, long double)
{
    const Box box(stream);
    const BrushAndPen tools(stream);
    box.MoveInto(*this);
    Brush = tools.brush;
    Pen = tools.pen;
}

void TPvRoundRectShape::AddEntries(TPvExtValueList& list) const
{
    list.AddIntVal(10.07L, CornerWidth);
    list.AddIntVal(10.08L, CornerHeight);
    TPvSimpleShape::AddEntries(list);
}

void TPvRoundRectShape::ReadValues(const PvValueSource& values)
{
    TPvSimpleShape::ReadValues(values);
    CornerWidth = values.Int(10.07L);
    CornerHeight = values.Int(10.08L);
}

void TPvComplexShape::AddEntries(TPvExtValueList& list) const
{
    list.AddIntVal(10.07L, X3);
    list.AddIntVal(10.08L, Y3);
    list.AddIntVal(10.09L, X4);
    list.AddIntVal(10.1L, Y4);
    list.AddPvBrush(1003.0L, Brush);
    list.AddPvPen(1005.0L, Pen);
    TPvSimpleShape::AddEntries(list);
}

void TPvComplexShape::ReadValues(const PvValueSource& values)
{
    TPvSimpleShape::ReadValues(values);
    X3 = values.Int(10.07L);
    Y3 = values.Int(10.08L);
    X4 = values.Int(10.09L);
    Y4 = values.Int(10.1L);
}

void TPvComplexShape::LoadFromStreamOld(ByteStream& stream, long double)
{
    const Box box(stream);
    const Box ends(stream);
    const BrushAndPen tools(stream);
    Brush = tools.brush;
    Pen = tools.pen;
    box.MoveInto(*this);
    X3 = ends.topLeft.x();
    Y3 = ends.topLeft.y();
    X4 = ends.bottomRight.x();
    Y4 = ends.bottomRight.y();
}

// ---- poly objects ----

void TPvPolyBaseObject::AddEntries(TPvExtValueList& list) const
{
    list.AddPvBrush(1003.0L, Brush);
    list.AddPvPen(1005.0L, Pen);
    list.AddIntVal(60.0L, std::int32_t(Points.size()) - 1);
    list.AddStrVal(63.0L, Pvlegacy::PolyPointsToString(Points));
    TPvBaseObject::AddEntries(list);
}

void TPvPolyBaseObject::ReadValues(const PvValueSource& values)
{
    QVector<QPoint> points = Pvlegacy::PolyPointsFromString(values.Str(63.0L));
    TPvBaseObject::ReadValues(values);
    values.Brush(Brush);
    values.Pen(Pen);
    Points = std::move(points);
}

void TPvPolygonObject::LoadFromStreamOld(ByteStream& stream, long double)
{
    QVector<QPoint> points = PointsFromStream(stream);
    const BrushAndPen tools(stream);
    Points = std::move(points);
    Brush = tools.brush;
    Pen = tools.pen;
}

void TPvPolyLineObject::LoadFromStreamOld(ByteStream& stream, long double)
{
    QVector<QPoint> points = PointsFromStream(stream);
    TPvPen pen;
    Pvlegacy::PenFromStream(stream, pen);
    Points = std::move(points);
    Pen = pen;
}

void TPvPolyLineToObject::SaveToStream(ByteStream&) {}

void TPvPolyLineToObject::ReadValues(const PvValueSource& values)
{
    if (!values.Middle())
        TPvPolyBaseObject::ReadValues(values);
}

// ---- graphic ----

void TPvGraphicObject::AddEntries(TPvExtValueList& list) const
{
    AddCorner(list, X2, Y2);
    // A picture recorded in this run is stored as a bitmap: documents hold no
    // recorded form that would have to be played unchecked when read back.
    const bool recorded = GraphicType != gtBitmap && recorded_;
    list.AddIntVal(10.5L, recorded ? gtBitmap : GraphicType);
    list.AddBoolVal(72.0L, DrawAsBitmap);
    if (recorded)
        list.AddStrVal(70.0L, Pvlegacy::BitmapToString(recordedAsBitmap()));
    else if (GraphicType == gtBitmap)
        list.AddStrVal(70.0L, BitmapStream);
    else
        list.AddStrVal(71.0L, Metafile ? Pvlegacy::MetafileToString(*Metafile) : QByteArray());
    TPvBaseObject::AddEntries(list);
}

void TPvGraphicObject::SaveToStream(ByteStream& stream)
{
    if (!BitmapStream.isEmpty())
        GraphicType = gtBitmap;
    else if (Metafile || recorded_)
        GraphicType = gtMetafile;
    TPvBaseObject::SaveToStream(stream);
}

void TPvGraphicObject::ReadValues(const PvValueSource& values)
{
    Picture picture;
    picture.type = values.Enum<TPvGraphicType>(10.5L);
    if (picture.type == gtBitmap)
        picture.bitmap = Pvlegacy::BitmapFromString(values.Str(70.0L));
    else
        picture.metafile = Pvlegacy::MetafileFromString(values.Str(71.0L));
    TPvBaseObject::ReadValues(values);
    ReadCorner(values, *this);
    if (!values.Middle())
        DrawAsBitmap = values.Bool(72.0L);
    picture.MoveInto(*this);
}

void TPvGraphicObject::LoadGraphicFromStream(ByteStream& stream)
{
    PictureFromStream(stream, GraphicType).MoveInto(*this);
}

void TPvGraphicObject::LoadFromStreamOld(ByteStream& stream, long double)
{
    const Box box(stream);
    Picture picture = PictureFromStream(stream, PvEnumFromOrdinal<TPvGraphicType>(ByteFromStream(stream)));
    box.MoveInto(*this);
    picture.MoveInto(*this);
}

// ---- path pieces ----

void TPvLinetoObject::SaveToStream(ByteStream&) {}

void TPvLinetoObject::ReadValues(const PvValueSource& values)
{
    if (!values.Middle())
        TPvBaseObject::ReadValues(values);
}
