// Dates and times written by a picture in the class library's letters, which
// the grid's print settings store: d dd ddd dddd (day, short and long day
// name), m mm mmm mmmm (month), yy yyyy, h hh, n nn (minute), s ss, z zzz
// (milliseconds), am/pm and a/p (12-hour clock), "/" and ":" as separators,
// text in single or double quotes copied as it stands. "m" and "mm" right
// after "h" or "hh" mean the minute. Letters are matched in either case; any
// other character is copied. Day and month names are English.
#pragma once

#include <QDateTime>
#include <QString>

namespace platform {

// An empty picture gives the short date "dd/mm/yyyy", a blank and the long time "hh:nn:ss".
QString FormatDatePicture(const QString& picture, const QDateTime& when);

}  // namespace platform
