#include "scanner/librarysessions.h"

#include <map>
#include <mutex>

namespace {

// Never destroyed: a read left behind may return at the very end of the run.
std::mutex& lock()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}

}  // namespace

LibrarySessions& LibrarySessions::Of(Init init)
{
    static auto* records = new std::map<Init, LibrarySessions*>;
    std::lock_guard<std::mutex> hold(lock());
    LibrarySessions*& record = (*records)[init];
    if (!record) record = new LibrarySessions(init);
    return *record;
}

bool LibrarySessions::busy() const
{
    return readsLeft_ > 0 || state_ == State::Starting || state_ == State::Stopping;
}

bool LibrarySessions::Busy() const
{
    std::lock_guard<std::mutex> hold(lock());
    return busy();
}

// With the lock held: when the last hold has just gone, the caller is to stop
// the library (and the library is busy until it has).
bool LibrarySessions::takeStop()
{
    if (open_ > 0 || readsLeft_ > 0 || state_ != State::Started) return false;
    state_ = State::Stopping;
    return true;
}

// Without the lock: the caller took the stop.
void LibrarySessions::stop(Exit exit)
{
    exit();
    std::lock_guard<std::mutex> hold(lock());
    state_ = State::Stopped;
}

SANE_Status LibrarySessions::Open(SANE_Int& version)
{
    {
        std::lock_guard<std::mutex> hold(lock());
        if (busy()) return SANE_STATUS_DEVICE_BUSY;
        if (state_ == State::Started) {
            ++open_;
            version = version_;
            return SANE_STATUS_GOOD;
        }
        state_ = State::Starting;
    }
    SANE_Int started = 0;
    const SANE_Status status = init_(&started, nullptr);
    std::lock_guard<std::mutex> hold(lock());
    if (status != SANE_STATUS_GOOD) {
        state_ = State::Stopped;
        return status;
    }
    state_ = State::Started;
    version_ = version = started;
    ++open_;
    return SANE_STATUS_GOOD;
}

void LibrarySessions::Close(Exit exit)
{
    bool last = false;
    {
        std::lock_guard<std::mutex> hold(lock());
        --open_;
        last = takeStop();
    }
    if (last) stop(exit);
}

void LibrarySessions::LeaveBehind()
{
    std::lock_guard<std::mutex> hold(lock());
    --open_;
    ++readsLeft_;
}

void LibrarySessions::ReadReturned(CloseDevice close, Exit exit, SANE_Handle device)
{
    close(device);  // the device is the read's alone; still counted, so nothing starts or stops meanwhile
    bool last = false;
    {
        std::lock_guard<std::mutex> hold(lock());
        --readsLeft_;
        last = takeStop();
    }
    if (last) stop(exit);
}
