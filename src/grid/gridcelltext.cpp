// Tools of the list grid that work on cell texts: dates and times, headers,
// marking and highlighting of text inside cells, the cell checker hooks,
// fills, the merged-column list and the row filter.
#include "grid/listgrid.h"

#include "grid/cellcheck.h"

#include <QDate>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace grid {

// ---------------------------------------------------------------- dates and times

TDateTime RIvuZuvuzoZuvu::GetDates(int ACol, int ARow) const
{
    const std::string text = GetCellEx(ACol, ARow);
    TDateTime d = 0;
    if (!ParseShortDate(Trim(text), d))
        throw EConvertError("'" + text + "' is not a valid date");
    return d;
}

void RIvuZuvuzoZuvu::SetDates(int ACol, int ARow, TDateTime Value)
{
    SetCellEx(ACol, ARow, DateToShortText(Value));
}

TDateTime RIvuZuvuzoZuvu::GetTimes(int ACol, int ARow) const
{
    const std::string text = GetCellEx(ACol, ARow);
    double t = 0;
    if (!ParseTime(text, t))
        throw EConvertError("'" + text + "' is not a valid time");
    return t;
}

void RIvuZuvuzoZuvu::SetTimes(int ACol, int ARow, TDateTime Value)
{
    SetCellEx(ACol, ARow, TimeToLongText(Value));
}

// ---------------------------------------------------------------- printed columns

int RIvuZuvuzoZuvu::GetPrintColWidth(int ACol) const
{
    return ACol >= 0 && ACol < 256 ? printColWidths_[static_cast<std::size_t>(ACol)] : -1;
}

int RIvuZuvuzoZuvu::GetPrintColOffset(int ACol) const
{
    return ACol >= 0 && ACol < 256 ? printColOffsets_[static_cast<std::size_t>(ACol)] : -1;
}

void RIvuZuvuzoZuvu::SetPrintColumn(int ACol, int Width, int Offset)
{
    if (ACol < 0 || ACol >= 256)
        return;
    printColWidths_[static_cast<std::size_t>(ACol)] = Width;
    printColOffsets_[static_cast<std::size_t>(ACol)] = Offset;
}

// ---------------------------------------------------------------- headers

void RIvuZuvuzoZuvu::SetColumnHeaders(const QStringList& Value)
{
    ColumnHeaders = Value;
    if (FixedRows() > 0)
        ClearColumnHeaders();
    ShowColumnHeaders();
}

void RIvuZuvuzoZuvu::SetRowHeaders(const QStringList& Value)
{
    RowHeaders = Value;
    if (FixedCols() > 0)
        ClearRowHeaders();
    ShowRowHeaders();
}

void RIvuZuvuzoZuvu::ShowColumnHeaders()
{
    if (FixedRows() < 1)
        return;
    for (int i = 0; i < ColumnHeaders.size() && i < ColCount(); ++i)
        SetCellEx(i, 0, CLFToLF(ColumnHeaders[i].toStdString()));
}

void RIvuZuvuzoZuvu::ShowRowHeaders()
{
    if (FixedCols() < 1)
        return;
    for (int i = 0; i < RowHeaders.size() && i < RowCount(); ++i)
        SetCellEx(0, i, CLFToLF(RowHeaders[i].toStdString()));
}

void RIvuZuvuzoZuvu::ClearColumnHeaders()
{
    if (RowCount() > 0)
        for (int c = 0; c < ColCount(); ++c)
            SetCellEx(c, 0, "");
}

void RIvuZuvuzoZuvu::ClearRowHeaders()
{
    if (ColCount() > 0)
        for (int r = 0; r < RowCount(); ++r)
            SetCellEx(0, r, "");
}

void RIvuZuvuzoZuvu::Loaded()
{
    ShowColumnHeaders();
    ShowRowHeaders();
}

// ---------------------------------------------------------------- marking text

namespace {

std::string wrapOccurrences(bool MatchCase, const std::string& Text, const std::string& Fragment,
                            const std::string& Tag)
{
    return WrapOccurrences(Text, Fragment, "<" + Tag + ">", "</" + Tag + ">", MatchCase, false);
}

// Removes every <Tag> and </Tag>, in any letter case.
std::string removeTags(const std::string& Text, const std::string& Tag)
{
    const std::string open = "<" + UpperCase(Tag) + ">", close = "</" + UpperCase(Tag) + ">";
    std::string result;
    const std::string upper = UpperCase(Text);
    for (std::size_t i = 0; i < Text.size();) {
        if (upper.compare(i, open.size(), open) == 0) {
            i += open.size();
        } else if (upper.compare(i, close.size(), close) == 0) {
            i += close.size();
        } else {
            result += Text[i++];
        }
    }
    return result;
}

}  // namespace

