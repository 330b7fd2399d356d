// dbDatabase: the engine's database object. It owns one file mapped whole
// into memory, the two object indexes that map 32-bit object ids to offsets in
// that file, the page bitmap that records which 16-byte quanta are in use,
// and the transaction that changes them. A transaction works on a private
// copy of the object index and copies every object it changes (copy on
// write); commit makes all of it durable at once by switching the header's
// `curr` word between the two roots, rollback throws the copy away.
//
// Callers keep to these rules:
//  - Read through get()/getRow(); write only through put()/putRow() or into
//    an object allocated in the running transaction. A pointer from get() may
//    be stale after the next change of the same object.
//  - Every mutating call can fail (disk full, flush error, database read
//    only): it then returns 0 / nullptr, the transaction's changes are already
//    rolled back, and every further change fails until the caller ends the
//    transaction with commit() (which then returns false) or rollback().
//  - Only one thread changes the database at a time (beginTransaction with
//    dbExclusiveLock, done implicitly by the first change). Threads read
//    side by side only inside shared transactions: the object's roots and
//    mapping are brought up to date by the first thread of the process to
//    take a lock, and stay as they are while any thread holds one.
//
// The file format is described beside the code that writes it, in database.cpp.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/file.h"
#include "engine/sync.h"

typedef uint32_t oid_t;
typedef uint32_t offs_t;
typedef unsigned char byte;

constexpr size_t dbAllocationQuantumBits = 4;
constexpr size_t dbAllocationQuantum = 1 << dbAllocationQuantumBits;  // 16
constexpr size_t dbPageBits = 12;
constexpr size_t dbPageSize = 1 << dbPageBits;  // 4,096
constexpr size_t dbHandlesPerPageBits = dbPageBits - 2;
constexpr size_t dbHandlesPerPage = 1 << dbHandlesPerPageBits;  // index entries per page
constexpr size_t dbBitmapSegmentBits = dbPageBits + 3 + dbAllocationQuantumBits;  // 19
constexpr size_t dbBitmapSegmentSize = size_t(1) << dbBitmapSegmentBits;  // file bytes per bitmap page
constexpr size_t dbBitmapPages = 8192;
constexpr size_t dbDefaultInitDatabaseSize = 1024 * 1024;
constexpr size_t dbDefaultExtensionQuantum = 4 * 1024 * 1024;
constexpr size_t dbDefaultInitIndexSize = 64 * 1024;
constexpr unsigned dbWaitLockTimeoutInfinite = 0xFFFFFFFF;

constexpr uint32_t dbDatabaseMajorVersion = 2;
constexpr uint32_t dbDatabaseMinorVersion = 70;

// Object index entries.
constexpr offs_t dbFreeHandleMarker = 0x80000000;
constexpr offs_t dbInternalObjectMarker = 7;  // low bits of an entry
constexpr offs_t dbPageObjectMarker = 1;      // 4,096-byte page object
// Size of an internal object by its marker (0: a record, sized by its first word).
constexpr size_t dbInternalObjectSize[8] = {0, dbPageSize, 4, 512, 12, 12, dbPageSize, 0};

// Fixed object ids.
constexpr oid_t dbInvalidId = 0;
constexpr oid_t dbMetaTableId = 1;
constexpr oid_t dbBitmapId = 2;
constexpr oid_t dbFirstUserId = dbBitmapId + dbBitmapPages;  // 8,194

// ---- Stored structures (little-endian, fixed width) ----

struct dbHeaderRoot {
    offs_t index;          // this root's object index
    offs_t shadowIndex;    // the other root's object index
    uint32_t indexSize;    // capacity of `index`, in entries
    uint32_t shadowIndexSize;
    uint32_t indexUsed;    // ids 0 .. indexUsed - 1 are in use
    oid_t freeList;        // first free id, 0 when none
};
static_assert(sizeof(dbHeaderRoot) == 24);

struct dbHeader {
    uint32_t size;         // file size in bytes
    uint32_t curr;         // root of the last committed state (0 or 1)
    uint32_t dirty;        // 1 from the first change after a clean close
    uint32_t initialized;  // 1 once formatted
    dbHeaderRoot root[2];
    uint32_t majorVersion;
    uint32_t minorVersion;
};
static_assert(sizeof(dbHeader) == 72);

// Header of every record (a row of a table, or a stored table descriptor).
struct dbRecord {
    uint32_t size;  // bytes, header included
    oid_t next;     // next row of the same table, 0 at the end
    oid_t prev;     // previous row, 0 at the start
};
static_assert(sizeof(dbRecord) == 12);

// Varying part of a row: `size` elements stored at `offs` bytes from the start
// of the structure that holds the pair.
struct dbVarying {
    uint32_t size;
    uint32_t offs;
};
static_assert(sizeof(dbVarying) == 8);

