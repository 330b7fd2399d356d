// Tree nodes of the list grid and grouping by the values of one column.
//
// A node is a ctNode TCellGraphic on the cell in column 0 of its row, so it
// moves with its row. Node operations take the row as it stands in the grid;
// the rows a contracted node hides are hidden rows (gridhidden.cpp), named
// by their real index.
#include "grid/cellgraphic.h"
#include "grid/listgrid.h"

namespace grid {

namespace {
TCellGraphic* nodeOf(const RIvuZuvuzoZuvu& g, int ARow)
{
    if (ARow < 0 || ARow >= g.RowCount())
        return nullptr;
    auto* graphic = dynamic_cast<TCellGraphic*>(g.GetGraphicObjectEx(0, ARow));
    return graphic && graphic->CellType == ctNode ? graphic : nullptr;
}
}  // namespace

bool RIvuZuvuzoZuvu::IsNode(int ARow) const { return nodeOf(*this, ARow) != nullptr; }

bool RIvuZuvuzoZuvu::GetNodeState(int ARow) const
{
    const TCellGraphic* n = nodeOf(*this, ARow);
    return n && n->CellBoolean;
}

int RIvuZuvuzoZuvu::GetNodeSpan(int ARow) const
{
    const TCellGraphic* n = nodeOf(*this, ARow);
    return n ? n->CellIndex : -1;
}

void RIvuZuvuzoZuvu::AddNode(int ARow, int Span)
{
    if (ARow < 0 || ARow >= RowCount())
        return;
    TCellGraphic* n = nodeOf(*this, ARow);
    if (!n) {
        delete GetGraphicObjectEx(0, ARow);  // a node replaces the cell's graphic
        n = new TCellGraphic;
        SetGraphicObjectEx(0, ARow, n);
        if (++cellNodes_ == 1)
            RepaintCol(0);
    }
    n->CellType = ctNode;
    n->CellIndex = Span;
    n->CellBoolean = false;
    n->CellHAlign = haBeforeText;
    n->CellVAlign = vaCenter;
    if (Col() == 0 && ColCount() > 1)
        SetCol(1);
}

void RIvuZuvuzoZuvu::RemoveNode(int ARow)
{
    if (!IsNode(ARow))
        return;
    ExpandNode(ARow);
    delete GetGraphicObjectEx(0, ARow);
    SetGraphicObjectEx(0, ARow, nullptr);
    cellNodes_ = std::max(0, cellNodes_ - 1);
    RepaintRow(ARow);
}

void RIvuZuvuzoZuvu::SetNodeState(int ARow, bool Contracted)
{
    if (IsNode(ARow) && GetNodeState(ARow) != Contracted) {
        if (Contracted)
            ContractNode(ARow);
        else
            ExpandNode(ARow);
    }
}

// The real index of the last row under the node on grid row ARow: Span - 1
// rows with a span, else up to the row before the next node (or the last row).
int RIvuZuvuzoZuvu::nodeEnd(int ARow) const
{
    const int real = RemapRowInv(ARow);
    const int span = GetNodeSpan(ARow);
    if (span > 0)
        return real + span - 1;
    for (int r = ARow + 1; r < RowCount(); ++r)
        if (IsNode(r))
            return RemapRowInv(r) - 1;
    return RowCount() + NumHiddenRows() - 1;
}

void RIvuZuvuzoZuvu::setNodeRowsHidden(int ARow, bool Hide)
{
    TCellGraphic* n = nodeOf(*this, ARow);
    if (!n || n->CellBoolean == Hide)
        return;
    // Find the end while the children are still as they were.
    const int first = RemapRowInv(ARow) + 1, last = nodeEnd(ARow);
    n->CellBoolean = Hide;
    if (last >= first) {
        if (Hide)
            HideRows(first, last);
        else
            UnHideRows(first, last);
    }
    RepaintRow(ARow);
}

void RIvuZuvuzoZuvu::ContractNode(int ARow)
{
    HideInplaceEdit();
    setNodeRowsHidden(ARow, true);
}

void RIvuZuvuzoZuvu::ExpandNode(int ARow) { setNodeRowsHidden(ARow, false); }

void RIvuZuvuzoZuvu::ExpandAll()
{
    BeginUpdate();
    for (int r = 1; r < RowCount() + NumHiddenRows(); ++r)
        ExpandNode(r);
    EndUpdate();
}

void RIvuZuvuzoZuvu::ContractAll()
{
    BeginUpdate();
    for (int r = RowCount() - 1; r >= 1; --r)
        ContractNode(r);
    EndUpdate();
}

int RIvuZuvuzoZuvu::NodeIndent(int ARow)
{
    if (cellNodes_ == 0 || ARow <= 0 || IsNode(ARow))
        return 0;
    for (int r = ARow - 1; r >= 1; --r)
        if (const TCellGraphic* n = nodeOf(*this, r))
            return !n->CellBoolean && (n->CellIndex == 0 || n->CellIndex > ARow - r) ? 16 : 0;
    return 0;
}

// ---------------------------------------------------------------- grouping

namespace {
// Where the node rows show their group's value: the first column after the
// fixed ones, or the one after it when that is the group column itself.
int nodeTextColumn(int FixedCols, int GroupCol) { return FixedCols + 1 == GroupCol ? FixedCols + 2 : FixedCols + 1; }
}  // namespace

void RIvuZuvuzoZuvu::SetGroupColumn(int ACol)
{
    if (ACol == -1)
        UnGroup();
    else if (ACol > 0)
        Group(ACol);
}

void RIvuZuvuzoZuvu::Group(int ACol)
{
    if (ACol <= FixedCols() || ACol >= ColCount())
        return;
    if (groupColumn_ > 0)
        UnGroup();
    BeginUpdate();
    groupColumn_ = ACol;
    groupColWidth_ = ColWidths(ACol);
    if (FixedRows() > 0)
        groupHeader_ = Cells(ACol, 0);
    const int textCol = nodeTextColumn(FixedCols(), ACol);

    SortSettings->Column = ACol;
    QSort();

    const int first = FixedRows();
    std::string previous = "\xFF\xFE";  // no cell holds it: the first row starts a group
    int nodeRow = -1;
    for (int r = first; r < RowCount() - FixedFooters(); ++r) {
        const std::string value = GetCellEx(ACol, r);
        if (value == previous)
            continue;
        if (nodeRow >= 0)
            AddNode(nodeRow, r - nodeRow);
        InsertRows(r, 1);
        SetCellEx(textCol, r, value);
        nodeRow = r;
        previous = value;
        ++r;  // the row that started the group moved one down
    }
    const int end = RowCount() - FixedFooters();
    if (nodeRow >= 0)
        AddNode(nodeRow, end - nodeRow);
    else if (first < end)
        AddNode(first, end - first);

    RemoveCols(ACol, 1);
    if (first < RowCount())
        SetRow(first);
    EndUpdate();
}

void RIvuZuvuzoZuvu::UnGroup()
{
    if (groupColumn_ <= 0)
        return;
    BeginUpdate();
    ExpandAll();
    const int textCol = nodeTextColumn(FixedCols(), groupColumn_);
    InsertCols(groupColumn_, 1);
    SetColWidths(groupColumn_, groupColWidth_);
    if (FixedRows() > 0)
        SetCellEx(groupColumn_, 0, groupHeader_);
    std::string current;
    for (int r = FixedRows(); r < RowCount() - FixedFooters();) {
        if (IsNode(r)) {
            current = GetCellEx(textCol, r);
            RemoveNode(r);
            RemoveRows(r, 1);
        } else {
            SetCellEx(groupColumn_, r, current);
            ++r;
        }
    }
    groupColumn_ = -1;
    EndUpdate();
}

void RIvuZuvuzoZuvu::groupCalc(int ACol, int Kind)
{
    const int last = RowCount() - 1 - FixedFooters();
    for (int r = FixedRows(); r <= last; ++r) {
        if (!IsNode(r))
            continue;
        int next = r + 1;
        while (next <= last && !IsNode(next))
            ++next;
        const int from = r + 1, to = next - 1;
        double value = 0;
        switch (Kind) {
        case 1: value = ColumnSum(ACol, from, to); break;
        case 2: value = ColumnAvg(ACol, from, to); break;
        case 3: value = ColumnMin(ACol, from, to); break;
        case 4: value = ColumnMax(ACol, from, to); break;
        default: value = std::max(0, to - from + 1); break;
        }
        SetFloats(ACol, r, value);
    }
}

}  // namespace grid
