// TSaveChequeForm, "Save Cheque": asks for the number, description and date
// of the cheque shown in the cheque window before it is recorded as a Cheque.
// The cheque window fills the read-only payee, amount and layout and records
// what the user confirmed (TChequeForm::saveChequeActionExecute); Save ends
// the form with 1, Cancel with 2.
#pragma once

#include <QDialog>

class QAction;
class QDateTimeEdit;
class QLineEdit;

class TSaveChequeForm : public QDialog {
    Q_OBJECT
public:
    explicit TSaveChequeForm(QWidget* owner = nullptr);

    QLineEdit *name, *amount, *setup;  // read-only
    QLineEdit *chequeNo, *description;
    QDateTimeEdit* transDate;  // holds the time of day too; shows the short date
    QAction *savelAction, *exitAction;
};
