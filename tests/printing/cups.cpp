// The system's printers through a private CUPS scheduler: the queue is found
// and chosen, a printed page reaches it as a PDF, a queue that refuses jobs
// fails the job while a stopped one still takes it, and without a scheduler
// there is no printer.
#include "platform/dialogs.h"
#include "platform/printer.h"
#include "printing/pvpreview.h"
#include "printing/pvprinter.h"
#include "printing/pvprinterlist.h"
#include "private_cups.h"

#include <QPainter>
#include <QTest>
#include <QThread>
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

// A queue with three paper bins and a 12 x 14 point unprintable border, which
// takes PDF as it is.
const QString kTraysPpd = R"PPD(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "TRAYS.PPD"
*Manufacturer: "Quillet"
*Product: "(Trays)"
*ModelName: "Quillet Trays"
*ShortNickName: "Quillet Trays"
*NickName: "Quillet Trays"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsFilter: "application/pdf 0 -"
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "12 14 583 828"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
*OpenUI *InputSlot/Paper Source: PickOne
*OrderDependency: 20 AnySetup *InputSlot
*DefaultInputSlot: Upper
*InputSlot Upper/Upper Tray: ""
*InputSlot Lower/Lower Tray: ""
*InputSlot Manual/Manual Feed: ""
*CloseUI: *InputSlot
*DefaultResolution: 600dpi
)PPD";

class Cups : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        cups_ = new PrivateCups;
        ASSERT_TRUE(cups_->Running());
        ASSERT_TRUE(cups_->AddQueue("quillet_raw"));
        ASSERT_TRUE(cups_->AddQueue("trays", kTraysPpd));
        UseSystemPrinters();
    }
    static void TearDownTestSuite()
    {
        UseNoPrinter();
        delete cups_;
        cups_ = nullptr;
    }

    // Prints a page reading `text` from `preview` (a new one when none is
    // given); true when the queue took the job.
    static bool printPage(const QString& text, TPvPreview* preview = nullptr)
    {
        std::unique_ptr<TPvPreview> own;
        if (!preview)
            preview = (own = std::make_unique<TPvPreview>()).get();
        preview->Clear();
        preview->Canvas().TextOut(20, 20, text);
        return preview->Print();
    }

    static PrivateCups* cups_;
};

PrivateCups* Cups::cups_ = nullptr;

TEST_F(Cups, QueueIsListedChosenAndTakesAPage)
{
    Printer& p = CurrentPrinter();
    ASSERT_EQ(p.Kind(), "cups");
    EXPECT_EQ(p.PrinterNames(), QStringList({"quillet_raw", "trays"}));
    EXPECT_EQ(p.PrinterIndex(), 0);
    EXPECT_GT(p.ResolutionX(), 0);
    EXPECT_GT(p.PhysicalSize().height(), p.PhysicalSize().width());
    ASSERT_TRUE(printPage("Printed through the queue")) << p.LastError().toStdString();
    ASSERT_TRUE(cups_->WaitForJob("quillet_raw", 1));
    EXPECT_TRUE(pdfText(cups_->JobFile("quillet_raw", 1)).contains("Printed through the queue"));
}

// The suite's printer picks the second queue, its unprintable border and a
// bin, and the job carries the bin to the queue.
TEST_F(Cups, BinsAndMarginsOfAQueue)
{
    platform::ScriptedDialogs dialogs;
    TPvPreview preview;
    TPvPrinter& printer = preview.Printer();
    preview.SetPrinterIndex(printer.GetIndexOf("trays"));
    EXPECT_EQ(preview.GetPrinterIndex(), 1);
    EXPECT_NEAR(printer.PrinterMargin(0).Units, 423, 3);  // 12 points
    EXPECT_NEAR(printer.PrinterMargin(3).Units, 494, 3);  // 14 points
    const QStringList bins = preview.GetPrinterBins();
    EXPECT_EQ(bins, QStringList({"top", "bottom", "manual"}));  // the scheduler's names of the PPD's slots
    EXPECT_EQ(preview.GetPrinterBinIndex(), -1);
    preview.SetPrinterBinIndex(bins.indexOf("bottom"));
    EXPECT_EQ(preview.GetPrinterBinIndex(), 1);
    ASSERT_TRUE(printPage("From the lower tray", &preview));
    ASSERT_TRUE(cups_->WaitForJob("trays", 2));
    EXPECT_TRUE(cups_->JobOptions("trays", 2).contains("media-source=bottom"))
        << cups_->JobOptions("trays", 2).toStdString();
    EXPECT_TRUE(pdfText(cups_->JobFile("trays", 2)).contains("From the lower tray"));
    // Choosing the printer again loads its defaults: no bin.
    ASSERT_TRUE(printer.SetPrinterIndex(1));
    EXPECT_EQ(printer.GetPrinterBinIndex(), -1);
    EXPECT_FALSE(printer.SetPrinterBinIndex(7));
    EXPECT_EQ(dialogs.Messages().size(), 1);
    ASSERT_TRUE(printer.SetPrinterIndex(0));
}

