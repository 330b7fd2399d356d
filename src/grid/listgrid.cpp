#include "grid/listgrid.h"

#include "grid/gridaccessible.h"
#include "platform/application.h"
#include "platform/theme.h"

#include <QApplication>
#include <QEvent>
#include <QFontInfo>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <regex>

namespace grid {

using platform::GridDrawState;

// ---------------------------------------------------------------- settings objects

void TGridSettings::Changed()
{
    if (FGrid)
        FGrid->Invalidate();
}

void TSortSettings::SetRow(int Value)
{
    if (FGrid && Value > FGrid->GetFixedRowsEx())
        throw DIdiZedoRorid("Sort row should be smaller than number of fixed rows");
    row_ = Value;
    Changed();
}

void TBands::Changed()
{
    const bool wasShown = shown_;
    shown_ = Active();
    if (shown_ || wasShown)
        TGridSettings::Changed();
}

void TColumnSize::Changed()
{
    if (FGrid)
        FGrid->StretchRightColumn();
    TGridSettings::Changed();
}

// ---------------------------------------------------------------- construction

RIvuZuvuzoZuvu::RIvuZuvuzoZuvu(QWidget* Parent) : TBaseGrid(Parent)
{
    InstallGridAccessibility();  // before anything asks Qt for this grid's interface
    footerPanel_ = new TFooterPanel(this);
    footerPanel_->setFixedHeight(0);
    footerPanel_->hide();

    PrintSettings = std::make_unique<TPrintSettings>(this);
    HTMLSettings = std::make_unique<THTMLSettings>(this);
    SortSettings = std::make_unique<TSortSettings>(this);
    DragDropSettings = std::make_unique<TDragDropSettings>(this);
    ControlLook = std::make_unique<TControlLook>(this);
    Navigation = std::make_unique<TNavigation>(this);
    ColumnSize = std::make_unique<TColumnSize>(this);
    CellNode = std::make_unique<TCellNode>(this);
    Bands = std::make_unique<TBands>(this);
    SizeWhileTyping = std::make_unique<TSizeWhileTyping>(this);
    MouseActions = std::make_unique<TMouseActions>(this);
    BackGround = std::make_unique<TBackGround>(this);

    followedFont_ = Font();
    widthScale_ = FontWidthScale();
    ActiveCellFont = followedFont_;
    ActiveCellFont.Style |= platform::fsBold;
    FontChanged();  // the header's font from the cells' one

    SetDefaultRowHeight(21);
    ScrollWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    visibleCols_.fill(true);
    wheelScrollLines_ = QApplication::wheelScrollLines();

    measureRichEdit_ = new TGridRichEdit(this);
    editRichEdit_ = new TGridRichEdit(this);

    // The hidden editors and move arrows, one of each.
    isWinXP_ = platform::IsThemeActive();
    combo_ = new TGridCombo(viewport());
    combo_->IsWinXP = isWinXP_;
    spin_ = new TGridSpin(viewport());
    spin_->SetIsWinXP(isWinXP_);
    spin_->setFrame(false);
    checkBox_ = new TGridCheckBox(viewport());
    editBtn_ = new TGridEditBtn(viewport());
    editBtn_->SetCaption(QStringLiteral("..."));
    editBtn_->SetBorder(false);
    unitEditBtn_ = new TGridUnitEditBtn(viewport());
    unitEditBtn_->SetCaption(QStringLiteral("..."));
    unitEditBtn_->SetBorder(false);
    button_ = new TGridButton(viewport());
    popupButton_ = new TPopupButton(this);
    datePicker_ = new TGridDatePicker(viewport());
    for (TArrowDirection d : {arrUp, arrDown, arrLeft, arrRight})
        arrows_[d] = new TArrowWindow(this, d);
    applyFrame();
}

RIvuZuvuzoZuvu::~RIvuZuvuzoZuvu()
{
    DestroyEditor();  // before the editing state it reads goes
    // The editor controls outlive this part of the grid (they go with its
    // widget): from here on they act as plain controls.
    combo_->Grid = nullptr;
    spin_->Grid = nullptr;
    datePicker_->Grid = nullptr;
    checkBox_->Grid = nullptr;
    editBtn_->Grid = nullptr;
    unitEditBtn_->Grid = nullptr;
    button_->Grid = nullptr;
    if (EditLink && EditLink->Grid == this)
        EditLink->Grid = nullptr;
    // Frees every cell's properties and graphic objects, hidden cells included,
    // while the whole grid still stands; nobody is told any more (the
    // listeners may be gone before the grid). The texts go with the grid.
    OnCellsChanged = nullptr;
    OnGetDisplText = nullptr;
    notifiers_.clear();
    if (ColumnSize->Save())
        SaveColSizes();
    ReleaseCellProperties();
}

int RIvuZuvuzoZuvu::GetVersionNr() const { return 2; }

// ---------------------------------------------------------------- settings with behaviour

void RIvuZuvuzoZuvu::Invalidate()
{
    if (skipInvalidate_) {
        skipInvalidate_ = false;
        return;
    }
    InvalidateGrid();
}

void RIvuZuvuzoZuvu::SetSelectionColor(TColor Value) { storeAndRepaint(selectionColor_, Value); }
void RIvuZuvuzoZuvu::SetSelectionTextColor(TColor Value) { storeAndRepaint(selectionTextColor_, Value); }
void RIvuZuvuzoZuvu::SetSelectionRectangle(bool Value) { storeAndRepaint(selectionRectangle_, Value); }
void RIvuZuvuzoZuvu::SetFixedFont(const platform::Font& Value)
{
    ownFixedFont_ = true;
    storeAndRepaint(fixedFont_, Value);
}

// Fonts the grid was given stay; the others follow the cells' font: the
// header's in the palette's text colour for its face, the active cell's bold.
void RIvuZuvuzoZuvu::FontChanged()
{
    const auto bold = [](platform::Font F) {
        F.Style |= platform::fsBold;
        return F;
    };
    if (!ownFixedFont_) {
        fixedFont_ = Font();
        fixedFont_.Color = platform::clBtnText;
    }
    if (ActiveCellFont == bold(followedFont_))
        ActiveCellFont = bold(Font());
    followedFont_ = Font();
    const double scale = FontWidthScale();
    if (ColumnsFollowFont && scale != widthScale_)
        for (int c = 0; c < ColCount(); ++c)
            if (ColWidths(c) > 1)
                SetColWidths(c, static_cast<int>(std::lround(ColWidths(c) * scale / widthScale_)));
    widthScale_ = scale;
    Invalidate();
}

double RIvuZuvuzoZuvu::FontWidthScale() const
{
    constexpr double kStandardPixels = 12;  // 9 points at 96 dots per inch
    return std::max(1.0, QFontInfo(Font().ToQFont(logicalDpiY())).pixelSize() / kStandardPixels);
}

int RIvuZuvuzoZuvu::WidthAtFont(int StandardWidth) const
{
    return StandardWidth <= 1 ? StandardWidth : static_cast<int>(std::lround(StandardWidth * FontWidthScale()));
}

int RIvuZuvuzoZuvu::StandardWidth(int WidthAtFont) const
{
    return WidthAtFont <= 1 ? WidthAtFont : std::max(2, static_cast<int>(std::lround(WidthAtFont / FontWidthScale())));
}
void RIvuZuvuzoZuvu::SetURLShow(bool Value) { storeAndRepaint(urlShow_, Value); }
void RIvuZuvuzoZuvu::SetURLColor(TColor Value) { storeAndRepaint(urlColor_, Value, urlShow_); }
void RIvuZuvuzoZuvu::SetURLFull(bool Value) { storeAndRepaint(urlFull_, Value, urlShow_); }
void RIvuZuvuzoZuvu::SetShowSelection(bool Value) { storeAndRepaint(showSelection_, Value, Value != showSelection_); }
void RIvuZuvuzoZuvu::SetFlat(bool Value) { storeAndRepaint(flat_, Value); }
void RIvuZuvuzoZuvu::SetWordWrap(bool Value)
{
    storeAndRepaint(wordWrap_, Value, !IsUpdating());
    if (TGridInplaceEdit* editor = textEditor())
        editor->SetWordWrap(Value);
}

void RIvuZuvuzoZuvu::SetLook(TGridLook Value)
{
    if (Value == look_)
        return;
    look_ = Value;
    applyFrame();
    UpdateFooter();
    Invalidate();
}

void RIvuZuvuzoZuvu::SetVAlignment(TVAlignment Value)
{
    vAlignFlag_ = Value == vtaCenter ? unsigned(platform::DT_VCENTER) : Value == vtaBottom ? unsigned(platform::DT_BOTTOM) : 0u;
    storeAndRepaint(vAlignment_, Value, !IsUpdating());
}

void RIvuZuvuzoZuvu::SetMaxEditLength(int Value)
{
    maxEditLength_ = Value;
    if (InplaceEditor())
        InplaceEditor()->setMaxLength(Value > 0 ? Value : 32767);
}

void RIvuZuvuzoZuvu::SetAutoSize(bool Value) { autoSize_ = Value; }

void RIvuZuvuzoZuvu::SetLookupItems(const std::vector<std::string>* Value)
{
    if (Value)
        lookupItems_ = *Value;
}

void RIvuZuvuzoZuvu::SetFloatFormat(const std::string& Value)
{
    // Exactly one floating-point conversion with small width and precision;
    // "%%" stands for a percent sign. The pattern goes to snprintf, so
    // anything else (a "%s", two conversions, no conversion) is refused.
    static const std::regex oneFloat(R"(^([^%]|%%)*%[-+ #0]{0,5}[0-9]{0,2}(\.[0-9]{0,2})?[eEfgG]([^%]|%%)*$)");
    floatFormat_ = std::regex_match(Value, oneFloat) ? Value : "%.2f";
}

void RIvuZuvuzoZuvu::SetIntegralHeigth(bool Value)
{
    integralHeight_ = Value;
    SetBounds(x(), y(), width(), height());
}

void RIvuZuvuzoZuvu::SetBounds(int ALeft, int ATop, int AWidth, int AHeight)
{
    const int r = DefaultRowHeight();
    if (integralHeight_ && r > 0) {
        // Judged at the width being applied: a hidden grid has no up-to-date client area yet.
        const bool allColumnsFit = ColWidthsSum(0, ColCount()) <= AWidth - 2 * frameWidth();
        if (allColumnsFit)
            AHeight = AHeight + r - (AHeight % r) - 1 - style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        else
            AHeight = AHeight - (AHeight % r) - 1;
        AHeight = std::max(0, AHeight);
    }
    setGeometry(ALeft, ATop, AWidth, AHeight);
    StretchRightColumn();
}

void RIvuZuvuzoZuvu::StretchRightColumn()
{
    if (ColCount() == 0 || !ColumnSize || !ColumnSize->Stretch())
        return;
    const int client = viewport()->width();
    if (ColCount() == 1) {
        SetColWidths(0, client);
        return;
    }
    const long long others = ColWidthsSum(0, ColCount() - 1);
    if (client > others)
        SetColWidths(ColCount() - 1, static_cast<int>(client - others - 1));
}

void RIvuZuvuzoZuvu::UpdateFooter()
{
    if (footerPanel_)
        footerPanel_->update();
}

// ---------------------------------------------------------------- counts

void RIvuZuvuzoZuvu::RowsDropping(int From)
{
    TBaseGrid::RowsDropping(From);
    rowSelect_.cut(From);
}

void RIvuZuvuzoZuvu::SetRowCountEx(int Value)
{
    SetRowCount(Value);
    if (FixedRowAlways && RowCount() > 1 && FixedRows() != 1)
        SetFixedRows(1);
    displayRowLimit_ = Value;
    UpdateFooter();
}

void RIvuZuvuzoZuvu::SetColCountEx(int Value)
{
    SetColCount(Value);
    if (FixedColAlways && ColCount() > 1 && FixedCols() != 1)
        SetFixedCols(1);
    UpdateFooter();
    SetBounds(x(), y(), width(), height());
}

int RIvuZuvuzoZuvu::GetFixedRowsEx() const { return FixedRows() == 0 && FixedRowAlways ? 1 : FixedRows(); }

int RIvuZuvuzoZuvu::GetFixedColsEx() const { return FixedCols() == 0 && FixedColAlways ? 1 : FixedCols(); }

void RIvuZuvuzoZuvu::SetFixedColWidth(int W)
{
    for (int c = 0; c < FixedCols(); ++c)
        SetColWidths(c, W);
}

void RIvuZuvuzoZuvu::SetFixedRowHeight(int H)
{
    for (int r = 0; r < FixedRows(); ++r)
        SetRowHeights(r, H);
}

void RIvuZuvuzoZuvu::SetFixedFooters(int N)
{
    fixedFooters_ = std::max(0, N);
    Invalidate();
}

void RIvuZuvuzoZuvu::SetFixedRightCols(int N)
{
    fixedRightCols_ = std::max(0, N);
    Invalidate();
}

void RIvuZuvuzoZuvu::SetDefRowHeightEx(int H)
{
    SetDefaultRowHeight(H);
    FloatingFooter.Height = H;
    if (FloatingFooter.Visible)
        footerPanel_->setFixedHeight(H);
}

void RIvuZuvuzoZuvu::AddRow() { InsertRows(RowCount(), 1); }

void RIvuZuvuzoZuvu::AddColumn() { InsertCols(ColCount(), 1); }

// ---------------------------------------------------------------- row selection

void RIvuZuvuzoZuvu::checkRow(int ARow) const
{
    if (ARow < 0 || ARow >= RowCount())
        throw DIdiZedoRorid("Invalid Row accessed");
}

bool RIvuZuvuzoZuvu::GetRowSelect(int ARow)
{
    checkRow(ARow);
    rowSelect_.reach(ARow + 1);
    return rowSelect_[ARow];
}

void RIvuZuvuzoZuvu::SetRowSelect(int ARow, bool Value)
{
    checkRow(ARow);
    if (rowSelect_.set(ARow, Value)) {
        RepaintRow(ARow);
        selectionChanged();
    }
}

int RIvuZuvuzoZuvu::GetRowSelectCount() const
{
    return rowSelect_.countBelow(RowCount());
}

void RIvuZuvuzoZuvu::ClearRowSelect()
{
    rowSelect_.clear(0, 0, -1, [this](int r) {
        if (r < RowCount())
            RepaintRow(r);
    });
    selectionChanged();
}

void RIvuZuvuzoZuvu::SelectRows(int ARow, int ACount)
{
    if (MouseActions->DisjunctRowSelect()) {
        for (int r = std::max(0, ARow); r < ARow + ACount && r < RowCount(); ++r)
            SetRowSelect(r, true);
    } else {
        SetSelection({GetFixedColsEx(), ARow, ColCount() - 1, ARow + ACount - 1});
    }
}

void RIvuZuvuzoZuvu::SelectCols(int ACol, int ACount)
{
    SetSelection({ACol, FixedRows(), ACol + ACount - 1, RowCount() - 1});
}

void RIvuZuvuzoZuvu::SelectRange(int FromCol, int ToCol, int FromRow, int ToRow)
{
    SetSelection({FromCol, FromRow, ToCol, ToRow});
}

void RIvuZuvuzoZuvu::SelectToRowSelect(bool ClearOthers)
{
    const TGridRect sel = Selection();
    const int from = std::max(sel.Top, FixedRows()), to = std::min(sel.Bottom, RowCount() - 1);
    auto changed = [this](int r) {
        if (r < RowCount())
            RepaintRow(r);
        selectionChanged();
    };
    if (ClearOthers)
        rowSelect_.clear(FixedRows(), from, to, changed);
    rowSelect_.flag(from, to, changed);
}

void RIvuZuvuzoZuvu::RepaintRect(const TGridRect& R)
{
    const Rect a = CellRect(R.Left, R.Top), b = CellRect(R.Right, R.Bottom);
    if (!a.IsEmpty() && !b.IsEmpty())
        InvalidateRect(a.United(b));
    else
        InvalidateGrid();
}

void RIvuZuvuzoZuvu::HideSelection()
{
    keptSelection_ = Selection();
    SetSelection({ColCount(), RowCount(), ColCount(), RowCount()});
}

void RIvuZuvuzoZuvu::UnHideSelection() { SetSelection(keptSelection_); }

void RIvuZuvuzoZuvu::insertRowFlags(int ARow, int ACount)
{
    rowSelect_.insert(ARow, ACount);
}

void RIvuZuvuzoZuvu::removeRowFlag(int ARow)
{
    rowSelect_.erase(ARow);
}

// ---------------------------------------------------------------- structural edits

template <typename F>
void RIvuZuvuzoZuvu::withHiddenColumns(F Work)
{
    const int last = ColCount() - 1;
    const int lastWidth = last >= 0 ? ColWidths(last) : 0;
    const int hidden = hiddenColCount_;
    if (hidden)
        SetColCount(ColCount() + hidden);
    Work();
    if (hidden)
        SetColCount(ColCount() - hidden);
    if (last >= 0 && last < ColCount())
        SetColWidths(last, lastWidth);
}

void RIvuZuvuzoZuvu::InsertRows(int ARow, int ACount)
{
    if (ACount < 1)
        return;
    ARow = std::clamp(ARow, 0, RowCount());
    withHiddenColumns([&] {
        SetRowCountEx(RowCount() + ACount);
        for (int r = RowCount() - 1; r >= ARow + ACount; --r) {
            for (int c = 0; c < ColCount(); ++c) {
                SetCells(c, r, Cells(c, r - ACount));
                SetGridObject(c, r, GetGridObject(c, r - ACount));
            }
            SetRowHeights(r, RowHeights(r - ACount));
        }
        for (int r = ARow; r < ARow + ACount; ++r) {
            SetRowHeights(r, DefaultRowHeight());
            NilRow(r);
        }
    });
    insertRowFlags(ARow, ACount);
}

// Keeps [ARow, ARow + ACount) inside the rows; false when nothing is left.
bool RIvuZuvuzoZuvu::removeRowsClamped(int& ARow, int& ACount) const
{
    if (ARow < 0) {
        ACount += ARow;
        ARow = 0;
    }
    ACount = std::min(ACount, RowCount() - ARow);
    return ACount >= 1;
}

template <typename F>
void RIvuZuvuzoZuvu::deleteRows(int ARow, int ACount, F Place)
{
    BeginUpdate();
    withHiddenColumns([&] {
        const int oldRow = Row(), oldTop = TopRow();
        for (int i = 0; i < ACount; ++i) {
            ReleaseRow(ARow);
            DeleteRow(ARow);
            removeRowFlag(ARow);
        }
        Place(oldRow, oldTop);
    });
    EndUpdate();
}

void RIvuZuvuzoZuvu::RemoveRows(int ARow, int ACount)
{
    if (!removeRowsClamped(ARow, ACount))
        return;
    const bool shown = editorShown_[0];
    editorShown_[0] = false;
    deleteRows(ARow, ACount, [this](int oldRow, int oldTop) {
        if (dataRowEnd() <= oldRow) {
            if (dataRowEnd() > FixedRows())
                SetRow(dataRowEnd() - 1);
            else
                HideSelection();
        } else {
            SetRow(oldRow);
            SetTopRow(oldTop);
        }
    });
    editorShown_[0] = shown;
    CellsChanged({0, ARow, ColCount() - 1, ARow + ACount});
    if (RowCount() > 0 && TopRow() >= RowCount() - 1)
        SetTopRow(RowCount() - 1);
}

void RIvuZuvuzoZuvu::RemoveRowsEx(int ARow, int ACount)
{
    if (!removeRowsClamped(ARow, ACount))
        return;
    deleteRows(ARow, ACount, [this](int oldRow, int oldTop) {
        if (RowCount() <= oldRow && FixedRows() < RowCount()) {
            SetRow(FixedRows());
            SetTopRow(FixedRows());
        } else if (oldRow < RowCount()) {
            SetRow(oldRow);
            SetTopRow(oldTop);
        }
    });
    CellsChanged({0, ARow, ColCount() - 1, ARow + ACount});
}

void RIvuZuvuzoZuvu::InsertCols(int ACol, int ACount)
{
    if (ACount < 1)
        return;
    ACol = std::clamp(ACol, 0, ColCount());
    const int shownBefore = ColCount();
    SetColCountEx(ColCount() + ACount);
    const int shown = ColCount();
    withHiddenColumns([&] {
        for (int c = ColCount() - 1; c >= ACol + ACount; --c) {
            CopyCols(c, c - ACount);
            if (c < shown && c - ACount < shownBefore)
                SetColWidths(c, ColWidths(c - ACount));
            if (c < 256)
                visibleCols_[c] = visibleCols_[c - ACount];
        }
        for (int c = ACol; c < ACol + ACount; ++c) {
            if (c < shown)
                SetColWidths(c, DefaultColWidth());
            if (c < 256)
                visibleCols_[c] = true;
            NilCol(c);
        }
    });
}

void RIvuZuvuzoZuvu::RemoveCols(int ACol, int ACount)
{
    if (ACol < 0) {
        ACount += ACol;
        ACol = 0;
    }
    ACount = std::min(ACount, ColCount() - ACol);
    if (ACount < 1)
        return;
    ClearCols(ACol, ACount);
    const int shown = ColCount();
    withHiddenColumns([&] {
        const int total = ColCount();
        for (int c = ACol; c + ACount < total; ++c) {
            CopyCols(c, c + ACount);
            if (c + ACount < shown)
                SetColWidths(c, ColWidths(c + ACount));
            if (c + ACount < 256)
                visibleCols_[c] = visibleCols_[c + ACount];
        }
        // The vacated columns at the end keep nothing that could show again.
        for (int c = total - ACount; c < total; ++c)
            NilCol(c);
    });
    SetColCountEx(shown - ACount);
    CellsChanged({ACol, 0, ACol + ACount, RowCount() - 1});
}

void RIvuZuvuzoZuvu::ClearRect(int ACol1, int ARow1, int ACol2, int ARow2)
{
    const int lastCol = ColCount() + hiddenColCount_ - 1;
    ACol1 = std::max(ACol1, 0);
    ARow1 = std::max(ARow1, 0);
    ACol2 = std::min(ACol2, lastCol);
    ARow2 = std::min(ARow2, RowCount() - 1);
    if (ACol1 > ACol2 || ARow1 > ARow2)
        return;
    withHiddenColumns([&] {
        for (int r = ARow1; r <= ARow2; ++r)
            for (int c = ACol1; c <= ACol2; ++c) {
                // The properties (with their graphic) go with the last slot holding them.
                if (HasCellProperties(c, r))
                    SetCellProperties(c, r, nullptr);
                if (!Cells(c, r).empty())
                    SetCellEx(c, r, "");
            }
    });
    CellsChanged({ACol1, ARow1, ACol2, ARow2});
}

void RIvuZuvuzoZuvu::ClearRows(int ARow, int ACount)
{
    if (RowCount() == 0 || ColCount() == 0 || ACount < 1)
        return;
    ClearRect(0, ARow, ColCount() - 1 + hiddenColCount_, ARow + ACount - 1);
}

void RIvuZuvuzoZuvu::ClearCols(int ACol, int ACount)
{
    if (RowCount() == 0 || ColCount() == 0 || ACount < 1)
        return;
    ClearRect(ACol, 0, ACol + ACount - 1, RowCount() - 1);
}

void RIvuZuvuzoZuvu::ClearNormalCells()
{
    if (RowCount() == 0 || ColCount() == 0)
        return;
    ClearRect(FixedCols(), FixedRows(), ColCount() - 1 + hiddenColCount_ - fixedRightCols_,
              RowCount() - 1 - fixedFooters_);
}

void RIvuZuvuzoZuvu::Clear()
{
    if (RowCount() > 0 && ColCount() > 0)
        ClearRect(0, 0, ColCount() - 1 + hiddenColCount_, RowCount() - 1);
    lookupText_.clear();
}

void RIvuZuvuzoZuvu::ClearSelection()
{
    if (MouseActions->DisjunctRowSelect()) {
        for (int r = FixedRows(); r < RowCount(); ++r)
            if (r < static_cast<int>(rowSelect_.size()) && rowSelect_[r])
                ClearRows(r, 1);
    } else {
        const TGridRect s = Selection();
        ClearRect(s.Left, s.Top, s.Right, s.Bottom);
    }
}

void RIvuZuvuzoZuvu::RemoveSelectedRows()
{
    BeginUpdate();
    for (int r = FixedRows(); r < RowCount();) {
        if (r < static_cast<int>(rowSelect_.size()) && rowSelect_[r])
            RemoveRows(r, 1);
        else
            ++r;
    }
    EndUpdate();
}

namespace {
// Walks First..Last and hands each run of equal neighbours to Merge(start, length);
// Same(i) tells whether item i continues the run of item i - 1.
template <typename SameFn, typename MergeFn>
void mergeRuns(int First, int Last, SameFn Same, MergeFn Merge)
{
    int start = First, length = 1;
    for (int i = First + 1; i <= Last; ++i) {
        if (Same(i)) {
            ++length;
        } else {
            Merge(start, length);
            start = i;
            length = 1;
        }
    }
    if (length > 1)
        Merge(start, length);
}
}  // namespace

void RIvuZuvuzoZuvu::MergeColumnCells(int ACol, bool AnyText)
{
    mergeRuns(
        FixedRows(), RowCount() - 1 - fixedFooters_,
        [&](int r) { return GetCellEx(ACol, r) == GetCellEx(ACol, r - 1) && (AnyText || RowSpanIdentical(r, r - 1)); },
        [&](int start, int length) { MergeCells(ACol, start, 1, length); });
}

void RIvuZuvuzoZuvu::MergeRowCells(int ARow, bool AnyText)
{
    mergeRuns(
        FixedCols(), ColCount() - 1 - fixedRightCols_,
        [&](int c) { return GetCellEx(c, ARow) == GetCellEx(c - 1, ARow) && (AnyText || ColSpanIdentical(c, c - 1)); },
        [&](int start, int length) { MergeCells(start, ARow, length, 1); });
}

namespace {
// Splits the merged blocks met at positions First up to (not including) End:
// Span(i) is how far the block at i reaches, or -1 where i is not merged.
template <typename SpanFn, typename SplitFn>
void splitRuns(int First, int End, SpanFn Span, SplitFn Split)
{
    for (int i = First; i < End;) {
        const int span = Span(i);
        if (span < 0) {
            ++i;
            continue;
        }
        Split(i);
        i += span + 1;
    }
}
}  // namespace

void RIvuZuvuzoZuvu::SplitColumnCells(int ACol)
{
    splitRuns(
        FixedRows(), RowCount() - 1 - fixedFooters_,
        [&](int r) { return IsMergedCell(ACol, r) ? CellSpan(ACol, r).y() : -1; },
        [&](int r) { SplitCells(ACol, r); });
}

void RIvuZuvuzoZuvu::SplitRowCells(int ARow)
{
    splitRuns(
        FixedCols(), ColCount() - 1 - fixedRightCols_,
        [&](int c) { return IsMergedCell(c, ARow) ? CellSpan(c, ARow).x() : -1; },
        [&](int c) { SplitCells(c, ARow); });
}

void RIvuZuvuzoZuvu::MergeCols(int ACol1, int ACol2)
{
    for (int r = FixedRows(); r < RowCount(); ++r)
        SetCellEx(ACol1, r, Trim(GetCellEx(ACol1, r)) + " " + Trim(GetCellEx(ACol2, r)));
    RemoveCols(ACol2, 1);
}

bool RIvuZuvuzoZuvu::IsCell(const std::string& Text, int& ACol, int& ARow) const
{
    for (int r = 0; r < RowCount(); ++r)
        for (int c = 0; c < ColCount(); ++c)
            if (Cells(c, r) == Text) {
                ACol = c;
                ARow = r;
                return true;
            }
    return false;
}

// ---------------------------------------------------------------- update lock and notifiers

void RIvuZuvuzoZuvu::BeginUpdate() { ++updateCount_; }

void RIvuZuvuzoZuvu::EndUpdate()
{
    if (updateCount_ > 0)
        --updateCount_;
    if (updateCount_ == 0) {
        InvalidateGrid();
        selectionChanged();  // what the lock held back
    }
}

void RIvuZuvuzoZuvu::selectionChanged()
{
    NoteAccessibleChange(*this, TAccessibleChange::Selection);
    if (!OnSelectionChange || selectionChangeDue_)
        return;
    selectionChangeDue_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            selectionChangeDue_ = false;
            if (OnSelectionChange)
                OnSelectionChange(this);
        },
        Qt::QueuedConnection);
}

