// Exclusive locks on single bytes of a lock file, by which processes that
// share a folder keep out of each other's way. Each lock belongs to the open
// file it was taken through (an open-file-description lock): two ByteLocks
// on one file conflict also within one process, and the kernel drops every
// lock of a process as it ends, however it ends. Nothing is ever waited for.
//
// The caller keeps the lock file in place: it is created empty when missing
// and never written, and must never be removed or renamed, since a lock on
// a file that has lost its name keeps no one out. A lock file that cannot
// be opened for writing (a folder or file of another user) gives no locks at
// all: usable() is then false and every take fails. A process that forks
// without exec shares its locks with the child.
#pragma once

#include <QString>

namespace platform {

class ByteLocks {
public:
    explicit ByteLocks(const QString &path);
    ~ByteLocks();  // every lock taken through it goes
    ByteLocks(const ByteLocks &) = delete;
    ByteLocks &operator=(const ByteLocks &) = delete;

    bool usable() const { return fd_ >= 0; }

    enum class Take { Taken, HeldElsewhere, Failed };
    // Takes byte n for this object alone, at once or not at all.
    Take take(int byte);
    // Whether another open file holds byte n; false when it cannot be told.
    bool heldElsewhere(int byte) const;
    void release(int byte);

private:
    int fd_ = -1;
};

}  // namespace platform
