// The error raised when a number or a length cannot be taken as given: a text
// that does not parse, or a value outside the range its holder can keep. The
// application's default handler shows its text; the holder stays unchanged.
#pragma once

#include <stdexcept>

namespace platform {

class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace platform
