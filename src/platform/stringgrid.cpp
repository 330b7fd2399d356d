#include "platform/stringgrid.h"

#include "platform/dialogs.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

namespace platform {

// ---------------------------------------------------------------- running sums

// Sizes of the columns (or rows) with their prefix sums in a Fenwick tree:
// each entry counts its size plus the grid line after it. Appending and
// dropping at the end, changing one size, a prefix sum and finding the entry
// at a position are O(log n).
class StringGrid::Sums {
public:
    int Count() const { return int(sizes_.size()); }
    int Get(int i) const { return sizes_[std::size_t(i)]; }
    int Line() const { return line_; }

    void Resize(int n, int size)
    {
        while (Count() > n) {
            sizes_.pop_back();
            tree_.pop_back();
        }
        sizes_.reserve(std::size_t(n));
        tree_.reserve(std::size_t(n) + 1);
        while (Count() < n) {
            sizes_.push_back(size);
            const int i = Count();  // 1-based index of the new entry
            const int low = i & -i;
            tree_.push_back(size + line_ + Prefix(i - 1) - Prefix(i - low));
        }
    }

    void Set(int i, int size)
    {
        const long long delta = size - sizes_[std::size_t(i)];
        sizes_[std::size_t(i)] = size;
        for (int k = i + 1; k <= Count(); k += k & -k) tree_[std::size_t(k)] += delta;
    }

    // All entries to one size, or a new line width: rebuilds in O(n).
    void Reset(int size, int line)
    {
        const int n = Count();
        line_ = line;
        sizes_.clear();
        tree_.assign(1, 0);
        Resize(n, size);
    }
    void SetLine(int line)
    {
        line_ = line;
        rebuild();
    }
    // Every entry whose size stays above 0 changes by delta. O(n).
    void AddToSizes(int delta)
    {
        for (int& size : sizes_)
            if (size + delta > 0) size += delta;
        rebuild();
    }
    // Moves entry `from` to `to`, shifting those in between. O(n).
    void Move(int from, int to)
    {
        if (from < to)
            std::rotate(sizes_.begin() + from, sizes_.begin() + from + 1, sizes_.begin() + to + 1);
        else
            std::rotate(sizes_.begin() + to, sizes_.begin() + from, sizes_.begin() + from + 1);
        rebuild();
    }

    // Sum of entries [0, n), lines included.
    long long Prefix(int n) const
    {
        long long s = 0;
        for (int k = n; k > 0; k -= k & -k) s += tree_[std::size_t(k)];
        return s;
    }
    // The largest n with Prefix(n) <= pos.
    int CountUpTo(long long pos) const
    {
        int n = 0;
        int step = 1;
        while (step * 2 <= Count()) step *= 2;
        for (; step > 0; step /= 2)
            if (n + step <= Count() && tree_[std::size_t(n + step)] <= pos) {
                n += step;
                pos -= tree_[std::size_t(n)];
            }
        return n;
    }

private:
    // Each node takes its own entry and hands its sum on to its parent: O(n).
    void rebuild()
    {
        tree_.assign(sizes_.size() + 1, 0);
        for (std::size_t k = 1; k < tree_.size(); ++k) {
            tree_[k] += sizes_[k - 1] + line_;
            const std::size_t parent = k + (k & (~k + 1));
            if (parent < tree_.size()) tree_[parent] += tree_[k];
        }
    }

    std::vector<int> sizes_;
    std::vector<long long> tree_{0};
    int line_ = 1;
};

// ---------------------------------------------------------------- keys

int VirtualKeyOf(const QKeyEvent& e)
{
    const int k = e.key();
    if (k >= Qt::Key_A && k <= Qt::Key_Z) return k;
    if (k >= Qt::Key_0 && k <= Qt::Key_9) return k;
    if (k >= Qt::Key_F1 && k <= Qt::Key_F12) return VK_F1 + (k - Qt::Key_F1);
    switch (k) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return: case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    default: return 0;
    }
}

ShiftState ShiftStateOf(Qt::KeyboardModifiers m, Qt::MouseButtons b)
{
    ShiftState s = 0;
    if (m & Qt::ShiftModifier) s |= ssShift;
    if (m & Qt::AltModifier) s |= ssAlt;
    if (m & Qt::ControlModifier) s |= ssCtrl;
    if (b & Qt::LeftButton) s |= ssLeft;
    if (b & Qt::RightButton) s |= ssRight;
    if (b & Qt::MiddleButton) s |= ssMiddle;
    return s;
}

namespace {

MouseButton buttonOf(Qt::MouseButton b)
{
    return b == Qt::RightButton ? mbRight : b == Qt::MiddleButton ? mbMiddle : mbLeft;
}

constexpr int kSizingZone = 3;     // pixels on either side of a border that start sizing
constexpr int kMaxExtraCols = 1024;  // columns beyond ColCount that may hold data
const std::string kEmpty;

}  // namespace

// ---------------------------------------------------------------- construction

StringGrid::StringGrid(QWidget* parent)
    : QAbstractScrollArea(parent), colSums_(std::make_unique<Sums>()), rowSums_(std::make_unique<Sums>())
{
    font_.Color = clWindowText;  // the palette's text on the palette's base
    font_ = widgetFont();
    defaultRowHeight_ = std::max(askedRowHeight_, fittedRowHeight());
    colSums_->Reset(defaultColWidth_, lineWidth_);
    rowSums_->Reset(defaultRowHeight_, lineWidth_);
    colSums_->Resize(colCount_, defaultColWidth_);
    rowSums_->Resize(rowCount_, defaultRowHeight_);
    rows_.resize(std::size_t(rowCount_));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
    setMouseTracking(true);

    auto wire = [this](QScrollBar* bar, bool vertical) {
        bar->setTracking(true);
        bar->setSingleStep(1);
        connect(bar, &QScrollBar::actionTriggered, this, [this, bar, vertical](int action) {
            if (syncingBars_) return;
            ScrollCode code;
            switch (action) {
            case QAbstractSlider::SliderSingleStepAdd: code = SB_LINEDOWN; break;
            case QAbstractSlider::SliderSingleStepSub: code = SB_LINEUP; break;
            case QAbstractSlider::SliderPageStepAdd: code = SB_PAGEDOWN; break;
            case QAbstractSlider::SliderPageStepSub: code = SB_PAGEUP; break;
            case QAbstractSlider::SliderToMinimum: code = SB_TOP; break;
            case QAbstractSlider::SliderToMaximum: code = SB_BOTTOM; break;
            default: return;  // thumb moves arrive through sliderMoved
            }
            vertical ? VScroll(code, bar->sliderPosition()) : HScroll(code, bar->sliderPosition());
            vertical ? VScroll(SB_ENDSCROLL, 0) : HScroll(SB_ENDSCROLL, 0);
            syncingBars_ = true;
            bar->setSliderPosition(vertical ? topRow_ - fixedRows_ : leftCol_ - fixedCols_);
            syncingBars_ = false;
        });
        connect(bar, &QScrollBar::sliderMoved, this, [this, vertical](int pos) {
            if (syncingBars_) return;
            vertical ? VScroll(SB_THUMBTRACK, pos) : HScroll(SB_THUMBTRACK, pos);
        });
        connect(bar, &QScrollBar::sliderReleased, this, [this, bar, vertical] {
            const int pos = bar->sliderPosition();
            vertical ? VScroll(SB_THUMBPOSITION, pos) : HScroll(SB_THUMBPOSITION, pos);
            vertical ? VScroll(SB_ENDSCROLL, 0) : HScroll(SB_ENDSCROLL, 0);
            updateScrollBars();
        });
    };
    wire(verticalScrollBar(), true);
    wire(horizontalScrollBar(), false);
    updateScrollBars();
}

