#include "platform/accessibility.h"

#include <QAccessible>
#include <utility>

namespace platform {

namespace {
AccessibleEventObserver& observer()
{
    static AccessibleEventObserver installed;
    return installed;
}
}  // namespace

bool AccessibilityListening() { return QAccessible::isActive() || static_cast<bool>(observer()); }

void SendAccessibleEvent(QAccessibleEvent& Event)
{
    QAccessible::updateAccessibility(&Event);
    if (observer())
        observer()(Event);
}

AccessibleEventObserver SetAccessibleEventObserver(AccessibleEventObserver Observer)
{
    return std::exchange(observer(), std::move(Observer));
}

}  // namespace platform
