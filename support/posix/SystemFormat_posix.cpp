#include "support/SystemFormat.h"

#include <cstdio>

int FormatSystemText(char* buffer, std::size_t size, const char* format, va_list args) {
  return std::vsnprintf(buffer, size, format, args);
}
