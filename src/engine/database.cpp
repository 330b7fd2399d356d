// The database file, all little-endian, every position a byte offset from the
// start of the file:
//
//   page 0       dbHeader (72 bytes): size, curr, dirty, initialized, two
//                roots of six words (index, shadowIndex, indexSize,
//                shadowIndexSize, indexUsed, freeList), version 2.70.
//   4,096        object index of root 0 (one u32 per object id)
//   4,096 + 4N   object index of root 1 (N = index capacity)
//   then         bitmap pages, objects 2 .. 8,193 (one bit per 16-byte
//                quantum, bit 0 of byte k of page p = quantum
//                ((p - 2) * 32,768 + 8k) of the file, 1 = in use), followed by
//                records and internal objects wherever the bitmap finds room.
//
// An index entry is 0x80000000 + the next free id for a free id, an offset
// plus a marker in the low three bits for an internal object (1 = 4,096-byte
// page, 2 = 4, 3 = 512, 4 and 5 = 12, 6 = 4,096 bytes), or the offset of a
// record (a multiple of 16) whose first u32 is its size. Id 0 is never used,
// id 1 is the Metatable's description of itself, ids 2 .. 8,193 the bitmap.
//
// Root `curr` describes the last committed state; a transaction changes the
// other root's index and copies every committed object before changing it
// (bitmap pages included), so the committed state is never written until the
// header's `curr` switches to the other root, which is the commit point.
// `dirty` is stored and flushed before the first other store after a clean
// close; an open that finds it set rebuilds the working root from `curr`.

#include "engine/database.h"
#include "engine/class.h"
#include "engine/cursor.h"
#include "engine/hashtab.h"
#include "engine/ttree.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string_view>

namespace {

constexpr uint32_t unknownFreeSpace = 0x7FFFFFFF;
constexpr size_t quantaPerBitmapPage = dbPageSize * 8;                     // 32,768
constexpr size_t quantaPerPage = dbPageSize / dbAllocationQuantum;          // 256
constexpr size_t usefulBitmapSegment = dbBitmapSegmentSize - dbPageSize;    // 520,192
constexpr size_t lastBitmapPage = dbBitmapId + dbBitmapPages;              // 8,194, exclusive
constexpr uint64_t extensionRetryUnit = dbBitmapSegmentSize;               // 524,288
constexpr unsigned dbMaxProcesses = 64;
constexpr unsigned leavingUsersWaitMsec = 10000;  // the longest wait for the marks of processes that are leaving
// The longest wait for the mark of a process that cannot be told here: the
// moment the kernel may keep the marks of one that has gone. One of another
// PID namespace keeps its mark, and is then counted.
constexpr unsigned untoldUsersWaitMsec = 250;
const char* const corruptLayout = "Database file was corrupted: invalid file layout";
const char* const corruptRecord = "Database file was corrupted: invalid record";

constexpr uint64_t alignUp(uint64_t x, uint64_t unit)
{
    return (x + unit - 1) / unit * unit;
}

// For each byte value: free quanta from bit 0 up, from bit 7 down, the
// longest run of free quanta and the bit where the lowest such run starts.
struct ByteTables {
    uint8_t firstHole[256];
    uint8_t lastHole[256];
    uint8_t maxHole[256];
    uint8_t maxHoleOffset[256];

    constexpr ByteTables() : firstHole(), lastHole(), maxHole(), maxHoleOffset()
    {
        for (int m = 0; m < 256; m++) {
            int first = 0;
            while (first < 8 && !(m & (1 << first))) {
                first++;
            }
            int last = 0;
            while (last < 8 && !(m & (0x80 >> last))) {
                last++;
            }
            int best = 0, bestAt = 0, run = 0;
            for (int b = 0; b < 8; b++) {
                if (m & (1 << b)) {
                    run = 0;
                } else if (++run > best) {
                    best = run;
                    bestAt = b - run + 1;
                }
            }
            firstHole[m] = uint8_t(first);
            lastHole[m] = uint8_t(last);
            maxHole[m] = uint8_t(best);
            maxHoleOffset[m] = uint8_t(bestAt);
        }
    }
};

constexpr ByteTables byteTables;

// Sets or clears `count` bits starting at bit `from` of a bitmap.
void changeBits(byte* bitmap, size_t from, size_t count, bool set)
{
    while (count > 0 && (from & 7) != 0) {
        size_t bits = std::min<size_t>(count, 8 - (from & 7));
        byte mask = byte(((1u << bits) - 1) << (from & 7));
        bitmap[from >> 3] = set ? byte(bitmap[from >> 3] | mask) : byte(bitmap[from >> 3] & ~mask);
        from += bits;
        count -= bits;
    }
    if (count >= 8) {
        std::memset(bitmap + (from >> 3), set ? 0xFF : 0, count >> 3);
        from += count & ~size_t(7);
        count &= 7;
    }
    if (count > 0) {
        byte mask = byte((1u << count) - 1);
        bitmap[from >> 3] = set ? byte(bitmap[from >> 3] | mask) : byte(bitmap[from >> 3] & ~mask);
    }
}

bool isFree(offs_t entry)
{
    return (entry & dbFreeHandleMarker) != 0;
}

}  // namespace

// An area found by an allocation that is in progress: no nested allocation
// (copying a bitmap page to mark it) may return an overlapping one.
struct dbDatabase::ReservedArea {
    offs_t pos;
    size_t size;
    ReservedArea* next;
};

// What one process holds or waits for, so that its share can be taken back
// when it dies (its mark on the file's slot byte disappears with it).
struct dbProcessSlot {
    uint32_t pid;
    uint32_t inUse;
    uint32_t readers;         // threads holding the shared lock
    uint32_t writer;          // holds the exclusive lock
    uint32_t waitingReaders;
    uint32_t waitingWriters;
    uint32_t upgrading;
    uint32_t started;         // when the process started (dbCurrentProcessStartTime)
};

// The shared block: the documented monitor words and dirty-page map, then
// the critical section and the process slots.
struct dbSharedMonitor {
    dbMonitor words;
    dbSharedSection section;
    uint32_t deadUsers;  // a user died while attached: the file stays dirty at close
    dbProcessSlot slots[dbMaxProcesses];
};


// Brackets one public change. Failures inside only mark the transaction
// failed; the outermost scope then rolls the changes back, so no nested step
// goes on writing into a state that has been undone.
class dbDatabase::ChangeScope {
public:
    explicit ChangeScope(dbDatabase* database) : db(database) { db->changeDepth += 1; }
    ~ChangeScope()
    {
        if (--db->changeDepth == 0 && db->undoPending) {
            db->undoPending = false;
            db->restoreWorkingIndex();
        }
    }
    // True when a change may be made now (the file is marked dirty first).
    bool begin() { return db->setDirty(); }

private:
    dbDatabase* db;
};

dbDatabase::dbDatabase(uint8_t type, uint32_t size, uint32_t quantum, uint32_t indexSize, uint32_t threads)
    : accessType(type),
      initSize(size != 0 ? size : dbDefaultInitDatabaseSize),
      extensionQuantum(quantum),
      initIndexSize(indexSize),
      nThreads(threads)
{
    if (nThreads == 0) {
        nThreads = dbProcessorCount();
    }
    nThreads = std::min(nThreads, 64u);
    freeSpace.assign(lastBitmapPage, unknownFreeSpace);
}

dbDatabase::~dbDatabase()
{
    // The database is not closed here: an exit without close leaves the file
    // dirty and the next open recovers the last committed state. The monitor
    // goes with its last user.
    if (opened && shared != nullptr) {
        dbGlobalSectionGuard guard(cs);
        checkOwnerDied();
        sweepDeadProcesses();
        if (!file.othersUse()) {
            monitorMemory.unlink();
        }
    }
    detachTables();
    file.close();
}

// ---- Errors ----

std::string dbDatabase::errorText(int errorClass, const char* msg, int arg)
{
    char buf[600];
    const char* text = msg != nullptr ? msg : "";
    switch (errorClass) {
    case QueryError:
        std::snprintf(buf, sizeof buf, "%s in position %d", text, arg);
        return buf;
    case IndexOutOfRangeError:
        std::snprintf(buf, sizeof buf, "Index %d is out of range", arg);
        return buf;
    case FileError: {
        std::string reason = dbFile::errorText(arg).substr(0, 256);
        std::snprintf(buf, sizeof buf, "%s: %s", text, reason.c_str());
        return buf;
    }
    case OutOfMemoryError:
        std::snprintf(buf, sizeof buf, "Not enough memory: failed to allocate %d bytes", arg);
        return buf;
    case Deadlock:
        return "Deadlock is caused by upgrading shared locks to exclusive";
    case NullReferenceError:
        return msg != nullptr ? text : "Null object reference is accessed";
    case LockRevoked:
        return "Lock is revoked by some other client";
    case DatabaseReadOnly:
        return "Attempt to modify readonly database";
    case NoError:
    case FileLimitExeeded:
        return "";
    default:
        return text;
    }
}

void dbDatabase::handleError(int errorClass, const char* msg, int arg)
{
    switch (errorClass) {
    case NoError:
    case FileLimitExeeded:
        return;
    case QueryError:
    case DatabaseOpenError:
    case FileError:
    case OutOfMemoryError:
    case InconsistentInverseReference:
    case ArithmeticError:        // a query's run-time errors end only that select
    case IndexOutOfRangeError:
    case NullReferenceError:
        std::fprintf(stderr, "%s\n", errorText(errorClass, msg, arg).c_str());
        return;
    default:
        std::fprintf(stderr, "%s\n", errorText(errorClass, msg, arg).c_str());
        dbAbnormalTermination();
    }
}

void dbDatabase::reportOpenError(const char* msg)
{
    handleError(DatabaseOpenError, msg);
}

void dbDatabase::refuseFile(const char* msg)
{
    openFailed = dbFileNotDatabase;
    reportOpenError(msg);
}

void dbDatabase::reportFileError(const char* msg, int code)
{
    if (code == ENOSPC || code == EDQUOT || code == EFBIG) {
        outOfSpace = true;
    }
    handleError(FileError, msg, code);
}

// ---- Open and close ----

