// Scrolling and sizing of the list grid: bringing a cell into view, the
// number hint while a scroll thumb is dragged (and scrolling along with it),
// column and row size changes (the stretched last column, sizing all columns
// or rows in proportion, the end-of-sizing events), following the window's
// width, and placing the footer panel under the cells.
//
// The scroll bars themselves are the string grid's: they move by whole rows
// and columns and their thumbs are sized by the visible part already.
#include "grid/listgrid.h"

#include "grid/gridaccessible.h"

#include <QCursor>

#include <algorithm>
#include <cmath>

namespace grid {

void RIvuZuvuzoZuvu::ScrollInView(int ACol, int ARow)
{
    if (ACol >= ColCount() || ARow >= RowCount() || ACol < 0 || ARow < 0)
        return;
    int left = LeftCol(), top = TopRow();
    const int visibleCols = VisibleColCount(), visibleRows = VisibleRowCount();
    if (ACol < LeftCol() || ACol > LeftCol() + visibleCols) {
        MoveColRow(ACol, Row(), true, false);
        left = std::max(ACol - visibleCols / 2, GetFixedColsEx());
    }
    if (ARow >= TopRow() && ARow <= TopRow() + visibleRows) {
        SetLeftCol(left);
        return;
    }
    MoveColRow(Col(), ARow, true, false);
    top = std::max(ARow - visibleRows / 2, GetFixedRowsEx());
    SetTopLeft(left, top);
}

// ---------------------------------------------------------------- scroll messages

void RIvuZuvuzoZuvu::scrollHintFor(bool Vertical, platform::ScrollCode Code, int Pos)
{
    const bool wanted = ScrollHints == shBoth || ScrollHints == (Vertical ? shVertical : shHorizontal);
    if (!wanted)
        return;
    if (Code == platform::SB_ENDSCROLL) {
        if (!scrollHint_.empty())
            HideHint();
        scrollHint_.clear();
        return;
    }
    if (Code != platform::SB_THUMBTRACK)
        return;
    // The thumb position counts rows (columns) from the first scrolling one.
    const int number = Pos + (Vertical ? FixedRows() : FixedCols());
    std::string text = (Vertical ? "Row : " : "Col : ") + std::to_string(number);
    if (OnScrollHint)
        OnScrollHint(this, number, text);
    scrollHint_ = text;
    // Measured for a width of 100, shown right of the cursor.
    THTMLHintWindow* hint = HintWindow();
    platform::Rect r = hint->CalcHintRect(100, text);
    const QPoint cursor = QCursor::pos();
    r.Offset(cursor.x() + 10, cursor.y());
    hint->SetColor(HintColor);
    hint->ActivateHint(r, text);
}

void RIvuZuvuzoZuvu::VScroll(platform::ScrollCode code, int pos)
{
    scrollHintFor(true, code, pos);
    if (code == platform::SB_THUMBTRACK && ScrollSynch && !HasOption(platform::goThumbTracking))
        SetTopRow(FixedRows() + pos);
    TBaseGrid::VScroll(code, pos);
}

void RIvuZuvuzoZuvu::HScroll(platform::ScrollCode code, int pos)
{
    scrollHintFor(false, code, pos);
    if (code == platform::SB_THUMBTRACK && ScrollSynch && !HasOption(platform::goThumbTracking))
        SetLeftCol(FixedCols() + pos);
    TBaseGrid::HScroll(code, pos);
}

void RIvuZuvuzoZuvu::TopLeftChanged()
{
    // A special editor stays with its cell: scrolling hides it.
    if (editActive_ && editorType_ != edNormal && editorShown_[2])
        HideInplaceEdit();
    TBaseGrid::TopLeftChanged();
    UpdateFooter();
}

// ---------------------------------------------------------------- size changes

void RIvuZuvuzoZuvu::ColWidthsChanged()
{
    if (stretchGuard_) {
        stretchGuard_ = false;
        StretchRightColumn();
        stretchGuard_ = true;
    }
    TBaseGrid::ColWidthsChanged();
    pressState_.widthsChanged = true;  // the release after a sizing does not sort
    if (sizingCol_)
        mouseSizingDone(true);
    UpdateFooter();
    NoteAccessibleChange(*this, TAccessibleChange::Layout);
}

void RIvuZuvuzoZuvu::RowHeightsChanged()
{
    TBaseGrid::RowHeightsChanged();
    if (sizingRow_)
        mouseSizingDone(false);
}

void RIvuZuvuzoZuvu::mouseSizingDone(bool Columns)
{
    const int sized = sizedIndex_;
    (Columns ? sizingCol_ : sizingRow_) = false;  // the proportional changes below must not come back here
    const int count = Columns ? ColCount() : RowCount();
    const bool all = Columns ? MouseActions->AllColumnSize() : MouseActions->AllRowSize();
    auto size = [&](int i) { return Columns ? ColWidths(i) : RowHeights(i); };
    if (all && sizedStart_ >= 1 && sized >= 0 && sized < count) {
        const double factor = double(size(sized)) / sizedStart_;
        for (int i = Columns ? FixedCols() : FixedRows(); i < count; ++i) {
            if (i == sized)
                continue;
            const int scaled = static_cast<int>(std::lround(size(i) * factor));
            Columns ? SetColWidths(i, scaled) : SetRowHeights(i, scaled);
        }
    }
    if (Columns && OnEndColumnSize)
        OnEndColumnSize(this, sized);
    if (!Columns && OnEndRowSize)
        OnEndRowSize(this, sized);
    sizedIndex_ = -1;
}

void RIvuZuvuzoZuvu::SizeChanged(int oldColCount, int oldRowCount)
{
    if (ColumnSize->Stretch())
        StretchRightColumn();
    TBaseGrid::SizeChanged(oldColCount, oldRowCount);
    if (fixedFooters_ >= 1 || fixedRightCols_ >= 1)
        InvalidateGrid();
    NoteAccessibleChange(*this, TAccessibleChange::Reset);
}

void RIvuZuvuzoZuvu::Resize()
{
    TBaseGrid::Resize();
    if (ColumnSize->Stretch())
        StretchRightColumn();
    const int now = width();
    if (ColumnSize->SynchWithGrid() && lastWidth_ > 0 && now != lastWidth_) {
        const double factor = double(now) / lastWidth_;
        for (int c = 0; c < ColCount(); ++c)
            SetColWidths(c, static_cast<int>(std::lround(ColWidths(c) * factor)));
    }
    lastWidth_ = now;
    placeFooter();
}

// ---------------------------------------------------------------- footer panel

TFooterPanel* RIvuZuvuzoZuvu::Footer() const { return dynamic_cast<TFooterPanel*>(footerPanel_); }

void RIvuZuvuzoZuvu::placeFooter()
{
    TFooterPanel* panel = Footer();
    if (!panel)
        return;
    const int h = panel->isVisibleTo(this) ? panel->height() : 0;
    setViewportMargins(0, 0, 0, h);
    const QRect view = viewport()->geometry();
    panel->setGeometry(view.left(), view.bottom() + 1, view.width(), h);
    panel->raise();
}

void RIvuZuvuzoZuvu::FloatingFooterChanged()
{
    footerRow_ = FloatingFooter.Visible && FloatingFooter.FooterStyle() == fsFixedLastRow;
    if (TFooterPanel* panel = Footer()) {
        const int h = FloatingFooter.Visible ? std::max(0, FloatingFooter.Height() - 1) : 0;
        panel->setFixedHeight(h);
        panel->setVisible(h > 0);
        placeFooter();
        panel->update();
    }
    Invalidate();
}

}  // namespace grid
