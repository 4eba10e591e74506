#pragma once

#include <cstddef>
#include <string>

// What ends a line of a text file: CR LF on Windows, LF on POSIX.
extern const char kLineEnd[];

// Conversions between narrow text in the system's code page and wide text.
//
// Windows: the ANSI code page (CP_ACP), no flags; a character the code page
// cannot represent becomes its default character.
// POSIX: narrow text is UTF-8 whatever the locale. A byte that is not part of
// valid UTF-8 maps to the lone surrogate U+DC80..U+DCFF and back, so names made
// of arbitrary bytes survive a round trip.
//
// Both stop at an embedded NUL, keep no state, and give an empty string when
// memory or the conversion fails.
std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::wstring& text);
