#include "platform/printer.h"

#include "platform/file_attributes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace platform {

// printer_cups.cpp: the CUPS printer, null when CUPS lists no printer; and
// forgetting the scheduler found so far, so that CUPS_SERVER is read again.
std::unique_ptr<Printer> MakeCupsPrinter();
void ForgetCupsServer();

namespace {

const QString kNoPrinter = QStringLiteral("No printer selected");
const QString kJobOpen = QStringLiteral("Printing in progress.");

std::unique_ptr<Printer>& Slot()
{
    static std::unique_ptr<Printer> printer;
    return printer;
}

// Whether the printer in use came from UseSystemPrinters (and may be replaced
// by RefreshPrinters when the system's printers appear).
bool& SystemChosen()
{
    static bool chosen = false;
    return chosen;
}

void Replace(std::unique_ptr<Printer> next, bool system = false)
{
    auto& slot = Slot();
    if (slot && slot->JobOpen())
        slot->AbortJob();
    slot = std::move(next);
    SystemChosen() = system;
}

}  // namespace

Printer::Printer() = default;
Printer::~Printer() = default;

bool Printer::Fail(const QString& text)
{
    error_ = text;
    return false;
}

void Printer::SetPage(const QPageSize& size, const QMarginsF& marginsMm, int dpi)
{
    pageSize_ = size;
    margins_ = marginsMm;
    dpi_ = dpi;
    orientation_ = PrintOrientation::Portrait;
    bin_ = -1;
    lost_.clear();
}

bool Printer::ReadyForJob()
{
    if (!lost_.isEmpty()) {
        const QString name = std::exchange(lost_, QString());
        return Fail(QStringLiteral("The printer %1 is no longer available.").arg(name));
    }
    return HasPrinter() || Fail(kNoPrinter);
}

bool Printer::SetBinIndex(int index)
{
    if (!HasPrinter())
        return Fail(kNoPrinter);
    if (index != -1 && (index < 0 || index >= BinNames().size()))
        return Fail(QStringLiteral("There is no paper bin %1 on this printer.").arg(index));
    bin_ = index;
    return true;
}

int Printer::ResolutionX() const { return HasPrinter() ? dpi_ : 0; }
int Printer::ResolutionY() const { return HasPrinter() ? dpi_ : 0; }

// The page in millimetres for the current orientation, and the unprintable
// margins turned with it (a landscape sheet is the portrait one turned left).
void Printer::pageMm(QSizeF& sheet, QMarginsF& margins) const
{
    sheet = pageSize_.size(QPageSize::Millimeter);
    margins = margins_;
    if (orientation_ == PrintOrientation::Landscape) {
        sheet.transpose();
        margins = QMarginsF(margins_.top(), margins_.right(), margins_.bottom(), margins_.left());
    }
}

static int Pixels(double mm, int dpi)
{
    return int(std::lround(mm * dpi / 25.4));
}

// The sheet, the printable offset and the printable size in device pixels;
// all empty without a printer.
Printer::Sheet Printer::sheet() const
{
    if (!HasPrinter() || !pageSize_.isValid())
        return {QSize(0, 0), QPoint(0, 0), QSize(0, 0)};
    QSizeF mm;
    QMarginsF m;
    pageMm(mm, m);
    Sheet s;
    s.physical = QSize(Pixels(mm.width(), dpi_), Pixels(mm.height(), dpi_));
    s.offset = QPoint(Pixels(m.left(), dpi_), Pixels(m.top(), dpi_));
    s.printable = QSize(Pixels(mm.width() - m.right(), dpi_) - s.offset.x(),
                        Pixels(mm.height() - m.bottom(), dpi_) - s.offset.y());
    return s;
}

QSize Printer::PhysicalSize() const { return sheet().physical; }
QPoint Printer::PrintableOffset() const { return sheet().offset; }
QSize Printer::PrintableSize() const { return sheet().printable; }

bool Printer::SetOrientation(PrintOrientation o)
{
    if (JobOpen())
        return Fail(kJobOpen);
    orientation_ = o;
    return true;
}

bool Printer::SetTitle(const QString& title)
{
    if (JobOpen())
        return Fail(kJobOpen);
    title_ = title;
    return true;
}

