// Wipe throughput of CFileWiper against dd writing the same file the same way
// (128 KiB blocks, in place, synced at the end), in one run:
//
//   build/native/bin/file_wipe_bench [folder] [MiB] [rounds]
//
// The file (1 GiB by default) is made in `folder` (default: the current one,
// which should not be a tmpfs). Rounds alternate which side goes first; the
// ratio of the medians is printed, wiper over dd.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "algorithms/WiperAlgorithms.h"
#include "wipers/FileWiper.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::RunShell;
using bench::Seconds;

std::string DdCommand(const std::string& path, long blocks, const char* extra) {
  return "dd if=/dev/zero of='" + path + "' bs=128K count=" + std::to_string(blocks) + " " + extra +
         " status=none";
}

double TimeDd(const std::string& path, long blocks) {
  const Clock::time_point start = Clock::now();
  if (!RunShell(DdCommand(path, blocks, "conv=notrunc,fsync"))) return -1;
  return Seconds(start);
}

// The file is wiped in place and closed (flushed) but not deleted, so the
// next round finds it again.
double TimeWiper(const std::string& path) {
  const Clock::time_point start = Clock::now();
  {
    CFileWiper wiper;
    if (wiper.init(path.c_str()) != 0) return -1;
    CZeroFillWiperAlgorithm algorithm;
    if (wiper.WippeData(&algorithm, nullptr) != 0) return -1;
  }
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : ".";
  const long mebibytes = argc > 2 ? std::atol(argv[2]) : 1024;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  const std::string path = std::filesystem::absolute(folder / "file_wipe_bench.bin").string();
  const long blocks = mebibytes * 8;

  if (!RunShell(DdCommand(path, blocks, "conv=fsync"))) {
    std::fprintf(stderr, "cannot create %s\n", path.c_str());
    return 1;
  }
  std::vector<double> wiperTimes;
  std::vector<double> ddTimes;
  for (int round = 0; round < rounds; ++round) {
    double wiper = -1;
    double dd = -1;
    if (!bench::TimeRound(
            round, [&] { return TimeWiper(path); }, [&] { return TimeDd(path, blocks); }, &wiper,
            &dd)) {
      std::fprintf(stderr, "round %d failed\n", round);
      return 1;
    }
    wiperTimes.push_back(wiper);
    ddTimes.push_back(dd);
    std::printf("round %d: wiper %.1f MiB/s, dd %.1f MiB/s\n", round, mebibytes / wiper,
                mebibytes / dd);
  }
  std::filesystem::remove(path);

  const double wiperRate = mebibytes / Median(wiperTimes);
  const double ddRate = mebibytes / Median(ddTimes);
  std::printf("file wiper: %.1f MiB/s\ndd bs=128K conv=notrunc,fsync: %.1f MiB/s\n", wiperRate,
              ddRate);
  std::printf("ratio wiper/dd: %.3f\n", wiperRate / ddRate);
  return 0;
}
