// The system's printers through a private CUPS scheduler: the queue is found
// and chosen, a printed page reaches it as a PDF, a queue that refuses jobs
// fails the job while a stopped one still takes it, and without a scheduler
// there is no printer.
#include "platform/printer.h"
#include "private_cups.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace platform;

namespace {

QString pdfText(const QString& file)
{
    QProcess p;
    p.start("pdftotext", {file, "-"});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

class Cups : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        cups_ = new PrivateCups;
        ASSERT_TRUE(cups_->Running());
        ASSERT_TRUE(cups_->AddQueue("quillet_raw"));
        UseSystemPrinters();
    }
    static void TearDownTestSuite()
    {
        UseNoPrinter();
        delete cups_;
        cups_ = nullptr;
    }

    // Prints one page reading `text`; true when the queue took the job.
    static bool printPage(const QString& text)
    {
        Printer& p = CurrentPrinter();
        if (!p.BeginJob())
            return false;
        QFont font("Liberation Sans");
        font.setPixelSize(p.ResolutionY() / 4);
        p.Painter()->setFont(font);
        p.Painter()->drawText(p.ResolutionX(), p.ResolutionY(), text);
        return p.EndJob();
    }

    static PrivateCups* cups_;
};

PrivateCups* Cups::cups_ = nullptr;

TEST_F(Cups, QueueIsListedChosenAndTakesAPage)
{
    Printer& p = CurrentPrinter();
    ASSERT_EQ(p.Kind(), "cups");
    EXPECT_EQ(p.PrinterNames(), QStringList{"quillet_raw"});
    EXPECT_EQ(p.PrinterIndex(), 0);
    EXPECT_GT(p.ResolutionX(), 0);
    EXPECT_GT(p.PhysicalSize().height(), p.PhysicalSize().width());
    ASSERT_TRUE(p.SetTitle("Cheque run"));
    ASSERT_TRUE(printPage("Printed through the queue")) << p.LastError().toStdString();
    ASSERT_TRUE(cups_->WaitForJob("quillet_raw", 1));
    EXPECT_TRUE(pdfText(cups_->JobFile("quillet_raw", 1)).contains("Printed through the queue"));
}

TEST_F(Cups, RejectingQueueFailsTheJobStoppedQueueTakesIt)
{
    Printer& p = CurrentPrinter();
    ASSERT_TRUE(cups_->admin("cupsreject", {"quillet_raw"}));
    EXPECT_FALSE(printPage("refused"));
    EXPECT_TRUE(p.LastError().contains("did not accept the job")) << p.LastError().toStdString();
    EXPECT_FALSE(p.JobOpen());
    ASSERT_TRUE(cups_->admin("cupsaccept", {"quillet_raw"}));
    ASSERT_TRUE(cups_->admin("cupsdisable", {"quillet_raw"}));
    EXPECT_TRUE(printPage("held")) << p.LastError().toStdString();
    ASSERT_TRUE(cups_->admin("cupsenable", {"quillet_raw"}));
}

TEST_F(Cups, NoSchedulerMeansNoPrinter)
{
    const QByteArray saved = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", (cups_->Folder() + "/nobody.sock").toUtf8());
    UseSystemPrinters();
    EXPECT_EQ(CurrentPrinter().Kind(), "none");
    EXPECT_FALSE(CurrentPrinter().BeginJob());
    qputenv("CUPS_SERVER", saved);
    UseSystemPrinters();
    EXPECT_EQ(CurrentPrinter().Kind(), "cups");
}

}  // namespace
