// What the program's self-drawn controls tell a screen reader goes out
// through here: to Qt's accessibility layer, which passes it on to the
// desktop's accessibility bus while a reader listens, and to one observer
// that a caller may install (the tests read the events through it, since Qt
// drops events while no reader listens). Controls ask Listening() before
// they work out what changed, so nothing is spent while nobody listens.
#pragma once

#include <functional>

class QAccessibleEvent;

namespace platform {

// True while Qt's accessibility layer is active or an observer is installed.
bool AccessibilityListening();

// Hands the event to Qt's accessibility layer and to the observer.
void SendAccessibleEvent(QAccessibleEvent& Event);

// Installs the observer (an empty one removes it); returns the one before.
using AccessibleEventObserver = std::function<void(QAccessibleEvent& Event)>;
AccessibleEventObserver SetAccessibleEventObserver(AccessibleEventObserver Observer);

}  // namespace platform
