#include "grid/gridaccessible.h"

#include "grid/cellgraphic.h"
#include "grid/cellobjects.h"
#include "grid/listgrid.h"
#include "grid/spinaccessible.h"
#include "platform/accessibility.h"

#include <QAccessible>
#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QApplication>
#include <QHash>
#include <QMetaObject>
#include <QPointer>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace grid {

namespace {

// More selection changes than this at once are told as one SelectionWithin.
constexpr int kSelectionEventsAtMost = 16;

// Which grid rows and columns the reader reads.
struct TableShape {
    std::vector<int> Cols;  // displayed columns a user sees, left to right
    int HeaderCols = 0;     // how many of them are fixed columns (they come first)
    int Rows = 0;           // grid rows 0 .. Rows - 1
    int HeaderRows = 0;     // of which the fixed ones
    bool operator==(const TableShape&) const = default;
    int DataCols() const { return static_cast<int>(Cols.size()) - HeaderCols; }
    int DataRows() const { return Rows - HeaderRows; }
    int IndexOf(int Col) const
    {
        const auto it = std::find(Cols.begin(), Cols.end(), Col);
        return it == Cols.end() ? -1 : static_cast<int>(it - Cols.begin());
    }
};

TableShape shapeOf(const RIvuZuvuzoZuvu& G)
{
    TableShape s;
    for (int c = 0; c < G.ColCount(); ++c)
        if (G.ColumnShown(c)) {
            s.Cols.push_back(c);
            if (c < G.FixedCols())
                ++s.HeaderCols;
        }
    s.Rows = std::max(0, G.RowCount() - (G.FooterRow() ? 1 : 0));
    s.HeaderRows = std::min(G.HeaderRowsRead(), s.Rows);
    return s;
}

// The column of the current row the reader is told of: the current column,
// or the nearest data column seen when it is not seen (the current column
// of a row-select grid may be the contact list's object-id column); -1
// when no data column is seen.
int focusColumn(const RIvuZuvuzoZuvu& G) { return G.ShownColumnAt(G.Col()); }

// Whether the disjunct row selection (the row flags) is the grid's selection;
// false also while the grid is still being made.
bool disjunct(const RIvuZuvuzoZuvu& G) { return G.MouseActions && G.MouseActions->DisjunctRowSelect(); }

bool rowSelected(const RIvuZuvuzoZuvu& G, int Row)
{
    if (disjunct(G))
        return G.IsSelected(G.FixedCols(), Row);
    const TGridRect s = G.Selection();
    if (Row < s.Top || Row > s.Bottom)
        return false;
    return G.HasOption(platform::goRowSelect) || (s.Left <= G.FixedCols() && s.Right >= G.ColCount() - 1);
}

bool rowMode(const RIvuZuvuzoZuvu& G) { return disjunct(G) || G.HasOption(platform::goRowSelect); }

QString qtext(const std::string& S) { return QString::fromStdString(S); }

class GridTable;
GridTable* tableOf(RIvuZuvuzoZuvu* G);

// One cell of the grid (data or header), at a grid row and displayed column.
class GridCell : public QAccessibleInterface,
                 public QAccessibleTableCellInterface,
                 public QAccessibleActionInterface,
                 public QAccessibleValueInterface {
public:
    GridCell(RIvuZuvuzoZuvu* G, int Row, int Col) : grid_(G), row_(Row), col_(Col) {}
    int Row() const { return row_; }
    int Col() const { return col_; }
    RIvuZuvuzoZuvu* Grid() const { return grid_; }

    bool isValid() const override
    {
        return grid_ && row_ < grid_->RowCount() && col_ < grid_->ColCount() && grid_->ColumnShown(col_);
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return grid_ ? grid_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text T) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType T) override
    {
        if (T == QAccessible::TableCellInterface && part() == Part::Data)
            return static_cast<QAccessibleTableCellInterface*>(this);
        if (T == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface*>(this);
        if (T == QAccessible::ValueInterface && isValid() && part() == Part::Data && graphic() == ctProgress)
            return static_cast<QAccessibleValueInterface*>(this);
        return nullptr;
    }

    // QAccessibleValueInterface: a progress cell's value, 0 to 100
    QVariant currentValue() const override { return isValid() ? grid_->ProgressValue(real(), row_) : 0; }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

    // QAccessibleTableCellInterface
    bool isSelected() const override { return isValid() && grid_->IsSelected(col_, row_); }
    QList<QAccessibleInterface*> columnHeaderCells() const override;
    QList<QAccessibleInterface*> rowHeaderCells() const override;
    int columnIndex() const override;
    int rowIndex() const override { return grid_ ? row_ - grid_->HeaderRowsRead() : -1; }
    int columnExtent() const override;
    int rowExtent() const override;
    QAccessibleInterface* table() const override;

    // QAccessibleActionInterface
    QStringList actionNames() const override;
    void doAction(const QString& Name) override;
    QStringList keyBindingsForAction(const QString& Name) const override;

private:
    enum class Part { Data, ColumnHeader, RowHeader };
    Part part() const
    {
        if (row_ < grid_->HeaderRowsRead())
            return Part::ColumnHeader;
        return col_ < grid_->FixedCols() ? Part::RowHeader : Part::Data;
    }
    int real() const { return grid_->RemapCol(col_); }
    TCellType graphic() const { return grid_->GetCellType(real(), row_); }
    // The editor an editable cell opens; edNormal for any other cell.
    TEditorType editor() const;
    bool sortable() const;
    QString radioChoice() const;

    QPointer<RIvuZuvuzoZuvu> grid_;
    int row_, col_;
};

// The grid itself.
class GridTable : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit GridTable(RIvuZuvuzoZuvu* G) : QAccessibleWidget(G, QAccessible::Table) { rebase(); }
    ~GridTable() override { dropCells(); }
    RIvuZuvuzoZuvu* grid() const { return static_cast<RIvuZuvuzoZuvu*>(widget()); }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.multiSelectable = disjunct(*grid()) || grid()->HasOption(platform::goRangeSelect);
        s.extSelectable = grid()->HasOption(platform::goRangeSelect);
        return s;
    }
    int childCount() const override
    {
        const TableShape s = shapeOf(*grid());
        return s.Rows * static_cast<int>(s.Cols.size());
    }
    QAccessibleInterface* child(int Index) const override
    {
        const TableShape s = shapeOf(*grid());
        const int n = static_cast<int>(s.Cols.size());
        if (Index < 0 || n == 0 || Index >= s.Rows * n)
            return nullptr;
        return cell(Index / n, s.Cols[Index % n]);
    }
    int indexOfChild(const QAccessibleInterface* Child) const override
    {
        const auto* c = dynamic_cast<const GridCell*>(Child);
        if (!c || c->Grid() != grid())
            return QAccessibleWidget::indexOfChild(Child);
        const TableShape s = shapeOf(*grid());
        const int k = s.IndexOf(c->Col());
        return k < 0 || c->Row() >= s.Rows ? -1 : c->Row() * static_cast<int>(s.Cols.size()) + k;
    }
    QAccessibleInterface* childAt(int X, int Y) const override
    {
        const QPoint p = grid()->viewport()->mapFromGlobal(QPoint(X, Y));
        int col = -1, row = -1;
        grid()->MouseToCell(p.x(), p.y(), col, row);
        const TableShape s = shapeOf(*grid());
        return col >= 0 && row >= 0 && row < s.Rows && s.IndexOf(col) >= 0 ? cell(row, col) : nullptr;
    }
    QAccessibleInterface* focusChild() const override
    {
        if (grid()->hasFocus())
            return currentCell();
        return QAccessibleWidget::focusChild();  // an editor over a cell
    }
    void* interface_cast(QAccessible::InterfaceType T) override
    {
        if (T == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(T);
    }

    // QAccessibleTableInterface
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int Row, int Column) const override
    {
        const TableShape s = shapeOf(*grid());
        if (Row < 0 || Column < 0 || Row >= s.DataRows() || Column >= s.DataCols())
            return nullptr;
        return cell(s.HeaderRows + Row, s.Cols[s.HeaderCols + Column]);
    }
    int selectedCellCount() const override
    {
        int n = 0;
        forSelectedCells([&n](int, int) { ++n; });  // counted without making the cells
        return n;
    }
    QList<QAccessibleInterface*> selectedCells() const override
    {
        QList<QAccessibleInterface*> cells;
        cells.reserve(selectedCellCount());
        forSelectedCells([&](int Row, int Col) { cells.append(answerCell(Row, Col)); });
        return cells;
    }
    QString columnDescription(int Column) const override
    {
        const TableShape s = shapeOf(*grid());
        return Column >= 0 && Column < s.DataCols() ? qtext(grid()->ColumnHeaderText(s.Cols[s.HeaderCols + Column]))
                                                     : QString();
    }
    QString rowDescription(int Row) const override
    {
        const TableShape s = shapeOf(*grid());
        QStringList parts;
        if (Row >= 0 && Row < s.DataRows())
            for (int k = 0; k < s.HeaderCols; ++k)
                if (const QString t = qtext(grid()->ShownText(s.Cols[k], s.HeaderRows + Row)); !t.isEmpty())
                    parts << t;
        return parts.join(QLatin1Char(' '));
    }
    int selectedColumnCount() const override { return static_cast<int>(selectedColumns().size()); }
    int selectedRowCount() const override { return static_cast<int>(selectedRows().size()); }
    int columnCount() const override { return shapeOf(*grid()).DataCols(); }
    int rowCount() const override { return shapeOf(*grid()).DataRows(); }
    QList<int> selectedColumns() const override
    {
        QList<int> cols;
        for (int c = 0, n = columnCount(); c < n; ++c)
            if (isColumnSelected(c))
                cols.append(c);
        return cols;
    }
    QList<int> selectedRows() const override
    {
        const TableShape s = shapeOf(*grid());
        QList<int> rows;
        for (int r = s.HeaderRows; r < s.Rows; ++r)
            if (rowSelected(*grid(), r))
                rows.append(r - s.HeaderRows);
        return rows;
    }
    bool isColumnSelected(int Column) const override
    {
        const TableShape s = shapeOf(*grid());
        if (Column < 0 || Column >= s.DataCols() || s.DataRows() == 0)
            return false;
        for (int r = s.HeaderRows; r < s.Rows; ++r)
            if (!grid()->IsSelected(s.Cols[s.HeaderCols + Column], r))
                return false;
        return true;
    }
    bool isRowSelected(int Row) const override
    {
        const TableShape s = shapeOf(*grid());
        return Row >= 0 && Row < s.DataRows() && rowSelected(*grid(), s.HeaderRows + Row);
    }
    bool selectRow(int Row) override
    {
        const TableShape s = shapeOf(*grid());
        if (Row < 0 || Row >= s.DataRows())
            return false;
        if (disjunct(*grid()))
            grid()->SetRowSelect(s.HeaderRows + Row, true);
        else
            grid()->SelectRows(s.HeaderRows + Row, 1);
        return true;
    }
    bool unselectRow(int Row) override
    {
        const TableShape s = shapeOf(*grid());
        if (Row < 0 || Row >= s.DataRows() || !disjunct(*grid()))
            return false;
        grid()->SetRowSelect(s.HeaderRows + Row, false);
        return true;
    }
    bool selectColumn(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* Event) override
    {
        if (Event->modelChangeType() == QAccessibleTableModelChangeEvent::ModelReset)
            dropCells();
    }

    // The cell at a grid row and displayed column, made on first use and
    // kept until the rows or columns change.
    GridCell* cell(int Row, int Col) const
    {
        if (GridCell* known = madeCell(Row, Col))
            return known;
        auto* made = new GridCell(grid(), Row, Col);
        cells_.insert(keyOf(Row, Col), QAccessible::registerAccessibleInterface(made));
        return made;
    }
    // A cell of an answer of many cells (the selected ones): the kept one
    // when made already, else one made for this answer alone, which lasts
    // the turn the reader asked in. Such a cell enters Qt's register of
    // interfaces only when the reader asks for its id, and leaves it with
    // the turn; so what such a question costs follows what it answers, and
    // nothing of a large answer stays, with the grid or with Qt.
    GridCell* answerCell(int Row, int Col) const
    {
        if (GridCell* known = madeCell(Row, Col))
            return known;
        auto* made = new GridCell(grid(), Row, Col);
        answered_.push_back(made);
        if (answered_.size() == 1) {
            QPointer<RIvuZuvuzoZuvu> g = grid();
            QMetaObject::invokeMethod(
                grid(),
                [g] {
                    if (GridTable* t = g ? tableOf(g) : nullptr)
                        t->dropAnswered();
                },
                Qt::QueuedConnection);
        }
        return made;
    }
    void dropAnswered()
    {
        // One at a time through the register: deletes it there when the
        // reader had it registered, else enters and leaves it at once.
        for (GridCell* c : answered_)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(c));
        answered_.clear();
    }
    // The cell the user stands on; nullptr when no data cell is read.
    GridCell* currentCell() const
    {
        const TableShape s = shapeOf(*grid());
        const int col = focusColumn(*grid());
        const int row = grid()->Row();
        return col >= 0 && row >= s.HeaderRows && row < s.Rows ? cell(row, col) : nullptr;
    }

    void note(TAccessibleChange Change, int Row)
    {
        switch (Change) {
        case TAccessibleChange::Reset:
            reset_ = true;
            break;
        case TAccessibleChange::Focus:
            focus_ = true;
            break;
        case TAccessibleChange::Text:
            if (Row >= 0) {
                textFrom_ = textFrom_ < 0 ? Row : std::min(textFrom_, Row);
                textTo_ = std::max(textTo_, Row);
            }
            break;
        default:
            break;
        }
        if (queued_)
            return;
        queued_ = true;
        QPointer<RIvuZuvuzoZuvu> g = grid();
        QMetaObject::invokeMethod(
            grid(),
            [g] {
                if (g)
                    AnnounceAccessibleChanges(*g);
            },
            Qt::QueuedConnection);
    }

    void announce();
    // What the grid is now is what the reader knows; nothing is sent.
    void rebase()
    {
        RIvuZuvuzoZuvu& g = *grid();
        g.AccessibleOutOfDate = false;
        shape_ = shapeOf(g);
        selected_.assign(static_cast<std::size_t>(shape_.Rows), 0);
        for (int r = shape_.HeaderRows; r < shape_.Rows; ++r)
            selected_[static_cast<std::size_t>(r)] = rowSelected(g, r);
        block_ = g.Selection();
        focusRow_ = g.Row();
        focusCol_ = focusColumn(g);
        reset_ = focus_ = false;
        textFrom_ = textTo_ = -1;
    }