void RIvuZuvuzoZuvu::Paint()
{
    if (updateCount_ > 0)
        return;
    TBaseGrid::Paint();
    paintRowFocus();
}

void RIvuZuvuzoZuvu::paintRowFocus()
{
    // A row-select grid draws no focus frame in its cells. While it has the
    // keyboard focus a dotted frame runs round the current row instead, so
    // that the row the keys act on shows also when it is not selected.
    const int row = Row();
    if (!hasFocus() || !HasOption(platform::goRowSelect) || HideFocusRect || row < FixedRows() ||
        row >= RowCount() || FixedCols() >= ColCount())
        return;
    Rect r = GetCellRect(FixedCols(), row).United(GetCellRect(ColCount() - 1, row));
    r.Left = std::max(r.Left, FixedColsWidth());
    r.Right = std::min(r.Right, viewport()->width()) - 1;
    r.Bottom -= 1;
    if (r.Right > r.Left && r.Bottom > r.Top && r.Top >= FixedRowsHeight())
        Canvas().DrawFocusRect(r, rowFocusColor(row));
}

// Black or white, whichever reads better on the row's fill (the selection
// colour when the row is flagged): the frame shows in every palette, also
// inside a selected block, where an inverted frame hardly differs from it.
TColor RIvuZuvuzoZuvu::rowFocusColor(int ARow)
{
    platform::GridDrawState state = IsSelected(FixedCols(), ARow) ? platform::GridDrawState(platform::gdSelected) : 0;
    platform::Brush fill;
    fill.SetColor(Color());
    platform::Font font = Font();
    TAlignment hAlign = taLeftJustify;
    TVAlignment vAlign = vtaTop;
    bool wrap = false;
    GetVisualProperties(FixedCols(), ARow, state, false, true, fill, font, hAlign, vAlign, wrap);
    if ((state & platform::gdSelected) && selectionColor_ == platform::clNone)
        fill.SetColor(platform::clHighlight);
    return platform::BlackOrWhiteOn(platform::ToQColor(fill.Color()));
}

