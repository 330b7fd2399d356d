// The main window's Print button and report action: the contact list laid out
// in the list print dialog and printed, and the cheque report opened.
#include "contacts_fixture.h"
#include "palettes.h"

#include "documents/printpreviewform.h"
#include "documents/reportform.h"
#include "pdf_words.h"
#include "platform/printer.h"
#include "printing/pvpreview.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

using ListPrintActions = PrintingContactsTest;

}  // namespace

TEST_F(ListPrintActions, TheListPrintsInLandscapeWithItsTitleCentred)
{
    addCustomer(1, "Alpha Ltd");
    addCustomer(2, "Beta Ltd");
    window->RefreshGrid();
    steps.push_back([](QDialog& f) {
        auto& print = dynamic_cast<TPrintPreviewForm&>(f);
        EXPECT_EQ(print.PvPreview1->Orientation(), gmLandscape);
        EXPECT_FALSE(print.saveButton->isHidden());
        EXPECT_TRUE(print.printButtonClick());
        print.Button1->click();
    });
    window->printButton->click();
    ASSERT_EQ(pdf->JobsWritten(), 1);
    QProcess info;
    info.start("pdfinfo", {pdf->JobFile(1)});
    info.waitForFinished(30000);
    EXPECT_TRUE(QString::fromUtf8(info.readAllStandardOutput()).contains(QRegularExpression("Page size:\\s+84\\d(\\.\\d+)? x 59\\d")));
    const auto words = ReadPdfWords(pdf->JobFile(1));
    const PdfWord* first = FindPdfWord(words, "Customer");
    const PdfWord* last = FindPdfWord(words, "Report");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(last, nullptr);
    EXPECT_NEAR((first->left + last->right) / 2, 297.0 / 2, 2.0);
    const QString text = PdfPageText(words);
    EXPECT_TRUE(text.contains("Page 1 of 1")) << text.toStdString();
    EXPECT_TRUE(text.contains("Alpha Ltd")) << text.toStdString();
}

// In a dark palette the list still prints black on white, and its footer
// reads at 4.5:1 or better.
TEST_F(ListPrintActions, TheListPrintsBlackOnWhiteWithAReadableFooterInADarkPalette)
{
    const PaletteScope dark(testPalettes()[1].palette);
    addCustomer(1, "Alpha Ltd");
    window->RefreshGrid();
    steps.push_back([](QDialog& f) {
        auto& print = dynamic_cast<TPrintPreviewForm&>(f);
        EXPECT_TRUE(print.printButtonClick());
        print.Button1->click();
    });
    window->printButton->click();
    ASSERT_EQ(pdf->JobsWritten(), 1);
    constexpr int kDpi = 300;
    QTemporaryDir scratch;
    const QImage page = PdfPageImage(pdf->JobFile(1), 1, kDpi, scratch);
    const PdfPage words = PdfWords(pdf->JobFile(1)).value(0);
    for (const char* word : {"Alpha", "Page"}) {
        const PdfPageWord* w = words.Find(word);
        ASSERT_NE(w, nullptr) << word;
        const QRect area = PdfWordPixels(*w, kDpi);
        const QColor paper(page.pixel(area.left() - 2, area.top() - 2));
        std::printf("printed in dark, %s: paper %s, text %.1f:1\n", word, qPrintable(paper.name()),
                    textContrast(page, area));
        EXPECT_GE(qGray(paper.rgb()), 230) << word;
        EXPECT_GE(textContrast(page, area), platform::ReadableContrast) << word;
    }
}

// A value wider than its column keeps the column's width on paper and ends
// with "…" within it, as the list shows it; a value that wraps prints only
// its whole lines, the last one marked.
TEST_F(ListPrintActions, AValueThatDoesNotFitItsColumnEndsWithAMark)
{
    Customer c;
    c.id = 10;
    c.name = "Name10-xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx";
    c.person = "Ann";
    c.telephone = "07000001007";
    c.fax = "07000001008 extension 2";
    insert(c);
    ASSERT_TRUE(database.commit());
    window->RefreshGrid();
    steps.push_back([](QDialog& f) {
        EXPECT_TRUE(dynamic_cast<TPrintPreviewForm&>(f).printButtonClick());
        dynamic_cast<TPrintPreviewForm&>(f).Button1->click();
    });
    window->printButton->click();
    ASSERT_EQ(pdf->JobsWritten(), 1);
    const std::vector<PdfWord> words = ReadPdfWords(pdf->JobFile(1));
    const PdfWord* id = FindPdfWord(words, "10");
    ASSERT_NE(id, nullptr);
    std::vector<PdfWord> row;  // the contact's line, left to right
    for (const PdfWord& w : words)
        if (std::abs(w.top - id->top) < 1) row.push_back(w);
    std::sort(row.begin(), row.end(), [](const PdfWord& a, const PdfWord& b) { return a.left < b.left; });
    QString printed;
    for (std::size_t i = 0; i < row.size(); ++i) {
        printed += row[i].text + ' ';
        if (i > 0) { EXPECT_LE(row[i - 1].right, row[i].left) << row[i - 1].text.toStdString() << " runs on"; }
    }
    // the name, the telephone and the fax each whole or a start of it with the mark
    EXPECT_TRUE(printed.contains(QRegularExpression("^10 Name10-x+… Ann (07000001007|0700000\\d*…) "
                                                    "(07000001008 extension 2|07000001008 ext…|0700000\\d*…) $")))
        << printed.toStdString();
}

TEST_F(ListPrintActions, CtrlROpensTheChequeReport)
{
    steps.push_back([](QDialog& f) {
        auto& report = dynamic_cast<TReportForm&>(f);
        EXPECT_EQ(report.windowTitle(), "Cheque Report");
        report.exitAction->trigger();
    });
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(window->reportAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    QTest::keyClick(window->grid, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(formsShown, 1);
}
