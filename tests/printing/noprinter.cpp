// Without any printer: nothing is listed, the margins are 0, and every job
// operation says "No printer selected" once and does nothing.
#include "platform/dialogs.h"
#include "platform/printer.h"
#include "printing/pvpreview.h"
#include "printing/pvprinter.h"

#include <gtest/gtest.h>

namespace {

TEST(NoPrinter, ListsNothingAndRefusesJobs)
{
    platform::UseNoPrinter();
    platform::ScriptedDialogs dialogs;
    TPvPrinter printer(QStringLiteral("TPvPreview"));
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    EXPECT_FALSE(printer.GetPrinterSelected());
    EXPECT_TRUE(printer.GetPrinters().isEmpty());
    EXPECT_TRUE(printer.GetPrinterBins().isEmpty());
    EXPECT_EQ(printer.GetPrinterIndex(), -1);
    EXPECT_EQ(printer.GetPrinterBinIndex(), -1);
    EXPECT_EQ(printer.GetTitle(), "");
    EXPECT_EQ(printer.GetOrientation(), gmPortrait);
    for (int side = 0; side < 4; ++side) {
        EXPECT_EQ(printer.PrinterMargin(side).Units, 0);
        EXPECT_EQ(printer.PrinterMargin(side).Pixels, 0);
    }
    EXPECT_EQ(printer.PrinterWidth() + printer.PrinterHeight() + printer.PrinterPpiX(), 0);
    EXPECT_EQ(printer.InchesToPrinterPixels(2), 0);

    struct Case {
        const char* what;
        std::function<bool()> call;
    } cases[] = {
        {"BeginDoc", [&] { return printer.BeginDoc(); }},
        {"EndDoc", [&] { return printer.EndDoc(); }},
        {"GetHandle", [&] { return printer.GetHandle() != nullptr; }},
        {"SetPrinterIndex", [&] { return printer.SetPrinterIndex(0); }},
        {"SetPrinterBinIndex", [&] { return printer.SetPrinterBinIndex(0); }},
    };
    for (const Case& c : cases) {
        dialogs.shown.clear();
        EXPECT_FALSE(c.call()) << c.what;
        EXPECT_EQ(dialogs.Messages(), QStringList{"TPvPreview Error...\r\rNo printer selected"}) << c.what;
    }
    EXPECT_EQ(printer.GetCanvas(), nullptr);
    dialogs.shown.clear();
    printer.Abort();
    EXPECT_FALSE(printer.NewPage());
    EXPECT_TRUE(dialogs.Messages().isEmpty());
}

TEST(NoPrinter, PreviewPrintsNothingAndSaysSoOnce)
{
    platform::UseNoPrinter();
    platform::ScriptedDialogs dialogs;
    TPvPreview preview;
    preview.Canvas().TextOut(10, 10, "never printed");
    int events = 0;
    preview.BeforePrint = preview.AfterPrint = [&](TPvPreview*) { ++events; };
    EXPECT_FALSE(preview.Print());
    EXPECT_EQ(dialogs.Messages(), QStringList{"TPvPreview Error...\r\rNo printer selected"});
    EXPECT_EQ(events, 0);
    EXPECT_TRUE(preview.GetPrinters().isEmpty());
    EXPECT_EQ(preview.Printer().PrinterMargin(0).Units, 0);
    EXPECT_FALSE(preview.Printer().Printing());
    EXPECT_EQ(preview.GetPage(1)->Objects.size(), 1u);  // the page is kept for another try
}

}  // namespace
