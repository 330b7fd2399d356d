// Page tokens "{DATE}", "{TIME}", "{PAGE}" and "{NUMPAGES}" of printed texts:
// one function for the preview's captions and measures and the objects' texts.
#pragma once

#include <QDateTime>
#include <QString>

// Replaces, in this order and case-sensitively, every "{DATE}" by the date of
// `now` as dd-MMM-yyyy (the locale's short month name), every "{TIME}" by its
// time as hh:mm (24 hours), every "{PAGE}" by `page` and every "{NUMPAGES}" by `pageCount`.
QString Tokenize(const QString& text, int page, int pageCount, const QDateTime& now);

// What a drawing object needs of its preview while it draws or prints.
struct TPvPageContext {
    int NumPages = 1;
    // The clock's reading for this pass; an invalid one reads the clock at each call.
    QDateTime Now;

    QString Tokenize(const QString& text, int page) const
    {
        return ::Tokenize(text, page, NumPages, Now.isValid() ? Now : QDateTime::currentDateTime());
    }
};
