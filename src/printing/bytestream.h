// A growable byte buffer with a read and write position, the stream that the
// preview documents, their keyed records and the objects' value forms are
// written to and read from. Reads never run past the end: a read that wants
// more bytes than are left throws StreamReadError and leaves the position as it was.
#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace printing {

// Raised by a read past the end of a stream and by a stream or record whose
// bytes do not form what its reader expects.
class StreamReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ByteStream {
public:
    ByteStream() = default;
    // A stream over the given bytes, positioned at 0.
    explicit ByteStream(QByteArray bytes) : bytes_(std::move(bytes)) {}

    const QByteArray& Bytes() const { return bytes_; }
    qint64 Size() const { return bytes_.size(); }
    qint64 Position() const { return pos_; }
    qint64 Remaining() const { return bytes_.size() - pos_; }
    // Positions past the end are clamped to the end.
    void Seek(qint64 pos);
    void Clear();

    // Writes at the position, overwriting and then growing the buffer.
    void Write(const void* data, qint64 size);
    void Write(const QByteArray& bytes) { Write(bytes.constData(), bytes.size()); }

    void Read(void* data, qint64 size);
    // The next n bytes; n must not be negative or more than what is left.
    QByteArray ReadBytes(qint64 n);
    // The next n bytes without moving the position.
    QByteArray Peek(qint64 n) const;

private:
    QByteArray bytes_;
    qint64 pos_ = 0;
};

// Extended reals: the 10-byte 80-bit format (64-bit significand with an
// explicit integer bit, then a 15-bit exponent and the sign), little-endian,
// which is exactly the first 10 bytes of a long double here.
static_assert(std::numeric_limits<long double>::digits == 64 && std::numeric_limits<long double>::max_exponent == 16384,
              "stored extended values need long double in the 80-bit format");
using ExtendedBytes = std::array<std::uint8_t, 10>;
ExtendedBytes EncodeExtended(long double value);
// The value of any 10 bytes: infinities and NaNs read as 0, and encodings the
// floating-point unit would refuse (unnormals) by their plain value, so that
// whatever a file holds gives a finite number.
long double DecodeExtended(const ExtendedBytes& bytes);

// Value forms on a stream: Int32; Boolean as one byte; extended as 10 bytes;
// string as Int32 length n, then n bytes. A string's length is checked
// against the bytes left before anything is taken.
void IntToStream(ByteStream& stream, std::int32_t value);
std::int32_t IntFromStream(ByteStream& stream);
void BoolToStream(ByteStream& stream, bool value);
bool BoolFromStream(ByteStream& stream);
void ByteToStream(ByteStream& stream, std::uint8_t value);
std::uint8_t ByteFromStream(ByteStream& stream);
void FloatToStream(ByteStream& stream, long double value);
long double FloatFromStream(ByteStream& stream);
void StrToStream(ByteStream& stream, const QByteArray& value);
QByteArray StrFromStream(ByteStream& stream);
// A count or length taken from a stream that must be 0 or more and, at
// `unitBytes` each, fit in the bytes left; the record is malformed otherwise.
qint64 CheckedCount(const ByteStream& stream, std::int64_t count, qint64 unitBytes);

}  // namespace printing
