#include "app/mainlist.h"

#include "appcore/amounts.h"
#include "app/customeractions.h"
#include "appcore/damagereport.h"
#include "app/documentactions.h"
#include "appcore/dialogs.h"
#include "app/editor.h"
#include "app/label3d.h"
#include "app/login.h"
#include "app/newerversion.h"
#include "appcore/schema.h"
#include "app/spreadsheetactions.h"
#include "backup/backupform.h"
#include "backup/generations.h"
#include "backup/restorelock.h"
#include "grid/inputteller.h"
#include "grid/listgrid.h"
#include "engine/file.h"
#include "platform/accessibility.h"
#include "platform/file_attributes.h"
#include "platform/longwork.h"
#include "platform/process.h"
#include "platform/screenroom.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QVBoxLayout>

#include <cerrno>
#include <charconv>

using grid::RIvuZuvuzoZuvu;

namespace {

constexpr int kColumns = 13;
const char* const kHeaders[kColumns] = {"ID",    "ID",      "Name",    "Contact", "Tel",    "Mobile", "Fax",
                                        "Email", "Website", "Address", "Remark",  "Amount", "Category"};
const int kStartWidths[kColumns] = {1, 50, 100, 100, 80, 80, 80, 80, 70, 0, 0, 0, 70};
constexpr int kCurrentVersion = 18;

// The window is laid out to show every control whole from this size on, and
// opens at the larger size where the screen has room for it.
constexpr QSize kSmallestWindow(1024, 600);
constexpr QSize kOpeningSize(1200, 720);
constexpr int kButtonsPerRow = 8;

// The CustomerWidth fields of grid columns 1 to 12, in column order.
int2 CustomerWidth::*const kWidthFields[12] = {
    &CustomerWidth::id,    &CustomerWidth::name,    &CustomerWidth::person,  &CustomerWidth::telephone,
    &CustomerWidth::mobile, &CustomerWidth::fax,    &CustomerWidth::email,   &CustomerWidth::website,
    &CustomerWidth::address, &CustomerWidth::remark, &CustomerWidth::amount, &CustomerWidth::category};

std::string text(const char* s) { return s ? s : ""; }

// A column's width as the stored records hold it: for the standard font.
int2 storedWidth(const grid::RIvuZuvuzoZuvu& g, int c)
{
    return static_cast<int2>(std::clamp(g.StandardWidth(g.ColWidths(c)), 0, 32767));
}

// Lays the search panel's fields out, each under its caption, in rows: as
// many fields to a row as the panel's width holds at their smallest (all in
// one row where it has room), in the order Tab takes them, each row sharing
// the width between its fields. Laid out again as the width or font changes.
class SearchRows : public QObject {
public:
    explicit SearchRows(QWidget* panel) : QObject(panel), panel_(panel), rows_(new QVBoxLayout(panel))
    {
        rows_->setContentsMargins(0, 0, 0, 0);
        panel->installEventFilter(this);
    }
    // The next field, under its caption (none for a check box, which names itself).
    void add(QLabel* caption, QWidget* field)
    {
        cells_.append({caption, field});
        place(QList<int>{0});
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest) {
            const QList<int> starts = rowStarts();
            if (starts != starts_)
                place(starts);
            panel_->setMinimumWidth(widestField());
        }
        return false;
    }

private:
    // The width of a field under its caption at their smallest.
    int smallest(qsizetype i) const
    {
        const auto [caption, field] = cells_[i];
        return std::max(caption ? QWidgetItem(caption).minimumSize().width() : 0,
                        QWidgetItem(field).minimumSize().width());
    }
    // What the panel may be narrowed to: its rows take more fields as it widens.
    int widestField() const
    {
        int widest = 0;
        for (qsizetype i = 0; i < cells_.size(); ++i)
            widest = std::max(widest, smallest(i));
        return widest;
    }
    // The first field of each row.
    QList<int> rowStarts() const
    {
        const int gap = grids_[0]->horizontalSpacing();
        QList<int> starts;
        int used = 0;
        for (int i = 0; i < int(cells_.size()); ++i) {
            const int width = smallest(i);
            if (starts.isEmpty() || used + gap + width > panel_->width()) {
                starts.append(i);
                used = width;
            } else {
                used += gap + width;
            }
        }
        return starts;
    }
    void place(const QList<int>& starts)
    {
        starts_ = starts;
        while (grids_.size() < starts.size()) {
            grids_.append(new QGridLayout);
            grids_.back()->setContentsMargins(0, 0, 0, 0);
            rows_->addLayout(grids_.back());
        }
        for (int i = 0, row = 0; i < int(cells_.size()); ++i) {
            if (row + 1 < starts.size() && i == starts[row + 1])
                ++row;
            const auto [caption, field] = cells_[i];
            for (QWidget* w : std::initializer_list<QWidget*>{caption, field})
                for (QGridLayout* grid : grids_)
                    if (w)
                        grid->removeWidget(w);
            if (caption)
                grids_[row]->addWidget(caption, 0, i - starts[row]);
            grids_[row]->addWidget(field, 1, i - starts[row]);
        }
    }

