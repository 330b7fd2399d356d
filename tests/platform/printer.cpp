// The process's printer: the none back-end refuses every job, the PDF back-end
// reports the page it was given and writes each job into a file of its own.
#include "folder_override.h"
#include "platform/printer.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/mount.h>

using namespace platform;

namespace {

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The bounds of the dark pixels of page 1 at 254 dpi (0.1 mm a pixel),
// snapped to the expected square when within 2 pixels.
QRect blackSquare(const QString& pdf, const QTemporaryDir& dir)
{
    run("pdftoppm", {"-r", "254", "-f", "1", "-l", "1", "-png", pdf, dir.filePath("page")});
    QImage image(dir.filePath("page-1.png"));
    QRect black;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                black |= QRect(x, y, 1, 1);
    const QRect expected(200, 300, 100, 100);
    const auto near = [](int a, int b) { return std::abs(a - b) <= 2; };
    if (near(black.left(), 200) && near(black.top(), 300) && near(black.right(), 299) && near(black.bottom(), 399))
        return expected;
    return black;
}

PdfPrinterSetup setupIn(const QTemporaryDir& dir, QMarginsF margins = {})
{
    PdfPrinterSetup s;
    s.folder = dir.path();
    s.resolution = 600;
    s.margins = margins;
    return s;
}

TEST(Printer, NoneRefusesEverything)
{
    UseNoPrinter();
    Printer& p = CurrentPrinter();
    EXPECT_EQ(p.Kind(), "none");
    EXPECT_TRUE(p.PrinterNames().isEmpty());
    EXPECT_FALSE(p.Installed());
    EXPECT_EQ(p.PrinterIndex(), -1);
    EXPECT_EQ(p.ResolutionX(), 0);
    EXPECT_EQ(p.PhysicalSize(), QSize(0, 0));
    EXPECT_EQ(p.PrintableOffset(), QPoint());
    EXPECT_FALSE(p.BeginJob());
    EXPECT_EQ(p.LastError(), "No printer selected");
    EXPECT_EQ(p.Painter(), nullptr);
    EXPECT_FALSE(p.EndJob());
    EXPECT_FALSE(p.SelectPrinter(0));
    EXPECT_FALSE(p.SetBinIndex(0));
}

TEST(Printer, PdfPageFollowsSetupAndOrientation)
{
    QTemporaryDir dir;
    UsePdfPrinter(setupIn(dir, QMarginsF(4.2, 5, 6, 8)));
    Printer& p = CurrentPrinter();
    EXPECT_EQ(p.Kind(), "pdf");
    EXPECT_EQ(p.PrinterNames(), QStringList{"PDF"});
    EXPECT_EQ(p.PrinterIndex(), 0);
    EXPECT_EQ(p.ResolutionX(), 600);
    EXPECT_NEAR(p.PhysicalSize().width(), 4961, 1);   // 210 mm at 600 dpi
    EXPECT_NEAR(p.PhysicalSize().height(), 7016, 1);  // 297 mm
    EXPECT_NEAR(p.PrintableOffset().x(), 99, 1);      // 4.2 mm
    EXPECT_NEAR(p.PrintableOffset().y(), 118, 1);     // 5 mm
    EXPECT_NEAR(p.PhysicalSize().width() - p.PrintableSize().width() - p.PrintableOffset().x(), 142, 1);
    EXPECT_NEAR(p.PhysicalSize().height() - p.PrintableSize().height() - p.PrintableOffset().y(), 189, 1);
    ASSERT_TRUE(p.SetOrientation(PrintOrientation::Landscape));
    EXPECT_NEAR(p.PhysicalSize().width(), 7016, 1);
    EXPECT_NEAR(p.PhysicalSize().height(), 4961, 1);
    EXPECT_TRUE(p.BinNames().isEmpty());
    EXPECT_FALSE(p.SetBinIndex(3));
    EXPECT_TRUE(p.SetBinIndex(-1));
}

// A filled 10 mm square drawn at (20, 30) mm of the physical page, shifted by
// the printable offset as callers do, lands there on paper.
TEST(Printer, PdfJobsLandOnPaperWhereDrawn)
{
    QTemporaryDir dir;
    PdfPrinter& pdf = UsePdfPrinter(setupIn(dir, QMarginsF(7, 11, 3, 3)));
    Printer& p = CurrentPrinter();
    ASSERT_TRUE(p.SetTitle("Square"));
    ASSERT_TRUE(p.BeginJob());
    EXPECT_FALSE(QFile::exists(pdf.JobFile(1)));  // written under a passing name until whole
    EXPECT_FALSE(p.BeginJob());
    EXPECT_EQ(p.LastError(), "Printing in progress.");
    EXPECT_FALSE(p.SetOrientation(PrintOrientation::Landscape));
    const double px = 600 / 25.4;
    const QPoint off = p.PrintableOffset();
    p.Painter()->fillRect(QRectF(20 * px - off.x(), 30 * px - off.y(), 10 * px, 10 * px), Qt::black);
    ASSERT_TRUE(p.NewPage());
    ASSERT_TRUE(p.EndJob());
    EXPECT_EQ(pdf.JobsWritten(), 1);
    ASSERT_TRUE(QFile::exists(pdf.JobFile(1)));
    EXPECT_TRUE(run("pdfinfo", {pdf.JobFile(1)}).contains(QRegularExpression("Pages:\\s+2")));
    EXPECT_TRUE(run("pdfinfo", {pdf.JobFile(1)}).contains("Square"));

    EXPECT_EQ(blackSquare(pdf.JobFile(1), dir), QRect(200, 300, 100, 100));

    // A second job goes into a file of its own; an aborted one leaves none.
    ASSERT_TRUE(p.BeginJob());
    p.AbortJob();
    EXPECT_FALSE(p.JobOpen());
    ASSERT_TRUE(p.BeginJob());
    ASSERT_TRUE(p.EndJob());
    EXPECT_FALSE(QFile::exists(pdf.JobFile(2)));
    EXPECT_TRUE(QFile::exists(pdf.JobFile(3)));
    EXPECT_EQ(QDir(dir.path()).entryList({"*.pdf*"}, QDir::Files), (QStringList{"job-1.pdf", "job-3.pdf"}));
}

// Inside a batch each job's file is in its place when the job ends, and the
// outermost batch's end syncs them all; it says so when it cannot.
TEST(Printer, ABatchPlacesEachJobAndSyncsAtItsEnd)
{
    QTemporaryDir dir;
    UsePdfPrinter(setupIn(dir));
    {
        PrintBatch outer;
        {
            PrintBatch inner;
            ASSERT_TRUE(CurrentPrinter().BeginJob());
            ASSERT_TRUE(CurrentPrinter().EndJob());
            EXPECT_TRUE(inner.End());
        }
        EXPECT_EQ(PrintBatch::Current(), &outer);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"job-1.pdf"});
        EXPECT_TRUE(outer.End());
        EXPECT_EQ(PrintBatch::Current(), nullptr);
    }
    QTemporaryDir gone;
    UsePdfPrinter(setupIn(gone));
    PrintBatch batch;
    ASSERT_TRUE(CurrentPrinter().BeginJob());
    ASSERT_TRUE(CurrentPrinter().EndJob());
    ASSERT_TRUE(gone.remove());
    EXPECT_FALSE(batch.End());
    EXPECT_TRUE(batch.Error().startsWith("The print files in " + gone.path() + " could not be written to the disk: "))
        << batch.Error().toStdString();
    UseNoPrinter();
}

