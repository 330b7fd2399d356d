// Reading printed PDF files back in tests: page count and sizes (pdfinfo),
// the words of each page with their boxes in points (pdftotext -bbox), and a
// page as pixels (pdftoppm).
#pragma once

#include "platform/printer.h"

#include <QImage>
#include <QProcess>
#include <QRectF>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

// Makes the process print into PDF files in `dir` on A4 with the given
// unprintable margins (millimetres) and resolution.
inline platform::PdfPrinter& UseTestPdfPrinter(const QTemporaryDir& dir, QMarginsF margins, int dpi = 600)
{
    platform::PdfPrinterSetup setup;
    setup.folder = dir.path();
    setup.resolution = dpi;
    setup.margins = margins;
    return platform::UsePdfPrinter(setup);
}

struct PdfPageWord {
    QString text;
    QRectF box;  // points from the page's top-left corner
};

struct PdfPage {
    QSizeF size;  // points
    QVector<PdfPageWord> words;
    QString Text() const
    {
        QStringList all;
        for (const PdfPageWord& w : words)
            all << w.text;
        return all.join(' ');
    }
    const PdfPageWord* Find(const QString& text) const
    {
        for (const PdfPageWord& w : words)
            if (w.text == text)
                return &w;
        return nullptr;
    }
};

inline QString RunTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(120000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline int PdfPageCount(const QString& file)
{
    const auto m = QRegularExpression("Pages:\\s+(\\d+)").match(RunTool("pdfinfo", {file}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

inline QVector<PdfPage> PdfWords(const QString& file)
{
    QVector<PdfPage> pages;
    const QString xml = RunTool("pdftotext", {"-bbox", file, "-"});
    static const QRegularExpression page("<page width=\"([\\d.]+)\" height=\"([\\d.]+)\">");
    static const QRegularExpression word(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>");
    for (const QString& chunk : xml.split("</page>")) {
        const auto pm = page.match(chunk);
        if (!pm.hasMatch())
            continue;
        PdfPage p;
        p.size = QSizeF(pm.captured(1).toDouble(), pm.captured(2).toDouble());
        for (auto it = word.globalMatch(chunk); it.hasNext();) {
            const auto m = it.next();
            QString text = m.captured(5);
            text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&amp;", "&");
            p.words.push_back({text, QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                                     QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
        }
        pages.push_back(p);
    }
    return pages;
}

// Page `page` (1-based) rendered at `dpi`.
inline QImage PdfPageImage(const QString& file, int page, int dpi, const QTemporaryDir& scratch)
{
    const QString stem = scratch.filePath("render");
    RunTool("pdftoppm", {"-r", QString::number(dpi), "-f", QString::number(page), "-l", QString::number(page),
                         "-singlefile", "-png", file, stem});
    return QImage(stem + ".png");
}

// The pixels of a word's box on a page rendered at `dpi`, a pixel wider all round.
inline QRect PdfWordPixels(const PdfPageWord& word, int dpi)
{
    const double k = dpi / 72.0;
    return QRectF(word.box.topLeft() * k, word.box.bottomRight() * k).toAlignedRect().adjusted(-1, -1, 1, 1);
}
