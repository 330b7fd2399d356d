// The list grid and office files: a sheet of a .xls, .xlsx or .csv file
// loaded into the grid (its cells from the first non-empty row and column
// on), the grid written as a new .xlsx workbook of text cells from A1 or as
// a table of a new .docx document. The file formats are described beside
// their readers and writers in platform/workbookfiles.h and
// platform/docxwriter.h. Database files are queried by the query program
// (quillet-query) in a child process, so that a driver crashing on a damaged
// file cannot take the program down; its answer is read as
// platform/queryframes.h describes.
#include "grid/listgrid.h"

#include "grid/gridfileio.h"
#include "grid/gridsheet.h"
#include "grid/vurirod.h"
#include "platform/busycursor.h"
#include "platform/childprocess.h"
#include "platform/docxwriter.h"
#include "platform/queryframes.h"
#include "platform/workbookfiles.h"

#include <QFileInfo>

#include <algorithm>
#include <climits>

namespace grid {

void RIvuZuvuzoZuvu::LoadXLS(const QString& FileName, const QString& SheetName)
{
    platform::BusyCursor hourglass;
    std::vector<WorkbookSheet> sheets;
    QString error;
    if (!workbookfiles::ReadWorkbook(FileName, sheets, error))
        throw DIdiZedoRorid("Cannot open file " + FileName.toStdString());
    // the named sheet (the last of that name), else the one the file marks
    // active, else the first
    const WorkbookSheet* sheet = &sheets.front();
    for (const WorkbookSheet& s : sheets)
        if (SheetName.isEmpty() ? s.active : s.name == SheetName)
            sheet = &s;
    if (!SheetName.isEmpty() && sheet->name != SheetName)
        throw DIdiZedoRorid("Excel worksheet " + SheetName.toStdString() + " not found");
    // the used range: the bounding box of the non-empty cells, error cells
    // included; those are left out of the grid
    int top = INT_MAX, left = INT_MAX, bottom = 0, right = 0;
    auto widen = [&](std::pair<int, int> at) {
        top = std::min(top, at.first);
        bottom = std::max(bottom, at.first);
        left = std::min(left, at.second);
        right = std::max(right, at.second);
    };
    for (const auto& [at, value] : sheet->cells)
        if (!workbookfiles::CellText(value).isEmpty())
            widen(at);
    for (const auto& at : sheet->errors)
        widen(at);
    const int colOffset = IncludeFixedCells ? 0 : FixedCols();
    const int rowOffset = IncludeFixedCells ? 0 : FixedRows();
    fileio::UpdateLock lock(*this);
    if (bottom > 0) {
        SetColCountEx(right - left + 1 + colOffset);
        SetRowCountEx(bottom - top + 1 + rowOffset);
        for (const auto& [at, value] : sheet->cells) {
            const QString text = workbookfiles::CellText(value);
            if (!text.isEmpty() && !sheet->errors.count(at))
                SetCellEx(at.second - left + colOffset, at.first - top + rowOffset, text.toStdString());
        }
    }
    CellsChanged(Rect{0, 0, ColCount(), RowCount()});
    CellsLoaded();
}

void RIvuZuvuzoZuvu::SaveXLS(const QString& FileName, const QString& SheetName)
{
    platform::BusyCursor hourglass;
    // our writer makes new workbooks only: rewriting one from what the
    // readers take would lose its formats, formulas and charts
    if (!SheetName.isEmpty() && QFileInfo::exists(FileName))
        throw DIdiZedoRorid("Cannot write into an existing workbook " + FileName.toStdString());
    std::vector<WorkbookSheet> sheets(1);
    WorkbookSheet& sheet = sheets.front();
    sheet.name = SheetName.isEmpty() ? QStringLiteral("Sheet1") : SheetName;
    const SheetCopy copy{IncludeFixedCells ? 0 : FixedCols(), IncludeFixedCells ? 0 : FixedRows(), true};
    // a cell beyond the sheet's last row or column fails the writer
    CopyToSheet(*this, copy, [this](int c, int r) { return SaveCell(RemapCol(c), r); },
                [&sheet](int column, int row, const std::string& text) {
                    sheet.cells[{row, column}] = QString::fromStdString(text);
                });
    QByteArray bytes;
    QString error;
    if (!workbookfiles::WriteXlsx(sheets, bytes, error) || !fileio::ReplaceFile(FileName, bytes))
        throw DIdiZedoRorid("Cannot Create file " + FileName.toStdString());
}

void RIvuZuvuzoZuvu::SaveToDOC(const QString& FileName)
{
    platform::BusyCursor hourglass;
    std::vector<std::vector<docx::TableCell>> rows(static_cast<size_t>(std::max(RowCount(), 0)));
    for (int r = 0; r < RowCount(); ++r) {
        auto& row = rows[static_cast<size_t>(r)];
        row.resize(static_cast<size_t>(std::max(ColCount(), 0)));
        for (int c = 0; c < ColCount(); ++c) {
            const int real = RemapCol(c);
            docx::TableCell& cell = row[static_cast<size_t>(c)];
            for (const QByteArray& line : fileio::SplitLines(QByteArray::fromStdString(SaveCell(real, r))))
                cell.paragraphs << QString::fromUtf8(line);
            TAlignment align = taLeftJustify;
            TVAlignment valign = vtaTop;
            GetCellAlignment(real, r, align, valign);
            cell.alignment = align == taRightJustify ? docx::Alignment::Right
                             : align == taCenter     ? docx::Alignment::Center
                                                     : docx::Alignment::Left;
        }
    }
    QByteArray bytes;
    QString error;
    if (!docx::WriteTable(rows, bytes, error) || !fileio::ReplaceFile(FileName, bytes))
        throw DIdiZedoRorid("Cannot Create file " + FileName.toStdString());
}

void RIvuZuvuzoZuvu::LoadFromMDBTable(const QString& DatabaseName, const QString& TableName)
{
    // Both drivers take a name in brackets, and neither a "]" inside one.
    QString name = TableName;
    if (name.size() >= 2 && name.startsWith('[') && name.endsWith(']'))
        name = name.mid(1, name.size() - 2);
    if (name.isEmpty() || name.contains(']'))
        throw DIdiZedoRorid("Cannot open file " + DatabaseName.toStdString() + "\nNo table can be named " +
                            TableName.toStdString());
    LoadFromMDBSQL(DatabaseName, "SELECT * FROM [" + name + "]");
}

void RIvuZuvuzoZuvu::LoadFromMDBSQL(const QString& DatabaseName, const QString& SQL)
{
    namespace qf = queryframes;
    qf::Reader reader;
    qf::Frame frame;
    std::vector<qf::Value> values;
    qsizetype fields = -1;  // until the names came
    int row = FixedRows();
    qint64 cells = 0;
    bool ended = false, done = false, damaged = false;
    QString driverText;
    fileio::UpdateLock lock(*this);
    // Takes each frame as it arrives; false stops the query program.
    auto bad = [&] {
        damaged = true;
        return false;
    };
    auto take = [&](const QByteArray& piece) {
        reader.feed(piece);
        for (;;) {
            const qf::Reader::Result got = reader.next(frame);
            if (got == qf::Reader::NeedMore)
                return true;
            if (got == qf::Reader::Damaged || ended || (fields < 0 && frame.kind != qf::Names && frame.kind != qf::Failure))
                return bad();
            switch (frame.kind) {
            case qf::Names: {
                QStringList names;
                if (fields >= 0 || !qf::ReadNames(frame.payload, names))
                    return bad();
                fields = names.size();
                SetColCountEx(FixedCols() + static_cast<int>(fields));
                if (FixedRows() > 0)
                    for (qsizetype i = 0; i < fields; ++i)
                        SetCellEx(FixedCols() + static_cast<int>(i), FixedRows() - 1, names[i].toStdString());
                break;
            }
            case qf::Count: {
                int64_t count = 0;
                if (!qf::ReadCount(frame.payload, count))
                    return bad();
                // a count too large to hold is left to the records themselves
                if (count > 0 && count <= workbookfiles::kMaxCells / std::max<qsizetype>(fields, 1))
                    SetRowCountEx(FixedRows() + static_cast<int>(count));
                break;
            }
            case qf::Record:
                if (!qf::ReadRecord(frame.payload, static_cast<size_t>(fields), values))
                    return bad();
                cells += std::max<qsizetype>(fields, 1);
                if (cells > workbookfiles::kMaxCells) {
                    driverText = QString("The query gives more than %1 cells.").arg(workbookfiles::kMaxCells);
                    return false;
                }
                if (row >= RowCount())
                    SetRowCountEx(row + 1);
                for (qsizetype i = 0; i < fields; ++i) {
                    const qf::Value& v = values[static_cast<size_t>(i)];
                    SetCellEx(FixedCols() + static_cast<int>(i), row, v ? v->toStdString() : std::string());
                }
                ++row;
                break;
            case qf::Failure:
                driverText = QString::fromUtf8(frame.payload).trimmed();
                ended = true;
                break;
            case qf::Done:
                if (!frame.payload.isEmpty())
                    return bad();
                ended = done = true;
                break;
            }
        }
    };
    const QString program = platform::HelperProgram("quillet-query");
    if (!QFileInfo(program).isExecutable())
        throw DIdiZedoRorid("Cannot open file " + DatabaseName.toStdString() + "\n" + program.toStdString());
    const platform::ChildResult result =
        platform::RunChild(program, {MDBDriver, DatabaseName, SQL}, {MDBQuerySilence, MDBQueryTime}, take);
    if (result.end != platform::ChildResult::Finished || result.exitCode != 0 || !done || damaged ||
        reader.pending() > 0) {
        // the driver's own words: its message, and what it wrote on the side
        std::string message = "Cannot open file " + DatabaseName.toStdString();
        for (const QString& words : {driverText, QString::fromUtf8(result.standardError).trimmed()})
            if (!words.isEmpty())
                message += "\n" + words.toStdString();
        throw DIdiZedoRorid(message);
    }
}

}  // namespace grid
