// The hourglass over the whole program while an operation runs on the
// user-interface thread. It is shown for as long as the BusyCursor lives;
// nested ones stack. Create it on the user-interface thread only. Work that
// takes long enough for the user to act meanwhile goes through LongWork
// (platform/longwork.h), which shows it too.
#pragma once

#include <QGuiApplication>

namespace platform {

class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace platform
