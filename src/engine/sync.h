// Synchronisation building blocks of the database engine: in-process mutexes,
// the critical section and shared memory of the database monitor that all
// processes on a database share (its condition stands in for the waiting
// readers', writers' and upgrade semaphores), the signs that another process
// is ending, and the engine's assertion.
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
    // Creates (or re-creates) the block, zero-filled. 0 or errno.
    int create(const std::string& name, size_t size);
    // Maps an existing block. 0 or errno.
    int open(const std::string& name, size_t size);
    void* address() const { return base; }
    void close();
    void unlink();

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
// Whether process pid is on its way out: a kill is pending for it, it is
// exiting, or it is a zombie. Such a process still holds its file locks for
// a moment (longer when a flush keeps it), though it will never use them.
// False when that cannot be told (no such process, no /proc).
bool dbProcessEnding(uint32_t pid);
// Waits until process pid has ended, at most timeoutMsec. True when it has
// ended (or is gone); false on time-out or when the wait cannot be made.
bool dbAwaitProcessEnd(uint32_t pid, unsigned timeoutMsec);
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
