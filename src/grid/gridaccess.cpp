// Cell, width and cursor accessors of the list grid that see through hidden
// rows and columns.
#include "grid/listgrid.h"

#include <QVariant>

#include <algorithm>

namespace grid {

const TGridItem* RIvuZuvuzoZuvu::HiddenRow(int ARow) const
{
    const auto it = std::find_if(hiddenRows_.begin(), hiddenRows_.end(),
                                 [ARow](const TGridItem& item) { return item.Idx == ARow; });
    return it == hiddenRows_.end() ? nullptr : &*it;
}

std::string RIvuZuvuzoZuvu::GetCellsEx(int ACol, int ARow) const
{
    if (const TGridItem* hidden = HiddenRow(ARow))
        return ACol >= 0 && ACol < static_cast<int>(hidden->Items.size()) ? hidden->Items[ACol] : std::string();
    return GetCellEx(ACol, RemapRow(ARow));
}

void RIvuZuvuzoZuvu::SetCellsEx(int ACol, int ARow, const std::string& Value)
{
    if (const TGridItem* hidden = HiddenRow(ARow)) {
        auto& items = const_cast<TGridItem*>(hidden)->Items;
        if (ACol >= 0) {
            if (ACol >= static_cast<int>(items.size()))
                items.resize(ACol + 1);
            items[ACol] = Value;
        }
        return;
    }
    const int shown = RemapRow(ARow);
    SetCellEx(ACol, shown, Value);
    if (RemapColInv(ACol) != ACol)
        RepaintCell(RemapColInv(ACol), shown);  // the column is shown further left
}

int RIvuZuvuzoZuvu::GetAllColWidths(int ACol) const
{
    if (IsHiddenColumn(ACol))
        return hiddenColWidths_[ACol];
    return ColWidths(RemapColInv(ACol));
}

void RIvuZuvuzoZuvu::SetAllColWidths(int ACol, int Width)
{
    if (IsHiddenColumn(ACol)) {
        hiddenColWidths_[ACol] = static_cast<std::uint16_t>(std::clamp(Width, 0, 0xFFFF));
        return;
    }
    const int shown = RemapColInv(ACol);
    if (shown >= 0 && shown < ColCount())
        SetColWidths(shown, Width);
}

void RIvuZuvuzoZuvu::SetCursorEx(Qt::CursorShape Shape)
{
    normalCursor_ = Shape;
    viewport()->setCursor(Shape);
}

// ---------------------------------------------------------------- move arrows and the combo editor's list

void RIvuZuvuzoZuvu::SetArrowColor(TColor Value)
{
    for (TArrowWindow* arrow : arrows_)
        arrow->SetColor(Value);
}

void RIvuZuvuzoZuvu::ClearComboString() { combo_->clear(); }

void RIvuZuvuzoZuvu::AddComboString(const std::string& S) { combo_->addItem(QString::fromStdString(S)); }

void RIvuZuvuzoZuvu::AddComboStringObject(const std::string& S, platform::Object* Obj)
{
    combo_->addItem(QString::fromStdString(S), QVariant::fromValue(static_cast<void*>(Obj)));
}

bool RIvuZuvuzoZuvu::RemoveComboString(const std::string& S)
{
    const int at = combo_->findText(QString::fromStdString(S), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (at < 0)
        return false;
    combo_->removeItem(at);
    return true;
}

bool RIvuZuvuzoZuvu::SetComboSelectionString(const std::string& S)
{
    const int at = combo_->findText(QString::fromStdString(S), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (at < 0)
        return false;
    ComboSelection = at;
    return true;
}

void RIvuZuvuzoZuvu::SetComboSelection(int Index) { ComboSelection = Index; }

int RIvuZuvuzoZuvu::GetComboCount() const { return combo_->count(); }

}  // namespace grid
