// The older document generations: the keyed list of the middle generation and
// the plain value forms of the oldest, which the drawing objects' oldest
// readers use too, plus the text forms that carry points and pictures inside
// string entries of the keyed generations.
//
// Middle-generation records have the framing of pvstream.h with tags 1000 to
// 1002 only (any other tag ends the record). Brush, font and pen are flat
// entries of the list itself, so a list holds at most one of each:
//   brush  20.0 Color, 20.01 Style
//   font   30.0 Name (string), 30.01 Size, 30.02 style letters (string), 30.03 Color
//   pen    40.0 Color, 40.01 Style, 40.02 Width (no mode)
//
// Plain value forms of the oldest generation (little-endian):
//   integer Int32; Boolean 1 byte; extended 10 bytes; string Int32 n + n bytes
//   brush    Int32 Color, 1 byte Style
//   pen      Int32 Color, 1 byte Style, Int32 Width
//   font     string Name, Int32 Size, Int32 Color, 1 byte styles (bit 0 bold,
//            1 italic, 2 underline, 3 strikeout)
//   bitmap   a BMP file image; its length is the file size in its header
//   metafile Int32 size n, then the n bytes of the picture
// Text forms: a point list is "x1,y1,x2,y2,..." in decimal; a bitmap as text is
// the BMP file image's bytes; a metafile as text is its stream form above.
//
// Readers in both generations give a pen that stores no mode the copy mode and
// leave the caller's font Charset alone; stored styles past the last known
// one are held to it. Every reader throws StreamReadError on bytes that run
// out or do not form the value, and leaves its output untouched then.
#pragma once

#include "printing/pvstream.h"

#include <QImage>
#include <QPoint>
#include <QVector>
#include <optional>

namespace printing {

using TBaseFileRec = PvKey;
using TExtFileRec = TPvExtFileRec;
using TIntFileRec = TPvIntFileRec;
using TStrFileRec = TPvStrFileRec;

class TPvValueList : public KeyedValueList {
public:
    void AddPvBrush(const TPvBrush& brush);
    void AddPvFont(const TPvFont& font);
    void AddPvPen(const TPvPen& pen);
    // The fixed keys above; missing entries give 0 or empty.
    void GetPvBrush(TPvBrush& brush) const;
    void GetPvFont(TPvFont& font) const;
    void GetPvPen(TPvPen& pen) const;
};

namespace Pvlegacy {

using printing::BoolFromStream;
using printing::BoolToStream;
using printing::FloatFromStream;
using printing::FloatToStream;
using printing::FontStringToStyle;
using printing::FontStyleToString;
using printing::IntFromStream;
using printing::IntToStream;
using printing::StrFromStream;
using printing::StrToStream;

void BrushToStream(ByteStream& stream, const TPvBrush& brush);
void BrushFromStream(ByteStream& stream, TPvBrush& brush);
void PenToStream(ByteStream& stream, const TPvPen& pen);
void PenFromStream(ByteStream& stream, TPvPen& pen);
void FontToStream(ByteStream& stream, const TPvFont& font);
void FontFromStream(ByteStream& stream, TPvFont& font);

// A null image writes nothing. Reading checks the header's file size against
// the bytes left and the picture's sides against the picture limits before
// anything is decoded.
void BitmapToStream(ByteStream& stream, const QImage& bitmap);
QImage BitmapFromStream(ByteStream& stream);
// A metafile is carried as its bytes; what they hold is the caller's concern.
void MetaFileToStream(ByteStream& stream, const QByteArray& metafile);
QByteArray MetafileFromStream(ByteStream& stream);

// Throws StreamReadError for an item that is not a whole number in the Int32
// range; an odd trailing number is dropped.
QByteArray PolyPointsToString(const QVector<QPoint>& points);
QVector<QPoint> PolyPointsFromString(const QByteArray& text);

// The whole stream from position 0; empty for no stream.
QByteArray StreamToString(const ByteStream* stream);
// Writes the bytes at the stream's position; nothing for no stream.
void StringToStream(const QByteArray& text, ByteStream* stream);

QByteArray BitmapToString(const QImage& bitmap);
// No bitmap or metafile for an empty text.
std::optional<QImage> BitmapFromString(const QByteArray& text);
QByteArray MetafileToString(const QByteArray& metafile);
std::optional<QByteArray> MetafileFromString(const QByteArray& text);

}  // namespace Pvlegacy
}  // namespace printing