    QWidget* panel_;
    QVBoxLayout* rows_;
    QList<QGridLayout*> grids_;
    QList<std::pair<QLabel*, QWidget*>> cells_;
    QList<int> starts_;
};

} // namespace

TMainListForm::TMainListForm(QWidget* owner) : QMainWindow(owner)
{
    setWindowTitle("Zarvo Cheque Printing System");
    createControls();
    createActions();
    startUp();
}

TMainListForm::~TMainListForm() { ReportDatabaseDamage(nullptr); }

void TMainListForm::createControls()
{
    auto* central = new QWidget(this);
    // all but the status bar scrolls where the screen's room is too short for it
    QWidget* body = nullptr;
    platform::ScrollingBody(central, body)->setContentsMargins(0, 0, 0, 0);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);

    Panel1 = new QWidget(body);
    auto* search = new SearchRows(Panel1);
    // each field under its label, which names it
    auto addField = [&](const char* label, QWidget* field) {
        auto* caption = new QLabel(label, Panel1);
        search->add(caption, field);
        platform::TieLabel(caption, field);
    };
    auto addEdit = [&](const char* label) {
        auto* edit = new QLineEdit(Panel1);
        addField(label, edit);
        return edit;
    };
    id = addEdit("ID");
    name = addEdit("Name");
    cPerson = addEdit("Contact");
    cTelephone = addEdit("Tel");
    cMobile = addEdit("Mobile");
    cEmail = addEdit("Email");
    category = new QComboBox(Panel1);
    // a long category name must not widen the window
    category->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    category->setMinimumContentsLength(12);
    addField("Category", category);
    sortBy = new QComboBox(Panel1);
    sortBy->addItems({"ID", "Name", "Contact", "Tel", "Mobile", "Fax", "Email"});
    addField("Sort by", sortBy);
    reverseSort = new QCheckBox("Descending", Panel1);
    search->add(nullptr, reverseSort);
    layout->addWidget(Panel1);

    grid = new RIvuZuvuzoZuvu(body);
    grid->setAccessibleName("Customer list");
    grid->ReaderHeaderRows = 1;  // an empty list is read as its headers and no contact
    layout->addWidget(grid, 1);

    actionPanel = new QWidget(body);
    // the buttons share the window's width in rows of equal columns, as
    // many to a row as have room for the widest caption
    auto* buttonRows = new platform::ButtonRows(actionPanel, platform::ButtonRows::EqualColumns, Qt::AlignLeft,
                                                kButtonsPerRow);
    buttonRows->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(actionPanel);
    setCentralWidget(central);

    StatusBar1 = new QStatusBar(this);
    statusPanels_[0] = new QLabel("Holding the Ctrl Key can select multiple records", StatusBar1);
    statusPanels_[0]->setWordWrap(true);
    statusPanels_[1] = new QLabel(StatusBar1);
    StatusBar1->addWidget(statusPanels_[0], 1);
    StatusBar1->addPermanentWidget(statusPanels_[1]);
    setStatusBar(StatusBar1);

    for (QLineEdit* edit : {id, name, cPerson, cTelephone, cMobile, cEmail}) {
        connect(edit, &QLineEdit::textEdited, this, &TMainListForm::nameChange);
        edit->installEventFilter(this);
    }
    connect(category, &QComboBox::activated, this, &TMainListForm::categoryChange);
    connect(sortBy, &QComboBox::activated, this, &TMainListForm::categoryChange);
    connect(reverseSort, &QCheckBox::clicked, this, &TMainListForm::categoryChange);
    grid->viewport()->installEventFilter(this);
    grid::TellStateAfterInput(*grid, [this] { return selectedText(); });
    // raised within the grid's handling of the double click, so that the grid
    // holds its press while an action's window runs and ends it when that
    // window takes the release
    grid->OnDblClickCell = [this](RIvuZuvuzoZuvu*, int row, int col) { gridDblClick(col, row); };
    setMinimumSize(kSmallestWindow);
    resize(kOpeningSize);
}

void TMainListForm::fitToScreen()
{
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    // the frame a window manager will draw is guessed before it has drawn one
    const QSize inside = platform::RoomInside(this);
    const QSize frame = room.size() - inside;
    setMinimumSize(kSmallestWindow.boundedTo(inside));
    resize(kOpeningSize.expandedTo(minimumSize()).boundedTo(inside));
    move(room.x() + (room.width() - width() - frame.width()) / 2,
         room.y() + (room.height() - height() - frame.height()) / 2);
}

