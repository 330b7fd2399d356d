// Reads a device-independent bitmap block back with Qt's BMP reader, after
// the 14-byte file header the block goes without.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QtEndian>

inline QImage ReadBitmapBlock(const QByteArray& dib)
{
    if (dib.size() < 40) return {};
    QByteArray file("BM");
    file.append(QByteArray(12, '\0'));
    const quint32 palette = qFromLittleEndian<quint32>(dib.constData() + 32) * 4;
    qToLittleEndian<quint32>(quint32(14 + dib.size()), file.data() + 2);
    qToLittleEndian<quint32>(14 + 40 + palette, file.data() + 10);
    return QImage::fromData(file + dib, "BMP");
}
