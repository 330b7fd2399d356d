// Writes small GIF files for the picture tests: a 4-colour palette (red,
// green, blue, white), each frame a solid rectangle of one colour with its own
// position, size and delay. The LZW stream restarts with a clear code every
// two pixels, so every code stays 3 bits wide.
#pragma once

#include <QByteArray>

#include <vector>

namespace giffixture {

enum Colour { Red = 0, Green = 1, Blue = 2, White = 3 };

struct Frame {
    int Left = 0, Top = 0, Width = 1, Height = 1;
    int Delay = 10;  // hundredths of a second
    Colour Fill = Red;
};

inline void put16(QByteArray& b, int v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}

inline QByteArray pixelData(int count, Colour fill)
{
    QByteArray out;
    unsigned acc = 0;
    int bits = 0;
    QByteArray stream;
    auto emitCode = [&](unsigned code) {
        acc |= code << bits;
        bits += 3;
        while (bits >= 8) {
            stream.append(char(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    };
    for (int i = 0; i < count; ++i) {
        if (i % 2 == 0)
            emitCode(4);  // clear
        emitCode(unsigned(fill));
    }
    emitCode(5);  // end of information
    if (bits > 0)
        stream.append(char(acc & 0xFF));
    out.append(char(2));  // minimum code size
    for (int at = 0; at < stream.size(); at += 255) {
        const int n = std::min<int>(255, int(stream.size()) - at);
        out.append(char(n));
        out.append(stream.mid(at, n));
    }
    out.append(char(0));
    return out;
}

inline QByteArray makeGif(int width, int height, const std::vector<Frame>& frames)
{
    QByteArray b("GIF89a");
    put16(b, width);
    put16(b, height);
    b.append(char(0xF1));  // global colour table of 4 entries
    b.append(char(0));
    b.append(char(0));
    const unsigned char palette[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    b.append(reinterpret_cast<const char*>(palette), sizeof palette);
    if (frames.size() > 1) {
        b.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16);
        put16(b, 0);
        b.append(char(0));
    }
    for (const Frame& f : frames) {
        b.append("\x21\xF9\x04", 3);
        b.append(char(0x04));  // leave the frame in place
        put16(b, f.Delay);
        b.append(char(0));
        b.append(char(0));
        b.append(',');
        put16(b, f.Left);
        put16(b, f.Top);
        put16(b, f.Width);
        put16(b, f.Height);
        b.append(char(0));
        b.append(pixelData(f.Width * f.Height, f.Fill));
    }
    b.append(char(0x3B));
    return b;
}

}  // namespace giffixture
