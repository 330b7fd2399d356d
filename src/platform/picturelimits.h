// The largest picture the program takes from a file, a stored record or a
// stream: readers check a picture's declared size against these limits before
// they allocate its pixels.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QtGlobal>

#include <cstdint>

namespace platform {

constexpr qint64 kMaxPicturePixels = 100'000'000;
constexpr int kMaxPictureSide = 30'000;

// True when a picture of w x h pixels may be decoded (both sides positive).
constexpr bool PictureSizeAllowed(qint64 w, qint64 h)
{
    return w > 0 && h > 0 && w <= kMaxPictureSide && h <= kMaxPictureSide && w * h <= kMaxPicturePixels;
}

// The pixel size the header of a BMP file claims. `head` is the file's first
// bytes: "BM", UInt32 file size, 4 reserved bytes, UInt32 offset of the
// pixels; then the info header: UInt32 size, and either Int32 width and height
// (40 bytes and more; a negative height means rows top-down) or UInt16 width
// and height (12 bytes). False without "BM" and a whole file header; width and
// height are 0 for an info header of another kind or cut short.
inline bool BitmapHeaderSize(const QByteArray& head, qint64& width, qint64& height)
{
    const auto* b = reinterpret_cast<const unsigned char*>(head.constData());
    const auto u16 = [b](int at) { return qint64(b[at] | b[at + 1] << 8); };
    const auto i32 = [&](int at) { return qint64(std::int32_t(quint32(u16(at)) | quint32(u16(at + 2)) << 16)); };
    width = height = 0;
    if (head.size() < 14 + 12 || b[0] != 'B' || b[1] != 'M') return false;
    const qint64 infoSize = quint32(i32(14));
    if (infoSize == 12) {
        width = u16(18);
        height = u16(20);
    } else if (infoSize >= 40 && head.size() >= 14 + 40) {
        width = i32(18);
        height = i32(22) < 0 ? -i32(22) : i32(22);
    }
    return true;
}

// The picture as the bytes of a BMP file; empty for a null picture or when it
// cannot be encoded.
inline QByteArray BitmapFileBytes(const QImage& picture)
{
    QByteArray bytes;
    if (picture.isNull()) return bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    if (!picture.save(&out, "BMP")) bytes.clear();
    return bytes;
}

}  // namespace platform
