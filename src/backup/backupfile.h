// TBackupFile writes a list of files into one compressed backup archive, which
// may span several volumes, and restores files from such an archive. Callers
// run one Backup or Restore at a time (Busy() tells), and keep any stream they
// hand in open for the whole run; the component never closes a caller's stream.
// Failures come back as error codes 1 to 7 (OnError, or a message box when no
// handler is set), never as exceptions.
#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class QIODevice;
namespace platform {
class LongWork;
}

enum TBackupMode : uint8_t { bmAll, bmIncremental };
enum TRestoreMode : uint8_t { rmAll, rmNoOverwrite, rmNewer, rmExisting, rmExistingNewer };
enum TCompressionLevel : uint8_t { clFastest, clNone, clDefault, clMax };
using TPercentage = int;  // 0 to 100

// Error codes of a run; backupErrorText gives their texts.
enum TBackupError : int32_t {
    beNone = 0,
    beCannotReadFile = 1,
    beOverwriteFailed = 2,
    beCannotReadArchive = 3,
    beCannotWriteArchive = 4,
    beInvalidArchive = 5,
    beCompression = 6,
    beTempFile = 7,
};
QString backupErrorText(int32_t code);

// DOS date-time of a moment in local time: high word the date, low word the
// time in two-second steps; years are clamped to 1980-2107.
int32_t dosDateTimeOf(int64_t unixSeconds);
int64_t unixSecondsOfDosDateTime(int32_t dos);

class TBackupFile {
public:
    using TProgressEvent = std::function<void(TBackupFile &sender, const QString &filename,
                                              TPercentage percent, bool &cont)>;
    using TNeedDiskEvent = std::function<void(TBackupFile &sender, uint16_t diskId, bool &cont)>;
    using TRestoreFileEvent = std::function<void(TBackupFile &sender, QString &filename,
                                                 int32_t fa, bool &doRestore)>;
    using TFileRestoredEvent = std::function<void(TBackupFile &sender, QString &filename,
                                                  QIODevice &stream)>;
    using TBackupErrorEvent = std::function<void(TBackupFile &sender, int32_t error,
                                                 const QString &errString)>;

    // The longest chunk of a file stored in one block.
    static constexpr int kChunk = 16384;
    // Longest archived name the reader accepts.
    static constexpr int kMaxName = 4096;

    TBackupFile();
    ~TBackupFile();
    TBackupFile(const TBackupFile &) = delete;
    TBackupFile &operator=(const TBackupFile &) = delete;

    // Settings.
    QString Version() const { return QStringLiteral("5.10"); }
    QString BackupTitle;
    int32_t MaxSize = 0;  // bytes per volume; 0 = one volume of any size
    TBackupMode BackupMode() const { return backupMode_; }
    void SetBackupMode(TBackupMode mode);  // incremental also sets SetArchiveFlag
    TRestoreMode RestoreMode = rmAll;
    TCompressionLevel CompressionLevel = clFastest;
    bool SetArchiveFlag = false;
    bool RestoreFullPath = false;
    bool SaveFileID = false;

    // Events; each runs only when assigned.
    TProgressEvent OnProgress;
    TNeedDiskEvent OnNeedDisk;
    TRestoreFileEvent OnRestoreFile;
    TFileRestoredEvent OnFileRestored;
    TBackupErrorEvent OnError;

    // Run after every block so that the window system stays alive. By default
    // the run is long work (platform/longwork.h) from its first block on: the
    // windows are painted and the user's input is dropped, so that no key or
    // click can start anything while a run is busy.
    std::function<void()> ProcessMessages;

    // Shown when OnError or OnNeedDisk is not assigned. Defaults: the program's
    // message dialogs. The prompt returns true for OK.
    std::function<void(const QString &text)> ShowErrorBox;
    std::function<bool(const QString &text)> AskDiskBox;

    // Where a Backup of several volumes keeps its journal (volumeset.h): a
    // folder on a disk that no volume prompt changes. Empty: the folder of
    // the first volume, and a Restore then knows of no set's state and reads
    // as without the journal (below).
    QString JournalFolder;