void TMainListForm::createActions()
{
    auto place = [this](QPushButton* b) { actionPanel->layout()->addWidget(b); };
    auto make = [&](const char* caption, const QKeySequence& key, const char* hint, auto handler,
                    bool button = true) {
        auto* action = new QAction(caption, this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        if (*hint) {
            action->setStatusTip(hint);
            action->setToolTip(hint);
        }
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
        ActionList1.append(action);
        if (button) {
            auto* b = new QPushButton(QString(caption) + (key.isEmpty() ? "" : " " + key.toString()), actionPanel);
            b->setToolTip(hint);
            b->setFocusPolicy(Qt::TabFocus);  // a click leaves the focus in the list
            connect(b, &QPushButton::clicked, action, &QAction::trigger);
            connect(action, &QAction::enabledChanged, b, &QPushButton::setEnabled);
            place(b);
        }
        return action;
    };
    insertAction = make("&Insert", Qt::Key_F2, "Insert a new customer", [this] { insertActionExecute(*this); });
    deleteAction = make("&Delete", Qt::Key_F3, "Delete the selected customer(s)",
                        [this] { deleteActionExecute(*this); });
    updateAction = make("&Update", Qt::Key_F4, "Update the selected customer",
                        [this] { updateActionExecute(*this); });
    cardAction = make("C&ard", Qt::Key_F5, "Display the card of selected customer",
                      [this] { cardActionExecute(*this); });
    passwordAction = make("Pass&word", Qt::Key_F6, "Set and modify the password",
                          &TMainListForm::passwordActionExecute);
    envelopeAction = make("&Envelope", Qt::Key_F7, "Print the envelope to the selected customer (s)",
                          [this] { envelopeActionExecute(*this); });
    chequeAction = make("&Cheque", Qt::Key_F8, "Print cheque to the selected customer",
                        [this] { chequeActionExecute(*this); });
    exportAction = make("&Export", Qt::Key_F9, "", [this] { exportActionExecute(*this); });
    emailAction = make("E&mail", Qt::Key_F10, "Send an email to selected customer(s)",
                       [this] { emailActionExecute(*this); });
    websiteAction = make("&Website", Qt::Key_F11, "Visit the selected customer website",
                         &TMainListForm::websiteActionExecute);
    reportAction = make("&Report", QKeySequence(Qt::CTRL | Qt::Key_R), "List and print the cheque report",
                        [this] { reportActionExecute(*this); });
    selectAllAction = make("Select all", QKeySequence(Qt::CTRL | Qt::Key_A), "",
                           &TMainListForm::selectAllActionExecute, false);
    helpAction = make("&Help", Qt::Key_F1, "Help", &TMainListForm::helpActionExecute);

    auto button = [&](const char* caption, const char* hint, auto handler) {
        auto* b = new QPushButton(caption, actionPanel);
        b->setToolTip(hint);
        b->setFocusPolicy(Qt::TabFocus);
        connect(b, &QPushButton::clicked, this, handler);
        place(b);
        return b;
    };
    ImportButton = button("&Import", "Import an excel file to this system", [this] { ImportButtonClick(*this); });
    setupButton = button("&Setup", "Set Column Width, backup and restore", &TMainListForm::setupButtonClick);
    printButton = button("&Print", "Print the current list", &TMainListForm::printButtonClick);
    exitAction = make("E&xit", Qt::Key_F12, "Exit this system", &TMainListForm::exitActionExecute);

    PopupMenu1 = new QMenu(this);
    for (QAction* a : {deleteAction, updateAction, cardAction, envelopeAction, chequeAction, exportAction,
                       emailAction, websiteAction})
        PopupMenu1->addAction(a);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu1->popup(grid->mapToGlobal(p)); });
}

// ---------------------------------------------------------------- start-up

void TMainListForm::startUp()
{
    const QString dir = QDir::currentPath();
    askWhereLocksStayLocal(dir);
    RestoreLock replacing(dir);  // until the users are counted: see restorelock.h
    const bool alone = keepOutOfARestore(replacing, dir);
    if (alone)
        settleCutOffRestore();
    // the open below makes a missing or empty file a new database
    const std::optional<ArchivesSetAside> setAside = keepBackupsOfANewDatabase(dir);
    database.compact("Quillet");  // gives the file's free space back when most of it is free
    const bool opened = database.open("Quillet");
    if (setAside)
        ShowInfo(newDatabaseNotice(*setAside, opened), this);
    if (!opened) {
        EndIfDatabaseOfNewerVersion(this);
        ShowInfo("Fail to open database.", this);
        tellWhyNotOpened(dir);
        if (!restoreUnreadableDatabase(dir, replacing, alone))
            platform::ExitProgram(1);
    }
    if (database.getNumberOfUsers() > 1) {
        database.rollback();
        database.close();
        replacing.leave();  // not held while the message waits: the other run may restore meanwhile
        ShowInfo("The database is still using.", this);
        platform::ExitProgram(1);
    }
    replacing.leave();
    checkDatabase();
    // Settings read from a damaged list may be another record's bytes: none
    // is acted on (no upgrade by their version, no password: the way back,
    // Setup's Restore, stays open), and nothing is written there.
    if (!Config::dbDescriptor.rowListBroken) {
        zarvoCursor<Config> config(dbCursorForUpdate);
        if (config.select() == 0) {
            Config first;
            first.password = "";
            first.version = kCurrentVersion;
            first.lastBackupDate = dbDateTime(-1);
            first.everytime = false;
            first.everyday = true;
            first.lastBackup = 0;
            first.totalBackup = 7;
            insert(first);
        } else {
            upgradeData();
            config.select();
            const QString password = QString::fromUtf8(text(config->password).c_str());
            if (!password.isEmpty() && !AskForPassword(password, this)) {
                // nothing of this start becomes durable, upgrades included
                database.rollback();
                database.close();
                platform::ExitProgram(0);
            }
        }
    }

    layOutGrid();
    loadCategories();
    loadWidths();
    database.commit();

    TBackupForm backup(this);
    backup.autoBackupDaily(backups_);
}

