// Ending the program with an exit code from deep inside a window (a failed
// start, a cancelled login, a restore). Everything goes through ExitProgram so
// that tests can install a handler that records the code and unwinds (by
// throwing ProgramExit) instead of ending the test process.
#pragma once

#include <functional>

namespace platform {

// What a test handler may throw to unwind out of the code that asked to exit.
struct ProgramExit {
    int code;
};

using ExitHandler = std::function<void(int code)>;

// Runs the installed handler; when it returns (or none is installed) the
// process ends with std::exit(code).
[[noreturn]] void ExitProgram(int code);

// Installs a handler (nullptr: back to plain std::exit); returns the previous one.
ExitHandler SetExitHandler(ExitHandler handler);

}  // namespace platform
