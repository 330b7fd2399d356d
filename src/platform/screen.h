// The screen's logical pixels per inch, the resolution that lengths given in
// screen pixels and pictures recorded for the screen are measured at. Read at
// every call (the user may change the display setting while the program runs).
#pragma once

namespace platform {

// The primary screen's logical dots per inch, rounded; 96 when there is no
// screen. A value set with SetScreenPixelsPerInch takes its place.
int ScreenPixelsPerInch();
// Fixes the value ScreenPixelsPerInch returns (tests); 0 goes back to the screen.
void SetScreenPixelsPerInch(int dpi);

}  // namespace platform