private:
    template <typename F>
    void forSelectedCells(F Visit) const
    {
        const TableShape s = shapeOf(*grid());
        for (int r = s.HeaderRows; r < s.Rows; ++r)
            for (int k = s.HeaderCols; k < static_cast<int>(s.Cols.size()); ++k)
                if (grid()->IsSelected(s.Cols[k], r))
                    Visit(r, s.Cols[k]);
    }
    void send(QAccessibleInterface* Iface, QAccessible::Event Type)
    {
        if (!Iface)
            return;
        QAccessibleEvent e(Iface, Type);
        platform::SendAccessibleEvent(e);
    }
    void sendModelChange(QAccessibleTableModelChangeEvent::ModelChangeType Type, int FirstRow = -1,
                         int LastRow = -1)
    {
        QAccessibleTableModelChangeEvent e(this, Type);
        if (FirstRow >= 0) {
            e.setFirstRow(FirstRow);
            e.setLastRow(LastRow);
            e.setFirstColumn(0);
            e.setLastColumn(shape_.DataCols() - 1);
        }
        platform::SendAccessibleEvent(e);
    }
    void announceSelection(RIvuZuvuzoZuvu& G);
    static quint64 keyOf(int Row, int Col) { return (quint64(quint32(Row)) << 32) | quint32(Col); }
    GridCell* madeCell(int Row, int Col) const
    {
        const auto it = cells_.constFind(keyOf(Row, Col));
        return it == cells_.constEnd() ? nullptr : static_cast<GridCell*>(QAccessible::accessibleInterface(it.value()));
    }
    void dropCells()
    {
        dropAnswered();
        const auto ids = cells_.values();
        cells_.clear();
        for (QAccessible::Id id : ids)
            QAccessible::deleteAccessibleInterface(id);
    }

    mutable QHash<quint64, QAccessible::Id> cells_;
    mutable std::vector<GridCell*> answered_;  // cells made for answers this turn, dropped after it
    // what the reader was told last
    TableShape shape_;
    std::vector<char> selected_;
    TGridRect block_{};
    int focusRow_ = -1, focusCol_ = -1;
    // what changed since
    bool queued_ = false, reset_ = false, focus_ = false;
    int textFrom_ = -1, textTo_ = -1;
};

