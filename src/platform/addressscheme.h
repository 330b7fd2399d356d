// The scheme of a web or mail address, and which schemes the program opens
// at all. Plain text checks, without the desktop: the grid's exchange formats
// use them to tell a link from text, the shell (platform/shell.h) before it
// hands an address on.
#pragma once

#include <QString>

namespace platform {

// The schemes the program opens: http, https, ftp and mailto (lower case).
bool IsOpenedScheme(const QString& scheme);
// The scheme of an address as typed, lower-cased: letters, digits, "+", "-",
// "." before the first ":", which must not be the first character; empty when
// there is none ("www.x.com:8080" has none).
QString AddressScheme(const QString& text);

}  // namespace platform
