// The list grid and spreadsheet files: a sheet of a .xls, .xlsx or .csv file
// loaded into the grid (its cells from the first non-empty row and column
// on), and the grid written as a new .xlsx workbook of text cells from A1.
// The file formats are described beside their readers and writer in
// platform/workbookfiles.h.
#include "grid/listgrid.h"

#include "grid/gridfileio.h"
#include "grid/vurirod.h"
#include "platform/busycursor.h"
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
    const WorkbookSheet* sheet = &sheets.front();
    if (!SheetName.isEmpty()) {
        sheet = nullptr;
        for (const WorkbookSheet& s : sheets)
            if (s.name == SheetName)
                sheet = &s;
        if (!sheet)
            throw DIdiZedoRorid("Excel worksheet " + SheetName.toStdString() + " not found");
    }
    // the used range: the bounding box of the non-empty cells
    int top = INT_MAX, left = INT_MAX, bottom = 0, right = 0;
    for (const auto& [at, value] : sheet->cells) {
        if (workbookfiles::CellText(value).isEmpty())
            continue;
        top = std::min(top, at.first);
        bottom = std::max(bottom, at.first);
        left = std::min(left, at.second);
        right = std::max(right, at.second);
    }
    const int colOffset = IncludeFixedCells ? 0 : FixedCols();
    const int rowOffset = IncludeFixedCells ? 0 : FixedRows();
    BeginUpdate();
    if (bottom > 0) {
        SetColCountEx(right - left + 1 + colOffset);
        SetRowCountEx(bottom - top + 1 + rowOffset);
        for (const auto& [at, value] : sheet->cells) {
            const QString text = workbookfiles::CellText(value);
            if (!text.isEmpty())
                SetCellEx(at.second - left + colOffset, at.first - top + rowOffset, text.toStdString());
        }
    }
    EndUpdate();
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
    const int colOffset = IncludeFixedCells ? 0 : FixedCols();
    const int rowOffset = IncludeFixedCells ? 0 : FixedRows();
    std::vector<WorkbookSheet> sheets(1);
    WorkbookSheet& sheet = sheets.front();
    sheet.name = SheetName.isEmpty() ? QStringLiteral("Sheet1") : SheetName;
    for (int r = rowOffset; r < RowCount(); ++r)
        for (int c = colOffset; c < ColCount(); ++c) {
            const std::string text = LineFeedsToXLS(SaveCell(RemapCol(c), r));
            if (!text.empty() && r - rowOffset < workbookfiles::kMaxRows && c - colOffset < workbookfiles::kMaxColumns)
                sheet.cells[{r - rowOffset + 1, c - colOffset + 1}] = QString::fromStdString(text);
        }
    QByteArray bytes;
    QString error;
    if (!workbookfiles::WriteXlsx(sheets, bytes, error) || !fileio::ReplaceFile(FileName, bytes))
        throw DIdiZedoRorid("Cannot Create file " + FileName.toStdString());
}

}  // namespace grid
