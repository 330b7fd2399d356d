#include "printing/tokenize.h"

#include <QLocale>

QString Tokenize(const QString& text, int page, int pageCount, const QDateTime& now)
{
    if (!text.contains(QLatin1Char('{'))) return text;
    QString s = text;
    if (s.contains(QStringLiteral("{DATE}"))) {
        const QDate d = now.date();
        const QString date = QStringLiteral("%1-%2-%3")
                                 .arg(d.day(), 2, 10, QLatin1Char('0'))
                                 .arg(QLocale().monthName(d.month(), QLocale::ShortFormat))
                                 .arg(d.year(), 4, 10, QLatin1Char('0'));
        s.replace(QStringLiteral("{DATE}"), date);
    }
    if (s.contains(QStringLiteral("{TIME}"))) s.replace(QStringLiteral("{TIME}"), now.time().toString(QStringLiteral("HH:mm")));
    s.replace(QStringLiteral("{PAGE}"), QString::number(page));
    s.replace(QStringLiteral("{NUMPAGES}"), QString::number(pageCount));
    return s;
}
