#include "app/customeractions.h"

#include "appcore/amounts.h"
#include "appcore/dialogs.h"
#include "app/editor.h"
#include "app/mainlist.h"
#include "grid/listgrid.h"
#include "platform/accessibility.h"
#include "platform/longwork.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QStatusBar>

#include <algorithm>
#include <charconv>
#include <climits>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

CheckFault checkFault;

std::string stored(const char* s) { return s ? s : ""; }

enum class Check { Clear, Taken, Failed };

Check runCheck(const char* name, dbQuery& query)
{
    if (checkFault && checkFault(name))
        return Check::Failed;
    dbCursor<Customer> customers;
    const std::size_t found = customers.select(query);
    if (customers.selectFailed())
        return Check::Failed;
    return found > 0 ? Check::Taken : Check::Clear;
}

Check idTaken(int4 id)
{
    dbQuery query;
    query.append(dbQueryElement::Text, "id=");
    query.bind(id);
    return runCheck("id", query);
}

// `field` is "email=" or "name="; the value is bound, never pasted in.
Check textTaken(const char* name, const char* field, const std::string& value)
{
    dbQuery query;
    query.append(dbQueryElement::Text, field);
    query.append(dbQueryElement::ParamString, value.c_str());
    return runCheck(name, query);
}

// Rolls back what the transaction holds and says why the save was refused.
void refuse(const QString& message, TMainListForm& window)
{
    database.rollback();
    ShowInfo(message, &window);
}

// The e-mail check shared by insert and update: false when the save is
// refused (the message has been shown).
bool emailAccepted(const QString& email, const char* takenMessage, TMainListForm& window)
{
    if (!email.contains('@')) {
        refuse("Wrong 'Email' address.", window);
        return false;
    }
    switch (textTaken("email", "email=", email.toStdString())) {
    case Check::Failed:
        refuse(kCheckFailed, window);
        return false;
    case Check::Taken:
        refuse(takenMessage, window);
        return false;
    case Check::Clear:
        break;
    }
    return true;
}

// The same-name question shared by insert and update: false when the save
// is refused (the user said No, or the check could not be made).
bool nameAccepted(const QString& name, const char* question, TMainListForm& window)
{
    switch (textTaken("name", "name=", name.toStdString())) {
    case Check::Failed:
        refuse(kCheckFailed, window);
        return false;
    case Check::Taken:
        return AskYesNo(question, &window);
    case Check::Clear:
        break;
    }
    return true;
}

void storeCard(Customer& record, const QByteArray& bytes)
{
    record.card.setData(reinterpret_cast<const int1*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
}

// The progress of a deletion, shown in the main window's status bar while
// it runs: a step for each cheque looked at (the contacts' cheques are
// looked for among all of them) and for each contact removed.
class DeletionProgress {
public:
    DeletionProgress(TMainListForm& window, std::size_t contacts)
        : bar_(new QProgressBar(window.StatusBar1)), contacts_(contacts)
    {
        bar_->setAccessibleName(QString("Deleting %1 customers").arg(contacts));
        bar_->setFormat(QString("Deleting %1 customers: %p%").arg(contacts));
        bar_->setRange(0, 0);
        window.StatusBar1->addPermanentWidget(bar_);
        bar_->show();
    }
    ~DeletionProgress() { delete bar_; }
    DeletionProgress(const DeletionProgress&) = delete;
    DeletionProgress& operator=(const DeletionProgress&) = delete;

    // The steps once the cheques to look at are known.
    void SetCheques(std::size_t cheques)
    {
        bar_->setRange(0, static_cast<int>(std::min<std::size_t>(cheques + contacts_, INT_MAX)));
    }
    // One step more. At the first and then every 30 ms the bar moves and
    // the windows are painted (the bar paints itself as it moves: more often
    // would cost more than the steps).
    void Step(platform::LongWork& busy)
    {
        ++done_;
        if (sinceShown_.isValid() && sinceShown_.elapsed() < 30)
            return;
        bar_->setValue(static_cast<int>(std::min<std::size_t>(done_, static_cast<std::size_t>(bar_->maximum()))));
        busy.Pump();
        sinceShown_.start();
    }

private:
    QPointer<QProgressBar> bar_;
    std::size_t contacts_;
    std::size_t done_ = 0;
    QElapsedTimer sinceShown_;
};

// Removes the contacts and every cheque issued to them, in the thread's
// transaction (the caller commits or rolls back). The cheques are found in
// one walk over all of them: a query per contact would read every cheque
// once for each contact. False when the cheques could not be read, so that
// some would be left behind.
bool removeContactsAndCheques(const std::vector<oid_t>& contacts, platform::LongWork& busy,
                              DeletionProgress& progress)
{
    const std::unordered_set<oid_t> doomed(contacts.begin(), contacts.end());
    std::vector<oid_t> issued;
    dbCursor<Cheque> cheques(dbCursorForUpdate);
    const std::size_t all = cheques.select();
    if (cheques.selectFailed())
        return false;
    progress.SetCheques(all);
    if (all > 0) {
        do {
            if (doomed.count(cheques->customer.getOid()) != 0)
                issued.push_back(cheques.currentId().getOid());
            progress.Step(busy);
        } while (cheques.next());
    }
    for (const oid_t cheque : issued) {
        if (cheques.at(dbReference<Cheque>(cheque)))
            cheques.remove();
        busy.Pump();
    }
    dbCursor<Customer> customers(dbCursorForUpdate);
    for (const oid_t contact : contacts) {
        if (customers.at(dbReference<Customer>(contact)))
            customers.remove();
        progress.Step(busy);
    }
    return true;
}

} // namespace

