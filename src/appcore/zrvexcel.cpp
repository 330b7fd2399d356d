#include "appcore/zrvexcel.h"


#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    std::vector<WorkbookSheet> read;
    if (!workbookfiles::ReadWorkbook(fileName, read, readError_)) {
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
    sheets_.assign(1, WorkbookSheet{"Sheet1", {}, {}, false});
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
    if (!workbookfiles::WriteWorkbook(name, sheets_, active_, bytes, saveError_))
        return false;
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

char TZrvExcel::csvDelimiter() const
{
    return workbookOpen ? sheets_[static_cast<size_t>(active_)].csvDelimiter : 0;
}

platform::FileRequest SheetFileRequest(platform::FileRequest::Mode mode, const QString& excelFilter,
                                       const QString& suffix)
{
    platform::FileRequest request;
    request.mode = mode;
    request.filters = QStringList{excelFilter, QString::fromUtf8("Comma 分隔檔案 (*.csv)")};
    request.defaultSuffix = suffix;
    return request;
}

platform::FileRequest SheetSaveRequest()
{
    platform::FileRequest request = SheetFileRequest(platform::FileRequest::Save, "Excel File (*.xlsx)", "xlsx");
    request.confirmOverwrite = false;
    return request;
}

QString PickSheetToSave(QWidget* owner)
{
    const QString file = platform::PickFile(SheetSaveRequest(), owner);
    const QString suffix = QFileInfo(file).suffix();
    if (file.isEmpty() || suffix.compare("xlsx", Qt::CaseInsensitive) == 0 ||
        suffix.compare("csv", Qt::CaseInsensitive) == 0)
        return file;
    return file + ".xlsx";
}