void TMainListForm::askWhereLocksStayLocal(const QString& dir)
{
    const QString type = platform::unsharedLocksFileSystem(dir);
    if (type.isEmpty())
        return;
    if (!AskYesNo(QString("The data folder %1 is on a file system (%2) whose locks may not reach other computers, or "
                          "other paths to the same folder. Whether another run of the program uses the database there "
                          "cannot be told, and two runs at once lose what one of them saves. Open the database only "
                          "when no other run of the program uses it, on this computer or another; a data folder on a "
                          "local disk needs no such care. Open the database?")
                      .arg(dir, type),
                  this))
        platform::ExitProgram(0);  // nothing has been touched
}

void TMainListForm::tellWhyNotOpened(const QString& dir)
{
    const int error = database.openError();
    if (database.openFailure() != dbDatabase::dbFileUnavailable || error == 0)
        return;
    const QString reason = QString::fromStdString(dbFile::errorText(error));
    if (!QFileInfo::exists(dir + "/Quillet.zrv"))
        ShowInfo(QString("The database file Quillet.zrv cannot be made in %1: %2.").arg(dir, reason), this);
    else if (error == EACCES || error == EPERM)
        ShowInfo(QString("The database file Quillet.zrv in %1 may not be opened by this user (%2). Its owner, or an "
                         "administrator, can give this user the right to read and write it.")
                     .arg(dir, reason),
                 this);
    else
        ShowInfo(QString("The database file Quillet.zrv in %1 cannot be opened: %2.").arg(dir, reason), this);
}

bool TMainListForm::keepOutOfARestore(RestoreLock& replacing, const QString& dir)
{
    switch (replacing.enterStart()) {
    case RestoreLock::Taken:
        return true;
    case RestoreLock::TakenShared:
        if (!TBackupForm::restoreCopyLeft())
            return false;
        [[fallthrough]];  // another such start may be settling it
    case RestoreLock::CannotTell:
        ShowInfo(cannotTellText(dir, replacing), this);
        break;
    case RestoreLock::Restoring:
        ShowInfo(QString("A backup is being restored in %1 by another run of the program, so the database cannot "
                         "be opened now. Start the program again once the restore has finished.")
                     .arg(dir),
                 this);
        break;
    case RestoreLock::Starting:  // the other start opens the database: as for a second user
        ShowInfo("The database is still using.", this);
        break;
    }
    platform::ExitProgram(1);
    return false;
}

QString TMainListForm::cannotTellText(const QString& dir, const RestoreLock& replacing)
{
    return QString("Whether a backup is being restored in %1 by another run of the program cannot be told: the "
                   "folder's lock file .Quillet.lock cannot be locked (%2). The database has not been opened, and "
                   "nothing has been changed.")
        .arg(dir, replacing.failure());
}

void TMainListForm::settleCutOffRestore()
{
    const CutOffRestore settled = TBackupForm::settleCutOffRestore();
    if (settled.found == CutOffRestore::Nothing)
        return;
    ShowInfo(settled.text, this);
    if (settled.found == CutOffRestore::Finished)
        backups_ = AutoBackups::FreeGenerationsOnly;  // as after a restore at start
    else if (settled.found == CutOffRestore::NotFinished)
        platform::ExitProgram(1);  // never a new, empty database beside the copy
}

std::optional<ArchivesSetAside> TMainListForm::keepBackupsOfANewDatabase(const QString& dir)
{
    if (!newDatabaseBesideBackups(dir))
        return std::nullopt;
    backups_ = AutoBackups::None;  // an archive of the new, empty database would be the newest
    return setArchivesAside(dir);
}

