// The legacy 8-bit code pages that text files from other programs still
// come in, and their conversion to and from our UTF-8. Page 437 (the old DOS
// "OEM" page, used by some CSV files): a character that page lacks is
// written as "?", and a byte that is no valid UTF-8 is taken as "?" too.
// Windows-1252 (what Windows programs write as "ANSI" text): its five unused
// bytes read as U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::string Utf8ToOem(std::string_view utf8);
std::string OemToUtf8(std::string_view oem);

// The character of one Windows-1252 byte.
char32_t Cp1252Char(unsigned char byte);
// Whether text is valid UTF-8 (a sequence cut off at its end is not).
bool IsUtf8(std::string_view text);
// Text from another program as UTF-8: valid UTF-8 as it is, anything else
// read as Windows-1252.
std::string Utf8OrCp1252(std::string_view text);

} // namespace platform