bool Printer::BeginJob()
{
    if (!ReadyForJob())
        return false;
    if (JobOpen())
        return Fail(kJobOpen);
    if (!pageSize_.isValid() || dpi_ <= 0)
        return Fail(QStringLiteral("The printer reports no page size."));
    if (!OpenOutput())
        return false;
    writer_ = std::make_unique<QPdfWriter>(Output());
    writer_->setResolution(dpi_);
    writer_->setTitle(title_);
    writer_->setCreator(QStringLiteral("Quillet"));
    QSizeF sheet;
    QMarginsF margins;
    pageMm(sheet, margins);
    QPageLayout layout(pageSize_, orientation_ == PrintOrientation::Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       margins, QPageLayout::Millimeter, QMarginsF());
    writer_->setPageLayout(layout);
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(writer_.get())) {
        painter_.reset();
        writer_.reset();
        DropOutput();
        return Fail(QStringLiteral("The print job could not be started."));
    }
    return true;
}

bool Printer::NewPage()
{
    if (!JobOpen())
        return Fail(kNoPrinter);
    if (!writer_->newPage())
        return Fail(QStringLiteral("The printer could not start a new page."));
    return true;
}

void Printer::closeJob()
{
    painter_.reset();
    writer_.reset();
}

bool Printer::EndJob()
{
    if (!JobOpen())
        return Fail(kNoPrinter);
    const bool ended = painter_->end();
    closeJob();
    if (!ended) {
        DropOutput();
        return Fail(QStringLiteral("The print job could not be finished."));
    }
    return DeliverOutput();
}

void Printer::AbortJob()
{
    if (!JobOpen())
        return;
    painter_->end();
    closeJob();
    DropOutput();
}

// ---- none

bool NoPrinter::SelectPrinter(int) { return Fail(kNoPrinter); }
bool NoPrinter::OpenOutput() { return Fail(kNoPrinter); }

// ---- PDF files

namespace {

// Passes writes on to a file and remembers any that did not go through whole:
// a write cut short by a full disk reports no error of its own.
class CheckedOutput : public QIODevice {
public:
    explicit CheckedOutput(QIODevice* target) : target_(target) { open(QIODevice::WriteOnly); }
    bool Failed() const { return failed_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override
    {
        const qint64 written = target_->write(data, len);
        if (written != len)
            failed_ = true;
        return written;
    }

private:
    QIODevice* target_;
    bool failed_ = false;
};

// A print file under a passing name beside its final one, opened only when
// no file has that name: "<final>.part-<process>-<n>".
bool OpenPassingFile(QFile& file, const QString& finalName)
{
    static int opened = 0;
    for (int tries = 0; tries < 100; ++tries) {
        file.setFileName(
            QStringLiteral("%1.part-%2-%3").arg(finalName).arg(QCoreApplication::applicationPid()).arg(++opened));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        if (!file.exists())
            return false;  // refused for another reason than the name
    }
    return false;
}

QString SystemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

}  // namespace

struct PdfPrinter::Job {
    QFile file;  // under its passing name until placed
    QString finalName;
    CheckedOutput out{&file};

