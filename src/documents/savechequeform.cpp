#include "documents/savechequeform.h"

#include "appcore/amounts.h"
#include "appcore/dialogs.h"
#include "appcore/schema.h"
#include "documents/chequeform.h"
#include "documents/chequeregister.h"
#include "grid/vurirod.h"
#include "platform/accessibility.h"

#include <QAction>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TSaveChequeForm::TSaveChequeForm(QWidget* owner) : QDialog(owner)
{
    setWindowTitle("Save Cheque");
    auto* form = new QFormLayout;
    auto line = [&](const char* label, bool readOnly) {
        auto* e = new QLineEdit(this);
        e->setReadOnly(readOnly);
        e->setMinimumWidth(260);
        form->addRow(label, e);
        platform::TieLabel(static_cast<QLabel*>(form->labelForField(e)), e);
        return e;
    };
    name = line("Pay:", true);
    amount = line("Amount:", true);
    setup = line("Setting:", true);
    chequeNo = line("Cheque No:", false);
    description = line("Description:", false);
    transDate = new QDateTimeEdit(this);
    transDate->setDisplayFormat(QString::fromStdString(grid::ShortDateFormatText()));
    transDate->setCalendarPopup(true);
    transDate->setDateRange(kFirstRegisterDate, kLastRegisterDate);
    form->addRow("Date:", transDate);
    platform::TieLabel(static_cast<QLabel*>(form->labelForField(transDate)), transDate);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto make = [&](const QString& caption, Qt::Key key, int result) {
        auto* action = new QAction(caption, this);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, [this, result] { done(result); });
        addAction(action);
        auto* b = new QPushButton(caption, this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, action, &QAction::trigger);
        buttons->addWidget(b);
        return action;
    };
    savelAction = make("&Save F10", Qt::Key_F10, 1);
    exitAction = make("&Cancel F12", Qt::Key_F12, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

// Recording the cheque the window shows; defined here, beside its dialog.
void TChequeForm::saveChequeActionExecute()
{
    TSaveChequeForm form(this);
    form.name->setText(name->text());
    form.amount->setText(amount->text());
    form.setup->setText(category->currentText());
    form.transDate->setDateTime(QDateTime::currentDateTime());

    // The check that the number is unused and the insert run under one write
    // transaction, so that no other process records the same number between
    // them; every refusal ends it before its message.
    while (RunModal(form) == 1) {
        const QString typed = form.chequeNo->text();
        const std::string number = typed.trimmed().toStdString();
        // the amount and the date are read before anything is written
        double value = 0;
        ParseDecimal(NormalizeAmount(amount->text().toStdString()), value);
        const auto stamp =
            LocalStamp(form.transDate->dateTime().date(), form.transDate->dateTime().time());
        if (!stamp) {
            ShowInfo("The date cannot be stored.", this);
            continue;
        }
        if (!database.beginTransaction(dbDatabase::dbExclusiveLock)) {
            ShowInfo(kNotStored, this);
            return;
        }
        if (!number.empty()) {
            dbQuery query;
            const char* bound = number.c_str();
            query.append(dbQueryElement::Text, "chequeNo=");
            query.bind(bound);
            dbCursor<Cheque> cheques;
            const std::size_t found = cheques.select(query);
            if (cheques.selectFailed() || found > 0) {
                database.rollback();
                ShowInfo(found > 0 ? "Cheque No. '" + typed + "' has already existed." : QString(kCheckFailed), this);
                continue;
            }
        }
        const std::string payee = form.name->text().toStdString();
        const std::string about = form.description->text().toStdString();
        Cheque record;
        record.transDate = dbDateTime(*stamp);
        record.customer = dbReference<Customer>(contact);
        record.customerName = payee.c_str();
        record.chequeNo = number.c_str();
        record.description = about.c_str();
        record.amount = value;

        dbCursor<ChequeSetup> layouts(dbCursorForUpdate);  // finds only a live layout
        if (SelectedSetting().isNull() || !layouts.at(SelectedSetting())) {
            database.rollback();
            ShowInfo("Please set a cheque setting first.", this);
            return;
        }
        record.setup = SelectedSetting();
        if (insert(record).isNull() || !database.commit()) {
            database.rollback();
            ShowInfo(kNotStored, this);
            return;
        }
        ShowInfo("The cheque record has been saved successfully.", this);
        return;
    }
}