// Only a file whose bytes are no database is ever put aside: one the program
// may not open, or that another process holds, may be sound and stays. The
// readable backups of the folder are offered newest first, the next one when
// the one taken could not be restored for its own bytes, then one chosen
// elsewhere. A restore that failed for want of room, or another failed write
// in the folder, ends the offers: an older backup would fare no better, or
// would bring back older data only because it is smaller.
bool TMainListForm::restoreUnreadableDatabase(const QString& dir, RestoreLock& replacing, bool alone)
{
    if (database.openFailure() != dbDatabase::dbFileNotDatabase)
        return false;
    if (!alone) {  // another start may be restoring too
        ShowInfo(cannotTellText(dir, replacing), this);
        return false;
    }
    const QList<GenerationArchive> archives = keptArchives(dir);  // oldest first, unreadable ones before
    const QString keptAs = unreadableDatabaseName(dir, QDateTime::currentSecsSinceEpoch());
    QString before;  // why no other archive came first, or why the last one could not be restored
    bool offered = false;
    for (auto archive = archives.crbegin(); archive != archives.crend() && archive->readable; ++archive) {
        if (!offered)
            before = newerUnreadableText(archives, *archive);
        if (!AskYesNo(restoreAtStartQuestion(dir, *archive, keptAs, before, !offered), this))
            return false;
        offered = true;
        if (const std::optional<bool> opened = restoreAtStart(archive->path, keptAs, before, replacing))
            return *opened;
    }
    const char* none = archives.isEmpty() ? "There is no backup in that folder."
                       : offered          ? "No other backup in that folder can be read."
                                          : "No backup in that folder can be read.";
    before = QStringList {before, none, deniedArchivesText(archives)}.join(u' ').trimmed();
    for (;;) {
        if (!AskYesNo(restoreFromElsewhereQuestion(dir, keptAs, before), this))
            return false;
        const QString chosen = TBackupForm::chooseArchiveToRestore(this, true);
        if (chosen.isEmpty())
            return false;
        if (const std::optional<bool> opened = restoreAtStart(chosen, keptAs, before, replacing))
            return *opened;
    }
}

std::optional<bool> TMainListForm::restoreAtStart(const QString& archive, const QString& keptAs, QString& why,
                                                  RestoreLock& replacing)
{
    replacing.markRestoring();
    TBackupForm restore(this);
    const RestoreResult result = restore.restoreDatabase(archive, keptAs);
    if (!result.ok() && !result.writeFailed()) {
        why = result.text();
        return std::nullopt;
    }
    if (!result.ok()) {
        ShowInfo(result.text(), this);
        return false;
    }
    if (result.notSynced)
        ShowInfo(TBackupForm::restoredNotSyncedWarning(), this);
    ShowInfo("Restore Completed.", this);
    if (!database.open("Quillet")) {
        ShowInfo("Fail to open database.", this);
        return false;
    }
    backups_ = AutoBackups::FreeGenerationsOnly;
    return true;
}

namespace {

// Shown while the start rebuilds damaged indexes, which takes a few seconds
// at a million contacts, before the main window can come up.
std::unique_ptr<QWidget> rebuildProgress()
{
    auto window = std::make_unique<QWidget>(nullptr, Qt::Dialog);
    window->setObjectName("rebuildProgress");
    window->setWindowTitle("Zarvo Cheque Printing System");
    auto* layout = new QVBoxLayout(window.get());
    layout->addWidget(new QLabel("The database's search indexes are being rebuilt from its records. Please wait.",
                                 window.get()));
    auto* bar = new QProgressBar(window.get());
    bar->setRange(0, 0);  // busy: the steps take unlike times
    bar->setAccessibleName("Rebuilding the search indexes");
    layout->addWidget(bar);
    return window;
}

}  // namespace

// The whole check of the database before anything reads it: indexes found
// damaged are rebuilt from the rows and the user is told once; records whose
// keys disagreed with the indexes are named, and no automatic backup is made
// in this run, so that the newest archive keeps their values from before;
// damage that cannot be mended so is told in the damage box, and what was
// found damaged stays marked (read around, no changes through it, no
// automatic backup). The changed records are named before the mended
// indexes are committed: until the user has seen them, the file still shows
// the disagreement, and a start that ends first names them again.
void TMainListForm::checkDatabase()
{
    const QString folder = TBackupForm::programDirectory();
    auto changedText = [&](const std::vector<dbDatabase::dbChangedRow>& rows, bool mended) {
        QStringList archives;
        for (const GenerationArchive& archive : generationArchives(folder))
            if (archive.readable)
                archives << QFileInfo(archive.path).fileName();
        return ChangedRecordsText(rows, folder, archives, mended);
    };
    std::vector<dbDatabase::dbChangedRow> changed;
    std::unique_ptr<QWidget> progress;
    std::optional<platform::LongWork> busy;
    database.whileRebuilding = [&] {
        if (!progress) {
            progress = rebuildProgress();
            progress->show();
            busy.emplace();
        }
        busy->Pump();
    };
    const dbDatabase::dbIndexRepair found = database.checkAndRebuildIndexes(  // its reports are only printed
        &changed, [&](const std::vector<dbDatabase::dbChangedRow>& rows) { ShowInfo(changedText(rows, true), this); });
    database.whileRebuilding = nullptr;
    busy.reset();
    progress.reset();
    ReportDatabaseDamage(this);
    switch (found) {
    case dbDatabase::dbIndexesSound:
        break;
    case dbDatabase::dbIndexesRebuilt:
        ShowInfo(kIndexesRebuilt, this);
        break;
    case dbDatabase::dbRowKeysChanged:
        backups_ = AutoBackups::None;
        break;
    case dbDatabase::dbIndexesNoSpace:
        if (changed.empty()) {
            ShowInfo(kIndexesNoSpace, this);
        } else {
            backups_ = AutoBackups::None;
            const QString text = changedText(changed, false);
            database.commit();  // ends the read of the names
            ShowInfo(text, this);
        }
        break;
    case dbDatabase::dbRowsDamaged:
        TellDatabaseDamage(dbDatabase::invalidRecordText);
        break;
    case dbDatabase::dbIndexesDamaged:
        TellDatabaseDamage(dbDatabase::invalidIndexText);
        break;
    }
}