void RIvuZuvuzoZuvu::CellsChanged(const Rect& R)
{
    if (OnCellsChanged)
        OnCellsChanged(this, R);
    const auto listeners = notifiers_;  // a listener may unregister itself
    for (TGridChangeNotifier* n : listeners)
        n->CellsChanged(R);
}

void RIvuZuvuzoZuvu::RegisterNotifier(TGridChangeNotifier* Notifier)
{
    if (Notifier && std::find(notifiers_.begin(), notifiers_.end(), Notifier) == notifiers_.end())
        notifiers_.push_back(Notifier);
}

void RIvuZuvuzoZuvu::UnRegisterNotifier(TGridChangeNotifier* Notifier)
{
    notifiers_.erase(std::remove(notifiers_.begin(), notifiers_.end(), Notifier), notifiers_.end());
}

// ---------------------------------------------------------------- search and lookup

int RIvuZuvuzoZuvu::Search(const std::string& S) const
{
    if (RowCount() < 2)
        return -1;
    const int col = SortSettings->Show() ? SortSettings->Column() : 1;
    for (int r = FixedRows(); r < RowCount(); ++r)
        if (UpperCase(GetCellEx(col, r).substr(0, S.size())) == S)
            return r;
    return -1;
}

namespace {
void appendUtf8(std::string& S, char32_t C)
{
    S += QString::fromUcs4(&C, 1).toStdString();
}

// Drops the last whole UTF-8 character.
void dropLastChar(std::string& S)
{
    while (!S.empty()) {
        const unsigned char c = static_cast<unsigned char>(S.back());
        S.pop_back();
        if ((c & 0xC0) != 0x80)
            break;
    }
}
}  // namespace

