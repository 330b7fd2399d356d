// The system's print queues through CUPS. The queues and their default page
// come from Qt's printer information; a job is drawn into a PDF in memory and
// handed to the scheduler through libcups, so that a queue that refuses the job
// (or a scheduler that went away) is reported instead of lost, and a named
// paper bin can go with it as the job's media source.
#include "platform/printer.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>

#include <cups/cups.h>

#include <cmath>

namespace platform {

namespace {

class CupsPrinter : public Printer {
public:
    explicit CupsPrinter(QStringList names) : names_(std::move(names))
    {
        listed_.start();
        selectDefault();
    }

    QString Kind() const override { return QStringLiteral("cups"); }

    QStringList PrinterNames() override { return names_; }

    // The scheduler is asked at most once a second: a batch refreshes before
    // each of its jobs.
    void Refresh() override
    {
        if (JobOpen())
            return;
        if (!listed_.isValid() || listed_.elapsed() >= 1000) {
            listed_.start();
            relist(QPrinterInfo::availablePrinterNames());
        }
        if (index_ < 0 && !SelectionLost() && !names_.isEmpty())
            selectDefault();
    }

    int PrinterIndex() const override { return index_; }

    bool SelectPrinter(int index) override
    {
        if (index < 0 || index >= names_.size())
            return Fail(QStringLiteral("There is no printer %1.").arg(index));
        loadDefaults(index);
        return true;
    }

    // The queue's input slots by their display names; the job names the
    // chosen one by its keyword.
    QStringList BinNames() override
    {
        QStringList names;
        slots_.clear();
        if (index_ < 0)
            return names;
        const QByteArray queue = queueName();
        cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.constData(), nullptr);
        if (!dest)
            return names;
        if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
            if (ipp_attribute_t* sources = cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest, info, CUPS_MEDIA_SOURCE)) {
                const int count = std::min(ippGetCount(sources), kMaxBins);
                for (int i = 0; i < count; ++i) {
                    const char* keyword = ippGetString(sources, i, nullptr);
                    if (!keyword)
                        continue;
                    const char* shown = cupsLocalizeDestValue(CUPS_HTTP_DEFAULT, dest, info, CUPS_MEDIA_SOURCE, keyword);
                    slots_ << QString::fromUtf8(keyword);
                    names << QString::fromUtf8(shown && *shown ? shown : keyword);
                }
            }
            cupsFreeDestInfo(info);
        }
        cupsFreeDests(1, dest);
        return names;
    }

protected:
    bool OpenOutput() override
    {
        pdf_.close();
        pdf_.setData(QByteArray());
        return pdf_.open(QIODevice::WriteOnly) || Fail(QStringLiteral("Out of memory for the print job."));
    }

    QIODevice* Output() override { return &pdf_; }

    bool DeliverOutput() override
    {
        const QByteArray data = pdf_.data();
        pdf_.close();
        pdf_.setData(QByteArray());
        const QByteArray queue = queueName();
        const QByteArray title = Title().isEmpty() ? QByteArrayLiteral("Quillet") : Title().toUtf8();
        int optionCount = 0;
        cups_option_t* options = nullptr;
        if (bin_ >= 0 && bin_ < slots_.size())
            optionCount = cupsAddOption(CUPS_MEDIA_SOURCE, slots_[bin_].toUtf8().constData(), optionCount, &options);
        const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, queue.constData(), title.constData(), optionCount, options);
        cupsFreeOptions(optionCount, options);
        if (job <= 0)
            return refused();
        bool sent = cupsStartDocument(CUPS_HTTP_DEFAULT, queue.constData(), job, title.constData(), CUPS_FORMAT_PDF, 1)
                    == HTTP_STATUS_CONTINUE;
        sent = sent && cupsWriteRequestData(CUPS_HTTP_DEFAULT, data.constData(), size_t(data.size())) == HTTP_STATUS_CONTINUE;
        // The document is closed in any case; only its answer says whether the queue took it.
        const bool finished = cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.constData()) == IPP_STATUS_OK;
        if (!sent || !finished) {
            const bool result = refused();
            cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), job, 0);
            return result;
        }
        return true;
    }

    void DropOutput() override
    {
        pdf_.close();
        pdf_.setData(QByteArray());
    }

private:
    bool refused()
    {
        return Fail(QStringLiteral("The printer %1 did not accept the job: %2")
                        .arg(names_.value(index_), QString::fromUtf8(cupsLastErrorString())));
    }

    // The scheduler's default queue, else the first.
    void selectDefault()
    {
        const int preferred = names_.indexOf(QPrinterInfo::defaultPrinterName());
        if (!names_.isEmpty())
            loadDefaults(preferred >= 0 ? preferred : 0);
    }

    // Takes the scheduler's list; the selected queue keeps its settings when
    // still listed and is dropped when gone.
    void relist(const QStringList& now)
    {
        if (now == names_)
            return;
        const QString selected = names_.value(index_);
        names_ = now;
        index_ = selected.isEmpty() ? -1 : int(names_.indexOf(selected));
        if (index_ < 0 && !selected.isEmpty()) {
            slots_.clear();
            LoseSelection(selected);
        }
    }

    // The queue's name without an instance ("queue/instance").
    QByteArray queueName() const { return names_.value(index_).section(QLatin1Char('/'), 0, 0).toUtf8(); }

    // The queue's default page, margins and resolution; a queue that names no
    // page size prints on A4.
    void loadDefaults(int index)
    {
        index_ = index;
        slots_.clear();
        const QPrinterInfo info = QPrinterInfo::printerInfo(names_.value(index));
        QPrinter printer(info, QPrinter::HighResolution);
        printer.setFullPage(false);
        QPageSize size = info.defaultPageSize();
        if (!size.isValid())
            size = QPageSize(QPageSize::A4);
        printer.setPageSize(size);
        printer.setPageOrientation(QPageLayout::Portrait);
        const int dpi = printer.resolution() > 0 ? printer.resolution() : 600;
        SetPage(size, printer.pageLayout().margins(QPageLayout::Millimeter), dpi);
    }

    QStringList names_;
    QElapsedTimer listed_;
    QStringList slots_;  // keywords of the bins last listed
    int index_ = -1;
    QBuffer pdf_;
};

}  // namespace

void ForgetCupsServer()
{
    cupsSetServer(nullptr);
}

std::unique_ptr<Printer> MakeCupsPrinter()
{
    const QStringList names = QPrinterInfo::availablePrinterNames();
    if (names.isEmpty())
        return nullptr;
    return std::make_unique<CupsPrinter>(names);
}

}  // namespace platform
