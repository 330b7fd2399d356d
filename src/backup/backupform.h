// TBackupForm, the "System Setup" dialog: the widths of the main grid's twelve
// columns, manual backup and restore of the database file, the automatic
// backup switches, and the two automatic backups (daily at start-up and on
// exit) into rotating generation files "Quillet<g>.zbf" in the program
// directory, each into the generation that generations.h picks from the
// archives there (the stored rotation only follows it). The caller creates
// it for one use and frees it afterwards; the database (the program's global
// one) must be open when it calls
// autoBackupDaily, autoBackupOnExit, backupClick or restoreClick, and closed
// when it calls restoreDatabase.
// Every backup replaces its archive only once the new one is whole (see
// TBackupFile::Backup): a full disk or a cancel keeps the archive that was
// there byte for byte; the sets of several volumes are noted in the program
// directory until they are whole. Each volume of a manual backup takes the
// room its disk has beside the previous backup's files at its name; only
// where that room cannot take a volume at all does it ask whether to
// replace them (Yes removes them; No fails the backup at Disk #1, and asks
// for another disk later on), and once it has replaced one, its questions
// and its failure say that the previous backup is gone from the disks. A
// backup or restore whose file is in place but whose folder the disk did
// not confirm is told as done, with a warning.
// The automatic and the manual backup skip a database in which damage has
// been found (and not mended), so that a damaged file never replaces a good
// archive.
// A restore that has closed the database always ends the program (exit
// code 0); one refused before (an archive with no database, another run of
// the program opening the database or restoring) leaves it running. A
// manual backup ends it (exit code 1) when the database cannot be opened
// again.
//
// A restore writes the archive's database beside the database file as
// "Quillet.zrv.restore" (the checked copy), checks it, and only then puts it
// in place: at start the unreadable file is first renamed aside, then the
// copy renamed to Quillet.zrv; from Setup the copy is renamed over the file.
// It is put in place only while no run of the program has the database file
// open (its locks on the file tell), and it first takes that file's group,
// permission bits and access control lists, as far as this user may give
// them, so that the other users of a shared database can open it.
// A restore cut off by a kill is settled by the next start
// (settleCutOffRestore): without a database file, a copy that passes the
// checks again is put in place; beside a database file, the copy is removed
// and the file stays as it was. A restore and a settling run only under the
// folder's replacing lock (restorelock.h), so neither ever meets the other's
// copy; whether the copy took the file's place is judged by the file then
// at the name.
#pragma once

#include "backup/backupfile.h"
#include "backup/generations.h"

#include <QDialog>
#include <QSet>

#include <cstdint>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;

// How a restore of the database ended, and why it failed.
struct RestoreResult {
    enum Outcome {
        Restored,
        ArchiveUnreadable,  // the archive's bytes
        NoDatabase,         // the archive holds no Quillet.zrv
        DatabaseDamaged,    // the database in it failed the checks
        NewerVersion,       // the database in it is of a newer release of the program
        NoRoom,             // less room in the folder than the database needs
        WriteFailed,        // writing or renaming in the folder failed for another reason
        NotAllowed,         // this user may not write in the folder, or the database file
        InUse,              // another run of the program has the database open
        Interrupted,        // the file is aside and the copy not in place: the next start finishes it
        Cancelled,          // the user cancelled at a disk prompt: nothing was changed
    };
    Outcome outcome = Restored;
    QString archive;        // the archive's file name
    QString detail;         // the component's error text, or the engine's report
    QString folder;         // where the database is written
    int64_t needed = 0;     // bytes the database takes there
    int64_t available = 0;  // bytes free there when the write failed
    bool notSynced = false; // restored, but the folder could not be synced: a power cut may undo it
    bool ok() const { return outcome == Restored; }
    // Writing in the folder failed, or was not allowed: no other archive
    // would fare better.
    bool writeFailed() const
    {
        return outcome == NoRoom || outcome == WriteFailed || outcome == Interrupted || outcome == NotAllowed ||
               outcome == InUse;
    }
    // Why it could not be restored, as a clause ("it cannot be read").
    QString why() const;
    // "The backup <archive> could not be restored: <why>.", and for a failed
    // write what was left as it was.
    QString text() const;
};

// What a start found of a restore that a kill cut off.
struct CutOffRestore {
    enum Found {
        Nothing,
        Undone,      // a database file is there: it stays, the copy is removed
        Finished,    // no database file: the checked copy was put in place
        CopyDamaged, // no database file, and the copy failed its checks: removed, not put in place
        NotFinished, // no database file, and the copy could not be put in place: sound, or one this
                     // user may not read (never taken for damaged)
    };
    Found found = Nothing;
    QString text;  // what to tell, empty for Nothing
};

class TBackupForm : public QDialog {
    Q_OBJECT
public:
    explicit TBackupForm(QWidget *owner = nullptr);
    ~TBackupForm() override;

