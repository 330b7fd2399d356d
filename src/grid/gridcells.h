// The list grid as the cell table of its exchange formats
// (grid/exchange/celltable.h): counts and cells through the grid's own
// members, the text a format saves through SaveCell, alignment through
// GetCellAlignment. The grid must outlive the table.
#pragma once

#include "grid/exchange/celltable.h"
#include "grid/listgrid.h"

#include <typeinfo>

namespace grid {

class GridCells : public exchange::CellTable {
public:
    explicit GridCells(RIvuZuvuzoZuvu& Grid) : g_(Grid) {}

    int ColCount() const override { return g_.ColCount(); }
    int RowCount() const override { return g_.RowCount(); }
    int FixedCols() const override { return g_.FixedCols(); }
    int FixedRows() const override { return g_.FixedRows(); }
    std::string Text(int Col, int Row) const override { return g_.Cells(Col, Row); }
    std::string SaveText(int Col, int Row) const override { return g_.SaveCell(Col, Row); }
    std::string_view SaveTextView(int Col, int Row, std::string& Scratch) const override
    {
        // a grid of this very class saves GetCellEx's text (SaveCell is not
        // overridden), which it can lend without a copy
        if (typeid(g_) == typeid(RIvuZuvuzoZuvu))
            return g_.CellExView(Col, Row, Scratch);
        return Scratch = g_.SaveCell(Col, Row);
    }
    void SetText(int Col, int Row, const std::string& Text) override { g_.SetCellEx(Col, Row, Text); }
    void SetRowTexts(int Row, int FirstCol, std::span<const std::string_view> Texts) override
    {
        // a row whose slots hold no object has no merged cell: SetCellEx
        // would set each of its cells itself
        if (g_.ObjectSlots(Row) == 0)
            return g_.SetRowCells(Row, FirstCol, Texts);
        g_.ReserveRowCells(Row, FirstCol + static_cast<int>(Texts.size()));
        for (size_t k = 0; k < Texts.size(); ++k)
            g_.SetCellEx(FirstCol + static_cast<int>(k), Row, Texts[k]);
    }
    void SetColCount(int Cols) override { g_.SetColCountEx(Cols); }
    void SetRowCount(int Rows) override { g_.SetRowCountEx(Rows); }
    int RemapCol(int Col) const override { return g_.RemapCol(Col); }
    // With AllWidths the widths of the hidden columns' layout (the cell-list
    // file's), else the shown widths.
    int ColWidth(int Col) const override
    {
        return AllWidths && g_.NumHiddenColumns() > 0 && Col < 256 ? g_.GetAllColWidths(Col) : g_.ColWidths(Col);
    }
    void SetColWidth(int Col, int Width) override { g_.SetColWidths(Col, Width); }
    int Alignment(int Col, int Row) const override
    {
        TAlignment align = taLeftJustify;
        TVAlignment valign = vtaTop;
        g_.GetCellAlignment(Col, Row, align, valign);
        return align;
    }

    bool AllWidths = false;

protected:
    RIvuZuvuzoZuvu& g_;
};

}  // namespace grid
