#include "documents/chequeregister.h"

#include <ctime>
#include <limits>

std::optional<std::int32_t> LocalStamp(const QDate& date, const QTime& time)
{
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    std::tm t{};
    t.tm_year = date.year() - 1900;
    t.tm_mon = date.month() - 1;
    t.tm_mday = date.day();
    t.tm_hour = time.hour();
    t.tm_min = time.minute();
    t.tm_sec = time.second();
    t.tm_isdst = -1;
    const std::int64_t stamp = std::mktime(&t);
    if (stamp == -1 && (t.tm_year != 69 || t.tm_mon != 11 || t.tm_mday != 31)) return std::nullopt;
    if (stamp < std::numeric_limits<std::int32_t>::min() || stamp > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return std::int32_t(stamp);
}

std::optional<StampRange> DayRange(const QDate& from, const QDate& to)
{
    const auto start = LocalStamp(from);
    const auto next = LocalStamp(to.addDays(1));
    if (!start || !next) return std::nullopt;
    return StampRange{*start, std::int32_t(std::int64_t(*next) - 1)};
}
