// The suite's printer over the PDF back-end: unprintable margins as the
// printer reports them, one job at a time, and its failures shown once.
#include "folder_override.h"
#include "pdf_pages.h"
#include "platform/canvas.h"
#include "platform/dialogs.h"
#include "platform/printer.h"
#include "printing/pvprinter.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

platform::PdfPrinter& usePdf(const QTemporaryDir& dir, QMarginsF margins)
{
    return UseTestPdfPrinter(dir, margins);
}

TEST(PrinterPdf, MarginsSizesAndSettings)
{
    QTemporaryDir dir;
    usePdf(dir, QMarginsF(4.2, 5, 6.35, 12.7));
    platform::ScriptedDialogs dialogs;
    TPvPrinter printer;
    EXPECT_EQ(printer.GetPrinters(), QStringList{"PDF"});
    EXPECT_EQ(printer.GetIndexOf("PDF"), 0);
    EXPECT_EQ(printer.GetIndexOf("Other"), -1);
    EXPECT_EQ(printer.GetPrinterIndex(), 0);
    EXPECT_EQ(printer.GetTitle(), "<document>");
    EXPECT_EQ(printer.PrinterPpiX(), 600);
    EXPECT_EQ(printer.InchesToPrinterPixels(1.5L), 900);
    // Margins come back through whole printer pixels (1/600 inch).
    EXPECT_NEAR(printer.PrinterMargin(0).Units, 420, 4);
    EXPECT_NEAR(printer.PrinterMargin(1).Units, 500, 4);
    EXPECT_NEAR(printer.PrinterMargin(2).Units, 635, 4);
    EXPECT_EQ(printer.PrinterMargin(3).Units, 1270);
    EXPECT_EQ(printer.PrinterMargin(3).Pixels, 48);  // half an inch at 96 dpi
    EXPECT_EQ(printer.PrinterMargin(3).Millimeters, 12.7L);

    printer.SetOrientation(gmLandscape);
    EXPECT_EQ(printer.GetOrientation(), gmLandscape);
    EXPECT_GT(printer.PrinterWidth(), printer.PrinterHeight());
    printer.UpdatePrinterMargins();
    EXPECT_EQ(printer.PrinterMargin(0).Units, printer.GetPrinterMargin(0).Units);
    // Selecting the printer again brings back its defaults.
    EXPECT_TRUE(printer.SetPrinterIndex(0));
    EXPECT_EQ(printer.GetOrientation(), gmPortrait);
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    EXPECT_FALSE(printer.SetPrinterIndex(3));
    EXPECT_FALSE(printer.SetPrinterBinIndex(7));
    EXPECT_EQ(dialogs.Messages().size(), 2);
}

TEST(PrinterPdf, OneJobAtATime)
{
    QTemporaryDir dir;
    platform::PdfPrinter& pdf = usePdf(dir, QMarginsF(5, 5, 5, 5));
    platform::ScriptedDialogs dialogs;
    TPvPrinter printer(QStringLiteral("TPvPreview"));
    EXPECT_FALSE(printer.EndDoc());
    EXPECT_EQ(dialogs.Messages(), QStringList{"TPvPreview Error...\r\rNo printer selected"});
    dialogs.shown.clear();
    ASSERT_TRUE(printer.BeginDoc());
    ASSERT_NE(printer.GetCanvas(), nullptr);
    EXPECT_EQ(printer.GetCanvas()->Dpi(), 600);
    printer.SetTitle("changed while printing");
    EXPECT_FALSE(printer.BeginDoc());
    EXPECT_EQ(dialogs.Messages(),
              QStringList{"TPvPreview Error...\r\rUnable to initialise printer... Printing in progress."});
    printer.GetCanvas()->TextOut(100, 100, "first page");
    EXPECT_TRUE(printer.NewPage());
    printer.GetCanvas()->TextOut(100, 100, "second page");
    EXPECT_TRUE(printer.EndDoc());
    EXPECT_EQ(printer.GetCanvas(), nullptr);
    EXPECT_EQ(printer.GetTitle(), "<document>");
    EXPECT_EQ(pdf.JobsWritten(), 1);
    EXPECT_TRUE(QFile::exists(pdf.JobFile(1)));
}

TEST(PrinterPdf, UnwritableFolderIsShownOnce)
{
    QTemporaryDir dir;
    usePdf(dir, {});
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    WithoutFolderOverride asUser;
    platform::ScriptedDialogs dialogs;
    TPvPrinter printer;
    EXPECT_FALSE(printer.BeginDoc());
    EXPECT_FALSE(printer.Printing());
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages()[0].contains("Cannot write the print file"));
}

}  // namespace