void GridTable::announce()
{
    queued_ = false;
    RIvuZuvuzoZuvu& g = *grid();
    // A lock on painting or a press being dragged out is not over yet; its end comes back here.
    if (g.IsUpdating() || g.NewSelection())
        return;
    const TableShape now = shapeOf(g);
    // A grid that changed while nobody listened (Qt may have made this
    // interface before) is read afresh too: what was known is no base.
    if (reset_ || g.AccessibleOutOfDate || !(now == shape_)) {
        // Rows or columns came, went or moved: the reader reads the table
        // again, and hears the row the user now stands on.
        dropCells();
        rebase();
        sendModelChange(QAccessibleTableModelChangeEvent::ModelReset);
        if (g.hasFocus())
            send(currentCell(), QAccessible::Focus);
        return;
    }
    if (textFrom_ >= 0) {
        const int from = std::max(textFrom_, shape_.HeaderRows), to = std::min(textTo_, shape_.Rows - 1);
        if (from <= to)
            sendModelChange(QAccessibleTableModelChangeEvent::DataChanged, from - shape_.HeaderRows,
                            to - shape_.HeaderRows);
        textFrom_ = textTo_ = -1;
    }
    // The cell the user lands on first, then its selection: a reader hears
    // the row, then that it is selected (a change of the selection of a cell
    // without the focus goes unsaid).
    const int row = g.Row(), col = focusColumn(g);
    const bool moved = row != focusRow_ || col != focusCol_;
    focusRow_ = row;
    focusCol_ = col;
    if ((moved || focus_) && g.hasFocus())
        send(currentCell(), QAccessible::Focus);
    focus_ = false;
    announceSelection(g);
}