// One field entry of a stored table descriptor.
struct dbField {
    // Type codes; the same numbers serve for the stored and the application
    // type of a field descriptor (class.h).
    enum FieldType {
        tpBool = 0, tpInt1 = 1, tpInt2 = 2, tpInt4 = 3, tpInt8 = 4, tpReal4 = 5, tpReal8 = 6,
        tpString = 7, tpReference = 8, tpArray = 9,
        tpMethodBool = 10, tpMethodInt1 = 11, tpMethodInt2 = 12, tpMethodInt4 = 13, tpMethodInt8 = 14,
        tpMethodReal4 = 15, tpMethodReal8 = 16, tpMethodString = 17, tpMethodReference = 18,
        tpStructure = 19, tpRawBinary = 20,
        tpUnknown = 22  // only as the old type of a field the stored layout lacks
    };
    dbVarying name;       // long name, NUL included
    dbVarying tableName;  // referenced table ("" when none)
    dbVarying inverse;    // inverse reference field ("" when none)
    int32_t type;
    int32_t offset;       // stored offset within the row
    int32_t size;         // stored size
    oid_t hashTable;
    oid_t tTree;
};
static_assert(sizeof(dbField) == 44);

// A stored table descriptor: a row of the Metatable (object id 1 describes the
// Metatable itself). The field entries follow at offset 48, then the strings.
struct dbTable {
    dbRecord hdr;
    dbVarying name;
    dbVarying fields;
    int32_t fixedSize;
    int32_t nRows;
    int32_t nColumns;
    oid_t firstRow;
    oid_t lastRow;
};
static_assert(sizeof(dbTable) == 48);

// The shared monitor: 18 words and the dirty-page map of the object index
// (bit k: entries 1,024k .. 1,024k + 1,023 of the working index differ from
// the committed index).
struct dbMonitor {
    uint32_t globalSectionCounter;   // 0
    uint32_t mutatorSectionCounter;  // 1
    uint32_t nReaders;               // 2 shared lock holders
    uint32_t nWriters;               // 3
    uint32_t nWaitReaders;           // 4
    uint32_t nWaitWriters;           // 5
    uint32_t waitForUpgrade;         // 6
    uint32_t delayedTransactions;    // 7
    uint32_t backupInProgress;       // 8
    uint32_t uncommittedChanges;     // 9
    uint32_t curr;                   // 10 committed root
    uint32_t commitInProgress;       // 11
    uint32_t transactionCounter;     // 12
    uint32_t lastRevocation;         // 13
    uint32_t version;                // 14 mapping version
    uint32_t users;                  // 15
    uint32_t ownerThreadId;          // 16
    uint32_t delayedCommitContext;   // 17
    byte dirtyPagesMap[131072];
};
static_assert(sizeof(dbMonitor) == 131144);

class dbTableDescriptor;
class dbFieldDescriptor;
class dbAnyCursor;
class dbIntegerOrder;
struct dbSharedMonitor;
struct dbProcessSlot;
class dbAnyReference;
class dbQuery;
class dbInheritedAttribute;
struct dbExprNode;
struct dbOrderByNode;

// Per-thread state of one database (kept in thread-local storage).
struct dbDatabaseThreadContext {
    bool readAccess = false;
    bool writeAccess = false;
    uint32_t concurrentId = 0;     // transaction counter seen at precommit
    bool mutatorSection = false;
    std::vector<dbAnyCursor*> cursors;  // open cursors of this thread
    // Rows that an update cursor's check found in a table's row list during
    // the thread's transaction: row -> table. No other thread or process
    // changes a row list while the transaction holds its lock; a row the
    // transaction removes leaves it, and the whole goes when it ends.
    std::unordered_map<oid_t, oid_t> rowTables;
    uint64_t threadId = 0;
    bool commitDelayed = false;
    bool removeContext = false;
};

// Named points of a commit reported to dbFileObserver::reached.
enum dbCommitPoint {
    dbPointIndexCopy = 1,  // half-way through copying the committed index into the other root
};

// Named points of an open or a count of users reported to
// dbFileObserver::reached.
enum dbUsersPoint {
    dbPointUsersLeaving = 2,  // processes found leaving, before their marks on the file are waited for
};

// Asks the processor for the cache line at p, a hint that reads nothing.
// The empty volatile statement keeps the compiler from taking a function
// that only asks for memory as free of effects and dropping its calls.
inline void dbPrefetch(const void* p)
{
    __builtin_prefetch(p);
    asm volatile("" : : "r"(p));
}

