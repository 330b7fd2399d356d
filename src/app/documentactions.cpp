#include "app/documentactions.h"

#include "app/mainlist.h"
#include "appcore/amounts.h"
#include "appcore/dialogs.h"
#include "appcore/picture.h"
#include "appcore/schema.h"
#include "documents/cardform.h"
#include "documents/chequeform.h"
#include "documents/emailform.h"
#include "documents/envelopeform.h"
#include "documents/printpreviewform.h"
#include "documents/reportform.h"
#include "grid/listgrid.h"
#include "platform/busycursor.h"
#include "platform/dialogs.h"
#include "platform/printer.h"
#include "printing/pvpreview.h"

#include <QLineEdit>

#include <exception>
#include <vector>

namespace {

// Fills the cheque window from a contact: payee, contact, stored amount and
// its layout. False when the row names no contact any more.
bool fillCheque(TChequeForm& form, oid_t oid)
{
    dbReference<ChequeSetup> layout;
    if (!form.fillContact(oid, layout)) {
        database.rollback();
        return false;
    }
    form.loadSettingList(layout);
    database.commit();  // ends the reads
    return true;
}

// Fills the envelope window's address texts from a contact and shows the
// layout a single envelope for it opens on. False when the row names no
// contact any more.
bool fillEnvelope(TEnvelopeForm& form, oid_t oid)
{
    dbCursor<Customer> customer;
    if (!customer.at(dbReference<Customer>(oid))) {
        database.rollback();
        return false;
    }
    auto text = [](const char* s) { return QString::fromUtf8(s ? s : ""); };
    form.companyName->setText(text(customer->name));
    form.address1->setText(text(customer->address1));
    form.address2->setText(text(customer->address2));
    form.address3->setText(text(customer->address3));
    form.attention->setText(text(customer->person));
    const dbReference<EnvelopeSetup> layout = customer->envelopeSetup;
    database.commit();
    form.loadSettingList(layout);
    return true;
}

void showFailure(const std::exception& e, TMainListForm& window)
{
    database.rollback();
    platform::ShowError(QString::fromUtf8(e.what()), &window);
}

}  // namespace

void chequeActionExecute(TMainListForm& window)
{
    if (window.grid->GetRowSelectCount() < 1) {
        ShowInfo("Please use the mouse to select the customer first.", &window);
        return;
    }
    const int first = window.FirstSelectedRow();
    std::vector<int> rows;
    for (int r = first; r < window.grid->RowCount(); ++r)
        if (window.grid->GetRowSelect(r)) rows.push_back(r);

    if (rows.size() == 1) {
        const oid_t oid = window.RowOid(first);
        TChequeForm form(&window);
        try {
            if (!fillCheque(form, oid)) {
                window.RefreshGrid();
                return;
            }
        } catch (const std::exception& e) {
            showFailure(e, window);  // the window still opens: the amount can be put right there
        }
        RunModal(form);
        dbCursor<Customer> customer;
        if (customer.at(dbReference<Customer>(oid)))
            window.grid->SetCells(11, first, FormatMoney(customer->amount));
        database.commit();
        return;
    }

    if (!AskYesNo("Print " + QString::number(rows.size()) + " cheques in batch automatically?", &window)) return;
    platform::BusyCursor busy;
    TChequeForm form(&window);
    std::vector<oid_t> contacts;
    for (int row : rows) contacts.push_back(window.RowOid(row));
    try {
        form.printBatch(contacts);
    } catch (const std::exception& e) {
        showFailure(e, window);
    }
}

