// The 60-byte font record that layouts store beside each printed item's colour.
// Layout (little-endian): lfHeight, lfWidth, lfEscapement, lfOrientation,
// lfWeight as int32 at offsets 0, 4, 8, 12, 16; then one byte each for italic
// (20), underline (21), strike-out (22), charset (23), out precision (24), clip
// precision (25), quality (26), pitch-and-family (27); then a 32-byte face name
// (28..59), NUL-terminated, in the program's 8-bit text.
//
// The record keeps all 60 bytes as read: fields are read from and written into
// the bytes, so a record that is loaded and saved without a change (bytes after
// the face name's NUL, odd precisions and charsets included) is written back
// byte for byte.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace platform {

class LogFont {
public:
    static constexpr int kSize = 60;

    // A 12-point "Arial" at 96 dpi, everything else default (zero).
    LogFont();
    // The record in stored bytes; nullopt when the size is not 60.
    static std::optional<LogFont> FromBytes(const QByteArray& bytes);
    static std::optional<LogFont> FromBytes(const void* data, std::size_t size);
    QByteArray ToBytes() const;
    const std::array<std::uint8_t, kSize>& Bytes() const { return bytes_; }

    std::int32_t Height() const { return i32(0); }
    std::int32_t Width() const { return i32(4); }
    std::int32_t Escapement() const { return i32(8); }
    std::int32_t Orientation() const { return i32(12); }
    std::int32_t Weight() const { return i32(16); }
    std::uint8_t Italic() const { return bytes_[20]; }
    std::uint8_t Underline() const { return bytes_[21]; }
    std::uint8_t StrikeOut() const { return bytes_[22]; }
    std::uint8_t CharSet() const { return bytes_[23]; }
    std::uint8_t OutPrecision() const { return bytes_[24]; }
    std::uint8_t ClipPrecision() const { return bytes_[25]; }
    std::uint8_t Quality() const { return bytes_[26]; }
    std::uint8_t PitchAndFamily() const { return bytes_[27]; }
    // The face name up to its NUL (at most 31 characters are used); 8-bit text
    // that is not UTF-8 is read as Latin-1.
    QString FaceName() const;

    void SetHeight(std::int32_t v) { set32(0, v); }
    void SetWidth(std::int32_t v) { set32(4, v); }
    void SetEscapement(std::int32_t v) { set32(8, v); }
    void SetOrientation(std::int32_t v) { set32(12, v); }
    void SetWeight(std::int32_t v) { set32(16, v); }
    void SetItalic(std::uint8_t v) { bytes_[20] = v; }
    void SetUnderline(std::uint8_t v) { bytes_[21] = v; }
    void SetStrikeOut(std::uint8_t v) { bytes_[22] = v; }
    void SetCharSet(std::uint8_t v) { bytes_[23] = v; }
    void SetOutPrecision(std::uint8_t v) { bytes_[24] = v; }
    void SetClipPrecision(std::uint8_t v) { bytes_[25] = v; }
    void SetQuality(std::uint8_t v) { bytes_[26] = v; }
    void SetPitchAndFamily(std::uint8_t v) { bytes_[27] = v; }
    // Writes the name as UTF-8, cut to 31 bytes on a character boundary, and
    // clears the rest of the field.
    void SetFaceName(const QString& name);

    // The font to draw with on a device of `deviceDpi`. lfHeight counts
    // pixels at 96 dpi, the screen the layouts are made on (negative: em
    // height, positive: cell height); the QFont gets the matching pixel size on
    // that device. Weight, italic, underline, strike-out and the face name
    // (through the mapping table of MapFaceName) are applied; the escapement
    // travels through Font::FromLogFont, and the canvas turns the text.
    QFont ToQFont(int deviceDpi = 96) const;
    // The record for a font the user picked, with lfHeight in pixels at `dpi`
    // (12 pt at 96 dpi gives -16), weight, italic, underline, strike-out and the
    // face name; the other fields are zero, charset DEFAULT_CHARSET (1).
    static LogFont FromQFont(const QFont& font, int dpi = 96);

    friend bool operator==(const LogFont&, const LogFont&) = default;

private:
    std::int32_t i32(int at) const;
    void set32(int at, std::int32_t v);
    std::array<std::uint8_t, kSize> bytes_{};
};

}  // namespace platform
