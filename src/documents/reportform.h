// TReportForm, "Cheque Report": the recorded cheques of a date range, of all
// layouts or one, newest first, with the total of the selected rows; deletes
// selected records and prints the list through the list print dialog. The
// main window creates it, shows it modally and frees it. Changes commit the
// thread's transaction: hold no uncommitted changes while it is shown.
// Escape closes it from any control; a screen reader is told what a query
// found and the totals whenever the user's input in the list changes them.
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
    // The two totals of the selected rows as their labels show them.
    struct Totals {
        QString count, amount;
    };
    Totals selectedTotals() const;
    // The rows the user flagged, from row 1 (row 0 holds the headers).
    QList<int> selectedRows() const;
    // The totals as a screen reader is told them after a query, and after
    // the user's input in the list changed them.
    QString totalsSaid() const;
    // "Delete N records?" for the flagged rows (at least one); one record is
    // named by its number, payee, amount and date.
    QString deleteQuestion(const QList<int>& rows) const;
};
