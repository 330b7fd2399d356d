// Card pictures: the JPEG bytes stored on a contact and the picture files
// (.jpg, .bmp) a user loads. JPEG goes through libjpeg with an error manager
// that returns to the caller, so a corrupt, truncated or oversized picture is
// reported as a failure and never ends the process. Decoding fails on the
// first warning of the decoder as well (a truncated file is only a warning to
// libjpeg), so a picture either decodes whole or not at all.
#pragma once

#include "platform/picturelimits.h"

#include <QByteArray>
#include <QImage>
#include <QString>

// Decodes JPEG bytes into an RGB image. False when the bytes are not one
// sound JPEG picture within the picture limits: `image` is then left as it
// was and `error` (when given) says why.
bool DecodeJpeg(const QByteArray& bytes, QImage& image, QString* error = nullptr);

// Decodes the bytes of a BMP file. Its header (either info-header kind) is
// checked against the picture limits before any pixel is decoded. False, with
// `image` left as it was and `error` (when given) saying why, for bytes that
// are not one sound bitmap within the limits.
bool DecodeBitmap(const QByteArray& bytes, QImage& image, QString* error = nullptr);

// The bytes of a JPEG file holding the image (quality 0..100). A null image
// or one of zero width or height gives no bytes; so does a failed encoding.
QByteArray EncodeJpeg(const QImage& image, int quality = 90);

// What a picture file is taken for: by the last four characters of its name
// in upper case, ".JPG" or ".BMP"; any other ending is Other.
enum class PictureFileKind { Jpeg, Bitmap, Other };
PictureFileKind PictureKindOf(const QString& path);

// Reads a ".jpg" or ".bmp" file. On success `image` holds the picture and,
// for a JPEG file, `jpegBytes` the file's bytes (empty for a bitmap). False,
// with both left as they were, when the file cannot be read, is not a sound
// picture of its kind, or has another ending; `error` then says why.
bool LoadPictureFile(const QString& path, QImage& image, QByteArray& jpegBytes, QString& error);