void TMainListForm::upgradeData()
{
    zarvoCursor<Config> config(dbCursorForUpdate);
    if (config.select() == 0)
        return;
    if (config->version < 16) {
        config->version = 16;
        config.update();
        dbCursor<ChequeSetup> layouts(dbCursorForUpdate);
        if (layouts.select() > 0) {
            do {
                layouts->dollar = "DOLLARS";
                layouts.update();
            } while (layouts.next());
        }
    }
    if (config.select() > 0 && config->version < 17) {
        config->version = 17;
        config->everyday = true;
        config->totalBackup = 7;
        config.update();
    }
    if (config.select() > 0 && config->version < 18) {
        config->version = 18;
        config.update();
        dbCursor<ChequeSetup> layouts(dbCursorForUpdate);
        if (layouts.select() > 0) {
            do {
                layouts->image = dbArray<int1>();
                layouts->image2 = dbArray<int1>();
                layouts.update();
            } while (layouts.next());
        }
    }
}

void TMainListForm::layOutGrid()
{
    grid->SetColCount(kColumns);
    grid->SetFixedCols(0);
    grid->SetRowCount(2);
    grid->SetFixedRows(1);
    grid->SetDefaultRowHeight(21);
    grid->SetGridLineColor(platform::clSilver);
    grid->SetOptions(grid->Options() | platform::goRowSelect | platform::goRangeSelect | platform::goColSizing);
    grid->MouseActions->DisjunctRowSelect = true;
    grid->Bands->Active = true;
    // contacts are plain text: a name such as "Tom </ Jerry" is shown as typed
    grid->EnableHTML = false;
    grid->SortSettings->Show = true;
    grid->SortSettings->Full = true;
    grid->SortSettings->AutoFormat = true;
    // Widths are kept for the standard font and grow with a larger one; a
    // value that still does not fit ends with an ellipsis, never cut short.
    grid->ColumnsFollowFont = true;
    grid->EnhTextSize = true;
    for (int c = 0; c < kColumns; ++c) {
        grid->SetCells(c, 0, kHeaders[c]);
        grid->SetColWidths(c, grid->WidthAtFont(kStartWidths[c]));
    }
}

void TMainListForm::loadCategories()
{
    RebuildCategoryFilter(*this, -1);  // "All", then the names in order; "All" chosen
    sortBy->setCurrentIndex(0);
}

void TMainListForm::loadWidths()
{
    if (CustomerWidth::dbDescriptor.rowListBroken)
        return;  // the start widths: none is read from, or written into, a damaged list
    zarvoCursor<CustomerWidth> widths(dbCursorForUpdate);
    if (widths.select() > 0) {
        for (int c = 1; c < kColumns; ++c)
            grid->SetColWidths(c, grid->WidthAtFont(widths.get()->*kWidthFields[c - 1]));
        const int sort = widths->sortBy;
        sortBy->setCurrentIndex(sort >= 0 && sort < sortBy->count() ? sort : 0);
        reverseSort->setChecked(widths->reverseSort);
        return;
    }
    CustomerWidth fresh;
    for (int c = 1; c < kColumns; ++c)
        fresh.*kWidthFields[c - 1] = storedWidth(*grid, c);
    fresh.action = 0;
    fresh.sortBy = 0;
    fresh.reverseSort = true;
    insert(fresh);
    database.commit();
}

// ---------------------------------------------------------------- the list

QString TMainListForm::StatusText(int panel) const { return statusPanels_[panel]->text(); }

void TMainListForm::setStatus(int panel, const QString& text) { statusPanels_[panel]->setText(text); }

void TMainListForm::RefreshGrid()
{
    ContactSearchFields fields;
    fields.categoryIndex = category->currentIndex();
    fields.categoryName = category->currentText();
    fields.name = name->text();
    fields.person = cPerson->text();
    fields.telephone = cTelephone->text();
    fields.mobile = cMobile->text();
    fields.id = id->text();
    fields.email = cEmail->text();
    fields.sortBy = sortBy->currentIndex();
    fields.reverseSort = reverseSort->isChecked();
    query_.Build(fields);  // a bad ID throws before the grid changes

    // every selection flag goes: a refreshed list starts with row 1 only
    grid->ClearRowSelect();
    grid->SetRowCount(1);

    dbCursor<Customer> customers;
    const std::size_t n = customers.select(query_.Query());
    grid->BeginUpdate();
    grid->SetRowCount(static_cast<int>(n) + 1);
    if (n > 0)
        grid->SetFixedRows(1);  // an empty list keeps just its header row
    setStatus(1, QString("Total Customer: %1").arg(n));
    int row = 1;
    if (n > 0) {
        CustomerRows rows(*grid);
        do
            rows.show(row++, customers.currentId().getOid(), *customers.get());
        while (customers.next());
    }
    grid->EndUpdate();
    if (n > 0)
        grid->SetRowSelect(1, true);
    database.commit();
}