bool dbDatabase::open(const char* name, const char* fileNameArg, unsigned waitLockTimeoutMsec,
                      unsigned commitDelaySec)
{
    if (opened) {
        reportOpenError("Database is already opened");
        return false;
    }
    openFailed = dbFileUnavailable;  // until the file is found to be no database, or opens
    openErrno = 0;
    waitLockTimeout = waitLockTimeoutMsec;
    dbName = name != nullptr ? name : "";
    fileName = fileNameArg != nullptr ? std::string(fileNameArg) : dbName + ".qdb";

    uint64_t n = alignUp(std::max<uint64_t>(initIndexSize, dbFirstUserId), dbHandlesPerPage);
    uint64_t createSize = alignUp(std::max<uint64_t>(initSize, n * 16), dbBitmapSegmentSize);
    if (createSize > dbFile::maxSize) {
        reportOpenError("Failed to create database file: initial size too large");
        return false;
    }
    forgetFreeSpace();
    modified = txnFailed = undoPending = commitBroken = schemeUnavailable = false;
    tables = nullptr;
    threadSlot = std::make_unique<dbThreadContextSlot>();
    getContext(true);

    bool readOnly = accessType == dbReadOnly || accessType == dbConcurrentRead;
    int rc = file.open(fileName.c_str(), readOnly);
    if (rc != 0) {
        openErrno = rc;
        std::string msg = "Failed to create database file: " + dbFile::errorText(rc);
        reportOpenError(msg.c_str());
        releaseResources();
        return false;
    }
    rc = lockFileAsUser();
    if (rc < 0) {
        openErrno = -rc;
        reportOpenError("Failed to start database initialization");
        releaseResources();
        return false;
    }
    // Those found using the file may have gone since (killed): with the
    // opening lock held, no one comes meanwhile, and one found alone now is
    // the first.
    const bool first = rc == 1 || !file.othersUse();
    if (!openMonitor(first)) {
        if (first) {
            monitorMemory.unlink();
        }
        releaseResources();
        return false;
    }
    if (first) {
        if (!initializeFile(createSize)) {
            monitorMemory.unlink();  // nobody else has it: the process was alone
            releaseResources();
            return false;
        }
    } else {
        opened = true;
        // Load the scheme only when the lock is free at once; otherwise the
        // database is open for counting users but takes no transaction.
        bool writable = !readOnly;
        if (countOnly || !lockTransaction(writable ? dbExclusiveLock : dbSharedLock, false)) {
            schemeUnavailable = true;
        } else if (!loadScheme(false)) {
            releaseResources();
            return false;
        }
    }
    {
        dbGlobalSectionGuard guard(cs);
        monitor->users += 1;
    }
    file.releaseOpeningLock();
    openFailed = dbOpenDone;
    return true;
}

// The monitor lives in shared memory named after the file's device and
// inode and the token that its users mark on the file (dbFile::
// claimMonitorToken), so that every process on the same file finds it, two
// folders never share one, and one that its users left behind (killed, or
// on a file since replaced) is never taken for the one in use. The first
// process makes a new one (removing those left behind: as the first, it
// knows they are no one's), which every user of the file may open. A
// process that finds no monitor of the users it shares the file with (of
// another user who may not open it, in another /dev/shm, or gone meanwhile)
// gets one of its own: it only counts users, which its locks on the file
// tell the others as well.
bool dbDatabase::openMonitor(bool first)
{
    countOnly = false;
    int rc = EEXIST;
    if (first) {
        uint32_t group, mode;
        file.sharedAccess(group, mode);
        dbSharedMemory::unlinkAll(monitorName(-1));
        std::random_device random;
        for (int tries = 0; rc == EEXIST && tries < 16; tries++) {
            monitorToken = int64_t(((uint64_t(random()) << 32) | random()) % dbFile::monitorTokens);
            rc = monitorMemory.create(monitorName(monitorToken), sizeof(dbSharedMonitor), group, mode);
        }
        if (rc == 0 && !file.claimMonitorToken(uint64_t(monitorToken))) {
            rc = ENOLCK;
        }
    } else {
        monitorToken = file.heldMonitorToken();
        rc = monitorToken < 0 ? ENOENT : monitorMemory.open(monitorName(monitorToken), sizeof(dbSharedMonitor));
        if (rc == 0 && !file.claimMonitorToken(uint64_t(monitorToken))) {
            rc = ENOLCK;
        }
        if (rc != 0) {
            countOnly = true;
            rc = monitorMemory.createPrivate(sizeof(dbSharedMonitor));
        }
    }
    if (rc != 0) {
        openErrno = rc;
        reportOpenError("Failed to open database monitor");
        return false;
    }
    shared = static_cast<dbSharedMonitor*>(monitorMemory.address());
    monitor = &shared->words;
    if (first || countOnly) {
        if (!cs.create(&shared->section)) {
            reportOpenError("Failed to initialize database monitor");
            return false;
        }
        monitor->globalSectionCounter = 1;
        monitor->mutatorSectionCounter = 1;
        monitor->transactionCounter = 1;
        monitor->version = 1;
    } else {
        cs.open(&shared->section);
    }
    const uint32_t started = dbCurrentProcessStartTime();
    dbGlobalSectionGuard guard(cs);
    sweepDeadProcesses();
    for (unsigned i = 0; i < dbMaxProcesses && processSlot < 0; i++) {
        if (!shared->slots[i].inUse && file.claimSlot(i)) {
            processSlot = int(i);
            shared->slots[i] = dbProcessSlot{};
            shared->slots[i].inUse = 1;
            shared->slots[i].pid = dbCurrentProcessId();
            shared->slots[i].started = started;
        }
    }
    if (processSlot < 0) {
        reportOpenError("Failed to open database monitor: too many processes");
        return false;
    }
    mappedVersion = monitor->version;
    seenTransactions = monitor->transactionCounter;
    return true;
}

std::string dbDatabase::monitorName(int64_t token) const
{
    const std::string name = "/quillet-" + file.identity();
    return token < 0 ? name : name + "-" + std::to_string(token);
}

// Takes the file's user lock (dbFile::lockAsUser), waiting only while another
// process opens or closes the file. When others hold the file and some of
// them may be leaving, this process lets go of its locks, so that other
// openers go on meanwhile, waits for the leaving ones' marks to drop (each a
// bounded wait from the first look), and tries again: once they are gone it
// may be the first after all.
int dbDatabase::lockFileAsUser()
{
    const uint64_t since = dbTickCount();
    for (;;) {
        const int rc = file.lockAsUser();
        if (rc != 0) {
            return rc;
        }
        // Another process has checked, formatted or recovered the file (a
        // writer found dead while this one looks has its changes discarded,
        // which reads the header).
        baseAddr = file.getBase();
        header = reinterpret_cast<dbHeader*>(baseAddr);
        std::vector<LeavingUser> leaving = leavingUsers();
        const uint64_t now = dbTickCount();
        std::erase_if(leaving, [&](const LeavingUser& user) { return now >= since + user.waitMsec; });
        if (leaving.empty()) {
            return 0;
        }
        file.unlockAsUser();
        awaitUsersLeft(leaving, since);
    }
}

// The slots that other processes still mark on the file though they may be
// leaving: killed or exiting (waited for up to leavingUsersWaitMsec), or not
// to be found here (a process that has gone while the kernel keeps its marks
// a moment longer, at times after it has been reaped, or one of another PID
// namespace: waited for up to untoldUsersWaitMsec, then its mark tells). The
// shares of the leaving ones would count as users beside this process and
// turn a start away. A process whose main thread has ended while another
// thread runs is no such one. Before this process opens the monitor, it is
// mapped only for the look; a process with a monitor of its own knows of no
// others' slots.
std::vector<dbDatabase::LeavingUser> dbDatabase::leavingUsers()
{
    const bool lookOnly = shared == nullptr;
    if (lookOnly) {
        const int64_t token = file.heldMonitorToken();
        if (token < 0 || monitorMemory.open(monitorName(token), sizeof(dbSharedMonitor)) != 0) {
            return {};
        }
        shared = static_cast<dbSharedMonitor*>(monitorMemory.address());
        monitor = &shared->words;
        cs.open(&shared->section);
    } else if (countOnly) {
        return {};
    }
    std::vector<std::pair<unsigned, dbProcessSlot>> marked;
    {
        dbGlobalSectionGuard guard(cs);
        checkOwnerDied();
        for (unsigned i = 0; i < dbMaxProcesses; i++) {
            const dbProcessSlot& slot = shared->slots[i];
            if (slot.inUse && int(i) != processSlot && file.slotHeld(i)) {
                marked.emplace_back(i, slot);
            }
        }
    }
    if (lookOnly) {
        cs.close();
        monitorMemory.close();
        shared = nullptr;
        monitor = nullptr;
    }
    // Told outside the critical section: it reads the processes' files.
    std::vector<LeavingUser> leaving;
    for (const auto& [i, slot] : marked) {
        switch (dbProcessFateOf(slot.pid, slot.started)) {
        case dbProcessFate::running:
            break;
        case dbProcessFate::ending:
            leaving.push_back({i, leavingUsersWaitMsec});
            break;
        case dbProcessFate::cannotTell:
            leaving.push_back({i, untoldUsersWaitMsec});
            break;
        }
    }
    return leaving;
}

// Waits until the marks of the given slots drop, each at most until its
// wait from `since` has passed. The caller then sweeps out their shares
// like those of any process that died.
void dbDatabase::awaitUsersLeft(const std::vector<LeavingUser>& users, uint64_t since)
{
    file.reached(dbPointUsersLeaving);
    for (const LeavingUser& user : users) {
        const uint64_t now = dbTickCount(), until = since + user.waitMsec;
        file.awaitSlotFree(user.slot, now < until ? unsigned(until - now) : 0);
    }
}

bool dbDatabase::initializeFile(unsigned long long createSize)
{
    bool readOnly = file.isReadOnly();
    uint64_t fileSize = file.getSize();
    bool newFile = fileSize == 0;
    if (newFile) {
        if (readOnly) {
            reportOpenError("Can not open uninitialized file in read only mode");
            return false;
        }
        int rc = file.setSize(createSize);
        if (rc != 0) {
            openErrno = rc;
            std::string msg = "Failed to create database file: " + dbFile::errorText(rc);
            reportOpenError(msg.c_str());
            return false;
        }
        fileSize = createSize;
    }
    baseAddr = file.getBase();
    header = reinterpret_cast<dbHeader*>(baseAddr);
    if (fileSize < dbPageSize || fileSize % dbPageSize != 0) {
        refuseFile("Database file was corrupted: invalid file layout");
        return false;
    }
    if (header->curr > 1) {
        refuseFile("Database file was corrupted: invalid root index");
        return false;
    }
    opened = true;
    if (header->initialized != 1) {
        if (!newFile && !isInterruptedFormat()) {
            refuseFile("Database file was corrupted: not a database file");
            opened = false;
            return false;
        }
        if (readOnly) {
            reportOpenError("Can not open uninitialized file in read only mode");
            opened = false;
            return false;
        }
        formatFile();
    } else {
        if (!checkLayout()) {
            refuseFile("Database file was corrupted: invalid file layout");
            opened = false;
            return false;
        }
        monitor->curr = header->curr;
        if (header->dirty && readOnly) {
            reportOpenError("Can not open dirty file in read only moode");
            opened = false;
            return false;
        }
        if (!header->dirty && header->size != fileSize) {
            refuseFile("Database file was corrupted: file size in header differs from actual file size");
            opened = false;
            return false;
        }
        // Until the stored layouts are known to suit this program, only the
        // committed state is read: a refused file is left as it was.
        refreshRoots(true);
        if (!schemeAcceptable(true)) {
            opened = false;
            return false;
        }
        if (header->dirty) {
            recoverDirtyFile();
        } else if (readOnly) {
            refreshRoots();
        } else {
            // The working root is never trusted as found: it becomes a copy
            // of the checked committed one (nothing is written where they
            // already agree, as they do after a clean close).
            rebuildWorkingRoot(false);
        }
    }
    if (!opened || !loadScheme(true)) {
        opened = false;
        return false;
    }
    return true;
}