StringGrid::~StringGrid() { DestroyEditor(); }

void StringGrid::DestroyEditor()
{
    editorMode_ = false;
    delete editor_;
    editor_ = nullptr;
}

// ---------------------------------------------------------------- counts and sizes

void StringGrid::SetColCount(int n)
{
    if (n < 0) throw GridError("Grid column count must not be negative");
    if (n == colCount_) return;
    const int oldCols = colCount_, oldRows = rowCount_;
    if (n <= fixedCols_) fixedCols_ = std::max(0, n - 1);
    colCount_ = n;
    colSums_->Resize(n, defaultColWidth_);
    countsChanged(oldCols, oldRows);
}

void StringGrid::SetRowCount(int n)
{
    if (n < 0) throw GridError("Grid row count must not be negative");
    if (n == rowCount_) return;
    if (n < rowCount_) RowsDropping(n);
    const int oldCols = colCount_, oldRows = rowCount_;
    if (n <= fixedRows_) fixedRows_ = std::max(0, n - 1);
    rowCount_ = n;
    rowSums_->Resize(n, defaultRowHeight_);
    rows_.resize(std::size_t(n));  // rows beyond the count lose their data
    countsChanged(oldCols, oldRows);
}

void StringGrid::SetFixedCols(int n)
{
    if (n < 0) throw GridError("Fixed column count must not be negative");
    if (n >= colCount_ && n != 0) throw GridError("Fixed column count must be less than column count");
    if (n == fixedCols_) return;
    fixedCols_ = n;
    leftCol_ = curCol_ = anchorCol_ = n;  // the scrolling part starts over at its first column
    countsChanged(colCount_, rowCount_);
}

void StringGrid::SetFixedRows(int n)
{
    if (n < 0) throw GridError("Fixed row count must not be negative");
    if (n >= rowCount_ && n != 0) throw GridError("Fixed row count must be less than row count");
    if (n == fixedRows_) return;
    fixedRows_ = n;
    topRow_ = curRow_ = anchorRow_ = n;
    countsChanged(colCount_, rowCount_);
}

void StringGrid::countsChanged(int oldCols, int oldRows)
{
    HideEditor();
    clampPositions();
    SizeChanged(oldCols, oldRows);
    updateScrollBars();
    viewport()->update();
}

void StringGrid::clampPositions()
{
    auto clampTo = [](int v, int lo, int hi) { return hi < lo ? lo : std::clamp(v, lo, hi); };
    curCol_ = clampTo(curCol_, fixedCols_, colCount_ - 1);
    curRow_ = clampTo(curRow_, fixedRows_, rowCount_ - 1);
    anchorCol_ = clampTo(anchorCol_, fixedCols_, colCount_ - 1);
    anchorRow_ = clampTo(anchorRow_, fixedRows_, rowCount_ - 1);
    leftCol_ = clampTo(leftCol_, fixedCols_, colCount_ - 1);
    topRow_ = clampTo(topRow_, fixedRows_, rowCount_ - 1);
}

void StringGrid::SetDefaultColWidth(int w)
{
    if (w < 0) w = 0;
    defaultColWidth_ = w;
    colSums_->Reset(w, lineWidth_);
    ColWidthsChanged();
    updateScrollBars();
    viewport()->update();
}

void StringGrid::SetDefaultRowHeight(int h)
{
    askedRowHeight_ = std::max(0, h);
    defaultRowHeight_ = std::max(askedRowHeight_, fittedRowHeight());
    rowSums_->Reset(defaultRowHeight_, lineWidth_);
    RowHeightsChanged();
    updateScrollBars();
    viewport()->update();
}

// A line of the font's text with 3 pixels above and below it and the grid line.
int StringGrid::fittedRowHeight() const
{
    constexpr int kRoomAroundText = 7;
    return QFontMetrics(font_.ToQFont(logicalDpiY())).height() + kRoomAroundText;
}

platform::Font StringGrid::widgetFont() const
{
    platform::Font f = platform::Font::FromQFont(font(), 96);
    f.Color = font_.Color;
    return f;
}

void StringGrid::fontChanged()
{
    if (std::max(askedRowHeight_, fittedRowHeight()) != defaultRowHeight_)
        SetDefaultRowHeight(askedRowHeight_);
    FontChanged();
    viewport()->update();
}

void StringGrid::FontChanged() {}

void StringGrid::changeEvent(QEvent* e)
{
    QAbstractScrollArea::changeEvent(e);
    if (e->type() == QEvent::FontChange && !ownFont_) {
        font_ = widgetFont();
        fontChanged();
    }
}

int StringGrid::ColWidths(int col) const
{
    return col >= 0 && col < colCount_ ? colSums_->Get(col) : defaultColWidth_;
}

int StringGrid::RowHeights(int row) const
{
    return row >= 0 && row < rowCount_ ? rowSums_->Get(row) : defaultRowHeight_;
}

void StringGrid::SetColWidths(int col, int w)
{
    if (col < 0 || col >= colCount_) throw GridError("Grid index out of range");
    w = std::max(0, w);
    if (colSums_->Get(col) == w) return;
    colSums_->Set(col, w);
    ColWidthsChanged();
    updateScrollBars();
    placeEditor();
    viewport()->update();
}

void StringGrid::SetRowHeights(int row, int h)
{
    if (row < 0 || row >= rowCount_) throw GridError("Grid index out of range");
    h = std::max(0, h);
    if (rowSums_->Get(row) == h) return;
    rowSums_->Set(row, h);
    RowHeightsChanged();
    updateScrollBars();
    placeEditor();
    viewport()->update();
}

void StringGrid::AddToRowHeights(int delta)
{
    rowSums_->AddToSizes(delta);
    RowHeightsChanged();
    updateScrollBars();
    placeEditor();
    viewport()->update();
}

void StringGrid::SetGridLineWidth(int w)
{
    w = std::max(0, w);
    if (w == lineWidth_) return;
    lineWidth_ = w;
    colSums_->SetLine(w);
    rowSums_->SetLine(w);
    updateScrollBars();
    viewport()->update();
}

void StringGrid::SetOptions(GridOptions o)
{
    if (o == options_) return;
    options_ = o;
    if ((o & goRowSelect) || !(o & goEditing)) HideEditor();
    if ((o & goAlwaysShowEditor) && (o & goEditing)) ShowEditor();
    viewport()->update();
}

void StringGrid::SetColor(TColor c)
{
    color_ = c;
    viewport()->update();
}

void StringGrid::SetFixedColor(TColor c)
{
    fixedColor_ = c;
    viewport()->update();
}

void StringGrid::SetFont(const platform::Font& f)
{
    font_ = f;
    ownFont_ = true;
    fontChanged();
}

void StringGrid::SetDefaultDrawing(bool d)
{
    defaultDrawing_ = d;
    viewport()->update();
}

void StringGrid::SetScrollBars(ScrollStyle s)
{
    scrollBars_ = s;
    updateScrollBars();
}

void StringGrid::SetBorderStyle(BorderStyle b)
{
    borderStyle_ = b;
    setFrameShape(b == bsNone ? QFrame::NoFrame : QFrame::StyledPanel);
}

// ---------------------------------------------------------------- geometry

