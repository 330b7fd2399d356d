#include "grid/inputteller.h"

#include "grid/listgrid.h"
#include "platform/accessibility.h"

#include <QEvent>

#include <optional>

namespace grid {

namespace {

// Sees the grid's keys and the viewport's mouse presses and releases before
// the grid does.
class InputTeller : public QObject {
public:
    InputTeller(RIvuZuvuzoZuvu& grid, std::function<QString()> state)
        : QObject(&grid), grid_(&grid), viewport_(grid.viewport()), state_(std::move(state))
    {
        grid.installEventFilter(this);
        viewport_->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        const bool key = watched == grid_ && type == QEvent::KeyPress;
        const bool mouse = watched == viewport_ &&
                           (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease);
        if (!(key || mouse) || !platform::AccessibilityListening())
            return false;
        if (type != QEvent::MouseButtonRelease || !before_)
            before_ = state_();
        if (type == QEvent::MouseButtonPress)
            return false;  // a drag selects until the button comes up
        // once the grid and the window have handled the event
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!before_)
                    return;
                const QString now = state_();
                if (now != *before_)
                    platform::Announce(now, grid_);
                before_.reset();
            },
            Qt::QueuedConnection);
        return false;
    }

private:
    RIvuZuvuzoZuvu* grid_;
    // kept, not asked of the grid: the viewport still has events while the
    // grid is being destroyed, when the grid can no longer be asked
    QObject* viewport_;
    std::function<QString()> state_;
    std::optional<QString> before_;  // the state before the input, while it is handled
};

}  // namespace

void TellStateAfterInput(RIvuZuvuzoZuvu& Grid, std::function<QString()> state)
{
    new InputTeller(Grid, std::move(state));
}

}  // namespace grid
