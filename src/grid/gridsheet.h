// The cells of a grid copied into one sheet of a workbook: the one copy
// behind the list grid's workbook saving and the list print dialog's Save.
// The caller chooses the cell that lands in A1, how a cell's text is read
// (the stored text, or what the list grid saves with its hidden columns
// remapped) and whether carriage returns stay; the copy walks the grid row by
// row from that cell to the last and hands over every text that is not empty.
// The grid must not change while the copy runs.
#pragma once

#include <functional>
#include <string>

namespace platform {
class StringGrid;
}

namespace grid {

struct SheetCopy {
    int firstCol = 0;          // the grid's cell that lands in A1
    int firstRow = 0;
    bool dropReturns = false;  // carriage returns left out of every text
};

// A cell's text by the grid's column and row.
using SheetCellText = std::function<std::string(int col, int row)>;
// Takes one text with its sheet column and row, both from 1.
using SheetCellPut = std::function<void(int column, int row, const std::string& text)>;

void CopyToSheet(const platform::StringGrid& grid, const SheetCopy& copy, const SheetCellText& text,
                 const SheetCellPut& put);

}  // namespace grid
