#include "documents/reportform.h"

#include "appcore/amounts.h"
#include "appcore/dialogs.h"
#include "appcore/schema.h"
#include "documents/chequeregister.h"
#include "documents/printpreviewform.h"
#include "grid/inputteller.h"
#include "grid/listgrid.h"
#include "grid/vurirod.h"
#include "platform/accessibility.h"
#include "platform/screen.h"
#include "platform/screenroom.h"
#include "printing/pvpreview.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <map>
#include <string>

namespace {

constexpr int kColumns = 7;
const char* const kHeaders[kColumns] = {"Date", "Setting", "Cheque No", "Pay", "Description", "Amount", ""};
const int kWidths[kColumns] = {60, 80, 80, 180, 200, 80, 0};

std::string text(const char* s) { return s ? s : ""; }

// The program's short date, the one the grid's date cells show: the
// system's short format with a four-digit year.
QString shortDateFormat() { return QString::fromStdString(grid::ShortDateFormatText()); }
QString shortDate(const QDate& d) { return d.toString(shortDateFormat()); }

// The date column is never narrower than its table width and widens to the
// longest date of the rows, with the room the grid keeps beside a cell's text
// and its line, so that the date shows whole on the screen and on paper.
void widenDateColumn(grid::RIvuZuvuzoZuvu& grid)
{
    constexpr int kRoomBesideText = 8;
    const QFontMetrics metrics(grid.Font().ToQFont(platform::ScreenPixelsPerInch()));
    int width = grid.WidthAtFont(kWidths[0]);
    for (int r = 1; r < grid.RowCount(); ++r)
        width = std::max(width, metrics.horizontalAdvance(QString::fromStdString(grid.Cells(0, r))) + kRoomBesideText);
    grid.SetColWidths(0, width);
}

// A date box as wide as the widest date its format writes in its font and
// locale (the box's own measure takes only the first and last dates of its
// range, which may be narrower than "15 Nov 2026").
class WholeDateBox : public QDateEdit {
public:
    using QDateEdit::QDateEdit;
    QSize sizeHint() const override
    {
        ensurePolished();
        QStyleOptionSpinBox option;
        initStyleOption(&option);
        const QFontMetrics metrics = fontMetrics();
        // a blank after the text and room for the text cursor, as the box keeps
        const QSize text(widestDate(metrics) + metrics.horizontalAdvance(' ') + 2, lineEdit()->sizeHint().height());
        return style()->sizeFromContents(QStyle::CT_SpinBox, &option, text, this);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    // Every year of the range, then every day and month in the widest year.
    int widestDate(const QFontMetrics& metrics) const
    {
        const auto width = [&](const QDate& d) {
            return metrics.horizontalAdvance(locale().toString(d, displayFormat()));
        };
        int year = minimumDate().year(), widest = 0;
        for (int y = year; y <= maximumDate().year(); ++y)
            if (const int w = width(QDate(y, 1, 1)); w > widest) widest = w, year = y;
        for (QDate d(year, 1, 1); d.year() == year; d = d.addDays(1)) widest = std::max(widest, width(d));
        return widest;
    }
};

// The list's columns, headers and widths. The date is a column like the
// others (no row header), and a list with no cheque is its headers alone.
void layOutColumns(grid::RIvuZuvuzoZuvu& grid)
{
    grid.SetColCount(kColumns);
    grid.SetFixedCols(0);
    // Widths are kept for the standard font and grow with a larger one; an
    // amount that still does not fit ends with an ellipsis, never cut short.
    grid.ColumnsFollowFont = true;
    grid.EnhTextSize = true;
    for (int c = 0; c < kColumns; ++c) {
        grid.SetCells(c, 0, kHeaders[c]);
        grid.SetColWidths(c, grid.WidthAtFont(kWidths[c]));
    }
}

}  // namespace

TReportForm::TReportForm(QWidget* owner) : QDialog(owner)
{
    setWindowTitle("Cheque Report");
    auto picker = [this] {
        auto* p = new WholeDateBox(this);
        p->setDisplayFormat(shortDateFormat());
        p->setCalendarPopup(true);
        p->setDateRange(kFirstRegisterDate, kLastRegisterDate);
        return p;
    };
    fromDate = picker();
    toDate = picker();
    setting = new QComboBox(this);
    setting->setMinimumWidth(160);
    grid = new grid::RIvuZuvuzoZuvu(this);
    grid->setAccessibleName("Cheque list");
    grid->ReaderHeaderRows = 1;  // an empty list is read as its headers and no cheque
    grid->SetOptions(grid->Options() | platform::goRowSelect | platform::goRangeSelect | platform::goColSizing);
    grid->MouseActions->DisjunctRowSelect = true;
    grid->EnableHTML = false;  // payees and descriptions show as typed
    grid->SetGridLineColor(platform::clSilver);
    layOutColumns(*grid);
    grid->SetRowCount(1);
    grid->viewport()->installEventFilter(this);
    count = new QLabel(this);
    amount = new QLabel(this);
    gridMouseUp();  // the totals of no row, as after a query that finds none

    auto* top = new QHBoxLayout;
    using platform::NewLabelFor;
    for (QWidget* w : std::initializer_list<QWidget*>{NewLabelFor("Date From:", fromDate), fromDate,
                                                      NewLabelFor("To:", toDate), toDate,
                                                      NewLabelFor("Setting:", setting), setting})
        top->addWidget(w);
    top->addStretch(1);
    auto* totals = new platform::ButtonRows(nullptr, platform::ButtonRows::Natural, Qt::AlignLeft);
    totals->addWidget(count);
    totals->addWidget(amount);
    auto* buttons = new platform::ButtonRows;
    auto make = [&](const QString& caption, const QKeySequence& key, void (TReportForm::*handler)()) {
        auto* action = new QAction(caption, this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
        auto* b = new QPushButton(caption, this);
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::TabFocus);  // a click leaves the focus in the list
        connect(b, &QPushButton::clicked, action, &QAction::trigger);
        connect(action, &QAction::enabledChanged, b, &QPushButton::setEnabled);
        buttons->addWidget(b);
        return action;
    };
    queryAction = make("&Query F8", Qt::Key_F8, &TReportForm::queryActionExecute);
    deleteAction = make("&Delete F9", Qt::Key_F9, &TReportForm::deleteActionExecute);
    printAction = make("&Print F11", Qt::Key_F11, &TReportForm::printActionExecute);
    exitAction = make("&Close F12", Qt::Key_F12, &TReportForm::exitActionExecute);
    // Escape closes from any control, the list included, which keeps its keys
    exitAction->setShortcuts({QKeySequence(Qt::Key_F12), QKeySequence(Qt::Key_Escape)});
    helpAction = make("&Help F1", Qt::Key_F1, &TReportForm::helpActionExecute);
    // the totals and the buttons stay in view; the dates scroll with the list
    QWidget* body = nullptr;
    QBoxLayout* outer = platform::ScrollingBody(this, body);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(grid, 1);
    outer->addLayout(totals);
    outer->addLayout(buttons);
    platform::OpenWithinScreen(this, QSize(800, 520));

    // nothing to print or delete before a query has found something
    deleteAction->setEnabled(false);
    printAction->setEnabled(false);

    const QDateTime now = QDateTime::currentDateTime();
    toDate->setDate(now.date());
    fromDate->setDate(now.date().addDays(-31));
    setting->addItem("All", 0u);
    dbCursor<ChequeSetup> layouts;
    if (layouts.select() > 0) {
        do
            setting->addItem(QString::fromUtf8(text(layouts->name).c_str()), layouts.currentId().getOid());
        while (layouts.next());
    }
    database.commit();
    setting->setCurrentIndex(0);

    // the totals follow the selection however it is made: keys, mouse or a query
    grid->OnSelectionChange = [this](grid::RIvuZuvuzoZuvu*) {
        if (grid->RowCount() > 1) gridMouseUp();  // an empty list keeps what the query said
    };
    grid::TellStateAfterInput(*grid, [this] { return totalsSaid(); });
}

TReportForm::~TReportForm() = default;

void TReportForm::noRecords(bool say)
{
    if (say) ShowInfo("No record.", this);
    gridMouseUp();  // the grid is cut to its header row
    printAction->setEnabled(false);
    deleteAction->setEnabled(false);
}

void TReportForm::queryActionExecute()
{
    grid->ClearRowSelect();
    grid->SetRowCount(1);
    const auto range = DayRange(fromDate->date(), toDate->date());
    if (!range) {
        noRecords(true);
        return;
    }
    const std::int32_t from = range->from, to = range->to;
    const oid_t layout = setting->currentIndex() > 0 ? setting->currentData().toUInt() : 0;
    dbQuery query;
    query.append(dbQueryElement::Text, "transDate.stamp between");
    query.bind(from);
    query.append(dbQueryElement::Text, "and");
    query.bind(to);
    if (layout != 0) {
        query.append(dbQueryElement::Text, " and setup=");
        query.bindReference(layout, &ChequeSetup::dbDescriptor);
    }
    query.append(dbQueryElement::Text, " order by transDate.stamp desc");

    // layout names by object id, from the records themselves: a cheque's
    // reference is never followed
    std::map<oid_t, std::string> names;
    dbCursor<ChequeSetup> layouts;
    if (layouts.select() > 0) {
        do
            names[layouts.currentId().getOid()] = text(layouts->name);
        while (layouts.next());
    }
    dbCursor<Cheque> cheques;
    const std::size_t n = cheques.select(query);
    if (n == 0) {
        database.commit();
        noRecords(true);
        return;
    }
    grid->BeginUpdate();
    layOutColumns(*grid);
    grid->SetRowCount(int(n) + 1);
    int row = 1;
    do {
        const Cheque& q = *cheques.get();
        const auto name = names.find(q.setup.getOid());
        const QDate day = QDateTime::fromSecsSinceEpoch(q.transDate.stamp).date();
        const std::string cells[kColumns] = {shortDate(day).toStdString(),
                                             name == names.end() || q.setup.isNull() ? "" : name->second,
                                             text(q.chequeNo),
                                             text(q.customerName),
                                             text(q.description),
                                             FormatAmount(FormatMoney(q.amount)),
                                             std::to_string(cheques.currentId().getOid())};
        for (int c = 0; c < kColumns; ++c) grid->SetCells(c, row, cells[c]);
        ++row;
    } while (cheques.next());
    database.commit();
    grid->SetFixedRows(1);
    widenDateColumn(*grid);
    grid->EndUpdate();
    printAction->setEnabled(true);
    deleteAction->setEnabled(true);
    gridMouseUp();
    platform::Announce(QString("%1 cheque%2 found. ").arg(n).arg(n == 1 ? "" : "s") + totalsSaid(), this);
}

TReportForm::Totals TReportForm::selectedTotals() const
{
    double sum = 0;
    const QList<int> rows = selectedRows();
    for (const int r : rows) {
        double v = 0;
        if (ParseDecimal(NormalizeAmount(grid->Cells(5, r)), v)) sum += v;
    }
    return {"Selected Total: " + QString::number(rows.size()),
            "Selected Amount: " + QString::fromStdString(FormatAmount(FormatMoney(sum)))};
}

QString TReportForm::totalsSaid() const
{
    const Totals totals = selectedTotals();
    return totals.count + ". " + totals.amount + ".";
}

void TReportForm::gridMouseUp()
{
    const Totals totals = selectedTotals();
    count->setText(totals.count);
    amount->setText(totals.amount);
}

void TReportForm::gridMouseDown(Qt::MouseButton button, int x, int y)
{
    int col = -1, row = -1;
    grid->MouseToCell(x, y, col, row);
    if (button != Qt::RightButton || row < 1 || row >= grid->RowCount()) return;
    grid->ClearRowSelect();
    grid->SetRowSelect(row, true);
    grid->Invalidate();
}

bool TReportForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == grid->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* m = static_cast<QMouseEvent*>(event);
        // the grid handles the press first (selection), then the window looks
        QMetaObject::invokeMethod(
            this, [this, b = m->button(), p = m->position().toPoint()] { gridMouseDown(b, p.x(), p.y()); },
            Qt::QueuedConnection);
    }
    return QDialog::eventFilter(watched, event);
}

