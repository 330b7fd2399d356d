// Mouse handling of the list grid: the disjunct row selection with Ctrl and
// Shift, header selections, node and link clicks, the header-click sort on
// release, column sizing (also of fixed column 0 through its own zone),
// double-click auto-size, moved columns and rows, and the mouse-select mode
// with its cursors, the size hint, and the drag pending of a press.
#include "grid/listgrid.h"

#include "grid/cellgraphic.h"
#include "grid/cellobjects.h"
#include "grid/gridaccessible.h"
#include "grid/htmldraw.h"
#include "platform/shell.h"


#include <algorithm>
#include <cmath>

namespace grid {

using platform::ShiftState;

namespace {
// Distance inside a cell from either vertical edge that counts as its sizing zone.
constexpr int kSizeZone = 4;

bool nearVerticalEdge(const Rect& R, int X) { return X - R.Left < kSizeZone || R.Right - X < kSizeZone; }
bool nearHorizontalEdge(const Rect& R, int Y) { return Y - R.Top < kSizeZone || R.Bottom - Y < kSizeZone; }
}  // namespace

// ---------------------------------------------------------------- press

void RIvuZuvuzoZuvu::gridMouseDown(platform::MouseButton button, ShiftState shift, int x, int y)
{
    if (panning_) {
        endPanning();
        if (button == platform::mbMiddle)
            return;
    }
    int col = -1, row = -1;
    MouseToCell(x, y, col, row);

    if (button == platform::mbMiddle) {
        startPanning(x, y);
        return;
    }
    if (button == platform::mbRight) {
        rightMouseDown(shift, col, row, x, y);
        return;
    }

    // A double click's second press keeps what the double click decided.
    const bool keepNoSort = (shift & platform::ssDouble) && pressState_.noSort;
    pressState_ = PressState{};
    pressState_.noSort = keepNoSort;
    pressState_.point = {x, y};
    pressState_.col = col;
    pressState_.row = row;

    if (col < 0 || row < 0) {
        HideInplaceEdit();
        TBaseGrid::MouseDown(button, shift, x, y);
        return;
    }
    const QPoint base = BaseCell(col, row);
    col = base.x();
    row = base.y();

    if (fixedSizingArmed_) {
        pressState_.fixedSizing = true;
        pressState_.fixedSizingX = x;
        ToggleOverlayLine(x);
        return;
    }
    if (row >= FixedRows() && col == 0 && IsNode(row)) {
        toggleNodeAt(row);
        return;
    }
    const int real = RemapCol(col);
    if (IsRadio(real, row) && !IsFixed(col, row) && IsEditable(col, row)) {
        setFocus(Qt::MouseFocusReason);
        const Rect r = CellRect(col, row);
        HandleRadioClick(col, row, x - r.Left, y - r.Top);
        return;
    }
    if (col == 0 && HasNodes())
        return;
    // A press on a selected cell (or a header) may become a drag; it selects on release.
    if (DragDropSettings->OleDropSource() && !HasOption(platform::goEditing) &&
        (IsSelected(col, row) || (row < FixedRows() && !EnhRowColMove)) &&
        !(HasOption(platform::goColSizing) && nearVerticalEdge(CellRect(col, row), x))) {
        pressState_.dragPending = true;
        if (OnClickCell)
            OnClickCell(this, row, col);
        return;
    }
    if (col >= ColCount() || row >= RowCount()) {
        TBaseGrid::MouseDown(button, shift, x, y);
        return;
    }
    if (HasButton(real, row) && ButtonRect(real, row).Contains(x, y)) {
        PushButton(real, row, true);
        pressState_.button = {real, row};
        return;
    }

    if (MouseActions->DisjunctRowSelect() && row >= FixedRows()) {
        if (!(shift & platform::ssCtrl)) {
            ClearRowSelect();
            SetNewSelection(true);  // the rows being dragged show selected until the release
        }
        else if (GetRowSelect(row))
            pressState_.rowDeselect = true;
    }
    if (clickAnchorAt(col, row, real, x, y))
        return;
    selectFromHeaderAt(col, row, x, y);
    if (clickCheckBoxAt(col, row, real))
        return;
    if (OnClickCell)
        OnClickCell(this, row, col);
    pressCellInGrid(button, shift, col, row, x, y);
}

// The middle button starts panning where the grid pans and the wheel scrolls.
void RIvuZuvuzoZuvu::startPanning(int x, int y)
{
    if (IntelliPan != ipNone && wheelScrollLines_ > 0) {
        panning_ = true;
        panOrigin_ = {x, y};
        panTimer_ = startTimer(10);
        viewport()->grabMouse();
        viewport()->setCursor(Qt::SizeAllCursor);
    }
}

// The right button tells the owner and opens the editor on a link it may edit.
void RIvuZuvuzoZuvu::rightMouseDown(ShiftState shift, int col, int row, int x, int y)
{
    TBaseGrid::MouseDown(platform::mbRight, shift, x, y);
    if (col < 0 || row < 0)
        return;
    if (OnRightClickCell)
        OnRightClickCell(this, row, col);
    if (URLShow() && URLEdit && IsURL(GetCellEx(RemapCol(col), row)) && !IsFixed(col, row)) {
        MoveColRow(col, row, true, true);
        ShowEditor();
    }
}

// A press on a node opens or closes it and moves to its row.
void RIvuZuvuzoZuvu::toggleNodeAt(int row)
{
    const int real = RemapRowInv(row);
    if (GetNodeState(row)) {
        ExpandNode(row);
        if (OnExpandNode)
            OnExpandNode(this, row, real);
    } else {
        ContractNode(row);
        if (OnContractNode)
            OnContractNode(this, row, real);
    }
    MoveColRow(Col(), row, true, true);
}

// A link: the handler may take the click; otherwise the address opens. True
// when the press was on a link.
bool RIvuZuvuzoZuvu::clickAnchorAt(int col, int row, int real, int x, int y)
{
    const std::string text = GetCellEx(real, row);
    const TTextType type = TextType(text, EnableHTML);
    std::string anchor;
    if (URLShow() && type == ttText && IsURL(text))
        anchor = text;
    else if (type == ttHTML)
        anchor = AnchorAt(col, row, x, y);
    if (anchor.empty())
        return false;
    bool autoHandle = true;
    if (OnAnchorClick)
        OnAnchorClick(this, row, col, anchor, autoHandle);
    if (autoHandle)
        openAnchor(anchor);
    return true;
}

// Whole rows, columns or everything from the header cells, and the row or
// column a move gesture would take.
void RIvuZuvuzoZuvu::selectFromHeaderAt(int col, int row, int x, int y)
{
    const int fixedCols = GetFixedColsEx(), fixedRows = GetFixedRowsEx();
    mouseSelectMode_ = selectModeAt(x, y, col, row);
    if (HasOption(platform::goRangeSelect) && mouseSelectMode_ != msNormal) {
        setFocus(Qt::MouseFocusReason);
        if (mouseSelectMode_ == msAll) {
            SetSelection({fixedCols, fixedRows, ColCount() - 1, RowCount() - 1});
        } else if (mouseSelectMode_ == msRow) {
            SetSelection({fixedCols, row, ColCount() - 1, row});
            pressState_.headerAnchor = row;
        } else {
            SetSelection({col, fixedRows, col, RowCount() - 1});
            pressState_.headerAnchor = col;
        }
        HideInplaceEdit();
    }
    if (row < FixedRows() && col >= FixedCols())
        pressState_.moveSource = col;
    else if (col < FixedCols() && row >= FixedRows())
        pressState_.moveSource = row;
}

// A check box toggles on a click where the cell may be edited; true when it did.
bool RIvuZuvuzoZuvu::clickCheckBoxAt(int col, int row, int real)
{
    bool canEdit = HasOption(platform::goEditing);
    GetCellReadOnly(col, row, canEdit);
    if (!canEdit || IsFixed(col, row) || !HasCheckBox(real, row))
        return false;
    setFocus(Qt::MouseFocusReason);
    ToggleCheck(real, row, false);
    bool state = false;
    GetCheckBoxState(real, row, state);
    if (OnCheckBoxClick)
        OnCheckBoxClick(this, col, row, state);
    MoveColRow(col, row, true, true);
    if (HideFocusRect)
        RepaintCell(col, row);
    Click();
    return true;
}

bool RIvuZuvuzoZuvu::ClickCheckBoxCell(int ACol, int ARow)
{
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
        return false;
    return clickCheckBoxAt(ACol, ARow, RemapCol(ACol));
}

bool RIvuZuvuzoZuvu::PressCellButton(int ACol, int ARow)
{
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
        return false;
    const int real = RemapCol(ACol);
    if (!HasButton(real, ARow))
        return false;
    if (OnButtonClick)
        OnButtonClick(this, real, ARow);
    return true;
}

// The string grid does the rest: focus, current cell, range selection,
// sizing and moving gestures that start in the header cells; then the
// validation starts and a direct-edit grid opens its editor.
void RIvuZuvuzoZuvu::pressCellInGrid(platform::MouseButton button, ShiftState shift, int col, int row, int x, int y)
{
    const bool alwaysEdit = Navigation->AlwaysEdit();
    if (alwaysEdit)
        Navigation->AlwaysEdit = false;
    if (MouseActions->CaretPositioning())
        caretClick_ = QPoint(x, y);  // an editor this click opens puts its caret here
    TBaseGrid::MouseDown(button, shift, x, y);
    if (alwaysEdit)
        Navigation->AlwaysEdit = true;
    if (OnCellValidate)
        InitValidate(Col(), Row());
    if (MouseActions->DirectEdit() && IsEditable(col, row) && !nearVerticalEdge(CellRect(col, row), x))
        ShowEditor();
    caretClick_.reset();
}

RIvuZuvuzoZuvu::TMouseSelectMode RIvuZuvuzoZuvu::selectModeAt(int X, int Y, int ACol, int ARow)
{
    if (ACol < 0 || ARow < 0)
        return msNormal;
    const int fixedCols = GetFixedColsEx(), fixedRows = GetFixedRowsEx();
    if (ARow < fixedRows && ACol < fixedCols)
        return MouseActions->AllSelect() ? msAll : msNormal;
    if (ARow < fixedRows && MouseActions->ColSelect() && !InSizeZone(X, Y))
        return msColumn;
    if (ACol < fixedCols && ARow >= fixedRows && MouseActions->RowSelect() && !InSizeZone(X, Y))
        return msRow;
    return msNormal;
}

std::string RIvuZuvuzoZuvu::AnchorAt(int ACol, int ARow, int X, int Y)
{
    const std::string text = GetCellEx(RemapCol(ACol), ARow);
    if (TextType(text, EnableHTML) != ttHTML)
        return {};
    // Measured the way the cell is painted: its font, 2 pixels in from the top-left.
    platform::Canvas& canvas = Canvas();
    const platform::Font keepFont = canvas.Font;
    platform::Brush brush;
    platform::GridDrawState state = 0;
    TAlignment hAlign;
    TVAlignment vAlign;
    bool wrap = WordWrap();
    canvas.Font = Font();
    GetVisualProperties(ACol, ARow, state, false, true, brush, canvas.Font, hAlign, vAlign, wrap);
    Rect r = CellRect(ACol, ARow);
    r.Left += 2;
    r.Top += 2;
    THTMLDrawParams in;
    in.Images = dynamic_cast<const TCustomImageList*>(GridImages);
    in.X = X;
    in.Y = Y;
    in.CheckAnchor = true;
    in.WordWrap = !EnhTextSize;
    in.URLColor = URLColor();
    THTMLDrawResult out;
    const bool hit = Listgrid::HTMLDraw(canvas, text, r, in, out);
    canvas.Font = keepFont;
    return hit ? out.AnchorValue : std::string();
}

void RIvuZuvuzoZuvu::HandleRadioClick(int ACol, int ARow, int X, int Y)
{
    const int real = RemapCol(ACol);
    TCellGraphic* graphic = GetCellGraphic(real, ARow);
    const TCellStrings* items = GetRadioStrings(real, ARow);
    if (!graphic || !items)
        return;
    platform::Canvas& canvas = Canvas();
    platform::Brush brush;
    canvas.Font = Font();
    GetCellColor(ACol, ARow, 0, brush, canvas.Font);
    MoveColRow(ACol, ARow, true, true);

    const TControlStyle style = ControlLook->ControlStyle();
    const int glyph = style == csClassic || style == csFlat ? ControlLook->RadioSize() : 16;
    const bool across = graphic->CellBoolean;
    const int lineHeight = std::max(glyph, canvas.TextHeight(QStringLiteral("gh")));
    int from = 0;
    for (int i = 0; i < items->Count(); ++i) {
        const std::string& item = items->Lines[static_cast<std::size_t>(i)];
        const int span = across ? canvas.TextWidth(QString::fromStdString(item)) + glyph + 2 : lineHeight;
        const int at = across ? X : Y;
        if (at > from && at < from + span) {
            if (graphic->CellIndex < 0)
                SetCellEx(real, ARow, item);  // the group is bound to the cell text
            else
                SetRadioIdx(real, ARow, i);
            RepaintCell(ACol, ARow);
            if (OnRadioClick)
                OnRadioClick(this, ACol, ARow, i);
            return;
        }
        from += span;
    }
}

void RIvuZuvuzoZuvu::openAnchor(const std::string& Anchor)
{
    if (UpperCase(Anchor).find("CELL://") != std::string::npos) {
        CellPoint cell;
        if (NameToCell(Anchor.substr(7), cell) && cell.X < ColCount() && cell.Y < RowCount()) {
            MoveColRow(cell.X, cell.Y, true, false);
            ScrollInView(cell.X, cell.Y);
        }
        return;
    }
    // Only web and mail addresses reach the desktop; other schemes are refused there.
    platform::OpenAddress(QString::fromStdString(Anchor));
}

// ---------------------------------------------------------------- release

void RIvuZuvuzoZuvu::MouseUp(platform::MouseButton button, ShiftState shift, int x, int y)
{
    SetNewSelection(false);
    if (button != platform::mbLeft) {
        TBaseGrid::MouseUp(button, shift, x, y);
        return;
    }
    int col = -1, row = -1;
    MouseToCell(x, y, col, row);
    endPress(true, col, row, x);

    TBaseGrid::MouseUp(button, shift, x, y);  // finishes a sizing or a move
    sizingCol_ = sizingRow_ = false;
    PressState& press = pressState_;
    if (press.moved || press.widthsChanged || press.noSort || col < 0 || row < 0) {
        press.noSort = false;
        return;
    }
    const int real = RemapCol(col);
    if (col >= FixedCols() || SortSettings->FixedCols()) {
        bool state = false;
        int index = -1;
        if (OnCheckBoxMouseUp && GetCheckBoxState(real, row, state))
            OnCheckBoxMouseUp(this, col, row, state);
        if (OnRadioMouseUp && GetRadioIdx(real, row, index))
            OnRadioMouseUp(this, col, row, index);
    }
    HeaderClickSort(col, row, press.row, shift, x);
}

// The release never came (a modal window took it): the press ends at the
// current cell. The rows dragged over keep their selection; a sizing, a
// move, the button's click, a sort and the selection a pending drag would
// make on release do not happen.
void RIvuZuvuzoZuvu::PressLost()
{
    SetNewSelection(false);
    endPress(false, Col(), Row(), 0);
    TBaseGrid::PressLost();
    sizingCol_ = sizingRow_ = false;
    fixedSizingArmed_ = false;  // until a move finds the pointer in the zone again
    pressState_ = PressState{};
}

void RIvuZuvuzoZuvu::endPress(bool Released, int col, int row, int x)
{
    PressState& press = pressState_;
    press.moved = false;
    press.widthsChanged = false;
    press.headerAnchor = -1;
    hideMoveFeedback();

    if (press.fixedSizing) {
        press.fixedSizing = false;
        ClearOverlayLines();
        if (Released && FixedCols() > 0)
            SetColWidths(0, std::max(0, x));
        press.noSort = true;
    }
    if (press.button.x() >= 0) {
        const QPoint b = press.button;
        press.button = {-1, -1};
        PushButton(b.x(), b.y(), false);
        if (Released && OnButtonClick)
            OnButtonClick(this, b.x(), b.y());
    }
    if (HintShowSizing)
        HideHint();

    if (press.dragPending) {
        // No drag started: a release selects now.
        press.dragPending = false;
        if (Released && col >= FixedCols() && row >= FixedRows()) {
            const int oldRow = Row();
            MoveColRow(col, row, true, true);
            if (!RowIndicator.isNull()) {
                RepaintCell(0, oldRow);
                RepaintCell(0, row);
            }
        }
    }
    const bool pressedInCells = press.col >= 0 && press.row >= 0;
    if (MouseActions->DisjunctRowSelect() && pressedInCells && row >= FixedRows() && GridState() == platform::gsSelecting) {
        SelectToRowSelect(false);
        if (Released && press.rowDeselect)
            SetRowSelect(row, false);
    }
}

// ---------------------------------------------------------------- double click

void RIvuZuvuzoZuvu::DblClick(ShiftState shift, int x, int y)
{
    int col = -1, row = -1;
    MouseToCell(x, y, col, row);
    if (row == 0 && col >= 0 && HasOption(platform::goColSizing)) {
        const Rect r = GetCellRect(col, row);
        if (nearVerticalEdge(r, x)) {
            // The column whose right border was hit: the left neighbour or this one.
            const int sized = x - r.Left < kSizeZone ? col - 1 : col;
            if (sized >= FixedCols())
                AutoSizeCol(sized);
            pressState_.noSort = true;
            return;
        }
    }
    TBaseGrid::DblClick(shift, x, y);
    if (col >= 0 && row >= 0 && OnDblClickCell)
        OnDblClickCell(this, row, col);
}

// ---------------------------------------------------------------- sizing and moving

void RIvuZuvuzoZuvu::CalcSizingState(int x, int y, platform::GestureState& state, int& index, int& sizingPos,
                                     int& sizingOfs)
{
    TBaseGrid::CalcSizingState(x, y, state, index, sizingPos, sizingOfs);
    bool allow = true;
    if (state == platform::gsColSizing && OnColumnSize)
        OnColumnSize(this, index, allow);
    else if (state == platform::gsRowSizing && OnRowSize)
        OnRowSize(this, index, allow);
    if (!allow) {
        state = platform::gsNormal;
        return;
    }
    sizingCol_ = state == platform::gsColSizing;
    sizingRow_ = state == platform::gsRowSizing;
    if (sizingCol_ || sizingRow_) {
        sizedIndex_ = index;
        sizedStart_ = sizingCol_ ? ColWidths(index) : RowHeights(index);
    }
}

bool RIvuZuvuzoZuvu::InSizeZone(int X, int Y)
{
    int col = -1, row = -1;
    MouseToCell(X, Y, col, row);
    if (col < 0 || row < 0)
        return false;
    const Rect r = CellRect(col, row);
    bool inZone = false;
    if (row < GetFixedRowsEx() && HasOption(platform::goColSizing))
        inZone = nearVerticalEdge(r, X);
    if (col < GetFixedColsEx() && HasOption(platform::goRowSizing))
        inZone = nearHorizontalEdge(r, Y);
    return inZone;
}

namespace {
// Moves entry From of a table to To, shifting the entries between.
template <typename Get, typename Set>
void rotate(int From, int To, Get get, Set set)
{
    const int kept = get(From);
    if (From < To)
        for (int i = From; i < To; ++i)
            set(i, get(i + 1));
    else
        for (int i = From; i > To; --i)
            set(i, get(i - 1));
    set(To, kept);
}

// Where an index stands after entry From moved to To.
int followMove(int Index, int From, int To)
{
    if (Index == From)
        return To;
    if (From < To && Index > From && Index <= To)
        return Index - 1;
    if (From > To && Index >= To && Index < From)
        return Index + 1;
    return Index;
}
}  // namespace

void RIvuZuvuzoZuvu::ColumnMoved(int from, int to)
{
    TBaseGrid::ColumnMoved(from, to);
    if (EnhRowColMove)
        rotate(from, to, [this](int c) { return ColWidths(c); }, [this](int c, int w) { SetColWidths(c, w); });
    const int sortCol = followMove(SortSettings->Column(), RemapCol(from), RemapCol(to));
    if (sortCol != SortSettings->Column())
        SortSettings->Column = sortCol;
    pressState_.moved = true;
    NoteAccessibleChange(*this, TAccessibleChange::Reset);
}

void RIvuZuvuzoZuvu::RowMoved(int from, int to)
{
    TBaseGrid::RowMoved(from, to);
    if (EnhRowColMove)
        rotate(from, to, [this](int r) { return RowHeights(r); }, [this](int r, int h) { SetRowHeights(r, h); });
    pressState_.moved = true;
    NoteAccessibleChange(*this, TAccessibleChange::Reset);
}

// ---------------------------------------------------------------- moves

void RIvuZuvuzoZuvu::showMoveFeedback(int X, int Y)
{
    const auto& gesture = CurrentGesture();
    const bool cols = GridState() == platform::gsColMoving;
    // The dragged header follows the pointer.
    const Rect header = cols ? GetCellRect(gesture.moveFrom, 0) : GetCellRect(0, gesture.moveFrom);
    popupButton_->Caption = QString::fromStdString(cols ? GetCellEx(RemapCol(gesture.moveFrom), 0)
                                                        : GetCellEx(0, gesture.moveFrom));
    popupButton_->resize(std::max(1, header.Width()), std::max(1, header.Height()));
    popupButton_->move(viewport()->mapToGlobal(QPoint(X, Y - header.Height())));
    popupButton_->show();
    popupButton_->update();
    // Arrows at the gap before the target column (row).
    const int target = std::max(gesture.moveTo, cols ? FixedCols() : FixedRows());
    if (cols) {
        const int gap = ColLeft(target), top = 0, bottom = FixedRowsHeight();
        arrows_[arrDown]->move(viewport()->mapToGlobal(QPoint(gap - 5, top - 11)));
        arrows_[arrUp]->move(viewport()->mapToGlobal(QPoint(gap - 5, bottom)));
        arrows_[arrDown]->show();
        arrows_[arrUp]->show();
    } else {
        const int gap = RowTop(target), right = FixedColsWidth();
        arrows_[arrRight]->move(viewport()->mapToGlobal(QPoint(-11, gap - 5)));
        arrows_[arrLeft]->move(viewport()->mapToGlobal(QPoint(right, gap - 5)));
        arrows_[arrRight]->show();
        arrows_[arrLeft]->show();
    }
    // Past the edges the grid scrolls one column (row) at a time.
    if (cols && X < FixedColsWidth())
        SetLeftCol(LeftCol() - 1);
    else if (cols && X >= viewport()->width())
        SetLeftCol(LeftCol() + 1);
    else if (!cols && Y < FixedRowsHeight())
        SetTopRow(TopRow() - 1);
    else if (!cols && Y >= viewport()->height())
        SetTopRow(TopRow() + 1);
    viewport()->setCursor(Qt::DragMoveCursor);
}

void RIvuZuvuzoZuvu::hideMoveFeedback()
{
    const bool shown = popupButton_->isVisible();
    for (TArrowWindow* arrow : arrows_)
        arrow->hide();
    popupButton_->hide();
    if (shown)
        viewport()->setCursor(normalCursor_);
}

void RIvuZuvuzoZuvu::MouseMove(ShiftState shift, int x, int y)
{
    int col = -1, row = -1;
    MouseToCell(x, y, col, row);
    const int fixedCols = GetFixedColsEx(), fixedRows = GetFixedRowsEx();

    // Dragging over the row (column) headers widens the header selection.
    if (pressState_.headerAnchor >= 0 && (shift & platform::ssLeft) && col >= 0 && row >= 0) {
        const int a = pressState_.headerAnchor;
        if (mouseSelectMode_ == msRow && row >= fixedRows)
            SetSelection({fixedCols, std::min(a, row), ColCount() - 1, std::max(a, row)});
        else if (mouseSelectMode_ == msColumn && col >= fixedCols)
            SetSelection({std::min(a, col), fixedRows, std::max(a, col), RowCount() - 1});
    }

    if (pressState_.fixedSizing) {
        const int at = std::max(1, x);
        if (at != pressState_.fixedSizingX) {
            ToggleOverlayLine(pressState_.fixedSizingX);
            pressState_.fixedSizingX = at;
            ToggleOverlayLine(at);
        }
        if (HintShowSizing)
            showHintAt(QPoint(0, 0), "cw=<b>" + std::to_string(at) + "</b>", HintColor);
        return;
    }
    fixedSizingArmed_ = MouseActions->SizeFixedCol() && FixedCols() > 0 && col >= 0 &&
                        GridState() == platform::gsNormal && !(shift & platform::ssLeft) &&
                        std::abs(x - ColWidths(0)) < 3;

    if (pressState_.dragPending && col >= 0 && row >= 0 && DragDropSettings->OleDropSource() &&
        GridState() != platform::gsColSizing && startOleDrag(x, y))
        return;

    // A handler may stop a column or row move while it runs.
    const platform::GestureState state = GridState();
    if (state == platform::gsColMoving || state == platform::gsRowMoving) {
        bool allow = true;
        if (state == platform::gsColMoving && OnColumnMove)
            OnColumnMove(this, CurrentGesture().moveFrom, allow);
        if (state == platform::gsRowMoving && OnRowMove)
            OnRowMove(this, CurrentGesture().moveFrom, allow);
        if (!allow) {
            SetGridState(platform::gsNormal);
            hideMoveFeedback();
        } else if (EnhRowColMove && QPoint(x, y) != pressState_.point) {
            showMoveFeedback(x, y);
        }
    }

    mouseSelectMode_ = selectModeAt(x, y, col, row);
    // Links under the pointer: plain link cells, and anchors in HTML cells.
    std::string anchor;
    bool overLink = false;
    if (col >= 0 && row >= 0) {
        const std::string text = GetCellEx(RemapCol(col), row);
        if (TextType(text, EnableHTML) == ttHTML)
            anchor = AnchorAt(col, row, x, y);
        overLink = !anchor.empty() || (URLShow() && IsURL(text));
    }
    if (anchor != hoverAnchor_) {
        if (!hoverAnchor_.empty() && OnAnchorExit)
            OnAnchorExit(this, row, col, hoverAnchor_);
        hoverAnchor_ = anchor;
        if (!anchor.empty() && OnAnchorEnter)
            OnAnchorEnter(this, row, col, anchor);
    }
    if (fixedSizingArmed_)
        viewport()->setCursor(Qt::SplitHCursor);
    else if (overLink)
        viewport()->setCursor(Qt::PointingHandCursor);
    else if (mouseSelectMode_ == msRow || mouseSelectMode_ == msColumn || mouseSelectMode_ == msAll)
        viewport()->setCursor(Qt::CrossCursor);
    else
        viewport()->setCursor(normalCursor_);

    if (state == platform::gsSelecting && (RowCount() == 1 || fixedCols >= ColCount()))
        SetGridState(platform::gsNormal);
    TBaseGrid::MouseMove(shift, x, y);

    // The new width (height) next to the pointer while a column (row) is sized.
    if (HintShowSizing && (GridState() == platform::gsColSizing || GridState() == platform::gsRowSizing)) {
        const auto& g = CurrentGesture();
        const bool cols = GridState() == platform::gsColSizing;
        const int size = cols ? g.sizingPos - ColLeft(g.index) : g.sizingPos - RowTop(g.index);
        const QPoint corner = cols ? QPoint(ColLeft(g.index), 0) : QPoint(0, RowTop(g.index));
        showHintAt(corner, std::string(cols ? "cw" : "rh") + "=<b>" + std::to_string(size) + "</b>", HintColor);
    }
}

}  // namespace grid
