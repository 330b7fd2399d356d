#include "printing/bytestream.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace printing {

static_assert(std::endian::native == std::endian::little, "stored values are little-endian, as is this machine");

void ByteStream::Seek(qint64 pos)
{
    pos_ = pos < 0 ? 0 : pos > Size() ? Size() : pos;
}

void ByteStream::Clear()
{
    bytes_.clear();
    pos_ = 0;
}

void ByteStream::Write(const void* data, qint64 size)
{
    if (size <= 0)
        return;
    if (pos_ + size > bytes_.size())
        bytes_.resize(pos_ + size);
    std::memcpy(bytes_.data() + pos_, data, size_t(size));
    pos_ += size;
}

void ByteStream::Read(void* data, qint64 size)
{
    if (size < 0 || size > Remaining())
        throw StreamReadError("Stream read error");
    if (size > 0)
        std::memcpy(data, bytes_.constData() + pos_, size_t(size));
    pos_ += size;
}

QByteArray ByteStream::ReadBytes(qint64 n)
{
    if (n < 0 || n > Remaining())
        throw StreamReadError("Stream read error");
    QByteArray out = bytes_.mid(pos_, n);
    pos_ += n;
    return out;
}

QByteArray ByteStream::Peek(qint64 n) const
{
    return bytes_.mid(pos_, n < 0 ? 0 : n);
}

ExtendedBytes EncodeExtended(long double value)
{
    ExtendedBytes out;
    std::memcpy(out.data(), &value, out.size());
    return out;
}

long double DecodeExtended(const ExtendedBytes& b)
{
    std::uint64_t significand;
    std::memcpy(&significand, b.data(), 8);
    const unsigned signAndExponent = b[8] | (unsigned(b[9]) << 8);
    const int exponent = int(signAndExponent & 0x7FFF);
    if (exponent == 0x7FFF)
        return 0;
    // Exponent 0 scales as 1 (denormals); the integer bit is taken as stored.
    const long double magnitude =
        std::ldexp(static_cast<long double>(significand), (exponent == 0 ? 1 : exponent) - 16383 - 63);
    return (signAndExponent & 0x8000) ? -magnitude : magnitude;
}

void IntToStream(ByteStream& stream, std::int32_t value)
{
    stream.Write(&value, 4);
}

std::int32_t IntFromStream(ByteStream& stream)
{
    std::int32_t v;
    stream.Read(&v, 4);
    return v;
}

void ByteToStream(ByteStream& stream, std::uint8_t value)
{
    stream.Write(&value, 1);
}

std::uint8_t ByteFromStream(ByteStream& stream)
{
    std::uint8_t v;
    stream.Read(&v, 1);
    return v;
}

void BoolToStream(ByteStream& stream, bool value)
{
    ByteToStream(stream, value ? 1 : 0);
}

bool BoolFromStream(ByteStream& stream)
{
    return ByteFromStream(stream) != 0;
}

void FloatToStream(ByteStream& stream, long double value)
{
    const ExtendedBytes b = EncodeExtended(value);
    stream.Write(b.data(), qint64(b.size()));
}

long double FloatFromStream(ByteStream& stream)
{
    ExtendedBytes b;
    stream.Read(b.data(), qint64(b.size()));
    return DecodeExtended(b);
}

void StrToStream(ByteStream& stream, const QByteArray& value)
{
    if (value.size() > std::numeric_limits<std::int32_t>::max())
        throw std::length_error("string too long for a stored value");
    IntToStream(stream, std::int32_t(value.size()));
    stream.Write(value);
}

QByteArray StrFromStream(ByteStream& stream)
{
    const qint64 start = stream.Position();
    const qint64 n = IntFromStream(stream);
    if (n < 0 || n > stream.Remaining()) {
        stream.Seek(start);
        throw StreamReadError("Stream read error: string length past the end");
    }
    return stream.ReadBytes(n);
}

qint64 CheckedCount(const ByteStream& stream, std::int64_t count, qint64 unitBytes)
{
    if (count < 0 || (unitBytes > 0 && count > stream.Remaining() / unitBytes))
        throw StreamReadError("Stream read error: count past the end");
    return count;
}

}  // namespace printing
