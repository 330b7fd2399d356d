#include "app/documentactions.h"

#include "app/mainlist.h"
#include "appcore/dialogs.h"
#include "documents/emailform.h"
#include "grid/listgrid.h"

#include <QLineEdit>

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