class dbDatabase {
public:
    enum dbAccessType { dbReadOnly = 0, dbAllAccess = 1, dbConcurrentRead = 2, dbConcurrentUpdate = 3 };
    enum dbLockType { dbSharedLock = 0, dbExclusiveLock = 1, dbCommitLock = 2 };
    enum dbErrorClass {
        NoError = 0,
        QueryError = 1,
        ArithmeticError = 2,
        IndexOutOfRangeError = 3,
        DatabaseOpenError = 4,
        FileError = 5,
        OutOfMemoryError = 6,
        Deadlock = 7,
        NullReferenceError = 8,
        LockRevoked = 9,
        FileLimitExeeded = 10,
        InconsistentInverseReference = 11,
        DatabaseReadOnly = 12,
    };

    dbDatabase(uint8_t accessType = dbAllAccess, uint32_t initSize = dbDefaultInitDatabaseSize,
               uint32_t extensionQuantum = dbDefaultExtensionQuantum,
               uint32_t initIndexSize = dbDefaultInitIndexSize, uint32_t nThreads = 1);

    // Reports an engine error. Classes 0, 1, 4, 5, 6, 10 and 11 return to the
    // caller (5 and 6, file and space errors, fail only the transaction), and
    // so do 2, 3 and 8, a query's run-time errors, which end only that select;
    // every other class prints, then "Abnormal program termination", and ends
    // the process with exit code 3. Tests override it to capture messages.
    virtual void handleError(int errorClass, const char* msg = nullptr, int arg = 0);
    virtual ~dbDatabase();
    // The text handleError prints for an error (without the line end).
    static std::string errorText(int errorClass, const char* msg, int arg);

    // Opens (creating and formatting when new, recovering when dirty) the
    // database file. False with a class 4 report when it cannot; a failed open
    // leaves nothing open. fileName null: "<name>.qdb".
    bool open(const char* name, const char* fileName = nullptr,
              unsigned waitLockTimeoutMsec = dbWaitLockTimeoutInfinite, unsigned commitDelaySec = 0);
    // Commits the calling thread's transaction, marks the file clean and
    // releases everything open took.
    void close();
    bool isOpen() const { return opened; }
    // Why the last open failed.
    enum dbOpenFailure {
        dbOpenDone,         // it did not
        dbFileUnavailable,  // the file could not be opened, made, locked or written (no right to it, another
                            // process, no space, ...): it may be a sound database
        dbFileNotDatabase,  // the file's bytes are no database this program can open: damaged, cut short or foreign
        dbFileNewerRelease  // a sound database of a later release of this program: beside every table and field
                            // this program knows, each stored exactly as this program stores it, it holds
                            // tables or fields it does not know
    };
    dbOpenFailure openFailure() const { return openFailed; }
    // The system's error code (errno) of the step that failed the last open,
    // 0 when that open did not fail for the system.
    int openError() const { return openErrno; }
    // Opens of this database by all processes: more than one whenever another
    // process holds the file open (its locks on the file tell, whatever its
    // shared memory or PID namespace), 1 only when none does. Processes that died are not
    // counted, nor those being killed or exiting: their marks are waited
    // for, at most a few seconds. A process that cannot be found here (gone,
    // or of another PID namespace) is counted by its mark alone, once the
    // kernel has had a moment to drop the marks of one that has gone. A
    // process whose main thread has ended while others run is counted at
    // once. When this is the only one left, a table layout the
    // open had to skip is loaded now.
    unsigned getNumberOfUsers();

