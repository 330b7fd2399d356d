// The one printer of the process: lists the printers, holds the selected
// printer's page, resolution, orientation and job title, and runs print jobs
// (begin, new page, end, abort) with a painter. Back-ends: the system's CUPS
// queues, PDF files in a folder (chosen only through UsePdfPrinter), and none.
// Callers fetch CurrentPrinter() afresh for each use (the back-end may be
// replaced), call RefreshPrinters() before a job begins (never during one) and
// end or abort every job they begin.
#pragma once

#include <QMarginsF>
#include <QPageSize>
#include <QPoint>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <memory>

class QIODevice;
class QPainter;
class QPdfWriter;

namespace platform {

enum class PrintOrientation { Portrait, Landscape };

class Printer {
public:
    virtual ~Printer();

    // "none", "pdf" or "cups".
    virtual QString Kind() const = 0;

    // The printers as last listed (Refresh lists them again); empty when none
    // is installed. The list does not change while a job is open.
    virtual QStringList PrinterNames() = 0;
    // True when at least one printer is listed.
    bool Installed() { return !PrinterNames().isEmpty(); }
    // The selected printer's position in PrinterNames(), -1 without a printer.
    virtual int PrinterIndex() const = 0;
    // Selects a printer and loads its default settings (page, margins,
    // orientation portrait, no bin). False with an error for a bad index.
    virtual bool SelectPrinter(int index) = 0;
    // Asks the system again which printers there are; nothing while a job is
    // open. A selected printer that went away is dropped (none is selected in
    // its place until ReadyForJob has said so); with none selected, the
    // system's default, else the first, is selected.
    virtual void Refresh() {}
    // Whether a job can begin: true with a printer selected, else false with
    // LastError() saying why: "The printer <name> is no longer available." once
    // for a selected printer that went away, otherwise "No printer selected".
    bool ReadyForJob();

    // Paper bins (input slots) of the selected printer, at most kMaxBins; the
    // selected bin's position, -1 when the printer's default is used.
    static constexpr int kMaxBins = 64;
    virtual QStringList BinNames() { return {}; }
    int BinIndex() const { return bin_; }
    bool SetBinIndex(int index);

    // The page of the selected printer in device pixels, for the current
    // orientation; all 0 without a printer.
    int ResolutionX() const;
    int ResolutionY() const;
    QSize PhysicalSize() const;
    QPoint PrintableOffset() const;
    QSize PrintableSize() const;
    QPageSize PageSize() const { return pageSize_; }

    PrintOrientation Orientation() const { return orientation_; }
    // Refused (false) while a job is open.
    bool SetOrientation(PrintOrientation o);
    QString Title() const { return title_; }
    bool SetTitle(const QString& title);

    // A job. BeginJob gives a painter whose origin is the top-left corner of
    // the printable area, in device pixels at the printer's resolution. Each
    // call says whether it worked; a failure leaves its text in LastError().
    // EndJob is true only when the whole job reached the printer; after a
    // failed NewPage or painting error the caller still ends or aborts.
    bool BeginJob();
    QPainter* Painter() const { return painter_.get(); }
    bool JobOpen() const { return painter_ != nullptr; }
    bool NewPage();
    bool EndJob();
    void AbortJob();
    QString LastError() const { return error_; }

protected:
    Printer();
    bool Fail(const QString& text);
    // Sets the page of a newly selected printer (margins in millimetres).
    void SetPage(const QPageSize& size, const QMarginsF& marginsMm, int dpi);
    // Notes that the selected printer `name` went away; the back-end no longer
    // selects it. The next ReadyForJob reports it.
    void LoseSelection(const QString& name) { lost_ = name; }
    bool SelectionLost() const { return !lost_.isEmpty(); }
    // Opens the device the job's PDF is written to; false with Fail() on error.
    virtual bool OpenOutput() = 0;
    virtual QIODevice* Output() = 0;
    // Hands the finished PDF on; false with Fail() when it did not arrive.
    virtual bool DeliverOutput() = 0;
    virtual void DropOutput() = 0;
    bool HasPrinter() const { return PrinterIndex() >= 0; }

