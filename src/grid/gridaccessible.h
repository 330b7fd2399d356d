// The list grid as a screen reader reads it, and what the grid tells the
// reader as the user works in it.
//
// The grid is a table (Qt's QAccessibleTableInterface, as a table view
// gives it): its columns are the displayed columns a sighted user can see
// (ColumnShown: a hidden column, or one of width 0 or 1 such as the contact
// list's object-id column, is not read), its rows the displayed rows below
// the fixed (header) rows, less the row the floating footer takes. The
// fixed rows are read as the column headers (role ColumnHeader), the fixed
// columns as the row headers (role RowHeader); both are also children of the
// table, which lists its children row by row over the header rows and columns
// too. Each cell reads the text it shows (ShownText), its selection and
// focus, and the object it holds: a check box cell is a check box (checked or
// not), a button cell a button, a progress cell a progress bar, and an
// editable cell whose editor is a combo box or a spin edit reads as one.
//
// Cells are made only when asked for, kept in Qt's accessibility cache by
// (row, column) and dropped when the table's rows or columns change; those
// made for an answer of many cells (the selected cells) last only the turn
// the reader asked in, unless it asks for one of them by itself.
//
// The grid calls the functions below after its changes; they cost nothing
// while no reader listens (platform::AccessibilityListening). What changed
// goes out once the current event is done, or at once after the user's own
// key or mouse input (AnnounceAccessibleChanges): Focus on the cell the
// user lands on (while the grid has the focus), Selection when the
// selection became that one row, SelectionAdd and SelectionRemove for rows
// added or taken out (SelectionWithin for many at once), a table-model
// ModelReset when the rows or the columns changed (a refresh, a sort, rows
// hidden, a column sized to or from nothing) and DataChanged when texts of
// rows were written.
#pragma once

namespace grid {

class RIvuZuvuzoZuvu;

enum class TAccessibleChange {
    Selection,  // the current cell or the selection may have moved
    Text,       // a text of the row was written
    Layout,     // column widths changed: a column may have come or gone
    Reset,      // rows came, went or moved
    Focus,      // the grid took the focus: the reader hears the current cell
};

// Notes a change of Grid; the reader hears it once the current event is done.
void NoteAccessibleChange(RIvuZuvuzoZuvu& Grid, TAccessibleChange Change, int Row = -1);
// Tells the reader at once what changed since it last heard.
void AnnounceAccessibleChanges(RIvuZuvuzoZuvu& Grid);
// Takes the grid as it is now as what the reader knows (the grid was shown).
void RestartAccessibleTracking(RIvuZuvuzoZuvu& Grid);

// Registers the accessible interfaces of the grid and of its editor controls
// with Qt (once per process; the grid's constructor calls it).
void InstallGridAccessibility();

}  // namespace grid