void RIvuZuvuzoZuvu::KeyPress(char32_t& key)
{
    // A space on a check box or radio cell toggled it (KeyDown); it types nothing.
    if (key == U' ' && HasStaticEdit(GetRealCol(), Row()))
        return;
    const bool editing = HasOption(platform::goEditing);
    if (key == 27) {
        if (editing)
            RestoreCache();
    } else if (key == 13) {
        // Enter advances from an editor, or from a cell that edits in place.
        const bool inPlace = HasStaticEdit(GetRealCol(), Row());
        if (!hasFocus() || inPlace) {
            AdvanceEdit(Col(), Row(), true, false, false);
            if (HasStaticEdit(GetRealCol(), Row()))
                return;
        }
    } else if (key != 13 && !editing && Navigation->AutoGotoWhenSorted() && (key >= 32 || key == 8)) {
        if (Navigation->AutoGotoIncremental()) {
            if (key == 8)
                dropLastChar(lookupText_);
            else
                appendUtf8(lookupText_, key);
        } else {
            lookupText_.clear();
            if (key != 8)
                appendUtf8(lookupText_, key);
        }
        const int r = Search(UpperCase(lookupText_));
        if (r != -1)
            SetRow(r);
    }
    // The character that starts an edit reaches the editor once shown, as a
    // typed character that passes the editor's filter.
    if (editing && !EditorMode() && !editActive_ && key >= 32 && key != 127 && CanEditAcceptKey(key)) {
        startChar_ = key;
        ShowEditor();
        if (EditorMode() && InplaceEditor()) {
            InplaceEditor()->selectAll();
            postStartChar(InplaceEditor());
        }
        startChar_ = 0;
        return;
    }
    TBaseGrid::KeyPress(key);
}