std::string RIvuZuvuzoZuvu::HilightText(bool MatchCase, const std::string& Text, const std::string& Fragment) const
{
    return wrapOccurrences(MatchCase, Text, Fragment, "hi");
}

std::string RIvuZuvuzoZuvu::MarkText(bool MatchCase, const std::string& Text, const std::string& Fragment) const
{
    return wrapOccurrences(MatchCase, Text, Fragment, "e");
}

std::string RIvuZuvuzoZuvu::UnHilightText(const std::string& Text) const { return removeTags(Text, "hi"); }

std::string RIvuZuvuzoZuvu::UnMarkText(const std::string& Text) const { return removeTags(Text, "e"); }

// Rewrites the stored text of every base cell of R that lies in the grid;
// cells hidden inside a merged block are left alone.
void RIvuZuvuzoZuvu::rewriteCells(const TGridRect& R, const std::function<std::string(const std::string&)>& Rewrite)
{
    for (int r = std::max(R.Top, 0); r <= R.Bottom && r < RowCount(); ++r)
        for (int c = std::max(R.Left, 0); c <= R.Right && c < ColCount(); ++c) {
            if (!IsBaseCell(c, r))
                continue;
            const std::string& old = Cells(c, r);
            std::string changed = Rewrite(old);
            if (changed != old)
                SetCellEx(c, r, changed);
        }
}

void RIvuZuvuzoZuvu::MarkCells(const std::string& Fragment, const std::string& Tag, bool MatchCase,
                               const TGridRect& R)
{
    rewriteCells(R, [&](const std::string& t) { return wrapOccurrences(MatchCase, t, Fragment, Tag); });
}

void RIvuZuvuzoZuvu::UnMarkCells(const std::string& Tag, const TGridRect& R)
{
    rewriteCells(R, [&](const std::string& t) { return removeTags(t, Tag); });
}

TGridRect RIvuZuvuzoZuvu::markRange(bool WithFixed, int FromCol, int FromRow, int ToCol, int ToRow) const
{
    TGridRect r{FromCol, FromRow, ToCol, ToRow};
    if (!WithFixed) {
        r.Left = std::max(r.Left, FixedCols());
        r.Top = std::max(r.Top, FixedRows());
        r.Right = std::min(r.Right, ColCount() - 1 - FixedRightCols());
        r.Bottom = std::min(r.Bottom, RowCount() - 1 - FixedFooters());
    }
    return r;
}

void RIvuZuvuzoZuvu::HilightInCell(bool MatchCase, int ACol, int ARow, const std::string& Fragment)
{
    MarkCells(Fragment, "hi", MatchCase, {ACol, ARow, ACol, ARow});
}

void RIvuZuvuzoZuvu::HilightInCol(bool WithFixed, bool MatchCase, int ACol, const std::string& Fragment)
{
    MarkCells(Fragment, "hi", MatchCase, markRange(WithFixed, ACol, 0, ACol, RowCount() - 1));
}

void RIvuZuvuzoZuvu::HilightInRow(bool WithFixed, bool MatchCase, int ARow, const std::string& Fragment)
{
    MarkCells(Fragment, "hi", MatchCase, markRange(WithFixed, 0, ARow, ColCount() - 1, ARow));
}

void RIvuZuvuzoZuvu::HilightInGrid(bool WithFixed, bool MatchCase, const std::string& Fragment)
{
    MarkCells(Fragment, "hi", MatchCase, markRange(WithFixed, 0, 0, ColCount() - 1, RowCount() - 1));
}

void RIvuZuvuzoZuvu::UnHilightInCell(int ACol, int ARow) { UnMarkCells("hi", {ACol, ARow, ACol, ARow}); }

void RIvuZuvuzoZuvu::UnHilightInCol(bool WithFixed, int ACol)
{
    UnMarkCells("hi", markRange(WithFixed, ACol, 0, ACol, RowCount() - 1));
}

