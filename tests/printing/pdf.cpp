// Preview pages printed to PDF files: shapes land on paper where they were
// drawn whatever the printer's unprintable border, the sheet follows the
// preview's orientation, and several pages share a sheet.
#include "pdf_pages.h"
#include "platform/printer.h"
#include "printing/pvpreview.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The box around the dark pixels of a page image.
QRect darkBox(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(PdfPrinting, SquareLandsWhereDrawnWhateverTheMargins)
{
    for (const QMarginsF& margins : {QMarginsF(), QMarginsF(4.2, 4.2, 4.2, 4.2), QMarginsF(13, 7, 2, 21)}) {
        QTemporaryDir dir;
        platform::PdfPrinter& pdf = UseTestPdfPrinter(dir, margins);
        TPvPreview preview;
        preview.Header().SetVisible(false);
        preview.Footer().SetVisible(false);
        TPvCanvas& canvas = preview.Canvas();
        canvas.Brush.SetColor(platform::clBlack);
        canvas.Pen.Color = platform::clBlack;
        canvas.FillRect(20, 30, 30, 40, PvMillimeters);
        ASSERT_TRUE(preview.Print());
        const QRect box = darkBox(PdfPageImage(pdf.JobFile(1), 1, 254, dir));
        EXPECT_NEAR(box.left(), 200, 2) << margins.left();
        EXPECT_NEAR(box.top(), 300, 2) << margins.top();
        EXPECT_NEAR(box.right(), 299, 2) << margins.left();
        EXPECT_NEAR(box.bottom(), 399, 2) << margins.top();
    }
}

TEST(PdfPrinting, OrientationAndPagesPerSheet)
{
    QTemporaryDir dir;
    platform::PdfPrinter& pdf = UseTestPdfPrinter(dir, QMarginsF(5, 5, 5, 5));
    TPvPreview preview;
    preview.SetOrientation(gmLandscape);
    preview.Canvas().TextOut(20, 20, "wide");
    ASSERT_TRUE(preview.Print());
    const auto sheets = PdfWords(pdf.JobFile(1));
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_GT(sheets[0].size.width(), sheets[0].size.height());
    EXPECT_EQ(preview.Printer().GetOrientation(), gmPortrait);  // put back after the job

    preview.Clear();
    preview.SetOrientation(gmPortrait);
    for (int n = 1; n <= 5; ++n) {
        if (n > 1)
            preview.NewPage();
        preview.Canvas().TextOut(20, 20, QString("page%1").arg(n));
    }
    preview.SetPagesPerSheet(gmFourPage);
    ASSERT_TRUE(preview.Print());
    EXPECT_EQ(PdfPageCount(pdf.JobFile(2)), 2);
}

}  // namespace