void RIvuZuvuzoZuvu::KeyUp(int& key, platform::ShiftState shift)
{
    switch (key) {
    case platform::VK_PRIOR:
    case platform::VK_NEXT:
    case platform::VK_END:
    case platform::VK_LEFT:
    case platform::VK_RIGHT:
    case platform::VK_UP:
    case platform::VK_DOWN:
    case platform::VK_INSERT:
    case platform::VK_DELETE:
        lookupText_.clear();
        break;
    default:
        break;
    }
    TBaseGrid::KeyUp(key, shift);
    // With AlwaysEdit the editor comes back on the cell an arrow (or Tab) moved to.
    const bool arrow = key == platform::VK_LEFT || key == platform::VK_RIGHT || key == platform::VK_UP ||
                       key == platform::VK_DOWN;
    if (Navigation->AlwaysEdit() && (arrow || (key == platform::VK_TAB && HasOption(platform::goTabs))))
        ShowEditor();
}

void RIvuZuvuzoZuvu::MouseDown(platform::MouseButton button, platform::ShiftState shift, int x, int y)
{
    lookupText_.clear();
    gridMouseDown(button, shift, x, y);
}

// ---------------------------------------------------------------- form coupling

void RIvuZuvuzoZuvu::showEvent(QShowEvent* e)
{
    TBaseGrid::showEvent(e);
    if (!form_ && window() != this) {
        form_ = window();
        formSize_ = form_->size();
        form_->installEventFilter(this);
    }
}

