#pragma once

#include <cstdarg>
#include <cstddef>

// Formats like vsnprintf, but with the conversions of the system's own C
// runtime, so that the log reads as the platform's developers expect: on
// Windows those of the Microsoft runtime ("%p" as sixteen upper-case hex
// digits, "%S" as wide text), elsewhere those of the C library.
//
// Writes at most `size` bytes including the terminating NUL into `buffer` (a
// null buffer with size 0 only measures). Returns the length of the whole
// text without the NUL, or a negative value for a format the runtime refuses.
// `args` is consumed. Any thread.
int FormatSystemText(char* buffer, std::size_t size, const char* format, va_list args);