unsigned TMainListForm::RowOid(int row) const
{
    if (row < 1 || row >= grid->RowCount())
        return 0;
    const std::string& s = grid->Cells(0, row);
    unsigned oid = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), oid);
    return ec == std::errc() && p == s.data() + s.size() ? oid : 0;
}

int TMainListForm::FirstSelectedRow() const
{
    for (int r = 1; r < grid->RowCount(); ++r)
        if (grid->GetRowSelect(r))
            return r;
    return 0;
}

int TMainListForm::selectedRowOrSay()
{
    const int row = FirstSelectedRow();
    if (row == 0)
        ShowInfo("Please use the mouse to select the customer first.", this);
    return row;
}

void TMainListForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        fitToScreen();
        RefreshGrid();
    }
}

void TMainListForm::categoryChange()
{
    RefreshGrid();
    // the entry a box took is said with the count, which would replace it
    const auto* box = qobject_cast<const QComboBox*>(sender());
    tellFound(box ? box->currentText() + ". " : QString());
}

void TMainListForm::nameChange()
{
    setStatus(0, "Please enter the search critera and press [Enter] key to search");
}

// ---------------------------------------------------------------- what a screen reader is told

namespace {

// "No customer found.", "1 customer found.", "12 customers found."
QString customersText(int n, const char* what)
{
    if (n == 0)
        return QString("No customer %1.").arg(what);
    return QString("%1 customer%2 %3.").arg(n).arg(n == 1 ? "" : "s", what);
}

}  // namespace

void TMainListForm::tellFound(const QString& before)
{
    platform::Announce(before + customersText(grid->RowCount() - 1, "found"), this);
}

QString TMainListForm::selectedText() const { return customersText(grid->GetRowSelectCount(), "selected"); }

void TMainListForm::tellSelected() { platform::Announce(selectedText(), this); }

