#include "scanner/dib.h"

#include "platform/picturelimits.h"

#include <QtEndian>

#include <cmath>
#include <cstring>

namespace {

// The BMP writer copies the stored rows of a 1- or 8-bit picture whole: the
// bytes past each row's pixels become zeros first.
void clearRowEnds(QImage& image, int bits)
{
    const qsizetype used = (qsizetype(image.width()) * bits + 7) / 8;
    for (int y = 0; y < image.height(); ++y)
        std::memset(image.scanLine(y) + used, 0, size_t(image.bytesPerLine() - used));
}

}  // namespace

QByteArray DeviceIndependentBitmap(const QImage& source, int dotsPerInch)
{
    if (source.isNull() || source.width() <= 0 || source.height() <= 0) return {};
    QImage image;
    if (source.format() == QImage::Format_Mono || source.format() == QImage::Format_MonoLSB) {
        image = source.convertToFormat(QImage::Format_Mono);
        if (image.colorCount() != 2) image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        clearRowEnds(image, 1);
    } else if (source.format() == QImage::Format_Grayscale8) {
        image = source;
        clearRowEnds(image, 8);
    } else {
        image = source.convertToFormat(QImage::Format_BGR888);
    }
    // The BMP file's bytes after its 14-byte file header are the block, but
    // for two fields: the file takes its resolution from the picture and
    // counts every palette entry important; the block carries the scan's
    // resolution (0 when unknown) and no important colours.
    constexpr int kFileHeader = 14, kInfoHeader = 40;
    QByteArray out = platform::BitmapFileBytes(image);
    if (out.size() < kFileHeader + kInfoHeader) return {};
    out.remove(0, kFileHeader);
    const quint32 perMetre = dotsPerInch > 0 ? quint32(std::lround(dotsPerInch / 0.0254)) : 0;
    qToLittleEndian(perMetre, out.data() + 24);
    qToLittleEndian(perMetre, out.data() + 28);
    qToLittleEndian(quint32(0), out.data() + 36);
    return out;
}
