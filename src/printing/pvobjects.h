// The drawing objects of a preview page: coordinates in hundredths of a
// millimetre and their own pen, brush and font; each draws itself on the page's
// screen picture and prints itself scaled into its place on a printed sheet.
#pragma once

#include "platform/canvas.h"
#include "printing/pvtypes.h"
#include "printing/tokenize.h"

#include <QByteArray>
#include <QImage>
#include <QPicture>
#include <QPoint>
#include <QVector>
#include <cstdint>
#include <optional>

class PvDeviceMap;
class PvValueSource;
namespace printing {
class ByteStream;
class TPvExtValueList;
class TPvValueList;
}  // namespace printing

class TPvBaseObject {
public:
    explicit TPvBaseObject(std::int32_t typeId = 0) : TypeId(typeId) {}
    virtual ~TPvBaseObject();
    TPvBaseObject(const TPvBaseObject&) = delete;
    TPvBaseObject& operator=(const TPvBaseObject&) = delete;

    std::int32_t TypeId = 0;
    std::int32_t X = 0, Y = 0;
    std::int32_t Page = 0;  // 1-based; set by whoever creates the object

    // On the page's picture at `pixelsPerInch`; `offset` (device pixels) is
    // subtracted from every coordinate.
    void Draw(platform::Canvas& canvas, int pixelsPerInch, QPoint offset, const TPvPageContext& page) const;
    // On a printer's painter: scaled by `scale` into `pageRect` (device
    // pixels on the sheet), less the printer's `offset`.
    void Print(platform::Canvas& canvas, long double scale, const platform::Rect& pageRect, QPoint offset,
               int pixelsPerInch, const TPvPageContext& page) const;

    // Stored forms (pvobjectstreams.cpp): one keyed record of the current
    // document generation, and readers of the three generations; the oldest
    // takes the version of the document being read. A reader that throws
    // printing::StreamReadError leaves the object as it was.
    virtual void SaveToStream(printing::ByteStream& stream);
    void LoadFromValues(const printing::TPvValueList& list);
    void LoadFromValuesNew(const printing::TPvExtValueList& list);
    virtual void LoadFromStreamOld(printing::ByteStream& stream, long double fileVersion);

protected:
    virtual void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const = 0;
    // The object's record entries, its own before its parent's.
    virtual void AddEntries(printing::TPvExtValueList& list) const;
    virtual void ReadValues(const PvValueSource& values);
};

class TPvTextObject : public TPvBaseObject {
public:
    void LoadFromStreamOld(printing::ByteStream& stream, long double fileVersion) override;
    TPvTextObject() : TPvBaseObject(1) {}
    TPvBrush Brush;  // the text background
    QString Text;    // may hold page tokens
    TPvFont Font;    // its Angle turns the text
    // The angle travels in Font; this does nothing.
    void SetTextAngle(long double) {}
    // The box an unturned text covers when printed at full size on a device
    // of `pixelsPerInch`, in hundredths of a millimetre from the page's
    // corner: placed, in the font and with the text the print draws.
    TPvRect PrintedBox(int pixelsPerInch, const TPvPageContext& page) const;

protected:
    void AddEntries(printing::TPvExtValueList& list) const override;
    void ReadValues(const PvValueSource& values) override;
    explicit TPvTextObject(std::int32_t typeId) : TPvBaseObject(typeId) {}
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;

private:
    // Puts the brush and font into the canvas; the device point the text
    // starts at, and the text with its page tokens replaced.
    QString place(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page, QPoint& at) const;
};