int StringGrid::FixedColsWidth() const { return int(colSums_->Prefix(fixedCols_)); }
int StringGrid::FixedRowsHeight() const { return int(rowSums_->Prefix(fixedRows_)); }

int StringGrid::ColLeft(int col) const
{
    col = std::clamp(col, 0, colCount_);
    if (col < fixedCols_) return int(colSums_->Prefix(col));
    return int(colSums_->Prefix(fixedCols_) + colSums_->Prefix(col) - colSums_->Prefix(leftCol_));
}

int StringGrid::RowTop(int row) const
{
    row = std::clamp(row, 0, rowCount_);
    if (row < fixedRows_) return int(rowSums_->Prefix(row));
    return int(rowSums_->Prefix(fixedRows_) + rowSums_->Prefix(row) - rowSums_->Prefix(topRow_));
}

long long StringGrid::ColWidthsSum(int from, int to) const
{
    from = std::clamp(from, 0, colCount_);
    to = std::clamp(to, from, colCount_);
    return colSums_->Prefix(to) - colSums_->Prefix(from) - (long long)(to - from) * lineWidth_;
}

long long StringGrid::RowHeightsSum(int from, int to) const
{
    from = std::clamp(from, 0, rowCount_);
    to = std::clamp(to, from, rowCount_);
    return rowSums_->Prefix(to) - rowSums_->Prefix(from) - (long long)(to - from) * lineWidth_;
}

Rect StringGrid::CellRect(int col, int row) const
{
    if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_) return {};
    if (col >= fixedCols_ && col < leftCol_) return {};
    if (row >= fixedRows_ && row < topRow_) return {};
    const int x = ColLeft(col), y = RowTop(row);
    if (x >= viewport()->width() || y >= viewport()->height()) return {};
    return Rect::FromSize(x, y, ColWidths(col), RowHeights(row));
}

void StringGrid::MouseToCell(int x, int y, int& col, int& row) const
{
    col = row = -1;
    if (x < 0 || y < 0 || x >= viewport()->width() || y >= viewport()->height()) return;
    const int fw = FixedColsWidth(), fh = FixedRowsHeight();
    int c = x < fw ? colSums_->CountUpTo(x) : colSums_->CountUpTo(x - fw + colSums_->Prefix(leftCol_));
    int r = y < fh ? rowSums_->CountUpTo(y) : rowSums_->CountUpTo(y - fh + rowSums_->Prefix(topRow_));
    if (c >= colCount_ || r >= rowCount_) return;
    col = c;
    row = r;
}

// The smallest start index s >= fixed from which entries [s, endIndex) fit in `available`.
int StringGrid::firstStartFor(const Sums& sums, int endIndex, int available, int fixed) const
{
    const long long target = sums.Prefix(endIndex) - available;
    if (target <= sums.Prefix(fixed)) return fixed;
    return std::min(endIndex - 1, sums.CountUpTo(target - 1) + 1);
}

// How many entries from `start` fit wholly in `available`.
int StringGrid::lastFullFrom(const Sums& sums, int start, int available) const
{
    return sums.CountUpTo(sums.Prefix(start) + available) - start;
}

int StringGrid::VisibleRowCount() const
{
    if (topRow_ >= rowCount_) return 0;
    const int n = lastFullFrom(*rowSums_, topRow_, viewport()->height() - FixedRowsHeight());
    return std::clamp(n, 1, rowCount_ - topRow_);
}

int StringGrid::VisibleColCount() const
{
    if (leftCol_ >= colCount_) return 0;
    const int n = lastFullFrom(*colSums_, leftCol_, viewport()->width() - FixedColsWidth());
    return std::clamp(n, 1, colCount_ - leftCol_);
}

int StringGrid::MaxTopRow() const
{
    if (rowCount_ <= fixedRows_) return fixedRows_;
    return firstStartFor(*rowSums_, rowCount_, viewport()->height() - FixedRowsHeight(), fixedRows_);
}

int StringGrid::MaxLeftCol() const
{
    if (colCount_ <= fixedCols_) return fixedCols_;
    return firstStartFor(*colSums_, colCount_, viewport()->width() - FixedColsWidth(), fixedCols_);
}

// ---------------------------------------------------------------- scrolling

void StringGrid::SetTopRow(int row) { SetTopLeft(leftCol_, row); }
void StringGrid::SetLeftCol(int col) { SetTopLeft(col, topRow_); }

void StringGrid::SetTopLeft(int leftCol, int topRow)
{
    leftCol = std::clamp(leftCol, fixedCols_, std::max(fixedCols_, colCount_ - 1));
    topRow = std::clamp(topRow, fixedRows_, std::max(fixedRows_, rowCount_ - 1));
    if (leftCol == leftCol_ && topRow == topRow_) return;
    leftCol_ = leftCol;
    topRow_ = topRow;
    placeEditor();
    updateScrollBars();
    viewport()->update();
    TopLeftChanged();
}

void StringGrid::ScrollIntoView(int col, int row)
{
    int left = leftCol_, top = topRow_;
    if (col >= fixedCols_ && col < colCount_) {
        if (col < leftCol_)
            left = col;
        else if (col >= leftCol_ + VisibleColCount())
            left = firstStartFor(*colSums_, col + 1, viewport()->width() - FixedColsWidth(), fixedCols_);
    }
    if (row >= fixedRows_ && row < rowCount_) {
        if (row < topRow_)
            top = row;
        else if (row >= topRow_ + VisibleRowCount())
            top = firstStartFor(*rowSums_, row + 1, viewport()->height() - FixedRowsHeight(), fixedRows_);
    }
    SetTopLeft(left, top);
}

