// Hidden columns and rows of the list grid, the ranges that saving writes,
// and the screen-to-cell conversion.
//
// A hidden column keeps its cells where they are (they live on beyond
// ColCount); only the displayed widths shift. A hidden row leaves the grid:
// its texts go to a TGridItem in hiddenRows_, and its cell objects, still
// counted as held by the slot they left, to the entry of hiddenRowObjects_ at
// the same position, until the row is shown again.
#include "grid/listgrid.h"

#include <algorithm>

namespace grid {

// ---------------------------------------------------------------- columns

void RIvuZuvuzoZuvu::HideColumns(int FromCol, int ToCol)
{
    HideInplaceEdit();
    for (int c = std::max(FromCol, 0); c <= ToCol && c < 256; ++c) {
        if (!visibleCols_[c] || c >= ColCount() + hiddenColCount_ || ColCount() < 2)
            continue;
        const int shown = RemapColInv(c);
        hiddenColWidths_[c] = static_cast<std::uint16_t>(std::clamp(ColWidths(shown), 0, 0xFFFF));
        for (int d = shown; d <= ColCount() - 2; ++d)
            SetColWidths(d, ColWidths(d + 1));
        ++hiddenColCount_;
        visibleCols_[c] = false;
        SetColCountEx(ColCount() - 1);
    }
    Invalidate();
}

void RIvuZuvuzoZuvu::UnHideColumns(int FromCol, int ToCol)
{
    HideInplaceEdit();
    for (int c = std::max(FromCol, 0); c <= ToCol && c < 256; ++c) {
        if (visibleCols_[c])
            continue;
        --hiddenColCount_;
        visibleCols_[c] = true;
        SetColCountEx(ColCount() + 1);
        const int shown = RemapColInv(c);
        for (int d = ColCount() - 1; d > shown; --d)
            SetColWidths(d, ColWidths(d - 1));
        SetColWidths(shown, hiddenColWidths_[c]);
    }
    Invalidate();
}

void RIvuZuvuzoZuvu::UnHideColumnsAll() { UnHideColumns(0, ColCount() + hiddenColCount_); }

// ---------------------------------------------------------------- rows

void RIvuZuvuzoZuvu::hideRows(int FromRow, int ToRow, bool Ex)
{
    if (FromRow < 0 || IsHiddenRow(FromRow))
        return;
    const int first = RemapRow(FromRow);
    const int columns = ColCount() + hiddenColCount_;
    int taken = 0;
    // Rows of the range that are hidden already stay as they are; the others
    // are, in order, the displayed rows from `first` on.
    for (int r = FromRow; r <= ToRow && first + taken < RowCount(); ++r) {
        if (IsHiddenRow(r))
            continue;
        const int shown = first + taken++;
        TGridItem item;
        item.Idx = r;
        std::vector<platform::Object*> objects(columns, nullptr);
        for (int c = 0; c < columns; ++c) {
            item.Items.push_back(Cells(c, shown));
            objects[c] = Objects(c, shown);
            if (objects[c])
                SetObjects(c, shown, nullptr);  // the item holds it now
        }
        hiddenRows_.push_back(std::move(item));
        hiddenRowObjects_.push_back(std::move(objects));
    }
    if (taken == 0)
        return;
    if (Ex)
        RemoveRowsEx(first, taken);
    else
        RemoveRows(first, taken);
}

void RIvuZuvuzoZuvu::HideRows(int FromRow, int ToRow) { hideRows(FromRow, ToRow, false); }

void RIvuZuvuzoZuvu::HideRowsEx(int FromRow, int ToRow) { hideRows(FromRow, ToRow, true); }

void RIvuZuvuzoZuvu::UnHideRow(int ARow) { UnHideRows(ARow, ARow); }

// The hidden rows of the range come back in order of their real index; each
// run of consecutive indexes is inserted as one block, at the place its first
// row has among the rows that are then shown.
void RIvuZuvuzoZuvu::UnHideRows(int FromRow, int ToRow)
{
    if (!IsHiddenRow(FromRow))
        return;
    std::vector<int> indexes;
    for (const TGridItem& item : hiddenRows_)
        if (item.Idx >= FromRow && item.Idx <= ToRow)
            indexes.push_back(item.Idx);
    std::sort(indexes.begin(), indexes.end());
    for (size_t runStart = 0; runStart < indexes.size();) {
        size_t runEnd = runStart + 1;
        while (runEnd < indexes.size() && indexes[runEnd] == indexes[runEnd - 1] + 1)
            ++runEnd;
        const int first = indexes[runStart];
        const int at = std::min(RemapRow(first), RowCount());
        const int count = static_cast<int>(runEnd - runStart);
        InsertRows(at, count);
        for (int k = 0; k < count; ++k) {
            const auto pos = static_cast<size_t>(
                std::find_if(hiddenRows_.begin(), hiddenRows_.end(),
                             [&](const TGridItem& i) { return i.Idx == first + k; }) -
                hiddenRows_.begin());
            const TGridItem& item = hiddenRows_[pos];
            const std::vector<platform::Object*>& objects = hiddenRowObjects_[pos];
            for (int c = 0; c < static_cast<int>(item.Items.size()); ++c)
                if (!item.Items[c].empty())
                    SetCells(c, at + k, item.Items[c]);
            for (int c = 0; c < static_cast<int>(objects.size()); ++c)
                if (objects[c])
                    SetObjects(c, at + k, objects[c]);  // back in a slot, still counted once
            hiddenRows_.erase(hiddenRows_.begin() + static_cast<std::ptrdiff_t>(pos));
            hiddenRowObjects_.erase(hiddenRowObjects_.begin() + static_cast<std::ptrdiff_t>(pos));
        }
        runStart = runEnd;
    }
}

void RIvuZuvuzoZuvu::UnHideRowsAll()
{
    while (!hiddenRows_.empty()) {
        const int first = hiddenRows_.front().Idx;
        int last = first;
        for (size_t i = 1; i < hiddenRows_.size() && hiddenRows_[i].Idx == last + 1; ++i)
            ++last;
        UnHideRows(first, last);
    }
}

void RIvuZuvuzoZuvu::HideSelectedRows()
{
    BeginUpdate();
    for (int r = FixedRows(); r < RowCount();) {
        if (r < static_cast<int>(rowSelect_.size()) && rowSelect_[r]) {
            const int real = RealRowIndex(r);
            HideRows(real, real);
        } else {
            ++r;
        }
    }
    EndUpdate();
}

// Objects of rows still hidden when the grid goes: a properties object that
// no shown cell shares is freed with its graphic; anything else belongs to
// someone else.
RIvuZuvuzoZuvu::HiddenObjectsRelease::~HiddenObjectsRelease()
{
    for (auto& objects : Grid->hiddenRowObjects_)
        for (platform::Object* o : objects)
            if (auto* p = dynamic_cast<TCellProperties*>(o); p && p->Holders() <= 1)
                delete p;
    Grid->hiddenRowObjects_.clear();
}

// ---------------------------------------------------------------- ranges and points

int RIvuZuvuzoZuvu::GetSaveStartCol() const { return IncludeFixedCells ? 0 : GetFixedColsEx(); }

int RIvuZuvuzoZuvu::GetSaveStartRow() const { return IncludeFixedCells ? 0 : GetFixedRowsEx(); }

int RIvuZuvuzoZuvu::GetSaveEndCol() const { return ColCount() - 1 - (IncludeFixedCells ? 0 : FixedRightCols()); }

int RIvuZuvuzoZuvu::GetSaveEndRow() const { return RowCount() - 1 - (IncludeFixedCells ? 0 : FixedFooters()); }

int RIvuZuvuzoZuvu::GetSaveColCount() const
{
    return IncludeFixedCells ? ColCount() : ColCount() - GetFixedColsEx() - FixedRightCols();
}

int RIvuZuvuzoZuvu::GetSaveRowCount() const
{
    return IncludeFixedCells ? RowCount() : RowCount() - GetFixedRowsEx() - FixedFooters();
}

void RIvuZuvuzoZuvu::ScreenToCell(QPoint P, int& ACol, int& ARow) const
{
    const QPoint client = viewport()->mapFromGlobal(P);
    MouseToCell(client.x(), client.y(), ACol, ARow);
}

}  // namespace grid
