#include "grid/basegrid.h"

#include <algorithm>

namespace grid {

using platform::GridDrawState;

// ---------------------------------------------------------------- TCellProperties

TCellProperties::TCellProperties(TBaseGrid* Owner, int ACol, int ARow) : owner_(Owner), col_(ACol), row_(ARow) {}

TCellProperties::~TCellProperties() { delete GraphicObjectEx; }

void TCellProperties::repaint()
{
    if (owner_)
        owner_->RepaintCell(col_, row_);
}

void TCellProperties::SetBrushColor(TColor Value)
{
    brushColor_ = Value;
    repaint();
}

void TCellProperties::SetVAlignment(TVAlignment Value)
{
    vAlignment_ = Value;
    repaint();
}

void TCellProperties::SetWordWrap(bool Value)
{
    wordWrap_ = Value;
    repaint();
}

QPoint TCellProperties::GetBaseCell(int ACol, int ARow) const
{
    if (!IsBaseCell && InBlock())
        return {ACol - ColField, ARow - RowField};
    return {ACol, ARow};
}

// ---------------------------------------------------------------- TBaseGrid

TBaseGrid::TBaseGrid(QWidget* Parent) : platform::StringGrid(Parent)
{
    StringGrid::SetGridLineWidth(0);
    StringGrid::SetDefaultDrawing(false);
    SetOptions(Options() | platform::goDrawFocusSelected);
}

TBaseGrid::~TBaseGrid()
{
    for (int r = 0; r < RowCount(); ++r)
        ReleaseRow(r);
}

void TBaseGrid::SetGridLineWidth(int Value)
{
    gridLineWidth_ = std::max(0, Value);
    StringGrid::SetGridLineWidth(0);
    InvalidateGrid();
}

void TBaseGrid::SetGridLineColor(TColor Value)
{
    gridLineColor_ = Value;
    InvalidateGrid();
}

void TBaseGrid::SetDefaultDrawing(bool Value) { defaultDrawing_ = Value; }

// ---- object slots

// Every write of a slot goes through here, so that each properties object
// knows how many slots hold it and is freed exactly once.
void TBaseGrid::putSlot(int ACol, int ARow, platform::Object* Obj)
{
    platform::Object* old = Objects(ACol, ARow);
    if (old == Obj)
        return;
    if (auto* p = dynamic_cast<TCellProperties*>(Obj))
        ++p->holders_;
    if (Obj || old)
        SetObjects(ACol, ARow, Obj);
    if (auto* p = dynamic_cast<TCellProperties*>(old))
        if (--p->holders_ <= 0)
            delete p;
}

void TBaseGrid::ReleaseRow(int ARow)
{
    for (int c = 0; c < ObjectSlots(ARow); ++c)
        putSlot(c, ARow, nullptr);
}

void TBaseGrid::ReleaseCellProperties()
{
    for (int r = 0; r < RowCount(); ++r)
        for (int c = 0; c < ObjectSlots(r); ++c)
            if (FindCellProperties(c, r))
                putSlot(c, r, nullptr);
}

void TBaseGrid::ReleaseRowsFrom(int From)
{
    for (int r = std::max(0, From); r < RowCount(); ++r)
        ReleaseRow(r);
}

TCellProperties* TBaseGrid::FindCellProperties(int ACol, int ARow) const
{
    return dynamic_cast<TCellProperties*>(Objects(ACol, ARow));
}

bool TBaseGrid::HasCellProperties(int ACol, int ARow) const { return FindCellProperties(ACol, ARow) != nullptr; }

TCellProperties* TBaseGrid::GetCellProperties(int ACol, int ARow)
{
    if (auto* p = FindCellProperties(ACol, ARow))
        return p;
    auto* p = new TCellProperties(this, ACol, ARow);
    putSlot(ACol, ARow, p);
    return p;
}

void TBaseGrid::SetCellProperties(int ACol, int ARow, TCellProperties* Props) { putSlot(ACol, ARow, Props); }

platform::Object* TBaseGrid::GetGridObject(int ACol, int ARow) const { return Objects(ACol, ARow); }

void TBaseGrid::SetGridObject(int ACol, int ARow, platform::Object* Obj) { putSlot(ACol, ARow, Obj); }

void TBaseGrid::NilCell(int ACol, int ARow)
{
    SetCells(ACol, ARow, "");
    putSlot(ACol, ARow, nullptr);
}

void TBaseGrid::NilRow(int ARow)
{
    for (int c = 0; c < ColCount(); ++c)
        NilCell(c, ARow);
}

void TBaseGrid::NilCol(int ACol)
{
    for (int r = 0; r < RowCount(); ++r)
        NilCell(ACol, r);
}

// The stored text, not the display text (a copy must not bake a display
// rewrite into the data), and the shared object slot.
void TBaseGrid::copyCell(int TargetCol, int TargetRow, int SourceCol, int SourceRow)
{
    SetCells(TargetCol, TargetRow, Cells(SourceCol, SourceRow));
    putSlot(TargetCol, TargetRow, Objects(SourceCol, SourceRow));
}

void TBaseGrid::CopyRows(int Target, int Source)
{
    for (int c = 0; c < ColCount(); ++c)
        copyCell(c, Target, c, Source);
}

void TBaseGrid::CopyCols(int Target, int Source)
{
    for (int r = 0; r < RowCount(); ++r)
        copyCell(Target, r, Source, r);
}

// ---- text

TCellProperties* TBaseGrid::baseProps(int ACol, int ARow, QPoint* Base) const
{
    QPoint b = BaseCell(ACol, ARow);
    if (Base)
        *Base = b;
    return FindCellProperties(b.x(), b.y());
}

std::string TBaseGrid::GetCellEx(int ACol, int ARow) const
{
    std::string worded;
    const std::string_view text = CellExView(ACol, ARow, worded);
    return text.data() == worded.data() ? worded : std::string(text);
}

std::string_view TBaseGrid::CellExView(int ACol, int ARow, std::string& Scratch) const
{
    const QPoint b = BaseCell(ACol, ARow);
    const std::string& stored = Cells(b.x(), b.y());
    if (!OnGetDisplText || b.y() >= displayRowLimit_)
        return stored;
    Scratch = stored;
    OnGetDisplText(const_cast<TBaseGrid*>(this), b.x(), b.y(), Scratch);
    return Scratch;
}

void TBaseGrid::SetCellEx(int ACol, int ARow, std::string_view Value)
{
    if (HasCellProperties(ACol, ARow)) {
        const QPoint b = BaseCell(ACol, ARow);
        SetCells(b.x(), b.y(), Value);
        if (parentWidget())
            RepaintCell(ACol, ARow);
    } else {
        SetCells(ACol, ARow, Value);
    }
}

platform::Object* TBaseGrid::GetObjectEx(int ACol, int ARow) const
{
    auto* p = FindCellProperties(ACol, ARow);
    return p ? p->ObjectEx : nullptr;
}

void TBaseGrid::SetObjectEx(int ACol, int ARow, platform::Object* Obj) { GetCellProperties(ACol, ARow)->ObjectEx = Obj; }

platform::Object* TBaseGrid::GetGraphicObjectEx(int ACol, int ARow) const
{
    auto* p = FindCellProperties(ACol, ARow);
    return p ? p->GraphicObjectEx : nullptr;
}

void TBaseGrid::SetGraphicObjectEx(int ACol, int ARow, platform::Object* Obj)
{
    GetCellProperties(ACol, ARow)->GraphicObjectEx = Obj;
}

// ---- merged cells

void TBaseGrid::MergeCells(int ACol, int ARow, int NCols, int NRows)
{
    // Keep the block inside the grid.
    if (ACol < 0) {
        NCols += ACol;
        ACol = 0;
    }
    if (ARow < 0) {
        NRows += ARow;
        ARow = 0;
    }
    NCols = std::min(NCols, ColCount() - ACol);
    NRows = std::min(NRows, RowCount() - ARow);
    if (NCols < 1 || NRows < 1)
        return;
    // A block that overlaps an older one splits the older one first.
    for (int r = ARow; r < ARow + NRows; ++r)
        for (int c = ACol; c < ACol + NCols; ++c)
            if (IsMergedCell(c, r))
                SplitCells(c, r);
    for (int r = ARow; r < ARow + NRows; ++r)
        for (int c = ACol; c < ACol + NCols; ++c) {
            TCellProperties* p = GetCellProperties(c, r);
            const bool base = c == ACol && r == ARow;
            p->IsBaseCell = base;
            p->ColField = base ? NCols - 1 : c - ACol;
            p->RowField = base ? NRows - 1 : r - ARow;
        }
    for (int r = ARow; r < ARow + NRows; ++r)
        for (int c = ACol; c < ACol + NCols; ++c)
            InvalidateRect(GetCellRect(c, r));
}

void TBaseGrid::SplitCells(int ACol, int ARow)
{
    QPoint b;
    TCellProperties* base = baseProps(ACol, ARow, &b);
    if (!base || !base->InBlock())
        return;
    const int lastCol = std::min(b.x() + base->ColField, ColCount() - 1);
    const int lastRow = std::min(b.y() + base->RowField, RowCount() - 1);
    for (int r = b.y(); r <= lastRow; ++r)
        for (int c = b.x(); c <= lastCol; ++c)
            if (TCellProperties* p = FindCellProperties(c, r)) {
                p->IsBaseCell = true;
                p->ColField = -1;
                p->RowField = -1;
                InvalidateRect(GetCellRect(c, r));
            }
}

QPoint TBaseGrid::BaseCell(int ACol, int ARow) const
{
    if (auto* p = FindCellProperties(ACol, ARow))
        return p->GetBaseCell(ACol, ARow);
    return {ACol, ARow};
}

bool TBaseGrid::IsBaseCell(int ACol, int ARow) const
{
    auto* p = FindCellProperties(ACol, ARow);
    return !p || p->IsBaseCell;
}

bool TBaseGrid::IsBaseCellEx(int ACol, int ARow, int& OutCol, int& OutRow) const
{
    const QPoint b = BaseCell(ACol, ARow);
    OutCol = b.x();
    OutRow = b.y();
    return IsBaseCell(ACol, ARow);
}

QPoint TBaseGrid::CellSpan(int ACol, int ARow) const
{
    auto* p = FindCellProperties(ACol, ARow);
    if (!p || !p->InBlock())
        return {0, 0};
    auto* base = baseProps(ACol, ARow);
    if (!base || !base->InBlock())
        return {0, 0};
    return {base->ColField, base->RowField};
}

bool TBaseGrid::IsMergedCell(int ACol, int ARow) const
{
    auto* p = FindCellProperties(ACol, ARow);
    return p && p->InBlock();
}

bool TBaseGrid::IsXMergedCell(int ACol, int ARow) const { return IsMergedCell(ACol, ARow) && CellSpan(ACol, ARow).x() > 0; }

bool TBaseGrid::IsYMergedCell(int ACol, int ARow) const { return IsMergedCell(ACol, ARow) && CellSpan(ACol, ARow).y() > 0; }

TGridRect TBaseGrid::FullCell(int ACol, int ARow) const
{
    const QPoint b = BaseCell(ACol, ARow);
    const QPoint s = CellSpan(ACol, ARow);
    return {b.x(), b.y(), b.x() + s.x(), b.y() + s.y()};
}

int TBaseGrid::MinRowSpan(int ARow) const
{
    int result = RowCount();
    for (int c = 0; c < ColCount(); ++c) {
        const int span = CellSpan(c, ARow).y();
        if (span > 0)
            result = std::min(result, span);
    }
    return result;
}

int TBaseGrid::MaxRowSpan(int ARow) const
{
    int result = 0;
    for (int c = 0; c < ColCount(); ++c)
        result = std::max(result, CellSpan(c, ARow).y());
    return result;
}

bool TBaseGrid::RowSpanIdentical(int ARow1, int ARow2) const
{
    bool any = false;
    for (int c = 0; c < ColCount(); ++c) {
        if (CellSpan(c, ARow1).y() > 0 && CellSpan(c, ARow2).y() > 0) {
            any = true;
            if (BaseCell(c, ARow1).y() != BaseCell(c, ARow2).y())
                return false;
        }
    }
    return any;
}

bool TBaseGrid::ColSpanIdentical(int ACol1, int ACol2) const
{
    for (int r = 0; r < RowCount(); ++r) {
        const QPoint s1 = CellSpan(ACol1, r), s2 = CellSpan(ACol2, r);
        if (s1.x() > 0 && s2.x() > 0) {
            if (BaseCell(ACol1, r).x() != BaseCell(ACol2, r).x())
                return false;
        } else if (s1.x() != s2.x()) {
            return false;
        }
    }
    return true;
}

// ---- geometry

Rect TBaseGrid::GetCellRect(int ACol, int ARow) const
{
    const int left = ColLeft(ACol), top = RowTop(ARow);
    return {left, top, left + ColWidths(ACol), top + RowHeights(ARow)};
}

Rect TBaseGrid::CellRect(int ACol, int ARow) const
{
    if (!IsMergedCell(ACol, ARow))
        return GetCellRect(ACol, ARow);
    const TGridRect full = FullCell(ACol, ARow);
    const Rect first = GetCellRect(full.Left, full.Top);
    const Rect last = GetCellRect(std::min(full.Right, ColCount() - 1), std::min(full.Bottom, RowCount() - 1));
    return {first.Left, first.Top, std::max(first.Right, last.Right), std::max(first.Bottom, last.Bottom)};
}

QPoint TBaseGrid::CellSize(int ACol, int ARow) const
{
    const Rect r = CellRect(ACol, ARow);
    return {r.Width(), r.Height()};
}

int TBaseGrid::FixedColsWidth() const { return static_cast<int>(ColWidthsSum(0, FixedCols())); }

int TBaseGrid::FixedRowsHeight() const { return static_cast<int>(RowHeightsSum(0, FixedRows())); }

void TBaseGrid::RepaintCell(int ACol, int ARow)
{
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
        return;
    InvalidateRect(CellRect(ACol, ARow));
}

void TBaseGrid::RepaintFixedMergedCols()
{
    if (FixedCols() == 0)
        return;
    const int last = std::min(RowCount() - 1, TopRow() + VisibleRowCount());
    for (int c = 0; c < FixedCols(); ++c)
        for (int r = TopRow(); r <= last; ++r)
            if (IsMergedCell(c, r))
                RepaintCell(c, r);
}

void TBaseGrid::RepaintFixedMergedRows()
{
    if (FixedRows() == 0)
        return;
    const int last = std::min(ColCount() - 1, LeftCol() + VisibleColCount());
    for (int r = 0; r < FixedRows(); ++r)
        for (int c = LeftCol(); c <= last; ++c)
            if (IsMergedCell(c, r))
                RepaintCell(c, r);
}

bool TBaseGrid::IsSelected(int ACol, int ARow) const
{
    if (Selection().Contains(ACol, ARow))
        return true;
    auto* p = FindCellProperties(ACol, ARow);
    if (!p || !p->InBlock() || (p->ColField == 0 && p->RowField == 0))
        return false;
    const TGridRect full = FullCell(ACol, ARow);
    return full.Contains(Col(), Row());
}

void TBaseGrid::SelectBaseCell()
{
    if (!HasCellProperties(Col(), Row()))
        return;
    const QPoint b = BaseCell(Col(), Row());
    if (b.x() != Col())
        SetCol(b.x());
    if (b.y() != Row())
        SetRow(b.y());
}

// ---- hooks

bool TBaseGrid::IsFixed(int, int) { return false; }
int TBaseGrid::NodeIndent(int) { return 0; }
bool TBaseGrid::HasNodes() { return false; }

void TBaseGrid::GetVisualProperties(int, int, GridDrawState&, bool, bool, platform::Brush&, platform::Font&,
                                    TAlignment&, TVAlignment&, bool&)
{
}

void TBaseGrid::DrawGridCell(platform::Canvas& Canvas, int ACol, int ARow, Rect R, GridDrawState)
{
    Rect r = R;
    Canvas.SetBackgroundTransparent(true);
    Canvas.DrawText(QString::fromStdString(GetCellEx(ACol, ARow)), r,
                    platform::DT_CENTER | platform::DT_VCENTER | platform::DT_SINGLELINE | platform::DT_NOPREFIX);
}

// ---- painting

void TBaseGrid::Paint()
{
    StringGrid::Paint();
    ++paintCounter_;
}

void TBaseGrid::DrawCell(int col, int row, const Rect& rect, GridDrawState state)
{
    platform::Canvas& canvas = Canvas();
    if (footerRow_ && row == RowCount() - 1) {
        canvas.Brush.SetColor(Color());
        canvas.Pen.Color = Color();
        canvas.FillRect(rect);
        return;
    }
    if (!IsBaseCell(col, row)) {
        const QPoint b = BaseCell(col, row);
        TCellProperties* base = FindCellProperties(b.x(), b.y());
        if (base && base->PaintStamp != paintCounter_) {
            base->PaintStamp = paintCounter_;
            DrawCell(b.x(), b.y(), rect, state);
        }
        return;
    }
    if (IsFixed(col, row))
        state = (state & ~platform::gdSelected) | platform::gdFixed;
    const bool fixed = state & platform::gdFixed;
    // Whichever cell of a block is reached first draws it, once per paint.
    if (TCellProperties* p = FindCellProperties(col, row); p && p->InBlock())
        p->PaintStamp = paintCounter_;

    Rect r = CellRect(col, row);

    // A block partly scrolled under the fixed area must not paint over it.
    const bool clip = (col >= FixedCols() && FixedCols() > 0 && r.Left < FixedColsWidth()) ||
                      (row >= FixedRows() && FixedRows() >= 1 && r.Top < FixedRowsHeight());
    const bool hadClip = canvas.HasClipRect();
    const Rect oldClip = canvas.ClipRect();
    if (clip)
        canvas.SetClipRect({FixedColsWidth(), FixedRowsHeight(), viewport()->width(), viewport()->height()});

    canvas.Pen.Width = 1;
    canvas.Font = Font();
    canvas.Brush.SetColor(fixed ? FixedColor() : Color());
    TAlignment hAlign = taLeftJustify;
    TVAlignment vAlign = vtaTop;
    bool wordWrap = false;
    GetVisualProperties(col, row, state, false, true, canvas.Brush, canvas.Font, hAlign, vAlign, wordWrap);

    canvas.Pen.Color = canvas.Brush.Color();
    canvas.FillRect(r);

    int inset;
    if (fixed) {
        canvas.Pen.Color = platform::clGray;
        canvas.Pen.Width = 1;
        inset = 1;
    } else {
        if (gridLineWidth_ > 0)
            canvas.Pen.Color = gridLineColor_;
        canvas.Pen.Width = std::max(1, gridLineWidth_);
        inset = (gridLineWidth_ + 1) / 2;
    }
    if (col == 0 && row >= FixedRows())
        r.Left += NodeIndent(row);

    const bool horz = (HasOption(platform::goHorzLine) && !fixed) || (HasOption(platform::goFixedHorzLine) && fixed);
    const bool vert = (HasOption(platform::goVertLine) && !fixed) || (HasOption(platform::goFixedVertLine) && fixed);
    if (horz && !(col == 0 && HasNodes())) {
        canvas.MoveTo(r.Left - inset, r.Bottom - inset);
        canvas.LineTo(r.Right - inset, r.Bottom - inset);
    }
    if (vert) {
        canvas.MoveTo(r.Right - inset, r.Bottom - inset);
        canvas.LineTo(r.Right - inset, r.Top - inset);
    }

    const int shrink = fixed ? 1 : gridLineWidth_;
    r.Inflate(-shrink, -shrink);
    DrawGridCell(canvas, col, row, r, state);

    if (clip) {
        if (hadClip)
            canvas.SetClipRect(oldClip);
        else
            canvas.ClearClipRect();
    }
}

// ---- navigation

bool TBaseGrid::SelectCell(int col, int row)
{
    RepaintCell(Col(), Row());
    const bool allowed = StringGrid::SelectCell(col, row);
    RepaintCell(col, row);
    return allowed;
}

void TBaseGrid::KeyDown(int& key, platform::ShiftState shift)
{
    QPoint b(Col(), Row());
    QPoint span(-1, -1);
    if (auto* p = FindCellProperties(Col(), Row())) {
        b = p->GetBaseCell(Col(), Row());
        if (auto* bp = FindCellProperties(b.x(), b.y()))
            span = {bp->ColField, bp->RowField};
    }
    switch (key) {
    case platform::VK_NEXT:
        if (footerRow_ && RowCount() > 1 && VisibleRowCount() + TopRow() - FixedRows() == RowCount() - 1)
            SetRow(RowCount() - 2);
        break;
    case platform::VK_RIGHT:
        if (b.x() + span.x() >= Col() && Col() < ColCount() - 1 && b.x() < ColCount() - 1)
            SetCol(std::min(b.x() + span.x(), ColCount() - 1));
        break;
    case platform::VK_DOWN:
        if (b.y() + span.y() >= Row() && Row() < RowCount() - 1 && b.y() < RowCount() - 1)
            SetRow(std::min(b.y() + span.y(), RowCount() - 1));
        break;
    case platform::VK_LEFT:
        if (Col() > b.x() && Col() > FixedCols() && b.x() > 0)
            SetCol(b.x());
        break;
    case platform::VK_UP:
        if (Row() > b.y() && Row() > FixedRows() && b.y() > 0)
            SetRow(b.y());
        break;
    default:
        break;
    }
    StringGrid::KeyDown(key, shift);
    SelectBaseCell();
}

bool TBaseGrid::DoMouseWheelDown(platform::ShiftState shift, QPoint pos)
{
    const bool result = StringGrid::DoMouseWheelDown(shift, pos);
    if (footerRow_ && VisibleRowCount() - FixedRows() <= Row() - TopRow() && Row() < RowCount() - 1)
        SetTopRow(TopRow() + 1);
    SelectBaseCell();
    return result;
}

bool TBaseGrid::DoMouseWheelUp(platform::ShiftState shift, QPoint pos)
{
    const bool result = StringGrid::DoMouseWheelUp(shift, pos);
    SelectBaseCell();
    return result;
}

void TBaseGrid::TopLeftChanged()
{
    StringGrid::TopLeftChanged();
    RepaintFixedMergedRows();
    RepaintFixedMergedCols();
}

}  // namespace grid
