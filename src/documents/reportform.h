// TReportForm, "Cheque Report": the recorded cheques of a date range, of all
// layouts or one, newest first, with the total of the selected rows; deletes
// selected records and prints the list through the list print dialog. The
// main window creates it, shows it modally and frees it. Changes commit the
// thread's transaction: hold no uncommitted changes while it is shown.
#pragma once

#include <QDialog>

class QAction;
class QComboBox;
class QDateEdit;
class QLabel;

namespace grid {
class RIvuZuvuzoZuvu;
}

class TReportForm : public QDialog {
    Q_OBJECT
public:
    explicit TReportForm(QWidget* owner = nullptr);
    ~TReportForm() override;

    QDateEdit *fromDate, *toDate;
    QComboBox* setting;  // "All", then the layouts in select-all order
    grid::RIvuZuvuzoZuvu* grid;
    QLabel *count, *amount;
    QAction *queryAction, *deleteAction, *printAction, *exitAction, *helpAction;

    void queryActionExecute();
    void deleteActionExecute();
    void printActionExecute();
    void exitActionExecute();
    void helpActionExecute();
    void gridMouseDown(Qt::MouseButton button, int x, int y);
    // The totals of the selected rows, brought up to date after every change
    // of the grid's selection (by the keys as by the mouse).
    void gridMouseUp();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void noRecords(bool say);
};
