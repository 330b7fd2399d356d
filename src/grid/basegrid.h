// TBaseGrid: the string grid with a properties object per cell, merged cells
// (a rectangular block shown and edited as one cell) and its own cell painting
// and grid lines. Everything that reads or writes cell text goes through
// GetCellEx/SetCellEx, which make a merged block read and write as one cell.
//
// Ownership: a cell's TCellProperties sits in the cell's object slot of the
// string grid. One properties object may sit in several slots (CopyRows shares
// it); it counts the slots that hold it and is freed when the last one lets go.
// So callers never free a properties object themselves: they empty the slot
// (NilCell, SetCellProperties(nullptr)) or let the grid drop the row.
// The graphic object inside a properties object goes with it; the user object
// (ObjectEx) belongs to the caller.
#pragma once

#include "grid/vurirod.h"
#include "platform/stringgrid.h"

#include <functional>
#include <string>
#include <string_view>

namespace grid {

using platform::Rect;
using platform::TColor;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TVAlignment { vtaTop, vtaCenter, vtaBottom };

class TBaseGrid;

class TCellProperties : public platform::Object {
public:
    TCellProperties(TBaseGrid* Owner, int ACol, int ARow);
    ~TCellProperties() override;  // frees the graphic object, never the user object

    TBaseGrid* OwnerGrid() const { return owner_; }
    int Col() const { return col_; }
    int Row() const { return row_; }

    platform::Object* ObjectEx = nullptr;         // the user's object for the cell
    platform::Object* GraphicObjectEx = nullptr;  // the cell's graphic object, owned

    TColor BrushColor() const { return brushColor_; }
    void SetBrushColor(TColor Value);             // repaints the cell
    TVAlignment VAlignment() const { return vAlignment_; }
    void SetVAlignment(TVAlignment Value);        // repaints the cell
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);                 // repaints the cell
    TAlignment Alignment = taLeftJustify;         // only stored

    // Merge fields. On a block's base cell: rows (columns) of the block minus 1;
    // on its other cells: the offset from the base row (column); -1 outside blocks.
    int RowField = -1;
    int ColField = -1;
    bool IsBaseCell = true;
    int PaintStamp = 0;  // paint counter value when the block was last drawn

    // The base cell of the block this cell (at ACol, ARow) belongs to.
    QPoint GetBaseCell(int ACol, int ARow) const;
    bool InBlock() const { return RowField != -1 && ColField != -1; }

    // Number of grid slots holding this object.
    int Holders() const { return holders_; }

private:
    friend class TBaseGrid;
    void repaint();

    TBaseGrid* owner_;
    int col_, row_;
    TColor brushColor_ = platform::clNone;
    TVAlignment vAlignment_ = vtaTop;
    bool wordWrap_ = false;
    int holders_ = 0;
};

class TBaseGrid : public platform::StringGrid {
    Q_OBJECT
public:
    using GetDisplTextEvent = std::function<void(TBaseGrid* Sender, int ACol, int ARow, std::string& Value)>;

    explicit TBaseGrid(QWidget* Parent = nullptr);
    ~TBaseGrid() override;

    // ---- lines and drawing switches
    int GridLineWidth() const { return gridLineWidth_; }
    void SetGridLineWidth(int Value);  // the string grid's own lines stay at 0
    TColor GridLineColor() const { return gridLineColor_; }
    void SetGridLineColor(TColor Value);
    bool DefaultDrawing() const { return defaultDrawing_; }
    void SetDefaultDrawing(bool Value);  // stored; the string grid's own drawing stays off

    // Lets the owner rewrite the text GetCellEx returns, for rows below the display limit.
    GetDisplTextEvent OnGetDisplText;

    // ---- cell text and objects
    std::string GetCellEx(int ACol, int ARow) const;
    // GetCellEx's text without copying it where the grid keeps it as it is:
    // a view of the stored text, or of Scratch when OnGetDisplText words it.
    // Valid while the cell and Scratch stay as they are.
    std::string_view CellExView(int ACol, int ARow, std::string& Scratch) const;
    void SetCellEx(int ACol, int ARow, std::string_view Value);
    platform::Object* GetObjectEx(int ACol, int ARow) const;
    void SetObjectEx(int ACol, int ARow, platform::Object* Obj);
    platform::Object* GetGraphicObjectEx(int ACol, int ARow) const;
    void SetGraphicObjectEx(int ACol, int ARow, platform::Object* Obj);
    TCellProperties* GetCellProperties(int ACol, int ARow);  // created on first use
    TCellProperties* FindCellProperties(int ACol, int ARow) const;  // nullptr when none
    bool HasCellProperties(int ACol, int ARow) const;
    // Puts Props in the cell's slot; the slot's previous object is let go.
    void SetCellProperties(int ACol, int ARow, TCellProperties* Props);
    platform::Object* GetGridObject(int ACol, int ARow) const;
    void SetGridObject(int ACol, int ARow, platform::Object* Obj);
    void NilCell(int ACol, int ARow);
    void NilRow(int ARow);
    void NilCol(int ACol);
    // Text and object slot of every column (row); objects are shared, not copied.
    void CopyRows(int Target, int Source);
    void CopyCols(int Target, int Source);

