#include "backup/backupform.h"

#include "appcore/dialogs.h"
#include "appcore/schema.h"
#include "backup/generations.h"
#include "platform/accessibility.h"
#include "platform/file_attributes.h"
#include "platform/process.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStorageInfo>
#include <QTabWidget>

#include <climits>
#include <cstdlib>
#include <ctime>

namespace {

const char *const kDatabaseName = "Quillet";

// The archive to back up into or restore from, empty when cancelled.
QString pickArchive(platform::FileRequest::Mode mode, const QString &caption, const QString &filter, QWidget *owner)
{
    platform::FileRequest request;
    request.mode = mode;
    request.caption = caption;
    request.directory = TBackupForm::programDirectory();  // where the automatic backups and those set aside are
    request.fileName = QStringLiteral("Quillet");
    request.filters = QStringList {filter};
    request.defaultSuffix = QStringLiteral("zbf");
    request.confirmOverwrite = false;  // the backup asks its own question; a restore opens
    return platform::PickFile(request, owner);
}

// A control at its place on the form.
template <class W>
W *placed(W *widget, int x, int y, int width, int height)
{
    widget->setGeometry(x, y, width, height);
    return widget;
}

QLineEdit *widthEdit(QFormLayout *form, const QString &label)
{
    auto *edit = new QLineEdit;
    edit->setMaximumWidth(80);
    form->addRow(label, edit);
    platform::TieLabel(static_cast<QLabel *>(form->labelForField(edit)), edit);
    return edit;
}

}  // namespace

TBackupForm::TBackupForm(QWidget *owner)
    : QDialog(owner)
{
    setWindowTitle(QStringLiteral("System Setup"));
    resize(440, 420);

    PageControl1 = placed(new QTabWidget(this), 8, 8, 424, 330);
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    PageControl1->addTab(TabSheet1, QStringLiteral("&Column Width"));
    PageControl1->addTab(TabSheet2, QStringLiteral("&Bakcup"));

    Label9 = placed(new QLabel(QStringLiteral("Set the width of each column in Main Window:"), TabSheet1), 10, 6, 400, 20);
    auto *left = new QFormLayout;
    auto *right = new QFormLayout;
    QLineEdit **edits[] = {&id, &name, &person, &telephone, &mobile, &fax,
                           &email, &website, &address, &remark, &amount, &category};
    const char *labels[] = {"ID:", "Name:", "Contact:", "Tel:", "Mobile:", "Fax:",
                            "Email:", "Website:", "Address:", "Remark:", "Amount:", "Category:"};
    for (int i = 0; i < 12; ++i)
        *edits[i] = widthEdit(i < 6 ? left : right, QString::fromLatin1(labels[i]));
    placed(new QWidget(TabSheet1), 10, 30, 195, 260)->setLayout(left);
    placed(new QWidget(TabSheet1), 210, 30, 195, 260)->setLayout(right);

    backup = placed(new QPushButton(QStringLiteral("Backup"), TabSheet2), 20, 20, 110, 32);
    restore = placed(new QPushButton(QStringLiteral("Restore"), TabSheet2), 150, 20, 110, 32);
    GroupBox4 = placed(new QGroupBox(QStringLiteral("Auto Backup"), TabSheet2), 20, 70, 380, 130);
    everyday = placed(new QCheckBox(QStringLiteral("Daily"), GroupBox4), 16, 28, 200, 24);
    everytime = placed(new QCheckBox(QStringLiteral("When exit program"), GroupBox4), 16, 58, 200, 24);
    Label24 = placed(new QLabel(QStringLiteral("Remain:"), GroupBox4), 16, 92, 70, 24);
    remainDay = placed(new QSpinBox(GroupBox4), 90, 90, 70, 28);
    remainDay->setRange(1, 100);
    remainDay->setValue(1);
    remainDay->setWrapping(false);
    platform::TieLabel(Label24, remainDay);
    remainEdit = remainDay->findChild<QLineEdit *>();
    remainEdit->setReadOnly(true);

    helpButton = placed(new QPushButton(QStringLiteral("Help"), this), 220, 346, 100, 32);
    helpButton->setFocusPolicy(Qt::TabFocus);  // it has no key of its own
    NoButton = placed(new QPushButton(QStringLiteral("&Close"), this), 330, 346, 100, 32);
    platform::NoAutoDefaultButtons(this);  // Enter in a width presses no button, a hidden one neither
    ProgressBar1 = placed(new QProgressBar(this), 0, 396, 440, 20);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->hide();

    connect(backup, &QPushButton::clicked, this, &TBackupForm::backupClick);
    connect(restore, &QPushButton::clicked, this, &TBackupForm::restoreClick);
    connect(helpButton, &QPushButton::clicked, this, &TBackupForm::helpButtonClick);
    connect(NoButton, &QPushButton::clicked, this, [this] {
        if (!BackupFile1.Busy())
            done(2);
    });

    BackupFile1.BackupTitle = QStringLiteral("Backup Zarvo");
    BackupFile1.SetBackupMode(bmAll);
    BackupFile1.CompressionLevel = clFastest;
    BackupFile1.RestoreMode = rmAll;
    BackupFile1.MaxSize = 0;
    BackupFile1.SetArchiveFlag = true;
    BackupFile1.RestoreFullPath = false;
    BackupFile1.SaveFileID = false;
    BackupFile1.OnProgress = [this](TBackupFile &s, const QString &f, TPercentage p, bool &c) {
        BackupFile1Progress(s, f, p, c);
    };
    BackupFile1.OnNeedDisk = [this](TBackupFile &s, uint16_t d, bool &c) { BackupFile1NeedDisk(s, d, c); };

    Now = [] { return int64_t(std::time(nullptr)); };
    FreeSpace = [](const QString &dir) -> int64_t {
        const QStorageInfo info(dir);
        return info.isValid() ? info.bytesAvailable() : -1;
    };
    ExitProgram = [](int code) { platform::ExitProgram(code); };
}