    // ---- Transactions ----
    // Starts (or upgrades) the calling thread's transaction, waiting for the
    // lock as long as the open's lock wait allows; changes start one
    // implicitly. False when the database is not open, or was opened while
    // another process held the lock and that lock is still held (the table
    // layout is loaded by the first transaction that finds it free), or when
    // the lock wait ran out while a thread of this process holds the lock
    // (only another process's lock is revoked).
    bool beginTransaction(dbLockType type);
    // Makes the running transaction's changes durable. False when the
    // transaction failed (its changes were rolled back) or the commit could
    // not be written; the transaction is ended either way. A transaction
    // that changed nothing only ends: nothing is written or flushed.
    bool commit();
    void rollback();
    // Ends the transaction, leaving its changes for a later commit or rollback.
    void precommit();
    // True when the running transaction failed and has been rolled back
    // (further changes fail until commit or rollback).
    bool transactionFailed() const { return txnFailed; }
    // Ends a change that met damaged data or could not be completed: reports
    // msg (class 4) when given, and fails the running transaction (its
    // changes are rolled back) unless it failed already.
    void abandonChange(const char* msg);
    // Whether an id names a record (not free, not internal) inside the file.
    bool isRecord(oid_t oid) const { return findRecord(oid) != nullptr; }
    // The record an id names, checked as isRecord checks it; else null.
    const dbRecord* findRecord(oid_t oid) const
    {
        if (oid == 0 || oid >= currIndexSize) {
            return nullptr;
        }
        offs_t pos = currIndex[oid];
        if (pos == 0 || (pos & (dbFreeHandleMarker | dbInternalObjectMarker)) != 0
            || uint64_t(pos) + sizeof(dbRecord) > header->size) {
            return nullptr;
        }
        const auto* row = reinterpret_cast<const dbRecord*>(baseAddr + pos);
        return row->size >= sizeof(dbRecord) && uint64_t(pos) + row->size <= header->size ? row : nullptr;
    }
    // Where the object of an id would start when its index entry points
    // inside the file with room for `bytes` from there, else null; nothing
    // else is checked, so it is only fit for hints such as loading a row
    // early.
    const byte* addressHint(oid_t oid, std::size_t bytes = 1) const
    {
        if (oid < currIndexSize) {
            offs_t pos = currIndex[oid] & ~dbInternalObjectMarker;
            if (std::uint64_t(pos) + bytes <= header->size) {
                return baseAddr + pos;
            }
        }
        return nullptr;
    }
    // Rows are mostly linked in the order of their ids, a step apart: a
    // walk along a row list that reached `id` from `previous` asks for the
    // row that many steps ahead while it reads this one, so that it does
    // not wait for each row in turn.
    void prefetchRowAhead(oid_t id, oid_t previous) const
    {
        constexpr std::uint64_t steps = 16;
        if (id > previous) {
            const std::uint64_t ahead = id + std::uint64_t(id - previous) * steps;
            if (ahead < currIndexSize) {
                prefetchRow(oid_t(ahead));
            }
        }
    }
    // Asks the processor early for the first bytes of a row that is to be
    // read whole soon, enough for a row of a dozen short texts (a hint, as
    // prefetchKey below).
    void prefetchRow(oid_t oid) const
    {
        constexpr std::size_t lines = 6, line = 64;
        if (const byte* row = addressHint(oid, lines * line)) {
            for (std::size_t k = 0; k < lines; k++) {
                dbPrefetch(row + k * line);
            }
        }
    }
    // Asks the processor early for a row's bytes at `offs` (the field of a
    // key), or, with `text`, for the text that field points to (the row's
    // bytes at `offs` should have been asked for a while before). A hint:
    // a damaged id or field makes it ask for nothing, or for a useless
    // address, never read outside the file.
    void prefetchKey(oid_t oid, std::size_t offs, bool text) const
    {
        const byte* row = addressHint(oid, offs + sizeof(dbVarying));
        if (row == nullptr) {
            return;
        }
        if (!text) {
            dbPrefetch(row + offs);
            return;
        }
        dbVarying v;
        std::memcpy(&v, row + offs, sizeof v);
        dbPrefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(row) + v.offs));
    }

    // ---- Object storage (for descriptors, records and indexes) ----
    // Address of an object for reading (null for a free or unknown id).
    byte* get(oid_t oid);
    // Address of an object for writing: copies a committed object first.
    byte* put(oid_t oid);
    dbRecord* getRow(oid_t oid) { return reinterpret_cast<dbRecord*>(get(oid)); }
    dbRecord* putRow(oid_t oid) { return reinterpret_cast<dbRecord*>(put(oid)); }
    // Moves a row to an area of newSize bytes (header copied, rest of the old
    // contents copied up to the smaller size, size word set). The row keeps
    // its id and links.
    dbRecord* putRow(oid_t oid, size_t newSize);

    // A new record of `size` bytes (size word set, links 0), not in a table.
    oid_t allocateRecord(size_t size);
    // A new internal object of the size its marker gives (zeroed).
    oid_t allocateObject(offs_t marker);
    // A new row of `size` bytes appended as last row of the table whose
    // Metatable row is tableId (that row's firstRow, lastRow and nRows kept).
    oid_t allocateRow(oid_t tableId, size_t size);
    // Unlinks a row from its table and frees it.
    void freeRow(oid_t tableId, oid_t oid);
    // Frees a record or internal object and its id. A committed object's
    // space is released when the transaction commits.
    void freeObject(oid_t oid);

    // The primitives the calls above are built from.
    offs_t allocate(size_t size, oid_t oid = 0);
    void deallocate(offs_t pos, size_t size);
    oid_t allocateId(int n = 1);
    void freeId(oid_t oid, int n = 1);
    // Makes the bitmap pages covering an area writable.
    void cloneBitmap(offs_t pos, size_t size);
    // Ensures the file is at least `size` bytes. False when it cannot grow.
    bool extend(uint64_t size);

    // The calling thread's context (created on first use when `create`).
    dbDatabaseThreadContext* getContext(bool create);

    // ---- Inspection ----
    dbHeader* getHeader() const { return header; }
    byte* getBase() const { return baseAddr; }
    // Working index entry of an id (valid below getIndexSize()).
    offs_t getPos(oid_t oid) const { return currIndex[oid]; }
    uint32_t getIndexSize() const { return currIndexSize; }
    // The rows a stored table descriptor claims, as far as the file can hold
    // them: every row has an id of its own, so a count past the ids (or
    // below 0) is damage, and what is reserved for the rows of a walk or a
    // selection is bounded by the ids, never by the count as stored.
    std::size_t claimedRows(const dbTable* t) const
    {
        return t == nullptr || t->nRows <= 0 ? 0 : std::min<std::size_t>(std::size_t(t->nRows), currIndexSize);
    }
    uint64_t getFileSize() const { return file.getSize(); }
    uint8_t getAccessType() const { return accessType; }
    // Size in bytes of the object an index entry points to.
    size_t getObjectSize(offs_t pos) const;

    // ---- Descriptors ----
    // Chain of table descriptors attached to this database.
    dbTableDescriptor* tables = nullptr;