void StringGrid::updateScrollBars()
{
    if (syncingBars_) return;
    syncingBars_ = true;
    auto setBar = [](QScrollBar* bar, int max, int value, int page, bool allowed) {
        bar->setRange(0, std::max(0, max));
        bar->setPageStep(std::max(1, page));
        if (!bar->isSliderDown()) bar->setValue(value);
        bar->setEnabled(max > 0);
        (void)allowed;
    };
    const int maxTop = std::max(MaxTopRow(), topRow_) - fixedRows_;
    const int maxLeft = std::max(MaxLeftCol(), leftCol_) - fixedCols_;
    setBar(verticalScrollBar(), maxTop, topRow_ - fixedRows_, VisibleRowCount(), true);
    setBar(horizontalScrollBar(), maxLeft, leftCol_ - fixedCols_, VisibleColCount(), true);
    const bool v = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
    const bool h = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
    setVerticalScrollBarPolicy(v ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    syncingBars_ = false;
}

void StringGrid::VScroll(ScrollCode code, int pos)
{
    switch (code) {
    case SB_LINEUP: SetTopRow(topRow_ - 1); break;
    case SB_LINEDOWN: SetTopRow(std::min(topRow_ + 1, std::max(topRow_, MaxTopRow()))); break;
    case SB_PAGEUP: SetTopRow(topRow_ - VisibleRowCount()); break;
    case SB_PAGEDOWN: SetTopRow(std::min(topRow_ + VisibleRowCount(), std::max(topRow_, MaxTopRow()))); break;
    case SB_TOP: SetTopRow(fixedRows_); break;
    case SB_BOTTOM: SetTopRow(MaxTopRow()); break;
    case SB_THUMBTRACK:
        if (options_ & goThumbTracking) SetTopRow(fixedRows_ + pos);
        break;
    case SB_THUMBPOSITION: SetTopRow(fixedRows_ + pos); break;
    case SB_ENDSCROLL: break;
    }
}

void StringGrid::HScroll(ScrollCode code, int pos)
{
    switch (code) {
    case SB_LINEUP: SetLeftCol(leftCol_ - 1); break;
    case SB_LINEDOWN: SetLeftCol(std::min(leftCol_ + 1, std::max(leftCol_, MaxLeftCol()))); break;
    case SB_PAGEUP: SetLeftCol(leftCol_ - VisibleColCount()); break;
    case SB_PAGEDOWN: SetLeftCol(std::min(leftCol_ + VisibleColCount(), std::max(leftCol_, MaxLeftCol()))); break;
    case SB_TOP: SetLeftCol(fixedCols_); break;
    case SB_BOTTOM: SetLeftCol(MaxLeftCol()); break;
    case SB_THUMBTRACK:
        if (options_ & goThumbTracking) SetLeftCol(fixedCols_ + pos);
        break;
    case SB_THUMBPOSITION: SetLeftCol(fixedCols_ + pos); break;
    case SB_ENDSCROLL: break;
    }
}

void StringGrid::scrollContentsBy(int, int)
{
    // The scroll bars only report; VScroll/HScroll move the grid by whole cells.
}

QSize StringGrid::viewportSizeHint() const
{
    return {int(std::min<long long>(colSums_->Prefix(colCount_), 2000)),
            int(std::min<long long>(rowSums_->Prefix(rowCount_), 2000))};
}

// ---------------------------------------------------------------- current cell and selection

void StringGrid::SetCol(int col) { MoveColRow(col, curRow_, true, true); }
void StringGrid::SetRow(int row) { MoveColRow(curCol_, row, true, true); }

GridRect StringGrid::Selection() const
{
    GridRect r{std::min(curCol_, anchorCol_), std::min(curRow_, anchorRow_), std::max(curCol_, anchorCol_),
               std::max(curRow_, anchorRow_)};
    if (options_ & goRowSelect) {
        r.Left = fixedCols_;
        r.Right = colCount_ - 1;
    }
    return r;
}

void StringGrid::SetSelection(const GridRect& r)
{
    const GridRect old = Selection();
    MoveColRow(r.Left, r.Top, true, true);
    if (curCol_ != r.Left || curRow_ != r.Top) return;  // refused
    anchorCol_ = std::clamp(r.Right, fixedCols_, std::max(fixedCols_, colCount_ - 1));
    anchorRow_ = std::clamp(r.Bottom, fixedRows_, std::max(fixedRows_, rowCount_ - 1));
    invalidateCells(old);
    invalidateCells(Selection());
    SelectionMoved();
}

void StringGrid::MoveColRow(int col, int row, bool moveAnchor, bool show)
{
    if (colCount_ <= fixedCols_ || rowCount_ <= fixedRows_) return;
    col = std::clamp(col, fixedCols_, colCount_ - 1);
    row = std::clamp(row, fixedRows_, rowCount_ - 1);
    const GridRect old = Selection();
    const bool moved = col != curCol_ || row != curRow_;
    if (moved) {
        if (!SelectCell(col, row)) return;
        HideEditor();
        InvalidateCell(curCol_, curRow_);
        curCol_ = col;
        curRow_ = row;
    }
    if (moveAnchor) {
        anchorCol_ = col;
        anchorRow_ = row;
    }
    invalidateCells(old);
    invalidateCells(Selection());
    if (show) ScrollIntoView(col, row);
    if (!(old == Selection()) || moved) SelectionMoved();
    if ((options_ & goAlwaysShowEditor) && (options_ & goEditing)) ShowEditor();
}

void StringGrid::MoveAnchor(int col, int row)
{
    if (!(options_ & goRangeSelect)) {
        MoveColRow(col, row, true, true);
        return;
    }
    if (colCount_ <= fixedCols_ || rowCount_ <= fixedRows_) return;
    const GridRect old = Selection();
    anchorCol_ = std::clamp(col, fixedCols_, colCount_ - 1);
    anchorRow_ = std::clamp(row, fixedRows_, rowCount_ - 1);
    invalidateCells(old);
    invalidateCells(Selection());
    ScrollIntoView(anchorCol_, anchorRow_);
    if (!(old == Selection())) SelectionMoved();
}

// ---------------------------------------------------------------- cells

void StringGrid::checkWriteIndex(int col, int row) const
{
    if (col < 0 || row < 0 || row >= rowCount_ || col >= std::max(colCount_, 256) + kMaxExtraCols)
        throw GridError("Grid index out of range");
}

StringGrid::RowData& StringGrid::rowData(int row) { return rows_[std::size_t(row)]; }

const std::string& StringGrid::Cells(int col, int row) const
{
    if (col < 0 || row < 0 || row >= rowCount_) return kEmpty;
    const RowData& d = rows_[std::size_t(row)];
    return std::size_t(col) < d.texts.size() ? d.texts[std::size_t(col)] : kEmpty;
}

void StringGrid::SetCells(int col, int row, std::string_view text)
{
    checkWriteIndex(col, row);
    RowData& d = rowData(row);
    if (std::size_t(col) >= d.texts.size()) {
        if (text.empty()) return;
        // the text may be a cell of this very row (a copied cell): keep it
        // before growing the row moves its cells
        std::string kept(text);
        d.texts.resize(std::size_t(col) + 1);
        d.texts[std::size_t(col)] = std::move(kept);
    } else {
        d.texts[std::size_t(col)].assign(text);
    }
    InvalidateCell(col, row);
    RowTextChanged(row);
}

void StringGrid::ReserveRowCells(int row, int cols)
{
    if (row >= 0 && row < rowCount_ && cols > 0) rowData(row).texts.reserve(std::size_t(cols));
}

void StringGrid::SetRowCells(int row, int firstCol, std::span<const std::string_view> texts)
{
    if (texts.empty()) return;
    checkWriteIndex(firstCol, row);
    checkWriteIndex(firstCol + int(texts.size()) - 1, row);
    RowData& d = rowData(row);
    // the row grows up to its last non-empty text, as it does cell by cell
    std::size_t end = texts.size();
    while (end > 0 && texts[end - 1].empty() && std::size_t(firstCol) + end > d.texts.size()) --end;
    if (std::size_t(firstCol) + end > d.texts.size()) d.texts.reserve(std::size_t(firstCol) + end);
    for (std::size_t k = 0; k < end; ++k) {
        const std::size_t col = std::size_t(firstCol) + k;
        if (col >= d.texts.size()) {  // a new cell is made with its text, no more room than it needs
            d.texts.resize(col);
            d.texts.emplace_back(texts[k]);
            continue;
        }
        std::string& cell = d.texts[col];
        if (cell.capacity() >= texts[k].size())
            cell.assign(texts[k]);
        else
            cell = std::string(texts[k]);  // no more room than the text needs
    }
    if (viewport()->isVisible() && viewport()->updatesEnabled() && !CellRepaintsHeld())
        for (std::size_t k = 0; k < end; ++k) InvalidateCell(firstCol + int(k), row);
    RowTextChanged(row);
}

int StringGrid::ObjectSlots(int row) const
{
    return row < 0 || row >= rowCount_ ? 0 : int(rows_[std::size_t(row)].objects.size());
}

Object* StringGrid::Objects(int col, int row) const
{
    if (col < 0 || row < 0 || row >= rowCount_) return nullptr;
    const RowData& d = rows_[std::size_t(row)];
    return std::size_t(col) < d.objects.size() ? d.objects[std::size_t(col)] : nullptr;
}

void StringGrid::SetObjects(int col, int row, Object* obj)
{
    checkWriteIndex(col, row);
    RowData& d = rowData(row);
    if (std::size_t(col) >= d.objects.size()) {
        if (!obj) return;
        d.objects.resize(std::size_t(col) + 1, nullptr);
    }
    d.objects[std::size_t(col)] = obj;
}

CellLine StringGrid::Rows(int row) const
{
    CellLine line;
    for (int c = 0; c < colCount_; ++c) {
        line.texts.push_back(Cells(c, row));
        line.objects.push_back(Objects(c, row));
    }
    return line;
}

void StringGrid::SetRows(int row, const CellLine& line)
{
    checkWriteIndex(0, row);
    const int n = std::max<int>(colCount_, int(line.texts.size()));
    for (int c = 0; c < n; ++c) {
        if (c >= colCount_ && c >= int(line.texts.size())) break;
        SetCells(c, row, c < int(line.texts.size()) ? std::string_view(line.texts[std::size_t(c)]) : std::string_view());
        SetObjects(c, row, c < int(line.objects.size()) ? line.objects[std::size_t(c)] : nullptr);
    }
}

CellLine StringGrid::Cols(int col) const
{
    CellLine line;
    for (int r = 0; r < rowCount_; ++r) {
        line.texts.push_back(Cells(col, r));
        line.objects.push_back(Objects(col, r));
    }
    return line;
}

void StringGrid::SetCols(int col, const CellLine& line)
{
    for (int r = 0; r < rowCount_; ++r) {
        SetCells(col, r, r < int(line.texts.size()) ? std::string_view(line.texts[std::size_t(r)]) : std::string_view());
        SetObjects(col, r, r < int(line.objects.size()) ? line.objects[std::size_t(r)] : nullptr);
    }
}

void StringGrid::DeleteRow(int row)
{
    if (row < 0 || row >= rowCount_) throw GridError("Grid index out of range");
    HideEditor();
    // The data moves here, not through the RowMoved hook: a descendant that
    // carries heights along with a moved row would move them a second time.
    StringGrid::RowMoved(row, rowCount_ - 1);
    rowSums_->Move(row, rowCount_ - 1);  // the following rows keep their heights
    SetRowCount(rowCount_ - 1);
}

void StringGrid::ExchangeRowData(int a, int b)
{
    if (a < 0 || b < 0 || a >= rowCount_ || b >= rowCount_) throw GridError("Grid index out of range");
    std::swap(rows_[std::size_t(a)], rows_[std::size_t(b)]);
}

void StringGrid::DeleteColumn(int col)
{
    if (col < 0 || col >= colCount_) throw GridError("Grid index out of range");
    MoveColumn(col, colCount_ - 1);
    colSums_->Move(col, colCount_ - 1);
    SetColCount(colCount_ - 1);
}

void StringGrid::MoveColumn(int from, int to)
{
    if (from < 0 || to < 0 || from >= colCount_ || to >= colCount_) throw GridError("Grid index out of range");
    if (from == to) return;
    HideEditor();
    ColumnMoved(from, to);
    // The current column follows the moved data.
    auto follow = [from, to](int c) {
        if (c == from) return to;
        if (from < to && c > from && c <= to) return c - 1;
        if (from > to && c >= to && c < from) return c + 1;
        return c;
    };
    curCol_ = std::max(follow(curCol_), fixedCols_);
    anchorCol_ = std::max(follow(anchorCol_), fixedCols_);
    viewport()->update();
}

void StringGrid::MoveRow(int from, int to)
{
    if (from < 0 || to < 0 || from >= rowCount_ || to >= rowCount_) throw GridError("Grid index out of range");
    if (from == to) return;
    HideEditor();
    RowMoved(from, to);
    viewport()->update();
}

void StringGrid::ColumnMoved(int from, int to)
{
    const std::size_t need = std::size_t(std::max(from, to)) + 1;
    for (RowData& d : rows_) {
        const bool hasText = d.texts.size() > std::size_t(std::min(from, to));
        const bool hasObject = d.objects.size() > std::size_t(std::min(from, to));
        auto rotate = [from, to](auto& v) {
            if (from < to)
                std::rotate(v.begin() + from, v.begin() + from + 1, v.begin() + to + 1);
            else
                std::rotate(v.begin() + to, v.begin() + from, v.begin() + from + 1);
        };
        if (hasText) {
            if (d.texts.size() < need) d.texts.resize(need);
            rotate(d.texts);
        }
        if (hasObject) {
            if (d.objects.size() < need) d.objects.resize(need, nullptr);
            rotate(d.objects);
        }
    }
}

void StringGrid::RowMoved(int from, int to)
{
    if (from < to)
        std::rotate(rows_.begin() + from, rows_.begin() + from + 1, rows_.begin() + to + 1);
    else
        std::rotate(rows_.begin() + to, rows_.begin() + from, rows_.begin() + from + 1);
}

// ---------------------------------------------------------------- repainting

void StringGrid::InvalidateCell(int col, int row)
{
    if (!viewport()->isVisible() || !viewport()->updatesEnabled()) return;  // update() would do nothing
    if (CellRepaintsHeld()) return;  // the whole grid is repainted when they are let go
    Rect r = CellRect(col, row);
    if (r.IsEmpty()) return;
    r.Right += lineWidth_;
    r.Bottom += lineWidth_;
    viewport()->update(r.ToQRect());
}

void StringGrid::InvalidateRow(int row)
{
    if (row < 0 || row >= rowCount_ || (row >= fixedRows_ && row < topRow_)) return;
    const int y = RowTop(row);
    viewport()->update(QRect(0, y, viewport()->width(), RowHeights(row) + lineWidth_));
}

void StringGrid::InvalidateCol(int col)
{
    if (col < 0 || col >= colCount_ || (col >= fixedCols_ && col < leftCol_)) return;
    const int x = ColLeft(col);
    viewport()->update(QRect(x, 0, ColWidths(col) + lineWidth_, viewport()->height()));
}

void StringGrid::InvalidateRect(const Rect& r)
{
    if (!r.IsEmpty()) viewport()->update(r.ToQRect());
}

void StringGrid::InvalidateGrid() { viewport()->update(); }

void StringGrid::invalidateCells(const GridRect& cells)
{
    // The visible part of a block of scrolling cells, from the running sums.
    const int left = std::max(cells.Left, leftCol_), top = std::max(cells.Top, topRow_);
    if (cells.Right < left || cells.Bottom < top) return;
    const int x1 = ColLeft(left), y1 = RowTop(top);
    const int x2 = std::min<long long>(ColLeft(cells.Right + 1), viewport()->width());
    const int y2 = std::min<long long>(RowTop(cells.Bottom + 1), viewport()->height());
    if (x2 > x1 && y2 > y1) viewport()->update(QRect(x1, y1, x2 - x1, y2 - y1));
}

void StringGrid::ToggleOverlayLine(int x)
{
    auto it = std::find(overlayLines_.begin(), overlayLines_.end(), x);
    if (it != overlayLines_.end())
        overlayLines_.erase(it);
    else
        overlayLines_.push_back(x);
    viewport()->update(QRect(x - 1, 0, 3, viewport()->height()));
}

void StringGrid::ClearOverlayLines()
{
    for (int x : overlayLines_) viewport()->update(QRect(x - 1, 0, 3, viewport()->height()));
    overlayLines_.clear();
}

// ---------------------------------------------------------------- painting

void StringGrid::paintEvent(QPaintEvent* e)
{
    PaintScope scope;
    paintRect_ = e->rect();
    QPainter painter(viewport());
    canvas_.Begin(&painter);
    Paint();
    canvas_.End();
}

void StringGrid::Paint()
{
    const int cw = viewport()->width(), ch = viewport()->height();
    const QRect dirty = paintRect_.isNull() ? QRect(0, 0, cw, ch) : paintRect_;
    platform::Canvas& cv = canvas_;
    if (!cv.Painter()) return;
    QPainter& p = *cv.Painter();
    int painted = 0;

    // Visible columns and rows: the fixed ones, then the scrolling ones from LeftCol/TopRow.
    auto visible = [](const Sums& sums, int fixed, int first, int count, int limit) {
        std::vector<std::pair<int, int>> out;  // index, start position
        long long pos = 0;
        for (int i = 0; i < fixed && pos < limit; ++i) {
            out.emplace_back(i, int(pos));
            pos += sums.Get(i) + sums.Line();
        }
        for (int i = first; i < count && pos < limit; ++i) {
            out.emplace_back(i, int(pos));
            pos += sums.Get(i) + sums.Line();
        }
        return std::make_pair(out, int(std::min<long long>(pos, limit)));
    };
    const auto [cols, gridRight] = visible(*colSums_, fixedCols_, leftCol_, colCount_, cw);
    const auto [rows, gridBottom] = visible(*rowSums_, fixedRows_, topRow_, rowCount_, ch);
    const GridRect sel = Selection();
    const bool focused = hasFocus() || (editor_ && editor_->hasFocus());

    for (const auto& [row, y] : rows) {
        const int h = rowSums_->Get(row);
        if (y > dirty.bottom() || y + h + lineWidth_ <= dirty.top()) continue;
        for (const auto& [col, x] : cols) {
            const int w = colSums_->Get(col);
            if (x > dirty.right() || x + w + lineWidth_ <= dirty.left()) continue;
            const Rect r = Rect::FromSize(x, y, w, h);
            const bool fixed = col < fixedCols_ || row < fixedRows_;
            GridDrawState state = 0;
            if (fixed) {
                state |= gdFixed;
            } else {
                const bool current = col == curCol_ && row == curRow_;
                if (current && focused) state |= gdFocused;
                if (sel.Contains(col, row) && (!current || (options_ & (goDrawFocusSelected | goRowSelect))))
                    state |= gdSelected;
            }
            cv.Font = font_;
            cv.Brush.SetColor(fixed ? fixedColor_ : (state & gdSelected) ? clHighlight : color_);
            if (state & gdSelected) cv.Font.Color = clHighlightText;
            if (defaultDrawing_) cv.FillRect(r);
            DrawCell(col, row, r, state);
            if (defaultDrawing_ && (state & gdFocused) && !(options_ & goRowSelect)) cv.DrawFocusRect(r);
            ++painted;

            // The lines right of and below the cell.
            if (lineWidth_ > 0) {
                const bool vert = fixed ? (options_ & goFixedVertLine) : (options_ & goVertLine);
                const bool horz = fixed ? (options_ & goFixedHorzLine) : (options_ & goHorzLine);
                const QColor line = ToQColor(fixed ? clBlack : clSilver);
                const QColor none = ToQColor(fixed ? fixedColor_ : color_);
                p.fillRect(QRect(r.Right, r.Top, lineWidth_, h + lineWidth_), vert ? line : none);
                p.fillRect(QRect(r.Left, r.Bottom, w + lineWidth_, lineWidth_), horz ? line : none);
            }
        }
    }
    // The client area beyond the last column and row.
    if (gridRight < cw) p.fillRect(QRect(gridRight, 0, cw - gridRight, ch), ToQColor(color_));
    if (gridBottom < ch) p.fillRect(QRect(0, gridBottom, gridRight, ch - gridBottom), ToQColor(color_));

    // Sizing feedback: dotted lines across the client area.
    for (int x : overlayLines_)
        for (int y = 0; y < ch; y += 2) p.fillRect(QRect(x, y, 1, 1), Qt::black);
    if (gesture_.state == gsRowSizing)
        for (int x = 0; x < cw; x += 2) p.fillRect(QRect(x, gesture_.sizingPos, 1, 1), Qt::black);
    lastPaintCells_ = painted;
}

void StringGrid::DrawCell(int col, int row, const Rect& rect, GridDrawState)
{
    if (!defaultDrawing_) return;
    canvas_.TextRect(rect, rect.Left + 2, rect.Top + 2, QString::fromStdString(Cells(col, row)));
}

// ---------------------------------------------------------------- notifications (defaults)

bool StringGrid::SelectCell(int, int) { return true; }
void StringGrid::TopLeftChanged() {}
void StringGrid::ColWidthsChanged() {}
void StringGrid::RowHeightsChanged() {}
void StringGrid::SizeChanged(int, int) {}
void StringGrid::RowsDropping(int) {}
void StringGrid::SelectionMoved() {}
void StringGrid::RowTextChanged(int) {}
bool StringGrid::CellRepaintsHeld() const { return false; }
void StringGrid::Click() {}
void StringGrid::DoEnter() {}
void StringGrid::DoExit() {}
void StringGrid::Resize() {}

void StringGrid::SetGridState(GestureState s)
{
    gesture_.state = s;
    if (s == gsNormal) {
        ClearOverlayLines();
        gesture_.index = gesture_.moveFrom = gesture_.moveTo = -1;
    }
}

// ---------------------------------------------------------------- keyboard

void StringGrid::keyPressEvent(QKeyEvent* e)
{
    int key = VirtualKeyOf(*e);
    const ShiftState shift = ShiftStateOf(e->modifiers());
    if (key != 0) KeyDown(key, shift);
    const QString text = e->text();
    if (!text.isEmpty() && !(shift & ssCtrl)) {
        char32_t ch = text.toUcs4().value(0);
        KeyPress(ch);
    }
    e->accept();
}

void StringGrid::keyReleaseEvent(QKeyEvent* e)
{
    int key = VirtualKeyOf(*e);
    if (key != 0) KeyUp(key, ShiftStateOf(e->modifiers()));
    e->accept();
}

bool StringGrid::focusNextPrevChild(bool next)
{
    if (options_ & goTabs) return false;  // Tab moves between cells
    return QAbstractScrollArea::focusNextPrevChild(next);
}

void StringGrid::KeyDown(int& key, ShiftState shift)
{
    if (colCount_ <= fixedCols_ || rowCount_ <= fixedRows_) return;
    const bool rowSelect = options_ & goRowSelect;
    const bool extend = (shift & ssShift) && (options_ & goRangeSelect);
    QPoint cur = extend ? QPoint(anchorCol_, anchorRow_) : QPoint(curCol_, curRow_);
    int left = leftCol_, top = topRow_;
    const int pageRows = std::max(1, VisibleRowCount());
    bool handled = true;

    if (shift & ssCtrl) {
        switch (key) {
        case VK_UP: --top; break;
        case VK_DOWN: ++top; break;
        case VK_LEFT:
            if (rowSelect) --left; else cur.setX(leftCol_);
            break;
        case VK_RIGHT:
            if (rowSelect) ++left; else cur.setX(leftCol_ + std::max(1, VisibleColCount()) - 1);
            break;
        case VK_PRIOR: cur.setY(topRow_); break;
        case VK_NEXT: cur.setY(topRow_ + pageRows - 1); break;
        case VK_HOME: cur = QPoint(fixedCols_, fixedRows_); break;
        case VK_END: cur = QPoint(colCount_ - 1, rowCount_ - 1); break;
        default: handled = false;
        }
    } else {
        switch (key) {
        case VK_UP: cur.ry() -= 1; break;
        case VK_DOWN: cur.ry() += 1; break;
        case VK_LEFT:
            if (rowSelect) --left; else cur.rx() -= 1;
            break;
        case VK_RIGHT:
            if (rowSelect) ++left; else cur.rx() += 1;
            break;
        case VK_NEXT:
            cur.ry() += pageRows;
            top += pageRows;
            break;
        case VK_PRIOR:
            cur.ry() -= pageRows;
            top -= pageRows;
            break;
        case VK_HOME:
            if (rowSelect) cur.setY(fixedRows_); else cur.setX(fixedCols_);
            break;
        case VK_END:
            if (rowSelect) cur.setY(rowCount_ - 1); else cur.setX(colCount_ - 1);
            break;
        case VK_TAB:
            if (!(options_ & goTabs) || (shift & ssAlt)) {
                handled = false;
                break;
            }
            if (shift & ssShift) {
                cur = QPoint(curCol_ - 1, curRow_);
                if (cur.x() < fixedCols_) cur = curRow_ > fixedRows_ ? QPoint(colCount_ - 1, curRow_ - 1) : QPoint(curCol_, curRow_);
            } else {
                cur = QPoint(curCol_ + 1, curRow_);
                if (cur.x() >= colCount_) cur = curRow_ < rowCount_ - 1 ? QPoint(fixedCols_, curRow_ + 1) : QPoint(curCol_, curRow_);
            }
            MoveColRow(cur.x(), cur.y(), true, true);
            return;
        case VK_F2:
            if (options_ & goEditing) SetEditorMode(true);
            return;
        default: handled = false;
        }
    }
    if (!handled) return;

    cur.setX(std::clamp(cur.x(), fixedCols_, colCount_ - 1));
    cur.setY(std::clamp(cur.y(), fixedRows_, rowCount_ - 1));
    left = std::clamp(left, fixedCols_, std::max(fixedCols_, MaxLeftCol()));
    top = std::clamp(top, fixedRows_, std::max(fixedRows_, MaxTopRow()));
    if (left != leftCol_ || top != topRow_) SetTopLeft(left, top);
    if (extend) {
        if (cur != QPoint(anchorCol_, anchorRow_)) MoveAnchor(cur.x(), cur.y());
    } else if (cur != QPoint(curCol_, curRow_) || anchorCol_ != curCol_ || anchorRow_ != curRow_) {
        MoveColRow(cur.x(), cur.y(), true, true);
    }
}

void StringGrid::KeyUp(int&, ShiftState) {}

void StringGrid::KeyPress(char32_t& key)
{
    if (!(options_ & goEditing)) return;
    if (key == U'\r') {
        // Enter opens the editor, or closes it when it is open.
        if (!(options_ & goAlwaysShowEditor)) SetEditorMode(!EditorMode());
        key = 0;
        return;
    }
    if (EditorMode()) return;
    if (key < 32 || key == 127 || !CanEditAcceptKey(key)) return;
    ShowEditor();
    if (EditorMode() && editor_ && CanEditModify()) {
        editor_->setText(QString::fromUcs4(&key, 1));
        editor_->setModified(true);
        editor_->setCursorPosition(1);
    }
}

// ---------------------------------------------------------------- mouse

void StringGrid::mousePressEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    MouseDown(buttonOf(e->button()), ShiftStateOf(e->modifiers(), e->buttons()), p.x(), p.y());
    e->accept();
}

