// Every printing test runs inside the program's application object (offscreen),
// in an English locale, with the screen fixed at 96 pixels per inch.
#include "app_environment.h"
#include "platform/screen.h"

#include <QLocale>

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment([] {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    platform::SetScreenPixelsPerInch(96);
}));
}  // namespace