TBackupForm::~TBackupForm() = default;

// While the archive component runs, the form cannot be closed: the run lets
// pending events through, and a close would free the form under it.
void TBackupForm::closeEvent(QCloseEvent *event)
{
    if (BackupFile1.Busy())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void TBackupForm::reject()
{
    if (!BackupFile1.Busy())
        QDialog::reject();
}

QString TBackupForm::programDirectory()
{
    const std::string &dir = database.getDirectory();
    if (!dir.empty())
        return QString::fromStdString(dir);
    return database.isOpen() ? QString() : QDir::currentPath();
}

QString TBackupForm::databaseFile()
{
    return programDirectory() + QStringLiteral("/Quillet.zrv");
}

QString TBackupForm::generationFile(int generation)
{
    return generationPath(programDirectory(), generation);
}

int64_t TBackupForm::localMidnight(int64_t unixSeconds)
{
    const time_t t = time_t(unixSeconds);
    struct tm tm {};
    localtime_r(&t, &tm);
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return int64_t(mktime(&tm));
}

int32_t TBackupForm::volumeSizeFor(const QString &path) const
{
    const int64_t free = FreeSpace(QFileInfo(path).absolutePath());
    if (free < 0 || free > INT32_MAX)
        return INT32_MAX;  // unknown: one volume, and a full disk is reported as a write error
    return int32_t(std::max<int64_t>(free - 1024, 0));
}

void TBackupForm::BackupFile1Progress(TBackupFile &, const QString &, TPercentage percent, bool &)
{
    ProgressBar1->setValue(percent);
}

void TBackupForm::BackupFile1NeedDisk(TBackupFile &sender, uint16_t diskId, bool &cont)
{
    const QString note = sender.DiskNote().isEmpty() ? QString() : u'\n' + sender.DiskNote();
    if (!AskOkCancel(QStringLiteral("Please insert Disk #") + QString::number(diskId) + note, this)) {
        cont = false;
        return;
    }
    // the volume before is whole on its disk; what this one replaces is kept till the set is whole
    if (backingUp_)
        BackupFile1.MaxSize = volumeSizeFor(TBackupFile::VolumeName(archiveName_, TBackupFile::VolumeDigits(diskId)));
    cont = true;
}

bool TBackupForm::runBackup(const QString &fileName)
{
    archiveName_ = fileName;
    backingUp_ = true;
    BackupFile1.JournalFolder = programDirectory();
    const bool ok = BackupFile1.Backup({databaseFile()}, fileName);
    backingUp_ = false;
    return ok;
}

QString TBackupForm::notSyncedWarning(const QString &what)
{
    return what + QStringLiteral(" is in place, but the disk did not confirm that it is saved, so it may not survive "
                                 "a power cut.");
}

QString TBackupForm::backupNotSynced(const QString &fileName) const
{
    return BackupFile1.NotSynced() ? notSyncedWarning(QStringLiteral("The backup ") + fileName) : QString();
}

void TBackupForm::backupClick()
{
    if (BackupFile1.Busy())
        return;
    // A damaged file could not be restored, would replace the archive the
    // user picks, and would come back from the reopen below with its damage
    // marks forgotten.
    if (database.damageFound()) {
        ShowInfo(QStringLiteral("The database file is damaged and was not backed up. A backup can be restored with "
                                "Restore in the setup dialog (Setup)."),
                 this);
        return;
    }
    const QString chosen = pickArchive(platform::FileRequest::Save, QStringLiteral("請輸入備份檔案"),
                                       QStringLiteral("備份檔案 (*.zbf)"), this);
    if (chosen.isEmpty())
        return;
    if (QFileInfo::exists(chosen)) {
        if (platform::sameFile(chosen, databaseFile())) {
            ShowInfo(QStringLiteral("The database cannot be backed up onto itself."), this);
            return;
        }
        // replaced once the new archive is whole: a failed backup keeps it
        if (!AskYesNo(chosen + QStringLiteral(" is existed, replace it?"), this))
            return;
    }
    QApplication::setOverrideCursor(Qt::BusyCursor);
    BackupFile1.MaxSize = volumeSizeFor(chosen);
    ProgressBar1->show();
    const QString dbFile = databaseFile();
    database.close();
    const bool ok = runBackup(chosen);
    ProgressBar1->hide();
    const QString warning = ok ? backupNotSynced(chosen) : QString();
    ShowInfo(ok ? QStringLiteral("Backup Successfully.") + (warning.isEmpty() ? QString() : u'\n' + warning)
                : QStringLiteral("Fail to backup."),
             this);
    QApplication::restoreOverrideCursor();
    if (!database.open(kDatabaseName, QFile::encodeName(dbFile).constData())) {
        ShowInfo(QStringLiteral("Fail to open the database."), this);
        ExitProgram(1);
    }
}

namespace {

const char *const kDatabaseFileName = "Quillet.zrv";

// The engine's first report while a restored database file is checked.
class CheckedDatabase : public dbDatabase {
public:
    void handleError(int errorClass, const char *msg, int arg) override
    {
        if (report.empty() && errorClass != NoError && errorClass != FileLimitExeeded)
            report = errorText(errorClass, msg, arg);
        if (errorClass == Deadlock || errorClass == LockRevoked || errorClass == DatabaseReadOnly)
            dbDatabase::handleError(errorClass, msg, arg);  // ends the process
    }
    std::string report;
};

// Whether every row of table T can be reached along its row list (each row
// read is checked as it is fetched).
template <class T>
bool rowsReachable()
{
    dbCursor<T> rows;
    const std::size_t n = rows.select();
    std::size_t seen = n != 0 ? 1 : 0;
    while (rows.next())
        ++seen;
    return seen >= n;
}

// Empty when the database file at `path` is not empty, opens with all of
// the engine's checks, every table's rows can be walked and read and every
// index holds exactly its table's rows; else what the engine reported. Opened with all access: a backup taken while
// the program ran is marked dirty, which only a writer may recover, and the
// file is a copy no one else uses. The program's database must be closed.
QString damageOf(const QString &path)
{
    if (QFileInfo(path).size() <= 0)  // an open would format a missing or empty file as a new database
        return QStringLiteral("The database file is empty.");
    CheckedDatabase check;
    bool sound = check.open("Quillet", QFile::encodeName(path).constData());
    if (sound) {
        sound = rowsReachable<Config>() && rowsReachable<Category>() && rowsReachable<EnvelopeSetup>() &&
                rowsReachable<ChequeSetup>() && rowsReachable<ReceiptSetup>() && rowsReachable<Customer>() &&
                rowsReachable<MailSetup>() && rowsReachable<CustomerWidth>() && rowsReachable<Cheque>() &&
                rowsReachable<Mail>() && check.checkIndexes() && check.report.empty();
        check.close();
    }
    if (sound)
        return {};
    return check.report.empty() ? QStringLiteral("Database file was corrupted") : QString::fromStdString(check.report);
}

}  // namespace

void TBackupForm::restoreClick()
{
    if (BackupFile1.Busy())
        return;
    const QString chosen =
        pickArchive(platform::FileRequest::Open, QString(), QStringLiteral("Zarvo Backup File (*.zbf)"), this);
    if (chosen.isEmpty())
        return;
    if (!QFileInfo::exists(chosen)) {
        ShowInfo(QStringLiteral("Filename does not exist."), this);
        return;
    }
    // an archive that cannot be read whole goes on: the restore itself then fails and says why
    const ArchiveScan scan = scanArchive(chosen);
    if (scan.complete && !scan.holdsDatabase) {
        ShowInfo(QStringLiteral("This archive holds no database file (Quillet.zrv); nothing has been restored."), this);
        return;
    }
    if (!AskYesNo(QStringLiteral("Restoring the database will replace the current database, are you sure to restore it?"),
                  this))
        return;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    ProgressBar1->show();
    database.close();
    const bool ok = restoreDatabase(chosen);
    ShowInfo(ok ? QStringLiteral("Restore Completed. Restart the program.")
                : QStringLiteral("Fail to restore. Restart the program."),
             this);
    QApplication::restoreOverrideCursor();
    ExitProgram(0);
}

// Only the database entry is restored, beside the live file under a
// temporary name; the live file is replaced only once that copy has passed
// the engine's checks, so a damaged archive leaves it byte for byte. Every
// other entry of the archive is skipped: nothing else in the program's
// folder is written.
bool TBackupForm::restoreDatabase(const QString &archive, const QString &keepCurrentAs)
{
    const QString dir = programDirectory();
    const QString staged = dir + QStringLiteral("/Quillet.zrv.restore");
    BackupFile1.MaxSize = 0;
    BackupFile1.JournalFolder = dir;
    BackupFile1.OnRestoreFile = [&staged](TBackupFile &, QString &target, int32_t, bool &doRestore) {
        doRestore = QFileInfo(target).fileName() == QLatin1String(kDatabaseFileName);
        if (doRestore)
            target = staged;
    };
    bool ok = BackupFile1.Restore(archive, dir);
    BackupFile1.OnRestoreFile = nullptr;
    ProgressBar1->hide();
    if (ok) {
        const QString damage = damageOf(staged);
        if (!damage.isEmpty())
            ShowInfo("The database in this archive is damaged; the current database has been kept.\n" + damage, this);
        ok = damage.isEmpty();
    }
    // the current file is never removed: kept under its new name (and back
    // under its own when the restored one cannot take its place), or replaced
    const bool keep = !keepCurrentAs.isEmpty();
    if (ok && keep)
        ok = QFile::rename(databaseFile(), keepCurrentAs);
    const platform::Replaced placed = ok ? platform::replaceFileDurably(staged, databaseFile()) : platform::Replaced::No;
    if (ok && placed == platform::Replaced::No) {
        if (keep)
            QFile::rename(keepCurrentAs, databaseFile());
        ok = false;
    }
    if (placed == platform::Replaced::NotSynced)
        ShowInfo(notSyncedWarning(QStringLiteral("The restored database ") + databaseFile()), this);
    QFile::remove(staged);
    return ok;
}

void TBackupForm::helpButtonClick()
{
    OpenHelp(QStringLiteral("backup.htm"), this);
}

bool TBackupForm::backupTo(const QString &fileName)
{
    BackupFile1.MaxSize = INT32_MAX;
    const bool ok = runBackup(fileName);
    if (!ok)
        ShowInfo(QStringLiteral("Fail to backup."), this);
    else if (const QString warning = backupNotSynced(fileName); !warning.isEmpty())
        ShowInfo(warning, this);
    return ok;
}

// The generation the automatic backup writes, picked from the archives
// there, with the one after it recorded in the fetched Config record for the
// setup dialog; the caller updates the record. -1 (nothing recorded): no
// generation may be written in this run.
static int nextGeneration(dbCursor<Config> &config, AutoBackups allowed)
{
    const int total = config->totalBackup < 1 ? 1 : config->totalBackup;
    const int g = generationToWrite(TBackupForm::programDirectory(), total, allowed);
    if (g >= 0)
        config->lastBackup = int1((g + 1) % total);
    return g;
}

void TBackupForm::autoBackupDaily(AutoBackups allowed)
{
    if (allowed == AutoBackups::None || database.damageFound())
        return;  // a damaged file is never rotated over the good generations
    dbCursor<Config> config(dbCursorForUpdate);
    if (config.select() == 0 || !config->everyday)
        return;
    const int64_t today = localMidnight(Now());
    if (config->lastBackupDate.stamp == int32_t(today))
        return;
    const int g = nextGeneration(config, allowed);
    zarvoBuffer texts;
    config->password = texts.put(config->password);
    config->lastBackupDate = dbDateTime(int32_t(today));
    if (!config.update() || !database.commit())
        return;  // the settings could not be stored: no backup they would not know of
    if (g >= 0)
        backupTo(generationFile(g));
}

void TBackupForm::autoBackupOnExit(AutoBackups allowed)
{
    if (allowed == AutoBackups::None || database.damageFound())
        return;
    dbCursor<Config> config(dbCursorForUpdate);
    if (config.select() == 0 || !config->everytime)
        return;
    const int g = nextGeneration(config, allowed);
    if (g < 0)
        return;
    zarvoBuffer texts;
    config->password = texts.put(config->password);
    if (!config.update())
        return;
    // committed by the closing main window together with its column widths
    backupTo(generationFile(g));
}