// The index capacity a new file gets from the construction parameters.
static uint32_t formatIndexCapacity(size_t initIndexSize)
{
    return uint32_t(alignUp(std::max<uint64_t>(initIndexSize, dbFirstUserId), dbHandlesPerPage));
}

// Header words a format writes for a file of `size` bytes, before it marks
// the file initialised.
static dbHeader formattedHeader(uint32_t size, uint32_t n)
{
    dbHeader h{};
    h.size = size;
    h.curr = 0;
    h.root[0] = {offs_t(dbPageSize), offs_t(dbPageSize + 4 * n), n, n, dbFirstUserId, 0};
    h.root[1] = {offs_t(dbPageSize + 4 * n), offs_t(dbPageSize), n, n, dbFirstUserId, 0};
    h.majorVersion = dbDatabaseMajorVersion;
    h.minorVersion = dbDatabaseMinorVersion;
    return h;
}

bool dbDatabase::isInterruptedFormat() const
{
    uint32_t n = formatIndexCapacity(initIndexSize);
    uint64_t fileSize = file.getSize();
    if (dbPageSize + 8 * uint64_t(n) > fileSize || header->initialized != 0) {
        return false;
    }
    dbHeader expected = formattedHeader(uint32_t(fileSize), n);
    expected.dirty = header->dirty;  // set just before the format's first flush
    return std::memcmp(&expected, header, sizeof(dbHeader)) == 0;
}

void dbDatabase::formatFile()
{
    lockTransaction(dbExclusiveLock, true);  // before the roots below are set up
    uint32_t n = formatIndexCapacity(initIndexSize);
    uint32_t fileSize = uint32_t(file.getSize());
    *header = formattedHeader(fileSize, n);
    monitor->curr = 0;
    index[0] = reinterpret_cast<offs_t*>(baseAddr + header->root[0].index);
    index[1] = reinterpret_cast<offs_t*>(baseAddr + header->root[1].index);
    currIndex = index[0];
    currIndex[0] = dbFreeHandleMarker;

    uint64_t used = dbPageSize + 8 * uint64_t(n);
    uint64_t bitmapPages = (used + usefulBitmapSegment - 1) / usefulBitmapSegment;
    std::memset(baseAddr + used, 0, bitmapPages * dbPageSize);
    std::memset(baseAddr + used, 0xFF, (used + dbPageSize * bitmapPages) / 128);
    for (size_t i = 0; i < dbBitmapPages; i++) {
        currIndex[dbBitmapId + i] = i < bitmapPages ? offs_t(used + i * dbPageSize + dbPageObjectMarker)
                                                    : dbFreeHandleMarker;
    }
    currIndexSize = dbFirstUserId;
    committedIndexSize = 0;
    modified = true;  // no dirty flush yet: until `initialized` a crash only means "format again"

    storeMetatableDescriptor();

    header->dirty = 1;
    std::memcpy(index[1], index[0], dbFirstUserId * sizeof(offs_t));
    std::memset(monitor->dirtyPagesMap, 0, sizeof monitor->dirtyPagesMap);
    modified = false;
    int rc = file.flush();
    if (rc == 0) {
        header->initialized = 1;
        rc = file.flush();
    }
    if (rc != 0) {
        std::string msg = "Failed to flush file: " + dbFile::errorText(rc);
        reportOpenError(msg.c_str());
        opened = false;
        return;
    }
    refreshRoots();
}

// Quanta of the file that the committed state occupies, built at open from
// the committed index alone, so that the stored bitmap can be checked
// against it and no two objects may share a quantum.
class dbDatabase::OccupiedMap {
public:
    explicit OccupiedMap(uint64_t fileSize) : words((fileSize / dbAllocationQuantum + 63) / 64, 0) {}

    // Marks an area; false when any of its quanta was marked already.
    bool mark(uint64_t pos, uint64_t size)
    {
        uint64_t q = pos / dbAllocationQuantum;
        const uint64_t end = (pos + size + dbAllocationQuantum - 1) / dbAllocationQuantum;
        if (end > words.size() * 64) {
            return false;
        }
        while (q < end) {
            uint64_t& w = words[q / 64];
            uint64_t bits = std::min<uint64_t>(64 - q % 64, end - q);
            uint64_t mask = (bits == 64 ? ~uint64_t(0) : ((uint64_t(1) << bits) - 1)) << (q % 64);
            if ((w & mask) != 0) {
                return false;
            }
            w |= mask;
            q += bits;
        }
        return true;
    }

    // Whether every marked quantum is set in the stored bitmap, whose pages
    // (in order, one per 524,288 bytes of file) are given.
    bool coveredBy(const std::vector<const byte*>& pages) const
    {
        constexpr size_t wordsPerPage = dbPageSize / sizeof(uint64_t);
        for (size_t i = 0; i < words.size(); i++) {
            if (words[i] == 0) {
                continue;
            }
            size_t page = i / wordsPerPage;
            if (page >= pages.size()) {
                return false;
            }
            uint64_t stored;
            std::memcpy(&stored, pages[page] + (i % wordsPerPage) * sizeof(uint64_t), sizeof stored);
            if ((words[i] & ~stored) != 0) {
                return false;
            }
        }
        return true;
    }

private:
    std::vector<uint64_t> words;  // bit q % 64 of word q / 64: quantum q, little-endian like the bitmap
};

// Everything an open relies on, checked from the committed root before the
// file is trusted or written: the roots, every object the committed index
// names (inside the file, overlapping neither the header, the two indexes nor
// each other, and marked in the committed bitmap), the free-id chain and the
// stored table descriptors. The working root is then derived from this one.
bool dbDatabase::checkLayout()
{
    uint64_t fileSize = file.getSize();
    auto areaInFile = [&](uint64_t pos, uint64_t size) {
        return pos >= dbPageSize && pos % dbAllocationQuantum == 0 && size <= fileSize && pos <= fileSize - size;
    };
    auto rootValid = [&](const dbHeaderRoot& r) {
        return r.indexSize >= dbFirstUserId && r.shadowIndexSize >= dbFirstUserId
            && areaInFile(r.index, 4 * uint64_t(r.indexSize))
            && areaInFile(r.shadowIndex, 4 * uint64_t(r.shadowIndexSize)) && r.indexUsed >= dbFirstUserId
            && r.indexUsed <= r.indexSize && r.indexUsed <= r.shadowIndexSize && r.freeList < r.indexUsed;
    };
    uint32_t c = header->curr;
    const dbHeaderRoot& committed = header->root[c];
    if (!rootValid(committed) || committed.index == committed.shadowIndex) {
        return false;
    }
    if (!header->dirty) {
        const dbHeaderRoot& working = header->root[1 - c];
        if (!rootValid(working) || working.index != committed.shadowIndex
            || working.shadowIndex != committed.index) {
            return false;
        }
    }
    OccupiedMap occupied(fileSize);
    if (!occupied.mark(0, dbPageSize) || !occupied.mark(committed.index, 4 * uint64_t(committed.indexSize))
        || !occupied.mark(committed.shadowIndex, 4 * uint64_t(committed.shadowIndexSize))) {
        return false;
    }
    const offs_t* idx = reinterpret_cast<const offs_t*>(baseAddr + committed.index);
    uint32_t used = committed.indexUsed;
    if (!isFree(idx[0])) {
        return false;
    }
    std::vector<const byte*> bitmapPages;
    bool bitmapEnded = false;
    // Objects lie mostly in the order of their ids: each record's size is
    // asked for some ids before it is read.
    constexpr oid_t idsAhead = 16;
    for (oid_t oid = 1; oid < used; oid++) {
        if (oid + idsAhead < used && (idx[oid + idsAhead] & (dbFreeHandleMarker | dbInternalObjectMarker)) == 0
            && idx[oid + idsAhead] < fileSize) {
            dbPrefetch(baseAddr + idx[oid + idsAhead]);
        }
        offs_t entry = idx[oid];
        bool isBitmap = oid >= dbBitmapId && oid < lastBitmapPage;
        if (isFree(entry)) {
            if (entry - dbFreeHandleMarker >= used) {
                return false;
            }
            bitmapEnded |= isBitmap;
            continue;
        }
        offs_t marker = entry & dbInternalObjectMarker;
        offs_t pos = entry - marker;
        if (marker == dbInternalObjectMarker) {
            return false;
        }
        if (isBitmap && (bitmapEnded || marker != dbPageObjectMarker)) {
            return false;
        }
        uint64_t size;
        if (marker != 0) {
            size = dbInternalObjectSize[marker];
        } else {
            if (!areaInFile(pos, sizeof(dbRecord))) {
                return false;
            }
            size = reinterpret_cast<const dbRecord*>(baseAddr + pos)->size;
            if (size < sizeof(dbRecord)) {
                return false;
            }
        }
        if (!areaInFile(pos, size) || !occupied.mark(pos, size)) {
            return false;
        }
        if (isBitmap) {
            bitmapPages.push_back(baseAddr + pos);
        }
    }
    if (isFree(idx[dbBitmapId]) || isFree(idx[dbMetaTableId]) || (idx[dbMetaTableId] & dbInternalObjectMarker)) {
        return false;
    }
    // The committed bitmap marks all of it: allocation can hand out nothing
    // that is in use.
    if (!occupied.coveredBy(bitmapPages)) {
        return false;
    }
    // The free-id chain holds only free ids of records and ends within
    // `used` steps.
    oid_t next = committed.freeList;
    for (uint32_t steps = 0; next != 0; steps++) {
        if (steps >= used || next < dbFirstUserId || !isFree(idx[next])) {
            return false;
        }
        next = idx[next] - dbFreeHandleMarker;
    }
    // Stored table descriptors: the Metatable's own row, exactly the
    // format's description of itself, and its list of rows, each a sound
    // descriptor row met once, linked back to the one before, the list as
    // long as the Metatable counts and ending at its last row, no two of one
    // table's name.
    auto descriptorValid = [&](oid_t oid) {
        if (oid == 0 || oid >= used || isFree(idx[oid]) || (idx[oid] & dbInternalObjectMarker)) {
            return false;
        }
        const dbTable* t = reinterpret_cast<const dbTable*>(baseAddr + idx[oid]);
        if (t->hdr.size < sizeof(dbTable) || t->nRows < 0
            || !dbTableDescriptor::storedRowSound(reinterpret_cast<const byte*>(t), oid == dbMetaTableId)) {
            return false;
        }
        // The fields' indexes are objects of their kind.
        auto isObject = [&](oid_t id, offs_t marker) {
            return id == 0 || (id >= dbFirstUserId && id < used && !isFree(idx[id]) && (idx[id] & dbInternalObjectMarker) == marker);
        };
        dbField field;
        for (uint32_t i = 0; i < t->fields.size; i++) {
            std::memcpy(&field, reinterpret_cast<const byte*>(t) + t->fields.offs + i * sizeof(dbField), sizeof field);
            if (!isObject(field.hashTable, dbHashTable::tableMarker) || !isObject(field.tTree, dbTtree::treeMarker)) {
                return false;
            }
        }
        return true;
    };
    if (!descriptorValid(dbMetaTableId)) {
        return false;
    }
    const dbTable* meta = reinterpret_cast<const dbTable*>(baseAddr + idx[dbMetaTableId]);
    if (meta->hdr.next != 0 || meta->hdr.prev != 0) {
        return false;
    }
    std::set<oid_t> met;
    std::set<std::string_view> names;
    oid_t previous = 0;
    for (oid_t row = meta->firstRow; row != 0; row = reinterpret_cast<const dbRecord*>(baseAddr + idx[row])->next) {
        if (row == dbMetaTableId || !met.insert(row).second || !descriptorValid(row)) {
            return false;
        }
        const dbTable* t = reinterpret_cast<const dbTable*>(baseAddr + idx[row]);
        if (t->hdr.prev != previous
            || !names.emplace(reinterpret_cast<const char*>(t) + t->name.offs, t->name.size - 1).second) {
            return false;
        }
        previous = row;
    }
    return previous == meta->lastRow && met.size() == size_t(meta->nRows);
}

