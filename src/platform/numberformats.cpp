#include "platform/numberformats.h"

#include <QDate>
#include <QTime>

#include <cmath>

namespace workbookfiles {

namespace {

char16_t lower(QChar c) { return c.toLower().unicode(); }

bool startsWithAt(QStringView code, qsizetype i, QStringView word)
{
    return code.mid(i).startsWith(word, Qt::CaseInsensitive);
}

NumberShape shapeOfCode(QStringView code)
{
    bool date = false, month = false, time = false, elapsed = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const char16_t c = lower(code[i]);
        if (c == u';')
            break;
        if (c == u'"') {
            const qsizetype close = code.indexOf(u'"', i + 1);
            if (close < 0)
                break;
            i = close;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u'[') {
            const qsizetype close = code.indexOf(u']', i + 1);
            if (close < 0)
                break;
            const QStringView inside = code.mid(i + 1, close - i - 1);
            if (!inside.isEmpty() && (inside.count(inside[0]) == inside.size()) &&
                QStringView(u"hHmMsS").contains(inside[0]))
                time = elapsed = true;
            i = close;
        } else if (startsWithAt(code, i, u"general")) {
            i += 6;
        } else if (startsWithAt(code, i, u"am/pm") || startsWithAt(code, i, u"a/p")) {
            time = true;
            i += startsWithAt(code, i, u"am/pm") ? 4 : 2;
        } else if (c == u'e' && i + 1 < code.size() && (code[i + 1] == u'+' || code[i + 1] == u'-')) {
            ++i;  // the exponent of a scientific format
        } else if (c == u'y' || c == u'd' || c == u'e') {
            date = true;
        } else if (c == u'm') {
            month = true;
        } else if (c == u'h' || c == u's') {
            time = true;
        }
    }
    // m is minutes beside h or s, a month otherwise
    date = date || (month && !time);
    if (date)
        return time ? NumberShape::DateTime : NumberShape::Date;
    if (time)
        return elapsed ? NumberShape::ElapsedTime : NumberShape::Time;
    return NumberShape::Number;
}

NumberShape builtInShape(int id)
{
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 31) || id == 36 || (id >= 50 && id <= 54) || id == 57 ||
        id == 58)
        return NumberShape::Date;
    if (id == 22)
        return NumberShape::DateTime;
    if (id == 46)
        return NumberShape::ElapsedTime;
    if ((id >= 18 && id <= 21) || id == 45 || id == 47 || (id >= 32 && id <= 35) || id == 55 || id == 56)
        return NumberShape::Time;
    return NumberShape::Number;
}

// The last day either system can show.
const QDate kLastDay(9999, 12, 31);

QString dayText(qint64 day, bool date1904)
{
    if (!date1904 && day == 0)
        return "1900-01-00";
    if (!date1904 && day == 60)
        return "1900-02-29";
    const QDate date = date1904 ? QDate(1904, 1, 1).addDays(day)
                                : QDate(1899, 12, 31).addDays(day < 60 ? day : day - 1);
    return date.toString(Qt::ISODate);
}

} // namespace

NumberShape ShapeOfFormat(int id, const QString* code)
{
    return code ? shapeOfCode(*code) : builtInShape(id);
}

QVariant ShownNumber(double value, NumberShape shape, bool date1904)
{
    if (shape == NumberShape::Number || !std::isfinite(value) || value < 0)
        return value;
    const qint64 lastDay = date1904 ? QDate(1904, 1, 1).daysTo(kLastDay) : QDate(1899, 12, 30).daysTo(kLastDay);
    if (value >= double(lastDay + 1))
        return value;
    const qint64 seconds = std::llround(value * 86400);
    const qint64 day = seconds / 86400;
    if (day > lastDay)
        return value;
    const qint64 ofDay = seconds % 86400;
    const qint64 hours = shape == NumberShape::ElapsedTime ? seconds / 3600 : ofDay / 3600;
    const QString minutesSeconds =
        QString(":%1:%2").arg(ofDay / 60 % 60, 2, 10, QChar('0')).arg(ofDay % 60, 2, 10, QChar('0'));
    switch (shape) {
    case NumberShape::Date:
        return dayText(day, date1904);
    case NumberShape::DateTime:
        return dayText(day, date1904) + QString(" %1").arg(hours, 2, 10, QChar('0')) + minutesSeconds;
    default:
        return QString::number(hours) + minutesSeconds;
    }
}

bool SerialOfIsoDate(QStringView text, bool date1904, double& serial)
{
    text = text.trimmed();
    double days = 0;
    QStringView clock = text;
    if (text.size() >= 10 && text[4] == u'-') {
        const QDate date = QDate::fromString(text.left(10).toString(), Qt::ISODate);
        if (!date.isValid())
            return false;
        const QDate first = date1904 ? QDate(1904, 1, 1) : QDate(1900, 1, 1);
        if (date < first)
            return false;
        days = double(date1904                       ? first.daysTo(date)
                      : date < QDate(1900, 3, 1) ? QDate(1899, 12, 31).daysTo(date)
                                                 : QDate(1899, 12, 30).daysTo(date));
        clock = text.mid(10);
        if (clock.isEmpty()) {
            serial = days;
            return true;
        }
        if (clock[0] != u'T' && clock[0] != u' ')
            return false;
        clock = clock.mid(1);
    } else if (text.startsWith(u'T')) {
        clock = text.mid(1);
    }
    // a zone suffix ("Z", "+08:00") is dropped: the cell shows the clock time
    if (clock.endsWith(u'Z'))
        clock.chop(1);
    else if (clock.size() > 6 && (clock[clock.size() - 6] == u'+' || clock[clock.size() - 6] == u'-'))
        clock.chop(6);
    const QTime time = QTime::fromString(clock.toString(), Qt::ISODateWithMs);
    if (!time.isValid())
        return false;
    serial = days + time.msecsSinceStartOfDay() / 86400000.0;
    return true;
}

} // namespace workbookfiles
