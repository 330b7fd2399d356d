#include "platform/beep.h"

#include <QApplication>

namespace platform {

namespace {
int beeps = 0;
}

void MessageBeep(unsigned)
{
    ++beeps;
    QApplication::beep();
}

int BeepCount() { return beeps; }

}  // namespace platform