void dbDatabase::recoverDirtyFile()
{
    rebuildWorkingRoot(true);
    clearDanglingRowLinks();
}

// Makes the working root a copy of the committed one again, whatever a
// process that crashed or lost its lock left in it.
void dbDatabase::rebuildWorkingRoot(bool fromFileSize)
{
    uint32_t c = header->curr, o = 1 - c;
    if (fromFileSize) {
        header->size = uint32_t(file.getSize());
    }
    dbHeaderRoot& committed = header->root[c];
    dbHeaderRoot& working = header->root[o];
    working.indexUsed = committed.indexUsed;
    working.freeList = committed.freeList;
    working.index = committed.shadowIndex;
    working.indexSize = committed.shadowIndexSize;
    working.shadowIndex = committed.index;
    working.shadowIndexSize = committed.indexSize;
    const offs_t* from = reinterpret_cast<const offs_t*>(baseAddr + committed.index);
    offs_t* to = reinterpret_cast<offs_t*>(baseAddr + working.index);
    for (uint32_t i = 0; i < committed.indexUsed; i++) {
        if (to[i] != from[i]) {
            to[i] = from[i];
        }
    }
    std::memset(monitor->dirtyPagesMap, 0, sizeof monitor->dirtyPagesMap);
    monitor->curr = c;
    refreshRoots();
}

void dbDatabase::clearDanglingRowLinks()
{
    auto clearTail = [this](oid_t tableId) {
        const dbTable* t = reinterpret_cast<const dbTable*>(get(tableId));
        if (t == nullptr || t->lastRow == 0) {
            return;
        }
        // Only a link to no record dangles: one to a record is damage of
        // the list (the check of the tables finds it), and clearing it would
        // cut the list it leads into.
        const dbRecord* last = findRecord(t->lastRow);
        if (last != nullptr && last->next != 0 && findRecord(last->next) == nullptr) {
            dbRecord* w = putRow(t->lastRow);
            if (w != nullptr) {
                w->next = 0;
            }
        }
    };
    const dbTable* meta = reinterpret_cast<const dbTable*>(get(dbMetaTableId));
    oid_t row = meta != nullptr ? meta->firstRow : 0;
    for (uint32_t steps = 0; row != 0 && steps < currIndexSize; steps++) {
        clearTail(row);
        const dbRecord* rec = getRow(row);
        row = rec != nullptr ? rec->next : 0;
    }
    clearTail(dbMetaTableId);
}

void dbDatabase::close()
{
    if (!opened) {
        return;
    }
    if (!commitBroken && !schemeUnavailable) {
        commit();
    } else {
        rollback();
    }
    file.lockOpening();  // no other process opens or closes meanwhile
    bool last;
    {
        dbGlobalSectionGuard guard(cs);
        checkOwnerDied();
        sweepDeadProcesses();
        monitor->users -= std::min<uint32_t>(monitor->users, 1);
        // Whether this is the last user is told by the locks on the file,
        // which the users of any monitor hold. The file is marked clean only
        // by the last user, and only when no commit is half done and nobody
        // died while attached; one with a monitor of its own never does.
        last = !file.othersUse();
        bool writable = (accessType == dbAllAccess || accessType == dbConcurrentUpdate) && !countOnly;
        if (header->dirty && writable && last && !commitBroken && monitor->nWriters == 0
            && !monitor->commitInProgress && !shared->deadUsers) {
            int rc = file.flush();
            if (rc == 0) {
                header->dirty = 0;
            } else {
                reportFileError("Failed to flush file", rc);
            }
        }
        shared->slots[processSlot] = dbProcessSlot{};
        processSlot = -1;
    }
    if (last) {
        monitorMemory.unlink();
    }
    releaseResources();
}

void dbDatabase::releaseResources()
{
    if (processSlot >= 0 && shared != nullptr) {
        dbGlobalSectionGuard guard(cs);
        shared->slots[processSlot] = dbProcessSlot{};
    }
    processSlot = -1;
    countOnly = false;
    file.close();  // also drops this process's locks on the file
    contexts.clear();
    threadSlot.reset();
    cs.close();
    monitor = nullptr;
    shared = nullptr;
    monitorMemory.close();
    baseAddr = nullptr;
    header = nullptr;
    currIndex = committedIndex = nullptr;
    index[0] = index[1] = nullptr;
    currIndexSize = committedIndexSize = 0;
    opened = false;
    modified = txnFailed = undoPending = commitBroken = schemeUnavailable = false;
    detachTables();
}

unsigned dbDatabase::getNumberOfUsers()
{
    if (!opened) {
        return 0;
    }
    const std::vector<LeavingUser> leaving = leavingUsers();
    if (!leaving.empty()) {
        awaitUsersLeft(leaving, dbTickCount());
    }
    unsigned users;
    {
        dbGlobalSectionGuard guard(cs);
        checkOwnerDied();
        sweepDeadProcesses();
        users = monitor->users;
    }
    // The locks on the file tell whether others use it, whatever monitor
    // they share; the monitor counts them. A process with a monitor of its
    // own was not alone at its open, and has loaded no tables.
    if (file.othersUse() || countOnly) {
        users = std::max(users, 2u);
    } else {
        users = 1;
    }
    if (users == 1) {
        // The process that held the lock at open has gone: this one goes on
        // as the only user, with the tables it could not load then.
        loadDeferredScheme();
    }
    return users;
}

// Loads the table layout that an open skipped because another process held
// the lock, once the lock can be had at once (that process's unfinished
// changes have been discarded if it died). False when it still cannot.
bool dbDatabase::loadDeferredScheme()
{
    if (!schemeUnavailable) {
        return true;
    }
    schemeUnavailable = false;
    bool writable = !file.isReadOnly();
    if (!lockTransaction(writable ? dbExclusiveLock : dbSharedLock, false)) {
        schemeUnavailable = true;
        return false;
    }
    if (!loadScheme(false)) {
        rollback();
        detachTables();
        schemeUnavailable = true;
        return false;
    }
    return true;
}

// ---- Thread contexts and transactions ----

dbDatabaseThreadContext* dbDatabase::getContext(bool create)
{
    if (!threadSlot) {
        return nullptr;
    }
    auto* ctx = static_cast<dbDatabaseThreadContext*>(threadSlot->get());
    if (ctx == nullptr && create) {
        auto owned = std::make_unique<dbDatabaseThreadContext>();
        owned->threadId = dbCurrentThreadId();
        ctx = owned.get();
        dbCriticalSection guard(contextsMutex);
        contexts.push_back(std::move(owned));
        threadSlot->set(ctx);
    }
    return ctx;
}

void dbDatabase::refreshRoots(bool committedOnly)
{
    uint32_t c = header->curr, w = 1 - c;
    index[0] = reinterpret_cast<offs_t*>(baseAddr + header->root[0].index);
    index[1] = reinterpret_cast<offs_t*>(baseAddr + header->root[1].index);
    committedIndex = index[c];
    committedIndexSize = header->root[c].indexUsed;
    if (committedOnly || commitBroken || file.isReadOnly()) {
        currIndex = index[c];  // read the committed state
        currIndexSize = committedIndexSize;
    } else {
        currIndex = index[w];
        currIndexSize = header->root[w].indexUsed;
    }
}

bool dbDatabase::beginTransaction(dbLockType type)
{
    return lockTransaction(type, true);
}

// Lock words of the monitor (changed only inside its critical section):
// nReaders shared holders, nWriters the exclusive holder (0 or 1),
// nWaitReaders / nWaitWriters waiting threads, waitForUpgrade a shared holder
// waiting to become the writer, ownerThreadId the writer's thread. Each
// process also records its own share in its slot, so that the share of a
// process that died can be taken back.
bool dbDatabase::lockTransaction(dbLockType type, bool wait)
{
    if (!opened || (schemeUnavailable && !loadDeferredScheme())) {
        return false;
    }
    dbDatabaseThreadContext* ctx = getContext(true);
    if (ctx->writeAccess) {
        if (monitor->ownerThreadId != ctx->threadId) {
            handleError(LockRevoked);
            return false;
        }
        return true;
    }
    if (type == dbSharedLock && ctx->readAccess) {
        return true;
    }
    dbAssert(type == dbSharedLock || (accessType != dbReadOnly && accessType != dbConcurrentRead));
    dbGlobalSectionGuard guard(cs);
    checkOwnerDied();
    dbProcessSlot& me = shared->slots[processSlot];
    const uint64_t since = dbTickCount();
    if (type == dbSharedLock) {
        bool granted = monitor->nWriters == 0 && monitor->nWaitWriters == 0 && !monitor->waitForUpgrade;
        if (!granted) {
            if (!wait) {
                return false;
            }
            monitor->nWaitReaders += 1;
            me.waitingReaders += 1;
            while (!granted) {
                if (!waitForLock(since, granted, me)) {
                    me.waitingReaders -= 1;
                    monitor->nWaitReaders -= std::min<uint32_t>(monitor->nWaitReaders, 1);
                    return false;
                }
                granted = monitor->nWriters == 0 && monitor->nWaitWriters == 0 && !monitor->waitForUpgrade;
            }
            me.waitingReaders -= 1;
            monitor->nWaitReaders -= std::min<uint32_t>(monitor->nWaitReaders, 1);
        }
        // Other threads of this process that hold the lock already read
        // through the roots and the mapping, outside this section: they stay
        // as the first of them found them, which is current, since nothing
        // can be committed while a shared lock is held.
        const bool joined = me.readers > 0;
        monitor->nReaders += 1;
        me.readers += 1;
        ctx->readAccess = true;
        return joined || startTransaction(ctx, me);
    }
    if (ctx->readAccess) {
        // Upgrade: at once when this thread is the only holder.
        bool granted = monitor->nReaders == 1 && monitor->nWriters == 0;
        if (!granted) {
            if (!wait) {
                return false;
            }
            if (monitor->waitForUpgrade) {
                handleError(Deadlock);
                return false;
            }
            monitor->waitForUpgrade = 1;
            monitor->nWaitWriters += 1;
            me.upgrading = 1;
            me.waitingWriters += 1;
            while (!granted) {
                if (!waitForLock(since, granted, me)) {
                    break;
                }
                granted = monitor->nReaders <= 1 && monitor->nWriters == 0;
            }
            me.upgrading = 0;
            me.waitingWriters -= 1;
            monitor->waitForUpgrade = 0;
            monitor->nWaitWriters -= std::min<uint32_t>(monitor->nWaitWriters, 1);
            if (!granted) {
                return false;
            }
        }
        monitor->nReaders -= std::min<uint32_t>(monitor->nReaders, 1);
        me.readers -= std::min<uint32_t>(me.readers, 1);
        ctx->readAccess = false;
    } else {
        bool granted = monitor->nReaders == 0 && monitor->nWriters == 0 && !monitor->waitForUpgrade;
        if (!granted) {
            if (!wait) {
                return false;
            }
            monitor->nWaitWriters += 1;
            me.waitingWriters += 1;
            while (!granted) {
                if (!waitForLock(since, granted, me)) {
                    break;
                }
                granted = monitor->nReaders == 0 && monitor->nWriters == 0 && !monitor->waitForUpgrade;
            }
            me.waitingWriters -= 1;
            monitor->nWaitWriters -= std::min<uint32_t>(monitor->nWaitWriters, 1);
            if (!granted) {
                return false;
            }
        }
    }
    monitor->nWriters = 1;
    monitor->ownerThreadId = ctx->threadId;
    me.writer = 1;
    ctx->writeAccess = true;
    return startTransaction(ctx, me);
}

