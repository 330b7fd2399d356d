#include "printing/pvprinter.h"

#include "platform/canvas.h"
#include "platform/printer.h"
#include "printing/pvunits.h"

#include <QPainter>

using platform::CurrentPrinter;

TPvPrinter::TPvPrinter(QString ownerClass) : owner_(std::move(ownerClass))
{
    platform::RefreshPrinters();
    platform::Printer& printer = CurrentPrinter();
    if (!printer.JobOpen() && printer.PrinterIndex() >= 0)
        printer.SelectPrinter(printer.PrinterIndex());
    SetTitle(QStringLiteral("<document>"));
    UpdatePrinterMargins();
}

TPvPrinter::~TPvPrinter()
{
    if (printing_)
        Abort();
}

void TPvPrinter::error(const QString& message) const
{
    ShowPvError(owner_, message);
}

bool TPvPrinter::GetPrinterSelected() const
{
    return CurrentPrinter().Installed();
}

QString TPvPrinter::PrepareJob()
{
    platform::RefreshPrinters();
    platform::Printer& printer = CurrentPrinter();
    if (printer.JobOpen() || printer.ReadyForJob())
        return {};  // an open job is refused by BeginDoc
    return printer.LastError();
}

bool TPvPrinter::BeginDoc()
{
    if (!GetPrinterSelected()) {
        error(kPvMsgNoPrinter);
        return false;
    }
    if (printing_) {
        error(kPvMsgPrinting);
        return false;
    }
    platform::Printer& printer = CurrentPrinter();
    if (!printer.BeginJob()) {
        error(printer.LastError());
        return false;
    }
    printing_ = true;
    canvas_ = std::make_unique<platform::Canvas>(printer.ResolutionX());
    canvas_->Begin(printer.Painter());
    return true;
}

bool TPvPrinter::EndDoc()
{
    // An open job is ended whatever became of the printers meanwhile, so that
    // the next job can begin.
    if (!printing_) {
        error(kPvMsgNoPrinter);
        return false;
    }
    canvas_->End();
    canvas_.reset();
    printing_ = false;
    platform::Printer& printer = CurrentPrinter();
    if (!printer.EndJob()) {
        error(printer.LastError());
        return false;
    }
    return true;
}

void TPvPrinter::Abort()
{
    if (!printing_)
        return;
    canvas_->End();
    canvas_.reset();
    printing_ = false;
    CurrentPrinter().AbortJob();
}

bool TPvPrinter::NewPage()
{
    if (!printing_)
        return false;
    platform::Printer& printer = CurrentPrinter();
    // The canvas's painter state (pen, clip) does not carry over a page break.
    canvas_->End();
    const bool ok = printer.NewPage();
    canvas_->Begin(printer.Painter());
    if (!ok)
        error(printer.LastError());
    return ok;
}

platform::Canvas* TPvPrinter::GetCanvas() const
{
    return printing_ ? canvas_.get() : nullptr;
}

platform::Printer* TPvPrinter::GetHandle() const
{
    if (!GetPrinterSelected()) {
        error(kPvMsgNoPrinter);
        return nullptr;
    }
    return &CurrentPrinter();
}

const QStringList& TPvPrinter::GetPrinters()
{
    printers_ = CurrentPrinter().PrinterNames();
    return printers_;
}

int TPvPrinter::GetPrinterIndex() const
{
    return GetPrinterSelected() ? CurrentPrinter().PrinterIndex() : -1;
}

bool TPvPrinter::change(const std::function<bool(platform::Printer&)>& setting)
{
    if (!GetPrinterSelected()) {
        error(kPvMsgNoPrinter);
        return false;
    }
    if (!setting(CurrentPrinter())) {
        error(CurrentPrinter().LastError());
        return false;
    }
    return true;
}

bool TPvPrinter::SetPrinterIndex(int index)
{
    if (!change([index](platform::Printer& p) { return p.SelectPrinter(index); }))
        return false;
    ResetPrinter();
    return true;
}

const QStringList& TPvPrinter::GetPrinterBins()
{
    bins_.clear();
    if (GetPrinterSelected())
        bins_ = CurrentPrinter().BinNames();
    return bins_;
}

int TPvPrinter::GetPrinterBinIndex() const
{
    return GetPrinterSelected() ? CurrentPrinter().BinIndex() : -1;
}

bool TPvPrinter::SetPrinterBinIndex(int index)
{
    return change([index](platform::Printer& p) { return p.SetBinIndex(index); });
}

TPvOrientation TPvPrinter::GetOrientation() const
{
    if (!GetPrinterSelected())
        return gmPortrait;
    return CurrentPrinter().Orientation() == platform::PrintOrientation::Landscape ? gmLandscape : gmPortrait;
}

void TPvPrinter::SetOrientation(TPvOrientation o)
{
    if (GetPrinterSelected() && o != GetOrientation())
        CurrentPrinter().SetOrientation(o == gmLandscape ? platform::PrintOrientation::Landscape
                                                         : platform::PrintOrientation::Portrait);
}

QString TPvPrinter::GetTitle() const
{
    return GetPrinterSelected() ? CurrentPrinter().Title() : QString();
}

void TPvPrinter::SetTitle(const QString& title)
{
    if (GetPrinterSelected() && !printing_)
        CurrentPrinter().SetTitle(title);
}

int TPvPrinter::PrinterWidth() const { return CurrentPrinter().PhysicalSize().width(); }
int TPvPrinter::PrinterHeight() const { return CurrentPrinter().PhysicalSize().height(); }
int TPvPrinter::AvailableWidth() const { return CurrentPrinter().PrintableSize().width(); }
int TPvPrinter::AvailableHeight() const { return CurrentPrinter().PrintableSize().height(); }
QPoint TPvPrinter::GetOffset() const { return CurrentPrinter().PrintableOffset(); }
int TPvPrinter::PrinterPpiX() const { return CurrentPrinter().ResolutionX(); }
int TPvPrinter::PrinterPpiY() const { return CurrentPrinter().ResolutionY(); }

int TPvPrinter::InchesToPrinterPixels(long double inches) const
{
    return PvRound(PrinterPpiX() * inches);
}

TPvUnits TPvPrinter::GetPrinterMargin(int side) const
{
    TPvUnits m;
    const long double px = PrinterPpiX();
    const long double py = PrinterPpiY();
    if (!GetPrinterSelected() || px <= 0 || py <= 0)
        return m;
    const QPoint o = GetOffset();
    long double inches = 0;
    switch (side) {
    case 0: inches = o.x() / px; break;
    case 1: inches = o.y() / py; break;
    case 2: inches = (PrinterWidth() - AvailableWidth() - o.x()) / px; break;
    case 3: inches = (PrinterHeight() - AvailableHeight() - o.y()) / py; break;
    default: return m;
    }
    m.Units = PvRound(ConvertPvUnits(inches, PvInches, PvUnits));
    return m;
}

void TPvPrinter::UpdatePrinterMargins()
{
    for (int side = 0; side < 4; ++side) {
        margins_[side] = GetPrinterMargin(side);
        FillPvUnits(margins_[side]);
    }
}

void TPvPrinter::ResetPrinter()
{
    if (GetPrinterSelected()) {
        platform::Printer& printer = CurrentPrinter();
        printer.SelectPrinter(printer.PrinterIndex());
    }
    UpdatePrinterMargins();
}