    // Puts the whole file in its final name's place: synced, renamed and the
    // folder synced; inside a PrintBatch renamed at once and its sync left to
    // the batch's end (its writing is started, so that the name does not
    // reach the disk long before the bytes). False with errno set when it
    // could not be placed; the passing file is then removed.
    bool place()
    {
        PrintBatch* batch = PrintBatch::Current();
        const int fd = file.handle();
        if (batch)
            ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
        int error = batch || ::fdatasync(fd) == 0 ? 0 : errno;
        file.close();
        const QByteArray passing = QFile::encodeName(file.fileName());
        if (error == 0 && ::rename(passing.constData(), QFile::encodeName(finalName).constData()) != 0)
            error = errno;
        if (error != 0) {
            ::unlink(passing.constData());
            errno = error;
            return false;
        }
        const QString folder = QFileInfo(finalName).absolutePath();
        if (batch) {
            batch->Defer(folder);
            return true;
        }
        return syncFolder(folder);
    }
};

PdfPrinter::PdfPrinter(PdfPrinterSetup setup) : setup_(std::move(setup))
{
    SetPage(setup_.pageSize, setup_.margins, setup_.resolution);
}

PdfPrinter::~PdfPrinter()
{
    AbortJob();
}

bool PdfPrinter::SelectPrinter(int index)
{
    if (index != 0)
        return Fail(QStringLiteral("There is no printer %1.").arg(index));
    SetPage(setup_.pageSize, setup_.margins, setup_.resolution);
    return true;
}

QString PdfPrinter::JobFile(int n) const
{
    return QDir(setup_.folder).filePath(QStringLiteral("%1-%2.pdf").arg(setup_.baseName).arg(n));
}

bool PdfPrinter::OpenOutput()
{
    out_ = std::make_unique<Job>();
    out_->finalName = JobFile(jobs_ + 1);
    if (!OpenPassingFile(out_->file, out_->finalName)) {
        const QString why = out_->file.errorString();
        out_.reset();
        return Fail(QStringLiteral("Cannot write the print file %1: %2").arg(JobFile(jobs_ + 1), why));
    }
    ++jobs_;
    return true;
}

QIODevice* PdfPrinter::Output() { return out_ ? &out_->out : nullptr; }

bool PdfPrinter::DeliverOutput()
{
    if (!out_)
        return Fail(kNoPrinter);
    const QString name = out_->finalName;
    // A write that failed while the file buffered it shows only when the
    // buffer goes out.
    const bool whole = !out_->out.Failed() && out_->file.flush() && out_->file.error() == QFileDevice::NoError;
    const QString why = !whole ? out_->file.errorString() : out_->place() ? QString() : SystemError(errno);
    if (!whole)
        DropOutput();
    out_.reset();
    if (!why.isEmpty() || !whole)
        return Fail(QStringLiteral("Cannot write the print file %1: %2").arg(name, why));
    ++written_;
    return true;
}

void PdfPrinter::DropOutput()
{
    if (out_) {
        out_->file.close();
        out_->file.remove();
    }
    out_.reset();
}

// ---- a batch of jobs

namespace {

PrintBatch* activeBatch = nullptr;

}  // namespace

PrintBatch::PrintBatch()
{
    if (!activeBatch)
        activeBatch = this;
}

PrintBatch::~PrintBatch()
{
    End();
}

PrintBatch* PrintBatch::Current() { return activeBatch; }

void PrintBatch::Defer(const QString& folder)
{
    if (!folders_.contains(folder))
        folders_.append(folder);
}

bool PrintBatch::End()
{
    if (ended_)
        return error_.isEmpty();
    ended_ = true;
    if (activeBatch != this)
        return true;  // an inner batch: the outermost one syncs
    activeBatch = nullptr;
    // one sync of each file system the files went to: their bytes, their
    // names and the folders that hold them
    for (const QString& folder : folders_) {
        const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 || ::syncfs(fd) != 0) {
            const int error = errno;
            if (error_.isEmpty())
                error_ = QStringLiteral("The print files in %1 could not be written to the disk: %2")
                             .arg(QDir::toNativeSeparators(folder), SystemError(error));
        }
        if (fd >= 0)
            ::close(fd);
    }
    folders_.clear();
    return error_.isEmpty();
}

// ---- the printer in use

Printer& CurrentPrinter()
{
    if (!Slot())
        UseSystemPrinters();
    return *Slot();
}

PdfPrinter& UsePdfPrinter(const PdfPrinterSetup& setup)
{
    auto printer = std::make_unique<PdfPrinter>(setup);
    PdfPrinter& ref = *printer;
    Replace(std::move(printer));
    return ref;
}

void UseNoPrinter()
{
    Replace(std::make_unique<NoPrinter>());
}

void UseSystemPrinters()
{
    ForgetCupsServer();
    std::unique_ptr<Printer> cups = MakeCupsPrinter();
    Replace(cups ? std::move(cups) : std::make_unique<NoPrinter>(), true);
}

void RefreshPrinters()
{
    if (!Slot()) {
        UseSystemPrinters();
        return;
    }
    Printer& printer = *Slot();
    if (printer.JobOpen())
        return;
    if (!SystemChosen() || printer.Kind() != QStringLiteral("none")) {
        printer.Refresh();
        return;
    }
    static QElapsedTimer asked;
    if (asked.isValid() && asked.elapsed() < 1000)
        return;
    asked.start();
    if (std::unique_ptr<Printer> cups = MakeCupsPrinter())
        Replace(std::move(cups), true);
}

}  // namespace platform