void GridTable::announceSelection(RIvuZuvuzoZuvu& G)
{
    if (!rowMode(G)) {
        // A block of cells: the focus tells of the current cell; a wider block as a whole.
        const TGridRect block = G.Selection();
        const bool single = block.Left == block.Right && block.Top == block.Bottom;
        if (!(block == block_) && !single)
            send(this, QAccessible::SelectionWithin);
        block_ = block;
        return;
    }
    std::vector<int> added, removed;
    int count = 0;
    for (int r = shape_.HeaderRows; r < shape_.Rows; ++r) {
        const char now = rowSelected(G, r);
        char& was = selected_[static_cast<std::size_t>(r)];
        count += now;
        if (now != was)
            (now ? added : removed).push_back(r);
        was = now;
    }
    const int col = focusColumn(G);
    if ((added.empty() && removed.empty()) || col < 0)
        return;
    if (added.size() == 1 && count == 1) {
        send(cell(added.front(), col), QAccessible::Selection);
    } else if (static_cast<int>(added.size() + removed.size()) <= kSelectionEventsAtMost) {
        for (int r : added)
            send(cell(r, col), QAccessible::SelectionAdd);
        for (int r : removed)
            send(cell(r, col), QAccessible::SelectionRemove);
    } else {
        send(this, QAccessible::SelectionWithin);
    }
}