void RIvuZuvuzoZuvu::UnHilightInRow(bool WithFixed, int ARow)
{
    UnMarkCells("hi", markRange(WithFixed, 0, ARow, ColCount() - 1, ARow));
}

void RIvuZuvuzoZuvu::UnHilightInGrid(bool WithFixed)
{
    UnMarkCells("hi", markRange(WithFixed, 0, 0, ColCount() - 1, RowCount() - 1));
}

void RIvuZuvuzoZuvu::MarkInCell(bool MatchCase, int ACol, int ARow, const std::string& Fragment)
{
    MarkCells(Fragment, "e", MatchCase, {ACol, ARow, ACol, ARow});
}

void RIvuZuvuzoZuvu::MarkInCol(bool WithFixed, bool MatchCase, int ACol, const std::string& Fragment)
{
    MarkCells(Fragment, "e", MatchCase, markRange(WithFixed, ACol, 0, ACol, RowCount() - 1));
}

void RIvuZuvuzoZuvu::MarkInRow(bool WithFixed, bool MatchCase, int ARow, const std::string& Fragment)
{
    MarkCells(Fragment, "e", MatchCase, markRange(WithFixed, 0, ARow, ColCount() - 1, ARow));
}

void RIvuZuvuzoZuvu::MarkInGrid(bool WithFixed, bool MatchCase, const std::string& Fragment)
{
    MarkCells(Fragment, "e", MatchCase, markRange(WithFixed, 0, 0, ColCount() - 1, RowCount() - 1));
}

void RIvuZuvuzoZuvu::UnMarkInCell(int ACol, int ARow) { UnMarkCells("e", {ACol, ARow, ACol, ARow}); }

void RIvuZuvuzoZuvu::UnMarkInCol(bool WithFixed, int ACol)
{
    UnMarkCells("e", markRange(WithFixed, ACol, 0, ACol, RowCount() - 1));
}

void RIvuZuvuzoZuvu::UnMarkInRow(bool WithFixed, int ARow)
{
    UnMarkCells("e", markRange(WithFixed, 0, ARow, ColCount() - 1, ARow));
}

void RIvuZuvuzoZuvu::UnMarkInGrid(bool WithFixed)
{
    UnMarkCells("e", markRange(WithFixed, 0, 0, ColCount() - 1, RowCount() - 1));
}

// ---------------------------------------------------------------- cell checker

bool RIvuZuvuzoZuvu::CheckCell(int ACol, int ARow)
{
    auto* checker = dynamic_cast<RIvuZuvuzoZuvuCheck*>(CellChecker);
    if (!checker)
        return true;
    if (checker->GotoCell && ACol >= FixedCols() && ARow >= FixedRows() && ACol < ColCount() && ARow < RowCount())
        FocusCell(ACol, ARow, true);
    const std::string original = GetCellEx(ACol, ARow);
    std::string text = original;
    if (checker->UseCorrect)
        text = checker->Correct(ACol, ARow, text);
    if (checker->UseMarkError)
        text = checker->MarkError(ACol, ARow, text);
    if (text != original)
        SetCellEx(ACol, ARow, text);
    return text == original;
}

bool RIvuZuvuzoZuvu::CheckCells(int FromCol, int FromRow, int ToCol, int ToRow)
{
    auto* checker = dynamic_cast<RIvuZuvuzoZuvuCheck*>(CellChecker);
    if (!checker)
        return true;
    const int oldCol = Col(), oldRow = Row();
    // A checker that throws still gets its StopCheck, and the current cell
    // comes back; the cells checked before keep their new texts.
    auto finish = [&] {
        checker->StopCheck();
        if (checker->GotoCell)
            FocusCell(oldCol, oldRow, true);
    };
    checker->StartCheck();
    bool ok = true;
    try {
        for (int r = std::max(FromRow, 0); r <= ToRow && r < RowCount(); ++r)
            for (int c = std::max(FromCol, 0); c <= ToCol && c < ColCount(); ++c)
                ok = CheckCell(c, r) && ok;
    } catch (...) {
        finish();
        throw;
    }
    finish();
    return ok;
}

bool RIvuZuvuzoZuvu::CheckCol(int ACol) { return CheckCells(ACol, FixedRows(), ACol, RowCount() - 1); }

