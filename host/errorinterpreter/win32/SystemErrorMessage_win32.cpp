#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>

#include "ErrorInterpreter.h"

bool SystemErrorMessage(unsigned int code, char* text, std::size_t size) {
  char message[1024];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                /*lpSource=*/nullptr, code, /*dwLanguageId=*/0, message,
                                static_cast<DWORD>(sizeof(message)), /*Arguments=*/nullptr);
  while (length > 0 && (message[length - 1] == '\r' || message[length - 1] == '\n' ||
                        message[length - 1] == ' ')) {
    --length;
  }
  if (length == 0) return false;
  message[length] = '\0';
  std::snprintf(text, size, "%s", message);
  return true;
}
