// The grid's cells and office files: a sheet of a workbook (.xls, .xlsx,
// .csv) put into a table at its used range, a table made into a new
// workbook sheet of text cells from A1 or into the rows of a .docx table,
// and the answer of the query program (platform/queryframes.h) read into a
// table as it comes. The files' bytes are read and written by
// platform/workbookfiles.h and platform/docxwriter.h.
#pragma once

#include "grid/exchange/celltable.h"
#include "platform/docxwriter.h"
#include "platform/queryframes.h"
#include "platform/workbookfiles.h"

#include <functional>
#include <string>
#include <vector>

namespace grid::exchange {

// Cells copied into one sheet of a workbook: the one copy behind the list
// grid's workbook saving (TableSheet) and the list print dialog's Save. The
// caller chooses the cell that lands in A1, how a cell's text is read (the
// stored text, or the saved text with hidden columns remapped) and whether
// carriage returns stay; the copy walks the cells row by row from that cell
// to the last and hands over every text that is not empty, with its sheet
// column and row (both from 1). The cells must not change while it runs.
struct SheetCopy {
    int firstCol = 0;  // the cell that lands in A1
    int firstRow = 0;
    bool dropReturns = false;  // carriage returns left out of every text
};
using SheetCellText = std::function<std::string(int col, int row)>;
using SheetCellPut = std::function<void(int column, int row, const std::string& text)>;
void CopyToSheet(int ColCount, int RowCount, const SheetCopy& Copy, const SheetCellText& Text,
                 const SheetCellPut& Put);

// The named sheet (the last of that name); without a name the one the file
// marks active, else the first. Null when the named one is not there.
const WorkbookSheet* PickSheet(const std::vector<WorkbookSheet>& Sheets, const QString& Name);
// The sheet's used range (the bounding box of the non-empty cells, error
// cells included) into the table from (ColOffset, RowOffset) on, which
// then holds just that range; error cells are left out. An empty sheet
// leaves the table alone.
void SheetIntoTable(const WorkbookSheet& Sheet, CellTable& T, int ColOffset, int RowOffset);
// The cells from (ColOffset, RowOffset) on, saved texts through RemapCol
// with carriage returns dropped, as text cells of a sheet from A1.
WorkbookSheet TableSheet(const CellTable& T, int ColOffset, int RowOffset, const QString& Name);
// Every cell as a .docx table cell: a paragraph per line, and its alignment.
std::vector<std::vector<docx::TableCell>> DocxRows(const CellTable& T);

// The query program's answer into a table: the field names into the last
// fixed row (when there is one), the records from the first row after the
// fixed ones, each field a column after the fixed ones. The table grows to
// the count given and to every record; at most workbookfiles::kMaxCells.
class QueryAnswer {
public:
    explicit QueryAnswer(CellTable& T) : t_(T), row_(T.FixedRows()) {}
    // Takes the bytes as they come; false when the answer is damaged or too
    // large, and the reading is to stop.
    bool Feed(const QByteArray& Piece);
    // Done, undamaged and nothing left over.
    bool Complete() const { return done_ && !damaged_ && reader_.pending() == 0; }
    // The driver's message, or why the answer was refused.
    const QString& DriverText() const { return driverText_; }

private:
    bool take(const queryframes::Frame& Frame);
    bool bad()
    {
        damaged_ = true;
        return false;
    }

    CellTable& t_;
    queryframes::Reader reader_;
    std::vector<queryframes::Value> values_;
    qsizetype fields_ = -1;  // until the names came
    int row_;
    qint64 cells_ = 0;
    bool ended_ = false, done_ = false, damaged_ = false;
    QString driverText_;
};

}  // namespace grid::exchange