    // Runs. The archive name ":STREAM" selects the caller's stream. A
    // Backup to files replaces an archive of one volume only once the new
    // one is whole and on the disk; a failed or stopped one leaves it as it
    // was. An archive of several volumes is written as a set (volumeset.h):
    // what it replaces is kept until the set is known whole, so that a run
    // that fails, is stopped or is killed at any point, in one folder or
    // across disks, leaves the old archive or the new one whole for a
    // Restore; a Backup first puts right what earlier runs left at the
    // archive's volumes (their passing files removed too), and a volume with
    // no room beside what an earlier backup keeps at its name may take its
    // place (PreviousVolume). At a prompt, a disk with no room for a block
    // or that cannot be written is asked for again, the note saying why.
    //
    // A Restore only reads, and never changes a file on any disk: at each
    // volume it takes the copy of one set (volumeset.h), and refuses a
    // volume of another backup, or a further volume with a tag when the
    // first one has none that fits it, and asks again for the disk it needs
    // (DiskNote says why). It starts from the copy of the first volume placed
    // last that the journal does not note unfinished or replaced; without
    // the journal (another computer or data folder), from the copy placed
    // last, whatever the tags' times say. When the disk put in for a later
    // volume lacks that set's volume and an older backup is whole as far as
    // the disks have shown (its volumes up to that one, or an archive of one
    // volume without a tag), the next prompt asks for Disk #1 and says "The
    // backup made <date> is not whole on these disks; the one made <date>
    // is. Insert Disk #1 to restore it."; with that disk in, the Restore
    // starts over from the older backup and keeps nothing of the first
    // (with the first set's own disk in, it goes on with that, and the offer
    // is withdrawn). When the disk put in for a volume holds that volume of
    // other backups only, none is offered, and the journal does not note
    // the set being read whole, no whole backup can be read: the Restore
    // stops with error 3, its text saying which backups the disks hold and
    // the volume each lacks. So a Restore reads the newest backup whole on
    // the disks given, with or without the journal, and never mixes volumes
    // of two. The dates are only shown.
    bool Backup(const QStringList &files, const QString &archiveName);
    bool BackupToStream(const QStringList &files, QIODevice *stream);
    bool Restore(const QString &archiveName, const QString &targetDir);
    bool RestoreFromStream(QIODevice *stream, const QString &targetDir);
    QString GetArchiveTitle(const QString &archiveName, QStringList *idList);
    QString GetArchiveTitleFromStream(QIODevice *stream, QStringList *idList);

    // Reads one segment from source; writes its content to destination when
    // write is true, else passes over it. Returns false and sets the error
    // code when the segment is damaged.
    bool DeCompress(QIODevice &source, QIODevice *destination, bool write);

    int CompressionRate() const;
    void MessageError(int32_t code);
    bool Busy() const { return busy_; }
    void Stop() { continue_ = false; }

    // State of the last or current run.
    int32_t FileCount() const { return fileCount_; }
    int32_t FilesDone() const { return filesDone_; }
    int64_t TotalSize() const { return totalSize_; }
    int64_t BytesDone() const { return bytesDone_; }
    int64_t ArchiveBytes() const { return archiveBytes_; }
    int32_t ErrorCode() const { return errorCode_; }
    // Whether the last Backup could not write its archive for want of space
    // (a full disk or quota, or the process's file-size limit); error code 4
    // is then told as "Cannot write to archive: the disk holding <folder> is
    // full", the folder of the archive.
    bool DiskFull() const { return diskFull_; }
    // Whether the last Restore failed in writing a restored file (making,
    // filling or putting it in place) rather than in reading the archive;
    // its error code is then 1.
    bool TargetWriteFailed() const { return writeFailed_; }
    // Whether the last Backup put its archive in place (it returned true)
    // but a folder could not be synced: a power cut may still undo it.
    bool NotSynced() const { return notSynced_; }
    // While OnNeedDisk runs: why the disk is asked for again (no room for
    // the volume, or no volume of this archive on it); empty the first time.
    const QString &DiskNote() const { return diskNote_; }
    QString CurrentFile() const { return currentFile_; }
    // Whether the last run was stopped by Cancel at a disk prompt (with no
    // error): a Restore then has changed nothing.
    bool Cancelled() const { return cancelled_; }

    // For a volume with no room beside what an earlier backup keeps at its
    // name, before a Backup (volume 1) or from OnNeedDisk during one: what
    // the files of other backups at volume `number` of the archive on the
    // disk in the drive (volumeset::filesOfOthers) take, once what earlier
    // runs left there has been put right (their passing files removed too):
    // the bytes of their volumes (0 when there are none), and the backups
    // (sets) they belong to, by their tags.
    struct PreviousFiles {
        int64_t bytes = 0;
        QSet<QByteArray> sets;
    };
    PreviousFiles PreviousVolume(const QString &archiveName, uint16_t number);
    // Removes those files, each backup among them noted in the journal as no
    // longer whole where its volume went, so that no Restore here picks it.
    // False when a step failed, with the system's reason in `why`: a volume
    // that could not be removed stays, with its tag, and its backup is
    // still offered.
    bool ReplacePreviousVolume(const QString &archiveName, uint16_t number, QString *why = nullptr);
    // From OnNeedDisk in a Backup: the disk put in cannot take the volume
    // (`why` says so, in a sentence); it is asked for again with that note.
    void RefuseDisk(const QString &why);
    // Whether a volume of that size limit can take a block of the archive
    // (a prompt that leaves no room for one asks again, "There is no room
    // for it on the disk in the drive.").
    static bool VolumeTakesABlock(int32_t maxSize);