void StringGrid::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    MouseMove(ShiftStateOf(e->modifiers(), e->buttons()), p.x(), p.y());
    e->accept();
}

void StringGrid::mouseReleaseEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    MouseUp(buttonOf(e->button()), ShiftStateOf(e->modifiers(), e->buttons()), p.x(), p.y());
    e->accept();
}

// The second press of a double click: DblClick first, then the press itself with ssDouble.
void StringGrid::mouseDoubleClickEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    const ShiftState shift = ShiftStateOf(e->modifiers(), e->buttons()) | ssDouble;
    if (e->button() == Qt::LeftButton) DblClick(shift, p.x(), p.y());
    MouseDown(buttonOf(e->button()), shift, p.x(), p.y());
    e->accept();
}

int StringGrid::borderNear(int pos, bool columns) const
{
    // The column (row) whose right (bottom) border lies within the sizing zone of pos.
    const Sums& sums = columns ? *colSums_ : *rowSums_;
    const int fixed = columns ? fixedCols_ : fixedRows_;
    const int first = columns ? leftCol_ : topRow_;
    const int count = columns ? colCount_ : rowCount_;
    const int limit = columns ? viewport()->width() : viewport()->height();
    long long at = 0;
    auto check = [&](int i) {
        at += sums.Get(i);
        const bool near = pos >= at - kSizingZone && pos < at + lineWidth_ + kSizingZone;
        at += lineWidth_;
        return near;
    };
    for (int i = 0; i < fixed && at < limit; ++i)
        if (check(i)) return i;
    for (int i = first; i < count && at < limit; ++i)
        if (check(i)) return i;
    return -1;
}

