#include "platform/presswatch.h"

#include <QMouseEvent>

namespace platform {

void PressWatch::note(const QEvent* e)
{
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const Qt::MouseButton button = static_cast<const QMouseEvent*>(e)->button();
        if (!(tracked_ & button))
            return;
        if (held_ & button)
            lose();  // the last release of this button never came
        settle();
        held_ |= button;
        return;
    }
    case QEvent::MouseButtonRelease:
        held_ &= ~static_cast<const QMouseEvent*>(e)->button();
        return;
    case QEvent::MouseMove:
        if (held_ & ~static_cast<const QMouseEvent*>(e)->buttons())
            lose();
        break;
    case QEvent::WindowBlocked:  // the release goes to the modal window, or nowhere
    case QEvent::Hide:
        if (held_)
            lose();
        break;
    default:
        return;
    }
    settle();
}

void PressWatch::lose()
{
    held_ = Qt::NoButton;
    pending_ = true;
}

void PressWatch::settle()
{
    if (!pending_ || depth_ > 0)
        return;
    pending_ = false;
    if (lost_)
        lost_();
}

}  // namespace platform
