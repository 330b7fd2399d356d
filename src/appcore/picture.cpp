#include "appcore/picture.h"

#include "platform/wholefile.h"

#include <QFileInfo>
#include <QPainter>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <jpeglib.h>
}

namespace {

constexpr qint64 kMaxPictureFileBytes = 256ll * 1024 * 1024;

// libjpeg reports through these; both jump back to the call that set `jump`.
struct ReturningErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void jumpBack(j_common_ptr info)
{
    auto* err = reinterpret_cast<ReturningErrorManager*>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

void onErrorExit(j_common_ptr info) { jumpBack(info); }

// Level -1 is a warning (corrupt data, premature end of file): taken as an
// error so that a damaged picture is refused instead of shown half grey.
// Trace messages (level >= 0) are dropped.
void onMessage(j_common_ptr info, int level)
{
    if (level < 0)
        jumpBack(info);
}

void useReturningErrors(ReturningErrorManager& err, jpeg_common_struct* info)
{
    info->err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onErrorExit;
    err.pub.emit_message = onMessage;
    err.message[0] = '\0';
}

struct RawPicture {
    unsigned char* pixels = nullptr;  // malloc'ed, `components` bytes a pixel
    int width = 0;
    int height = 0;
    int components = 0;  // 3 (RGB) or 4 (CMYK as Adobe writes it: inverted)
    char message[JMSG_LENGTH_MAX] = {};
};

// False when a picture of w x h pixels is within the limits; else true, with
// the reason in `message` (JMSG_LENGTH_MAX bytes).
bool tooLarge(qint64 w, qint64 h, char* message)
{
    if (platform::PictureSizeAllowed(w, h))
        return false;
    std::snprintf(message, JMSG_LENGTH_MAX, "Picture of %lldx%lld pixels is too large", static_cast<long long>(w),
                  static_cast<long long>(h));
    return true;
}

// Plain C flow: nothing with a destructor lives across the setjmp, and every
// allocation is reachable from `out` or `cinfo` when the jump comes back.
bool decodeRaw(const unsigned char* data, unsigned long size, RawPicture* out)
{
    jpeg_decompress_struct cinfo;
    ReturningErrorManager err;
    useReturningErrors(err, reinterpret_cast<jpeg_common_struct*>(&cinfo));
    out->pixels = nullptr;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(out->pixels);
        out->pixels = nullptr;
        std::memcpy(out->message, err.message, sizeof out->message);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    // Refused from the header: a progressive picture is gathered whole
    // inside jpeg_start_decompress, in memory that grows with its size.
    if (tooLarge(cinfo.image_width, cinfo.image_height, err.message))
        std::longjmp(err.jump, 1);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const qint64 w = cinfo.output_width, h = cinfo.output_height;
    if (tooLarge(w, h, err.message))
        std::longjmp(err.jump, 1);
    if (cinfo.output_components != (cmyk ? 4 : 3)) {
        std::snprintf(err.message, sizeof err.message, "Picture with %d colour components",
                      cinfo.output_components);
        std::longjmp(err.jump, 1);
    }
    out->width = static_cast<int>(w);
    out->height = static_cast<int>(h);
    out->components = cinfo.output_components;
    const size_t stride = static_cast<size_t>(w) * static_cast<size_t>(out->components);
    out->pixels = static_cast<unsigned char*>(std::malloc(stride * static_cast<size_t>(h)));
    if (!out->pixels) {
        std::snprintf(err.message, sizeof err.message, "Not enough memory for the picture");
        std::longjmp(err.jump, 1);
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out->pixels + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// Same discipline as decodeRaw. `rows` are RGB888 scanlines.
bool encodeRaw(const QImage* rgb, int quality, unsigned char** buffer, unsigned long* size)
{
    jpeg_compress_struct cinfo;
    ReturningErrorManager err;
    useReturningErrors(err, reinterpret_cast<jpeg_common_struct*>(&cinfo));
    *buffer = nullptr;
    *size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(*buffer);
        *buffer = nullptr;
        *size = 0;
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, size);
    cinfo.image_width = static_cast<JDIMENSION>(rgb->width());
    cinfo.image_height = static_cast<JDIMENSION>(rgb->height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb->constScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

bool DecodeJpeg(const QByteArray& bytes, QImage& image, QString* error)
{
    if (bytes.isEmpty()) {
        if (error)
            *error = "Empty picture";
        return false;
    }
    RawPicture raw;
    if (!decodeRaw(reinterpret_cast<const unsigned char*>(bytes.constData()),
                   static_cast<unsigned long>(bytes.size()), &raw)) {
        if (error)
            *error = QString::fromLocal8Bit(raw.message);
        return false;
    }
    QImage decoded(raw.width, raw.height, QImage::Format_RGB32);
    if (decoded.isNull()) {
        std::free(raw.pixels);
        if (error)
            *error = "Not enough memory for the picture";
        return false;
    }
    for (int y = 0; y < raw.height; ++y) {
        const unsigned char* src = raw.pixels + static_cast<size_t>(y) * raw.width * raw.components;
        auto* dst = reinterpret_cast<QRgb*>(decoded.scanLine(y));
        for (int x = 0; x < raw.width; ++x, src += raw.components) {
            if (raw.components == 3) {
                dst[x] = qRgb(src[0], src[1], src[2]);
            } else {  // inverted CMYK: each channel times K gives the colour
                const int k = src[3];
                dst[x] = qRgb(src[0] * k / 255, src[1] * k / 255, src[2] * k / 255);
            }
        }
    }
    std::free(raw.pixels);
    image = decoded;
    return true;
}

QByteArray EncodeJpeg(const QImage& image, int quality)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return {};
    QImage rgb = image;
    if (rgb.hasAlphaChannel()) {  // transparent parts turn white, as on paper
        QImage flat(rgb.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, rgb);
        painter.end();
        rgb = flat;
    }
    rgb = rgb.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull())
        return {};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (!encodeRaw(&rgb, qBound(0, quality, 100), &buffer, &size))
        return {};
    QByteArray out(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return out;
}

PictureFileKind PictureKindOf(const QString& path)
{
    const QString ending = path.right(4).toUpper();
    if (ending == ".JPG")
        return PictureFileKind::Jpeg;
    if (ending == ".BMP")
        return PictureFileKind::Bitmap;
    return PictureFileKind::Other;
}

bool LoadPictureFile(const QString& path, QImage& image, QByteArray& jpegBytes, QString& error)
{
    const PictureFileKind kind = PictureKindOf(path);
    if (kind == PictureFileKind::Other) {
        error = "Not a .jpg or .bmp file";
        return false;
    }
    QByteArray bytes;
    switch (platform::ReadWholeFile(path, kMaxPictureFileBytes, bytes, error)) {
    case platform::WholeFile::Read: break;
    case platform::WholeFile::TooLarge: error = "The file is too large"; return false;
    case platform::WholeFile::Failed: return false;
    }
    if (kind == PictureFileKind::Jpeg) {
        QImage decoded;
        if (!DecodeJpeg(bytes, decoded, &error))
            return false;
        image = decoded;
        jpegBytes = bytes;
        return true;
    }
    QImage bitmap;
    if (!DecodeBitmap(bytes, bitmap, &error))
        return false;
    image = bitmap;
    jpegBytes.clear();
    return true;
}

bool DecodeBitmap(const QByteArray& bytes, QImage& image, QString* error)
{
    auto fail = [error](const char* why) {
        if (error)
            *error = why;
        return false;
    };
    qint64 width = 0, height = 0;
    if (!platform::BitmapHeaderSize(bytes, width, height))
        return fail("Not a readable bitmap");
    if (width <= 0 || height <= 0)
        return fail("Not a readable bitmap");
    if (!platform::PictureSizeAllowed(width, height))
        return fail("The picture is too large");
    QImage decoded;
    if (!decoded.loadFromData(bytes, "BMP") || decoded.width() <= 0 || decoded.height() <= 0)
        return fail("Not a readable bitmap");
    image = decoded;
    return true;
}
