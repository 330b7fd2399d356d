// The application object of a benchmark that needs one but owns no window
// for long: made once, on the offscreen platform, on first use, and kept
// for the rest of the run (and left to the process's end).
#pragma once

#include <QApplication>

inline QApplication& offscreenApplication()
{
    static int argc = 1;
    static char arg0[] = "bench";
    static char* argv[] = {arg0, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // never destroyed: Qt's own globals, some made after it (input devices
    // once a window has shown), go first as the process exits
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}
