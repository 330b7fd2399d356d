// Print jobs of page ranges on the PDF back-end: placement of one, two and
// four pages a sheet, progress, clamped ranges, orientation set per job and
// put back, and every way a job can fail reported as failure.
#include "folder_override.h"
#include "pdf_pages.h"
#include "platform/canvas.h"
#include "platform/dialogs.h"
#include "platform/printer.h"
#include "printing/pvpreview.h"
#include "printing/pvprinter.h"
#include "printing/pvprintjob.h"

#include <QFile>
#include <cmath>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

constexpr double kPt = 72 / 25.4;  // points per millimetre

class Jobs : public ::testing::Test {
protected:
    void SetUp() override
    {
        pdf_ = &UseTestPdfPrinter(dir_, QMarginsF(6, 4, 6, 4));
    }

    // A request whose pages print "P<n>" at (20 mm, 30 mm) of the page, and
    // which records its events.
    TPvPrintRequest request(int first, int last, int numPages)
    {
        TPvPrintRequest r;
        r.First = first;
        r.Last = last;
        r.NumPages = numPages;
        r.PrintPage = [this](int n, platform::Canvas& c, long double scale, const platform::Rect& rect, QPoint off,
                             int ppi) {
            if (n == throwOn_)
                throw std::runtime_error("The page could not be drawn.");
            const auto at = [&](double mm) { return int(std::lround(mm / 25.4 * ppi * double(scale))); };
            c.Font.Height = -12;
            c.TextOut(at(20) + rect.Left - off.x(), at(30) + rect.Top - off.y(), QString("P%1").arg(n));
        };
        r.BeforePrint = [this] { events_ << "before"; };
        r.AfterPrint = [this] { events_ << "after"; };
        r.OnPrintProgress = [this](int printed, int total) { events_ << QString("%1/%2").arg(printed).arg(total); };
        return r;
    }

    QTemporaryDir dir_;
    platform::PdfPrinter* pdf_ = nullptr;
    platform::ScriptedDialogs dialogs_;
    QStringList events_;
    int throwOn_ = 0;
};

TEST_F(Jobs, RangeReportsProgressAndClamps)
{
    TPvPrinter printer;
    EXPECT_TRUE(PvPrintPages(printer, request(2, 4, 5)));
    EXPECT_EQ(events_, QStringList({"before", "1/3", "2/3", "3/3", "after"}));
    EXPECT_EQ(PdfPageCount(pdf_->JobFile(1)), 3);

    events_.clear();
    EXPECT_TRUE(PvPrintPages(printer, request(3, 2, 5)));
    EXPECT_EQ(events_, QStringList({"before", "after"}));
    EXPECT_EQ(pdf_->JobsWritten(), 2);
    EXPECT_EQ(PdfWords(pdf_->JobFile(2)).value(0).words.size(), 0);

    events_.clear();
    EXPECT_TRUE(PvPrintPages(printer, request(0, 9, 3)));
    EXPECT_EQ(events_, QStringList({"before", "1/3", "2/3", "3/3", "after"}));
    const auto pages = PdfWords(pdf_->JobFile(3));
    ASSERT_EQ(pages.size(), 3);
    EXPECT_EQ(pages[2].Text(), "P3");
    // The square's page position does not depend on the printable offset.
    const PdfPageWord* p1 = pages[0].Find("P1");
    ASSERT_NE(p1, nullptr);
    EXPECT_NEAR(p1->box.left(), 20 * kPt, 1.5);
    EXPECT_TRUE(dialogs_.Messages().isEmpty());
}

TEST_F(Jobs, TwoAndFourPagesASheet)
{
    TPvPrinter printer;
    printer.SetOrientation(gmLandscape);
    TPvPrintRequest two = request(1, 3, 3);
    two.PagesPerSheet = gmTwoPage;
    ASSERT_TRUE(PvPrintPages(printer, two));
    EXPECT_EQ(printer.GetOrientation(), gmLandscape);  // as it was before the job
    auto sheets = PdfWords(pdf_->JobFile(1));
    ASSERT_EQ(sheets.size(), 2);
    EXPECT_GT(sheets[0].size.width(), sheets[0].size.height());  // landscape sheet
    const double half = sheets[0].size.width() / 2;
    const double scale = 210.0 / 297;
    ASSERT_TRUE(sheets[0].Find("P1") && sheets[0].Find("P2") && sheets[1].Find("P3"));
    EXPECT_NEAR(sheets[0].Find("P1")->box.left(), 20 * kPt * scale, 1.5);
    EXPECT_NEAR(sheets[0].Find("P2")->box.left(), half + 20 * kPt * scale, 1.5);
    EXPECT_NEAR(sheets[1].Find("P3")->box.left(), 20 * kPt * scale, 1.5);

    printer.SetOrientation(gmPortrait);
    TPvPrintRequest four = request(1, 5, 5);
    four.PagesPerSheet = gmFourPage;
    ASSERT_TRUE(PvPrintPages(printer, four));
    EXPECT_EQ(printer.GetOrientation(), gmPortrait);
    sheets = PdfWords(pdf_->JobFile(2));
    ASSERT_EQ(sheets.size(), 2);
    EXPECT_LT(sheets[0].size.width(), sheets[0].size.height());
    const QSizeF quarter = sheets[0].size / 2;
    const struct {
        const char* word;
        int sheet;
        double x, y;
    } places[] = {{"P1", 0, 0, 0}, {"P2", 0, quarter.width(), 0}, {"P3", 0, 0, quarter.height()},
                  {"P4", 0, quarter.width(), quarter.height()}, {"P5", 1, 0, 0}};
    for (const auto& p : places) {
        const PdfPageWord* w = sheets[p.sheet].Find(p.word);
        ASSERT_NE(w, nullptr) << p.word;
        EXPECT_NEAR(w->box.left(), p.x + 10 * kPt, 1.5) << p.word;
        EXPECT_NEAR(w->box.top(), p.y + 15 * kPt, 3) << p.word;
    }
}