protected:
    // Scheme load: matches the application's descriptors with the stored ones
    // (alter: this process initialises the database). Returns false when the
    // open must fail.
    bool loadScheme(bool alter);
    bool schemeAcceptable(bool alter);
    bool knownLayouts();
    // Writes the Metatable's description of itself (object id 1) into a new file.
    bool storeMetatableDescriptor();

private:
    struct ReservedArea;
    class ChangeScope;
    class OccupiedMap;

    bool initializeFile(unsigned long long formatSize);
    bool checkLayout();
    void recoverDirtyFile();
    // Clears the next link of each table's last row when it leads to no
    // record (a row a crash left uncommitted); a link to a record is left
    // for the check of the tables to find.
    void clearDanglingRowLinks();
    bool isInterruptedFormat() const;
    void formatFile();
    void releaseResources();
    void reportOpenError(const char* msg);
    // An open refused for the file's bytes (see dbFileNotDatabase).
    void refuseFile(const char* msg);
    void reportFileError(const char* msg, int code);

    bool setDirty();
    void failTransaction();
    void markDirtyPage(oid_t oid);
    void setEntry(oid_t oid, offs_t value);
    void setBits(offs_t pos, size_t quanta, bool allocated);
    // A free run found by the allocator's scan; `pos` 0 when none.
    struct FreeRun {
        offs_t pos = 0;
        size_t page = 0, offs = 0;      // the rover's place after it
        size_t endPage = 0, endHole = 0;
    };
    void forgetFreeSpace();
    // `row`: the space is for a row (else for another object); when `oid`
    // is given, its object says which.
    offs_t allocateSpace(size_t size, oid_t oid, bool row = false);
    FreeRun findFreeRun(size_t n, bool aligned);
    offs_t takeSpace(offs_t pos, size_t size, oid_t oid);
    bool isUnusedSpace(offs_t pos, size_t size);
    offs_t allocateWithNewPages(size_t size, oid_t oid, size_t lastPage, size_t hole, bool mayGrow);
    bool overlapsReserved(offs_t pos, size_t size) const;
    void copyObject(oid_t oid, offs_t pos);
    bool releaseReplacedObjects(bool indexMoved);
    bool commitChanges();
    void restoreWorkingIndex();
    void endTransaction(dbDatabaseThreadContext* ctx);
    void refreshRoots(bool committedOnly = false);
    bool lockTransaction(dbLockType type, bool wait);
    bool waitForLock(uint64_t since, const bool& granted, dbProcessSlot& me);
    bool revokeLock(bool upgrading);
    bool startTransaction(dbDatabaseThreadContext* ctx, dbProcessSlot& me);
    void releaseLock(dbDatabaseThreadContext* ctx, dbProcessSlot& me);
    void checkOwnerDied();
    bool loadDeferredScheme();
    void sweepDeadProcesses();
    void discardWriterChanges();
    void rebuildWorkingRoot(bool fromFileSize);
    bool openMonitor(bool first);
    // The monitor of the token's users; token -1: the name that all of the
    // file's monitors begin with.
    std::string monitorName(int64_t token) const;
    int lockFileAsUser();
    // A slot of another process that may be leaving, and how long its mark
    // is waited for.
    struct LeavingUser {
        unsigned slot;
        unsigned waitMsec;
    };
    std::vector<LeavingUser> leavingUsers();
    void awaitUsersLeft(const std::vector<LeavingUser>& users, uint64_t since);

    uint8_t accessType;
    size_t initSize;
    size_t extensionQuantum;
    size_t initIndexSize;
    unsigned nThreads;

    byte* baseAddr = nullptr;
    dbHeader* header = nullptr;
    offs_t* currIndex = nullptr;
    offs_t* committedIndex = nullptr;
    offs_t* index[2] = {nullptr, nullptr};
    bool modified = false;
    size_t currRBitmapPage = dbBitmapId, currRBitmapOffs = 0;
    size_t currPBitmapPage = dbBitmapId, currPBitmapOffs = 0;
    // A transaction fills the holes of the file with its first
    // `clusterAfter` small objects, as an edit or two does. Past those, its
    // small objects are placed together, in a free run of at least
    // `clusterQuanta` quanta taken whole, so that the many copies of a large
    // transaction share their pages instead of dirtying a page each wherever
    // the file has a hole; [pos, end) of a `Cluster` is what is left of that
    // run. Once no such run is left within the file, the transaction fills
    // the holes there are (`runsGone`): the file is never grown for a run
    // while a hole would do. Rows and the other objects (index nodes,
    // chiefly) keep runs of their own, so that the rows a transaction adds
    // or copies lie together and a walk over them reads little else; rows,
    // read in turn by every such walk, take runs four times as long, so that
    // few of their pages are shared with what lies around a run.
    static constexpr size_t clusterQuanta = 256;
    static constexpr size_t rowClusterQuanta = 4 * clusterQuanta;
    static constexpr size_t clusterAfter = 64;
    struct Cluster {
        offs_t pos = 0, end = 0;
        bool runsGone = false;
    };
    size_t smallAllocations = 0;  // small objects this transaction has placed
    Cluster clusters[2];          // rows', other objects'
    ReservedArea* reservedChain = nullptr;
    std::string dbName;
    std::string fileName;
    uint32_t committedIndexSize = 0;
    uint32_t currIndexSize = 0;
    oid_t updatedRecordId = 0;
    unsigned waitLockTimeout = dbWaitLockTimeoutInfinite;
    dbFile file;
    dbSharedMemory monitorMemory;       // the monitor shared by all processes on the file
    dbSharedMonitor* shared = nullptr;
    dbMonitor* monitor = nullptr;
    dbGlobalCriticalSection cs;
    int processSlot = -1;               // this process's slot in the monitor
    uint32_t mappedVersion = 0;         // mapping version this process has mapped
    uint32_t seenTransactions = 0;      // transaction counter when this process last began one
    bool schemeUnavailable = false;     // opened while another process held the lock: no transactions
    bool countOnly = false;             // opened beside others with a monitor of its own: only counts users
    int64_t monitorToken = -1;          // the token of the monitor (dbFile::claimMonitorToken)
    int openErrno = 0;                  // the system's error code of the last open's failure, 0 when none
    std::vector<uint32_t> freeSpace;  // per bitmap page: bound of its longest free run, in quanta
    bool opened = false;
    dbOpenFailure openFailed = dbOpenDone;
    bool txnFailed = false;      // the running transaction failed and was rolled back
    bool commitBroken = false;   // a commit could not be written: no changes until reopened
    bool undoPending = false;    // a failure inside a change waits for its outermost scope
    int changeDepth = 0;
    uint64_t allocations = 0;    // areas taken since open (tells when cloning allocated)
    dbMutex contextsMutex;
    std::vector<std::unique_ptr<dbDatabaseThreadContext>> contexts;
    std::unique_ptr<dbThreadContextSlot> threadSlot;  // per open: no thread keeps a stale context

    // ---- Record operations (declared by the records part of the engine) ----
    // Defined in records.cpp; descriptors, hash index and T-tree reach the
    // storage calls above through the friends below. Each returns false when
    // the transaction failed (see the rules at the top of this file).