bool RIvuZuvuzoZuvu::CheckRow(int ARow) { return CheckCells(FixedCols(), ARow, ColCount() - 1, ARow); }

bool RIvuZuvuzoZuvu::CheckGrid(bool WithFixed)
{
    return WithFixed ? CheckCells(0, 0, ColCount() - 1, RowCount() - 1)
                     : CheckCells(FixedCols(), FixedRows(), ColCount() - 1, RowCount() - 1);
}

// ---------------------------------------------------------------- fills

void RIvuZuvuzoZuvu::TextFill(bool WithFixed, const std::string& Text)
{
    const int c0 = WithFixed ? 0 : FixedCols(), r0 = WithFixed ? 0 : FixedRows();
    for (int r = r0; r < RowCount(); ++r)
        for (int c = c0; c < ColCount(); ++c)
            SetCellEx(c, r, Text);
}

void RIvuZuvuzoZuvu::RandomFill(bool WithFixed, int AMax)
{
    const int c0 = WithFixed ? 0 : FixedCols(), r0 = WithFixed ? 0 : FixedRows();
    for (int r = r0; r < RowCount(); ++r)
        for (int c = c0; c < ColCount(); ++c)
            SetCellEx(c, r, std::to_string(AMax > 0 ? QRandomGenerator::global()->bounded(AMax) : 0));
}

// ---------------------------------------------------------------- merged columns

RIvuZuvuzoZuvu::MergedColumnsHook::MergedColumnsHook(RIvuZuvuzoZuvu* Grid)
{
    Grid->MergedColumns.OnChange = [Grid](TIntList*, int, int) {
        Grid->UndoColumnMerge();
        Grid->ApplyColumnMerge();
    };
}

void RIvuZuvuzoZuvu::UndoColumnMerge()
{
    for (int c = 0; c < ColCount(); ++c)
        SplitColumnCells(c);
}

void RIvuZuvuzoZuvu::ApplyColumnMerge()
{
    bool first = true;
    for (int i = 0; i < MergedColumns.Count(); ++i) {
        const int c = MergedColumns.Item(i);
        if (c < 0 || c >= ColCount())
            continue;
        MergeColumnCells(c, first);
        first = false;
    }
}

// ---------------------------------------------------------------- row filter

bool RIvuZuvuzoZuvu::MatchFilter(int ARow)
{
    for (const TFilterData& f : Filter) {
        const std::string text = f.Column >= 0 && f.Column < ColCount() ? GetCellEx(f.Column, ARow) : std::string();
        if (!MatchStrEx(f.Condition, text, f.CaseSensitive))
            return false;
    }
    return true;
}

void RIvuZuvuzoZuvu::ApplyFilter()
{
    const int total = std::max(1, RowCount() - FixedFooters() - FixedRows());
    int done = 0;
    int r = FixedRows();
    while (r < RowCount() - FixedFooters()) {
        if (MatchFilter(r)) {
            ++r;
        } else {
            const int start = r;
            while (r < RowCount() - FixedFooters() && !MatchFilter(r))
                ++r;
            const int before = RowCount();
            HideRows(RemapRowInv(start), RemapRowInv(r - 1));
            done += r - start - 1;
            if (RowCount() < before)
                r = start;  // the rows after the run moved up
        }
        ++done;
        if (OnFilterProgress)
            OnFilterProgress(this, static_cast<int>(std::lround(100.0 * std::min(done, total) / total)));
    }
}

void RIvuZuvuzoZuvu::SetFilterActive(bool Value)
{
    if (FilterActive == Value)
        return;
    FilterActive = Value;
    if (Value) {
        filterFixedRows_ = FixedRows();
        filterRowAdded_ = false;
        ApplyFilter();
        if (!FixedRowAlways && RowCount() - FixedFooters() <= filterFixedRows_) {
            SetRowCountEx(FixedFooters() + filterFixedRows_ + 1);
            SetFixedRows(filterFixedRows_);
            filterRowAdded_ = true;
        }
    } else {
        if (filterRowAdded_ && RowCount() == filterFixedRows_ + FixedFooters() + 1)
            SetRowCountEx(RowCount() - 1);
        filterRowAdded_ = false;
        UnHideRowsAll();
        if (RowCount() > filterFixedRows_)
            SetFixedRows(filterFixedRows_);
    }
}

}  // namespace grid
