#include "platform/queryframes.h"

namespace queryframes {

namespace {

constexpr uint32_t kNull = 0xFFFFFFFF;

void appendU32(QByteArray& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(v >> (8 * i));
}

void appendText(QByteArray& out, const QByteArray& text)
{
    appendU32(out, static_cast<uint32_t>(text.size()));
    out += text;
}

QByteArray frame(Kind kind, const QByteArray& payload)
{
    QByteArray out;
    out.reserve(5 + payload.size());
    out += static_cast<char>(kind);
    appendU32(out, static_cast<uint32_t>(payload.size()));
    out += payload;
    return out;
}

uint32_t u32(const QByteArray& b, qsizetype at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(b[at + i]);
    return v;
}

// Reads a text or NULL at `at`; false when its length runs past the payload.
bool readValue(const QByteArray& payload, qsizetype& at, Value& value, bool nullAllowed)
{
    if (payload.size() - at < 4)
        return false;
    const uint32_t length = u32(payload, at);
    at += 4;
    if (length == kNull) {
        value.reset();
        return nullAllowed;
    }
    if (length > static_cast<uint64_t>(payload.size() - at))
        return false;
    value = payload.mid(at, length);
    at += length;
    return true;
}

}  // namespace

QByteArray NamesFrame(const QStringList& names)
{
    QByteArray payload;
    appendU32(payload, static_cast<uint32_t>(names.size()));
    for (const QString& name : names)
        appendText(payload, name.toUtf8());
    return frame(Names, payload);
}

QByteArray CountFrame(int64_t count)
{
    QByteArray payload;
    appendU32(payload, static_cast<uint32_t>(static_cast<uint64_t>(count)));
    appendU32(payload, static_cast<uint32_t>(static_cast<uint64_t>(count) >> 32));
    return frame(Count, payload);
}

QByteArray RecordFrame(const std::vector<Value>& values)
{
    QByteArray payload;
    for (const Value& v : values) {
        if (v)
            appendText(payload, *v);
        else
            appendU32(payload, kNull);
    }
    return frame(Record, payload);
}

QByteArray FailureFrame(const QString& message) { return frame(Failure, message.toUtf8()); }

QByteArray DoneFrame() { return frame(Done, {}); }

void Reader::feed(const QByteArray& bytes)
{
    if (at_ > 0 && at_ >= buffer_.size() / 2) {  // drop what was taken
        buffer_.remove(0, at_);
        at_ = 0;
    }
    buffer_ += bytes;
}

Reader::Result Reader::next(Frame& out)
{
    if (damaged_)
        return Damaged;
    if (pending() < 5)
        return NeedMore;
    const char kind = buffer_[at_];
    const uint32_t length = u32(buffer_, at_ + 1);
    if (length > kMaxFrameBytes ||
        (kind != Names && kind != Count && kind != Record && kind != Failure && kind != Done)) {
        damaged_ = true;
        return Damaged;
    }
    if (pending() - 5 < static_cast<qsizetype>(length))
        return NeedMore;
    out.kind = kind;
    out.payload = buffer_.mid(at_ + 5, length);
    at_ += 5 + length;
    return Got;
}

bool ReadNames(const QByteArray& payload, QStringList& names)
{
    if (payload.size() < 4)
        return false;
    const uint32_t n = u32(payload, 0);
    // every name takes at least its four length bytes
    if (n > kMaxFields || n > static_cast<uint64_t>(payload.size() - 4) / 4)
        return false;
    names.clear();
    qsizetype at = 4;
    for (uint32_t i = 0; i < n; ++i) {
        Value name;
        if (!readValue(payload, at, name, false))
            return false;
        names << QString::fromUtf8(*name);
    }
    return at == payload.size();
}

bool ReadCount(const QByteArray& payload, int64_t& count)
{
    if (payload.size() != 8)
        return false;
    count = static_cast<int64_t>(u32(payload, 0) | static_cast<uint64_t>(u32(payload, 4)) << 32);
    return true;
}

bool ReadRecord(const QByteArray& payload, size_t fields, std::vector<Value>& values)
{
    values.resize(fields);
    qsizetype at = 0;
    for (Value& v : values)
        if (!readValue(payload, at, v, true))
            return false;
    return at == payload.size();
}

}  // namespace queryframes
