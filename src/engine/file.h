// The database file as seen by the engine: one file mapped whole at the base of
// an address range reserved once per open, so the mapping never moves while
// the file grows and pointers into it stay valid. Growth allocates disk space
// first (posix_fallocate), so a full disk is an error code rather than SIGBUS.
// Every flush result is checked. Open-file-description locks on the first
// bytes of the file tell whether this is the only process using it.
//
// Tests install a dbFileObserver to fail flushes or growth on purpose and to
// see the file at each flush; the engine reports named points of a commit to
// it as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class dbFile;

// Test seam. The default implementation changes nothing.
class dbFileObserver {
public:
    virtual ~dbFileObserver() = default;
    // Called before each flush; a non-zero result is an errno value the flush
    // then fails with (nothing is written to disk by that flush).
    virtual int beforeFlush(const dbFile&) { return 0; }
    // Called after each successful flush.
    virtual void afterFlush(const dbFile&) {}
    // Called before the file grows to newSize bytes; non-zero fails the growth.
    virtual int beforeGrow(const dbFile&, uint64_t newSize) { return 0; }
    // Called by the engine at named points of its work (see dbCommitPoint).
    virtual void reached(const dbFile&, int point) {}
};

class dbFile {
public:
    // Largest size the file may reach: the bitmap of 8,192 pages covers 4 GiB,
    // and the header keeps the size in 32 bits.
    static constexpr uint64_t maxSize = 0xFFFFF000u;

    dbFile() = default;
    ~dbFile();
    dbFile(const dbFile&) = delete;
    dbFile& operator=(const dbFile&) = delete;

    // What open does about a missing or present file.
    enum Creation {
        createMissing,  // create it when missing (unless read-only)
        existingOnly,   // fail with ENOENT when missing
        createNew,      // fail with EEXIST when present
    };
    // Opens (a new file is readable and writable by its owner alone) and
    // maps the file at its present size. Returns 0 or an errno value; on
    // failure nothing stays open. An empty file is left unmapped until setSize.
    int open(const char* fileName, bool readOnly, Creation creation = createMissing);
    // Grows the file to `size` bytes (a multiple of 4,096, at most maxSize);
    // the new part reads as zero. Shrinking is not supported. 0 or errno.
    int setSize(uint64_t size);
    // Writes every stored page to disk and waits for it. 0 or errno.
    int flush();
    // As flush, and the file's size and allocation too: for a file that is
    // about to be renamed into place. 0 or errno.
    int flushWhole();
    // Gives the file what says who may use another open file: its group,
    // its permission bits and its extended attributes, access control lists
    // among them (each by name, and none the other has not). The owner stays
    // this process's user. Every step is tried: 0, or errno of the first step
    // that failed (a group the user is not in, an attribute the system or
    // the user may not set), and the file then holds what could be given
    // (without the group, the group's bits neither).
    int takeAccessOf(const dbFile& other);
    // Unmaps and closes; releases the locks. 0 or errno.
    int close();

    // Tries to become the only process on the file: takes the opening lock
    // (waiting for another process's open or close to finish) and then a
    // shared user lock. Returns 1 when no other process uses the file, 0 when
    // another does, or a negative errno value. When the name was given to
    // another file meanwhile (one put in this file's place while its opening
    // lock was held), that file is opened and mapped instead, and locked.
    int lockAsUser();
    // Ends the opening phase started by lockAsUser (other openers may go on).
    void releaseOpeningLock();
    // Undoes lockAsUser: lets go of the opening lock and the user lock, so
    // that others open and count users as if this process had not begun.
    void unlockAsUser();
    // Waits for other processes' opens and closes and keeps them out until
    // releaseOpeningLock. 0 or errno.
    int lockOpening();
    // Marks slot n of the monitor as this process's (the kernel drops the mark
    // when the process dies). False when another process has it.
    bool claimSlot(unsigned n);
    // True when another process holds slot n.
    bool slotHeld(unsigned n) const;
    // True when another open file holds the user lock (a process that uses
    // the file, whatever its shared memory or PID namespace), or when that
    // cannot be told.
    bool othersUse() const;
    // The monitor that the users of the file share is named by a token that
    // each of them marks on the file, as long as it uses that monitor: a
    // monitor whose token no one marks is no one's. Tokens are below
    // monitorTokens. Marks the token as this process's too; false when the
    // mark cannot be made.
    static constexpr uint64_t monitorTokens = uint64_t(1) << 30;
    bool claimMonitorToken(uint64_t token);
    // The token another process marks, or -1 when none does.
    int64_t heldMonitorToken() const;
    // The group, and permission bits, that a block of shared memory for the
    // users of this file takes: read and write for each class of users that
    // may read or write the file.
    void sharedAccess(uint32_t& group, uint32_t& mode) const;
    // Waits until no other process holds slot n, at most timeoutMsec. True
    // when it is free.
    bool awaitSlotFree(unsigned n, unsigned timeoutMsec) const;
    // Maps the file up to `size` after another process grew it. 0 or errno.
    int mapTo(uint64_t size);
    // Whether the file may be replaced by another under its name: its name
    // is no link to it, it has no other name, and it is this process's user's.
    bool replaceableByName() const;
    // Device and inode of the file, as text naming it uniquely on this machine.
    std::string identity() const;

    bool isOpen() const { return fd >= 0; }
    bool isReadOnly() const { return readOnly; }
    unsigned char* getBase() const { return base; }
    uint64_t getSize() const { return mappedSize; }
    const std::string& getName() const { return name; }

    // The system's text for an errno value, or "unknown error code %u".
    static std::string errorText(int code);
    // Renames a whole file over another and syncs the folder, so that the
    // name leads to one file or the other, both whole, whatever stops the
    // process. 0 or errno (the rename's, or the folder sync's after a rename
    // that took place: `renamed` tells which).
    static int replace(const char* from, const char* to, bool& renamed);
    // Removes a file; 0 also when there was none, else errno.
    static int remove(const char* fileName);

    // Installs (or with nullptr removes) the process-wide test observer.
    static void setObserver(dbFileObserver* observer);
    // Reports a named point of the engine's work to the observer.
    void reached(int point) const;

private:
    // Whether the mapping has to grow to reach `size`; when not, `rc` says
    // why: 0 (it reaches that far already), EBADF or EFBIG.
    bool mustGrow(uint64_t size, int& rc) const;
    // Whether the file's name now leads to another file than the one open.
    bool nameMovedOn() const;
    int mapRange(uint64_t from, uint64_t to);
    void release();

    int fd = -1;
    bool readOnly = false;
    bool openingLockHeld = false;
    unsigned char* base = nullptr;   // start of the reserved range
    uint64_t reserved = 0;           // bytes reserved at base
    uint64_t mappedSize = 0;
    std::string name;
};