void StringGrid::CalcSizingState(int x, int y, GestureState& state, int& index, int& sizingPos, int& sizingOfs)
{
    state = gsNormal;
    index = -1;
    if ((options_ & goColSizing) && y < FixedRowsHeight()) {
        const int c = borderNear(x, true);
        if (c >= 0) {
            state = gsColSizing;
            index = c;
            sizingPos = ColLeft(c) + ColWidths(c);
            sizingOfs = sizingPos - x;
            return;
        }
    }
    if ((options_ & goRowSizing) && x < FixedColsWidth()) {
        const int r = borderNear(y, false);
        if (r >= 0) {
            state = gsRowSizing;
            index = r;
            sizingPos = RowTop(r) + RowHeights(r);
            sizingOfs = sizingPos - y;
        }
    }
}

void StringGrid::MouseDown(MouseButton button, ShiftState shift, int x, int y)
{
    if (button != mbLeft) return;
    if (!hasFocus() && !(editor_ && editor_->hasFocus())) setFocus(Qt::MouseFocusReason);
    gesture_ = Gesture{};
    gesture_.press = QPoint(x, y);
    GestureState state = gsNormal;
    int index = -1, pos = 0, ofs = 0;
    CalcSizingState(x, y, state, index, pos, ofs);
    if (state == gsColSizing || state == gsRowSizing) {
        HideEditor();
        gesture_.state = state;
        gesture_.index = index;
        gesture_.sizingPos = pos;
        gesture_.sizingOfs = ofs;
        if (state == gsColSizing) ToggleOverlayLine(pos);
        return;
    }
    int col, row;
    MouseToCell(x, y, col, row);
    if (col < 0 || row < 0) return;
    if ((options_ & goColMoving) && row < fixedRows_ && col >= fixedCols_) {
        HideEditor();
        gesture_.state = gsColMoving;
        gesture_.index = gesture_.moveFrom = gesture_.moveTo = col;
        return;
    }
    if ((options_ & goRowMoving) && col < fixedCols_ && row >= fixedRows_) {
        HideEditor();
        gesture_.state = gsRowMoving;
        gesture_.index = gesture_.moveFrom = gesture_.moveTo = row;
        return;
    }
    if (col < fixedCols_ || row < fixedRows_) return;
    if ((options_ & goEditing) && col == curCol_ && row == curRow_ && !(shift & ssShift)) {
        ShowEditor();
        return;
    }
    if ((shift & ssShift) && (options_ & goRangeSelect))
        MoveAnchor(col, row);
    else
        MoveColRow(col, row, true, true);
    gesture_.state = gsSelecting;
}

