// Long work on behalf of the user-interface thread: a network exchange, a
// child process, a scanner's reads, a file built cell by cell. While a
// LongWork lives:
// - the hourglass is shown over the whole program;
// - the user's input to every window (keys, mouse buttons and moves, wheel,
//   shortcuts, context menus, touch and tablet, close requests, drags and
//   drops, text from an input method) is dropped; a key or button press, a
//   close request, a drop or committed input-method text sounds one beep;
//   a drag is refused, so its source keeps what it offered. Only the
//   cancel widget given, with the widgets inside it, takes input, and so
//   does a modal window opened since the work began (a question the work
//   itself asks), their shortcuts included.
//   Input is dropped rather than replayed afterwards: keys typed at a busy
//   window would otherwise act later on whatever window then has the focus;
// - Pump, and Run while its step works, handle paint, timer and posted events,
//   so every window stays painted and timers keep running.
// Create it on the user-interface thread only. Nested ones are allowed: the
// innermost one's cancel widget is the one that takes input.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <chrono>
#include <future>
#include <type_traits>
#include <utility>

namespace platform {

class LongWork {
public:
    explicit LongWork(QWidget* cancel = nullptr);
    ~LongWork();
    LongWork(const LongWork&) = delete;
    LongWork& operator=(const LongWork&) = delete;

    // Handles the pending paint, timer and posted events (and the cancel
    // widget's input) when the last time is 30 ms or more ago; cheap to call
    // from every step of a loop.
    void Pump();

    // Runs step on a thread of its own and returns its result (an exception
    // it throws comes out here). Meanwhile this thread pumps, and runs tick
    // (when given) every 20 ms or so, e.g. to move a progress bar. The step
    // must not touch widgets or the database.
    template <class Step, class Tick>
    std::invoke_result_t<Step&> Run(Step&& step, Tick&& tick)
    {
        auto result = std::async(std::launch::async, std::forward<Step>(step));
        while (result.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
            tick();
            Pump();
        }
        return result.get();
    }
    template <class Step>
    std::invoke_result_t<Step&> Run(Step&& step)
    {
        return Run(std::forward<Step>(step), [] {});
    }

private:
    QPointer<QWidget> outerCancel_, outerModal_;
    QElapsedTimer sincePump_;
};

}  // namespace platform
