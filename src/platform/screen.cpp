#include "platform/screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace platform {

namespace {
int g_fixedDpi = 0;
}

int ScreenPixelsPerInch()
{
    if (g_fixedDpi > 0) return g_fixedDpi;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (const QScreen* s = QGuiApplication::primaryScreen()) {
            const long dpi = std::lrint(s->logicalDotsPerInchY());
            if (dpi > 0) return int(dpi);
        }
    return 96;
}

void SetScreenPixelsPerInch(int dpi) { g_fixedDpi = dpi > 0 ? dpi : 0; }

}  // namespace platform
