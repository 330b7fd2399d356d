// The largest picture the program takes from a file, a stored record or a
// stream: readers check a picture's declared size against these limits before
// they allocate its pixels.
#pragma once

#include <QtGlobal>

namespace platform {

constexpr qint64 kMaxPicturePixels = 100'000'000;
constexpr int kMaxPictureSide = 30'000;

// True when a picture of w x h pixels may be decoded (both sides positive).
constexpr bool PictureSizeAllowed(qint64 w, qint64 h)
{
    return w > 0 && h > 0 && w <= kMaxPictureSide && h <= kMaxPictureSide && w * h <= kMaxPicturePixels;
}

}  // namespace platform
