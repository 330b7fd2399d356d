// The string grid base: a scrolling grid of text cells with fixed (header)
// rows and columns on the left and top, per-column widths and per-row heights,
// a current cell and a rectangular selection, keyboard and mouse navigation,
// column/row sizing and moving by mouse, and a hook for an in-place editor.
// The list grid builds on it by overriding the protected virtuals.
//
// Geometry: cell (c, r) spans ColWidths(c) x RowHeights(r) pixels, followed by
// GridLineWidth pixels of line. Fixed columns start at x = 0; the scrolling
// columns start right after them, from LeftCol on (likewise rows with TopRow).
// Widths and heights are kept with running sums, so a cell's position costs
// O(log n) whatever the row count. Scroll bars move by whole rows and columns.
//
// Cells: texts (8-bit UTF-8) and object pointers (not owned). Data stored in
// columns at or beyond ColCount is kept when ColCount shrinks (and shows again
// when it grows); rows at or beyond RowCount are dropped when RowCount shrinks.
//
// Painting follows Qt: the grid paints in Paint(), called from the viewport's
// paint event; anything the grid wants drawn between paints (a sizing line)
// is stored state followed by update().
#pragma once

#include "platform/canvas.h"
#include "platform/geometry.h"
#include "platform/inplaceedit.h"
#include "platform/presswatch.h"

#include <QAbstractScrollArea>
#include <memory>
#include <stdexcept>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Raised for a misuse of the grid (a negative count, a fixed count not below
// the count, an index out of range on writing).
class GridError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum GridOption : unsigned {
    goFixedVertLine = 1u << 0, goFixedHorzLine = 1u << 1, goVertLine = 1u << 2, goHorzLine = 1u << 3,
    goRangeSelect = 1u << 4, goDrawFocusSelected = 1u << 5, goRowSizing = 1u << 6, goColSizing = 1u << 7,
    goRowMoving = 1u << 8, goColMoving = 1u << 9, goEditing = 1u << 10, goTabs = 1u << 11,
    goRowSelect = 1u << 12, goAlwaysShowEditor = 1u << 13, goThumbTracking = 1u << 14
};
using GridOptions = unsigned;
constexpr GridOptions kDefaultGridOptions =
    goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;

enum GridDrawStateFlag : unsigned { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using GridDrawState = unsigned;

// The gesture a mouse press started.
enum GestureState { gsNormal, gsSelecting, gsRowSizing, gsColSizing, gsRowMoving, gsColMoving };

enum ShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };
using ShiftState = unsigned;
enum MouseButton { mbLeft, mbRight, mbMiddle };

enum ScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum BorderStyle { bsNone, bsSingle };
// What moved a scroll bar.
enum ScrollCode { SB_LINEUP, SB_LINEDOWN, SB_PAGEUP, SB_PAGEDOWN, SB_THUMBPOSITION, SB_THUMBTRACK, SB_TOP, SB_BOTTOM, SB_ENDSCROLL };

// Virtual key codes handed to the key handlers (letters and digits are their ASCII upper-case codes).
enum : int {
    VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12,
    VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24,
    VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D, VK_DELETE = 0x2E,
    VK_F1 = 0x70, VK_F2, VK_F3, VK_F4, VK_F5, VK_F6, VK_F7, VK_F8, VK_F9, VK_F10, VK_F11, VK_F12
};
// The key code and shift state of a Qt key event (0 for keys without a code).
int VirtualKeyOf(const class QKeyEvent& e);
ShiftState ShiftStateOf(Qt::KeyboardModifiers m, Qt::MouseButtons b = Qt::NoButton);

// The cells of one row or one column, with their objects.
struct CellLine {
    std::vector<std::string> texts;
    std::vector<Object*> objects;  // may be shorter than texts
};

class StringGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit StringGrid(QWidget* parent = nullptr);
    ~StringGrid() override;

    // ----- counts and sizes -----
    int ColCount() const { return colCount_; }
    void SetColCount(int n);
    int RowCount() const { return rowCount_; }
    void SetRowCount(int n);
    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int n);  // GridError unless n < ColCount (or both 0)
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int n);
    int DefaultColWidth() const { return defaultColWidth_; }
    void SetDefaultColWidth(int w);  // every column takes it
    // The height every row takes: the height asked for, or more when a line
    // of the font's text needs more; it grows and shrinks with the font.
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int h);  // every row takes it
    int ColWidths(int col) const;
    void SetColWidths(int col, int w);
    int RowHeights(int row) const;
    void SetRowHeights(int row, int h);
    // Every row whose height stays above 0 grows by delta (shrinks when it
    // is negative), in one pass however many rows there are.
    void AddToRowHeights(int delta);
    int GridLineWidth() const { return lineWidth_; }
    void SetGridLineWidth(int w);
    GridOptions Options() const { return options_; }
    void SetOptions(GridOptions o);
    bool HasOption(GridOption o) const { return options_ & o; }

    // ----- appearance -----
    TColor Color() const { return color_; }
    void SetColor(TColor c);
    TColor FixedColor() const { return fixedColor_; }
    void SetFixedColor(TColor c);
    // The font of the cells: the widget's own font (the application's, or a
    // parent's), followed as it changes, until SetFont gives the grid one of
    // its own. Its colour is the palette's text colour unless set.
    platform::Font& Font() { return font_; }
    const platform::Font& Font() const { return font_; }
    void SetFont(const platform::Font& f);
    bool OwnFont() const { return ownFont_; }
    bool DefaultDrawing() const { return defaultDrawing_; }
    void SetDefaultDrawing(bool d);
    ScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(ScrollStyle s);
    BorderStyle GetBorderStyle() const { return borderStyle_; }
    virtual void SetBorderStyle(BorderStyle b);

    // ----- geometry (client coordinates of the viewport) -----
    // Left edge of a column: fixed columns from 0, scrolling ones from the end
    // of the fixed area counted from LeftCol (negative or beyond the client
    // width when scrolled out). O(log n).
    int ColLeft(int col) const;
    int RowTop(int row) const;
    int FixedColsWidth() const;   // widths and lines of the fixed columns
    int FixedRowsHeight() const;
    // The cell's rectangle without its lines; empty when no part is visible.
    Rect CellRect(int col, int row) const;
    // The cell under a client point, (-1, -1) outside the cells.
    void MouseToCell(int x, int y, int& col, int& row) const;
    // Widths summed over columns [from, to), lines not included. O(log n).
    long long ColWidthsSum(int from, int to) const;
    long long RowHeightsSum(int from, int to) const;

    // ----- scrolling -----
    int TopRow() const { return topRow_; }
    void SetTopRow(int row);
    int LeftCol() const { return leftCol_; }
    void SetLeftCol(int col);
    // Scrolling rows (columns) wholly visible from TopRow (LeftCol), at least 1 when any exists.
    int VisibleRowCount() const;
    int VisibleColCount() const;
    // The largest TopRow that still fills the client area.
    int MaxTopRow() const;
    int MaxLeftCol() const;

    // ----- current cell and selection -----
    int Col() const { return curCol_; }
    void SetCol(int col);
    int Row() const { return curRow_; }
    void SetRow(int row);
    // The selected block: the current cell and the anchor at its corners.
    GridRect Selection() const;
    void SetSelection(const GridRect& r);  // current cell := (Left, Top), anchor := (Right, Bottom)
    QPoint Anchor() const { return {anchorCol_, anchorRow_}; }

    // ----- cells -----
    const std::string& Cells(int col, int row) const;  // empty text outside the stored data
    void SetCells(int col, int row, std::string_view text);
    // Makes room for `cols` cells in the row's store, so that a row filled
    // cell by cell grows once; nothing visible changes.
    void ReserveRowCells(int row, int cols);
    // Sets the texts of a row from firstCol on, as SetCells would one by one.
    // The texts must not point into this grid's cells.
    void SetRowCells(int row, int firstCol, std::span<const std::string_view> texts);
    Object* Objects(int col, int row) const;
    // The row's object slots from 0 that may hold an object; every later
    // slot is empty (0 for a row that never held one).
    int ObjectSlots(int row) const;
    void SetObjects(int col, int row, Object* obj);
    // Whole rows and columns: reading gives ColCount (RowCount) entries; writing
    // sets the given entries and empties the rest of the row (column).
    CellLine Rows(int row) const;
    void SetRows(int row, const CellLine& line);
    CellLine Cols(int col) const;
    void SetCols(int col, const CellLine& line);
    // Moves the row (column) to the end and drops it; RowCount (ColCount) shrinks by one.
    void DeleteRow(int row);
    // Exchanges everything stored for two rows: the texts and objects of every
    // column, also those kept beyond ColCount. Heights stay; nothing repaints.
    void ExchangeRowData(int a, int b);
    void DeleteColumn(int col);
    // Moves a column (row) to another place through ColumnMoved (RowMoved).
    void MoveColumn(int from, int to);
    void MoveRow(int from, int to);

    // ----- repainting -----
    void InvalidateCell(int col, int row);
    void InvalidateRow(int row);
    void InvalidateCol(int col);
    void InvalidateRect(const Rect& r);  // client coordinates
    void InvalidateGrid();
    // How many cells the last Paint drew (fixed ones included).
    int LastPaintCellCount() const { return lastPaintCells_; }

    // ----- editor -----
    bool EditorMode() const;
    void SetEditorMode(bool on);
    void ShowEditor();
    void HideEditor();
    InplaceEdit* InplaceEditor() const { return editor_; }
    // The text editor, made hidden when the grid has none yet.
    InplaceEdit* EnsureInplaceEditor()
    {
        if (!editor_ && (editor_ = CreateEditor())) {
            editor_->setParent(viewport());
            editor_->hide();
        }
        return editor_;
    }

    // ----- gesture state -----
    GestureState GridState() const { return gesture_.state; }
    void SetGridState(GestureState s);

    // Surface for drawing (attached during Paint) and measuring (any time).
    platform::Canvas& Canvas() { return canvas_; }

