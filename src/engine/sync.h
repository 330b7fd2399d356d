// Synchronisation building blocks of the database engine: in-process mutexes,
// counting semaphores, manual-reset events, the critical section that lives on
// a counter word of the database monitor, and the engine's assertion.
// Callers keep every wait outside a held dbCriticalSection of the same mutex,
// and leave each dbGlobalCriticalSection they enter exactly once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

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

// Counting semaphore, initial count 0, maximum 1,000,000.
class dbSemaphore {
public:
    static constexpr unsigned maxCount = 1000000;
    static constexpr unsigned infinite = 0xFFFFFFFF;

    // True when a unit was taken, false when the time-out (milliseconds,
    // `infinite` for none) expired first.
    bool wait(unsigned timeoutMsec = infinite);
    // Leaves `m` (held by the caller), waits without limit and enters it again.
    void wait(dbMutex& m);
    // Adds n units; n = 0 does nothing.
    void signal(unsigned n = 1);
    // Discards every unit (time-out 0 waits until one fails).
    void drain();
    unsigned count() const;

private:
    mutable std::mutex guard;
    std::condition_variable cond;
    unsigned units = 0;
};

// Manual-reset event.
class dbEvent {
public:
    explicit dbEvent(bool signalled = false) : state(signalled) {}
    // Leaves `m` (held by the caller), waits until signalled, enters `m` again.
    void wait(dbMutex& m);
    bool wait(unsigned timeoutMsec);
    void signal();
    void reset();
    bool isSignalled() const;

private:
    mutable std::mutex guard;
    std::condition_variable cond;
    bool state;
};

// Critical section on a counter word (1 = free) of the database monitor plus
// an auto-reset wake-up. The creator sets the counter to 1; enter decrements
// it and waits when the result is not 0, leave increments it and wakes one
// waiter when the result is below 1.
class dbGlobalCriticalSection {
public:
    void create(uint32_t* counterWord);
    void open(uint32_t* counterWord);
    void enter();
    void leave();
    void close();

private:
    std::atomic_ref<uint32_t> counter() const { return std::atomic_ref<uint32_t>(*word); }
    uint32_t* word = nullptr;
    std::mutex guard;
    std::condition_variable cond;
    unsigned wakeups = 0;
};

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
