// Drag and drop of the list grid: the drop target's answers while a drag
// passes over the cells and what a drop writes, the grid's own drags of text
// and columns, and the settings that switch them on.
#include "grid/listgrid.h"

#include "platform/dialogs.h"

#include <QDragEnterEvent>
#include <QFileInfo>
#include <QPointer>

#include <algorithm>

namespace grid {

namespace {
constexpr int kDragDistance = 3;  // a drag starts beyond this many pixels from the press
constexpr int kArrowSize = 11;

bool rowsOverlap(const TGridRect& A, const TGridRect& B) { return A.Top <= B.Bottom && B.Top <= A.Bottom; }

void hideArrows(const RIvuZuvuzoZuvu& Grid)
{
    for (TArrowDirection d : {arrUp, arrDown, arrLeft, arrRight})
        Grid.ArrowWindow(d)->hide();
}
}  // namespace

// ---------------------------------------------------------------- settings

void TDragDropSettings::DropTargetChanged()
{
    if (FGrid)
        FGrid->ApplyDropTarget();
}

void TDragDropSettings::RTFChanged() { SetRTFAware(OleDropRTF()); }

void RIvuZuvuzoZuvu::ApplyDropTarget()
{
    const bool on = DragDropSettings->OleDropTarget();
    if (on && !dropTarget_)
        dropTarget_ = std::make_unique<TGridDropTarget>(this);
    if (dropTarget_) {
        dropTarget_->AcceptText = DragDropSettings->OleAcceptText();
        dropTarget_->AcceptFiles = DragDropSettings->OleAcceptFiles();
    }
    // The target object stays while the grid lives: a drop under way may still be using it.
    dropRegistered_ = on;
    viewport()->setAcceptDrops(on);
    if (!on)
        hideDropFeedback();
}

// ---------------------------------------------------------------- drag events of the viewport

bool RIvuZuvuzoZuvu::forwardDragEvent(QEvent* e)
{
    if (dropRegistered_ && dropTarget_)
        return dropTarget_->HandleEvent(e, viewport());
    e->ignore();
    return false;
}

void RIvuZuvuzoZuvu::dragEnterEvent(QDragEnterEvent* e) { forwardDragEvent(e); }
void RIvuZuvuzoZuvu::dragMoveEvent(QDragMoveEvent* e) { forwardDragEvent(e); }
void RIvuZuvuzoZuvu::dragLeaveEvent(QDragLeaveEvent* e) { forwardDragEvent(e); }
void RIvuZuvuzoZuvu::dropEvent(QDropEvent* e) { forwardDragEvent(e); }

void RIvuZuvuzoZuvu::hideDropFeedback()
{
    hideArrows(*this);
    popupButton_->hide();
}

// ---------------------------------------------------------------- drop target

void TGridDropTarget::DragMouseMove(const QPoint& pt, bool& allow, TDropFormats formats)
{
    RIvuZuvuzoZuvu& g = *FGrid;
    int col = -1, row = -1;
    g.ScreenToCell(pt, col, row);
    allow = allow && col >= 0 && row >= 0;
    const bool columnDrop = formats & dfCol;
    if (allow && !columnDrop) {
        if (row == 0 && g.TopRow() > g.FixedRows())
            g.SetTopRow(g.TopRow() - 1);
        else if (row == g.TopRow() + g.VisibleRowCount())
            g.SetTopRow(g.TopRow() + 1);
    }
    const bool header = row >= 0 && row < g.FixedRows();
    if (columnDrop)
        allow = allow && header && col >= g.FixedCols();
    else if (header && !(g.RowCount() == 1 && g.FixedRowAlways))
        allow = false;
    if (g.OnOleDragOver)
        g.OnOleDragOver(&g, row, col, allow);

    hideArrows(g);
    if (!allow || col < 0 || row < 0)
        return;
    QWidget* view = g.viewport();
    if (columnDrop) {
        const int edge = g.ColLeft(col), top = 0, bottom = g.FixedRowsHeight();
        g.ArrowWindow(arrDown)->move(view->mapToGlobal(QPoint(edge - kArrowSize / 2, top - 8)));
        g.ArrowWindow(arrUp)->move(view->mapToGlobal(QPoint(edge - kArrowSize / 2, bottom)));
        g.ArrowWindow(arrDown)->show();
        g.ArrowWindow(arrUp)->show();
    } else {
        const int edge = g.DragDropSettings->OleEntireRows() ? g.ColLeft(0) + g.ColWidths(0) : g.ColLeft(col);
        const int middle = g.RowTop(row) + g.RowHeights(row) / 2;
        g.ArrowWindow(arrRight)->move(view->mapToGlobal(QPoint(edge - 12, middle - kArrowSize / 2)));
        g.ArrowWindow(arrRight)->show();
    }
}

void TGridDropTarget::DragMouseLeave()
{
    hideArrows(*FGrid);
}

void TGridDropTarget::DropText(const QPoint& pt, const std::string& text)
{
    RIvuZuvuzoZuvu& g = *FGrid;
    g.hideDropFeedback();
    int col = -1, row = -1;
    g.ScreenToCell(pt, col, row);
    if (col < 0 || row < 0) {
        DropEffect = DROPEFFECT_NONE;
        return;
    }
    const int rows = RIvuZuvuzoZuvu::PasteSize(text, g.QuoteClipboardLines).y();
    if (g.HasOption(platform::goRowSelect))
        col = g.DragDropSettings->OleEntireRows() ? 0 : g.FixedCols();
    bool allow = true;
    if (g.OnOleDrop)
        g.OnOleDrop(&g, row, col, text, allow);
    if (!allow) {
        DropEffect = DROPEFFECT_NONE;
        return;
    }
    if (row == 0 && g.RowCount() == 1 && g.FixedRowAlways)
        row = 1;  // a grid of its header alone takes the text as its first rows
    RIvuZuvuzoZuvu::OwnDrag& own = g.ownDrag_;
    if (own.active && own.source.Contains(col, row)) {
        own.ontoItself = true;
        DropEffect = DROPEFFECT_NONE;
        return;
    }
    if (g.DragDropSettings->OleInsertRows() && rows > 0) {
        g.InsertRows(row, rows);
        if (own.active && row <= own.source.Top) {
            own.source.Top += rows;
            own.source.Bottom += rows;
        }
        if (g.TopRow() > g.FixedRows())
            g.SetTopRow(g.TopRow() + 1);
    }
    TGridRect pasted;
    int stored = 0, skipped = 0;
    g.pasteText(col, row, text, pasted, stored, skipped);
    if (stored == 0 || pasted.Right < pasted.Left || pasted.Bottom < pasted.Top) {
        DropEffect = DROPEFFECT_NONE;  // nothing written: a moving source keeps its cells
        return;
    }
    if (skipped > 0)  // some of the text found no cell that took it: a moving source keeps all of its cells
        DropEffect = std::min(DropEffect, DROPEFFECT_COPY);
    g.SetSelection(pasted);
    if (own.active)
        own.written = pasted;
    if (g.OnOleDropped)
        g.OnOleDropped(&g, pasted);
}

void TGridDropTarget::DropRTF(const QPoint& pt, const std::string& rtf)
{
    RIvuZuvuzoZuvu& g = *FGrid;
    g.hideDropFeedback();
    int col = -1, row = -1;
    g.ScreenToCell(pt, col, row);
    bool allow = col >= 0 && row >= 0;
    if (allow && g.OnOleDrop)
        g.OnOleDrop(&g, row, col, rtf, allow);
    if (allow)
        g.SetCellEx(g.RemapCol(col), row, rtf);
    else
        DropEffect = DROPEFFECT_NONE;
}

void TGridDropTarget::DropFiles(const QPoint& pt, const QStringList& files)
{
    RIvuZuvuzoZuvu& g = *FGrid;
    g.hideDropFeedback();
    bool loaded = false;
    if (files.size() == 1) {
        const QString name = files.front();
        // the type by the file name's extension alone
        const QString extension = QFileInfo(name).suffix().toLower();
        const bool csv = extension == u"csv", xls = extension == u"xls" || extension == u"xlsx";
        int col = -1, row = -1;
        g.ScreenToCell(pt, col, row);
        bool allow = csv || xls;
        if (allow && g.OnOleDrop)
            g.OnOleDrop(&g, row, col, name.toStdString(), allow);
        if (allow) {
            // The readers refuse anything but a regular file before opening it.
            try {
                if (csv)
                    g.LoadFromCSV(name);
                else
                    g.LoadFromXLS(name);
                loaded = true;
            } catch (const std::exception& e) {
                platform::ShowError(QString::fromStdString(e.what()), &g);
            }
        }
    }
    // A file is only read: the drop never answers a move, after which its source could delete it.
    const int other = DropFormats & (dfText | dfRTF | dfCol) ? std::min(DropEffect, DROPEFFECT_COPY) : DROPEFFECT_NONE;
    DropEffect = std::max(loaded ? DROPEFFECT_COPY : DROPEFFECT_NONE, other);
}

void TGridDropTarget::DropCol(const QPoint& pt, int col)
{
    RIvuZuvuzoZuvu& g = *FGrid;
    g.hideDropFeedback();
    int c = -1, r = -1;
    g.ScreenToCell(pt, c, r);
    if (g.OnOleDropCol)
        g.OnOleDropCol(&g, r, c, col);
}

// ---------------------------------------------------------------- drop source

void TGridDropSource::CurrentEffect(int effect)
{
    if (effect == DROPEFFECT_COPY || effect == DROPEFFECT_MOVE)
        Effect = effect;
}

void TGridDropSource::QueryDrag()
{
    TPopupButton* button = FGrid->PopupButton();
    const QPoint at = QCursor::pos();
    button->move(at.x(), at.y() - button->height());
}

// ---------------------------------------------------------------- the grid's own drags

bool RIvuZuvuzoZuvu::startOleDrag(int x, int y)
{
    const QPoint press = pressState_.point;
    if (std::abs(x - press.x()) <= kDragDistance && std::abs(y - press.y()) <= kDragDistance)
        return false;
    pressState_.dragPending = false;
    const QPoint cell = BaseCell(pressState_.col, pressState_.row);
    const int col = cell.x(), row = cell.y();
    bool allow = true;
    if (OnOleDrag)
        OnOleDrag(this, row, col, GetCellEx(RemapCol(col), row), allow);
    if (!allow) {
        if (GridState() == platform::gsNormal)
            SetGridState(platform::gsSelecting);
        return false;
    }
    QPointer<RIvuZuvuzoZuvu> self(this);
    TGridDropSource source(this);
    if (OnOleDragStart)
        OnOleDragStart(this, row, col);
    int effect = DROPEFFECT_NONE, result = DRAGDROP_S_CANCEL;
    const int effects = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    if (row < FixedRows() && col >= FixedCols()) {
        // The header goes along as a floating button.
        const Rect r = CellRect(col, row);
        popupButton_->Caption = QString::fromStdString(GetCellEx(RemapCol(col), row));
        popupButton_->setGeometry(QRect(viewport()->mapToGlobal(QPoint(r.Left, r.Top)),
                                        QSize(std::max(1, r.Width()), std::max(1, r.Height()))));
        popupButton_->show();
        popupButton_->raise();
        result = StartColDoDragDrop(this, source, col, effects, effect);
        if (!self)
            return true;
        hideDropFeedback();
    } else {
        TGridRect dragged = Selection();
        if (HasOption(platform::goRowSelect) && DragDropSettings->OleEntireRows()) {
            dragged.Left = 0;
            dragged.Right = ColCount() - 1;
        }
        ownDrag_ = OwnDrag{};
        ownDrag_.active = true;
        ownDrag_.source = dragged;
        const std::string text = SelectedText();
        result = StartTextDoDragDrop(this, source, text, text, effects, effect);
        if (!self)
            return true;
        if (result != DRAGDROP_S_CANCEL && effect == DROPEFFECT_MOVE)
            removeMovedSource();
        ownDrag_ = OwnDrag{};
    }
    if (result != DRAGDROP_S_CANCEL && OnOleDragStop)
        OnOleDragStop(this, effect);
    return true;
}

void RIvuZuvuzoZuvu::removeMovedSource()
{
    const OwnDrag d = ownDrag_;
    if (d.ontoItself)
        return;
    const TGridRect& S = d.source;
    const TGridRect& W = d.written;
    const bool wrote = W.Left >= 0;
    auto rowWritten = [&](int r) { return wrote && r >= W.Top && r <= W.Bottom; };
    BeginUpdate();
    if (DragDropSettings->OleRemoveRows() && HasOption(platform::goRowSelect)) {
        if (MouseActions->DisjunctRowSelect()) {
            for (int r = FixedRows(); r < RowCount(); ++r)
                if (rowWritten(r) && GetRowSelect(r))
                    SetRowSelect(r, false);
            RemoveSelectedRows();
        } else {
            for (int r = std::min(S.Bottom, RowCount() - 1); r >= S.Top; --r)
                if (!rowWritten(r))
                    RemoveRows(r, 1);
        }
    } else if (!wrote || !rowsOverlap(S, W) || W.Right < S.Left || S.Right < W.Left) {
        ClearRect(S.Left, S.Top, S.Right, S.Bottom);
    } else {
        // What the drop wrote stays: clear the bands of the source around it.
        if (S.Top < W.Top)
            ClearRect(S.Left, S.Top, S.Right, W.Top - 1);
        if (S.Bottom > W.Bottom)
            ClearRect(S.Left, W.Bottom + 1, S.Right, S.Bottom);
        const int top = std::max(S.Top, W.Top), bottom = std::min(S.Bottom, W.Bottom);
        if (S.Left < W.Left)
            ClearRect(S.Left, top, W.Left - 1, bottom);
        if (S.Right > W.Right)
            ClearRect(W.Right + 1, top, S.Right, bottom);
    }
    EndUpdate();
}

}  // namespace grid
