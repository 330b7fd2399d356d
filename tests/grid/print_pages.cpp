// The grid's own printing, page by page: page numbers in every form, header
// and footer slot texts, the job title, the page range the owner answers,
// preview of one page, forced page breaks, OnPrintPage numbering, and no
// printer or a failing page.
#include "grid/listgrid.h"
#include "platform/datepicture.h"
#include "platform/printer.h"
#include "printing/pdf_pages.h"

#include <QPainter>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace grid;

namespace {

struct PrintFixture : ::testing::Test {
    QTemporaryDir dir;
    platform::PdfPrinter* pdf = nullptr;
    RIvuZuvuzoZuvu grid;

    void SetUp() override
    {
        pdf = &UseTestPdfPrinter(dir, QMarginsF(10, 10, 10, 10), 300);
        grid.SetColCountEx(1);
        grid.SetFixedRowsEx(0);
        grid.SetFixedColsEx(0);
        grid.PrintSettings->UseFixedHeight = true;
        grid.PrintSettings->FixedHeight = 800;  // two rows a page on A4
    }
    void TearDown() override { platform::UseNoPrinter(); }

    // Rows x columns of text cells; with NoAutoSize each column is Width pixels wide.
    void fill(int Rows, int Cols, int Width = 0)
    {
        grid.SetColCountEx(Cols);
        grid.SetRowCountEx(Rows);
        for (int r = 0; r < Rows; ++r)
            for (int c = 0; c < Cols; ++c)
                grid.SetCellEx(c, r, "cell");
        if (Width > 0) {
            grid.PrintSettings->NoAutoSize = true;
            for (int c = 0; c < Cols; ++c)
                grid.SetColWidths(c, Width);
        }
    }
    // The newest PDF in the folder (a failed job uses up its number).
    QString lastFile() const
    {
        const QStringList files = QDir(dir.path()).entryList({"*.pdf"}, QDir::Files, QDir::Time);
        return files.isEmpty() ? QString() : dir.filePath(files.first());
    }
    QStringList pageTexts()
    {
        QStringList out;
        for (const PdfPage& p : PdfWords(lastFile()))
            out << p.Text();
        return out;
    }
};

TEST_F(PrintFixture, PageNumbersInEveryForm)
{
    fill(6, 1);
    grid.PrintSettings->PageNr = ppBottomRight;
    grid.Print();
    ASSERT_EQ(PdfPageCount(lastFile()), 3);
    QStringList texts = pageTexts();
    for (int p = 1; p <= 3; ++p)
        EXPECT_TRUE(texts[p - 1].contains(QStringLiteral("%1/3").arg(p))) << texts[p - 1].toStdString();

    grid.PrintSettings->PageNumSep = QString();
    grid.Print();
    texts = pageTexts();
    for (int p = 1; p <= 3; ++p)
        EXPECT_TRUE(texts[p - 1].endsWith(QString::number(p))) << texts[p - 1].toStdString();

    // Two pages tall and two column groups wide: page within group, then group.
    fill(4, 2, 500);
    grid.PrintSettings->PageNumSep = QStringLiteral("/");
    grid.Print();
    ASSERT_EQ(PdfPageCount(lastFile()), 4);
    texts = pageTexts();
    const QStringList expected{"1-1", "2-1", "1-2", "2-2"};
    for (int p = 0; p < 4; ++p)
        EXPECT_TRUE(texts[p].contains(expected[p])) << texts[p].toStdString();
}

TEST_F(PrintFixture, SlotTextsAndJobTitle)
{
    fill(1, 1);
    QImage image(800, 1100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    platform::Canvas canvas;
    canvas.Begin(&painter);
    grid.SetPreviewPage(1);
    grid.PrintSettings->PageNr = ppBottomRight;
    grid.PrintPreview(canvas, Rect{0, 0, 718, 1047});
    EXPECT_EQ(grid.PrintSlotTexts()[ppBottomRight], QStringLiteral("  1 "));

    grid.PrintSettings->PageNr = ppNone;
    grid.PrintSettings->Time = ppTopLeft;
    grid.PrintSettings->Date = ppTopLeft;
    grid.PrintPreview(canvas, Rect{0, 0, 718, 1047});
    const QString left = grid.PrintSlotTexts()[ppTopLeft];
    EXPECT_TRUE(QRegularExpression(R"(^\d\d/\d\d/\d{4} \d\d:\d\d $)").match(left).hasMatch()) << left.toStdString();
    EXPECT_TRUE(left.startsWith(platform::FormatDatePicture(QStringLiteral("dd/mm/yyyy"), QDateTime::currentDateTime())));
    canvas.End();

    grid.PrintSettings->JobName = QStringLiteral("Contact list");
    grid.Print();
    EXPECT_TRUE(RunTool("pdfinfo", {lastFile()}).contains(QRegularExpression("Title:\\s+Contact list")));
}

TEST_F(PrintFixture, OwnerPageRangeAndPageEvents)
{
    fill(6, 1);
    for (const auto& range : {std::pair{0, 3}, std::pair{3, 2}}) {
        grid.OnPrintStart = [&](RIvuZuvuzoZuvu*, int Pages, int& From, int& To) {
            EXPECT_EQ(Pages, 3);
            From = range.first;
            To = range.second;
        };
        grid.Print();
        EXPECT_EQ(pdf->JobsWritten(), 0);
        EXPECT_FALSE(QFile::exists(pdf->JobFile(1)));
    }
    grid.OnPrintStart = nullptr;

    std::vector<int> pages;
    grid.OnPrintPage = [&](RIvuZuvuzoZuvu*, platform::Canvas*, int Page, int, int) { pages.push_back(Page); };
    grid.Print();
    EXPECT_EQ(pages, (std::vector<int>{1, 2, 3}));

    // A preview of page 2 draws that page alone.
    pages.clear();
    QImage image(800, 1100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    platform::Canvas canvas;
    canvas.Begin(&painter);
    grid.PrintSettings->PageNr = ppBottomRight;
    grid.SetPreviewPage(2);
    grid.PrintPreview(canvas, Rect{0, 0, 718, 1047});
    canvas.End();
    painter.end();
    EXPECT_EQ(pages, std::vector<int>{2});
    EXPECT_EQ(grid.PrintSlotTexts()[ppBottomRight].trimmed(), QStringLiteral("2/3"));
    EXPECT_EQ(grid.PrintPageCount(), 3);
    int inked = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            inked += qGray(image.pixel(x, y)) < 128;
    EXPECT_GT(inked, 50);

    // A page break asked for after the last row still gives a page.
    grid.OnPrintPage = nullptr;
    grid.OnPrintNewPage = [](RIvuZuvuzoZuvu* G, int Row, bool& NewPage) { NewPage = Row == G->RowCount(); };
    grid.Print();
    EXPECT_EQ(PdfPageCount(lastFile()), 4);
}

TEST_F(PrintFixture, NoPrinterAndFailingJob)
{
    fill(6, 1);
    platform::UseNoPrinter();
    try {
        grid.Print();
        FAIL() << "printed without a printer";
    } catch (const DIdiZedoRorid& e) {
        EXPECT_STREQ(e.what(), "No printer selected");
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());

    // A failure on page 2 ends the job; the next print works.
    pdf = &UseTestPdfPrinter(dir, QMarginsF(10, 10, 10, 10), 300);
    grid.OnPrintPage = [](RIvuZuvuzoZuvu*, platform::Canvas*, int Page, int, int) {
        if (Page == 2)
            throw DIdiZedoRorid("paper jam");
    };
    EXPECT_THROW(grid.Print(), DIdiZedoRorid);
    EXPECT_FALSE(platform::CurrentPrinter().JobOpen());
    EXPECT_EQ(pdf->JobsWritten(), 0);
    grid.OnPrintPage = nullptr;
    grid.Print();
    EXPECT_EQ(PdfPageCount(lastFile()), 3);
}

}  // namespace