// The printer list shows the preview's printers with their glyph, selects on
// the preview, follows a printer chosen there, and outlives or dies before it.
TEST_F(Cups, PrinterListFollowsThePreview)
{
    auto preview = std::make_unique<TPvPreview>();
    preview->SetPrinterIndex(0);
    int changes = 0;
    preview->OnChangePrinter = [&](TPvPreview*) { ++changes; };
    auto list = std::make_unique<TPvPrinterList>();
    list->resize(200, 24);
    list->SetPvPreview(preview.get());
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(1), "trays");
    EXPECT_EQ(list->currentIndex(), 0);

    list->setFocus();
    QTest::keyClick(list.get(), Qt::Key_Down);
    EXPECT_EQ(preview->GetPrinterIndex(), 1);
    EXPECT_EQ(changes, 1);
    preview->SetPrinterIndex(0);
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_EQ(changes, 2);

    // The glyph stands at x 3 of the item, the text from x 22.
    QImage item(200, 18, QImage::Format_RGB32);
    {
        QPainter painter(&item);
        list->DrawItem(painter, 1, item.rect(), false);
    }
    item.save(cups_->Folder() + "/printer-item.png");
    const auto darkIn = [&](int x0, int x1) {
        for (int y = 0; y < item.height(); ++y)
            for (int x = x0; x < x1; ++x)
                if (qGray(item.pixel(x, y)) < 100)
                    return true;
        return false;
    };
    EXPECT_FALSE(darkIn(0, 3));
    EXPECT_TRUE(darkIn(3, 19));
    EXPECT_TRUE(darkIn(22, 60));

    list.reset();
    preview->SetPrinterIndex(1);  // no list left to tell
    auto orphan = std::make_unique<TPvPrinterList>();
    orphan->SetPvPreview(preview.get());
    preview.reset();
    EXPECT_EQ(orphan->Preview(), nullptr);
    CurrentPrinter().SelectPrinter(0);
}

TEST_F(Cups, RejectingQueueFailsTheJobStoppedQueueTakesIt)
{
    Printer& p = CurrentPrinter();
    ASSERT_TRUE(p.SelectPrinter(p.PrinterNames().indexOf("quillet_raw")));
    ASSERT_TRUE(cups_->admin("cupsreject", {"quillet_raw"}));
    platform::ScriptedDialogs dialogs;
    EXPECT_FALSE(printPage("refused"));
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages()[0].contains("did not accept the job")) << dialogs.Messages()[0].toStdString();
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

// Queues that come and go are seen between jobs, without a restart: one
// added later is used, a selected one that went away is named once and
// nothing is sent, and a scheduler stopped during a job leaves no job open.
TEST_F(Cups, QueuesThatComeAndGoBetweenJobs)
{
    platform::ScriptedDialogs dialogs;
    const auto said = [&] { return dialogs.Messages().isEmpty() ? QString() : dialogs.Messages().last(); };
    const auto pastTheListingPause = [] { QThread::msleep(1100); };  // the scheduler is asked at most once a second
    ASSERT_TRUE(cups_->admin("lpadmin", {"-x", "quillet_raw"}));
    ASSERT_TRUE(cups_->admin("lpadmin", {"-x", "trays"}));
    UseSystemPrinters();
    EXPECT_FALSE(printPage("nowhere"));
    EXPECT_TRUE(said().endsWith("No printer selected")) << said().toStdString();

    pastTheListingPause();
    ASSERT_TRUE(cups_->AddQueue("later"));
    ASSERT_TRUE(printPage("found later")) << said().toStdString();
    ASSERT_TRUE(cups_->WaitForJobs("later", 1));
    EXPECT_TRUE(pdfText(cups_->Folder() + "/out/" + cups_->JobFiles("later")[0]).contains("found later"));

    ASSERT_TRUE(cups_->AddQueue("second"));
    ASSERT_TRUE(cups_->admin("lpadmin", {"-x", "later"}));
    pastTheListingPause();
    EXPECT_FALSE(printPage("lost"));
    EXPECT_TRUE(said().endsWith("The printer later is no longer available.")) << said().toStdString();
    EXPECT_EQ(CurrentPrinter().PrinterIndex(), -1);  // nothing else was chosen by itself
    EXPECT_TRUE(printPage("on the default")) << said().toStdString();
    ASSERT_TRUE(cups_->WaitForJobs("second", 1));
    EXPECT_TRUE(cups_->JobFiles("later").size() == 1);

    TPvPreview preview;
    preview.OnPrintProgress = [&](TPvPreview*, int, int) {
        cups_->Stop();
        pastTheListingPause();
    };
    EXPECT_FALSE(printPage("scheduler gone", &preview));
    EXPECT_FALSE(preview.Printer().Printing());
    ASSERT_TRUE(cups_->Start());
    preview.OnPrintProgress = nullptr;
    EXPECT_TRUE(printPage("scheduler back", &preview)) << said().toStdString();
    ASSERT_TRUE(cups_->WaitForJobs("second", 2));
}

}  // namespace