QList<int> TReportForm::selectedRows() const
{
    QList<int> rows;
    for (int r = 1; r < grid->RowCount(); ++r)
        if (grid->GetRowSelect(r)) rows.append(r);
    return rows;
}

QString TReportForm::deleteQuestion(const QList<int>& rows) const
{
    QString question = "Delete " + QString::number(rows.size()) + " records";
    if (rows.size() == 1) {
        // the one record named by what the list shows of it
        QStringList shown;
        for (const int c : {2, 3, 5, 0})
            if (const std::string& cell = grid->Cells(c, rows.front()); !cell.empty())
                shown << QString::fromUtf8(kHeaders[c]) + " " + QString::fromStdString(cell);
        question += " (" + shown.join(", ") + ")";
    }
    return question + "?";
}

void TReportForm::deleteActionExecute()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {  // nothing to ask about
        ShowInfo("No record is selected.", this);
        return;
    }
    if (!AskYesNo(deleteQuestion(rows), this)) return;
    bool stored = true;
    dbCursor<Cheque> cheques(dbCursorForUpdate);
    for (const int r : rows) {
        const std::string& cell = grid->Cells(6, r);
        oid_t oid = 0;
        auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), oid);
        if (ec == std::errc() && end == cell.data() + cell.size() && oid != 0 &&
            cheques.at(dbReference<Cheque>(oid)))
            cheques.remove();
        grid->SetRowSelect(r, false);
    }
    if (!database.commit()) {
        database.rollback();
        stored = false;
    }
    if (!stored) ShowInfo(kNotStored, this);
    queryActionExecute();
}

void TReportForm::printActionExecute()
{
    TPrintPreviewForm form(this);
    form.drawHeader("Cheque Report",
                    "Date From: " + shortDate(fromDate->date()) + " to " + shortDate(toDate->date()));
    form.grid = grid;
    form.PvGridPrint1.GridToPage(50, 120, 0, PvPixels, grid);
    RunModal(form);
}

void TReportForm::exitActionExecute() { done(2); }

void TReportForm::helpActionExecute()
{
    OpenHelp("report.htm", this);
}
