// Where the desktop's keyboard focus is, as the window system tells it (under
// X, its input focus), beside what Qt takes for the active window. The two
// can part: a window manager that gives the focus back to a window that had
// it already (a dialog over it has just closed) sends no new focus event, and
// Qt then takes no window for active, so that screen readers hear nothing,
// while the keys go to that window all the same. Call on the user-interface
// thread.
#pragma once

#include <functional>

class QWidget;

namespace platform {

enum class DesktopFocus {
    Unknown,    // the window system does not tell (no X display)
    OnWindow,   // on the window asked about, or on the frame around it
    Nowhere,    // on no window, on the window manager's own (where it parks the
                // focus it gives no window), or on another window of the program
    Elsewhere,  // on a window of another application
};

// Where the focus is, seen from `window` (a shown top-level window).
DesktopFocus DesktopFocusFor(const QWidget* window);

// Tests: replaces how the focus is read (an empty reader gives the window
// system's back); returns the reader before.
using DesktopFocusReader = std::function<DesktopFocus(const QWidget* window)>;
DesktopFocusReader SetDesktopFocusReader(DesktopFocusReader reader);

}  // namespace platform