bool RIvuZuvuzoZuvu::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == form_ && e->type() == QEvent::Resize)
        FormResize();
    return TBaseGrid::eventFilter(watched, e);
}

void RIvuZuvuzoZuvu::FormResize()
{
    if (SizeWithForm) {
        const QSize now = form_->size();
        const int w = width() + now.width() - formSize_.width();
        const int h = height() + now.height() - formSize_.height();
        if (w > 0 && h > 0) {
            SetBounds(x(), y(), w, h);
            formSize_ = now;
        }
    }
    StretchRightColumn();
}

// ---------------------------------------------------------------- editing

namespace {
// Kinds that edit in the text editor itself (with a character filter).
bool textEditorKind(TEditorType t)
{
    return t == edNormal || (t >= edNumeric && t <= edPassword) || t == edLowerCase || t == edUpperCase;
}
}  // namespace

bool RIvuZuvuzoZuvu::CanEditShow()
{
    if (validating_)
        return false;
    bool answer = TBaseGrid::CanEditShow();
    const QPoint base = BaseCell(RemapCol(Col()), Row());
    if (answer && !editActive_ && HasStaticEdit(base.x(), base.y()))
        return false;  // check boxes and radio buttons edit in place, without a control
    if (answer && !editActive_) {
        editCache_ = Cells(RemapCol(Col()), Row());
        editorType_ = edNormal;
        GetCellEditor(base.x(), base.y(), editorType_);
        editActive_ = true;
        if (!textEditorKind(editorType_)) {
            ShowEditControl(RemapColInv(base.x()), base.y());
            editorShown_[0] = editActive_;
            if (editActive_) {
                validatePending_ = true;
                InitValidate(Col(), Row());
            }
            return false;  // the special control takes the text editor's place
        }
    }
    if (answer) {
        editorShown_[0] = editorShown_[1] = true;
        validatePending_ = true;
        if (validateCol_ != Col() || validateRow_ != Row())
            InitValidate(Col(), Row());  // the edit compares with the text it started from
    }
    return answer;
}