// One slice of a lock wait (inside the critical section). Processes that died
// give their share back at every slice; once the lock wait has run out since
// the last revocation, the lock is revoked from its holder. False when this
// process can no longer wait, or the wait ran out on a holder that is a thread
// of this process.
bool dbDatabase::waitForLock(uint64_t since, const bool& granted, dbProcessSlot& me)
{
    unsigned slice = 1000;
    if (waitLockTimeout != dbWaitLockTimeoutInfinite) {
        slice = std::max(1u, std::min(slice, waitLockTimeout));
    }
    bool notified = cs.wait(slice);
    checkOwnerDied();
    sweepDeadProcesses();
    if (!notified && waitLockTimeout != dbWaitLockTimeoutInfinite) {
        uint64_t now = dbTickCount();
        if (now - since >= waitLockTimeout && uint32_t(now) - monitor->lastRevocation >= waitLockTimeout) {
            monitor->lastRevocation = uint32_t(now);
            if (!revokeLock(me.upgrading != 0)) {
                return false;
            }
        }
    }
    return opened;
}

// Takes the lock away from whoever keeps this process waiting: the writer
// (its changes are discarded and its next engine call fails), or else one
// shared holder of another process, or else a waiting writer that keeps
// readers out. A thread of this process keeps its lock: it is running, and
// its changes and reads would be undone under it. False when such a thread is
// in the way and no other holder can be revoked.
bool dbDatabase::revokeLock(bool upgrading)
{
    const dbProcessSlot& me = shared->slots[processSlot];
    if (monitor->nWriters != 0 && me.writer) {
        return false;
    }
    if (monitor->nWriters != 0 && file.isReadOnly()) {
        return true;  // a writer's changes are discarded only by a process that may write
    }
    if (monitor->nWriters != 0) {
        discardWriterChanges();
        for (dbProcessSlot& slot : shared->slots) {
            slot.writer = 0;
        }
        monitor->nWriters = 0;
        monitor->ownerThreadId = 0;
    } else if (monitor->nReaders > (upgrading ? 1u : 0u)) {
        unsigned i = 0;
        while (i < dbMaxProcesses && (int(i) == processSlot || shared->slots[i].readers == 0)) {
            i++;
        }
        if (i == dbMaxProcesses) {
            return false;  // only threads of this process read
        }
        shared->slots[i].readers -= 1;
        monitor->nReaders -= 1;
    } else if (monitor->nWaitWriters > 0 && !upgrading) {
        monitor->nWaitWriters -= 1;
    }
    cs.notifyAll();
    return true;
}

// Discards the working state of a writer that died or lost its lock.
void dbDatabase::discardWriterChanges()
{
    if (monitor->version != mappedVersion && file.mapTo(header->size) == 0) {
        mappedVersion = monitor->version;
    }
    rebuildWorkingRoot(false);
    monitor->commitInProgress = 0;
    monitor->uncommittedChanges = 0;
    monitor->transactionCounter += 1;
}

void dbDatabase::checkOwnerDied()
{
    if (cs.takeOwnerDied()) {
        shared->deadUsers = 1;
        sweepDeadProcesses();
    }
}

// Gives back the share of every process whose slot mark the kernel dropped.
void dbDatabase::sweepDeadProcesses()
{
    for (unsigned i = 0; i < dbMaxProcesses; i++) {
        dbProcessSlot& slot = shared->slots[i];
        if (!slot.inUse || int(i) == processSlot || file.slotHeld(i)) {
            continue;
        }
        if (slot.writer && file.isReadOnly()) {
            continue;  // its changes can only be discarded by a process that may write
        }
        monitor->nReaders -= std::min(monitor->nReaders, slot.readers);
        monitor->nWaitReaders -= std::min(monitor->nWaitReaders, slot.waitingReaders);
        monitor->nWaitWriters -= std::min(monitor->nWaitWriters, slot.waitingWriters);
        if (slot.upgrading) {
            monitor->waitForUpgrade = 0;
        }
        if (slot.writer) {
            discardWriterChanges();
            monitor->nWriters = 0;
            monitor->ownerThreadId = 0;
        }
        monitor->users -= std::min<uint32_t>(monitor->users, 1);
        shared->deadUsers = 1;
        slot = dbProcessSlot{};
        cs.notifyAll();
    }
}

// Start of a transaction (inside the critical section): map what another
// process added to the file and see its last commit. A transaction that
// cannot start keeps no lock, so that no thread joins it on roots left stale.
bool dbDatabase::startTransaction(dbDatabaseThreadContext* ctx, dbProcessSlot& me)
{
    if (monitor->version != mappedVersion) {
        int rc = file.mapTo(header->size);
        if (rc != 0) {
            reportFileError("Failed to reopen database file", rc);
            releaseLock(ctx, me);
            return false;
        }
        mappedVersion = monitor->version;
    }
    if (monitor->transactionCounter != seenTransactions) {
        // Another process committed or rolled back: what this one knew about
        // free space no longer holds.
        seenTransactions = monitor->transactionCounter;
        forgetFreeSpace();
    }
    refreshRoots();
    return true;
}

void dbDatabase::endTransaction(dbDatabaseThreadContext* ctx)
{
    if (ctx == nullptr) {
        return;
    }
    dbAnyCursor::transactionEnded(ctx->cursors);  // the thread's cursors lose their records
    ctx->rowTables.clear();
    if (!ctx->readAccess && !ctx->writeAccess) {
        return;
    }
    dbGlobalSectionGuard guard(cs);
    checkOwnerDied();
    releaseLock(ctx, shared->slots[processSlot]);
    seenTransactions = monitor->transactionCounter;
}

// Gives up the lock the thread holds (inside the critical section).
void dbDatabase::releaseLock(dbDatabaseThreadContext* ctx, dbProcessSlot& me)
{
    if (ctx->writeAccess) {
        if (monitor->ownerThreadId == ctx->threadId) {  // not when the lock was revoked
            monitor->nWriters = 0;
            monitor->ownerThreadId = 0;
            me.writer = 0;
        }
    } else if (ctx->readAccess) {
        monitor->nReaders -= std::min<uint32_t>(monitor->nReaders, 1);
        me.readers -= std::min<uint32_t>(me.readers, 1);
    }
    ctx->readAccess = ctx->writeAccess = false;
    cs.notifyAll();
}

bool dbDatabase::commit()
{
    if (!opened) {
        return false;
    }
    dbDatabaseThreadContext* ctx = getContext(true);
    if (ctx->writeAccess && monitor->ownerThreadId != ctx->threadId) {
        handleError(LockRevoked);
        return false;
    }
    if (txnFailed) {
        // The failed transaction was rolled back when it failed.
        txnFailed = false;
        endTransaction(ctx);
        return false;
    }
    bool ok = !commitBroken;
    if (modified) {
        ok = commitChanges();
    }
    endTransaction(ctx);
    return ok;
}

void dbDatabase::rollback()
{
    if (!opened) {
        return;
    }
    dbDatabaseThreadContext* ctx = getContext(true);
    if (ctx->writeAccess && monitor->ownerThreadId != ctx->threadId) {
        handleError(LockRevoked);
        return;
    }
    if (txnFailed) {
        txnFailed = false;
    } else if (modified) {
        restoreWorkingIndex();
    }
    endTransaction(ctx);
}

void dbDatabase::precommit()
{
    if (!opened) {
        return;
    }
    dbAssert(accessType != dbConcurrentUpdate);
    if (modified) {
        monitor->uncommittedChanges = 1;
    }
    endTransaction(getContext(true));
}

bool dbDatabase::setDirty()
{
    if (!opened || txnFailed || commitBroken) {
        return false;
    }
    if (accessType == dbReadOnly || accessType == dbConcurrentRead) {
        handleError(DatabaseReadOnly);
        return false;
    }
    if (!beginTransaction(dbExclusiveLock)) {
        return false;
    }
    if (!modified) {
        if (!header->dirty) {
            header->dirty = 1;
            int rc = file.flush();
            if (rc != 0) {
                reportFileError("Failed to flush file", rc);
                failTransaction();
                return false;
            }
        }
        modified = true;
    }
    return true;
}

void dbDatabase::abandonChange(const char* msg)
{
    if (txnFailed) {
        return;
    }
    if (msg != nullptr) {
        handleError(DatabaseOpenError, msg);
    }
    if (modified) {
        failTransaction();
    } else {
        txnFailed = true;  // nothing to undo, but the transaction cannot commit
    }
}

void dbDatabase::failTransaction()
{
    txnFailed = true;
    undoPending = true;
    if (changeDepth == 0) {
        undoPending = false;
        restoreWorkingIndex();
    }
}

