#include <string.h>

#include <cstdio>

#include "ErrorInterpreter.h"

bool SystemErrorMessage(unsigned int code, char* text, std::size_t size) {
  const int number = static_cast<int>(code);
  if (number <= 0 || strerrorname_np(number) == nullptr) return false;
  char buffer[256];
  std::snprintf(text, size, "%s", strerror_r(number, buffer, sizeof(buffer)));
  return true;
}
