// Pages of the preview: numbering after deletions, page tokens, header and
// footer layout on the rendered page, clipping to the margins, and a page
// printed through the PDF back-end read back with pdftotext.
#include "platform/printer.h"
#include "printing/pvobjects.h"
#include "printing/pvpreview.h"

#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QImage rendered(TPvPreview& pv)
{
    TPvPage* page = pv.CurrentPage();
    page->Draw(page->Metafile, 96);
    QImage img(page->Metafile.boundingRect().size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.drawPicture(0, 0, page->Metafile);
    return img;
}

bool inkInRow(const QImage& img, int y, int x1, int x2)
{
    for (int x = x1; x < x2; ++x)
        if (qGray(img.pixel(x, y)) < 128) return true;
    return false;
}

// Ink in rows [y1, y2) between columns x1 and x2.
bool inkInRows(const QImage& img, int y1, int y2, int x1, int x2)
{
    for (int y = y1; y < y2; ++y)
        if (inkInRow(img, y, x1, x2)) return true;
    return false;
}

TEST(PvPages, NumbersFollowDeletionsAndTokensFollowPages)
{
    TPvPreview pv;
    for (int i = 0; i < 2; ++i) pv.NewPage();
    for (int n = 1; n <= 3; ++n) {
        pv.SetCurrentPageNum(n);
        pv.Canvas().TextOutLeft(10, 10, QStringLiteral("page {PAGE}"));
    }
    pv.DeletePage(1);
    ASSERT_EQ(pv.GetNumPages(), 2);
    for (int n = 1; n <= 2; ++n) {
        EXPECT_EQ(pv.GetPage(n)->PageNum, n);
        EXPECT_EQ(pv.GetPage(n)->Objects.front()->Page, n);
    }
    for (int i = 0; i < 3; ++i) pv.NewPage();
    EXPECT_EQ(pv.Tokenize(QStringLiteral("Page {PAGE} of {NUMPAGES}"), 2), QStringLiteral("Page 2 of 5"));
    EXPECT_EQ(pv.Tokenize(QStringLiteral("{PAGE}{PAGE}"), 3), QStringLiteral("33"));
    EXPECT_EQ(pv.Tokenize(QStringLiteral("{page}"), 3), QStringLiteral("{page}"));
}

TEST(PvPages, LargestCaptionFontAndRules)
{
    TPvPreview pv;
    TPvHeader& header = pv.Header();
    platform::Font f = header.CaptionLeft.Font();
    f.SetSize(10);
    header.CaptionLeft.SetFont(f);
    f.SetSize(14);
    header.CaptionCenter.SetFont(f);
    f.Name = QStringLiteral("Times New Roman");
    header.CaptionRight.SetFont(f);
    EXPECT_EQ(&header.GetLargestFont(), &header.CaptionCenter.Font());

    header.CaptionLeft.SetCaption(QStringLiteral("Left"));
    header.CaptionCenter.SetCaption(QStringLiteral("Page {PAGE}"));
    header.CaptionRight.SetCaption(QStringLiteral("Right"));
    pv.Footer().CaptionLeft.SetCaption(QStringLiteral("Footer"));
    pv.Margins().SetVisible(false);
    const QImage img = rendered(pv);
    if (const QByteArray shots = qgetenv("QUILLET_SHOTS"); !shots.isEmpty())
        img.save(QString::fromLocal8Bit(shots) + QStringLiteral("/page_header_footer.png"));
    const int left = UnitsToPixels(1500), right = img.width() - UnitsToPixels(1500);
    // The header's rule is the first full row below the top margin; its captions stand on it.
    int rule = -1;
    for (int y = UnitsToPixels(2000); y < img.height() / 2 && rule < 0; ++y)
        if (qGray(img.pixel(left + 1, y)) < 128 && qGray(img.pixel(right - 2, y)) < 128 && qGray(img.pixel((left + right) / 2 + 200, y)) < 128)
            rule = y;
    ASSERT_GT(rule, 0);
    EXPECT_TRUE(inkInRows(img, rule - 8, rule, left, left + 40));    // left caption just above
    EXPECT_TRUE(inkInRows(img, rule - 8, rule, right - 40, right));  // right caption
    EXPECT_FALSE(inkInRow(img, rule + 2, left, right));             // nothing under the rule
    EXPECT_FALSE(inkInRow(img, UnitsToPixels(2000) - 1, left, right));
    // The footer's rule lies above its caption.
    int footerRule = -1;
    for (int y = img.height() - UnitsToPixels(2500); y > img.height() / 2 && footerRule < 0; --y)
        if (qGray(img.pixel(right - 2, y)) < 128) footerRule = y;
    ASSERT_GT(footerRule, 0);
    EXPECT_TRUE(inkInRows(img, footerRule + 1, footerRule + 12, left, left + 60));
    EXPECT_FALSE(inkInRow(img, footerRule - 2, left, right));
}

TEST(PvPages, ClipMarginsHideWhatLiesOutside)
{
    TPvPreview pv;
    pv.Header().SetVisible(false);
    pv.Footer().SetVisible(false);
    pv.Margins().SetVisible(false);
    pv.Canvas().Brush.SetColor(platform::clBlack);
    pv.Canvas().FillRect(2, 2, 8, 8);  // inside the 15 mm left and 20 mm top margins
    EXPECT_TRUE(inkInRow(rendered(pv), UnitsToPixels(500), 0, 60));
    pv.Margins().SetClipMargins(true);
    EXPECT_FALSE(inkInRow(rendered(pv), UnitsToPixels(500), 0, 60));
}

TEST(PvPages, PrintedPageLandsInMillimetres)
{
    QTemporaryDir dir;
    platform::PdfPrinterSetup setup;
    setup.folder = dir.path();
    setup.resolution = 600;
    setup.margins = QMarginsF(5, 5, 5, 5);
    platform::UsePdfPrinter(setup);
    TPvPreview pv;
    pv.Header().SetVisible(false);
    pv.Footer().SetVisible(false);
    pv.Canvas().TextOutLeft(50, 100, QStringLiteral("Quillet"));
    pv.NewPage();
    pv.Canvas().TextOutLeft(20, 30, QStringLiteral("Second"));
    ASSERT_TRUE(pv.Print());
    platform::UseNoPrinter();
    const QStringList files = QDir(dir.path()).entryList({QStringLiteral("*.pdf")});
    ASSERT_EQ(files.size(), 1);
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), dir.filePath(files[0]), QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(20000));
    const QString out = QString::fromUtf8(text.readAllStandardOutput());
    // Words are placed in points from the sheet's corner: 50 mm is 141.7 pt.
    const QRegularExpression word(QStringLiteral("xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>(Quillet|Second)<"));
    int found = 0;
    for (auto it = word.globalMatch(out); it.hasNext();) {
        const auto m = it.next();
        const double x = m.captured(1).toDouble(), y = m.captured(2).toDouble();
        const bool first = m.captured(3) == QLatin1String("Quillet");
        EXPECT_NEAR(x, (first ? 50 : 20) / 25.4 * 72, 2.0) << m.captured(3).toStdString();
        EXPECT_NEAR(y, (first ? 100 : 30) / 25.4 * 72, 6.0) << m.captured(3).toStdString();
        ++found;
    }
    EXPECT_EQ(found, 2);
    EXPECT_TRUE(out.contains(QStringLiteral("<page"))) ;
    EXPECT_EQ(out.count(QStringLiteral("<page ")), 2);
}

}  // namespace
