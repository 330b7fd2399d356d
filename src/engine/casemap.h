// The engine's case map, shared with the program: upper() and lower() of the
// query language and every case-insensitive match of the program change ASCII
// letters only and keep every other byte, so byte positions in UTF-8 texts
// stay valid.
#pragma once

inline char dbUpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

inline char dbLowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}