GridTable* tableOf(RIvuZuvuzoZuvu* G)
{
    return G ? dynamic_cast<GridTable*>(QAccessible::queryAccessibleInterface(G)) : nullptr;
}

// ---------------------------------------------------------------- cells

QAccessibleInterface* GridCell::parent() const { return tableOf(grid_); }

QAccessibleInterface* GridCell::table() const { return tableOf(grid_); }

TEditorType GridCell::editor() const
{
    TEditorType kind = edNormal;
    if (grid_->IsEditable(col_, row_))
        grid_->GetCellEditor(real(), row_, kind);
    return kind;
}

bool GridCell::sortable() const
{
    return grid_->SortSettings->Show() && row_ == grid_->SortSettings->Row() &&
           (col_ >= grid_->FixedCols() || grid_->SortSettings->FixedCols());
}

QString GridCell::radioChoice() const
{
    const TCellStrings* items = grid_->GetRadioStrings(real(), row_);
    int index = -1;
    if (!items)
        return {};
    if (!grid_->GetRadioIdx(real(), row_, index) || index < 0)
        index = items->IndexOf(grid_->GetCellEx(real(), row_));
    return index >= 0 && index < items->Count() ? qtext(items->Lines[static_cast<std::size_t>(index)]) : QString();
}

QAccessible::Role GridCell::role() const
{
    if (!isValid())
        return QAccessible::NoRole;
    switch (part()) {
    case Part::ColumnHeader:
        return QAccessible::ColumnHeader;
    case Part::RowHeader:
        return QAccessible::RowHeader;
    case Part::Data:
        break;
    }
    switch (graphic()) {
    case ctCheckBox:
    case ctDataCheckBox:
        return QAccessible::CheckBox;
    case ctButton:
    case ctBitButton:
        return QAccessible::Button;
    case ctProgress:
        return QAccessible::ProgressBar;
    default:
        break;
    }
    switch (editor()) {
    case edComboEdit:
    case edComboList:
        return QAccessible::ComboBox;
    case edSpinEdit:
    case edFloatSpinEdit:
    case edTimeSpinEdit:
    case edDateSpinEdit:
        return QAccessible::SpinBox;
    case edCheckBox:
        return QAccessible::CheckBox;
    case edButton:
        return QAccessible::Button;
    default:
        return QAccessible::Cell;
    }
}