void StringGrid::MouseMove(ShiftState, int x, int y)
{
    switch (gesture_.state) {
    case gsSelecting: {
        if (!(options_ & goRangeSelect)) return;
        int col, row;
        const int cx = std::clamp(x, 0, std::max(0, viewport()->width() - 1));
        const int cy = std::clamp(y, 0, std::max(0, viewport()->height() - 1));
        MouseToCell(cx, cy, col, row);
        if (col >= 0 && row >= 0 && (col != anchorCol_ || row != anchorRow_)) MoveAnchor(col, row);
        break;
    }
    case gsColSizing: {
        const int minPos = ColLeft(gesture_.index) + 1;
        const int pos = std::max(minPos, x + gesture_.sizingOfs);
        if (pos != gesture_.sizingPos) {
            ToggleOverlayLine(gesture_.sizingPos);
            gesture_.sizingPos = pos;
            ToggleOverlayLine(pos);
        }
        break;
    }
    case gsRowSizing:
        gesture_.sizingPos = std::max(RowTop(gesture_.index) + 1, y + gesture_.sizingOfs);
        viewport()->update();
        break;
    case gsColMoving: case gsRowMoving: {
        int col, row;
        MouseToCell(x, y, col, row);
        const int target = gesture_.state == gsColMoving ? col : row;
        const int fixed = gesture_.state == gsColMoving ? fixedCols_ : fixedRows_;
        if (target >= fixed) gesture_.moveTo = target;
        break;
    }
    default: break;
    }
}