class TPvTextBoxObject : public TPvTextObject {
public:
    void LoadFromStreamOld(printing::ByteStream& stream, long double fileVersion) override;
    TPvTextBoxObject() : TPvTextObject(6) {}
    std::uint8_t Alignment = 0;  // 0 left, 1 right, 2 centre
    TPvVertAlignment VertAlignment = gmTop;
    std::int32_t X2 = 0, Y2 = 0;
    TPvPen Pen;  // the frame
    void SetBounds(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);

protected:
    void AddEntries(printing::TPvExtValueList& list) const override;
    void ReadValues(const PvValueSource& values) override;
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

class TPvLineObject : public TPvBaseObject {
public:
    void LoadFromStreamOld(printing::ByteStream& stream, long double fileVersion) override;
    TPvLineObject() : TPvBaseObject(2) {}
    TPvPen Pen;
    std::int32_t X2 = 0, Y2 = 0;
    TPvLineType LineType = PvLine;  // PvLineExt: Pen.Width in hundredths of a millimetre
    void SetBounds(long double x1, long double y1, long double x2, long double y2);

protected:
    void AddEntries(printing::TPvExtValueList& list) const override;
    void ReadValues(const PvValueSource& values) override;
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

class TPvSimpleShape : public TPvBaseObject {
public:
    void LoadFromStreamOld(printing::ByteStream& stream, long double fileVersion) override;
    std::int32_t X2 = 0, Y2 = 0;
    TPvBrush Brush;
    TPvPen Pen;
    void SetBounds(long double x1, long double y1, long double x2, long double y2);

protected:
    void AddEntries(printing::TPvExtValueList& list) const override;
    void ReadValues(const PvValueSource& values) override;
    explicit TPvSimpleShape(std::int32_t typeId) : TPvBaseObject(typeId) {}
    // Pen and brush into the canvas; the mapped bounding box.
    platform::Rect prepare(platform::Canvas& canvas, const PvDeviceMap& map) const;
};

class TPvEllipseShape : public TPvSimpleShape {
public:
    TPvEllipseShape() : TPvSimpleShape(3) {}

protected:
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

class TPvRectangleShape : public TPvSimpleShape {
public:
    TPvRectangleShape() : TPvSimpleShape(4) {}

protected:
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

class TPvRoundRectShape : public TPvSimpleShape {
public:
    TPvRoundRectShape() : TPvSimpleShape(5) {}
    std::int32_t CornerWidth = 0, CornerHeight = 0;  // the corner ellipse

protected:
    void AddEntries(printing::TPvExtValueList& list) const override;
    void ReadValues(const PvValueSource& values) override;
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

class TPvFillRectShape : public TPvSimpleShape {
public:
    TPvFillRectShape() : TPvSimpleShape(21) {}

protected:
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

// Arc, chord and pie: the bounding box, then the start (X3, Y3) and end
// (X4, Y4) points, counter-clockwise from start to end.
class TPvComplexShape : public TPvSimpleShape {
public:
    void LoadFromStreamOld(printing::ByteStream& stream, long double fileVersion) override;
    std::int32_t X3 = 0, Y3 = 0, X4 = 0, Y4 = 0;
    using TPvSimpleShape::SetBounds;
    void SetBounds(long double x1, long double y1, long double x2, long double y2, long double x3, long double y3,
                   long double x4, long double y4);

protected:
    void AddEntries(printing::TPvExtValueList& list) const override;
    void ReadValues(const PvValueSource& values) override;
    enum class Kind { Arc, Chord, Pie };
    TPvComplexShape(std::int32_t typeId, Kind kind) : TPvSimpleShape(typeId), kind_(kind) {}
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;

private:
    Kind kind_;
};

class TPvArcShape : public TPvComplexShape {
public:
    TPvArcShape() : TPvComplexShape(10, Kind::Arc) {}
};

class TPvChordShape : public TPvComplexShape {
public:
    TPvChordShape() : TPvComplexShape(11, Kind::Chord) {}
};

class TPvPieShape : public TPvComplexShape {
public:
    TPvPieShape() : TPvComplexShape(12, Kind::Pie) {}
};

class TPvPolyBaseObject : public TPvBaseObject {
public:
    TPvBrush Brush;
    TPvPen Pen;
    QVector<QPoint> Points;  // hundredths of a millimetre

protected:
    void AddEntries(printing::TPvExtValueList& list) const override;
    void ReadValues(const PvValueSource& values) override;
    explicit TPvPolyBaseObject(std::int32_t typeId) : TPvBaseObject(typeId) {}
    // Pen and brush into the canvas; the mapped points.
    QVector<QPoint> prepare(platform::Canvas& canvas, const PvDeviceMap& map) const;
};

class TPvPolygonObject : public TPvPolyBaseObject {
public:
    void LoadFromStreamOld(printing::ByteStream& stream, long double fileVersion) override;
    TPvPolygonObject() : TPvPolyBaseObject(7) {}

protected:
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

class TPvPolyLineObject : public TPvPolyBaseObject {
public:
    void LoadFromStreamOld(printing::ByteStream& stream, long double fileVersion) override;
    TPvPolyLineObject() : TPvPolyBaseObject(8) {}

protected:
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

// The first point, then three points per Bézier piece.
class TPvPolyBezierObject : public TPvPolyBaseObject {
public:
    TPvPolyBezierObject() : TPvPolyBaseObject(13) {}

protected:
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

// From the pen position to the first point, then through all points.
class TPvPolyLineToObject : public TPvPolyBaseObject {
public:
    void SaveToStream(printing::ByteStream&) override;  // writes no record
    TPvPolyLineToObject() : TPvPolyBaseObject(19) {}

protected:
    void ReadValues(const PvValueSource& values) override;
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

// From the pen position to the first point, then Bézier pieces through the others.
class TPvPolyBezierToObject : public TPvPolyBaseObject {
public:
    TPvPolyBezierToObject() : TPvPolyBaseObject(20) {}

protected:
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

// A picture stretched into (X, Y)-(X2, Y2): a bitmap kept as the bytes of a
// BMP file, or a metafile. A metafile recorded in this run (SetMetafile) is
// drawn and printed as recorded and stored in a document as a bitmap of its
// box. Metafile bytes read from a document (another program's picture, or Qt's
// recorded form, which nothing here reads with checks) are kept as they came,
// saved back unchanged and never played: they draw nothing.
class TPvGraphicObject : public TPvBaseObject {
public:
    void SaveToStream(printing::ByteStream& stream) override;
    void LoadFromStreamOld(printing::ByteStream& stream, long double fileVersion) override;
    // Just the picture in its stream form, as GraphicType says.
    void LoadGraphicFromStream(printing::ByteStream& stream);
    TPvGraphicObject() : TPvBaseObject(9) {}
    bool DrawAsBitmap = false;
    std::int32_t X2 = 0, Y2 = 0;
    QByteArray BitmapStream;            // BMP file bytes; empty when the picture is no bitmap
    std::optional<QByteArray> Metafile; // metafile bytes read from a document; never played
    TPvGraphicType GraphicType = gtMetafile;