QString GridCell::text(QAccessible::Text T) const
{
    if (!isValid())
        return {};
    const QString shown = qtext(grid_->ShownText(col_, row_));
    const TCellType type = part() == Part::Data ? graphic() : ctEmpty;
    switch (T) {
    case QAccessible::Name:
        if (type == ctRadio)
            return radioChoice();
        if (type == ctButton || type == ctBitButton) {
            const auto* g = grid_->GetCellGraphic(real(), row_);
            const auto* caption = g ? dynamic_cast<const TCellStrings*>(g->CellObject) : nullptr;
            if (caption && caption->Count() > 0 && !caption->Lines.front().empty())
                return qtext(caption->Lines.front());
        }
        // A check box or button without a text of its own is named by its column.
        if (shown.isEmpty() && (type == ctCheckBox || type == ctDataCheckBox || type == ctButton || type == ctBitButton))
            return qtext(grid_->ColumnHeaderText(col_));
        return shown;
    case QAccessible::Value: {
        const QAccessible::Role r = role();
        return r == QAccessible::ProgressBar || r == QAccessible::ComboBox || r == QAccessible::SpinBox ? shown
                                                                                                       : QString();
    }
    case QAccessible::Description: {
        if (part() == Part::ColumnHeader && sortable() && grid_->RemapCol(col_) == grid_->SortSettings->Column() &&
            grid_->RowCount() > 2)
            return grid_->SortSettings->Direction() == sdAscending ? QStringLiteral("Sorted ascending")
                                                                   : QStringLiteral("Sorted descending");
        std::string comment;
        return grid_->IsComment(real(), row_, comment) ? qtext(comment) : QString();
    }
    default:
        return {};
    }
}

QRect GridCell::rect() const
{
    if (!isValid())
        return {};
    const QRect r = grid_->CellRect(col_, row_).ToQRect();
    return QRect(grid_->viewport()->mapToGlobal(r.topLeft()), r.size());
}

QAccessible::State GridCell::state() const
{
    QAccessible::State s;
    if (!isValid()) {
        s.invalid = true;
        return s;
    }
    if (!grid_->CellRect(col_, row_).ToQRect().intersects(grid_->viewport()->rect()))
        s.offscreen = true;
    if (part() != Part::Data)
        return s;
    s.selectable = true;
    s.selected = grid_->IsSelected(col_, row_);
    s.focusable = true;
    s.focused = grid_->hasFocus() && row_ == grid_->Row() && col_ == focusColumn(*grid_);
    s.editable = grid_->IsEditable(col_, row_);
    switch (graphic()) {
    case ctCheckBox:
    case ctDataCheckBox: {
        bool checked = false;
        grid_->GetCheckBoxState(real(), row_, checked);
        s.checkable = true;
        s.checked = checked;
        break;
    }
    case ctButton:
    case ctBitButton:
        if (const TCellGraphic* g = grid_->GetCellGraphic(real(), row_))
            s.pressed = g->CellBoolean;
        break;
    default:
        break;
    }
    return s;
}

QList<QAccessibleInterface*> GridCell::columnHeaderCells() const
{
    QList<QAccessibleInterface*> headers;
    if (GridTable* t = tableOf(grid_))
        for (int r = 0; r < grid_->HeaderRowsRead(); ++r)
            headers.append(t->cell(r, col_));
    return headers;
}

