// The list grid's timer (hovering and blinking text), cell hints, the wheel
// with its zoom, middle-button panning, focus and click bookkeeping for the
// validation, and the per-cell colour accessors.
#include "grid/listgrid.h"

#include "grid/gridaccessible.h"
#include "grid/htmldraw.h"

#include <QApplication>
#include <QCursor>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QTimerEvent>
#include <QMouseEvent>

#include <algorithm>

namespace grid {

namespace {
constexpr int kGridTimerPeriod = 500;
constexpr int kPanPeriod = 10;
constexpr int kPanDeadZone = 5;
constexpr int kZoomLimit = 10;
}  // namespace

bool RIvuZuvuzoZuvu::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::Show:
        // The first showing stands for the window's creation.
        if (gridTimer_ == 0) {
            if (ColumnSize->Save())
                LoadColSizes();
            gridTimer_ = startTimer(kGridTimerPeriod);
        }
        RestartAccessibleTracking(*this);
        break;
    case QEvent::Hide:
        HideHint();
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        if (e->type() == QEvent::KeyPress)
            HideHint();
        // The reader hears where the key took the user.
        const bool done = TBaseGrid::event(e);
        AnnounceAccessibleChanges(*this);
        return done;
    }
    case QEvent::Paint:
        // The frame is not painted while updates are held back.
        if (IsUpdating())
            return true;
        if (look_ == glSoft) {
            const bool done = TBaseGrid::event(e);
            paintSoftFrame();
            return done;
        }
        break;
    default:
        break;
    }
    return TBaseGrid::event(e);
}