    int bin_ = -1;

private:
    void closeJob();
    void pageMm(QSizeF& sheet, QMarginsF& margins) const;
    struct Sheet {
        QSize physical;
        QPoint offset;
        QSize printable;
    };
    Sheet sheet() const;

    QPageSize pageSize_;
    QMarginsF margins_;   // millimetres, portrait
    int dpi_ = 0;
    PrintOrientation orientation_ = PrintOrientation::Portrait;
    QString title_;
    QString error_;
    QString lost_;
    std::unique_ptr<QPdfWriter> writer_;
    std::unique_ptr<QPainter> painter_;
};

// What the PDF back-end prints on: a page size, a resolution and the
// unprintable margins (millimetres, portrait), and where the files go. Each job
// becomes "<folder>/<baseName>-<job number>.pdf", numbered from 1: written whole
// under a passing name beside it, then renamed into place and synced (at the
// end of the PrintBatch in force, if any).
struct PdfPrinterSetup {
    QString folder;
    QString baseName = QStringLiteral("job");
    QPageSize pageSize = QPageSize(QPageSize::A4);
    int resolution = 1200;
    QMarginsF margins;
    QString printerName = QStringLiteral("PDF");
};

class PdfPrinter;

// A run of print jobs whose files reach the disk together. While one lives,
// each job's file is still written whole under a passing name and renamed
// into place when the job ends, but nothing waits for the disk until End(),
// which syncs them all at once. Batches nest (the outermost one syncs); the
// jobs printed by another back-end (CUPS) have nothing to sync. For the
// thread that prints.
class PrintBatch {
public:
    PrintBatch();
    ~PrintBatch();  // ends the batch when End() has not
    PrintBatch(const PrintBatch&) = delete;
    PrintBatch& operator=(const PrintBatch&) = delete;
    // Waits until the files of the batch's jobs are on the disk. False, with
    // Error() saying why, when they could not be synced.
    bool End();
    QString Error() const { return error_; }

    // The batch in force, null when none (for the back-ends).
    static PrintBatch* Current();
    // Notes a folder whose files were placed without waiting for the disk.
    void Defer(const QString& folder);

private:
    QStringList folders_;
    QString error_;
    bool ended_ = false;
};

// The printer in use. Until one of the Use... calls the system's printers are
// used: CUPS when it lists a printer, none otherwise.
Printer& CurrentPrinter();
// Replace the printer in use (an open job of the previous one is aborted).
// The PDF and none back-ends chosen here stay until the next Use... call.
PdfPrinter& UsePdfPrinter(const PdfPrinterSetup& setup);
void UseNoPrinter();
// CUPS when it lists a printer, none otherwise (CUPS_SERVER is read now).
void UseSystemPrinters();
// The step before a job begins, also taken when a window makes its printer
// object: the printer in use lists the printers again (Printer::Refresh). With
// the system's printers and none found so far, the system is asked again and a
// printer that appeared is used. The system is asked at most once a second;
// nothing happens while a job is open.
void RefreshPrinters();

class NoPrinter : public Printer {
public:
    QString Kind() const override { return QStringLiteral("none"); }
    QStringList PrinterNames() override { return {}; }
    int PrinterIndex() const override { return -1; }
    bool SelectPrinter(int index) override;

protected:
    bool OpenOutput() override;
    QIODevice* Output() override { return nullptr; }
    bool DeliverOutput() override { return false; }
    void DropOutput() override {}
};

class PdfPrinter : public Printer {
public:
    explicit PdfPrinter(PdfPrinterSetup setup);
    ~PdfPrinter() override;
    QString Kind() const override { return QStringLiteral("pdf"); }
    QStringList PrinterNames() override { return {setup_.printerName}; }
    int PrinterIndex() const override { return 0; }
    bool SelectPrinter(int index) override;

    // The file of job n (1-based) and how many jobs were written.
    QString JobFile(int n) const;
    int JobsWritten() const { return written_; }

protected:
    bool OpenOutput() override;
    QIODevice* Output() override;
    bool DeliverOutput() override;
    void DropOutput() override;

private:
    PdfPrinterSetup setup_;
    int jobs_ = 0;
    int written_ = 0;
    struct Job;
    std::unique_ptr<Job> out_;
};

}  // namespace platform
