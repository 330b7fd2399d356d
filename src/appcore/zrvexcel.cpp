#include "appcore/zrvexcel.h"

#include "appcore/workbookfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <charconv>
#include <cmath>

using workbookfiles::Format;

TZrvExcel::TZrvExcel(const QString& name) : fileName(name)
{
    create();
    open();
    activateSheet(1);
}

TZrvExcel::~TZrvExcel() { quit(); }

void TZrvExcel::create() { opened = true; }

bool TZrvExcel::open()
{
    if (!opened)
        return false;
    close();
    readError_.clear();
    if (fileName.isEmpty() || !QFileInfo::exists(fileName)) {
        newWorkbook();
        return true;
    }
    QFile file(fileName);
    std::vector<WorkbookSheet> read;
    bool ok = false;
    if (!file.open(QIODevice::ReadOnly)) {
        readError_ = file.errorString();
    } else if (file.size() > workbookfiles::kMaxFileBytes) {
        readError_ = "the file is too large";
    } else {
        const QByteArray first = file.peek(8);
        switch (workbookfiles::DetectFormat(fileName, first)) {
        case Format::Xlsx:
            ok = workbookfiles::ReadXlsx(fileName, read, readError_);
            break;
        case Format::Xls:
            ok = workbookfiles::ReadXls(fileName, read, readError_);
            break;
        case Format::Csv: {
            const QByteArray bytes = file.readAll();
            if (bytes.size() != file.size())
                readError_ = file.errorString();
            else
                ok = workbookfiles::ReadCsv(bytes, read, readError_);
            break;
        }
        case Format::Unknown:
            readError_ = "not a spreadsheet file";
            break;
        }
    }
    if (!ok || read.empty()) {
        if (readError_.isEmpty())
            readError_ = "the workbook holds no sheet";
        newWorkbook();
        return false;
    }
    sheets_ = std::move(read);
    active_ = 0;
    workbookOpen = true;
    return true;
}

void TZrvExcel::newWorkbook()
{
    sheets_.assign(1, WorkbookSheet{"Sheet1", {}});
    active_ = 0;
    workbookOpen = true;
    fileName.clear();
}

void TZrvExcel::activateSheet(int n)
{
    if (workbookOpen && n >= 1 && n <= sheetCount())
        active_ = n - 1;
}

void TZrvExcel::setVisible(bool) {}

QVariant TZrvExcel::getCell(int column, int row) const
{
    if (!workbookOpen)
        return {};
    const auto& cells = sheets_[static_cast<size_t>(active_)].cells;
    const auto found = cells.find({row, column});
    return found == cells.end() ? QVariant() : found->second;
}

void TZrvExcel::setCell(int column, int row, const QVariant& value)
{
    if (!workbookOpen || column < 1 || column > kMaxColumns || row < 1 || row > kMaxRows)
        return;
    auto& cells = sheets_[static_cast<size_t>(active_)].cells;
    const bool empty = !value.isValid() || (value.typeId() == QMetaType::QString && value.toString().isEmpty());
    if (empty)
        cells.erase({row, column});
    else
        cells[{row, column}] = value;
}

bool TZrvExcel::save(const QString& name)
{
    saveError_.clear();
    if (!workbookOpen) {
        saveError_ = "no workbook is open";
        return false;
    }
    QByteArray bytes;
    if (name.right(4).compare(".csv", Qt::CaseInsensitive) == 0) {
        bytes = workbookfiles::WriteCsv(sheets_[static_cast<size_t>(active_)]);
    } else if (!workbookfiles::WriteXlsx(sheets_, bytes, saveError_)) {
        return false;
    }
    // written beside the target and renamed over it only when complete
    QSaveFile file(name);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        saveError_ = file.errorString();
        file.cancelWriting();
        return false;
    }
    fileName = name;
    return true;
}

void TZrvExcel::close()
{
    if (!workbookOpen)
        return;
    sheets_.clear();
    active_ = 0;
    workbookOpen = false;
}

void TZrvExcel::quit()
{
    if (!opened)
        return;
    close();
    opened = false;
}

int TZrvExcel::lastRow() const
{
    if (!workbookOpen)
        return 0;
    const auto& cells = sheets_[static_cast<size_t>(active_)].cells;
    return cells.empty() ? 0 : cells.rbegin()->first.first;
}

QString TZrvExcel::cellText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return {};
    case QMetaType::Bool:
        return value.toBool() ? "TRUE" : "FALSE";
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const double d = value.toDouble();
        if (!std::isfinite(d))
            return {};
        char buffer[400];
        // the shortest text that reads back as the same number, never with
        // an exponent; whole numbers come without a decimal point
        auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed);
        if (ec != std::errc())
            return {};
        QString text = QString::fromLatin1(buffer, end - buffer);
        return text == "-0" ? QString("0") : text;
    }
    default:
        return value.toString();
    }
}
