// Text in the OEM code page (437, the old DOS page) that some CSV files still
// use, and back. Our own texts are UTF-8; a character that page 437 lacks is
// written as "?", and a byte that is no valid UTF-8 is taken as "?" too.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::string Utf8ToOem(std::string_view utf8);
std::string OemToUtf8(std::string_view oem);

} // namespace platform