public:
    // Stores a record object of the table's class as the table's new last
    // row and sets ref to its id.
    bool insertRecord(dbTableDescriptor* table, dbAnyReference* ref, const void* record);
    // Replaces row oid by the record object's values. Values that the row
    // holds already, byte for byte, change nothing: nothing is copied or
    // written, and a transaction that made no other change stays unmodified.
    bool update(oid_t oid, dbTableDescriptor* table, const void* record);
    // Deletes row oid of the table.
    bool remove(dbTableDescriptor* table, oid_t oid);
    // Deletes every row of the table.
    bool deleteTable(dbTableDescriptor* table);
    // Whether every record the file holds is accounted for, and then every
    // index is sound. Accounted for: the Metatable's list is whole, and so
    // is every attached table's row list (each row valid, met once, linked
    // back, as many as the table counts, no stored table descriptor among
    // them), no two such lists reach the same row, and every other record
    // is a stored table descriptor. A list that is not whole takes none of
    // the rows it met from a whole list that reaches them; a table whose
    // list is not whole, shares rows with another, or leaves out records
    // laid out exactly as its rows is damaged, and so is the file where a
    // record no list reaches is laid out as no table's row. Then every hash
    // and T-tree index of each table left holds exactly its table's rows,
    // each once, where a search would look for it (a hash item in its key's
    // bucket under the key's hash, T-tree keys in order and balances as the
    // heights are). Each fault is reported (class 4) and marks its table
    // (see rowListBroken), the file (see strayRecordsFound) or the index
    // (see dbIndexWatch); so does a failure to allocate room for what the
    // table or index claims. Reads only: for checking a file before it is
    // taken into use.
    bool checkIndexes();
    // How long the steps of the last check (checkIndexes or
    // checkAndRebuildIndexes, the last pass) took, in seconds: the walk of
    // every table's row list, and the check of each index, in the order they
    // ran. For the benchmarks of the start.
    struct dbCheckTimes {
        double rows = 0;
        struct Index {
            const dbFieldDescriptor* field;
            bool hash;  // else a T-tree
            double seconds;
        };
        std::vector<Index> indexes;
    };
    const dbCheckTimes& lastCheckTimes() const { return checkTimes; }
    // For the benchmarks of the start too: when set, called before each
    // timed step of the check, outside its time (they empty the processor's
    // caches there, so that each step is timed from the same state whatever
    // the size of the file).
    std::function<void()> beforeCheckStep;
    // When set, called as checkAndRebuildIndexes begins to rebuild damaged
    // indexes, and then again every so often (a fraction of a second at a
    // million rows) until the check after the rebuild has ended, so that the
    // caller can show its progress. It must not use the database.
    std::function<void()> whileRebuilding;
    // What the start-up check found and did.
    enum dbIndexRepair {
        dbIndexesSound,      // nothing damaged
        dbIndexesRebuilt,    // only indexes were damaged; they were rebuilt, committed and checked again
        dbRowsDamaged,       // a row list is damaged: nothing was rebuilt
        dbIndexesDamaged,    // indexes are damaged and could not be rebuilt (or the check could not run)
        dbRowKeysChanged,    // rows' keys disagreed with their indexes (see dbChangedRow); the
                             // indexes were rebuilt from the rows as they are, committed and checked
        dbIndexesNoSpace     // indexes are damaged; their rebuild could not be written for want of
                             // disk space (or the file may not grow): nothing changed
    };
    // A row whose key disagrees with what an index of its field still
    // shows, whatever other damage that index has: filed under one key (the
    // hash code of a hash item that lies in that code's bucket) or in one
    // place of key order (an item alone out of a T-tree's order, when no
    // hash item of the field shows the key as filed), it now holds another.
    // Damage to the row itself is the likely cause, so its values may not be
    // what was stored.
    struct dbChangedRow {
        dbTableDescriptor* table;
        oid_t oid;
    };
    // The check of checkIndexes; when only indexes are damaged, or rows'
    // keys disagree with them, every index of each such field is replaced by
    // a new one filled from its table's rows (each row's current key once),
    // in one transaction that is committed, and the whole check runs again.
    // changedRows gets the rows told as changed (also when nothing could be
    // rebuilt). When there are such rows, tellChanged is called with them
    // once the rebuild has been written but before it is committed (the
    // caller's reads, of names say, join that transaction and must not end
    // it): so long as the rows have not been told, the file keeps the
    // disagreement, and a start that ends before then finds the same rows
    // again. The damaged index's old objects are left unreferenced in the
    // file: links that were found damaged could lead into another
    // structure, so nothing is freed through them. The caller must be the
    // database's only user and hold no transaction. Damage stays marked when
    // not rebuilt.
    dbIndexRepair checkAndRebuildIndexes(
        std::vector<dbChangedRow>* changedRows = nullptr,
        const std::function<void(const std::vector<dbChangedRow>&)>& tellChanged = {});
    // Whether damage has been met (and marked) in a row list or an index of
    // an attached table since it was attached, or records no list reaches
    // were found since then (see strayRecordsFound).
    bool damageFound() const;
    // The texts of the class 4 reports of a damaged row and a damaged index.
    static constexpr const char* invalidRecordText = "Database file was corrupted: invalid record";
    static constexpr const char* invalidIndexText = "Database file was corrupted: invalid index";
    // Reports (class 4) a break in the table's row list that a walk met, and
    // keeps the table marked until it is detached: from then on an insert or
    // a removal in it, which would link rows into a list no walk follows to
    // its end, fails with the same report and fails the transaction; so
    // does an update, since a row reached through a broken list may be a row
    // of another table or a table descriptor. A table with a broken
    // index (see dbIndexWatch) refuses inserts and removals the same way,
    // and updates that change a key of that index; searches then walk the
    // row list instead of the index.
    void rowListBroken(dbTableDescriptor* table);
    // Reports (class 4) records that the file holds, that no list reaches
    // and that are laid out as no table's rows, and keeps the database
    // marked (see damageFound) until its tables are detached.
    void strayRecordsFound();
    // Copies row oid into a record object; strings point into the file and
    // stay valid while the transaction lasts. A damaged row is reported
    // (class 4) and fetched as empty values: the result is then false.
    bool fetchRecord(dbTableDescriptor* table, oid_t oid, void* record);
    // Gives row oid an area of newSize bytes for this transaction: a
    // committed row always moves (copy on write), a private row moves only
    // when its size changes. Links are kept, the size word set, the rest of
    // the contents is for the caller to write.
    dbRecord* reallocateRow(oid_t oid, size_t newSize);
    // Tells the calling thread's cursors that record oid changed or was
    // removed, through cursorHook (set by the first cursor, on any thread,
    // hence atomic).
    void updateCursors(oid_t oid, bool removed = false);
    static inline std::atomic<void (*)(dbDatabase* db, oid_t oid, bool removed)> cursorHook = nullptr;
    // Called before an update or remove changes rows, so that the calling
    // thread's cursors finish work they put off (set by the cursors).
    static inline std::atomic<void (*)(dbDatabase* db)> changeHook = nullptr;
    // The attached descriptor of a table by name, null when none.
    dbTableDescriptor* findTable(const char* name);

