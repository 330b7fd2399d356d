// A file written under a temporary name in the folder of its final name and
// put in that name's place only once it is whole, so that a failed or
// stopped write (a full disk, a cancel, a crash) never costs the file that
// was there before: it stays byte for byte. The temporary (passing) name is
// the final name followed by ".passing-" and six letters or digits, so that
// what a crash leaves can be told by its name alone (isPassingName).
//
// The caller opens it (write only), writes, then finish()es it (everything
// written and synced to the disk) and commit()s it (renamed over the final
// name, the folder synced). A file that is not committed is removed with
// the object. Writes are buffered; a failed write, finish or commit is
// remembered, and outOfSpace() tells whether it was for want of space.
//
// A final name that is a symbolic link stays one: the file is written
// beside the file the link leads to (placeName()) and replaces that one.
// A commit whose rename worked but whose folder could not be synced has put
// the file in place (true), and says so with notSynced(): a power cut may
// still bring the old file back.
#pragma once

#include <QIODevice>
#include <QString>

namespace platform {

class StagedFile : public QIODevice {
public:
    explicit StagedFile(const QString &finalName);
    ~StagedFile() override;
    StagedFile(const StagedFile &) = delete;
    StagedFile &operator=(const StagedFile &) = delete;

    // Creates the temporary file (private to the user); only WriteOnly.
    bool open(OpenMode mode) override;
    bool isSequential() const override { return false; }

    // Writes out the buffer and syncs the file; it stays under its
    // temporary name. False when a write or the sync failed.
    bool finish();
    // Finishes the file if need be, renames it over the place name and
    // syncs the folder. False (and that file as it was) when the file could
    // not be finished or renamed; true once it is in place, synced or not.
    bool commit();
    // The last commit put the file in place, but its folder could not be synced.
    bool notSynced() const { return notSynced_; }
    // Removes the temporary file; the final name's file is left as it was.
    void discard();

    const QString &finalName() const { return finalName_; }
    // The file the commit replaces: the final name with its links followed.
    const QString &placeName() const { return placeName_; }
    const QString &temporaryName() const { return tempName_; }
    // Whether the first failure was a full disk, a full quota or the
    // process's file-size limit.
    bool outOfSpace() const { return failure_ != 0 && isOutOfSpace(failure_); }
    // The system's error code of the first failure, 0 when none.
    int failure() const { return failure_; }
    static bool isOutOfSpace(int errorCode);
    // Whether a file name (no folder) is a passing name of the file name
    // finalName, or, finalName empty, of any file name.
    static bool isPassingName(const QString &name, const QString &finalName = QString());

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 len) override;

private:
    bool writeOut(const char *data, qint64 len);
    bool flushBuffer();
    void fail(int errorCode);

    QString finalName_;
    QString placeName_;
    QString tempName_;
    int fd_ = -1;
    int failure_ = 0;
    bool finished_ = false;
    bool notSynced_ = false;
    QByteArray buffer_;
};

}  // namespace platform
