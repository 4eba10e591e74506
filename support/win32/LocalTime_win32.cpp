#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "support/LocalTime.h"

std::tm LocalTimeNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::tm local = {};
  local.tm_year = now.wYear - 1900;
  local.tm_mon = now.wMonth - 1;
  local.tm_mday = now.wDay;
  local.tm_hour = now.wHour;
  local.tm_min = now.wMinute;
  local.tm_sec = now.wSecond;
  local.tm_wday = now.wDayOfWeek;
  return local;
}
