#include <time.h>

#include "support/LocalTime.h"

std::tm LocalTimeNow() {
  // localtime_r does not look the zone up again; tzset reads it once here.
  static const bool zoneRead = (tzset(), true);
  (void)zoneRead;
  const std::time_t now = std::time(nullptr);
  std::tm local = {};
  localtime_r(&now, &local);
  return local;
}