TEST_F(Jobs, PageErrorEndsTheJobAndFails)
{
    TPvPrinter printer;
    throwOn_ = 2;
    EXPECT_FALSE(PvPrintPages(printer, request(1, 3, 3)));
    EXPECT_EQ(events_, QStringList({"before", "1/3", "after"}));
    EXPECT_EQ(dialogs_.Messages(), QStringList{"TPvPreview Error...\r\rThe page could not be drawn."});
    EXPECT_FALSE(printer.Printing());
    EXPECT_TRUE(QFile::exists(pdf_->JobFile(1)));
    // Nothing is left half done: the same pages print again.
    throwOn_ = 0;
    EXPECT_TRUE(PvPrintPages(printer, request(1, 3, 3)));
    EXPECT_EQ(PdfPageCount(pdf_->JobFile(2)), 3);
}

TEST_F(Jobs, UnwritableFolderOrNoPrinterFails)
{
    TPvPrinter printer;
    ASSERT_TRUE(QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::ExeOwner));
    {
        WithoutFolderOverride asUser;
        EXPECT_FALSE(PvPrintPages(printer, request(1, 1, 1)));
    }
    EXPECT_EQ(dialogs_.Messages().size(), 1);
    EXPECT_EQ(events_, QStringList({"before", "after"}));

    platform::UseNoPrinter();
    events_.clear();
    dialogs_.shown.clear();
    EXPECT_FALSE(PvPrintPages(printer, request(1, 1, 1)));
    EXPECT_EQ(dialogs_.Messages(), QStringList{"TPvPreview Error...\r\rNo printer selected"});
    EXPECT_TRUE(events_.isEmpty());
}

// Through the preview: its events, the header printed on a page that hides it
// on the screen, and text after a text box scaled with its quarter sheet.
TEST_F(Jobs, PreviewPrintsItsPages)
{
    TPvPreview preview;
    preview.Header().CaptionLeft.SetCaption("HEADING");
    preview.Canvas().TextBox(20, 20, 120, 40, "boxed text", taLeftJustify);
    preview.Canvas().TextOut(20, 60, "after");
    preview.GetPage(1)->SetShowHeader(false);
    preview.NewPage();
    preview.Canvas().TextOut(20, 60, "second");
    preview.BeforePrint = [this](TPvPreview*) { events_ << "before"; };
    preview.AfterPrint = [this](TPvPreview*) { events_ << "after"; };
    preview.OnPrintProgress = [this](TPvPreview*, int printed, int total) {
        events_ << QString("%1/%2").arg(printed).arg(total);
    };
    ASSERT_TRUE(preview.Print());
    EXPECT_EQ(events_, QStringList({"before", "1/2", "2/2", "after"}));
    const auto whole = PdfWords(pdf_->JobFile(1));
    ASSERT_EQ(whole.size(), 2);
    EXPECT_TRUE(whole[0].Text().contains("HEADING"));

    preview.SetPagesPerSheet(gmFourPage);
    ASSERT_TRUE(preview.PrintCurrentPage());  // page 2 alone, top-right
    ASSERT_TRUE(preview.PrintRange(1, 1));
    const auto quarter = PdfWords(pdf_->JobFile(3));
    ASSERT_EQ(quarter.size(), 1);
    const PdfPageWord* big = whole[0].Find("after");
    const PdfPageWord* small = quarter[0].Find("after");
    ASSERT_TRUE(big && small);
    EXPECT_NEAR(small->box.height() / big->box.height(), 0.5, 0.05);
    EXPECT_NEAR(small->box.left(), 20 * kPt / 2, 1.5);
    const auto alone = PdfWords(pdf_->JobFile(2));
    ASSERT_EQ(alone.size(), 1);
    const PdfPageWord* second = alone[0].Find("second");
    ASSERT_NE(second, nullptr);
    EXPECT_GT(second->box.left(), whole[0].size.width() / 2);
    EXPECT_TRUE(dialogs_.Messages().isEmpty());
}

}  // namespace