void emailActionExecute(TMainListForm& window)
{
    grid::RIvuZuvuzoZuvu& grid = *window.grid;
    const int selected = grid.GetRowSelectCount();
    if (selected < 1) {
        ShowInfo("Please use the mouse to select the customer first.", &window);
        return;
    }
    if (selected == 1) {
        const int row = window.FirstSelectedRow();
        const QString person = QString::fromUtf8(grid.Cells(3, row).c_str());
        const QString email = QString::fromUtf8(grid.Cells(7, row).c_str());
        if (!email.contains('@')) {
            ShowInfo("Invalid 'Email' address.", &window);
            return;
        }
        TEmailForm form(&window);
        form.mailTo->setText(person + " <" + email + ">");
        form.attention->setText(person);
        RunModal(form);
        return;
    }
    TEmailForm form(&window);
    form.mainGrid = &grid;
    form.mailTo->setText("To " + QString::number(selected) + " customers");
    form.attention->setText("Contact");
    form.mailTo->setEnabled(false);
    form.attention->setEnabled(false);
    RunModal(form);
}

void reportActionExecute(TMainListForm& window)
{
    TReportForm form(&window);
    RunModal(form);
}

void printListExecute(TMainListForm& window)
{
    grid::RIvuZuvuzoZuvu* grid = window.grid;
    TPrintPreviewForm form(&window);
    int widths = 0;
    for (int c = 0; c < grid->ColCount(); ++c) widths += grid->ColWidths(c);
    if (widths > 680) form.PvPreview1->SetOrientation(gmLandscape);
    form.drawHeader("Customer List Report", "");  // centred on the page as it will print
    form.grid = grid;
    form.PvGridPrint1.GridToPage(50, 100, 0, PvPixels, grid);
    RunModal(form);
}

void envelopeActionExecute(TMainListForm& window)
{
    if (window.grid->GetRowSelectCount() < 1) {
        ShowInfo("Please use the mouse to select the customer first.", &window);
        return;
    }
    std::vector<int> rows;
    for (int r = window.FirstSelectedRow(); r > 0 && r < window.grid->RowCount(); ++r)
        if (window.grid->GetRowSelect(r)) rows.push_back(r);

    if (rows.size() == 1) {
        const oid_t oid = window.RowOid(rows.front());
        TEnvelopeForm form(&window);
        if (!fillEnvelope(form, oid)) {
            window.RefreshGrid();
            return;
        }
        form.contact = oid;
        try {
            form.updateActionExecute();
        } catch (const std::exception& e) {
            showFailure(e, window);  // the window still opens: the layout can be put right there
        }
        RunModal(form);
        return;
    }

    if (!AskYesNo("Print " + QString::number(rows.size()) + " envelopes in batch automatically?", &window))
        return;
    platform::BusyCursor busy;
    platform::PrintBatch files;  // the envelopes' files reach the disk together
    TEnvelopeForm form(&window);
    try {
        for (int row : rows) {
            // each contact prints with its own layout, or the one it would open on
            if (!fillEnvelope(form, window.RowOid(row))) continue;  // deleted meanwhile
            if (!form.printActionExecute()) break;                   // the failure has been shown
        }
    } catch (const std::exception& e) {
        showFailure(e, window);
    }
    if (!files.End()) platform::ShowError(files.Error(), &window);
}

void cardActionExecute(TMainListForm& window)
{
    const int row = window.FirstSelectedRow();
    if (window.grid->GetRowSelectCount() < 1 || row == 0) {
        ShowInfo("Please use mouse to select the customer first.", &window);
        return;
    }
    QByteArray bytes;
    {
        dbCursor<Customer> customer;
        if (!customer.at(dbReference<Customer>(window.RowOid(row)))) {
            database.rollback();
            window.RefreshGrid();
            return;
        }
        bytes = QByteArray(reinterpret_cast<const char*>(customer->card.get()), qsizetype(customer->card.length()));
        database.commit();
    }
    if (bytes.isEmpty()) {
        ShowInfo("This customer does not contain card image.", &window);
        return;
    }
    QImage picture;
    if (!DecodeJpeg(bytes, picture)) {
        ShowInfo("The card image cannot be read.", &window);
        return;
    }
    TCardForm form(&window);
    form.SetPicture(picture);
    RunModal(form);
}
