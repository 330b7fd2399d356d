// The release of a mouse press that never comes. A control that keeps state
// from a press to its release (a selection being dragged, a border being
// sized, a column being moved, a button drawn down, a repeating step) must
// not go on as if the button were held once the release went elsewhere: a
// modal window opened meanwhile takes the input (the release goes to it, or
// is dropped because the control's window is blocked), the control was
// hidden, or the mouse shows the button up (a move without it, or a new
// press of it). PressWatch tells the control so, and the control ends its
// press where it stands, doing nothing that only a release does (no click,
// no sort, no move or size taken over); what the press already showed, such
// as a selection dragged so far, stays.
//
// The control routes every event it handles through Handle, from its
// event() or, for a scroll area, from viewportEvent(). A loss found while the
// control is still handling an event (a press whose handler opened a modal
// window) is told once that handling is over, so that no handler finds its
// press ended under it; a loss that a new event shows is told before the
// control sees that event. The callback may find nothing pressed any more
// and must then change nothing.
#pragma once

#include <QEvent>

#include <functional>
#include <utility>

namespace platform {

class PressWatch {
public:
    explicit PressWatch(std::function<void()> lost, Qt::MouseButtons tracked = Qt::LeftButton)
        : lost_(std::move(lost)), tracked_(tracked)
    {
    }

    // Runs `deliver`, the control's own handling of e, and returns its result.
    template <typename Deliver>
    bool Handle(QEvent* e, Deliver&& deliver)
    {
        note(e);
        bool done = false;
        {
            const Nesting nesting(depth_);
            done = deliver();
        }
        settle();
        return done;
    }

    // A tracked button was pressed on the control and is neither released nor lost.
    bool Held() const { return held_ != Qt::NoButton; }

private:
    struct Nesting {
        explicit Nesting(int& depth) : depth_(depth) { ++depth_; }
        ~Nesting() { --depth_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;
        int& depth_;
    };
    void note(const QEvent* e);
    void lose();
    void settle();

    std::function<void()> lost_;
    Qt::MouseButtons tracked_;
    Qt::MouseButtons held_;
    bool pending_ = false;  // a loss not told yet
    int depth_ = 0;         // events of the control being handled
};

}  // namespace platform
