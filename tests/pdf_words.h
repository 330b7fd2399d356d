// Words of a printed PDF file as one list, each with its page and its box in
// millimetres from the page's top-left corner (read by PdfWords, pdf_pages.h).
#pragma once

#include "printing/pdf_pages.h"

#include <QString>
#include <QStringList>
#include <vector>

struct PdfWord {
    QString text;
    double left = 0, top = 0, right = 0, bottom = 0;  // mm
    int page = 0;                                      // 1-based
};

inline std::vector<PdfWord> ReadPdfWords(const QString& file)
{
    constexpr double kMmPerPoint = 25.4 / 72.0;
    std::vector<PdfWord> words;
    const QVector<PdfPage> pages = PdfWords(file);
    for (int page = 0; page < pages.size(); ++page)
        for (const PdfPageWord& w : pages[page].words)
            words.push_back({w.text, w.box.left() * kMmPerPoint, w.box.top() * kMmPerPoint,
                             w.box.right() * kMmPerPoint, w.box.bottom() * kMmPerPoint, page + 1});
    return words;
}

// The words of one page joined by blanks.
inline QString PdfPageText(const std::vector<PdfWord>& words, int page = 1)
{
    QStringList out;
    for (const PdfWord& w : words)
        if (w.page == page) out << w.text;
    return out.join(' ');
}

// The first word of `page` with this text, or null.
inline const PdfWord* FindPdfWord(const std::vector<PdfWord>& words, const QString& text, int page = 1)
{
    for (const PdfWord& w : words)
        if (w.page == page && w.text == text) return &w;
    return nullptr;
}