// Throws the working index away: the committed index is copied over it again.
void dbDatabase::restoreWorkingIndex()
{
    uint32_t c = header->curr, w = 1 - c;
    dbHeaderRoot& committed = header->root[c];
    dbHeaderRoot& working = header->root[w];
    const offs_t* from = reinterpret_cast<const offs_t*>(baseAddr + committed.index);
    offs_t* to = reinterpret_cast<offs_t*>(baseAddr + committed.shadowIndex);
    uint32_t used = committed.indexUsed;
    bool moved = working.index != committed.shadowIndex;
    for (uint32_t page = 0; size_t(page) * dbHandlesPerPage < used; page++) {
        bool dirtyPage = monitor->dirtyPagesMap[page >> 3] & (1 << (page & 7));
        if (moved || dirtyPage) {
            size_t first = size_t(page) * dbHandlesPerPage;
            size_t count = std::min<size_t>(dbHandlesPerPage, used - first);
            std::memcpy(to + first, from + first, count * sizeof(offs_t));
        }
    }
    working.index = committed.shadowIndex;
    working.indexSize = committed.shadowIndexSize;
    working.shadowIndex = committed.index;  // a moved index may have changed it
    working.shadowIndexSize = committed.indexSize;
    working.indexUsed = committed.indexUsed;
    working.freeList = committed.freeList;
    std::memset(monitor->dirtyPagesMap, 0, sizeof monitor->dirtyPagesMap);
    forgetFreeSpace();
    modified = false;
    monitor->uncommittedChanges = 0;
    monitor->transactionCounter += 1;
    refreshRoots();
}

// Frees, in the working bitmap, the committed areas this transaction replaced
// or released (and the committed index when the index was moved). The bitmap
// pages concerned are copied first, until copying needs no further page, so
// that no allocation can land on committed data before the switch. Copying a
// bitmap page replaces nothing but bitmap pages, so only those are looked at
// again.
bool dbDatabase::releaseReplacedObjects(bool indexMoved)
{
    uint32_t c = header->curr;
    using Areas = std::vector<std::pair<offs_t, size_t>>;
    auto collect = [&](size_t from, size_t to, bool skipBitmap, Areas& areas) {
        to = std::min<size_t>(to, committedIndexSize);
        for (size_t page = from / dbHandlesPerPage; page * dbHandlesPerPage < to; page++) {
            if (!(monitor->dirtyPagesMap[page >> 3] & (1 << (page & 7)))) {
                continue;
            }
            size_t end = std::min<size_t>((page + 1) * dbHandlesPerPage, to);
            for (size_t oid = std::max(page * dbHandlesPerPage, from); oid < end; oid++) {
                if (skipBitmap && oid >= dbBitmapId && oid < lastBitmapPage) {
                    continue;
                }
                offs_t old = committedIndex[oid];
                if (!isFree(old) && old != currIndex[oid]) {
                    areas.emplace_back(old & ~dbInternalObjectMarker, getObjectSize(old));
                }
            }
        }
    };
    auto cloneFor = [&](const Areas& areas) {
        for (auto& area : areas) {
            cloneBitmap(area.first, area.second);
            if (txnFailed) {
                return false;
            }
        }
        return true;
    };
    Areas others, bitmapPages;
    collect(0, committedIndexSize, true, others);
    if (indexMoved) {
        others.emplace_back(header->root[c].index, size_t(header->root[c].indexSize) * sizeof(offs_t));
    }
    if (!cloneFor(others)) {
        return false;
    }
    uint64_t before;
    do {
        before = allocations;
        bitmapPages.clear();
        collect(dbBitmapId, lastBitmapPage, false, bitmapPages);
        if (!cloneFor(bitmapPages)) {
            return false;
        }
    } while (allocations != before);
    for (const Areas* areas : {&others, &bitmapPages}) {
        for (auto& area : *areas) {
            deallocate(area.first, area.second);
        }
    }
    if (allocations != before) {
        abandonChange(corruptLayout);  // an area outside the pages cloned for it
    }
    return !txnFailed;
}

bool dbDatabase::commitChanges()
{
    uint32_t c = header->curr, w = 1 - c;
    bool indexMoved = header->root[w].indexSize != header->root[c].indexSize;
    {
        ChangeScope scope(this);
        if (indexMoved) {
            // The other root takes a copy of the moved index after the switch.
            size_t bytes = size_t(header->root[w].indexSize) * sizeof(offs_t);
            offs_t pos = allocateSpace(bytes, 0);
            if (pos != 0) {
                header->root[w].shadowIndex = pos;
                header->root[w].shadowIndexSize = header->root[w].indexSize;
            }
        }
        if (!txnFailed) {
            releaseReplacedObjects(indexMoved);
        }
    }
    if (txnFailed) {
        txnFailed = false;
        return false;
    }
    monitor->commitInProgress = 1;
    int rc = file.flush();
    if (rc != 0) {
        reportFileError("Failed to flush file", rc);
        monitor->commitInProgress = 0;
        restoreWorkingIndex();
        return false;
    }
    {
        // A backup copying the file sees no switch half-way.
        dbGlobalSectionGuard guard(cs);
        while (monitor->backupInProgress) {
            cs.wait(1000);
            checkOwnerDied();
            sweepDeadProcesses();
        }
        header->curr = w;
        monitor->curr = w;
    }
    rc = file.flush();
    if (rc != 0) {
        // Whether the switch reached the disk is unknown: no further change
        // until the next open recovers whichever state the file holds.
        reportFileError("Failed to flush file", rc);
        monitor->commitInProgress = 0;
        commitBroken = true;
        modified = false;
        refreshRoots();
        return false;
    }

    // The old committed root becomes the working root of the next transaction.
    dbHeaderRoot& next = header->root[c];
    const dbHeaderRoot& done = header->root[w];
    next.indexUsed = currIndexSize;
    next.freeList = done.freeList;
    const offs_t* from = reinterpret_cast<const offs_t*>(baseAddr + done.index);
    if (indexMoved) {
        next.index = done.shadowIndex;
        next.indexSize = done.shadowIndexSize;
        next.shadowIndex = done.index;
        next.shadowIndexSize = done.indexSize;
    }
    offs_t* to = reinterpret_cast<offs_t*>(baseAddr + next.index);
    size_t pages = (size_t(currIndexSize) + dbHandlesPerPage - 1) / dbHandlesPerPage;
    for (size_t page = 0; page < pages; page++) {
        if (page == pages / 2) {
            file.reached(dbPointIndexCopy);
        }
        byte& bits = monitor->dirtyPagesMap[page >> 3];
        if (indexMoved || (bits & (1 << (page & 7)))) {
            size_t first = page * dbHandlesPerPage;
            size_t count = std::min<size_t>(dbHandlesPerPage, currIndexSize - first);
            std::memcpy(to + first, from + first, count * sizeof(offs_t));
        }
    }
    std::memset(monitor->dirtyPagesMap, 0, sizeof monitor->dirtyPagesMap);
    clusters[0].runsGone = clusters[1].runsGone = false;  // the commit freed what this transaction replaced
    smallAllocations = 0;
    modified = false;
    monitor->uncommittedChanges = 0;
    monitor->commitInProgress = 0;
    monitor->transactionCounter += 1;
    refreshRoots();
    return true;
}

// ---- Space allocation ----

// What the allocator knows of free space is forgotten, and its cursors go
// back to the start of the file.
void dbDatabase::forgetFreeSpace()
{
    std::fill(freeSpace.begin(), freeSpace.end(), unknownFreeSpace);
    currRBitmapPage = currPBitmapPage = dbBitmapId;
    currRBitmapOffs = currPBitmapOffs = 0;
    clusters[0] = clusters[1] = Cluster{};
    smallAllocations = 0;
}

size_t dbDatabase::getObjectSize(offs_t pos) const
{
    offs_t marker = pos & dbInternalObjectMarker;
    if (marker != 0) {
        return dbInternalObjectSize[marker];
    }
    return reinterpret_cast<const dbRecord*>(baseAddr + pos)->size;
}

void dbDatabase::markDirtyPage(oid_t oid)
{
    size_t page = oid >> dbHandlesPerPageBits;
    monitor->dirtyPagesMap[page >> 3] |= byte(1 << (page & 7));
}

void dbDatabase::setEntry(oid_t oid, offs_t value)
{
    markDirtyPage(oid);
    currIndex[oid] = value;
}

bool dbDatabase::overlapsReserved(offs_t pos, size_t size) const
{
    for (const ReservedArea* r = reservedChain; r != nullptr; r = r->next) {
        if (uint64_t(pos) < uint64_t(r->pos) + r->size && uint64_t(r->pos) < uint64_t(pos) + size) {
            return true;
        }
    }
    return false;
}

bool dbDatabase::extend(uint64_t size)
{
    if (size <= header->size) {
        return true;
    }
    if (size > dbFile::maxSize) {
        outOfSpace = true;
        handleError(OutOfMemoryError, nullptr, int(std::min<uint64_t>(size, 0x7FFFFFFF)));
        failTransaction();
        return false;
    }
    uint64_t newSize = std::min<uint64_t>(std::max<uint64_t>(size, 2 * uint64_t(header->size)), dbFile::maxSize);
    int rc = file.setSize(newSize);
    if (rc != 0) {
        // Try once more with no more than this request needs.
        newSize = std::min<uint64_t>(alignUp(size, extensionRetryUnit), newSize);
        rc = file.setSize(newSize);
    }
    if (rc != 0) {
        reportFileError("Failed to extend file", rc);
        failTransaction();
        return false;
    }
    header->size = uint32_t(std::max<uint64_t>(newSize, file.getSize()));
    monitor->version += 1;
    mappedVersion = monitor->version;
    return true;
}

void dbDatabase::copyObject(oid_t oid, offs_t pos)
{
    offs_t old = currIndex[oid];
    offs_t marker = old & dbInternalObjectMarker;
    size_t size = getObjectSize(old);
    std::memmove(baseAddr + pos, baseAddr + (old - marker), size);
    setEntry(oid, pos + marker);
}

// Marks or clears `quanta` quanta from `pos` in the working bitmap.
void dbDatabase::setBits(offs_t pos, size_t quanta, bool allocated)
{
    size_t q = pos / dbAllocationQuantum;
    size_t end = q + quanta;
    while (q < end) {
        oid_t page = oid_t(dbBitmapId + q / quantaPerBitmapPage);
        size_t inPage = q % quantaPerBitmapPage;
        size_t count = std::min(end - q, quantaPerBitmapPage - inPage);
        byte* bitmap = put(page);
        if (bitmap == nullptr) {
            abandonChange(corruptLayout);  // no bitmap page covers the area
            return;
        }
        changeBits(bitmap, inPage, count, allocated);
        if (!allocated) {
            freeSpace[page] = unknownFreeSpace;
        } else if (count == quantaPerBitmapPage) {
            freeSpace[page] = 0;
        }
        q += count;
    }
}

offs_t dbDatabase::allocate(size_t size, oid_t oid)
{
    ChangeScope scope(this);
    if (!scope.begin()) {
        return 0;
    }
    return allocateSpace(size, oid);
}