// The same on a landscape sheet: the printable offset turns with the sheet.
TEST(Printer, PdfLandscapeJobsLandOnPaperWhereDrawn)
{
    QTemporaryDir dir;
    PdfPrinter& pdf = UsePdfPrinter(setupIn(dir, QMarginsF(7, 11, 3, 5)));
    Printer& p = CurrentPrinter();
    ASSERT_TRUE(p.SetOrientation(PrintOrientation::Landscape));
    const QPoint off = p.PrintableOffset();
    EXPECT_NEAR(off.x(), 11 * 600 / 25.4, 1);
    ASSERT_TRUE(p.BeginJob());
    const double px = 600 / 25.4;
    p.Painter()->fillRect(QRectF(20 * px - off.x(), 30 * px - off.y(), 10 * px, 10 * px), Qt::black);
    ASSERT_TRUE(p.EndJob());
    EXPECT_TRUE(run("pdfinfo", {pdf.JobFile(1)}).contains(QRegularExpression("Page size:\\s+84\\d(\\.\\d+)? x 59\\d")));
    EXPECT_EQ(blackSquare(pdf.JobFile(1), dir), QRect(200, 300, 100, 100));
}

TEST(Printer, UnwritableFolderRefusesTheJob)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    UsePdfPrinter(setupIn(dir));
    WithoutFolderOverride asUser;
    Printer& p = CurrentPrinter();
    EXPECT_FALSE(p.BeginJob());
    EXPECT_TRUE(p.LastError().contains("Cannot write the print file")) << p.LastError().toStdString();
    EXPECT_FALSE(p.JobOpen());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

// A job that does not fit on the disk is not taken for printed, and leaves no file.
TEST(Printer, FullDiskFailsTheJob)
{
    QTemporaryDir dir;
    struct SmallDisk {
        QByteArray path;
        bool mounted = ::mount("tmpfs", path.constData(), "tmpfs", 0, "size=64k") == 0;
        ~SmallDisk()
        {
            if (mounted)
                ::umount(path.constData());
        }
    } disk{QFile::encodeName(dir.path())};
    if (!disk.mounted)
        GTEST_SKIP() << "cannot mount a small file system here";
    {
        PdfPrinter& pdf = UsePdfPrinter(setupIn(dir));
        Printer& p = CurrentPrinter();
        ASSERT_TRUE(p.BeginJob());
        QImage noise(400, 400, QImage::Format_RGB32);
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                noise.setPixel(x, y, (x * 7919u + y * 104729u) * 2654435761u);
        for (int page = 0; page < 4; ++page) {
            p.Painter()->drawImage(QPoint(100, 100), noise);
            ASSERT_TRUE(p.NewPage() || page > 0);
        }
        EXPECT_FALSE(p.EndJob());
        EXPECT_TRUE(p.LastError().contains("Cannot write the print file")) << p.LastError().toStdString();
        EXPECT_EQ(pdf.JobsWritten(), 0);
        EXPECT_FALSE(QFile::exists(pdf.JobFile(1)));
        UseNoPrinter();
    }
}

}  // namespace
