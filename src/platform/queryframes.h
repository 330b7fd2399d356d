// The answer the query program (quillet-query) writes to its standard output
// and the list grid reads: the result of one query on a database file. The
// reader takes the bytes as they come and checks every length before use.
//
// A sequence of frames, each a kind byte, a payload length (unsigned 32-bit,
// little-endian, at most kMaxFrameBytes) and the payload:
//   'N'  the field names: a count n (u32, at most kMaxFields), then n texts;
//        the first frame
//   'C'  the record count: a signed 64-bit number, -1 when the driver does
//        not know it; right after 'N'
//   'R'  one record: n values in field order, each a text or, for NULL, the
//        length 0xFFFFFFFF with no bytes
//   'E'  a failure: the driver's message as the whole payload (UTF-8); last
//   'D'  done, with an empty payload; last
// A text is its byte length (u32) and its UTF-8 bytes. Numbers are little-
// endian. A payload must be used up exactly by what its kind holds.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace queryframes {

constexpr uint32_t kMaxFrameBytes = 64u << 20;
constexpr uint32_t kMaxFields = 16384;

enum Kind : char { Names = 'N', Count = 'C', Record = 'R', Failure = 'E', Done = 'D' };

// A value of a record: bytes of UTF-8 text, or nothing for NULL.
using Value = std::optional<QByteArray>;

// ---- writing (the query program)
QByteArray NamesFrame(const QStringList& names);
QByteArray CountFrame(int64_t count);
QByteArray RecordFrame(const std::vector<Value>& values);
QByteArray FailureFrame(const QString& message);
QByteArray DoneFrame();

// ---- reading (the grid)
struct Frame {
    char kind = 0;
    QByteArray payload;
};

// Cuts the bytes fed to it into frames.
class Reader {
public:
    enum Result { NeedMore, Got, Damaged };
    void feed(const QByteArray& bytes);
    // The next whole frame; Damaged for a length above kMaxFrameBytes or an
    // unknown kind (the reader then stays damaged).
    Result next(Frame& frame);
    // Bytes fed but not yet taken as frames.
    qsizetype pending() const { return buffer_.size() - at_; }

private:
    QByteArray buffer_;
    qsizetype at_ = 0;
    bool damaged_ = false;
};

// The payload of each kind; false when it does not hold exactly that.
bool ReadNames(const QByteArray& payload, QStringList& names);
bool ReadCount(const QByteArray& payload, int64_t& count);
bool ReadRecord(const QByteArray& payload, size_t fields, std::vector<Value>& values);

}  // namespace queryframes