// ---------------------------------------------------------------- cell selection

bool RIvuZuvuzoZuvu::SelectCell(int col, int row)
{
    bool allow = true;
    if (row != Row() && OnRowChanging)
        OnRowChanging(this, Row(), row, allow);
    if (col != Col() && OnColChanging)
        OnColChanging(this, Col(), col, allow);
    if ((row != Row() || col != Col()) && !advancing_ && OnCellChanging)
        OnCellChanging(this, Row(), Col(), row, col, allow);
    if (cellNodes_ > 0 && col == 0 && !HasOption(platform::goRowSelect))
        return false;
    if (!allow)
        return false;

    editCache_ = Cells(RemapCol(col), row);
    forcedEdit_ = false;
    bool canEdit = HasOption(platform::goEditing) || editingSwitchedOff_;
    editingSwitchedOff_ = false;
    GetCellReadOnly(col, row, canEdit);
    if (canEdit && !HasOption(platform::goEditing)) {
        // A read-only cell took editing away; this cell gives it back.
        editingSwitchedOff_ = true;
        forcedEdit_ = true;
        InitValidate(col, row);
        SetOptions(Options() | platform::goEditing);
    }
    if (canEdit && editActive_) {
        HideInplaceEdit();
        setFocus();
    }
    if (!canEdit && HasOption(platform::goEditing)) {
        editingSwitchedOff_ = true;
        SetOptions(Options() & ~platform::goEditing);
    }

    const bool specialEditorFocused = editorShown_[2] && !(InplaceEditor() && InplaceEditor()->hasFocus());
    if (!specialEditorFocused)
        return !IsFixed(col, row) && TBaseGrid::SelectCell(col, row);
    if (!ValidateCell(Cells(RemapCol(Col()), Row())))
        return false;
    return TBaseGrid::SelectCell(col, row);
}

// ---------------------------------------------------------------- per-cell queries

void RIvuZuvuzoZuvu::GetCellColor(int ACol, int ARow, GridDrawState AState, platform::Brush& ABrush,
                                  platform::Font& AFont)
{
    if (ActiveCellShow) {
        const int real = RemapCol(ACol);
        if ((FixedCols() > 0 && real == 0 && ARow == Row()) || (FixedRows() > 0 && ARow == 0 && real == GetRealCol()))
            AFont = ActiveCellFont;
    }
    if (OnGetCellColor)
        OnGetCellColor(this, ARow, ACol, AState, ABrush, AFont);
}

void RIvuZuvuzoZuvu::GetCellPrintColor(int ACol, int ARow, GridDrawState AState, platform::Brush& ABrush,
                                       platform::Font& AFont)
{
    if (OnGetCellPrintColor)
        OnGetCellPrintColor(this, ARow, ACol, AState, ABrush, AFont);
}

void RIvuZuvuzoZuvu::GetCellBorder(int ACol, int ARow, platform::Pen& APen, TCellBorders& Borders)
{
    if (OnGetCellBorder)
        OnGetCellBorder(this, ARow, ACol, APen, Borders);
}

void RIvuZuvuzoZuvu::GetCellPrintBorder(int ACol, int ARow, platform::Pen& APen, TCellBorders& Borders)
{
    if (OnGetCellPrintBorder)
        OnGetCellPrintBorder(this, ARow, ACol, APen, Borders);
}

void RIvuZuvuzoZuvu::GetCellAlign(int ACol, int ARow, TAlignment& HAlign, TVAlignment& VAlign)
{
    if (OnGetAlignment)
        OnGetAlignment(this, ARow, ACol, HAlign, VAlign);
}

void RIvuZuvuzoZuvu::GetColFormat(int ACol, TSortStyle& AStyle, std::string& APrefix, std::string& ASuffix)
{
    if (OnGetFormat)
        OnGetFormat(this, ACol, AStyle, APrefix, ASuffix);
}

void RIvuZuvuzoZuvu::GetCellEditor(int ACol, int ARow, TEditorType& AEditor)
{
    if (OnGetEditorType)
        OnGetEditorType(this, ACol, ARow, AEditor);
}

void RIvuZuvuzoZuvu::GetCellFixed(int ACol, int ARow, bool& IsFixed)
{
    IsFixed = ACol < GetFixedColsEx() || ARow < GetFixedRowsEx() ||
              (FixedRowAlways && ARow == 0 && RowCount() == 1) || (FixedColAlways && ACol == 0 && ColCount() == 1);
    if (!IsFixed && OnIsFixedCell)
        OnIsFixedCell(this, ARow, ACol, IsFixed);
}

void RIvuZuvuzoZuvu::GetCellReadOnly(int ACol, int ARow, bool& CanEdit)
{
    if (OnCanEditCell)
        OnCanEditCell(this, ARow, ACol, CanEdit);
}

void RIvuZuvuzoZuvu::GetCellPassword(int ACol, int ARow, bool& IsPassword)
{
    if (OnIsPasswordCell)
        OnIsPasswordCell(this, ARow, ACol, IsPassword);
}

std::string RIvuZuvuzoZuvu::GetCheckTrue(int ACol, int ARow)
{
    std::string value = checkTrue_;
    if (OnGetCheckTrue)
        OnGetCheckTrue(this, ACol, ARow, value);
    return value;
}

