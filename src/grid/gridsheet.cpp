#include "grid/gridsheet.h"

#include "grid/vurirod.h"
#include "platform/stringgrid.h"

namespace grid {

void CopyToSheet(const platform::StringGrid& grid, const SheetCopy& copy, const SheetCellText& text,
                 const SheetCellPut& put)
{
    for (int r = copy.firstRow; r < grid.RowCount(); ++r)
        for (int c = copy.firstCol; c < grid.ColCount(); ++c) {
            const std::string cell = copy.dropReturns ? LineFeedsToXLS(text(c, r)) : text(c, r);
            if (!cell.empty())
                put(c - copy.firstCol + 1, r - copy.firstRow + 1, cell);
        }
}

}  // namespace grid
