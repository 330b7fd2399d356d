// Puts the frames a scanner delivers together into one picture, checking every
// size the device reports: a frame whose parameters make no sense, that is
// larger than the program's picture limits, that brings more or fewer bytes
// than it announced, or that does not fit the frames before it is refused with
// an error, never trusted. The caller feeds BeginFrame, Add (any chunking) and
// EndFrame per frame until Complete(), then takes Picture().
//
// Frame layout (as scanner backends deliver it): `lines` rows of
// `bytesPerLine` bytes each (lines -1: unknown, rows come until the frame
// ends); of each row the first ceil(pixelsPerLine * samples * depth / 8) bytes
// count, the rest is padding. Samples are 1 bit (grey only, most significant
// bit first, a set bit is black), 8 bits, or 16 bits in the host's byte order.
// A grey or RGB frame (RGB samples interleaved R, G, B) is the whole picture;
// red, green and blue frames of one sample each make one picture together, in
// any order.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QtGlobal>

// The frame kinds, numbered as the scanner library numbers them.
enum class FrameFormat { Gray = 0, Rgb = 1, Red = 2, Green = 3, Blue = 4 };

struct FrameParameters {
    int format = 0;        // a FrameFormat value; anything else is refused
    bool lastFrame = true;
    qint64 bytesPerLine = 0;
    qint64 pixelsPerLine = 0;
    qint64 lines = 0;      // -1: unknown
    int depth = 8;
};

enum class FrameError {
    None,
    Invalid,    // parameters or a frame sequence that make no sense, or more rows than announced
    TooLarge,   // beyond the program's picture limits (platform/picturelimits.h)
    Truncated,  // the frame ended before its rows did
};

class FrameAssembler {
public:
    FrameError BeginFrame(const FrameParameters& p);
    FrameError Add(const uchar* data, qint64 size);
    FrameError EndFrame();
    // The last frame has ended and every colour of a three-pass scan came.
    bool Complete() const { return complete_; }
    // Grey (Format_Grayscale8; Format_Mono for a 1-bit scan) or colour
    // (Format_RGB888). Null until Complete().
    QImage Picture() const;
    // How much of the picture has come, 0..100; -1 while the length is unknown.
    int Percent() const;

private:
    FrameError fail(FrameError e);
    void convertRow();

    FrameParameters frame_;
    bool inFrame_ = false;
    bool complete_ = false;
    bool failed_ = false;
    int channels_ = 0;        // of the picture: 1 grey, 3 colour; 0 before the first frame
    int seenColours_ = 0;     // bit per red, green, blue frame
    bool oneBit_ = false;
    qint64 width_ = 0;
    qint64 rows_ = 0;         // rows of the picture (known, or counted by the first frame)
    bool rowsKnown_ = false;
    qint64 rowInFrame_ = 0;
    qint64 usedBytes_ = 0;    // bytes of a row that count
    QByteArray row_;          // the row being filled
    qint64 rowFill_ = 0;
    QByteArray pixels_;       // width_ * channels_ bytes a row
    int framesDone_ = 0;
};
