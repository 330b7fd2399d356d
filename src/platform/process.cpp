#include "platform/process.h"

#include <cstdlib>

namespace platform {

namespace {
ExitHandler& handler()
{
    static ExitHandler h;
    return h;
}
}  // namespace

void ExitProgram(int code)
{
    if (handler())
        handler()(code);
    std::exit(code);
}

ExitHandler SetExitHandler(ExitHandler h)
{
    ExitHandler previous = std::move(handler());
    handler() = std::move(h);
    return previous;
}

}  // namespace platform