    QProgressBar *ProgressBar1;
    QPushButton *helpButton;
    QTabWidget *PageControl1;
    QWidget *TabSheet1;
    QWidget *TabSheet2;
    QPushButton *backup;
    QPushButton *restore;
    QGroupBox *GroupBox4;
    QLabel *Label24;
    QCheckBox *everyday;
    QCheckBox *everytime;
    QLineEdit *remainEdit;  // the number shown by remainDay (read-only)
    QSpinBox *remainDay;    // generations kept, 1 to 100
    QPushButton *NoButton;
    QLabel *Label9;
    // Column widths in pixels as decimal text, columns 1 to 12 of the main grid.
    QLineEdit *id, *name, *person, *telephone, *mobile, *fax, *email, *website, *address, *remark, *amount,
        *category;
    TBackupFile BackupFile1;

    void backupClick();
    void restoreClick();
    void helpButtonClick();
    void BackupFile1Progress(TBackupFile &sender, const QString &filename, TPercentage percent, bool &cont);
    void BackupFile1NeedDisk(TBackupFile &sender, uint16_t diskId, bool &cont);
    // Which backup a run makes: a failure for want of room says what was
    // not backed up.
    enum class BackupRun { Manual, Daily, OnExit };
    // One unattended backup of the database file, read while it is open;
    // `run` names it in a failure for want of room.
    bool backupTo(const QString &fileName, BackupRun run = BackupRun::Daily);
    // The automatic backups, within what the caller allows in this run.
    void autoBackupDaily(AutoBackups allowed = AutoBackups::Normal);
    void autoBackupOnExit(AutoBackups allowed = AutoBackups::Normal);
    // Puts the database of an archive in place of the database file, once it
    // has passed the engine's checks; the file that was there is kept under
    // the name keepCurrentAs when one is given (never written over), else
    // replaced. Shows nothing: the result tells why it failed. The caller
    // holds the folder's replacing lock.
    RestoreResult restoreDatabase(const QString &archive, const QString &keepCurrentAs = QString());
    // Settles a restore cut off by a kill, before the database is opened
    // (see above), under the folder's replacing lock; shows nothing.
    static CutOffRestore settleCutOffRestore();
    // Whether a restore's checked copy lies beside the database file.
    static bool restoreCopyLeft();
    // Lets the user choose an archive to restore from; empty when cancelled.
    // The dialog opens where the last manual backup of this run wrote, else
    // in the program directory while it holds archives set aside at a start
    // (generations.h), else in the user's documents folder; for one kept
    // elsewhere, where the program's other file dialogs open
    // (platform/startfolder.h).
    static QString chooseArchiveToRestore(QWidget *owner, bool keptElsewhere = false);
    // What to tell after a restore whose result is notSynced.
    static QString restoredNotSyncedWarning();

    // The steps of restoreDatabase after which a file has a new name.
    enum class RestoreStep { CopyWritten, CopyChecked, CurrentKeptAside, CopyInPlace };
    // Seam for tests: runs after each of those steps (a test ends the process
    // there to leave what a kill leaves).
    static std::function<void(RestoreStep)> &RestoreStepDone();

    // The database file and the folder of the generation files.
    static QString programDirectory();
    static QString databaseFile();
    static QString generationFile(int generation);
    // Local midnight of the day of a moment, in seconds.
    static int64_t localMidnight(int64_t unixSeconds);
    // Volume size for a backup into path from the free space there: at most
    // 2,147,483,647, else the free space less 1,024 and two blocks of the
    // file system (the volume's last one, taken whole, and its tag's), and
    // at least 1 (a volume that takes no block: never 0, which is "any size").
    int32_t volumeSizeFor(const QString &path) const;

    // Seams for tests: the clock, the free space of a folder, ending the program.
    std::function<int64_t()> Now;
    std::function<int64_t(const QString &dir)> FreeSpace;
    std::function<void(int code)> ExitProgram;

    // Refused while a backup or restore runs.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // Archives the database file to fileName; the caller prepares the target.
    bool runBackup(const QString &fileName);
    // What the disk in the drive has for a volume: room for it (Enough),
    // none and nothing to replace (None), none and the previous backup's
    // volume kept at the user's No (Kept), or none as that volume could not
    // be removed (NotRemoved, the system's reason in notRemoved).
    enum class Room { Enough, None, Kept, NotRemoved };
    Room makeRoomForVolume(const QString &archive, uint16_t disk, QString &notRemoved);
    QString replaceQuestion(uint16_t disk, const QSet<QByteArray> &sets) const;
    // What a failure says once a Yes has replaced a volume of the previous backup.
    QString previousBackupGone() const;
    // Writes the archive's database to the copy and checks it.
    RestoreResult writeCheckedCopy(const QString &archive, const QString &copy);
    // Puts the checked copy in place of the database file (see restoreDatabase).
    RestoreResult putCopyInPlace(RestoreResult result, const QString &copy, const QString &keepCurrentAs);
    // What is in place but may not survive a power cut, told as such.
    static QString notSyncedWarning(const QString &what);
    // That warning for the backup just made into fileName; empty when its folder was synced.
    QString backupNotSynced(const QString &fileName) const;
    // "Fail to backup.", after a disk found full with what was not backed up.
    QString failedBackupText(const QString &fileName, BackupRun run) const;
    QString archiveName_;  // first volume of the backup being written
    bool backingUp_ = false;
    // Of the manual backup being made: the first disk whose previous volume
    // was replaced at the user's Yes (0: none), and the backups they were of.
    uint16_t replacedDisk_ = 0;
    QSet<QByteArray> replacedSets_;
};
