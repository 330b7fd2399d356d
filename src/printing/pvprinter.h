// The preview suite's printer: a thin layer over the process's printer
// (platform::CurrentPrinter) that lists and selects printers and paper bins,
// gives the page, printable area, resolution and unprintable margins, and runs
// one print job at a time with a canvas on the printer. Misuse is shown through
// ShowPvError under the owner's class name and the call returns; every call
// that can fail says whether it worked.
#pragma once

#include "printing/pvtypes.h"

#include <QPoint>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace platform {
class Canvas;
class Printer;
}  // namespace platform

class TPvPrinter {
public:
    // `ownerClass` names the owner in messages ("TPvPreview").
    explicit TPvPrinter(QString ownerClass = QStringLiteral("TPvPrinter"));
    ~TPvPrinter();
    TPvPrinter(const TPvPrinter&) = delete;
    TPvPrinter& operator=(const TPvPrinter&) = delete;

    // A printer counts as selected when at least one is listed.
    bool GetPrinterSelected() const;
    bool GetPrinterInstalled() const { return GetPrinterSelected(); }

    // The step before a job: the printers are listed again. Empty when a
    // printer is ready, else why not ("No printer selected", or the selected
    // printer that went away since the last job), for the caller to show.
    QString PrepareJob();
    // The job. BeginDoc refuses a second job; EndDoc is true only when the
    // whole job reached the printer, and always closes an open job. A failure
    // is shown once, here.
    bool BeginDoc();
    bool EndDoc();
    void Abort();
    bool NewPage();
    bool Printing() const { return printing_; }
    // The printer's canvas while a job is open (origin at the printable area's
    // top-left corner, in printer pixels), else none.
    platform::Canvas* GetCanvas() const;
    // The printer the queries go to; without a printer "No printer selected" and none.
    platform::Printer* GetHandle() const;

    // Printers as last listed (PrepareJob and the constructor list them
    // again); bins, listed afresh.
    const QStringList& GetPrinters();
    int GetIndexOf(const QString& name) { return GetPrinters().indexOf(name); }
    int GetPrinterIndex() const;
    bool SetPrinterIndex(int index);
    const QStringList& GetPrinterBins();
    int GetPrinterBinIndex() const;
    bool SetPrinterBinIndex(int index);
    // Printer names carry no server prefix on this system; the switch is kept.
    bool GetShowServer() const { return showServer_; }
    void SetShowServer(bool show) { showServer_ = show; }

    TPvOrientation GetOrientation() const;
    void SetOrientation(TPvOrientation o);
    QString GetTitle() const;
    void SetTitle(const QString& title);

    // The page in printer pixels; 0 without a printer.
    int PrinterWidth() const;
    int PrinterHeight() const;
    int AvailableWidth() const;
    int AvailableHeight() const;
    QPoint GetOffset() const;
    int PrinterPpiX() const;
    int PrinterPpiY() const;
    int InchesToPrinterPixels(long double inches) const;

    // The unprintable margin of a side (0 left, 1 top, 2 right, 3 bottom), from
    // the printer; and as stored by the last UpdatePrinterMargins.
    TPvUnits GetPrinterMargin(int side) const;
    const TPvUnits& PrinterMargin(int side) const { return margins_[side & 3]; }
    void UpdatePrinterMargins();
    // Loads the selected printer's default settings afresh, then the margins.
    void ResetPrinter();

private:
    void error(const QString& message) const;
    // Applies a setting of the selected printer; a refusal is shown.
    bool change(const std::function<bool(platform::Printer&)>& setting);

    QStringList bins_;
    QStringList printers_;
    bool printing_ = false;
    QString owner_;
    TPvUnits margins_[4];
    bool showServer_ = false;
    std::unique_ptr<platform::Canvas> canvas_;
};
