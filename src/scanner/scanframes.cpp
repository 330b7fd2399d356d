#include "scanner/scanframes.h"

#include "platform/picturelimits.h"

#include <cstring>

namespace {

int samplesOf(FrameFormat f) { return f == FrameFormat::Rgb ? 3 : 1; }

// Bit per colour frame; 0 for grey and RGB.
int colourBit(FrameFormat f)
{
    switch (f) {
    case FrameFormat::Red: return 1;
    case FrameFormat::Green: return 2;
    case FrameFormat::Blue: return 4;
    default: return 0;
    }
}

}  // namespace

FrameError FrameAssembler::fail(FrameError e)
{
    failed_ = true;
    inFrame_ = false;
    complete_ = false;
    return e;
}

FrameError FrameAssembler::BeginFrame(const FrameParameters& p)
{
    if (failed_ || inFrame_ || complete_) return fail(FrameError::Invalid);
    if (p.format < 0 || p.format > 4) return fail(FrameError::Invalid);
    const auto format = static_cast<FrameFormat>(p.format);
    const int samples = samplesOf(format);
    if (p.depth != 1 && p.depth != 8 && p.depth != 16) return fail(FrameError::Invalid);
    if (p.depth == 1 && format != FrameFormat::Gray) return fail(FrameError::Invalid);
    if (p.pixelsPerLine <= 0 || p.bytesPerLine <= 0 || p.lines == 0 || p.lines < -1)
        return fail(FrameError::Invalid);
    if (!platform::PictureSizeAllowed(p.pixelsPerLine, p.lines > 0 ? p.lines : 1)) return fail(FrameError::TooLarge);
    const qint64 used = (p.pixelsPerLine * samples * p.depth + 7) / 8;
    // a row is at least its samples and at most a little padding beyond them
    if (p.bytesPerLine < used || p.bytesPerLine > used * 4 + 64) return fail(FrameError::Invalid);

    const int bit = colourBit(format);
    const int channels = bit ? 3 : samples;
    if (channels_ == 0) {
        channels_ = channels;
        width_ = p.pixelsPerLine;
        oneBit_ = p.depth == 1;
        rowsKnown_ = p.lines > 0;
        rows_ = rowsKnown_ ? p.lines : 0;
        if (rowsKnown_) pixels_ = QByteArray(width_ * rows_ * channels_, '\0');
    } else {
        // only the colours of a three-pass scan follow a first frame
        if (!bit || channels != channels_ || (seenColours_ & bit) || p.pixelsPerLine != width_)
            return fail(FrameError::Invalid);
        if (p.lines > 0 && p.lines != rows_) return fail(FrameError::Invalid);
    }
    seenColours_ |= bit;
    frame_ = p;
    usedBytes_ = used;
    row_ = QByteArray(p.bytesPerLine, '\0');
    rowFill_ = 0;
    rowInFrame_ = 0;
    inFrame_ = true;
    return FrameError::None;
}

FrameError FrameAssembler::Add(const uchar* data, qint64 size)
{
    if (!inFrame_ || size < 0 || (size > 0 && !data)) return fail(FrameError::Invalid);
    while (size > 0) {
        const qint64 take = std::min(size, frame_.bytesPerLine - rowFill_);
        std::memcpy(row_.data() + rowFill_, data, take);
        rowFill_ += take;
        data += take;
        size -= take;
        if (rowFill_ < frame_.bytesPerLine) break;
        rowFill_ = 0;
        // a row beyond the announced (or, for later colours, the counted) rows
        const bool firstUnknown = !rowsKnown_ && framesDone_ == 0;
        if (!firstUnknown && rowInFrame_ >= rows_) return fail(FrameError::Invalid);
        if (firstUnknown) {
            if (!platform::PictureSizeAllowed(width_, rows_ + 1)) return fail(FrameError::TooLarge);
            ++rows_;
            pixels_.append(QByteArray(width_ * channels_, '\0'));
        }
        convertRow();
        ++rowInFrame_;
    }
    return FrameError::None;
}

void FrameAssembler::convertRow()
{
    const auto format = static_cast<FrameFormat>(frame_.format);
    const int samples = samplesOf(format);
    const int first = format == FrameFormat::Red ? 0 : format == FrameFormat::Green ? 1
                    : format == FrameFormat::Blue ? 2 : 0;
    const auto* in = reinterpret_cast<const uchar*>(row_.constData());
    auto* out = reinterpret_cast<uchar*>(pixels_.data()) + rowInFrame_ * width_ * channels_;
    for (qint64 x = 0; x < width_; ++x) {
        for (int s = 0; s < samples; ++s) {
            const qint64 i = x * samples + s;
            uchar v;
            if (frame_.depth == 1) {
                v = (in[i / 8] >> (7 - i % 8)) & 1 ? 0 : 255;
            } else if (frame_.depth == 8) {
                v = in[i];
            } else {
                quint16 w;
                std::memcpy(&w, in + i * 2, 2);
                v = static_cast<uchar>(w >> 8);
            }
            out[x * channels_ + first + s] = v;
        }
    }
}

FrameError FrameAssembler::EndFrame()
{
    if (!inFrame_) return fail(FrameError::Invalid);
    if (rowFill_ != 0 || rowInFrame_ == 0 || rowInFrame_ < rows_) return fail(FrameError::Truncated);
    inFrame_ = false;
    ++framesDone_;
    const auto format = static_cast<FrameFormat>(frame_.format);
    if (format == FrameFormat::Gray || format == FrameFormat::Rgb) {
        complete_ = true;
    } else if (seenColours_ == 7) {
        complete_ = true;
    } else if (frame_.lastFrame) {
        return fail(FrameError::Truncated);  // a colour never came
    }
    rowsKnown_ = true;  // later colours must bring as many rows as the first
    return FrameError::None;
}

QImage FrameAssembler::Picture() const
{
    if (!complete_ || failed_) return {};
    QImage image(int(width_), int(rows_), channels_ == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (image.isNull()) return {};
    const qint64 stride = width_ * channels_;
    for (qint64 y = 0; y < rows_; ++y)
        std::memcpy(image.scanLine(int(y)), pixels_.constData() + y * stride, stride);
    if (oneBit_) return image.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    return image;
}

int FrameAssembler::Percent() const
{
    if (complete_) return 100;
    if (!rowsKnown_ || rows_ == 0) return -1;
    const int frames = channels_ == 3 && seenColours_ ? 3 : 1;
    const qint64 done = qint64(framesDone_) * rows_ + (inFrame_ ? rowInFrame_ : 0);
    return int(done * 100 / (qint64(frames) * rows_));
}
