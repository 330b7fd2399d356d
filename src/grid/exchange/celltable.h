// The cells an exchange format reads from and writes to. The list grid hands
// its formats an adapter of this interface; the format tests a plain table in
// memory. Columns and rows count from 0, fixed ones included. Callers keep
// every column and row they pass inside ColCount() x RowCount().
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace grid::exchange {

class CellTable {
public:
    virtual ~CellTable() = default;

    virtual int ColCount() const = 0;
    virtual int RowCount() const = 0;
    virtual int FixedCols() const { return 0; }
    virtual int FixedRows() const { return 0; }
    // The stored text of a cell (real column).
    virtual std::string Text(int Col, int Row) const = 0;
    // The text a file or the clipboard gets of a cell (real column); the
    // stored text unless the table words it otherwise.
    virtual std::string SaveText(int Col, int Row) const { return Text(Col, Row); }
    // SaveText's text, without a copy where the table keeps it as it is
    // saved: a view valid until the table or Scratch changes.
    virtual std::string_view SaveTextView(int Col, int Row, std::string& Scratch) const
    {
        return Scratch = SaveText(Col, Row);
    }
    virtual void SetText(int Col, int Row, const std::string& Text) = 0;
    // The texts of a row from FirstCol on, each stored as SetText would.
    virtual void SetRowTexts(int Row, int FirstCol, std::span<const std::string_view> Texts)
    {
        for (size_t k = 0; k < Texts.size(); ++k)
            SetText(FirstCol + static_cast<int>(k), Row, std::string(Texts[k]));
    }
    // New counts; the cells inside both the old and the new counts are kept.
    virtual void SetColCount(int Cols) = 0;
    virtual void SetRowCount(int Rows) = 0;
    // The real column shown at a displayed one (hidden columns skipped).
    virtual int RemapCol(int Col) const { return Col; }
    // Column widths in pixels, for the formats that keep them.
    virtual int ColWidth(int Col) const { return 64; }
    virtual void SetColWidth(int Col, int Width) {}
    // 0 left, 1 right, 2 centred (the grid's TAlignment).
    virtual int Alignment(int Col, int Row) const { return 0; }
};

// A block of cells to write: displayed columns First..LastCol, rows
// FirstRow..LastRow. With RemapHidden each column is read through
// RemapCol; without it the columns are real ones.
struct CellRange {
    int FirstCol = 0, LastCol = -1, FirstRow = 0, LastRow = -1;
    bool RemapHidden = true;
    int Real(const CellTable& T, int Col) const { return RemapHidden ? T.RemapCol(Col) : Col; }
};

// Told how far a long read or write has come (Position of Total); with a
// negative Position only that the work goes on (the caller may let the
// window paint).
using ProgressFn = std::function<void(long long Position, long long Total)>;

}  // namespace grid::exchange