bool RIvuZuvuzoZuvu::viewportEvent(QEvent* e)
{
    switch (e->type()) {
    case QEvent::ToolTip: {
        auto* help = static_cast<QHelpEvent*>(e);
        std::string text;
        QPoint where;
        int col = -1, row = -1;
        MouseToCell(help->pos().x(), help->pos().y(), col, row);
        if (CellHint(help->pos(), text, where)) {
            showHintAt(where, text, HintColor);
            hintCell_ = {col, row};  // the hint goes when the pointer leaves this cell
        } else {
            HideHint();
        }
        return true;
    }
    case QEvent::MouseMove:
        if (hintCell_.x() >= 0) {
            const QPoint p = static_cast<QMouseEvent*>(e)->position().toPoint();
            int col = -1, row = -1;
            MouseToCell(p.x(), p.y(), col, row);
            if (QPoint(col, row) != hintCell_)
                HideHint();
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Leave:
    case QEvent::Wheel:
        if (hintCell_.x() >= 0)
            HideHint();
        break;
    case QEvent::MouseButtonRelease: {
        // The reader hears what the click chose (a press only starts it).
        const bool done = TBaseGrid::viewportEvent(e);
        AnnounceAccessibleChanges(*this);
        return done;
    }
    default:
        break;
    }
    return TBaseGrid::viewportEvent(e);
}

// ---------------------------------------------------------------- timer

void RIvuZuvuzoZuvu::timerEvent(QTimerEvent* e)
{
    if (e->timerId() == panTimer_ && panning_) {
        panStep();
        return;
    }
    if (e->timerId() != gridTimer_ || gridTimer_ == 0) {
        TBaseGrid::timerEvent(e);
        return;
    }
    // Hovering: the current cell follows the pointer over the data cells.
    if (Hovering) {
        const QPoint p = viewport()->mapFromGlobal(QCursor::pos());
        int col = -1, row = -1;
        if (QApplication::widgetAt(QCursor::pos()) == viewport())
            MouseToCell(p.x(), p.y(), col, row);
        if (col >= 0 && row >= 0 && !IsFixed(col, row)) {
            setFocus(Qt::OtherFocusReason);
            MoveColRow(col, row, true, true);
        }
    }
    // Blinking text: only the cells that carry a blink tag repaint.
    blink_ = !blink_;
    auto repaintBlinking = [this](int c, int r) {
        if (c < ColCount() && r < RowCount() && UpperCase(GetCellEx(RemapCol(c), r)).find("<BLI") != std::string::npos)
            RepaintCell(c, r);
    };
    const int lastCol = std::min(ColCount() - 1, LeftCol() + VisibleColCount());
    const int lastRow = std::min(RowCount() - 1, TopRow() + VisibleRowCount());
    for (int r = TopRow(); r <= lastRow; ++r)
        for (int c = LeftCol(); c <= lastCol; ++c)
            repaintBlinking(c, r);
    for (int r = 0; r < FixedRows(); ++r)
        for (int c = LeftCol(); c <= lastCol; ++c)
            repaintBlinking(c, r);
    for (int c = 0; c < FixedCols(); ++c)
        for (int r = TopRow(); r <= lastRow; ++r)
            repaintBlinking(c, r);
}

// ---------------------------------------------------------------- hints

bool RIvuZuvuzoZuvu::CellHint(QPoint P, std::string& Text, QPoint& Where)
{
    int col = -1, row = -1;
    MouseToCell(P.x(), P.y(), col, row);
    if (col < 0 || row < 0)
        return false;
    const Rect r = CellRect(col, row);
    const int real = RemapCol(col);
    Text.clear();
    if (AnchorHint) {
        std::string anchor = AnchorAt(col, row, P.x(), P.y());
        if (!anchor.empty()) {
            if (OnAnchorHint)
                OnAnchorHint(this, row, col, anchor);
            Text = anchor;
        }
    }
    // A comment shows at the cell's top-right corner, anything else below the cell.
    bool plain = false;  // Text is the cell's own text or comment, drawn as typed
    std::string comment;
    if (IsComment(real, row, comment)) {
        Text = comment;
        plain = TextType(comment, EnableHTML) != ttHTML;
        Where = {r.Right, r.Top};
    } else {
        Where = {r.Left, r.Bottom + 6};
    }
    const bool dataCell = !IsFixed(col, row) && col < ColCount() - fixedRightCols_ && row < RowCount() - fixedFooters_;
    if (dataCell) {
        const std::string cell = GetCellEx(real, row);
        bool show = HintShowCells;
        if (!show && HintShowLargeText) {
            platform::Canvas& canvas = Canvas();
            canvas.Font = Font();
            show = canvas.TextWidth(QString::fromStdString(cell)) > ColWidths(col);
        }
        if (show) {
            Text = cell;
            plain = TextType(cell, EnableHTML) != ttHTML;
            Where = {r.Left, r.Top};
        }
    }
    const std::string offered = Text;
    if (OnGridHint)
        OnGridHint(this, row, col, Text);
    if (plain && Text == offered)
        Text = PlainTextAsHTML(Text);
    return !Text.empty();
}

// ---------------------------------------------------------------- wheel and zoom

bool RIvuZuvuzoZuvu::MouseWheel(platform::ShiftState shift, int delta, QPoint)
{
    if (panning_)
        return true;
    wheelRest_ += delta;
    const int notches = wheelRest_ / 120;
    wheelRest_ -= notches * 120;
    if (notches == 0)
        return delta != 0;
    const int step = wheelScrollLines_;
    if ((shift & platform::ssCtrl) && IntelliZoom) {
        // Towards the user (a negative delta) zooms in.
        for (int n = 0; n < std::abs(notches); ++n)
            Zoom(notches < 0 ? step : -step);
        return true;
    }
    if (!EnableWheel || step <= 0)
        return false;
    const int lastRow = RowCount() - fixedFooters_ - 1 - (footerRow_ ? 1 : 0);
    if (lastRow < FixedRows() || ColCount() <= FixedCols())
        return true;
    const int col = std::clamp(Col(), FixedCols(), ColCount() - 1);
    const int row = std::clamp(Row() - notches * step, FixedRows(), lastRow);
    MoveColRow(col, row, true, true);
    SelectBaseCell();
    return true;
}

void RIvuZuvuzoZuvu::Zoom(int X)
{
    if (zoom_ + X < -kZoomLimit || zoom_ + X > kZoomLimit)
        return;
    zoom_ += X;
    BeginUpdate();
    for (int c = 0; c < ColCount(); ++c)
        if (ColWidths(c) + X > 0)
            SetColWidths(c, ColWidths(c) + X);
    AddToRowHeights(X);
    EndUpdate();
}

// ---------------------------------------------------------------- panning

void RIvuZuvuzoZuvu::panStep()
{
    const QPoint p = viewport()->mapFromGlobal(QCursor::pos());
    auto direction = [](int at, int origin) {
        return at < origin - kPanDeadZone ? -1 : at > origin + kPanDeadZone ? 1 : 0;
    };
    const int dx = IntelliPan == ipVertical ? 0 : direction(p.x(), panOrigin_.x());
    const int dy = IntelliPan == ipHorizontal ? 0 : direction(p.y(), panOrigin_.y());
    static const Qt::CursorShape shapes[3][3] = {
        {Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor},  // up-left, up, up-right
        {Qt::SizeHorCursor, Qt::SizeAllCursor, Qt::SizeHorCursor},      // left, none, right
        {Qt::SizeBDiagCursor, Qt::SizeVerCursor, Qt::SizeFDiagCursor}}; // down-left, down, down-right
    viewport()->setCursor(shapes[dy + 1][dx + 1]);
    const int lastCol = ColCount() - fixedRightCols_ - 1, lastRow = RowCount() - fixedFooters_ - 1;
    if (lastCol < FixedCols() || lastRow < FixedRows())
        return;
    const int col = std::clamp(Col() + dx, FixedCols(), lastCol);
    const int row = std::clamp(Row() + dy, FixedRows(), lastRow);
    if (col != Col() || row != Row())
        MoveColRow(col, row, true, true);
}

void RIvuZuvuzoZuvu::endPanning()
{
    if (!panning_)
        return;
    panning_ = false;
    viewport()->releaseMouse();
    if (panTimer_)
        killTimer(panTimer_);
    panTimer_ = 0;
    viewport()->setCursor(normalCursor_);
}

// ---------------------------------------------------------------- focus and click

void RIvuZuvuzoZuvu::Click()
{
    TBaseGrid::Click();
    InitValidate(Col(), Row());
}

void RIvuZuvuzoZuvu::focusInEvent(QFocusEvent* e)
{
    TBaseGrid::focusInEvent(e);
    NoteAccessibleChange(*this, TAccessibleChange::Focus);
    if (HasCheckBox(GetRealCol(), Row()))
        return;
    // With AlwaysEdit the plain text editor opens as the grid gets the focus
    // from elsewhere (a closing editor hands it back with OtherFocusReason).
    const bool fromOutside = e->reason() != Qt::OtherFocusReason && e->reason() != Qt::PopupFocusReason;
    if (Navigation->AlwaysEdit() && fromOutside && !EditorMode()) {
        TEditorType kind = edNormal;
        GetCellEditor(GetRealCol(), Row(), kind);
        if (kind == edNormal)
            ShowEditor();
    }
    // A grid that is only its header row (column) shows no selection.
    if ((RowCount() == 1 && FixedRowAlways) || (ColCount() == 1 && FixedColAlways))
        HideSelection();
}

void RIvuZuvuzoZuvu::DoEnter()
{
    if (closingEditor_)
        return;  // the focus only comes back from the grid's own editor
    TBaseGrid::DoEnter();
    InitValidate(Col(), Row());
}

// ---------------------------------------------------------------- colours

TColor RIvuZuvuzoZuvu::GetColors(int ACol, int ARow) const
{
    const TCellProperties* props = FindCellProperties(ACol, ARow);
    return props ? props->BrushColor() : platform::clNone;
}

void RIvuZuvuzoZuvu::SetColors(int ACol, int ARow, TColor Value) { GetCellProperties(ACol, ARow)->SetBrushColor(Value); }

}  // namespace grid
