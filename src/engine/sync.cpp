#include "engine/sync.h"

#include <chrono>
#include <cstdio>
#include <unistd.h>

void dbAbnormalTermination()
{
    std::fputs("Abnormal program termination\n", stderr);
    std::fflush(stderr);
    std::fflush(stdout);
    _exit(3);
}

void dbAssertionFailed(const char* expr, const char* file, int line)
{
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expr, file, line);
    dbAbnormalTermination();
}

bool dbSemaphore::wait(unsigned timeoutMsec)
{
    std::unique_lock<std::mutex> lock(guard);
    auto ready = [this] { return units > 0; };
    if (timeoutMsec == infinite) {
        cond.wait(lock, ready);
    } else if (!cond.wait_for(lock, std::chrono::milliseconds(timeoutMsec), ready)) {
        return false;
    }
    units -= 1;
    return true;
}

void dbSemaphore::wait(dbMutex& m)
{
    m.unlock();
    wait(infinite);
    m.lock();
}

void dbSemaphore::signal(unsigned n)
{
    if (n == 0) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(guard);
        dbAssert(units + n <= maxCount);
        units += n;
    }
    cond.notify_all();
}

void dbSemaphore::drain()
{
    std::lock_guard<std::mutex> lock(guard);
    units = 0;
}

unsigned dbSemaphore::count() const
{
    std::lock_guard<std::mutex> lock(guard);
    return units;
}

void dbEvent::wait(dbMutex& m)
{
    m.unlock();
    {
        std::unique_lock<std::mutex> lock(guard);
        cond.wait(lock, [this] { return state; });
    }
    m.lock();
}

bool dbEvent::wait(unsigned timeoutMsec)
{
    std::unique_lock<std::mutex> lock(guard);
    return cond.wait_for(lock, std::chrono::milliseconds(timeoutMsec), [this] { return state; });
}

void dbEvent::signal()
{
    {
        std::lock_guard<std::mutex> lock(guard);
        state = true;
    }
    cond.notify_all();
}

void dbEvent::reset()
{
    std::lock_guard<std::mutex> lock(guard);
    state = false;
}

bool dbEvent::isSignalled() const
{
    std::lock_guard<std::mutex> lock(guard);
    return state;
}

void dbGlobalCriticalSection::create(uint32_t* counterWord)
{
    word = counterWord;
    counter().store(1);
    wakeups = 0;
}

void dbGlobalCriticalSection::open(uint32_t* counterWord)
{
    word = counterWord;
    wakeups = 0;
}

void dbGlobalCriticalSection::enter()
{
    if (counter().fetch_sub(1) - 1 != 0) {
        std::unique_lock<std::mutex> lock(guard);
        cond.wait(lock, [this] { return wakeups > 0; });
        wakeups -= 1;  // auto-reset: one wake-up admits one waiter
    }
}

void dbGlobalCriticalSection::leave()
{
    if (int32_t(counter().fetch_add(1) + 1) < 1) {
        {
            std::lock_guard<std::mutex> lock(guard);
            wakeups += 1;
        }
        cond.notify_one();
    }
}

void dbGlobalCriticalSection::close()
{
    word = nullptr;
}