protected:
    // ----- painting -----
    // Paints every visible cell through DrawCell, then the lines, then the
    // overlay lines. Override to add before or after; call the base to paint cells.
    virtual void Paint();
    // Draws one cell. rect excludes the grid lines. The base fills the
    // background (when DefaultDrawing) and draws the text on one line.
    virtual void DrawCell(int col, int row, const Rect& rect, GridDrawState state);
    // Dotted vertical lines drawn over the cells at the given client x, for
    // sizing feedback. Toggling the same x twice removes it.
    void ToggleOverlayLine(int x);
    void ClearOverlayLines();
    const std::vector<int>& OverlayLines() const { return overlayLines_; }

    // ----- notifications -----
    // May refuse the move of the current cell to (col, row). The base allows.
    virtual bool SelectCell(int col, int row);
    virtual void TopLeftChanged();
    // The grid's font changed (SetFont, or the widget's font it follows);
    // the rows fit it already. The base does nothing.
    virtual void FontChanged();
    virtual void ColWidthsChanged();
    virtual void RowHeightsChanged();
    virtual void SizeChanged(int oldColCount, int oldRowCount);
    // Rows [from, RowCount) are about to be dropped as RowCount shrinks: the
    // last moment their objects can be reached. The base does nothing.
    virtual void RowsDropping(int from);
    // The current cell or the far corner of the selected block moved; called
    // after the move. The base does nothing.
    virtual void SelectionMoved();
    // A text of the row was written (SetCells, SetRowCells). The base does nothing.
    virtual void RowTextChanged(int row);
    // While true, a cell written asks for no repaint of its own: whoever
    // holds the repaints repaints the whole grid when done. The base never
    // holds them.
    virtual bool CellRepaintsHeld() const;
    // Carries the cells (texts and objects) of column `from` to `to`, shifting
    // those in between; widths and heights stay where they are.
    virtual void ColumnMoved(int from, int to);
    virtual void RowMoved(int from, int to);
    virtual void Click();
    virtual void DoEnter();
    virtual void DoExit();
    virtual void Resize();

    // ----- gestures -----
    // What a press at (x, y) starts: gsColSizing / gsRowSizing when the point
    // lies within 3 pixels of a column (row) border in the fixed rows (columns)
    // and goColSizing (goRowSizing) is set; Index is the column (row) sized,
    // SizingPos the border's client position and SizingOfs the press point's
    // offset from it. Otherwise gsNormal. An override may veto by setting gsNormal.
    virtual void CalcSizingState(int x, int y, GestureState& state, int& index, int& sizingPos, int& sizingOfs);
    struct Gesture {
        GestureState state = gsNormal;
        int index = -1;          // column or row being sized or moved
        int sizingPos = 0;       // client position of the border being dragged
        int sizingOfs = 0;
        int moveFrom = -1, moveTo = -1;
        QPoint press;            // client point of the press
    };
    const Gesture& CurrentGesture() const { return gesture_; }
    // The left press's release will not come (see PressWatch): the gesture
    // ends where it stands. Sizing and moving change nothing; a selection
    // keeps what it reached; no Click. Descendants end their own press state
    // and call the base.
    virtual void PressLost();

    // ----- input (client coordinates; Key 0 on return means consumed) -----
    virtual void KeyDown(int& key, ShiftState shift);
    virtual void KeyUp(int& key, ShiftState shift);
    virtual void KeyPress(char32_t& key);
    virtual void MouseDown(MouseButton button, ShiftState shift, int x, int y);
    virtual void MouseMove(ShiftState shift, int x, int y);
    virtual void MouseUp(MouseButton button, ShiftState shift, int x, int y);
    virtual void DblClick(ShiftState shift, int x, int y);
    // One wheel event; delta in eighths of a degree as Qt gives it (120 a
    // notch). The base calls DoMouseWheelDown/Up once per notch.
    virtual bool MouseWheel(ShiftState shift, int delta, QPoint pos);
    // The base moves the current row one down (up).
    virtual bool DoMouseWheelDown(ShiftState shift, QPoint pos);
    virtual bool DoMouseWheelUp(ShiftState shift, QPoint pos);
    // A scroll bar action; Pos is the bar's position for thumb codes (rows or
    // columns from the first scrolling one). The base scrolls by whole rows
    // (columns), following the thumb only with goThumbTracking.
    virtual void VScroll(ScrollCode code, int pos);
    virtual void HScroll(ScrollCode code, int pos);

    // ----- editor hooks -----
    virtual InplaceEdit* CreateEditor();
    // Frees the editor; a descendant whose editor reads its state calls it in its destructor.
    void DestroyEditor();
    virtual bool CanEditShow();     // goEditing, not goRowSelect, a non-fixed current cell
    virtual bool CanEditModify();
    virtual bool CanEditAcceptKey(char32_t key);
    virtual std::string GetEditText(int col, int row);
    virtual void SetEditText(int col, int row, const std::string& text);
    // Writes the editor's text back through SetEditText.
    void UpdateText();

    // ----- moving the current cell -----
    // Moves the current cell (asking SelectCell); with moveAnchor the
    // selection collapses to it, otherwise the anchor stays. With show the cell is scrolled into view.
    void MoveColRow(int col, int row, bool moveAnchor, bool show);
    // Moves the anchor (the far corner of the selection) keeping the current cell.
    void MoveAnchor(int col, int row);
    void FocusCell(int col, int row, bool moveAnchor) { MoveColRow(col, row, moveAnchor, true); }
    // Scrolls so that the cell is wholly visible.
    void ScrollIntoView(int col, int row);
    void SetTopLeft(int leftCol, int topRow);

    // QAbstractScrollArea plumbing.
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool focusNextPrevChild(bool next) override;
    void scrollContentsBy(int dx, int dy) override;
    QSize viewportSizeHint() const override;

