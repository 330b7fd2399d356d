// dbDateTime: a calendar time kept as a signed 32-bit count of seconds since
// 1 January 1970 (the stored form of every date field). The accessors convert
// the stamp to local calendar time; they are also the query methods of a date
// field (year, month, ...), so the describe function below lists them after
// the stamp. Callers keep the stamp within the range of a signed 32-bit value.
#pragma once

#include <cstdint>
#include <ctime>

class dbFieldDescriptor;

class dbDateTime {
  public:
    std::int32_t stamp;

    dbDateTime() : stamp(0) {}
    explicit dbDateTime(std::int32_t s) : stamp(s) {}
    static dbDateTime current() { return dbDateTime(std::int32_t(std::time(nullptr))); }

    bool operator==(const dbDateTime& other) const { return stamp == other.stamp; }

    std::int32_t second() const { return local().tm_sec; }
    std::int32_t minute() const { return local().tm_min; }
    std::int32_t hour() const { return local().tm_hour; }
    std::int32_t dayOfWeek() const { return local().tm_wday + 1; }  // Sunday = 1
    std::int32_t dayOfYear() const { return local().tm_yday + 1; }  // 1 January = 1
    std::int32_t day() const { return local().tm_mday; }
    std::int32_t month() const { return local().tm_mon + 1; }
    std::int32_t year() const { return local().tm_year + 1900; }

    // The describe ring of a date field: the stamp (hash and T-tree indexed
    // unless the field's own flags mask them out), then the eight methods.
    static dbFieldDescriptor* dbDescribeComponents();

  private:
    std::tm local() const {
        std::time_t t = stamp;
        std::tm result{};
        localtime_r(&t, &result);
        return result;
    }
};
static_assert(sizeof(dbDateTime) == 4);