private:
    friend class dbHashTable;
    friend class dbTtree;
    friend class dbTableDescriptor;
    friend struct dbRecordOps;
    struct RemovalLink;
    bool changed(bool ok);
    RemovalLink* removalChain = nullptr;  // records being removed (inverse references)
    bool strayRecords = false;            // see strayRecordsFound
    // Whether every record the file holds is the Metatable's own, one of its
    // list's or a row of exactly one stored table's list, every such list
    // whole (as the check of the tables finds it); reads only. The scheme
    // load asks it before it adds or converts a table.
    bool everyRecordListed();
    // The whole check; with `damaged`, the fields whose indexes failed it.
    struct DamagedIndex;
    dbIndexRepair checkTables(std::vector<DamagedIndex>* damaged, std::vector<dbChangedRow>* changedRows);
    dbCheckTimes checkTimes;
    // Set when a file error of the running repair was a want of space.
    bool outOfSpace = false;
    // From the start of a rebuild to the end of the check after it.
    bool rebuilding = false;
    // Calls whileRebuilding while rebuilding; `rows`, when given, is the
    // count of rows of a walk: every 65,536th only calls it.
    void tellRebuilding(std::size_t rows = 0)
    {
        if (rebuilding && whileRebuilding && rows % 65536 == 0) {
            whileRebuilding();
        }
    }
    // Rebuilds the indexes in one transaction; beforeCommit runs once they
    // are written, before the commit.
    bool rebuildIndexes(const std::vector<DamagedIndex>& damaged, const std::function<void()>& beforeCommit);
    // Scheme load steps (scheme.cpp).
    void convertTable(dbTableDescriptor* table, oid_t stored);
    bool alterIndexes(dbTableDescriptor* table, bool allowed);
    // A new hash table (hash) or T-tree of the field holding every row along
    // the table's row list (a T-tree is laid out from the rows' keys in
    // order); unwinds with dbTransactionFailed when it fails.
    oid_t buildIndex(dbTableDescriptor* table, dbFieldDescriptor* fd, bool hash);
    // Writes the field's index ids into the table's stored descriptor.
    void storeIndexIds(dbTableDescriptor* table, dbFieldDescriptor* fd);
    void checkReferences();
    // Detaches every attached descriptor (close, failed open).
    void detachTables();

    // ---- Cursors (defined in cursor.cpp, the wrapper in zarvoCursor.cpp) ----
