// Synchronisation building blocks of the database engine: in-process mutexes,
// the critical section and shared memory of the database monitor that all
// processes on a database share (its condition stands in for the waiting
// readers', writers' and upgrade semaphores), what has become of another
// process, and the engine's assertion.
// Callers keep every wait outside a held dbCriticalSection of the same mutex,
// and leave each dbGlobalCriticalSection they enter exactly once.
#pragma once

#include <cstdint>
#include <mutex>
#include <pthread.h>
#include <string>

// Prints "Assertion failed: <expr>, file <file>, line <line>" and ends the
// process like every fatal engine error.
#define dbAssert(x) ((x) ? (void)0 : dbAssertionFailed(#x, __FILE__, __LINE__))

[[noreturn]] void dbAssertionFailed(const char* expr, const char* file, int line);

// Prints "Abnormal program termination" and ends the process with exit code 3.
[[noreturn]] void dbAbnormalTermination();

class dbMutex {
public:
    void lock() { mutex.lock(); }
    void unlock() { mutex.unlock(); }
    std::mutex& native() { return mutex; }

private:
    std::mutex mutex;
};

// Holds a dbMutex for one scope.
class dbCriticalSection {
public:
    explicit dbCriticalSection(dbMutex& m) : mutex(m) { mutex.lock(); }
    ~dbCriticalSection() { mutex.unlock(); }
    dbCriticalSection(const dbCriticalSection&) = delete;
    dbCriticalSection& operator=(const dbCriticalSection&) = delete;

private:
    dbMutex& mutex;
};

// Mutex and condition of the shared monitor, placed in memory that every
// process using the database maps.
struct dbSharedSection {
    pthread_mutex_t mutex;
    pthread_cond_t changed;
};

// The monitor's critical section: a robust process-shared mutex with one
// condition for every change of the lock words. A process that dies while it
// holds the section does not block the others: the next enter() or wait()
// learns of it (ownerDied) and the caller repairs the words.
class dbGlobalCriticalSection {
public:
    // Initialises the section in shared memory (first process only).
    bool create(dbSharedSection* shared);
    void open(dbSharedSection* shared);
    void enter();
    void leave();
    // Leaves the section, waits until notified or timeoutMsec passed, enters
    // again. False on time-out.
    bool wait(unsigned timeoutMsec);
    void notifyAll();
    void close() { section = nullptr; }
    // True once after the previous holder died inside the section.
    bool takeOwnerDied();

private:
    void acquired(int rc);
    dbSharedSection* section = nullptr;
    bool ownerDied = false;
};

// A named block of shared memory.
class dbSharedMemory {
public:
    ~dbSharedMemory() { close(); }
    // Creates the block, zero-filled; EEXIST when a block of that name is
    // there. It is given `group` (where the user may: else it keeps its own)
    // and the permission bits `mode`. 0 or errno.
    int create(const std::string& name, size_t size, uint32_t group = uint32_t(-1), uint32_t mode = 0600);
    // A zero-filled block of this process alone (and of its children), named
    // nowhere. 0 or errno.
    int createPrivate(size_t size);
    // Maps an existing block. 0 or errno.
    int open(const std::string& name, size_t size);
    void* address() const { return base; }
    void close();
    void unlink();
    // Removes every block named `name`, or `name` followed by '-' and more,
    // that the user may remove.
    static void unlinkAll(const std::string& name);

private:
    int map(int fd, size_t size);
    std::string name;
    void* base = nullptr;
    size_t size = 0;
};

// A thread-local slot: every thread sees its own value (null at first).
class dbThreadContextSlot {
public:
    dbThreadContextSlot();
    ~dbThreadContextSlot();
    dbThreadContextSlot(const dbThreadContextSlot&) = delete;
    dbThreadContextSlot& operator=(const dbThreadContextSlot&) = delete;
    void* get() const;
    void set(void* value);

private:
    pthread_key_t key;
};

// Milliseconds of a steady clock (for lock time-outs).
uint64_t dbTickCount();
// What can be told of a process that uses the database. Only an end is
// ever read from /proc: whether the process still uses the database is told
// by its locks on the file alone (dbFile::slotHeld), since /proc shows only
// the processes of this PID namespace, and an id recorded in another one
// names no process here, or another.
enum class dbProcessFate {
    running,     // found here, with the start time it recorded, and one of its threads runs
    ending,      // found here, and each of its threads is killed, exiting or ended
    cannotTell,  // no process of that id here, or one that started at another time: a process of
                 // another PID namespace, or one that has gone (its id perhaps another's now)
};
// The fate of process pid, which recorded `started` (its
// dbCurrentProcessStartTime; 0 when unknown) when it began to use the
// database. A process whose main thread has ended while another thread runs
// is running. An ending process still holds its file locks, and the kernel
// may let go of them only a moment after the process is gone.
dbProcessFate dbProcessFateOf(uint32_t pid, uint32_t started);
// When the calling process started, in clock ticks since boot (the low 32
// bits; with its id, it tells this process from a later one given the same
// id), or 0 when that cannot be told.
uint32_t dbCurrentProcessStartTime();
// The calling thread's system-wide id.
uint32_t dbCurrentThreadId();
uint32_t dbCurrentProcessId();
// Processors online (at least 1).
unsigned dbProcessorCount();

// Enters a dbGlobalCriticalSection for one scope.
class dbGlobalSectionGuard {
public:
    explicit dbGlobalSectionGuard(dbGlobalCriticalSection& s) : section(s) { section.enter(); }
    ~dbGlobalSectionGuard() { section.leave(); }
    dbGlobalSectionGuard(const dbGlobalSectionGuard&) = delete;
    dbGlobalSectionGuard& operator=(const dbGlobalSectionGuard&) = delete;

private:
    dbGlobalCriticalSection& section;
};