offs_t dbDatabase::allocateSpace(size_t size, oid_t oid, bool row)
{
    size = alignUp(std::max<size_t>(size, 1), dbAllocationQuantum);
    if (size > dbFile::maxSize) {
        handleError(OutOfMemoryError, nullptr, int(std::min<size_t>(size, 0x7FFFFFFF)));
        failTransaction();
        return 0;
    }
    const size_t n = size / dbAllocationQuantum;
    const bool aligned = size % dbPageSize == 0;
    const bool small = !aligned && n < clusterQuanta;
    const bool clustered = small && ++smallAllocations > clusterAfter;
    if (oid != 0) {
        row = (currIndex[oid] & dbInternalObjectMarker) == 0;
    }
    Cluster& cluster = clusters[row ? 0 : 1];
    if (clustered && cluster.end - cluster.pos >= size && isUnusedSpace(cluster.pos, size)) {
        offs_t pos = cluster.pos;
        cluster.pos += offs_t(size);
        return takeSpace(pos, size, oid);
    }
    size_t& cursorPage = aligned ? currPBitmapPage : currRBitmapPage;
    size_t& cursorOffs = aligned ? currPBitmapOffs : currRBitmapOffs;
    if (clustered && !cluster.runsGone) {
        const size_t runQuanta = row ? rowClusterQuanta : clusterQuanta;
        const size_t clusterBytes = runQuanta * dbAllocationQuantum;
        FreeRun run = findFreeRun(runQuanta, false);
        if (run.pos != 0 && uint64_t(run.pos) + clusterBytes <= header->size) {
            cursorPage = run.page;
            cursorOffs = run.offs;
            cluster.pos = run.pos + offs_t(size);
            cluster.end = run.pos + offs_t(clusterBytes);
            return takeSpace(run.pos, size, oid);
        }
        if (run.pos == 0) {
            // No run that long is left in the space the bitmap covers: the
            // rest of the file past it is taken while the file need not
            // grow for it (a free end of the covered space long enough
            // for the object on its own is left to the holes).
            offs_t pos = allocateWithNewPages(size, oid, run.endPage, run.endHole < n ? run.endHole : 0, false);
            if (pos != 0 || txnFailed) {
                return pos;
            }
        }
        // From here on this transaction fills the holes there are with
        // objects of this kind.
        cluster.runsGone = true;
    }
    FreeRun run = findFreeRun(n, aligned);
    if (run.pos == 0) {
        return allocateWithNewPages(size, oid, run.endPage, run.endHole, true);
    }
    cursorPage = run.page;
    cursorOffs = run.offs;
    return takeSpace(run.pos, size, oid);
}

// Marks `size` bytes at `pos` in use and copies object `oid` there (when not
// 0); `pos`, or 0 when the transaction failed.
offs_t dbDatabase::takeSpace(offs_t pos, size_t size, oid_t oid)
{
    ReservedArea area{pos, size, reservedChain};
    reservedChain = &area;
    allocations += 1;
    bool ok = extend(uint64_t(pos) + size);
    if (ok) {
        if (oid != 0) {
            copyObject(oid, pos);
        }
        setBits(pos, size / dbAllocationQuantum, true);
    }
    reservedChain = area.next;
    return ok && !txnFailed ? pos : 0;
}

// Whether `size` bytes at `pos` are free in the working bitmap and reserved
// by no allocation in progress.
bool dbDatabase::isUnusedSpace(offs_t pos, size_t size)
{
    if (overlapsReserved(pos, size)) {
        return false;
    }
    size_t q = pos / dbAllocationQuantum;
    const size_t end = q + size / dbAllocationQuantum;
    for (; q < end; q++) {
        const size_t page = dbBitmapId + q / quantaPerBitmapPage;
        if (page >= lastBitmapPage || isFree(currIndex[page])) {
            return false;
        }
        const byte* bitmap = get(oid_t(page));
        const size_t bit = q % quantaPerBitmapPage;
        if (bitmap[bit >> 3] & (1 << (bit & 7))) {
            return false;
        }
    }
    return true;
}

// The first free run of `n` quanta from the rover on, wrapping round to the
// start of the file once (page-aligned for page-sized requests). When none is
// found, `pos` is 0 and `endPage`, `endHole` say where the covered space ends
// and how many free quanta end it.
dbDatabase::FreeRun dbDatabase::findFreeRun(size_t n, bool aligned)
{
    const size_t firstPage = aligned ? currPBitmapPage : currRBitmapPage;
    const size_t cursorOffs = aligned ? currPBitmapOffs : currRBitmapOffs;
    const size_t firstOffs = aligned ? alignUp(cursorOffs, quantaPerPage / 8) : cursorOffs;
    FreeRun found;
    size_t from = firstPage, to = lastBitmapPage, startOffs = firstOffs;
    for (int pass = 0; pass < 2; pass++) {
        size_t hole = 0;
        size_t i = from;
        for (; i < to && !isFree(currIndex[i]); i++, startOffs = 0) {
            if (freeSpace[i] <= std::min(n - hole, quantaPerBitmapPage)) {
                hole = 0;
                continue;
            }
            const byte* bitmap = get(oid_t(i));
            const size_t pageQuantum = (i - dbBitmapId) * quantaPerBitmapPage;
            const bool carriedIn = hole != 0;
            bool skipped = false;
            size_t j = startOffs;
            if (!aligned) {
                while (j < dbPageSize) {
                    unsigned m = bitmap[j];
                    offs_t pos = 0;
                    bool hit = false;
                    if (byteTables.firstHole[m] + hole >= n) {
                        pos = offs_t((pageQuantum + j * 8 - hole) * dbAllocationQuantum);
                        hit = true;
                    } else if (byteTables.maxHole[m] >= n) {
                        pos = offs_t((pageQuantum + j * 8 + byteTables.maxHoleOffset[m]) * dbAllocationQuantum);
                        hit = true;
                    }
                    if (hit) {
                        if (!overlapsReserved(pos, n * dbAllocationQuantum)) {
                            return FreeRun{pos, i, j, 0, 0};
                        }
                        skipped = true;
                        hole = 0;
                        j += (n + 7) / 8;
                        continue;
                    }
                    hole = byteTables.lastHole[m] == 8 ? hole + 8 : byteTables.lastHole[m];
                    j += 1;
                }
            } else {
                while (j < dbPageSize) {
                    if (bitmap[j] != 0) {
                        hole = 0;
                        j = alignUp(j + 1, quantaPerPage / 8);
                        continue;
                    }
                    hole += 8;
                    if (hole == n) {
                        offs_t pos = offs_t((pageQuantum + (j + 1) * 8 - hole) * dbAllocationQuantum);
                        if (!overlapsReserved(pos, n * dbAllocationQuantum)) {
                            return FreeRun{pos, i, j + 1, 0, 0};
                        }
                        skipped = true;
                        hole = 0;
                        j = alignUp(j + 1, quantaPerPage / 8);
                        continue;
                    }
                    j += 1;
                }
            }
            // A whole page scanned in vain, with no free run entering or
            // leaving it: it holds no run this long (for aligned requests,
            // no run that long plus the worst misalignment).
            if (startOffs == 0 && !carriedIn && hole == 0 && !skipped) {
                size_t bound = std::min(aligned ? n + quantaPerPage - 1 : n, quantaPerBitmapPage);
                if (freeSpace[i] > bound) {
                    freeSpace[i] = uint32_t(bound);
                }
            }
        }
        if (pass == 0) {
            found.endPage = i;
            found.endHole = hole;
            if (firstPage == dbBitmapId && firstOffs == 0) {
                break;
            }
            from = dbBitmapId;
            to = firstPage + 1;
            startOffs = 0;
        }
    }
    return found;
}

// No free run is large enough: new bitmap pages go after the last one, and
// the object takes the free run at the end of the covered space (`hole`
// quanta) and the start of the space the new pages cover. Without `mayGrow`,
// 0 (and nothing done) where the file would have to grow for it.
offs_t dbDatabase::allocateWithNewPages(size_t size, oid_t oid, size_t q, size_t hole, bool mayGrow)
{
    const size_t n = size / dbAllocationQuantum;
    if (q >= lastBitmapPage && !mayGrow) {
        return 0;
    }
    if (q >= lastBitmapPage) {
        handleError(OutOfMemoryError, nullptr, int(std::min<size_t>(size, 0x7FFFFFFF)));
        failTransaction();
        return 0;
    }
    if (currIndex[q] != dbFreeHandleMarker) {
        abandonChange(corruptLayout);  // the bitmap pages are not one run from id 2
        return 0;
    }
    const uint64_t regionQuantum = uint64_t(q - dbBitmapId) * quantaPerBitmapPage;
    if (hole != 0 && overlapsReserved(offs_t((regionQuantum - hole) * dbAllocationQuantum), hole * dbAllocationQuantum)) {
        hole = 0;
    }
    const size_t rest = n - hole;
    const size_t restPages = alignUp(rest, quantaPerPage);
    // Enough pages to cover the rest of the object and the pages themselves.
    auto pagesFor = [&](uint64_t bytes) {
        uint64_t byBytes = (bytes + usefulBitmapSegment - 1) / usefulBitmapSegment;
        uint64_t byRest = (restPages + quantaPerBitmapPage - quantaPerPage - 1) / (quantaPerBitmapPage - quantaPerPage);
        return std::max<uint64_t>(std::max(byBytes, byRest), 1);
    };
    uint64_t m = pagesFor(std::max<uint64_t>(extensionQuantum, size));
    if (q + m > lastBitmapPage) {
        m = pagesFor(size);
        if (q + m > lastBitmapPage) {
            handleError(OutOfMemoryError, nullptr, int(std::min<size_t>(size, 0x7FFFFFFF)));
            failTransaction();
            return 0;
        }
    }
    const uint64_t pagesPos = regionQuantum * dbAllocationQuantum + restPages * dbAllocationQuantum;
    const uint64_t objectPos = (regionQuantum - hole) * dbAllocationQuantum;
    const uint64_t end = pagesPos + m * dbPageSize;
    if (end > dbFile::maxSize) {
        handleError(OutOfMemoryError, nullptr, int(std::min<size_t>(size, 0x7FFFFFFF)));
        failTransaction();
        return 0;
    }
    if (!mayGrow && end > header->size) {
        return 0;
    }
    ReservedArea area{offs_t(objectPos), size_t(end - objectPos), reservedChain};
    reservedChain = &area;
    allocations += 1;
    offs_t result = 0;
    if (extend(end)) {
        byte* pages = baseAddr + pagesPos;
        std::memset(pages, 0, m * dbPageSize);
        for (uint64_t k = 0; k < m; k++) {
            setEntry(oid_t(q + k), offs_t(pagesPos + k * dbPageSize + dbPageObjectMarker));
        }
        // The new pages are contiguous: one bitmap for the space they cover.
        changeBits(pages, 0, rest, true);
        changeBits(pages, restPages, m * quantaPerPage, true);
        size_t fullPages = rest / quantaPerBitmapPage;
        for (size_t k = 0; k < fullPages; k++) {
            freeSpace[q + k] = 0;
        }
        size_t& cursorPage = size % dbPageSize == 0 ? currPBitmapPage : currRBitmapPage;
        size_t& cursorOffs = size % dbPageSize == 0 ? currPBitmapOffs : currRBitmapOffs;
        cursorPage = q + fullPages;
        cursorOffs = 0;
        if (oid != 0) {
            copyObject(oid, offs_t(objectPos));
        }
        if (hole != 0) {
            setBits(offs_t(objectPos), hole, true);
        }
        result = txnFailed ? 0 : offs_t(objectPos);
    }
    reservedChain = area.next;
    return result;
}

