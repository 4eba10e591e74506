#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

// What every benchmark measures with: a monotonic clock, the spread of its
// rounds, and the shell for the baselines (dd, rm) it runs in the same run.
namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The value at `fraction` (0 to 1) of the sorted values; never empty.
inline double Quantile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(fraction * (values.size() - 1) + 0.5)];
}

inline double Median(const std::vector<double>& values) { return Quantile(values, 0.5); }

// Times both sides of round `round`, `a` first in even rounds and `b` first
// in odd ones, so that a drift of the machine falls on both alike. Each side
// returns its time in seconds, negative when it failed; false then.
template <class SideA, class SideB>
bool TimeRound(int round, SideA a, SideB b, double* aTime, double* bTime) {
  if (round % 2 == 0) {
    *aTime = a();
    *bTime = b();
  } else {
    *bTime = b();
    *aTime = a();
  }
  return *aTime >= 0 && *bTime >= 0;
}

inline bool RunShell(const std::string& command) { return std::system(command.c_str()) == 0; }

}  // namespace bench
