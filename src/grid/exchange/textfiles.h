// The grid's text files over a cell table: its own cell list (to a file or a
// stream), column-aligned text, CSV and fixed-width columns. They carry cell
// texts only. Files are UTF-8 text; lines are written with CR LF. Writers
// return the bytes; readers take the whole file and fill the table, throwing
// DIdiZedoRorid (the user's message, naming the file by Name) on a file they
// refuse before the table changes.
//
// Cell list, file: a header "C,R" (the saved column and row counts, hidden
// columns counted with IncludeHiddenCols), one line "cw c,w" per saved
// column (absolute column, width in pixels), then one line "c,r,text" per
// non-empty cell (absolute column and row). In the text a CR becomes a tab
// and an LF a backspace (8) when it holds a CR, so a cell never breaks its
// line. A line ends at CR (a following LF is skipped) or at the byte 26; a
// bare LF belongs to the line. Numbers are read as the leading integer of
// their field (blanks skipped; no digits read as 0).
// Cell list, stream: the same lines, but the header holds the saved counts
// only, widths are written for every column, cell coordinates are relative to
// the first saved column and row, and numbers must be whole integers
// (EConvertError otherwise). A line ends at CR and the next byte is skipped.
// Readers check the header before the table changes: no negative count, none
// too long for an integer, at most kMaxRows x kMaxColumns; widths outside
// 0..65535 and cells outside the table are skipped.
//
// Column-aligned text: every row, every column (fixed ones included), each
// field padded to its column's longest line plus one blank; right-aligned
// texts padded in front, centred ones on both sides; further lines of a cell
// (with Multiline) go to continuation lines under their column.
//
// CSV: fields split by Delimiter ("," when it is 0 on writing; on reading
// found by workbookfiles::CsvDelimiter, the rule the application's import
// shares: among ",", ";", "#", tab and "|" by the field count that most of
// the first 20 non-empty records share, "," when none splits them).
// A field holding the delimiter, a quote, CR or LF is quoted with its quotes
// doubled (CR LF written as LF inside quotes, read back as CR LF); with
// TildeBreaks line breaks are written as "~" and an empty field as "^";
// QuoteAll quotes every field, QuoteEmpty writes an empty field as "".
// The reader is lenient (workbookfiles.h: a never-closed quote ends its field
// at the end of its line). The byte 26 ends the file. The text is UTF-8 (a
// leading byte-order mark dropped), or Windows-1252 when it is not valid
// UTF-8; with Oem it is in code page 437.
//
// Fixed width: each saved row one line, each field cut or padded behind to
// its width in characters. Reading takes 1-based start positions and the end
// of the last column, and trims blanks and control characters.
#pragma once

#include "grid/exchange/celltable.h"

#include <QByteArray>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace grid::exchange {

// ---- cell list
// Header counts SaveCols x SaveRows; widths and cells of Range, cells read
// with Text(), progress per row.
QByteArray WriteCellList(const CellTable& T, const CellRange& Range, int SaveCols, int SaveRows,
                         const ProgressFn& Progress);
// The header's counts are taken plus ColOffset and RowOffset (the fixed
// cells the file leaves out).
void ReadCellList(const QByteArray& Bytes, CellTable& T, int ColOffset, int RowOffset, bool Multiline,
                  const std::string& Name, const ProgressFn& Progress);
// Widths of every column, cells of Range read with SaveText() relative to its
// first column and row.
QByteArray WriteCellStream(const CellTable& T, const CellRange& Range, int SaveCols, int SaveRows);
void ReadCellStream(const QByteArray& Bytes, CellTable& T, int FirstCol, int FirstRow, bool Multiline);

// ---- column-aligned text: Widths[c] characters for each column c.
QByteArray WriteAligned(const CellTable& T, const std::vector<int>& Widths, bool Multiline);

// ---- CSV
struct CsvSwitches {
    char Delimiter = 0;  // 0: "," on writing, detected on reading
    bool QuoteEmpty = false, QuoteAll = false, TildeBreaks = false, Oem = false;
};
// Takes the bytes of a file a block at a time, in order.
using ByteSink = std::function<void(std::string_view Bytes)>;
// Hands the rows of Range to Out.
void WriteCsv(const CellTable& T, const CellRange& Range, const CsvSwitches& S, const ByteSink& Out,
              const ProgressFn& Progress);
// Fills the table from (ColOffset, RowOffset) on; the table grows to hold
// the records (its columns never shrink).
void ReadCsv(QByteArray Bytes, CellTable& T, int ColOffset, int RowOffset, const CsvSwitches& S,
             const std::string& Name, const ProgressFn& Progress);

// ---- fixed width: Widths in characters from Range's first column on.
// The fields the positions give (0 when fewer than two positions, or too
// many columns with FixedCols before them).
int FixedFields(const std::vector<int>& Positions, int FixedCols);
QByteArray WriteFixed(const CellTable& T, const CellRange& Range, const std::vector<int>& Widths);
// Positions: 1-based starts of the fields and, last, the end of the last
// one. The table gets FixedCols + fields columns; fields go from
// (FirstCol, FirstRow) on. False (nothing changed) with fewer than two
// positions or too many columns.
bool ReadFixed(const QByteArray& Bytes, CellTable& T, int FixedCols, int FirstCol, int FirstRow,
               const std::vector<int>& Positions, const std::string& Name);

}  // namespace grid::exchange
