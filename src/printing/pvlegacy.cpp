#include "printing/pvlegacy.h"

#include "platform/picturelimits.h"

#include <QBuffer>
#include <array>
#include <charconv>
#include <cstring>

namespace printing {

void TPvValueList::AddPvBrush(const TPvBrush& brush)
{
    AddIntVal(20.0L, brush.Color);
    AddIntVal(20.01L, brush.Style);
}

void TPvValueList::AddPvFont(const TPvFont& font)
{
    AddStrVal(30.0L, font.Name);
    AddIntVal(30.01L, font.Size);
    AddStrVal(30.02L, FontStyleToString(font.Style));
    AddIntVal(30.03L, font.Color);
}

void TPvValueList::AddPvPen(const TPvPen& pen)
{
    AddIntVal(40.0L, pen.Color);
    AddIntVal(40.01L, pen.Style);
    AddIntVal(40.02L, pen.Width);
}

void TPvValueList::GetPvBrush(TPvBrush& brush) const
{
    brush.Color = GetIntValue(20.0L);
    brush.Style = ClampOrdinal(GetIntValue(20.01L), kPvBrushStyleMax);
}

void TPvValueList::GetPvFont(TPvFont& font) const
{
    font.Angle = 0;
    font.Name = QString::fromUtf8(GetStrValue(30.0L));
    font.Size = GetIntValue(30.01L);
    font.Style = FontStringToStyle(GetStrValue(30.02L));
    font.Color = GetIntValue(30.03L);
}

void TPvValueList::GetPvPen(TPvPen& pen) const
{
    pen.Color = GetIntValue(40.0L);
    pen.Style = ClampOrdinal(GetIntValue(40.01L), kPvPenStyleMax);
    pen.Width = GetIntValue(40.02L);
    pen.Mode = kPvPenModeCopy;
}

namespace Pvlegacy {

namespace {

// Runs a reader that throws on bad bytes and puts the stream back where it
// was when it does, so that a failed read takes nothing from the stream.
template <typename F> auto Restoring(ByteStream& stream, F read)
{
    const qint64 start = stream.Position();
    try {
        return read();
    } catch (...) {
        stream.Seek(start);
        throw;
    }
}

}  // namespace

void BrushToStream(ByteStream& stream, const TPvBrush& brush)
{
    IntToStream(stream, brush.Color);
    ByteToStream(stream, brush.Style);
}

void BrushFromStream(ByteStream& stream, TPvBrush& brush)
{
    brush = Restoring(stream, [&] {
        TPvBrush b;
        b.Color = IntFromStream(stream);
        b.Style = ClampOrdinal(ByteFromStream(stream), kPvBrushStyleMax);
        return b;
    });
}

void PenToStream(ByteStream& stream, const TPvPen& pen)
{
    IntToStream(stream, pen.Color);
    ByteToStream(stream, pen.Style);
    IntToStream(stream, pen.Width);
}

void PenFromStream(ByteStream& stream, TPvPen& pen)
{
    pen = Restoring(stream, [&] {
        TPvPen p;
        p.Color = IntFromStream(stream);
        p.Style = ClampOrdinal(ByteFromStream(stream), kPvPenStyleMax);
        p.Width = IntFromStream(stream);
        p.Mode = kPvPenModeCopy;
        return p;
    });
}

void FontToStream(ByteStream& stream, const TPvFont& font)
{
    StrToStream(stream, font.Name.toUtf8());
    IntToStream(stream, font.Size);
    IntToStream(stream, font.Color);
    ByteToStream(stream, font.Style & 0x0F);
}

void FontFromStream(ByteStream& stream, TPvFont& font)
{
    const std::uint8_t charset = font.Charset;
    font = Restoring(stream, [&] {
        TPvFont f;
        f.Name = QString::fromUtf8(StrFromStream(stream));
        f.Size = IntFromStream(stream);
        f.Color = IntFromStream(stream);
        f.Style = ByteFromStream(stream) & 0x0F;
        return f;
    });
    font.Charset = charset;
}

void BitmapToStream(ByteStream& stream, const QImage& bitmap)
{
    stream.Write(BitmapToString(bitmap));
}

QImage BitmapFromStream(ByteStream& stream)
{
    // The file size (UInt32 at offset 2) bounds the bytes the header is read from.
    constexpr int kFileHeader = 14;
    const QByteArray head = stream.Peek(std::min<qint64>(kFileHeader + 40, stream.Remaining()));
    qint64 width = 0, height = 0;
    if (!platform::BitmapHeaderSize(head, width, height))
        throw StreamReadError("Stream read error: not a bitmap");
    const auto* h = reinterpret_cast<const unsigned char*>(head.constData());
    const qint64 fileSize = qint64(h[2]) | qint64(h[3]) << 8 | qint64(h[4]) << 16 | qint64(h[5]) << 24;
    if (fileSize < kFileHeader + 12 || fileSize > stream.Remaining())
        throw StreamReadError("Stream read error: bitmap size past the end");
    platform::BitmapHeaderSize(head.left(fileSize), width, height);
    if (!platform::PictureSizeAllowed(width, height))
        throw StreamReadError("Stream read error: bitmap header unsound or picture too large");
    QImage image;
    if (!image.loadFromData(stream.Peek(fileSize), "BMP") || image.isNull())
        throw StreamReadError("Stream read error: bitmap cannot be decoded");
    stream.Seek(stream.Position() + fileSize);
    return image;
}

void MetaFileToStream(ByteStream& stream, const QByteArray& metafile)
{
    StrToStream(stream, metafile);
}

QByteArray MetafileFromStream(ByteStream& stream)
{
    return StrFromStream(stream);
}

QByteArray PolyPointsToString(const QVector<QPoint>& points)
{
    QByteArray text;
    for (const QPoint& p : points) {
        if (!text.isEmpty())
            text += ',';
        text += QByteArray::number(p.x()) + ',' + QByteArray::number(p.y());
    }
    return text;
}

QVector<QPoint> PolyPointsFromString(const QByteArray& text)
{
    QVector<QPoint> points;
    if (text.trimmed().isEmpty())
        return points;
    const QList<QByteArray> items = text.split(',');
    std::int32_t x = 0;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QByteArray item = items[i].trimmed();
        std::int32_t v = 0;
        const char* end = item.constData() + item.size();
        const auto [ptr, ec] = std::from_chars(item.constData(), end, v);
        if (item.isEmpty() || ec != std::errc() || ptr != end)
            throw StreamReadError("Stream read error: point list holds a non-number");
        if (i % 2 == 0)
            x = v;
        else
            points.append(QPoint(x, v));
    }
    return points;
}

QByteArray StreamToString(const ByteStream* stream)
{
    return stream ? stream->Bytes() : QByteArray();
}

void StringToStream(const QByteArray& text, ByteStream* stream)
{
    if (stream)
        stream->Write(text);
}

QByteArray BitmapToString(const QImage& bitmap)
{
    return platform::BitmapFileBytes(bitmap);
}

std::optional<QImage> BitmapFromString(const QByteArray& text)
{
    if (text.isEmpty())
        return std::nullopt;
    ByteStream stream(text);
    return BitmapFromStream(stream);
}

QByteArray MetafileToString(const QByteArray& metafile)
{
    ByteStream stream;
    MetaFileToStream(stream, metafile);
    return stream.Bytes();
}

std::optional<QByteArray> MetafileFromString(const QByteArray& text)
{
    if (text.isEmpty())
        return std::nullopt;
    ByteStream stream(text);
    return MetafileFromStream(stream);
}

}  // namespace Pvlegacy
}  // namespace printing
