// Keyboard handling of the list grid (row selection with the vertical keys
// and Space, Left and Right along the row of a row-select grid, Home/End to
// the first and last row, the clipboard keys, inserting and deleting rows,
// Tab past fixed right columns), the cell search (Find, FindFirst,
// FindNext, MatchCell) and the text editor's hand-over with validation.
#include "grid/listgrid.h"

#include "grid/htmldraw.h"

#include <QMetaObject>

namespace grid {

using platform::ShiftState;

// ---------------------------------------------------------------- keys

void RIvuZuvuzoZuvu::KeyDown(int& key, ShiftState shift)
{
    if (panning_)
        endPanning();
    const bool ctrl = shift & platform::ssCtrl, withShift = shift & platform::ssShift, alt = shift & platform::ssAlt;
    const int oldCol = Col(), oldRow = Row();
    const TGridRect oldSelection = Selection();

    // Space on a check box or radio cell that may be edited changes it.
    const int real = RemapCol(oldCol);
    if (key == platform::VK_SPACE && oldRow < RowCount() && HasStaticEdit(real, oldRow)) {
        bool canEdit = HasOption(platform::goEditing);
        GetCellReadOnly(oldCol, oldRow, canEdit);
        if (canEdit && HasCheckBox(real, oldRow) && ToggleCheck(real, oldRow, false)) {
            bool state = false;
            GetCheckBoxState(real, oldRow, state);
            if (OnCheckBoxClick)
                OnCheckBoxClick(this, oldCol, oldRow, state);
        } else if (canEdit && IsRadio(real, oldRow) && ToggleRadio(real, oldRow, false)) {
            int index = -1;
            const TCellStrings* items = GetRadioStrings(real, oldRow);
            if (!GetRadioIdx(real, oldRow, index) || index < 0)
                index = items ? items->IndexOf(GetCellEx(real, oldRow)) : -1;
            if (OnRadioClick)
                OnRadioClick(this, oldCol, oldRow, index);
        }
    } else if (key == platform::VK_SPACE && oldRow < RowCount() && !IsFixed(oldCol, oldRow)) {
        PressCellButton(oldCol, oldRow);  // Space presses a cell's button as a click does
    }

    if (withShift && !alt && listRangeKey(key)) {
        extendRowsByKey(key, shift);
        return;
    }
    if (Navigation->HomeEndKey() == heFirstLastRow && (key == platform::VK_HOME || key == platform::VK_END)) {
        int target = FixedRows();
        if (key == platform::VK_END)
            target = FloatingFooter.Visible && RowCount() > 2 ? RowCount() - 2 : RowCount() - 1;
        MoveColRow(Col(), target, true, true);
        SelectBaseCell();
        flagRowsAfterMove(oldRow, oldSelection, withShift);
        key = 0;
        return;
    }
    if (HasOption(platform::goRowSelect) && !ctrl && (key == platform::VK_LEFT || key == platform::VK_RIGHT)) {
        moveAlongRow(key == platform::VK_LEFT ? -1 : 1);
        key = 0;
        return;
    }

    // In a list Ctrl with Up, Down, Home and End moves the current row as the
    // key alone does (the column stays); only a grid of cells scrolls with
    // Ctrl+Up and Ctrl+Down and goes to its corner cells with Ctrl+Home and Ctrl+End.
    const bool listArrow = ctrl &&
                           (key == platform::VK_UP || key == platform::VK_DOWN || key == platform::VK_HOME ||
                            key == platform::VK_END) &&
                           (HasOption(platform::goRowSelect) || MouseActions->DisjunctRowSelect());
    TBaseGrid::KeyDown(key, listArrow ? shift & ~platform::ShiftState(platform::ssCtrl) : shift);
    if (SelectionRectangle() && !(Selection() == oldSelection)) {
        RepaintRect(oldSelection);
        RepaintRect(Selection());
    }

    // A clipboard key ends here, so Shift+Delete and Shift+Insert never also remove or insert a row.
    if (Navigation->AllowClipboardShortCuts() && clipboardKey(key, shift)) {
        key = 0;
        return;
    }

    const bool disjunct = MouseActions->DisjunctRowSelect();
    const int dataEnd = RowCount() - fixedFooters_;
    switch (key) {
    case platform::VK_INSERT:
        if (Navigation->AllowInsertRow() && !ctrl && !withShift && !alt) {
            bool canInsert = true;
            if (OnCanInsertRow)
                OnCanInsertRow(this, oldRow, canInsert);
            if (!canInsert)
                break;
            const int at = Navigation->InsertPosition() == pInsertBefore ? oldRow : oldRow + 1;
            InsertRows(at, 1);
            if (OnAutoInsertRow)
                OnAutoInsertRow(this, at);
            if (at != oldRow)
                MoveColRow(Col(), at, true, true);
        }
        break;
    case platform::VK_UP:
    case platform::VK_DOWN:
    case platform::VK_HOME:
    case platform::VK_END:
    case platform::VK_PRIOR:
    case platform::VK_NEXT:
        flagRowsAfterMove(oldRow, oldSelection, withShift);
        break;
    case platform::VK_SPACE:
        if (disjunct && Row() >= FixedRows() && Row() < RowCount())
            SetRowSelect(Row(), !GetRowSelect(Row()));
        break;
    case platform::VK_DELETE:
        if (Navigation->AllowDeleteRow() && !alt && dataEnd - FixedRows() >= 1 && oldRow >= FixedRows() &&
            oldRow < dataEnd) {
            bool canDelete = true;
            if (OnCanDeleteRow)
                OnCanDeleteRow(this, oldRow, canDelete);
            if (!canDelete)
                break;
            if (dataEnd - FixedRows() == 1)
                ClearRows(oldRow, 1);  // the last data row stays, emptied
            else
                RemoveRows(oldRow, 1);
            if (OnAutoDeleteRow)
                OnAutoDeleteRow(this, oldRow);
        }
        break;
    case platform::VK_TAB:
        if (HasOption(platform::goTabs) && fixedRightCols_ >= 1 && oldCol == ColCount() - fixedRightCols_ - 1 &&
            !withShift)
            MoveColRow(FixedCols(), oldRow >= dataEnd - 1 ? FixedRows() : oldRow + 1, true, true);
        break;
    default:
        break;
    }
}

// The rows the keys moved to are the rows the actions act on: after a move
// of the current row (with Shift, of the selected rows) the flags follow as
// the arrows set them. Without Shift only the new row is flagged, also with
// Ctrl (Ctrl+Home and Ctrl+End are jumps; rows join the flags by Ctrl+Space
// and Ctrl+click); with Shift the range from the anchor replaces them. A key
// that moved nothing changes nothing.
void RIvuZuvuzoZuvu::flagRowsAfterMove(int OldRow, const TGridRect& OldSelection, bool Shift)
{
    const TGridRect now = Selection();
    const bool moved =
        Shift ? now.Top != OldSelection.Top || now.Bottom != OldSelection.Bottom : Row() != OldRow;
    if (!moved || !MouseActions->DisjunctRowSelect() || Row() < FixedRows())
        return;
    if (Shift) {
        SelectToRowSelect(true);
        return;
    }
    ClearRowSelect();
    SetRowSelect(Row(), true);
}

// The keys that, with Shift, grow or shrink the selected rows of a list.
bool RIvuZuvuzoZuvu::listRangeKey(int Key) const
{
    const bool vertical = Key == platform::VK_UP || Key == platform::VK_DOWN || Key == platform::VK_PRIOR ||
                          Key == platform::VK_NEXT || Key == platform::VK_HOME || Key == platform::VK_END;
    return vertical && HasOption(platform::goRangeSelect) &&
           (HasOption(platform::goRowSelect) || MouseActions->DisjunctRowSelect());
}

// Shift with a vertical key in a list: as in a list view, the current row
// moves as the key alone moves it, and the selected rows run from the
// anchor, which stays, to it. The row reached is the row the user stands on:
// it is the one read, and the one Space flips and the next arrow leaves.
void RIvuZuvuzoZuvu::extendRowsByKey(int& Key, platform::ShiftState Shift)
{
    const QPoint anchor = Anchor();
    const TGridRect oldSelection = Selection();
    KeyDown(Key, Shift & ~platform::ShiftState(platform::ssShift));
    MoveAnchor(anchor.x(), anchor.y());
    ScrollIntoView(Col(), Row());
    if (!(Selection() == oldSelection) && MouseActions->DisjunctRowSelect() && Row() >= FixedRows())
        SelectToRowSelect(true);
    Key = 0;
}

int RIvuZuvuzoZuvu::ShownColumnAt(int ACol) const
{
    int before = -1;
    for (int c = FixedCols(); c < ColCount(); ++c) {
        if (!ColumnShown(c))
            continue;
        if (c >= ACol)
            return c;
        before = c;
    }
    return before;
}

void RIvuZuvuzoZuvu::moveAlongRow(int Step)
{
    const int from = ShownColumnAt(Col());
    if (from < 0)
        return;
    for (int c = from + Step; c >= FixedCols() && c < ColCount(); c += Step)
        if (ColumnShown(c)) {
            MoveColRow(c, Row(), false, true);  // the anchor keeps its row: the selected rows stay
            return;
        }
}

// ---------------------------------------------------------------- find

bool RIvuZuvuzoZuvu::MatchCell(int ACol, int ARow)
{
    std::string text = GetCellEx(RemapCol(ACol), ARow);
    const bool matchCase = findParams_ & fnMatchCase;
    if (findParams_ & fnIgnoreHTMLTags)
        text = HTMLStrip(text);
    if (!matchCase)
        text = UpperCase(text);
    if (findParams_ & fnMatchRegular)
        return MatchStrEx(findText_, text, matchCase);
    const int at = Pos(findText_, text);
    if (at == 0 || ((findParams_ & fnMatchStart) && at != 1))
        return false;
    return !(findParams_ & fnMatchFull) || text == findText_;
}

QPoint RIvuZuvuzoZuvu::Find(QPoint StartCell, const std::string& S, unsigned Params)
{
    findParams_ = Params;
    findText_ = (Params & fnMatchCase) ? S : UpperCase(S);
    findActive_ = true;
    if (ColCount() == 0 || RowCount() == 0 || ColCount() == FixedCols() || RowCount() == FixedRows()) {
        findActive_ = false;
        return {-1, -1};
    }
    int c0 = 0, c1 = ColCount() - 1, r0 = 0, r1 = RowCount() - 1;
    if (!(Params & fnIncludeFixed)) {
        c0 = FixedCols();
        c1 = ColCount() - 1 - fixedRightCols_;
        r0 = FixedRows();
        r1 = RowCount() - 1 - fixedFooters_;
    }
    if (Params & fnFindInCurrentRow)
        r0 = r1 = Row();
    if (Params & fnFindInCurrentCol)
        c0 = c1 = Col();

    const bool acrossRows = Params & fnDirectionLeftRight, backward = Params & fnBackward;
    const int d = backward ? -1 : 1;
    // One step in scan order: the inner index runs and restarts at its bound.
    auto step = [&](int& c, int& r) {
        int& inner = acrossRows ? c : r;
        int& outer = acrossRows ? r : c;
        const int innerFirst = acrossRows ? (backward ? c1 : c0) : (backward ? r1 : r0);
        const int innerLo = acrossRows ? c0 : r0, innerHi = acrossRows ? c1 : r1;
        inner += d;
        if (inner < innerLo || inner > innerHi) {
            inner = innerFirst;
            outer += d;
        }
    };
    int c = backward ? c1 : c0, r = backward ? r1 : r0;
    if (StartCell != QPoint(-1, -1)) {
        c = StartCell.x();
        r = StartCell.y();
        step(c, r);
    }
    for (; c >= c0 && c <= c1 && r >= r0 && r <= r1; step(c, r)) {
        if (MatchCell(c, r)) {
            findCell_ = {c, r};
            if (Params & fnAutoGoto)
                MoveColRow(c, r, true, true);
            return {c, r};
        }
    }
    findActive_ = false;
    return {-1, -1};
}

QPoint RIvuZuvuzoZuvu::FindFirst(const std::string& S, unsigned Params)
{
    findCell_ = Find({-1, -1}, S, Params);
    return findCell_;
}

QPoint RIvuZuvuzoZuvu::FindNext()
{
    findCell_ = Find(findCell_, findText_, findParams_);
    return findCell_;
}

// ---------------------------------------------------------------- the text editor

std::string RIvuZuvuzoZuvu::GetEditText(int col, int row)
{
    const int real = RemapCol(col);
    TAlignment hAlign = taLeftJustify;
    TVAlignment vAlign = vtaTop;
    GetCellAlignment(real, row, hAlign, vAlign);
    if (TGridInplaceEdit* editor = textEditor())
        editor->SetVAlign(hAlign == taRightJustify);
    // Markup is not edited unless asked; a "<" that opens no tag stays in the text.
    const std::string& text = Cells(real, row);
    if (!EditWithTags && TextType(text, EnableHTML) == ttHTML)
        return StripTags(text);
    return text;
}

std::string RIvuZuvuzoZuvu::GetStrippedCell(int ACol, int ARow) const { return HTMLStrip(GetCellEx(ACol, ARow)); }

void RIvuZuvuzoZuvu::SetEditText(int col, int row, const std::string& text)
{
    SetCells(RemapCol(col), row, text);
    // Leaving an edited cell validates what was typed against the text it had.
    if (validatePending_ && !validating_ && col == validateCol_ && row == validateRow_)
        ValidateCell(text);
}

void RIvuZuvuzoZuvu::reopenEditorLater()
{
    // The editor may be on its way out (validation runs while it closes):
    // reopen it once the event that closed it is over.
    if (reopenQueued_)
        return;
    reopenQueued_ = true;
    const int col = validateCol_, row = validateRow_;
    QMetaObject::invokeMethod(
        this,
        [this, col, row] {
            reopenQueued_ = false;
            if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount())
                return;
            if (Col() != col || Row() != row)
                MoveColRow(col, row, true, true);
            if (EditorMode() && InplaceEditor() && InplaceEditor()->isVisible()) {
                InplaceEditor()->UpdateContents();
                return;
            }
            HideEditor();
            ShowEditor();
        },
        Qt::QueuedConnection);
}

std::string RIvuZuvuzoZuvu::EllipsClick(const std::string& Value)
{
    std::string result = Value;
    if (OnEllipsClick)
        OnEllipsClick(this, GetRealCol(), Row(), result);
    return result;
}

}  // namespace grid