    // ---- merged cells
    virtual void MergeCells(int ACol, int ARow, int NCols, int NRows);
    virtual void SplitCells(int ACol, int ARow);
    QPoint BaseCell(int ACol, int ARow) const;
    bool IsBaseCell(int ACol, int ARow) const;
    bool IsBaseCellEx(int ACol, int ARow, int& OutCol, int& OutRow) const;
    QPoint CellSpan(int ACol, int ARow) const;
    bool IsMergedCell(int ACol, int ARow) const;
    bool IsXMergedCell(int ACol, int ARow) const;  // in a block of more than one column
    bool IsYMergedCell(int ACol, int ARow) const;  // in a block of more than one row
    TGridRect FullCell(int ACol, int ARow) const;
    int MinRowSpan(int ARow) const;
    int MaxRowSpan(int ARow) const;
    bool RowSpanIdentical(int ARow1, int ARow2) const;
    bool ColSpanIdentical(int ACol1, int ACol2) const;

    // ---- geometry (client coordinates; also for cells scrolled out of view)
    Rect GetCellRect(int ACol, int ARow) const;
    Rect CellRect(int ACol, int ARow) const;  // a merged block as one rectangle
    QPoint CellSize(int ACol, int ARow) const;
    int FixedColsWidth() const;
    int FixedRowsHeight() const;
    void RepaintCell(int ACol, int ARow);
    void RepaintFixedMergedCols();
    void RepaintFixedMergedRows();
    bool IsSelected(int ACol, int ARow) const;
    // Moves the current cell to the base cell of the block it is in.
    void SelectBaseCell();

    // The last row is taken by the floating footer (painted blank here).
    bool FooterRow() const { return footerRow_; }

    // ---- per-cell hooks
    virtual bool IsFixed(int ACol, int ARow);
    virtual int NodeIndent(int ARow);
    virtual bool HasNodes();

protected:
    virtual void DrawGridCell(platform::Canvas& Canvas, int ACol, int ARow, Rect R, platform::GridDrawState State);
    virtual void GetVisualProperties(int ACol, int ARow, platform::GridDrawState& State, bool Print, bool Select,
                                     platform::Brush& ABrush, platform::Font& AFont, TAlignment& HAlign,
                                     TVAlignment& VAlign, bool& WordWrap);

    void Paint() override;
    void DrawCell(int col, int row, const Rect& rect, platform::GridDrawState state) override;
    bool SelectCell(int col, int row) override;
    void KeyDown(int& key, platform::ShiftState shift) override;
    bool DoMouseWheelDown(platform::ShiftState shift, QPoint pos) override;
    bool DoMouseWheelUp(platform::ShiftState shift, QPoint pos) override;
    void TopLeftChanged() override;

    // Lets go of the properties objects of rows [From, RowCount) before they are dropped.
    void ReleaseRowsFrom(int From);
    // However the row count shrinks, the dropped rows' properties objects go.
    void RowsDropping(int From) override { ReleaseRowsFrom(From); }
    // Lets go of the objects of one row's slots before it is deleted.
    void ReleaseRow(int ARow);
    // Lets go of every cell's properties object (and its graphic); the
    // texts and the other objects stay.
    void ReleaseCellProperties();

    int paintCounter_ = 0;
    int displayRowLimit_ = 0;  // OnGetDisplText applies to rows below it
    bool footerRow_ = false;   // the last row belongs to the floating footer

private:
    void putSlot(int ACol, int ARow, platform::Object* Obj);
    void copyCell(int TargetCol, int TargetRow, int SourceCol, int SourceRow);
    TCellProperties* baseProps(int ACol, int ARow, QPoint* Base = nullptr) const;

    int gridLineWidth_ = 1;
    TColor gridLineColor_ = platform::clSilver;
    bool defaultDrawing_ = false;
};

}  // namespace grid