private:
    friend class InplaceEdit;
    class Sums;
    struct RowData {
        std::vector<std::string> texts;
        std::vector<Object*> objects;
    };
    void checkWriteIndex(int col, int row) const;
    RowData& rowData(int row);
    void countsChanged(int oldCols, int oldRows);
    void clampPositions();
    void updateScrollBars();
    void pressCell(MouseButton button, ShiftState shift, int x, int y);
    int borderNear(int pos, bool columns) const;
    void finishGesture(int x, int y);
    void invalidateCells(const GridRect& cells);
    int firstStartFor(const Sums& sums, int endIndex, int available, int fixed) const;
    int lastFullFrom(const Sums& sums, int start, int available) const;
    void placeEditor();
    platform::Font widgetFont() const;
    int fittedRowHeight() const;
    void fontChanged();

    int colCount_ = 5, rowCount_ = 5, fixedCols_ = 1, fixedRows_ = 1;
    int defaultColWidth_ = 64, defaultRowHeight_ = 24, askedRowHeight_ = 24, lineWidth_ = 1;
    GridOptions options_ = kDefaultGridOptions;
    std::unique_ptr<Sums> colSums_, rowSums_;
    std::vector<RowData> rows_;
    int topRow_ = 1, leftCol_ = 1, curCol_ = 1, curRow_ = 1, anchorCol_ = 1, anchorRow_ = 1;
    TColor color_ = clWindow, fixedColor_ = clBtnFace;
    platform::Font font_;
    bool ownFont_ = false;
    bool defaultDrawing_ = true;
    ScrollStyle scrollBars_ = ssBoth;
    BorderStyle borderStyle_ = bsSingle;
    platform::Canvas canvas_;
    std::vector<int> overlayLines_;
    Gesture gesture_;
    PressWatch pressWatch_{[this] { PressLost(); }};
    InplaceEdit* editor_ = nullptr;
    bool editorMode_ = false;
    bool syncingBars_ = false;
    int lastPaintCells_ = 0;
    QRect paintRect_;
    int wheelRemainder_ = 0;
    QString editOriginal_;
    bool entered_ = false;  // the focus is on the grid or its editor
    void focusArrived();
    void focusLeft(QWidget* now);
};

}  // namespace platform
