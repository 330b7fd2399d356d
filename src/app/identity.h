// How the program shows itself to the desktop: the class name its windows give
// the window manager ("quillet", the StartupWMClass of its desktop entry), the
// desktop entry they belong to (the application id on Wayland) and the icon
// every window carries, so that the task bar shows the program's own icon.
// Call PresentProgram once, after the application object is made and before
// the first window is shown.
//
// Started from the application menu, the program keeps its data in the
// user's data folder (platform/datafolder.h): the menu's launcher passes
// kMenuStart, and the program calls EnterMenuDataFolder before it makes its
// main window, with the program's dialogs installed.
#pragma once

#include <QIcon>

// The program's icon, at every size it comes with.
QIcon ProgramIcon();
void PresentProgram();

inline constexpr char kMenuStart[] = "--from-menu";
// Makes the data folder of HOME and XDG_DATA_HOME where it is missing and
// moves into it. Where there is none to be had, says why in a window (and on
// standard error, for a terminal) and ends the program with status 1.
void EnterMenuDataFolder();