void dbDatabase::deallocate(offs_t pos, size_t size)
{
    ChangeScope scope(this);
    if (!scope.begin()) {
        return;
    }
    if (pos < dbPageSize || (pos & (dbAllocationQuantum - 1)) != 0 || uint64_t(pos) + size > header->size) {
        abandonChange(corruptLayout);
        return;
    }
    size_t quanta = alignUp(size, dbAllocationQuantum) / dbAllocationQuantum;
    size_t page = dbBitmapId + (pos >> dbBitmapSegmentBits);
    size_t offs = (pos >> (dbAllocationQuantumBits + 3)) & (dbPageSize - 1);
    bool pageObject = pos % dbPageSize == 0 && size >= dbPageSize;
    size_t& cursorPage = pageObject ? currPBitmapPage : currRBitmapPage;
    size_t& cursorOffs = pageObject ? currPBitmapOffs : currRBitmapOffs;
    if (cursorPage == page && cursorOffs > offs) {
        cursorOffs = offs;
    }
    setBits(pos, quanta, false);
}

void dbDatabase::cloneBitmap(offs_t pos, size_t size)
{
    ChangeScope scope(this);
    if (!scope.begin()) {
        return;
    }
    size_t first = pos >> dbBitmapSegmentBits;
    size_t last = (uint64_t(pos) + std::max<size_t>(size, 1) - 1) >> dbBitmapSegmentBits;
    for (size_t k = first; k <= last && !txnFailed; k++) {
        put(oid_t(dbBitmapId + k));
    }
}

// ---- Object ids ----

oid_t dbDatabase::allocateId(int n)
{
    ChangeScope scope(this);
    if (!scope.begin() || n <= 0) {
        return 0;
    }
    dbHeaderRoot& working = header->root[1 - header->curr];
    if (n == 1 && working.freeList != 0) {
        oid_t oid = working.freeList;
        if (oid < dbFirstUserId || oid >= currIndexSize || !isFree(currIndex[oid])
            || currIndex[oid] - dbFreeHandleMarker >= currIndexSize) {
            abandonChange(corruptLayout);
            return 0;
        }
        working.freeList = currIndex[oid] - dbFreeHandleMarker;
        markDirtyPage(oid);
        return oid;
    }
    uint64_t needed = uint64_t(currIndexSize) + uint64_t(n);
    if (needed > working.indexSize) {
        uint64_t capacity = working.indexSize;
        while (capacity < needed) {
            capacity *= 2;
        }
        if (capacity * sizeof(offs_t) > dbFile::maxSize) {
            handleError(OutOfMemoryError, nullptr, int(std::min<uint64_t>(capacity * 4, 0x7FFFFFFF)));
            failTransaction();
            return 0;
        }
        offs_t pos = allocateSpace(size_t(capacity * sizeof(offs_t)), 0);
        if (pos == 0) {
            return 0;
        }
        std::memcpy(baseAddr + pos, currIndex, size_t(currIndexSize) * sizeof(offs_t));
        offs_t oldPos = working.index;
        size_t oldSize = size_t(working.indexSize) * sizeof(offs_t);
        working.index = pos;
        working.indexSize = uint32_t(capacity);
        currIndex = reinterpret_cast<offs_t*>(baseAddr + pos);
        index[1 - header->curr] = currIndex;
        deallocate(oldPos, oldSize);
        if (txnFailed) {
            return 0;
        }
    }
    oid_t oid = currIndexSize;
    currIndexSize += uint32_t(n);
    working.indexUsed = currIndexSize;
    for (int i = 0; i < n; i++) {
        setEntry(oid + i, dbFreeHandleMarker);
    }
    return oid;
}

void dbDatabase::freeId(oid_t oid, int n)
{
    ChangeScope scope(this);
    if (!scope.begin()) {
        return;
    }
    dbHeaderRoot& working = header->root[1 - header->curr];
    for (int i = 0; i < n; i++) {
        setEntry(oid + i, dbFreeHandleMarker + working.freeList);
        working.freeList = oid + i;
    }
}

// ---- Objects ----

byte* dbDatabase::get(oid_t oid)
{
    if (currIndex == nullptr || oid == 0 || oid >= currIndexSize) {
        return nullptr;
    }
    offs_t pos = currIndex[oid];
    if (isFree(pos)) {
        return nullptr;
    }
    return baseAddr + (pos & ~dbInternalObjectMarker);
}

byte* dbDatabase::put(oid_t oid)
{
    ChangeScope scope(this);
    if (!scope.begin() || oid == 0 || oid >= currIndexSize || isFree(currIndex[oid])) {
        return nullptr;
    }
    offs_t pos = currIndex[oid];
    if (oid < committedIndexSize && committedIndex[oid] == pos) {
        // Still the committed object: work on a copy.
        markDirtyPage(oid);
        size_t size = getObjectSize(pos);
        if (allocateSpace(size, oid) == 0) {
            return nullptr;
        }
        cloneBitmap(pos & ~dbInternalObjectMarker, size);
        if (txnFailed) {
            return nullptr;
        }
        pos = currIndex[oid];
    }
    return baseAddr + (pos & ~dbInternalObjectMarker);
}

dbRecord* dbDatabase::putRow(oid_t oid, size_t newSize)
{
    ChangeScope scope(this);
    if (!scope.begin() || get(oid) == nullptr || (currIndex[oid] & dbInternalObjectMarker) != 0
        || newSize < sizeof(dbRecord)) {
        return nullptr;
    }
    offs_t pos = currIndex[oid];
    size_t oldSize = getObjectSize(pos);
    bool committed = oid < committedIndexSize && committedIndex[oid] == pos;
    if (committed || alignUp(oldSize, dbAllocationQuantum) != alignUp(newSize, dbAllocationQuantum)) {
        offs_t newPos = allocateSpace(newSize, 0, true);
        if (newPos == 0) {
            return nullptr;
        }
        std::memcpy(baseAddr + newPos, baseAddr + pos, std::min(oldSize, newSize));
        setEntry(oid, newPos);
        if (committed) {
            cloneBitmap(pos, oldSize);
        } else {
            deallocate(pos, oldSize);
        }
        if (txnFailed) {
            return nullptr;
        }
        pos = newPos;
    }
    dbRecord* rec = reinterpret_cast<dbRecord*>(baseAddr + pos);
    rec->size = uint32_t(newSize);
    return rec;
}

oid_t dbDatabase::allocateRecord(size_t size)
{
    ChangeScope scope(this);
    if (!scope.begin() || size < sizeof(dbRecord)) {
        return 0;
    }
    oid_t oid = allocateId();
    if (oid == 0) {
        return 0;
    }
    offs_t pos = allocateSpace(size, 0, true);
    if (pos == 0) {
        return 0;
    }
    std::memset(baseAddr + pos, 0, size);
    setEntry(oid, pos);
    reinterpret_cast<dbRecord*>(baseAddr + pos)->size = uint32_t(size);
    return oid;
}

oid_t dbDatabase::allocateObject(offs_t marker)
{
    dbAssert(marker > 0 && marker < dbInternalObjectMarker);
    ChangeScope scope(this);
    if (!scope.begin()) {
        return 0;
    }
    oid_t oid = allocateId();
    if (oid == 0) {
        return 0;
    }
    size_t size = dbInternalObjectSize[marker];
    offs_t pos = allocateSpace(size, 0);
    if (pos == 0) {
        return 0;
    }
    std::memset(baseAddr + pos, 0, size);
    setEntry(oid, pos + marker);
    return oid;
}

oid_t dbDatabase::allocateRow(oid_t tableId, size_t size)
{
    ChangeScope scope(this);
    if (!scope.begin() || get(tableId) == nullptr) {
        return 0;
    }
    oid_t oid = allocateRecord(size);
    if (oid == 0) {
        return 0;
    }
    oid_t last = reinterpret_cast<dbTable*>(get(tableId))->lastRow;
    if (last != 0) {
        dbRecord* prev = isRecord(last) ? putRow(last) : nullptr;
        if (prev == nullptr) {
            abandonChange(corruptRecord);
            return 0;
        }
        prev->next = oid;
    }
    dbTable* table = reinterpret_cast<dbTable*>(put(tableId));
    if (table == nullptr) {
        return 0;
    }
    if (last == 0) {
        table->firstRow = oid;
    }
    table->lastRow = oid;
    table->nRows += 1;
    dbRecord* rec = getRow(oid);
    rec->prev = last;
    rec->next = 0;
    return oid;
}

void dbDatabase::freeRow(oid_t tableId, oid_t oid)
{
    ChangeScope scope(this);
    if (!scope.begin() || get(tableId) == nullptr || getRow(oid) == nullptr) {
        return;
    }
    oid_t next = getRow(oid)->next, prev = getRow(oid)->prev;
    if (prev != 0) {
        dbRecord* rec = isRecord(prev) ? putRow(prev) : nullptr;
        if (rec == nullptr) {
            abandonChange(corruptRecord);
            return;
        }
        rec->next = next;
    }
    if (next != 0) {
        dbRecord* rec = isRecord(next) ? putRow(next) : nullptr;
        if (rec == nullptr) {
            abandonChange(corruptRecord);
            return;
        }
        rec->prev = prev;
    }
    dbTable* table = reinterpret_cast<dbTable*>(put(tableId));
    if (table == nullptr) {
        return;
    }
    if (prev == 0) {
        table->firstRow = next;
    }
    if (next == 0) {
        table->lastRow = prev;
    }
    table->nRows -= 1;
    freeObject(oid);
}

void dbDatabase::freeObject(oid_t oid)
{
    ChangeScope scope(this);
    if (!scope.begin() || get(oid) == nullptr) {
        return;
    }
    offs_t pos = currIndex[oid];
    size_t size = getObjectSize(pos);
    offs_t area = pos & ~dbInternalObjectMarker;
    if (oid < committedIndexSize && committedIndex[oid] == pos) {
        // Committed: its space is released by the commit; prepare the bitmap
        // pages now so that the commit itself needs no allocation.
        cloneBitmap(area, size);
    } else {
        deallocate(area, size);
    }
    if (!txnFailed) {
        freeId(oid);
    }
}

// ---- Scheme load ----
// loadScheme and storeMetatableDescriptor are the table descriptors' part
// (scheme.cpp).
