#include "platform/datepicture.h"

namespace platform {

namespace {

const char* const kDays[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};

QString twoDigits(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

// How many times the letter at i repeats (case-insensitively).
int runOf(const QString& p, qsizetype i)
{
    int n = 1;
    while (i + n < p.size() && p[i + n].toLower() == p[i].toLower()) ++n;
    return n;
}

bool startsWithNoCase(const QString& p, qsizetype i, const char* word)
{
    return p.mid(i, qsizetype(qstrlen(word))).compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

}  // namespace

QString FormatDatePicture(const QString& picture, const QDateTime& when)
{
    if (picture.isEmpty())
        return FormatDatePicture(QStringLiteral("dd/mm/yyyy"), when) + QLatin1Char(' ') +
               FormatDatePicture(QStringLiteral("hh:nn:ss"), when);
    const QDate date = when.date();
    const QTime time = when.time();
    // A 12-hour clock when the picture holds an am/pm marker.
    const bool twelve = picture.contains(QLatin1String("am/pm"), Qt::CaseInsensitive) ||
                        picture.contains(QLatin1String("a/p"), Qt::CaseInsensitive);
    int hour = time.hour();
    if (twelve) hour = hour % 12 == 0 ? 12 : hour % 12;

    QString out;
    bool afterHour = false;
    for (qsizetype i = 0; i < picture.size();) {
        const QChar c = picture[i];
        const QChar l = c.toLower();
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const qsizetype end = picture.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? picture.size() : end;
            out += picture.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        if (startsWithNoCase(picture, i, "am/pm")) {
            const bool upper = c.isUpper();
            const QString mark = time.hour() < 12 ? QStringLiteral("am") : QStringLiteral("pm");
            out += upper ? mark.toUpper() : mark;
            i += 5;
            continue;
        }
        if (startsWithNoCase(picture, i, "a/p")) {
            const QString mark = time.hour() < 12 ? QStringLiteral("a") : QStringLiteral("p");
            out += c.isUpper() ? mark.toUpper() : mark;
            i += 3;
            continue;
        }
        const int n = runOf(picture, i);
        if (l == QLatin1Char('d')) {
            const int dow = date.dayOfWeek() - 1;
            if (n == 1) out += QString::number(date.day());
            else if (n == 2) out += twoDigits(date.day());
            else if (n == 3) out += QString::fromLatin1(kDays[dow]).left(3);
            else out += QString::fromLatin1(kDays[dow]);
            afterHour = false;
        } else if (l == QLatin1Char('m') && afterHour && n <= 2) {
            out += n == 1 ? QString::number(time.minute()) : twoDigits(time.minute());
            afterHour = false;
        } else if (l == QLatin1Char('m')) {
            if (n == 1) out += QString::number(date.month());
            else if (n == 2) out += twoDigits(date.month());
            else if (n == 3) out += QString::fromLatin1(kMonths[date.month() - 1]).left(3);
            else out += QString::fromLatin1(kMonths[date.month() - 1]);
        } else if (l == QLatin1Char('y')) {
            out += n <= 2 ? twoDigits(date.year() % 100) : QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
        } else if (l == QLatin1Char('h')) {
            out += n == 1 ? QString::number(hour) : twoDigits(hour);
            afterHour = true;
            i += n;
            continue;
        } else if (l == QLatin1Char('n')) {
            out += n == 1 ? QString::number(time.minute()) : twoDigits(time.minute());
        } else if (l == QLatin1Char('s')) {
            out += n == 1 ? QString::number(time.second()) : twoDigits(time.second());
        } else if (l == QLatin1Char('z')) {
            out += n < 3 ? QString::number(time.msec()) : QStringLiteral("%1").arg(time.msec(), 3, 10, QLatin1Char('0'));
        } else {
            out += QString(n, c);
            i += n;
            continue;  // separators keep the hour context ("hh:mm")
        }
        if (l != QLatin1Char('m') || !afterHour) afterHour = false;
        i += n;
    }
    return out;
}

}  // namespace platform
