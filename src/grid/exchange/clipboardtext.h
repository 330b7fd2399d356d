// The grid's clipboard text: fields separated by a tab, rows ended by CR LF
// (a block of one row has no line end); with QuoteLines a field of more than
// one line is wrapped in double quotes with its CR LF reduced to LF. A paste
// cuts lines at CR LF, LF or CR and fields at tabs, and stops at a zero
// character; with QuoteLines the LFs of a field that begins with a quote and
// closes before the next tab or CR stay inside the field, and such a field
// holding an LF is stored without its quotes and with its LFs as CR LF.
#pragma once

#include "grid/exchange/celltable.h"

#include <functional>
#include <string>
#include <string_view>

namespace grid::exchange {

// The text before its first zero character.
std::string_view BeforeZero(std::string_view Text);

// The text of a copied block: displayed columns Left..Right of the rows
// Top..Bottom that Row allows (all when it is empty), read with SaveText
// through RemapCol. Multiline: the cells' line breaks are CR LF ones.
std::string ClipboardText(const CellTable& T, int Left, int Right, int Top, int Bottom,
                          const std::function<bool(int Row)>& Row, bool LineEnds, bool QuoteLines, bool Multiline);

// Columns and rows of a text as SplitClipboardText cuts it; a last line end
// adds no row.
void ClipboardTextSize(std::string_view Text, bool QuoteLines, int& Cols, int& Rows);

// Hands each field of a pasted text (up to its zero character) to Field,
// with its column and row counted from the block's corner. Returns the
// fields, counting the empty one after a final line end (never handed on);
// LastCol is the highest column reached, LastRow the last row.
int SplitClipboardText(std::string_view Text, bool QuoteLines,
                       const std::function<void(int Col, int Row, std::string_view Field)>& Field, int& LastCol,
                       int& LastRow);
// A pasted field as the cell stores it (see above), into Cell.
void PastedField(std::string_view Field, bool QuoteLines, std::string& Cell);

}  // namespace grid::exchange