    // Expands list lines (file specifications, optionally ending in the token
    // " /s" to search subdirectories too) into full paths, each once, never
    // the archive itself.
    QStringList ExpandFileList(const QStringList &lines, const QString &archiveName) const;

    // The name of a further volume: the extension of the last path component
    // replaced by "." and the three digits.
    static QString VolumeName(const QString &name, const QString &digits);
    // The three digits of a volume number (the last three of "00" + number).
    static QString VolumeDigits(uint16_t volume);

private:
    struct Codec;
    class Volume;
    class Output;
    class Input;
    struct RestoreRun;
    enum class OpenResult { Opened, Missing, Unreadable };

    void fail(int32_t code);
    // A restored file could not be written: error code 1, told by TargetWriteFailed.
    void failWrite();
    void progress(const QString &file, int percent);
    int percentDone() const;
    void endRun();
    bool writeFileEntries(Output &out, const QStringList &names, QIODevice *idEntry);
    bool writeSegment(Output &out, QIODevice &in, int64_t &remaining);
    bool nextVolume(Output &out);
    static QString noRoomNote();
    void endWorkOutsideRun();
    bool askForDisk(uint16_t diskId);
    QString restoreTarget(const QString &archived, const QString &targetDir, bool &refused) const;
    OpenResult openArchive(Input &in, const QString &archiveName);
    bool openFirstVolume(RestoreRun &run, const QString &archiveName);
    bool openNextReadVolume(RestoreRun &run, const QString &digits);
    QString volumeProblem(RestoreRun &run, const QString &name, uint16_t number);
    void offerOlder(RestoreRun &run, uint16_t number);
    QString noWholeBackup(const RestoreRun &run, uint16_t number) const;
    bool offeredInDrive(RestoreRun &run);
    bool startOver(RestoreRun &run);
    QString volumePlace(const QString &archiveName, uint16_t number) const;
    QString journalFolderFor(const QString &archiveName) const;
    // The steps of a Restore, over the run's state.
    void readArchiveHead(RestoreRun &run);
    void restoreEntries(RestoreRun &run);
    void endOfArchive(RestoreRun &run);
    void continueOnNextVolume(RestoreRun &run, const QByteArray &record);
    void restoreEntry(RestoreRun &run, const QByteArray &name);
    bool restoreWanted(QString &target, int32_t date);
    bool startStagedFile(RestoreRun &run, const QString &target, int32_t date, const QByteArray &name);
    void readEntrySegment(RestoreRun &run);
    bool stagePending(RestoreRun &run);
    bool sizesAddUp(const RestoreRun &run) const;
    bool replaceTargets(RestoreRun &run);
    bool closeRestore(RestoreRun &run);
    // quiet: the bytes count neither in BytesDone nor in progress.
    bool readSegment(Input &in, QIODevice *destination, bool write, bool quiet = false);
    void expandLine(const QString &line, QStringList &out, QSet<QString> &seen,
                    const QString &archiveFull) const;

    TBackupMode backupMode_ = bmAll;
    int32_t fileCount_ = 0;
    int32_t filesDone_ = 0;
    int64_t totalSize_ = 0;
    int64_t bytesDone_ = 0;
    int64_t archiveBytes_ = 0;
    QString currentFile_;
    bool busy_ = false;
    std::unique_ptr<platform::LongWork> work_;  // of the default ProcessMessages, for one run
    bool continue_ = false;
    int32_t errorCode_ = 0;
    bool diskFull_ = false;
    QString archiveFolder_;  // of the Backup's archive
    bool writeFailed_ = false;
    bool notSynced_ = false;
    bool cancelled_ = false;
    const Output *writing_ = nullptr;  // while a Backup runs
    QString diskNote_;
    QString diskRefusal_;  // from OnNeedDisk, while it runs
    QString failureText_;  // what the error of the run says, where more than its code's text
    QIODevice *sourceStream_ = nullptr;
    QIODevice *targetStream_ = nullptr;
    std::unique_ptr<Codec> codec_;
};
