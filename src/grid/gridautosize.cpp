// Sizing a column to its contents.
#include "grid/listgrid.h"

#include <algorithm>

namespace grid {

void RIvuZuvuzoZuvu::SizeToWidth(int ACol, bool OnlyGrow)
{
    if (ACol < 0 || ACol >= ColCount())
        return;
    const int real = RemapCol(ACol);
    int widest = 0;
    for (int r = 0; r < RowCount(); ++r)
        if (!IsMergedCell(ACol, r))
            widest = std::max(widest, GetCellGraphicSize(real, r).x() + GetCellTextSize(real, r).x());
    const int wanted = widest + 4;
    if (!OnlyGrow || wanted > ColWidths(ACol))
        SetColWidths(ACol, wanted);
}

}  // namespace grid