std::string RIvuZuvuzoZuvu::GetCheckFalse(int ACol, int ARow)
{
    std::string value = checkFalse_;
    if (OnGetCheckFalse)
        OnGetCheckFalse(this, ACol, ARow, value);
    return value;
}

void RIvuZuvuzoZuvu::GetCellAlignment(int ACol, int ARow, TAlignment& HAlign, TVAlignment& VAlign)
{
    HAlign = taLeftJustify;
    VAlign = vAlignment_;
    if (AutoNumAlign) {
        const TAutoType t = IsType(GetCellEx(ACol, ARow));
        if (t == atNumeric || t == atFloat)
            HAlign = taRightJustify;
    }
    GetCellAlign(ACol, ARow, HAlign, VAlign);
}

bool RIvuZuvuzoZuvu::IsFixed(int ACol, int ARow)
{
    const QPoint base = BaseCell(RemapCol(ACol), ARow);
    if (base.y() < RowCount() - fixedFooters_ && base.x() < ColCount() - fixedRightCols_ + hiddenColCount_) {
        bool fixed = false;
        GetCellFixed(base.x(), base.y(), fixed);
        return fixed;
    }
    return true;
}

bool RIvuZuvuzoZuvu::IsEditable(int ACol, int ARow)
{
    if (!HasOption(platform::goEditing) && !forcedEdit_)
        return false;
    bool canEdit = true;
    GetCellReadOnly(ACol, ARow, canEdit);
    bool fixed = false;
    GetCellFixed(ACol, ARow, fixed);
    return canEdit && !fixed;
}

bool RIvuZuvuzoZuvu::IsPassword(int ACol, int ARow)
{
    bool password = false;
    GetCellPassword(ACol, ARow, password);
    return password;
}

// ---------------------------------------------------------------- validation

void RIvuZuvuzoZuvu::InitValidate(int ACol, int ARow)
{
    validateCol_ = ACol;
    validateRow_ = ARow;
    validateText_ = GetCellEx(RemapCol(ACol), ARow);
}

bool RIvuZuvuzoZuvu::ValidateCell(const std::string& NewValue)
{
    if (!validatePending_ || validateCol_ < 0 || validateRow_ < 0 || validateRow_ >= RowCount())
        return true;
    validatePending_ = false;
    validating_ = true;
    bool valid = true;
    const int col = validateCol_, row = validateRow_;
    if (NewValue != validateText_) {
        const int real = RemapCol(col);
        auto* checker = dynamic_cast<RIvuZuvuzoZuvuCheck*>(CellChecker);
        std::string value = NewValue;
        try {
            UpdateCell(col, row);
            if (checker && checker->AutoCorrect)
                value = checker->Correct(col, row, value);
            if (OnCellValidate)
                OnCellValidate(this, col, row, value, valid);
            if (checker && checker->AutoMarkError)
                value = checker->MarkError(col, row, value);
        } catch (...) {
            // A failed check accepts nothing: the cell keeps its text from
            // before editing and the grid goes on; the error is reported above.
            SetCellEx(real, row, validateText_);
            validating_ = false;
            InitValidate(Col(), Row());
            throw;
        }
        CellsChanged({col, row, col, row});
        if (valid) {
            SetCellEx(real, row, value);
        } else {
            SetCellEx(real, row, value != NewValue ? value : validateText_);
            SetCol(col);
            SetRow(row);
            validatePending_ = true;
            if (!editorShown_[2])  // a special editor stays open by itself
                reopenEditorLater();
        }
        validateText_ = GetCellEx(real, row);
    }
    validating_ = false;
    InitValidate(Col(), Row());
    return valid;
}

void RIvuZuvuzoZuvu::HideInplaceEdit()
{
    if (!EditorMode() && !editActive_)
        return;
    HideEditor();
    HideEditControl(Col(), Row());
    editActive_ = false;
    for (bool& shown : editorShown_)
        shown = false;
    SelectCell(Col(), Row());
}

// ---------------------------------------------------------------- hidden columns and rows

bool RIvuZuvuzoZuvu::IsHiddenColumn(int ACol) const { return ACol >= 0 && ACol < 256 && !visibleCols_[ACol]; }

bool RIvuZuvuzoZuvu::GetVisibleCol(int ACol) const { return ACol < 0 || ACol >= 256 || visibleCols_[ACol]; }

void RIvuZuvuzoZuvu::SetVisibleCol(int ACol, bool Value)
{
    if (ACol >= 0 && ACol < 256)
        visibleCols_[ACol] = Value;
}

int RIvuZuvuzoZuvu::RemapCol(int ACol) const
{
    if (hiddenColCount_ == 0)
        return ACol;
    int visible = 0;
    for (int real = 0; real < 256; ++real) {
        if (!visibleCols_[real])
            continue;
        if (visible == ACol)
            return real;
        ++visible;
    }
    // Columns from 256 on are never hidden: the count goes on past the table.
    return ACol >= 0 ? 256 + (ACol - visible) : 0;
}

int RIvuZuvuzoZuvu::RemapColInv(int ACol) const
{
    const int upto = std::clamp(ACol, 0, 256);
    return ACol - static_cast<int>(std::count(visibleCols_.begin(), visibleCols_.begin() + upto, false));
}

bool RIvuZuvuzoZuvu::IsHiddenRow(int ARow) const
{
    return std::any_of(hiddenRows_.begin(), hiddenRows_.end(), [&](const TGridItem& i) { return i.Idx == ARow; });
}

int RIvuZuvuzoZuvu::RemapRow(int ARow) const
{
    return ARow - static_cast<int>(std::count_if(hiddenRows_.begin(), hiddenRows_.end(),
                                                 [&](const TGridItem& i) { return i.Idx < ARow; }));
}

int RIvuZuvuzoZuvu::RemapRowInv(int ARow) const
{
    if (ARow < 0)
        return -1;
    if (hiddenRows_.empty())
        return ARow;
    int shown = 0;
    for (int real = 0;; ++real) {
        if (IsHiddenRow(real))
            continue;
        if (shown == ARow)
            return real;
        ++shown;
    }
}

}  // namespace grid