void StringGrid::MouseUp(MouseButton button, ShiftState, int x, int y)
{
    if (button != mbLeft) return;
    finishGesture(x, y);
    if (x >= 0 && y >= 0 && x < viewport()->width() && y < viewport()->height()) Click();
}

void StringGrid::finishGesture(int, int)
{
    const Gesture g = gesture_;
    SetGridState(gsNormal);
    switch (g.state) {
    case gsColSizing: SetColWidths(g.index, std::max(0, g.sizingPos - ColLeft(g.index))); break;
    case gsRowSizing: SetRowHeights(g.index, std::max(0, g.sizingPos - RowTop(g.index))); break;
    case gsColMoving:
        if (g.moveTo >= fixedCols_ && g.moveTo != g.moveFrom) MoveColumn(g.moveFrom, g.moveTo);
        break;
    case gsRowMoving:
        if (g.moveTo >= fixedRows_ && g.moveTo != g.moveFrom) MoveRow(g.moveFrom, g.moveTo);
        break;
    default: break;
    }
}

void StringGrid::PressLost()
{
    if (gesture_.state == gsNormal) return;
    SetGridState(gsNormal);
    viewport()->update();  // the sizing line goes
}

// Every event of the viewport passes the press watch, mouse events first of all.
bool StringGrid::viewportEvent(QEvent* e)
{
    return pressWatch_.Handle(e, [&] { return QAbstractScrollArea::viewportEvent(e); });
}

void StringGrid::DblClick(ShiftState, int, int) {}

void StringGrid::wheelEvent(QWheelEvent* e)
{
    const int delta = e->angleDelta().y();
    if (MouseWheel(ShiftStateOf(e->modifiers(), e->buttons()), delta, e->position().toPoint()))
        e->accept();
    else
        e->ignore();
}

bool StringGrid::MouseWheel(ShiftState shift, int delta, QPoint pos)
{
    wheelRemainder_ += delta;
    bool handled = false;
    while (wheelRemainder_ <= -120) {
        wheelRemainder_ += 120;
        handled = DoMouseWheelDown(shift, pos) || handled;
    }
    while (wheelRemainder_ >= 120) {
        wheelRemainder_ -= 120;
        handled = DoMouseWheelUp(shift, pos) || handled;
    }
    return handled || delta != 0;
}

bool StringGrid::DoMouseWheelDown(ShiftState, QPoint)
{
    if (curRow_ < rowCount_ - 1) MoveColRow(curCol_, curRow_ + 1, true, true);
    return true;
}

bool StringGrid::DoMouseWheelUp(ShiftState, QPoint)
{
    if (curRow_ > fixedRows_) MoveColRow(curCol_, curRow_ - 1, true, true);
    return true;
}

// ---------------------------------------------------------------- focus and size

void StringGrid::focusInEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusInEvent(e);
    InvalidateCell(curCol_, curRow_);
    focusArrived();
}

void StringGrid::focusOutEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusOutEvent(e);
    InvalidateCell(curCol_, curRow_);
    focusLeft(QApplication::focusWidget());
}

// Moving the focus between the grid and its editor neither enters nor leaves the grid.
void StringGrid::focusArrived()
{
    if (entered_) return;
    entered_ = true;
    DoEnter();
}

void StringGrid::focusLeft(QWidget* now)
{
    if (!entered_ || now == this || (editor_ && (now == editor_ || editor_->isAncestorOf(now)))) return;
    entered_ = false;
    DoExit();
}

void StringGrid::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    updateScrollBars();
    placeEditor();
    Resize();
}

// ---------------------------------------------------------------- editor

InplaceEdit* StringGrid::CreateEditor() { return new InplaceEdit(this); }

bool StringGrid::CanEditShow()
{
    return (options_ & goEditing) && !(options_ & goRowSelect) && curCol_ >= fixedCols_ && curRow_ >= fixedRows_ &&
           curCol_ < colCount_ && curRow_ < rowCount_;
}

bool StringGrid::CanEditModify() { return true; }
bool StringGrid::CanEditAcceptKey(char32_t) { return true; }
std::string StringGrid::GetEditText(int col, int row) { return Cells(col, row); }
void StringGrid::SetEditText(int col, int row, const std::string& text) { SetCells(col, row, text); }

bool StringGrid::EditorMode() const { return editorMode_; }

void StringGrid::SetEditorMode(bool on)
{
    if (on)
        ShowEditor();
    else
        HideEditor();
}

void StringGrid::ShowEditor()
{
    if (editorMode_ || !CanEditShow()) return;
    if (!editor_) {
        editor_ = CreateEditor();
        if (!editor_) return;
        editor_->setParent(viewport());
    }
    ScrollIntoView(curCol_, curRow_);
    editorMode_ = true;
    editor_->UpdateContents();
    placeEditor();
    editor_->show();
    editor_->setFocus(Qt::OtherFocusReason);
}

void StringGrid::HideEditor()
{
    if (!editorMode_) return;
    editorMode_ = false;
    if (editor_) {
        if (editor_->isModified()) UpdateText();
        const bool hadFocus = editor_->hasFocus();
        editor_->hide();
        if (hadFocus) setFocus(Qt::OtherFocusReason);
    }
    InvalidateCell(curCol_, curRow_);
}

void StringGrid::UpdateText()
{
    if (!editor_) return;
    SetEditText(curCol_, curRow_, editor_->CellText());
    editor_->setModified(false);
}

void StringGrid::placeEditor()
{
    if (editor_ && editorMode_) {
        const Rect r = CellRect(curCol_, curRow_);
        editor_->Move(r);
        if (!r.IsEmpty() && !editor_->isVisible()) editor_->show();
    }
}

}  // namespace platform
