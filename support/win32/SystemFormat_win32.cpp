#include "support/SystemFormat.h"

#include <algorithm>
#include <cstdio>

// _vscprintf and _vsnprintf are the Microsoft runtime's own formatters; the
// standard names would reach mingw's replacement, whose "%p" differs.
int FormatSystemText(char* buffer, std::size_t size, const char* format, va_list args) {
  va_list measureArgs;
  va_copy(measureArgs, args);
  const int length = _vscprintf(format, measureArgs);
  va_end(measureArgs);
  if (length < 0 || buffer == nullptr || size == 0) return length;
  _vsnprintf(buffer, size, format, args);
  buffer[std::min(size - 1, static_cast<std::size_t>(length))] = '\0';
  return length;
}
