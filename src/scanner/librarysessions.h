// LibrarySessions: the started state of one scanner library, which belongs to
// the process and not to one component. The library is started (sane_init)
// when the first session on it opens and stopped (sane_exit) when nothing
// holds it any more. A scan whose read would not return is left behind inside
// the library, with its device and its session; each such read is counted
// until it has returned and its device is closed. While any is counted, or
// while the library is being started or stopped, the library is busy: no
// session opens on it, no session takes a device or starts a scan, and the
// library is neither started nor stopped under the read. Whoever lets go of
// the last hold stops the library.
//
// Each library has its own record, found by its sane_init. Decisions are
// taken under one process-wide lock, and no call into a library is ever made
// while it is held, so a slow call made for a read left behind never holds
// the window's thread.
//
// Callers keep true: Open and Close pair, on the window's thread; LeaveBehind
// only for a session that is open, which from then on is the read's (its
// component no longer closes it); ReadReturned exactly once per LeaveBehind,
// on the read's thread, with the library's code kept loaded until then.
#pragma once

#include <sane/sane.h>

class LibrarySessions {
public:
    using Init = decltype(&::sane_init);
    using Exit = decltype(&::sane_exit);
    using CloseDevice = decltype(&::sane_close);

    // The record of the library whose sane_init is `init`: made on first use
    // and kept for the whole run.
    static LibrarySessions& Of(Init init);

    // Opens a session, starting the library for the first one. While the
    // library is busy: SANE_STATUS_DEVICE_BUSY, and no session.
    SANE_Status Open(SANE_Int& version);
    // Closes a session; the library stops when nothing else holds it.
    void Close(Exit exit);
    bool Busy() const;
    // The session's read stays inside the library: the session is the read's.
    void LeaveBehind();
    // The read left behind has returned: closes its device and lets go of its
    // session.
    void ReadReturned(CloseDevice close, Exit exit, SANE_Handle device);

private:
    enum class State { Stopped, Starting, Started, Stopping };

    explicit LibrarySessions(Init init) : init_(init) {}
    bool busy() const;
    bool takeStop();
    void stop(Exit exit);

    const Init init_;
    State state_ = State::Stopped;
    int open_ = 0;       // sessions held by components
    int readsLeft_ = 0;  // reads left behind still inside, their device not yet closed
    SANE_Int version_ = 0;  // as the library told when it was started
};
