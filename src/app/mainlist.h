// TMainListForm, the program's main window: the searchable, sortable list of
// contacts and the actions on them. Its constructor runs the start-up: it
// opens the database, creates or upgrades the stored data, asks for the
// password, lays out the grid and runs the daily backup; closing it runs the
// shutdown. There is one main window per process, over the global database.
// A failed start ends the program through platform::ExitProgram.
#pragma once

#include "app/contactquery.h"
#include "backup/generations.h"

#include <QDialog>
#include <QMainWindow>

#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class RestoreLock;

namespace grid {
class RIvuZuvuzoZuvu;
}

class TMainListForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainListForm(QWidget* owner = nullptr);
    ~TMainListForm() override;

    grid::RIvuZuvuzoZuvu* grid;
    QWidget* Panel1;
    QLineEdit *id, *name, *cPerson, *cTelephone, *cMobile, *cEmail;
    QComboBox *category, *sortBy;
    QCheckBox* reverseSort;
    QStatusBar* StatusBar1;
    QWidget* actionPanel;
    QMenu* PopupMenu1;
    QPushButton *ImportButton, *setupButton, *printButton;

    QAction *insertAction, *deleteAction, *updateAction, *cardAction, *passwordAction, *envelopeAction,
        *chequeAction, *exportAction, *emailAction, *websiteAction, *exitAction, *selectAllAction,
        *reportAction, *helpAction;
    QList<QAction*> ActionList1;

    // Runs the search panel's query and fills the grid.
    void RefreshGrid();
    // The query text of the last refresh, bound values written as literals.
    const std::string& QueryText() const { return query_.Text(); }
    QString StatusText(int panel) const;

    void categoryChange();
    void nameChange();
    // A double click on the cell (col, row) of the grid.
    void gridDblClick(int col, int row);
    void gridMouseDown(Qt::MouseButton button, int x, int y);
    void selectAllActionExecute();
    void helpActionExecute();
    void exitActionExecute();
    void passwordActionExecute();
    void websiteActionExecute();
    void setupButtonClick();
    void printButtonClick();

    // The record object id of a data row (column 0), 0 when there is none.
    unsigned RowOid(int row) const;
    // The topmost selected data row, 0 when no row is selected.
    int FirstSelectedRow() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createActions();
    void startUp();
    // First of all, where the folder's file system may not share its locks
    // with other computers or other paths to it: says so, and ends the
    // program, touching nothing, unless the user goes on.
    void askWhereLocksStayLocal(const QString& dir);
    // After "Fail to open database.": why the file could not be opened, when
    // the system told it.
    void tellWhyNotOpened(const QString& dir);
    // First of all: ends the program, touching no file, while a restore runs
    // in the folder, another start has not yet counted the users, or that
    // cannot be told. True when this start holds the replacing lock alone;
    // false when it shares it (no cut-off restore to settle is left then).
    bool keepOutOfARestore(RestoreLock& replacing, const QString& dir);
    // Says that whether a restore runs cannot be told, and why.
    static QString cannotTellText(const QString& dir, const RestoreLock& replacing);
    // Before the open: finishes or undoes a restore that a kill cut off, and
    // says so; ends the program when a sound copy cannot be put in place.
    void settleCutOffRestore();
    // Before the open: sets backups beside a missing or empty database file
    // aside; what was done, told once the open has been tried.
    std::optional<ArchivesSetAside> keepBackupsOfANewDatabase(const QString& dir);
    // After an open that failed for the file's bytes: offers the readable
    // backups in its place, newest first, then one chosen elsewhere, when
    // this start holds the replacing lock alone. True when one was restored
    // and the database opened.
    bool restoreUnreadableDatabase(const QString& dir, RestoreLock& replacing, bool alone);
    // Restores archive in place of the unreadable file, kept as keptAs.
    // Empty when the archive could not be restored for its own bytes (`why`
    // then tells it); else whether the database is open (a failed write has
    // been told).
    std::optional<bool> restoreAtStart(const QString& archive, const QString& keptAs, QString& why,
                                       RestoreLock& replacing);
    void checkDatabase();
    void upgradeData();
    void layOutGrid();
    // Opens the window, its frame included, no larger than its screen's free
    // area (platform::RoomInside), centred in it, with the smallest size it is
    // laid out for as its minimum; all but the status bar scrolls where that
    // room is too short for its controls.
    void fitToScreen();
    void loadCategories();
    void loadWidths();
    void storeWidths();
    void setStatus(int panel, const QString& text);
    // Screen readers are told how many contacts the search found (after
    // `before`: the entry a search box took), and how
    // many are selected after Ctrl+A and after a key or a click in the grid
    // changed that number (grid::TellStateAfterInput).
    void tellFound(const QString& before = QString());
    void tellSelected();
    QString selectedText() const;
    // Checks that a row is selected, else says so; the topmost selected row.
    int selectedRowOrSay();

    ContactQuery query_;
    // the hints, taking the room the count leaves; the count of contacts listed, whole at the end
    QLabel* statusPanels_[2];
    bool shown_ = false;
    bool closing_ = false;
    // What the automatic backups of this run may write (daily and on exit):
    // none once the start found records that damage may have changed (the
    // newest archives keep their values from before) or a new database
    // beside backups; free generations only after the start restored the
    // database from a backup (every archive there is kept in that run).
    AutoBackups backups_ = AutoBackups::Normal;
};

// "About Us": the program's title and version, the maker's details and links.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* owner = nullptr);
};