public:
    // Selects every row of the cursor's table: begins the thread's
    // transaction (exclusive for an update cursor) and registers the cursor
    // with it. False when the transaction cannot begin.
    bool select(dbAnyCursor* cursor);
    // Selects the rows of the cursor's table that satisfy the query, in the
    // order it asks for (select.cpp); compiles the query on first use. False,
    // with nothing selected, when the query does not compile or a run-time
    // error of its condition ends the select (both reported to handleError).
    // A walk of the row list that meets a break in it is reported through
    // rowListBroken and returns false too, but keeps the rows it met before;
    // so does an index search that meets damage (see dbIndexWatch).
    bool select(dbAnyCursor* cursor, dbQuery& query);

private:
    bool selectRows(dbAnyCursor* cursor, dbQuery& query);
    // the steps of a query's select (select.cpp)
    // `seen`: the keys a scan noted of every row it selected, when it did.
    void sortSelection(dbAnyCursor* cursor, const dbOrderByNode* order, oid_t first, bool keysChecked,
                       const dbIntegerOrder* seen = nullptr);
    bool selectByIndexes(dbAnyCursor* cursor, const dbExprNode* condition, const dbOrderByNode* order,
                         dbInheritedAttribute& iattr);
    // False when the row list breaks (the rows before the break stay selected).
    bool scanRows(dbAnyCursor* cursor, const dbExprNode* filter, const dbOrderByNode* order,
                  dbInheritedAttribute& iattr);

    friend class dbAnyCursor;
    friend class zarvoDatabase;
    friend class dbCompaction;  // reads a file's committed state through a database it never opens
};