    void SetBounds(long double x1, long double y1, long double x2, long double y2);
    // Keeps the bitmap as BMP bytes and makes the object a bitmap.
    void SetBitmap(const QImage& bitmap);
    // The bitmap read back from the stream; a null image when there is none.
    QImage GetBitmap() const;
    // Keeps a picture recorded in this run as the metafile.
    void SetMetafile(const QPicture& picture);
    // The picture SetMetafile kept; none otherwise.
    std::optional<QPicture> GetMetafile() const { return recorded_; }
    // A picture read from a document, in place of what the object held.
    void TakeStoredPicture(TPvGraphicType type, std::optional<QImage> bitmap, std::optional<QByteArray> metafile);

    // Side of the bitmap a DrawAsBitmap picture is drawn through, at most.
    static constexpr int kMaxDrawBitmapSide = 10000;
    // A recorded picture is stored as a bitmap of its box at this resolution,
    // its longer side held to kMaxStoredSide pixels.
    static constexpr int kStoredPixelsPerInch = 300;
    static constexpr int kMaxStoredSide = 3000;

protected:
    void AddEntries(printing::TPvExtValueList& list) const override;
    void ReadValues(const PvValueSource& values) override;
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;

private:
    // The recorded picture as the bitmap a document stores.
    QImage recordedAsBitmap() const;
    std::optional<QPicture> recorded_;
    mutable QImage bitmapCache_;
    mutable QByteArray bitmapCacheKey_;
};

class TPvMovetoObject : public TPvBaseObject {
public:
    TPvMovetoObject() : TPvBaseObject(0) {}
    std::int32_t PointX = 0, PointY = 0;
    TPvPen Pen;

protected:
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

class TPvLinetoObject : public TPvBaseObject {
public:
    void SaveToStream(printing::ByteStream&) override;  // writes no record
    TPvLinetoObject() : TPvBaseObject(0) {}
    std::int32_t PointX = 0, PointY = 0;
    TPvPen Pen;

protected:
    void ReadValues(const PvValueSource& values) override;
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

// Opens a path bracket: the move, line, close-figure and end-path objects
// after it form one path.
class TPvBeginPath : public TPvSimpleShape {
public:
    TPvBeginPath() : TPvSimpleShape(16) {}

protected:
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

class TPvCloseFigure : public TPvBaseObject {
public:
    TPvCloseFigure() : TPvBaseObject(18) {}

protected:
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};

// Closes the path: with a fill bitmap the path clips the bitmap stretched into
// (X, Y)-(X2, Y2); without one the path is outlined and filled in FillColor.
class TPvEndPath : public TPvBaseObject {
public:
    TPvEndPath() : TPvBaseObject(17), FillBitmap(QImage()) {}
    std::optional<QImage> FillBitmap;  // an empty bitmap at creation
    std::int32_t X2 = 0, Y2 = 0;
    platform::TColor FillColor = 0;

protected:
    void Render(platform::Canvas& canvas, const PvDeviceMap& map, const TPvPageContext& page) const override;
};
