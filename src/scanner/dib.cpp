#include "scanner/dib.h"

#include <QtEndian>

#include <cmath>

namespace {

void put32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void put16(QByteArray& out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

}  // namespace

QByteArray DeviceIndependentBitmap(const QImage& source, int dotsPerInch)
{
    if (source.isNull() || source.width() <= 0 || source.height() <= 0) return {};
    QImage image;
    int bits = 24;
    if (source.format() == QImage::Format_Mono || source.format() == QImage::Format_MonoLSB) {
        image = source.convertToFormat(QImage::Format_Mono);
        if (image.colorCount() != 2) image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        bits = 1;
    } else if (source.format() == QImage::Format_Grayscale8) {
        image = source;
        bits = 8;
    } else {
        image = source.convertToFormat(QImage::Format_BGR888);
    }
    const qint64 width = image.width(), height = image.height();
    const qint64 stride = (width * bits + 31) / 32 * 4;
    const qint64 used = (width * bits + 7) / 8;
    const int colours = bits == 1 ? 2 : bits == 8 ? 256 : 0;
    const quint32 perMetre = dotsPerInch > 0 ? quint32(std::lround(dotsPerInch / 0.0254)) : 0;

    QByteArray out;
    out.reserve(40 + colours * 4 + stride * height);
    put32(out, 40);
    put32(out, quint32(width));
    put32(out, quint32(height));
    put16(out, 1);
    put16(out, quint16(bits));
    put32(out, 0);
    put32(out, quint32(stride * height));
    put32(out, perMetre);
    put32(out, perMetre);
    put32(out, quint32(colours));
    put32(out, 0);
    for (int i = 0; i < colours; ++i) {
        const QRgb c = bits == 1 ? image.color(i) : qRgb(i, i, i);
        const char entry[4] = {char(qBlue(c)), char(qGreen(c)), char(qRed(c)), 0};
        out.append(entry, 4);
    }
    const QByteArray padding(stride - used, '\0');
    for (qint64 y = height - 1; y >= 0; --y) {
        out.append(reinterpret_cast<const char*>(image.constScanLine(int(y))), used);
        out.append(padding);
    }
    return out;
}
