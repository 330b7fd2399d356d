// The number formats of workbook cells, as far as the readers of
// workbookfiles.h need them: a spreadsheet stores a date or a time as a
// number (days since the workbook's epoch, the time of day as the fraction)
// and shows it as a date only through the cell's number format. The readers
// look up each numeric cell's format and hand dates and times on as the
// locale-free texts below, every other number as the number.
//
// Date systems: the 1900 system counts 1900-01-01 as day 1 and, as
// spreadsheet programs have always done, holds the day 1900-02-29 (day 60);
// day 0 is shown "1900-01-00". The 1904 system counts 1904-01-01 as day 0.
//
// Format codes: the first section (before ";") decides. Texts in quotes, a
// character after "\", "_" or "*", and bracketed parts ("[Red]",
// "[$-404]") are not codes, except the elapsed-time codes "[h]", "[m]" and
// "[s]"; "General" and the exponent of "0.00E+00" are not codes either. A
// format holding y, d or e (the era year) or m without h or s shows a date;
// h, s, "AM/PM" or "A/P" a time (m between them is minutes).
//
// Built-in formats (no code stored): 14 to 17 dates, 18 to 21 and 45 to 47
// times (46 "[h]:mm:ss" elapsed), 22 a date and time; 27 to 31, 36, 50 to 54,
// 57 and 58 dates and 32 to 35, 55 and 56 times of the East Asian formats.
// Every other id shows a number.
#pragma once

#include <QString>
#include <QStringView>
#include <QVariant>

namespace workbookfiles {

enum class NumberShape { Number, Date, DateTime, Time, ElapsedTime };

// The shape of format `id`: from `code` when one is stored for the id,
// else from the built-in table.
NumberShape ShapeOfFormat(int id, const QString* code);

// What a cell of that shape shows: "2026-03-15" (a date), "2026-03-15
// 09:05:00" (a date and time), "9:05:00" (a time of day, or the hours in
// total for an elapsed time), rounded to the second; the number itself for
// Number, and for a negative number or one past 9999-12-31, which no
// program shows as a date.
QVariant ShownNumber(double value, NumberShape shape, bool date1904);

// The serial number of an ISO 8601 date ("2026-03-15"), date and time
// ("2026-03-15T14:30:00", fractions of a second and a zone suffix allowed,
// the zone ignored) or time ("14:30:00"). False for anything else and for a
// date before the date system's first day.
bool SerialOfIsoDate(QStringView text, bool date1904, double& serial);

} // namespace workbookfiles
