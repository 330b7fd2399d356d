// A plain table of cell texts in memory, the cell table the exchange format
// tests read from and write to.
#pragma once

#include "grid/exchange/celltable.h"

#include <map>
#include <string>
#include <vector>

class MemoryTable : public grid::exchange::CellTable {
public:
    using Row = std::vector<std::string>;

    MemoryTable(int Cols = 0, int Rows = 0) : cols_(Cols), rows_(Rows) {}
    // A table holding the rows, as wide as the first.
    MemoryTable(const std::vector<Row>& Rows) : cols_(static_cast<int>(Rows.at(0).size())), rows_(static_cast<int>(Rows.size()))
    {
        for (int r = 0; r < rows_; ++r)
            for (int c = 0; c < static_cast<int>(Rows[static_cast<size_t>(r)].size()); ++c)
                SetText(c, r, Rows[static_cast<size_t>(r)][static_cast<size_t>(c)]);
    }

    int ColCount() const override { return cols_; }
    int RowCount() const override { return rows_; }
    int FixedCols() const override { return fixedCols; }
    int FixedRows() const override { return fixedRows; }
    std::string Text(int Col, int Row) const override
    {
        const auto it = cells_.find({Col, Row});
        return it == cells_.end() ? std::string() : it->second;
    }
    void SetText(int Col, int Row, const std::string& Text) override { cells_[{Col, Row}] = Text; }
    void SetColCount(int Cols) override
    {
        cols_ = Cols;
        std::erase_if(cells_, [&](const auto& C) { return C.first.first >= cols_; });
    }
    void SetRowCount(int Rows) override
    {
        rows_ = Rows;
        std::erase_if(cells_, [&](const auto& C) { return C.first.second >= rows_; });
    }
    int RemapCol(int Col) const override { return Col < static_cast<int>(remap.size()) ? remap[static_cast<size_t>(Col)] : Col; }
    int ColWidth(int Col) const override
    {
        const auto it = widths.find(Col);
        return it == widths.end() ? 64 : it->second;
    }
    void SetColWidth(int Col, int Width) override { widths[Col] = Width; }
    int Alignment(int Col, int Row) const override
    {
        const auto it = align.find({Col, Row});
        return it == align.end() ? 0 : it->second;
    }

    Row RowTexts(int R, int Cols = 0) const
    {
        Row out;
        for (int c = 0; c < (Cols ? Cols : cols_); ++c)
            out.push_back(Text(c, R));
        return out;
    }
    // Every cell of the table, row by row.
    grid::exchange::CellRange All() const { return {0, cols_ - 1, 0, rows_ - 1, true}; }

    int fixedCols = 0, fixedRows = 0;
    std::vector<int> remap;     // displayed -> real column, where given
    std::map<int, int> widths;  // column -> width in pixels
    std::map<std::pair<int, int>, int> align;  // cell -> 0 left, 1 right, 2 centred

private:
    int cols_, rows_;
    std::map<std::pair<int, int>, std::string> cells_;
};
