// Every platform test runs inside the program's application object (offscreen).
#include "app_environment.h"

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);
}  // namespace
