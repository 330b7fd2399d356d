// Dates of the cheque register: the local-time stamps a Cheque keeps (signed
// 32-bit seconds since 1970, as mktime gives them) and the range of a report.
// The date pickers of the register keep to kFirstRegisterDate ..
// kLastRegisterDate, so that every stamp of those days, and the midnight after
// the last one, fits 32 bits in every time zone; the functions here still
// check every stamp before it is stored or bound.
#pragma once

#include <QDate>
#include <QTime>

#include <cstdint>
#include <optional>

inline const QDate kFirstRegisterDate(1970, 1, 2);
inline const QDate kLastRegisterDate(2038, 1, 17);

// The local time of `date` and `time` as a stamp (daylight saving left to the
// C library); none when the date is invalid or the stamp needs more than 32 bits.
std::optional<std::int32_t> LocalStamp(const QDate& date, const QTime& time = QTime(0, 0));

// From the local midnight that starts `from` to one second before the local
// midnight that follows `to`, so 23- and 25-hour days count whole.
struct StampRange {
    std::int32_t from = 0, to = 0;
};
std::optional<StampRange> DayRange(const QDate& from, const QDate& to);
