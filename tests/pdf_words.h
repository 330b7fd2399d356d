// Words of a printed PDF page with their boxes in millimetres from the page's
// top-left corner, read back with pdftotext -bbox (poppler-utils).
#pragma once

#include <QProcess>
#include <QRegularExpression>
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
    QProcess p;
    p.start("pdftotext", {"-bbox", file, "-"});
    p.waitForFinished(30000);
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    std::vector<PdfWord> words;
    static const QRegularExpression tag(
        R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    int page = 0;
    constexpr double kMmPerPoint = 25.4 / 72.0;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0).startsWith("<page")) {
            ++page;
            continue;
        }
        words.push_back({m.captured(5).replace("&amp;", "&"), m.captured(1).toDouble() * kMmPerPoint,
                         m.captured(2).toDouble() * kMmPerPoint, m.captured(3).toDouble() * kMmPerPoint,
                         m.captured(4).toDouble() * kMmPerPoint, page});
    }
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
