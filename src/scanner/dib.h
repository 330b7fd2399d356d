// The device-independent bitmap a scanner acquisition hands over as one block:
// a BMP image without its 14-byte file header. Layout (little-endian):
//   40-byte header: size 40 (u32), width (i32), height (i32, positive: rows
//     stored bottom-up), planes 1 (u16), bits per pixel 1, 8 or 24 (u16),
//     compression 0 = none (u32), image bytes (u32), horizontal and vertical
//     pixels per metre (i32 each), colours used 2, 256 or 0 (u32), important
//     colours 0 (u32);
//   the palette for 1 and 8 bits: one 4-byte entry (blue, green, red, 0) per colour;
//   the rows, each padded with zeros to a multiple of 4 bytes; 24-bit pixels
//     are blue, green, red.
#pragma once

#include <QByteArray>
#include <QImage>

// The picture as such a block: 1 bit for a monochrome image, 8 bits with a
// grey palette for a grey one, 24 bits otherwise. `dotsPerInch` (0: unknown)
// fills the resolution fields. Empty for a null image.
QByteArray DeviceIndependentBitmap(const QImage& image, int dotsPerInch);