CheckFault SetCheckFault(CheckFault fault)
{
    CheckFault previous = std::move(checkFault);
    checkFault = std::move(fault);
    return previous;
}

void ShowCustomerRow(grid::RIvuZuvuzoZuvu& grid, int row, oid_t oid, const Customer& c)
{
    CustomerRows(grid).show(row, oid, c);
}

void CustomerRows::show(int row, oid_t oid, const Customer& c)
{
    auto text = [](const char* s) { return std::string_view(s ? s : ""); };
    auto decimal = [](char (&buffer)[16], auto value) {
        return std::string_view(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
    };
    address_.assign(text(c.address1)).append(" ").append(text(c.address2)).append(" ").append(text(c.address3));
    amount_ = FormatMoney(c.amount);
    const std::string_view cells[] = {decimal(oid_, oid),      decimal(id_, c.id),  text(c.name),
                                      text(c.person),          text(c.telephone),   text(c.mobile),
                                      text(c.fax),             text(c.email),       text(c.website),
                                      address_,                text(c.remark),      amount_,
                                      categoryName(c.category)};
    grid_.SetRowCells(row, 0, cells);
}

std::string_view CustomerRows::categoryName(const dbReference<Category>& category)
{
    if (category.isNull())
        return {};
    auto [known, added] = categories_.try_emplace(category.getOid());
    if (added) {
        dbCursor<Category> categories;
        if (categories.at(category))
            known->second = stored(categories->name);
    }
    return known->second;
}

void RebuildCategoryFilter(TMainListForm& window, int editorIndex)
{
    const bool shown = window.category->count() > 0;
    const QString before = window.category->currentText();
    window.category->clear();
    window.category->addItem("All");
    for (const CategoryEntry& entry : CategoriesByName())
        window.category->addItem(entry.name);
    window.category->setCurrentIndex(editorIndex + 1);
    if (shown && window.category->currentText() != before)
        platform::Announce("Category filter changed to " + window.category->currentText() + ".", &window);
}

void insertActionExecute(TMainListForm& window)
{
    TMainForm editor(&window);
    const int filter = window.category->currentIndex();
    if (filter > 0 && filter - 1 < editor.category->count())
        editor.category->setCurrentIndex(filter - 1);

    {
        dbCursor<Customer> highest;
        dbQuery byIdDown("order by id desc");
        const qint64 next = highest.select(byIdDown) > 0 ? qint64(highest->id) + 1 : 1;
        editor.cID->setText(QString::number(next));  // past the largest ID Save says "Invalid value."
    }

    while (RunModal(editor) == 1) {
        int4 id = 0;
        ReadIdText(editor.cID->text(), id);
        const Check idCheck = idTaken(id);
        if (idCheck != Check::Clear) {
            refuse(idCheck == Check::Failed ? kCheckFailed : "'ID' has already existed.", window);
            continue;
        }
        const QString email = editor.cEmail->text();
        if (!email.trimmed().isEmpty() && !emailAccepted(email, "The email has already existed.", window))
            continue;
        Customer record;
        editor.readCustomer(record);
        const QString name = editor.cName->text();
        if (!name.trimmed().isEmpty() && !nameAccepted(name, "The 'Name' is exist, continue to add?", window))
            continue;
        storeCard(record, editor.cardBytes());
        record.envelopeSetup = {};
        record.chequeSetup = {};
        record.receiptSetup = {};
        if (insert(record).isNull()) {
            refuse(kNotStored, window);
            continue;
        }
        break;
    }
    if (editor.categoriesChanged)
        RebuildCategoryFilter(window, editor.category->currentIndex());
    if (!database.commit())
        ShowInfo(kNotStored, &window);
    window.RefreshGrid();
}

void updateActionExecute(TMainListForm& window)
{
    const int row = window.FirstSelectedRow();
    if (row == 0) {
        ShowInfo("Please use the mouse to select the customer first.", &window);
        return;
    }
    const dbReference<Customer> ref(window.RowOid(row));
    dbCursor<Customer> customer(dbCursorForUpdate);
    TMainForm editor(&window);
    if (!customer.at(ref)) {
        database.rollback();
        window.RefreshGrid();  // the row no longer names a contact
        return;
    }
    editor.showCustomer(*customer);
    database.commit();

    while (RunModal(editor) == 1) {
        if (!customer.at(ref)) {
            refuse(kNotStored, window);
            break;
        }
        const int4 oldId = customer->id;
        const std::string oldEmail = stored(customer->email);
        const std::string oldName = stored(customer->name);

        int4 id = 0;
        ReadIdText(editor.cID->text(), id);
        if (id != oldId) {
            const Check idCheck = idTaken(id);
            if (idCheck != Check::Clear) {
                refuse(idCheck == Check::Failed ? kCheckFailed : "'ID' has already existed.", window);
                continue;
            }
        }
        const QString email = editor.cEmail->text();
        if (!email.trimmed().isEmpty() && email.toStdString() != oldEmail &&
            !emailAccepted(email, "The 'Email' address has already existed", window))
            continue;
        const QString name = editor.cName->text();
        if (!name.trimmed().isEmpty() && name.toStdString() != oldName &&
            !nameAccepted(name, "There is a same 'Name' in the database, continue?", window))
            continue;

        editor.readCustomer(*customer);
        storeCard(*customer, editor.cardBytes());
        if (!customer.update()) {
            refuse(kNotStored, window);
            continue;
        }
        ShowCustomerRow(*window.grid, row, ref.getOid(), *customer);
        if (!database.commit()) {
            ShowInfo(kNotStored, &window);
            window.RefreshGrid();
        }
        break;
    }
    if (editor.categoriesChanged)
        RebuildCategoryFilter(window, editor.category->currentIndex());
}

void deleteActionExecute(TMainListForm& window)
{
    grid::RIvuZuvuzoZuvu& grid = *window.grid;
    const int count = grid.GetRowSelectCount();
    if (grid.RowCount() < 2 || count < 1)
        return;
    if (!AskYesNo(QString("Delete %1 customers?").arg(count), &window))
        return;

    std::vector<oid_t> chosen;
    chosen.reserve(static_cast<std::size_t>(count));
    for (int r = 1; r < grid.RowCount(); ++r)
        if (const oid_t oid = grid.GetRowSelect(r) ? window.RowOid(r) : 0; oid != 0)
            chosen.push_back(oid);
    grid.ClearRowSelect();
    bool stored = false;
    {
        platform::LongWork busy;
        DeletionProgress progress(window, chosen.size());
        stored = removeContactsAndCheques(chosen, busy, progress) && database.commit();
    }
    if (!stored) {
        database.rollback();
        ShowInfo(kNotStored, &window);
    }
    window.RefreshGrid();
}
