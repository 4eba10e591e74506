#pragma once

#include <ctime>

// The local time now, broken down. Cheap enough for every log line: the time
// zone is read once per process, not once per call. Thread-safe.
std::tm LocalTimeNow();
