#include "backup/backupform.h"

#include "appcore/dialogs.h"
#include "appcore/schema.h"
#include "backup/generations.h"
#include "backup/restorelock.h"
#include "engine/file.h"
#include "platform/accessibility.h"
#include "platform/file_attributes.h"
#include "platform/process.h"
#include "platform/startfolder.h"

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

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <optional>

namespace {

const char *const kDatabaseName = "Quillet";

// The archive to back up into or restore from, empty when cancelled. The
// dialog opens in `folder`; empty: where the user keeps files, as every
// other file request of the program (platform/startfolder.h).
QString pickArchive(platform::FileRequest::Mode mode, const QString &caption, const QString &filter, QWidget *owner,
                    const QString &folder = QString())
{
    platform::FileRequest request;
    request.mode = mode;
    request.caption = caption;
    request.directory = folder;
    request.fileName = QStringLiteral("Quillet");
    request.filters = QStringList {filter};
    request.defaultSuffix = QStringLiteral("zbf");
    request.confirmOverwrite = false;  // the backup asks its own question; a restore opens
    return platform::PickFile(request, owner);
}

// The folder of the archive the last manual backup of this run wrote;
// empty before one.
QString &lastBackupFolder()
{
    static QString folder;
    return folder;
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
    platform::PassOverTabLayer(PageControl1);
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
    const QString dir = QFileInfo(path).absolutePath();
    const int64_t free = FreeSpace(dir);
    if (free < 0 || free > INT32_MAX)
        return INT32_MAX;  // unknown: one volume, and a full disk is reported as a write error
    // the volume's last block is taken whole, and its tag takes a block of its own; a
    // disk with less room gets a volume that takes no block, never 0 ("any size")
    const int64_t block = QStorageInfo(dir).blockSize() > 0 ? QStorageInfo(dir).blockSize() : 4096;
    return int32_t(std::max<int64_t>(free - 1024 - 2 * block, 1));
}

// Sets MaxSize for volume `disk` of the archive from the room on the disk in
// the drive beside what earlier backups keep at the volume's name, as it is.
// Only where that room cannot take a volume at all is the user asked
// whether to replace them.
TBackupForm::Room TBackupForm::makeRoomForVolume(const QString &archive, uint16_t disk, QString &notRemoved)
{
    const QString volume = disk == 1 ? archive : TBackupFile::VolumeName(archive, TBackupFile::VolumeDigits(disk));
    // what earlier runs left there goes first
    const TBackupFile::PreviousFiles previous = BackupFile1.PreviousVolume(archive, disk);
    BackupFile1.MaxSize = volumeSizeFor(volume);
    if (TBackupFile::VolumeTakesABlock(BackupFile1.MaxSize))
        return Room::Enough;
    if (previous.bytes == 0)
        return Room::None;
    if (!AskYesNo(replaceQuestion(disk, previous.sets), this))
        return Room::Kept;
    if (!BackupFile1.ReplacePreviousVolume(archive, disk, &notRemoved))
        return Room::NotRemoved;
    if (replacedDisk_ == 0)
        replacedDisk_ = disk;
    replacedSets_.unite(previous.sets);
    BackupFile1.MaxSize = volumeSizeFor(volume);
    return TBackupFile::VolumeTakesABlock(BackupFile1.MaxSize) ? Room::Enough : Room::None;
}

// Once a volume of the previous backup has been replaced, that backup is
// gone from the disks, and the question says so where the disk holds more of it.
QString TBackupForm::replaceQuestion(uint16_t disk, const QSet<QByteArray> &sets) const
{
    const QString question = QStringLiteral("Disk #%1 holds the previous backup's volume and has no room for this one "
                                            "beside it. Replace it? ")
                                 .arg(disk);
    if (replacedDisk_ != 0 && sets.intersects(replacedSets_))
        return question + previousBackupGone();
    return question + QStringLiteral("If this backup then does not finish, the previous backup cannot be restored "
                                     "from these disks.");
}

QString TBackupForm::previousBackupGone() const
{
    return QStringLiteral("The previous backup can no longer be restored from these disks: its volume on Disk #%1 "
                          "has been replaced.")
        .arg(replacedDisk_);
}

void TBackupForm::BackupFile1Progress(TBackupFile &sender, const QString &, TPercentage percent, bool &)
{
    // A run that failed ends at 100 all the same, yet it has kept nothing (a
    // failed backup leaves no archive, a failed restore the database as it
    // was): the bar then shows none written.
    ProgressBar1->setValue(sender.ErrorCode() == 0 ? percent : 0);
}

void TBackupForm::BackupFile1NeedDisk(TBackupFile &sender, uint16_t diskId, bool &cont)
{
    const QString note = sender.DiskNote().isEmpty() ? QString() : u'\n' + sender.DiskNote();
    cont = AskOkCancel(QStringLiteral("Please insert Disk #") + QString::number(diskId) + note, this);
    // the volume before is whole on its disk; what this one replaces is kept till the set is whole
    QString notRemoved;
    if (cont && backingUp_ && makeRoomForVolume(archiveName_, diskId, notRemoved) == Room::NotRemoved)
        sender.RefuseDisk(QStringLiteral("The previous backup's volume on the disk in the drive could not be removed "
                                         "(%1), so it has been kept as it was.")
                              .arg(notRemoved));
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

QString TBackupForm::restoredNotSyncedWarning()
{
    return notSyncedWarning(QStringLiteral("The restored database ") + databaseFile());
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
    BackupFile1.JournalFolder = programDirectory();
    replacedDisk_ = 0;
    replacedSets_.clear();
    QString notRemoved;
    const QString folder = QFileInfo(chosen).absolutePath();
    switch (makeRoomForVolume(chosen, 1, notRemoved)) {
    case Room::Enough:
        break;
    case Room::None:
        BackupFile1.MaxSize = 0;  // one volume of any size: a disk that fills up is told so
        break;
    case Room::Kept:
        ShowInfo(QStringLiteral("Fail to backup.\nNo backup has been made: the disk holding %1 has no room for it "
                                "beside the previous backup, which has been kept as it was.")
                     .arg(folder),
                 this);
        return;
    case Room::NotRemoved:
        ShowInfo(QStringLiteral("Fail to backup.\nNo backup has been made: the previous backup's volume %1 could not "
                                "be removed (%2), so it has been kept as it was.")
                     .arg(chosen, notRemoved),
                 this);
        return;
    }
    QApplication::setOverrideCursor(Qt::BusyCursor);
    ProgressBar1->show();
    const QString dbFile = databaseFile();
    database.close();
    const bool ok = runBackup(chosen);
    ProgressBar1->hide();
    if (ok)
        lastBackupFolder() = QFileInfo(chosen).absolutePath();
    const QString warning = ok ? backupNotSynced(chosen) : QString();
    const QString gone = replacedDisk_ != 0 ? u'\n' + previousBackupGone() : QString();
    ShowInfo(ok ? QStringLiteral("Backup Successfully.") + (warning.isEmpty() ? QString() : u'\n' + warning)
                : failedBackupText(chosen, BackupRun::Manual) + gone,
             this);
    QApplication::restoreOverrideCursor();
    if (!database.open(kDatabaseName, QFile::encodeName(dbFile).constData())) {
        ShowInfo(QStringLiteral("Fail to open the database."), this);
        ExitProgram(1);
    }
}

namespace {

const char *const kDatabaseFileName = "Quillet.zrv";
const char *const kNoDatabaseInArchive =
    "This archive holds no database file (Quillet.zrv); nothing has been restored.";

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
// A file that this user may not open is no damage: `unavailable` (when
// given) then takes the system's reason, and the result is empty.
QString damageOf(const QString &path, bool *newerVersion = nullptr, QString *unavailable = nullptr)
{
    if (QFileInfo(path).size() <= 0)  // an open would format a missing or empty file as a new database
        return QStringLiteral("The database file is empty.");
    CheckedDatabase check;
    bool sound = check.open("Quillet", QFile::encodeName(path).constData());
    if (newerVersion)
        *newerVersion = !sound && check.openFailure() == dbDatabase::dbFileNewerRelease;
    if (unavailable && !sound && check.openFailure() == dbDatabase::dbFileUnavailable && check.openError() != 0) {
        *unavailable = QString::fromStdString(dbFile::errorText(check.openError()));
        return {};
    }
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

// What Setup's Restore tells before "Fail to restore.": the archive
// component's own error for an archive that cannot be read.
QString whySetupsRestoreFailed(const RestoreResult &result)
{
    switch (result.outcome) {
    case RestoreResult::ArchiveUnreadable:
        return result.detail.isEmpty() ? backupErrorText(beCannotReadArchive) : result.detail;
    case RestoreResult::NoDatabase:
        return QString::fromLatin1(kNoDatabaseInArchive);
    case RestoreResult::DatabaseDamaged:
        return QStringLiteral("The database in this archive is damaged; the current database has been kept.\n") +
               result.detail;
    default:
        return result.text();
    }
}

// Where Setup's restore opens (see chooseArchiveToRestore).
QString setupRestoreFolder()
{
    if (QFileInfo(lastBackupFolder()).isDir())
        return lastBackupFolder();
    const QString dir = TBackupForm::programDirectory();
    if (anyArchiveSetAside(dir))
        return dir;  // the start told the user to restore them from here
    return platform::DocumentsFolder();
}

}  // namespace

QString TBackupForm::chooseArchiveToRestore(QWidget *owner, bool keptElsewhere)
{
    return pickArchive(platform::FileRequest::Open, QString(), QStringLiteral("Zarvo Backup File (*.zbf)"), owner,
                       keptElsewhere ? QString() : setupRestoreFolder());
}

void TBackupForm::restoreClick()
{
    if (BackupFile1.Busy())
        return;
    const QString chosen = chooseArchiveToRestore(this);
    if (chosen.isEmpty())
        return;
    if (!QFileInfo::exists(chosen)) {
        ShowInfo(QStringLiteral("Filename does not exist."), this);
        return;
    }
    // an archive that cannot be read whole goes on: the restore itself then fails and says why
    const ArchiveScan scan = scanArchive(chosen);
    if (scan.complete && !scan.holdsDatabase) {
        ShowInfo(kNoDatabaseInArchive, this);
        return;
    }
    if (!AskYesNo(QStringLiteral("Restoring the database will replace the current database, are you sure to restore it?"),
                  this))
        return;
    // held until the program ends: no start settles the copy or opens the file meanwhile
    RestoreLock replacing(programDirectory());
    const RestoreLock::Outcome locked = replacing.enterRestore();
    if (locked == RestoreLock::CannotTell) {
        ShowInfo(QStringLiteral("The backup has not been restored: the lock file .Quillet.lock in %1 cannot be "
                                "locked (%2), so starts of the program there could not be kept out meanwhile. "
                                "Nothing has been changed.")
                     .arg(programDirectory(), replacing.failure()),
                 this);
        return;
    }
    if (locked != RestoreLock::Taken) {
        ShowInfo(QStringLiteral("The backup has not been restored: another run of the program is opening the "
                                "database in %1, or restoring a backup there. Nothing has been changed; try again "
                                "in a moment.")
                     .arg(programDirectory()),
                 this);
        return;
    }
    QApplication::setOverrideCursor(Qt::BusyCursor);
    ProgressBar1->show();
    database.close();
    const RestoreResult result = restoreDatabase(chosen);
    if (result.outcome == RestoreResult::Cancelled) {
        ShowInfo(result.text() + QStringLiteral(" Restart the program."), this);
    } else {
        if (!result.ok())
            ShowInfo(whySetupsRestoreFailed(result), this);
        else if (result.notSynced)
            ShowInfo(restoredNotSyncedWarning(), this);
        ShowInfo(result.ok() ? QStringLiteral("Restore Completed. Restart the program.")
                             : QStringLiteral("Fail to restore. Restart the program."),
                 this);
    }
    QApplication::restoreOverrideCursor();
    ExitProgram(0);
}

namespace {

// Where a restore writes the archive's database before it takes the
// database file's place.
QString checkedCopyIn(const QString &dir)
{
    return dir + QStringLiteral("/Quillet.zrv.restore");
}

// A size as the messages give it: whole megabytes, kilobytes below one;
// rounded up for room needed, down for room free.
QString sizeText(int64_t bytes, bool roundUp)
{
    constexpr int64_t kKilo = 1024, kMega = 1024 * 1024;
    const int64_t unit = bytes < kMega ? kKilo : kMega;
    const int64_t n = roundUp ? (bytes + unit - 1) / unit : bytes / unit;
    return QString::number(n) + (unit == kMega ? QStringLiteral(" MB") : QStringLiteral(" KB"));
}

void stepDone(TBackupForm::RestoreStep step)
{
    if (TBackupForm::RestoreStepDone())
        TBackupForm::RestoreStepDone()(step);
}

// Renames the checked copy over the database file. Whether it took place is
// judged by the file now at the name: the copy itself, even when the rename
// reported a failure after it; never by a copy that is no longer there.
platform::Replaced placeCopy(const QString &copy, const QString &current)
{
    const std::optional<platform::FileIdentity> checked = platform::fileIdentity(copy);
    const platform::Replaced placed = platform::replaceFileDurably(copy, current);
    if (placed == platform::Replaced::No && checked && platform::fileIdentity(current) == checked)
        return platform::Replaced::NotSynced;  // in place, the folder not synced after it
    return placed;
}

}  // namespace

QString RestoreResult::why() const
{
    switch (outcome) {
    case Restored:
        break;
    case ArchiveUnreadable:
        return QStringLiteral("it cannot be read");
    case NoDatabase:
        return QStringLiteral("it holds no database file (Quillet.zrv)");
    case DatabaseDamaged:
        return QStringLiteral("the database in it is damaged (%1)").arg(detail);
    case NewerVersion:
        return QStringLiteral("the database in it was made by a newer version of the program");
    case NoRoom:
        return QStringLiteral("it needs %1 free in %2, and only %3 is free there")
            .arg(sizeText(needed, true), folder, sizeText(available, false));
    case WriteFailed:
        return QStringLiteral("it needs %1 free in %2, and writing there failed").arg(sizeText(needed, true), folder);
    case NotAllowed:
        return QStringLiteral("this user may not change the files in %1 (%2)").arg(folder, detail);
    case InUse:
        return QStringLiteral("another run of the program has the database open");
    case Interrupted:
        return QStringLiteral("it could not be put in place as Quillet.zrv in %1").arg(folder);
    case Cancelled:
        break;
    }
    return {};
}

QString RestoreResult::text() const
{
    if (outcome == Cancelled)
        return QStringLiteral("Nothing has been restored from the backup %1; the database file Quillet.zrv has been "
                              "left as it was.")
            .arg(archive);
    const QString text = QStringLiteral("The backup %1 could not be restored: %2.").arg(archive, why());
    if (outcome == Interrupted)
        return text + QStringLiteral(" The next start of the program finishes the restore.");
    if (!writeFailed())
        return text;
    return text + QStringLiteral(" The database file Quillet.zrv has been left as it was.") +
           (outcome == NoRoom ? QStringLiteral(" Make room there and try again.") : QString());
}

std::function<void(TBackupForm::RestoreStep)> &TBackupForm::RestoreStepDone()
{
    static std::function<void(RestoreStep)> seam;
    return seam;
}

// Only the database entry is restored, beside the live file as the checked
// copy; the live file is replaced only once that copy has passed the
// engine's checks, so a damaged archive or a full disk leaves it byte for
// byte. Every other entry of the archive is skipped: nothing else in the
// program's folder is written.
RestoreResult TBackupForm::restoreDatabase(const QString &archive, const QString &keepCurrentAs)
{
    const QString copy = checkedCopyIn(programDirectory());
    RestoreResult result = writeCheckedCopy(archive, copy);
    ProgressBar1->hide();
    if (!result.ok()) {
        QFile::remove(copy);
        return result;
    }
    return putCopyInPlace(result, copy, keepCurrentAs);
}

RestoreResult TBackupForm::writeCheckedCopy(const QString &archive, const QString &copy)
{
    RestoreResult result;
    result.archive = QFileInfo(archive).fileName();
    result.folder = QFileInfo(copy).absolutePath();
    BackupFile1.MaxSize = 0;
    BackupFile1.JournalFolder = result.folder;
    BackupFile1.OnRestoreFile = [&copy](TBackupFile &, QString &target, int32_t, bool &doRestore) {
        doRestore = QFileInfo(target).fileName() == QLatin1String(kDatabaseFileName);
        if (doRestore)
            target = copy;
    };
    // told by the caller, after what matters more: a failed write or damage
    BackupFile1.OnError = [&result](TBackupFile &, int32_t, const QString &text) { result.detail = text; };
    const bool read = BackupFile1.Restore(archive, result.folder);
    BackupFile1.OnRestoreFile = nullptr;
    BackupFile1.OnError = nullptr;
    result.needed = BackupFile1.TotalSize();
    if (!read && BackupFile1.TargetWriteFailed()) {
        result.available = FreeSpace(result.folder);
        result.outcome = result.available >= 0 && result.available < result.needed ? RestoreResult::NoRoom
                                                                                    : RestoreResult::WriteFailed;
        if (const int denied = platform::folderWriteError(result.folder); denied != 0) {
            result.outcome = RestoreResult::NotAllowed;
            result.detail = QString::fromStdString(dbFile::errorText(denied));
        }
    } else if (!read && BackupFile1.Cancelled() && BackupFile1.ErrorCode() == 0) {
        result.outcome = RestoreResult::Cancelled;
    } else if (!read) {
        result.outcome = RestoreResult::ArchiveUnreadable;
    } else if (!QFileInfo::exists(copy)) {
        result.outcome = RestoreResult::NoDatabase;
    } else {
        stepDone(RestoreStep::CopyWritten);
        bool newer = false;
        result.detail = damageOf(copy, &newer);
        if (newer)
            result.outcome = RestoreResult::NewerVersion;
        else if (!result.detail.isEmpty())
            result.outcome = RestoreResult::DatabaseDamaged;
        else
            stepDone(RestoreStep::CopyChecked);
    }
    return result;
}

namespace {

// Locks the database file at `current` as a user of it (dbFile::lockAsUser):
// no run of the program has it open, and none opens it till `held` goes
// (one that waits then opens the file at the name). A missing file is left
// unopened. The outcome is Restored when that holds.
RestoreResult::Outcome lockDatabaseFile(const QString &current, dbFile &held, QString &detail)
{
    int rc = held.open(QFile::encodeName(current).constData(), false, dbFile::existingOnly);
    if (rc == ENOENT)
        return RestoreResult::Restored;
    const int users = rc == 0 ? held.lockAsUser() : -rc;
    if (users == 0)
        return RestoreResult::InUse;
    if (users > 0)
        return RestoreResult::Restored;
    detail = QString::fromStdString(dbFile::errorText(-users));
    return -users == EACCES || -users == EPERM || -users == EROFS ? RestoreResult::NotAllowed
                                                                   : RestoreResult::WriteFailed;
}

// Gives the copy what says who may use the file it replaces (its group,
// permission bits and access control lists), as far as this user may: the
// other users of a shared database can open the restored one.
void takeAccessOfDatabase(const QString &copy, const dbFile &held)
{
    dbFile taking;
    if (held.isOpen() && taking.open(QFile::encodeName(copy).constData(), false, dbFile::existingOnly) == 0)
        taking.takeAccessOf(held);
}

}  // namespace

// The current file is never removed: kept under its new name (and back
// under its own when the copy cannot take its place), or replaced. No run
// of the program has it open meanwhile.
RestoreResult TBackupForm::putCopyInPlace(RestoreResult result, const QString &copy, const QString &keepCurrentAs)
{
    const QString current = databaseFile();
    const bool keep = !keepCurrentAs.isEmpty();
    dbFile held;
    result.outcome = lockDatabaseFile(current, held, result.detail);
    if (!result.ok()) {
        QFile::remove(copy);
        return result;
    }
    takeAccessOfDatabase(copy, held);
    if (keep && !QFile::rename(current, keepCurrentAs)) {
        QFile::remove(copy);
        result.outcome = RestoreResult::WriteFailed;
        return result;
    }
    if (keep)
        stepDone(RestoreStep::CurrentKeptAside);
    const platform::Replaced placed = placeCopy(copy, current);
    if (placed != platform::Replaced::No) {
        result.notSynced = placed != platform::Replaced::Synced;
        stepDone(RestoreStep::CopyInPlace);
        return result;
    }
    if (keep && !QFile::rename(keepCurrentAs, current)) {  // a rename never writes over a file
        result.outcome = RestoreResult::Interrupted;  // the copy stays, for the next start to put in place
        return result;
    }
    QFile::remove(copy);
    result.outcome = RestoreResult::WriteFailed;
    return result;
}

bool TBackupForm::restoreCopyLeft()
{
    return QFileInfo::exists(checkedCopyIn(programDirectory()));
}

CutOffRestore TBackupForm::settleCutOffRestore()
{
    const QString dir = programDirectory();
    const QString copy = checkedCopyIn(dir);
    CutOffRestore settled;
    if (!restoreCopyLeft())
        return settled;
    const QFileInfo current(databaseFile());
    const QString cutOff = QStringLiteral("A restore of a backup was cut off before it was finished");
    if (current.exists() && current.size() > 0) {
        // the copy may be unchecked, or not yet the file's replacement: the file stands
        QFile::remove(copy);
        settled.found = CutOffRestore::Undone;
        settled.text = cutOff + QStringLiteral(". The database file Quillet.zrv in ") + dir +
                       QStringLiteral(" is as it was before it.");
        return settled;
    }
    QString unavailable;
    const QString damage = damageOf(copy, nullptr, &unavailable);
    if (!unavailable.isEmpty()) {  // no damage: it is left for one who may read it
        settled.found = CutOffRestore::NotFinished;
        settled.text = cutOff + QStringLiteral(", and the copy it left in ") + dir +
                       QStringLiteral(" (Quillet.zrv.restore) cannot be read by this user (") + unavailable +
                       QStringLiteral("), so it has not been put in place. Nothing has been changed: the user who "
                                      "restored it can finish the restore by starting the program.");
        return settled;
    }
    if (!damage.isEmpty()) {
        settled.found = CutOffRestore::CopyDamaged;
        settled.text = cutOff + QStringLiteral(", and the copy it left in ") + dir +
                       QStringLiteral(" (Quillet.zrv.restore) is damaged, so it has not been put in place (") +
                       damage + QStringLiteral(").") +
                       (QFile::remove(copy) ? QStringLiteral(" The copy has been removed.") : QString());
        return settled;
    }
    if (placeCopy(copy, current.filePath()) == platform::Replaced::No) {
        settled.found = CutOffRestore::NotFinished;
        settled.text = cutOff + QStringLiteral(", and its checked copy Quillet.zrv.restore in ") + dir +
                       QStringLiteral(" could not be put in place as Quillet.zrv. Nothing has been changed.");
        return settled;
    }
    settled.found = CutOffRestore::Finished;
    settled.text = cutOff + QStringLiteral(". It has now been finished: the database file Quillet.zrv in ") + dir +
                   QStringLiteral(" holds the restored database.");
    return settled;
}

void TBackupForm::helpButtonClick()
{
    OpenHelp(QStringLiteral("backup.htm"), this);
}

QString TBackupForm::failedBackupText(const QString &fileName, BackupRun run) const
{
    const QString failed = QStringLiteral("Fail to backup.");
    if (!BackupFile1.DiskFull())
        return failed;
    const QString folder = QFileInfo(fileName).absolutePath();
    switch (run) {
    case BackupRun::Manual:
        return failed + QStringLiteral("\nNo backup has been made. Make room on the disk holding %1 and try again.")
                            .arg(folder);
    case BackupRun::Daily:
        return failed + QStringLiteral("\nNo daily backup is made today: it is made at the first start of each day. "
                                       "To back up today, make room on the disk holding %1 and choose Backup in "
                                       "the setup dialog (Setup).")
                            .arg(folder);
    case BackupRun::OnExit:
        break;
    }
    return failed + QStringLiteral("\nNo backup is made as the program ends. Make room on the disk holding %1 "
                                   "before the next backup.")
                        .arg(folder);
}

bool TBackupForm::backupTo(const QString &fileName, BackupRun run)
{
    BackupFile1.MaxSize = INT32_MAX;
    const bool ok = runBackup(fileName);
    if (!ok)
        ShowInfo(failedBackupText(fileName, run), this);
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
        backupTo(generationFile(g), BackupRun::Daily);
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
    backupTo(generationFile(g), BackupRun::OnExit);
}
