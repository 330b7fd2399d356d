// Frames as a scanner delivers them, sound and damaged: what the assembler
// makes of them, and the bitmap block written from the picture.
#include "bitmap_block.h"
#include "scanner/dib.h"
#include "scanner/scanframes.h"

#include "platform/picturelimits.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <random>

namespace {

struct Frame {
    FrameParameters p;
    QByteArray bytes;
};

// Feeds the frames in chunks of 1..`chunk` bytes; the first error, or None.
FrameError feed(FrameAssembler& a, const std::vector<Frame>& frames, std::mt19937& rng, int chunk = 7)
{
    for (const Frame& f : frames) {
        if (FrameError e = a.BeginFrame(f.p); e != FrameError::None) return e;
        for (qsizetype at = 0; at < f.bytes.size();) {
            const qsizetype n = std::min<qsizetype>(f.bytes.size() - at, 1 + rng() % chunk);
            if (FrameError e = a.Add(reinterpret_cast<const uchar*>(f.bytes.constData()) + at, n);
                e != FrameError::None)
                return e;
            at += n;
        }
        if (FrameError e = a.EndFrame(); e != FrameError::None) return e;
    }
    return FrameError::None;
}

FrameParameters params(FrameFormat format, qint64 bpl, qint64 ppl, qint64 lines, int depth = 8, bool last = true)
{
    return {int(format), last, bpl, ppl, lines, depth};
}

// A 3 x 2 colour picture as one RGB frame and as three colour frames, rows
// padded by one byte.
const uchar kRgb[2][9] = {{10, 20, 30, 40, 50, 60, 70, 80, 90}, {1, 2, 3, 4, 5, 6, 7, 8, 9}};

QByteArray rgbFrame()
{
    QByteArray out;
    for (const auto& row : kRgb) out.append(reinterpret_cast<const char*>(row), 9).append('\xEE');
    return out;
}

QByteArray colourFrame(int c)
{
    QByteArray out;
    for (const auto& row : kRgb) {
        for (int x = 0; x < 3; ++x) out.append(char(row[x * 3 + c]));
        out.append('\xEE');
    }
    return out;
}

TEST(Frames, SoundFramesMakeThePicture)
{
    std::mt19937 rng(1);
    const Frame rgb{params(FrameFormat::Rgb, 10, 3, 2), rgbFrame()};
    FrameAssembler single;
    ASSERT_EQ(feed(single, {rgb}, rng), FrameError::None);
    ASSERT_TRUE(single.Complete());
    const QImage picture = single.Picture();
    ASSERT_EQ(picture.size(), QSize(3, 2));
    EXPECT_EQ(picture.pixel(1, 0), qRgb(40, 50, 60));
    EXPECT_EQ(picture.pixel(2, 1), qRgb(7, 8, 9));

    // three passes in any order, the first of unknown length
    FrameAssembler three;
    ASSERT_EQ(feed(three, {{params(FrameFormat::Blue, 4, 3, -1, 8, false), colourFrame(2)},
                           {params(FrameFormat::Red, 4, 3, 2, 8, false), colourFrame(0)},
                           {params(FrameFormat::Green, 4, 3, -1, 8, true), colourFrame(1)}},
                   rng),
              FrameError::None);
    EXPECT_EQ(three.Picture(), picture);

    // 16 bits keep the high byte; 1 bit: a set bit is black, padding ignored
    quint16 deep[3] = {0x12ff, 0xab00, 0x7f7f};
    FrameAssembler grey16;
    ASSERT_EQ(feed(grey16, {{params(FrameFormat::Gray, 6, 3, 1, 16), QByteArray(reinterpret_cast<char*>(deep), 6)}},
                   rng),
              FrameError::None);
    const QImage g = grey16.Picture();
    EXPECT_EQ(g.format(), QImage::Format_Grayscale8);
    EXPECT_EQ(qGray(g.pixel(0, 0)), 0x12);
    EXPECT_EQ(qGray(g.pixel(1, 0)), 0xab);
    FrameAssembler mono;
    ASSERT_EQ(feed(mono, {{params(FrameFormat::Gray, 2, 10, 2, 1), QByteArray("\xA0\x40\x00\xC0", 4)}}, rng),
              FrameError::None);
    const QImage m = mono.Picture();
    EXPECT_EQ(m.format(), QImage::Format_Mono);
    EXPECT_EQ(m.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(m.pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(m.pixel(9, 0), qRgb(0, 0, 0));
    EXPECT_EQ(m.pixel(9, 1), qRgb(0, 0, 0));
    EXPECT_EQ(m.pixel(1, 1), qRgb(255, 255, 255));
}

TEST(Frames, DamagedFramesAreRefused)
{
    const QByteArray six(6, 'x');
    const struct {
        const char* what;
        std::vector<Frame> frames;
        FrameError error;
    } cases[] = {
        {"unknown kind", {{{7, true, 3, 3, 2, 8}, six}}, FrameError::Invalid},
        {"depth 7", {{params(FrameFormat::Gray, 3, 3, 2, 7), six}}, FrameError::Invalid},
        {"1-bit colour", {{params(FrameFormat::Rgb, 3, 3, 2, 1), six}}, FrameError::Invalid},
        {"row shorter than its pixels", {{params(FrameFormat::Rgb, 8, 3, 2), six}}, FrameError::Invalid},
        {"huge padding", {{params(FrameFormat::Gray, 1 << 30, 3, 2), six}}, FrameError::Invalid},
        {"no lines", {{params(FrameFormat::Gray, 3, 3, 0), {}}}, FrameError::Invalid},
        {"negative width", {{params(FrameFormat::Gray, 3, -3, 2), six}}, FrameError::Invalid},
        {"lines below -1", {{params(FrameFormat::Gray, 3, 3, -5), six}}, FrameError::Invalid},
        {"too wide", {{params(FrameFormat::Gray, platform::kMaxPictureSide + 1, platform::kMaxPictureSide + 1, 1), {}}},
         FrameError::TooLarge},
        {"too many pixels", {{params(FrameFormat::Gray, 20000, 20000, 20000), {}}}, FrameError::TooLarge},
        {"more rows than announced", {{params(FrameFormat::Gray, 3, 3, 2), six + "abc"}}, FrameError::Invalid},
        {"fewer rows", {{params(FrameFormat::Gray, 3, 3, 2), six.left(3)}}, FrameError::Truncated},
        {"half a row", {{params(FrameFormat::Gray, 3, 3, -1), six.left(4)}}, FrameError::Truncated},
        {"empty frame of unknown length", {{params(FrameFormat::Gray, 3, 3, -1), {}}}, FrameError::Truncated},
        {"a second grey frame", {{params(FrameFormat::Gray, 3, 3, 2), six}, {params(FrameFormat::Gray, 3, 3, 2), six}},
         FrameError::Invalid},
        {"red twice",
         {{params(FrameFormat::Red, 3, 3, 2, 8, false), six}, {params(FrameFormat::Red, 3, 3, 2, 8, false), six}},
         FrameError::Invalid},
        {"green of another width",
         {{params(FrameFormat::Red, 3, 3, 2, 8, false), six}, {params(FrameFormat::Green, 2, 2, 2, 8, false), six}},
         FrameError::Invalid},
        {"blue with more rows than red",
         {{params(FrameFormat::Red, 3, 3, -1, 8, false), six}, {params(FrameFormat::Blue, 3, 3, -1, 8, false), six + "abc"}},
         FrameError::Invalid},
        {"last frame before all colours",
         {{params(FrameFormat::Red, 3, 3, 2, 8, false), six}, {params(FrameFormat::Blue, 3, 3, 2, 8, true), six}},
         FrameError::Truncated},
        {"grey after a colour",
         {{params(FrameFormat::Red, 3, 3, 2, 8, false), six}, {params(FrameFormat::Gray, 3, 3, 2), six}},
         FrameError::Invalid},
    };
    std::mt19937 rng(2);
    for (const auto& c : cases) {
        FrameAssembler a;
        EXPECT_EQ(feed(a, c.frames, rng), c.error) << c.what;
        EXPECT_FALSE(a.Complete()) << c.what;
        EXPECT_TRUE(a.Picture().isNull()) << c.what;
        // nothing is taken once it has failed
        EXPECT_NE(a.BeginFrame(params(FrameFormat::Gray, 3, 3, 2)), FrameError::None) << c.what;
    }
    FrameAssembler unbegun;
    EXPECT_EQ(unbegun.Add(reinterpret_cast<const uchar*>("ab"), 2), FrameError::Invalid);
    FrameAssembler endless;  // a hand scanner that never stops stops at the picture limits
    ASSERT_EQ(endless.BeginFrame(params(FrameFormat::Gray, 1, 1, -1)), FrameError::None);
    const QByteArray block(platform::kMaxPictureSide + 1, 'x');
    EXPECT_EQ(endless.Add(reinterpret_cast<const uchar*>(block.constData()), block.size()), FrameError::TooLarge);
}

// Thousands of frames with random, often absurd, parameters and random
// lengths: each ends in an error or a picture of the size announced.
TEST(Frames, RandomFramesNeverCrash)
{
    std::mt19937 rng(3);
    const qint64 odd[] = {-2, -1, 0, 1, 2, 3, 7, 64, 1000, platform::kMaxPictureSide, platform::kMaxPictureSide + 1, 1LL << 31, -(1LL << 40)};
    auto pick = [&](qint64 small) { return rng() % 3 ? qint64(rng() % small) : odd[rng() % std::size(odd)]; };
    int pictures = 0;
    for (int round = 0; round < 5000; ++round) {
        FrameAssembler a;
        std::vector<Frame> frames;
        const int count = 1 + rng() % 4;
        for (int i = 0; i < count; ++i) {
            FrameParameters p{int(rng() % 6) - (rng() % 9 == 0), rng() % 3 != 0, pick(40), pick(12), pick(8) - 1,
                              int(std::array{1, 8, 16, 8, 3}[rng() % 5])};
            const qint64 rows = p.lines > 0 && p.lines < 50 ? p.lines : rng() % 6;
            qint64 size = p.bytesPerLine > 0 && p.bytesPerLine < 100 ? p.bytesPerLine * rows : rng() % 300;
            if (rng() % 4 == 0) size += qint64(rng() % 5) - 2;
            QByteArray bytes(std::max<qint64>(size, 0), '\0');
            for (char& b : bytes) b = char(rng());
            frames.push_back({p, bytes});
        }
        const FrameError e = feed(a, frames, rng, 1 + rng() % 50);
        if (e == FrameError::None && a.Complete()) {
            const QImage picture = a.Picture();
            ASSERT_FALSE(picture.isNull());
            EXPECT_EQ(picture.width(), frames[0].p.pixelsPerLine);
            if (frames[0].p.lines > 0) {
                EXPECT_EQ(picture.height(), frames[0].p.lines);
            }
            ++pictures;
        } else if (e != FrameError::None) {
            EXPECT_FALSE(a.Complete());
            EXPECT_TRUE(a.Picture().isNull());
        }
    }
    EXPECT_GT(pictures, 50) << "the random frames should also make sound pictures";
}

TEST(Frames, BitmapBlockKeepsEveryPixel)
{
    std::mt19937 rng(4);
    for (int width : {1, 2, 3, 5, 8, 33}) {
        QImage colour(width, 3, QImage::Format_RGB888);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x) colour.setPixel(x, y, qRgb(rng() % 256, rng() % 256, rng() % 256));
        const QImage grey = colour.convertToFormat(QImage::Format_Grayscale8);
        const QImage mono = grey.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
        for (const QImage& image : {colour, grey, mono}) {
            const QByteArray dib = DeviceIndependentBitmap(image, 300);
            const int bits = qFromLittleEndian<quint16>(dib.constData() + 14);
            EXPECT_EQ(bits, image.depth() == 1 ? 1 : image.depth() == 8 ? 8 : 24);
            EXPECT_EQ(qFromLittleEndian<quint32>(dib.constData() + 24), 11811u) << "300 dpi";
            const QImage back = ReadBitmapBlock(dib);
            ASSERT_EQ(back.size(), image.size()) << width;
            EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), image.convertToFormat(QImage::Format_RGB32)) << width;
        }
    }
    EXPECT_TRUE(DeviceIndependentBitmap(QImage(), 0).isEmpty());
}

}  // namespace