bool TMainListForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (watched == id) {
                RefreshGrid();
                tellFound();
                id->selectAll();
                return true;
            }
            if (watched == name || watched == cPerson || watched == cTelephone || watched == cMobile ||
                watched == cEmail) {
                RefreshGrid();
                tellFound();
                return true;
            }
        }
    }
    if (watched == grid->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* m = static_cast<QMouseEvent*>(event);
            // the grid handles the press first (selection), then the window looks
            QMetaObject::invokeMethod(
                this, [this, b = m->button(), p = m->position().toPoint()] { gridMouseDown(b, p.x(), p.y()); },
                Qt::QueuedConnection);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainListForm::gridDblClick(int col, int row)
{
    if (col < 0 || col >= grid->ColCount() || row < 1 || row >= grid->RowCount())
        return;
    switch (col) {
    case 1:
    case 10:
        updateAction->trigger();
        break;
    case 2:
    case 11:
        chequeAction->trigger();
        break;
    case 3:
    case 9:
        envelopeAction->trigger();
        break;
    case 7:
        emailAction->trigger();
        break;
    case 8:
        websiteAction->trigger();
        break;
    case 12:
        cardAction->trigger();
        break;
    default:
        break;
    }
}

void TMainListForm::gridMouseDown(Qt::MouseButton button, int x, int y)
{
    int col = -1, row = -1;
    grid->MouseToCell(x, y, col, row);
    if (button == Qt::RightButton && row >= 1 && row < grid->RowCount()) {
        if (grid->GetRowSelectCount() == 1)
            grid->ClearRowSelect();
        if (grid->GetRowSelectCount() == 0)
            grid->SetRowSelect(row, true);
        grid->Invalidate();
    }
    switch (col) {
    case 1:
        setStatus(0, "Double-click the ID to update record");
        break;
    case 2:
        setStatus(0, "Double-click the Name to print cheque");
        break;
    case 3:
        setStatus(0, "Double-click the Contact to print envelope");
        break;
    case 7:
        setStatus(0, "Double-click the Email to send email");
        break;
    case 8:
        setStatus(0, "Double-click the Website to visit website");
        break;
    case 12:
        setStatus(0, "Double-click the Category to view image");
        break;
    default:
        break;
    }
}

void TMainListForm::selectAllActionExecute()
{
    if (grid->RowCount() > 1)
        grid->SelectRows(1, grid->RowCount() - 1);
    grid->Invalidate();
    tellSelected();
}

void TMainListForm::helpActionExecute()
{
    OpenHelp("index.htm", this);
}

void TMainListForm::exitActionExecute() { close(); }

void TMainListForm::passwordActionExecute() { ChangePassword(this); }

void TMainListForm::websiteActionExecute()
{
    const int row = selectedRowOrSay();
    if (row == 0)
        return;
    // the shell seam opens web addresses only (text without a scheme gets "http://")
    OpenWebsite(QString::fromUtf8(grid->Cells(8, row).c_str()), this);
}

// ---------------------------------------------------------------- setup and printing

void TMainListForm::setupButtonClick()
{
    TBackupForm form(this);
    // Settings read from a damaged list may be another record's bytes: the
    // dialog, and its Restore, comes up without them, and none is stored.
    const bool settings = !Config::dbDescriptor.rowListBroken;
    zarvoCursor<Config> config(dbCursorForUpdate);
    if (settings && config.select() == 0)
        return;
    if (settings) {
        form.everytime->setChecked(config->everytime);
        form.everyday->setChecked(config->everyday);
        form.remainDay->setValue(config->totalBackup);
    }
    for (QWidget* setting : std::initializer_list<QWidget*>{form.everytime, form.everyday, form.remainDay})
        setting->setEnabled(settings);
    QLineEdit* widths[12] = {form.id,      form.name,    form.person, form.telephone, form.mobile, form.fax,
                             form.email,   form.website, form.address, form.remark,   form.amount, form.category};
    for (int c = 1; c < kColumns; ++c)
        widths[c - 1]->setText(QString::number(storedWidth(*grid, c)));

    RunModal(form);

    // the values shown are taken over however the dialog was closed; widths
    // are checked first so that a bad one changes nothing
    int newWidths[12];
    for (int c = 1; c < kColumns; ++c) {
        bool ok = false;
        const int w = widths[c - 1]->text().trimmed().toInt(&ok);
        if (!ok || w < 0 || w > 32767) {
            ShowInfo("'" + widths[c - 1]->text() + "' is not a valid column width.", this);
            database.rollback();
            return;
        }
        newWidths[c - 1] = w;
    }
    bool stored = !settings || config.select() > 0;
    if (settings && stored) {
        config->everytime = form.everytime->isChecked();
        config->everyday = form.everyday->isChecked();
        config->totalBackup = static_cast<int1>(form.remainDay->value());
        stored = config.update();
    }
    for (int c = 1; c < kColumns; ++c)
        grid->SetColWidths(c, grid->WidthAtFont(newWidths[c - 1]));
    if (!stored || !database.commit()) {
        database.rollback();
        ShowInfo(kNotStored, this);
    }
}

void TMainListForm::printButtonClick() { printListExecute(*this); }

// ---------------------------------------------------------------- shutdown

void TMainListForm::storeWidths()
{
    if (CustomerWidth::dbDescriptor.rowListBroken)
        return;  // nothing is written into a damaged list
    zarvoCursor<CustomerWidth> widths(dbCursorForUpdate);
    if (widths.select() == 0)
        return;
    for (int c = 1; c < kColumns; ++c)
        widths.get()->*kWidthFields[c - 1] = storedWidth(*grid, c);
    widths->action = 0;
    widths->sortBy = static_cast<int2>(sortBy->currentIndex());
    widths->reverseSort = reverseSort->isChecked();
    widths.update();
}

void TMainListForm::closeEvent(QCloseEvent* event)
{
    if (closing_) {  // a second close while the first one runs
        event->ignore();
        return;
    }
    closing_ = true;
    if (!AskYesNo("Exit the system?", this)) {
        closing_ = false;
        event->ignore();
        return;
    }
    {
        TBackupForm backup(this);
        backup.autoBackupOnExit(backups_);
    }
    hide();
    for (QAction* a : ActionList1)
        a->setEnabled(false);
    storeWidths();
    if (!database.commit())
        ShowInfo(kNotStored, this);
    {
        TAboutForm about(this);
        RunModal(about);
    }
    database.close();
    event->accept();
}

// ---------------------------------------------------------------- about

TAboutForm::TAboutForm(QWidget* owner) : QDialog(owner)
{
    setWindowTitle("About Us");
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel("Zarvo Cheque Printing System (1.3)", this);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    title->setFont(bold);
    layout->addWidget(title);
    layout->addWidget(new QLabel("Zarvo Software\nCheque, envelope and contact card printing", this));
    auto* web = new TLabel3D(this);
    web->SetCaption("www.zarvo.example");
    web->SetLabelStyle(lsWWWAddress);
    web->Address = "https://www.zarvo.example";
    web->setMinimumSize(web->size());
    layout->addWidget(web);
    auto* mail = new TLabel3D(this);
    mail->SetCaption("support@zarvo.example");
    mail->SetLabelStyle(lsEMailAddress);
    mail->Address = "support@zarvo.example";
    mail->setMinimumSize(mail->size());
    layout->addWidget(mail);
    auto* close = new QPushButton("Close", this);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);  // as Escape does
    layout->addWidget(close, 0, Qt::AlignRight);
    // The box opens on Close, so that Enter closes it; Enter on a link the
    // user moved to opens the link.
    platform::NoAutoDefaultButtons(this);
    close->setDefault(true);
    platform::ShowFocusFrame(close);  // a default button looks as if it had the focus already
    close->setFocus();
}
