// How the program shows itself to the desktop: the class name its windows give
// the window manager ("quillet", the StartupWMClass of its desktop entry), the
// desktop entry they belong to (the application id on Wayland) and the icon
// every window carries, so that the task bar shows the program's own icon.
// Call PresentProgram once, after the application object is made and before
// the first window is shown.
#pragma once

#include <QIcon>

// The program's icon, at every size it comes with.
QIcon ProgramIcon();
void PresentProgram();
