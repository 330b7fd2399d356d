// Exclusive locks on single bytes of a lock file, by which processes that
// share a folder keep out of each other's way. Each lock belongs to the open
// file it was taken through (an open-file-description lock): two ByteLocks
// on one file conflict also within one process, and the kernel drops every
// lock of a process as it ends, however it ends. Nothing is ever waited for.
//
// The caller keeps the lock file in place: it is created empty when missing
// and never written, and must never be removed or renamed, since a lock on
// a file that has lost its name keeps no one out. The lock file guards
// another file (the one whose users are to keep out of each other's way):
// whenever this process's user owns the lock file, it is given that file's
// group, and that file's read and write bits are added to its own, so that
// whoever may write that file may lock it too (while there is no such file,
// the folder's group, and read and write for whoever may write the folder). A lock file this process may only read gives shared locks
// alone (Take::Shared); one it cannot open at all (no such file in a folder
// it may not write, another kind of file at the name) or on a file system
// without locks gives none: every take fails, and failure() tells why. A
// process that forks without exec shares its locks with the child.
//
// Tests install a ByteLocksObserver to answer lock requests as a file system
// may: refused or interrupted.
#pragma once

#include <QString>

namespace platform {

// Test seam. The default implementation changes nothing.
class ByteLocksObserver {
public:
    virtual ~ByteLocksObserver() = default;
    // Called before each request to take a lock; a non-zero result is an
    // errno value the request is then answered with (the system is not asked).
    virtual int beforeTake() { return 0; }
};

class ByteLocks {
public:
    ByteLocks(const QString &path, const QString &guarded);
    ~ByteLocks();  // every lock taken through it goes
    ByteLocks(const ByteLocks &) = delete;
    ByteLocks &operator=(const ByteLocks &) = delete;

    enum class Take {
        Taken,          // for this object alone
        Shared,         // shared with others that could take it only so: it keeps out whoever takes it alone
        HeldElsewhere,  // another open file holds it
        Failed,         // it cannot be told whether another holds it
    };
    // Takes byte n, at once or not at all.
    Take take(int byte);
    // Whether another open file holds byte n; false when it cannot be told.
    bool heldElsewhere(int byte) const;
    void release(int byte);
    // The system's text of why the lock file could not be opened for
    // writing, or why a take failed; empty when neither happened.
    QString failure() const;
    // No process can lock the file: a link, a folder or another kind of
    // file stands at its name, or there is none and this user may not make it.
    bool lockableByNone() const { return lockableByNone_; }
    // The file is there, but this user may neither read nor write it, nor
    // make files in its folder: its owner has not shared it (yet), so no
    // lock of it reaches this user, and no file beside it is this user's to
    // make.
    bool outOfReach() const { return outOfReach_; }

    // Installs (or with nullptr removes) the process-wide test observer.
    static void setObserver(ByteLocksObserver *observer);

private:
    void shareWithUsersOf(const QString &guarded);

    int fd_ = -1;
    bool readOnly_ = false;
    int error_ = 0;
    bool lockableByNone_ = false;
    bool outOfReach_ = false;
};

}  // namespace platform
