// The hourglass over the whole program while a long operation runs on the
// user-interface thread. It is shown for as long as the BusyCursor lives;
// nested ones stack. Create it on the user-interface thread only.
// RunWhileRepainting runs one blocking step (a network exchange, a pause) on a
// thread of its own while the user-interface thread waits for it with the
// windows repainted; the step must not touch widgets or the database.
#pragma once

#include <QCoreApplication>
#include <QGuiApplication>

#include <chrono>
#include <future>
#include <type_traits>
#include <utility>

namespace platform {

class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Runs work on a short-lived thread and returns its result. Meanwhile paint,
// timer and posted events are handled here, user input is not, and tick (when
// given) runs here every few milliseconds, e.g. to move a progress bar.
template <class Work, class Tick>
std::invoke_result_t<Work&> RunWhileRepainting(Work&& work, Tick&& tick)
{
    auto result = std::async(std::launch::async, std::forward<Work>(work));
    while (result.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        tick();
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    }
    return result.get();
}

template <class Work>
std::invoke_result_t<Work&> RunWhileRepainting(Work&& work)
{
    return RunWhileRepainting(std::forward<Work>(work), [] {});
}

}  // namespace platform