QList<QAccessibleInterface*> GridCell::rowHeaderCells() const
{
    QList<QAccessibleInterface*> headers;
    if (GridTable* t = tableOf(grid_))
        for (int c = 0; c < grid_->FixedCols(); ++c)
            if (grid_->ColumnShown(c))
                headers.append(t->cell(row_, c));
    return headers;
}

int GridCell::columnIndex() const
{
    if (!grid_)
        return -1;
    const TableShape s = shapeOf(*grid_);
    const int k = s.IndexOf(col_);
    return k < 0 ? -1 : k - s.HeaderCols;
}

int GridCell::columnExtent() const
{
    if (!isValid())
        return 1;
    const int span = grid_->CellSpan(col_, row_).x();
    int seen = 0;
    for (int c = col_; c <= col_ + span && c < grid_->ColCount(); ++c)
        seen += grid_->ColumnShown(c);
    return std::max(1, seen);
}

int GridCell::rowExtent() const { return isValid() ? grid_->CellSpan(col_, row_).y() + 1 : 1; }

QStringList GridCell::actionNames() const
{
    if (!isValid())
        return {};
    if (part() == Part::ColumnHeader)
        return sortable() ? QStringList{pressAction()} : QStringList{};
    if (part() != Part::Data)
        return {};
    switch (graphic()) {
    case ctCheckBox:
    case ctDataCheckBox:
        return {toggleAction()};
    case ctButton:
    case ctBitButton:
        return {pressAction()};
    default:
        return {};
    }
}

void GridCell::doAction(const QString& Name)
{
    if (!actionNames().contains(Name))
        return;
    if (part() == Part::ColumnHeader) {
        const platform::Rect r = grid_->GetCellRect(col_, row_);
        grid_->HeaderClickSort(col_, row_, row_, 0, (r.Left + r.Right) / 2);
    } else if (Name == toggleAction()) {
        grid_->ClickCheckBoxCell(col_, row_);
    } else {
        grid_->PressCellButton(col_, row_);
    }
}

QStringList GridCell::keyBindingsForAction(const QString& Name) const
{
    if (part() == Part::Data && actionNames().contains(Name))
        return {QStringLiteral("Space")};
    return {};
}

QAccessibleInterface* gridFactory(const QString& Key, QObject* Object)
{
    // Asked once per class from the object's own class upwards: answer the first time only.
    if (!Object || Key != QLatin1String(Object->metaObject()->className()))
        return nullptr;
    if (auto* g = qobject_cast<RIvuZuvuzoZuvu*>(Object))
        return new GridTable(g);
    return SpinEditAccessible(Object);
}

}  // namespace

// ---------------------------------------------------------------- the grid's side

void RIvuZuvuzoZuvu::SelectionMoved() { selectionChanged(); }

void RIvuZuvuzoZuvu::RowTextChanged(int row) { NoteAccessibleChange(*this, TAccessibleChange::Text, row); }

void RIvuZuvuzoZuvu::nameEditorControl(QWidget* Control, int ACol)
{
    const auto* button = qobject_cast<QAbstractButton*>(Control);
    Control->setAccessibleName(button && !button->text().isEmpty() ? QString()
                                                                    : QString::fromStdString(ColumnHeaderText(ACol)));
}

void NoteAccessibleChange(RIvuZuvuzoZuvu& Grid, TAccessibleChange Change, int Row)
{
    if (!platform::AccessibilityListening() || !Grid.isVisible()) {
        Grid.AccessibleOutOfDate = true;
        return;
    }
    if (GridTable* t = tableOf(&Grid))
        t->note(Change, Row);
}

void AnnounceAccessibleChanges(RIvuZuvuzoZuvu& Grid)
{
    if (!platform::AccessibilityListening() || !Grid.isVisible()) {
        Grid.AccessibleOutOfDate = true;
        return;
    }
    if (GridTable* t = tableOf(&Grid))
        t->announce();
}

void RestartAccessibleTracking(RIvuZuvuzoZuvu& Grid)
{
    if (!platform::AccessibilityListening())
        return;
    if (GridTable* t = tableOf(&Grid))
        t->rebase();
}

void InstallGridAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(gridFactory);
        return true;
    }();
    (void)installed;
}

}  // namespace grid
