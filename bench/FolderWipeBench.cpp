// Folder wipe of many small files against `rm -r` of the same tree, in one
// run:
//
//   build/native/bin/folder_wipe_bench [folder] [rounds]
//
// Each round builds two identical trees in `folder` (default: the current
// one, which should not be a tmpfs) of 5,000 files of 1 to 64 KiB spread over
// 50 folders, syncs them to the device, then wipes one with CFolderWiper
// (init, WippeData, removeAll) and removes the other with `rm -r`; rounds
// alternate which goes first. The ratio of the medians is printed, wipe over
// rm: how many times the removal time a wipe of the tree costs.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "algorithms/WiperAlgorithms.h"
#include "wipers/FolderWiper.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::RunShell;
using bench::Seconds;

namespace fs = std::filesystem;
constexpr int kFolders = 50;
constexpr int kFiles = 5000;

// The same sizes in every tree: 1 to 64 KiB from a fixed sequence.
void BuildTree(const fs::path& root) {
  std::uint32_t state = 12345;
  const std::string content(64 * 1024, 'x');
  for (int folder = 0; folder < kFolders; ++folder) {
    fs::create_directories(root / ("d" + std::to_string(folder)));
  }
  for (int file = 0; file < kFiles; ++file) {
    state = state * 1664525u + 1013904223u;
    const std::size_t size = 1024 + (state >> 8) % (63 * 1024 + 1);
    std::ofstream out(root / ("d" + std::to_string(file % kFolders)) / ("f" + std::to_string(file)),
                      std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(size));
  }
}

double TimeWipe(const fs::path& root) {
  const Clock::time_point start = Clock::now();
  CFolderWiper wiper;
  if (wiper.init(root.c_str()) < 0) return -1;
  CZeroFillWiperAlgorithm algorithm;
  if (wiper.WippeData(&algorithm, nullptr) != 0) return -1;
  wiper.removeAll();
  const double seconds = Seconds(start);
  return fs::exists(root) ? -1 : seconds;
}

double TimeRemove(const fs::path& root) {
  const Clock::time_point start = Clock::now();
  if (!RunShell("rm -r '" + root.string() + "'")) return -1;
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder = fs::absolute(argc > 1 ? argv[1] : ".");
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const fs::path wipeRoot = folder / "folder_wipe_bench.wipe";
  const fs::path removeRoot = folder / "folder_wipe_bench.rm";

  std::vector<double> wipeTimes;
  std::vector<double> removeTimes;
  for (int round = 0; round < rounds; ++round) {
    BuildTree(wipeRoot);
    BuildTree(removeRoot);
    sync();
    double wipe = -1;
    double remove = -1;
    if (!bench::TimeRound(
            round, [&] { return TimeWipe(wipeRoot); }, [&] { return TimeRemove(removeRoot); },
            &wipe, &remove)) {
      std::fprintf(stderr, "round %d failed\n", round);
      return 1;
    }
    wipeTimes.push_back(wipe);
    removeTimes.push_back(remove);
    std::printf("round %d: wipe %.3f s, rm -r %.3f s\n", round, wipe, remove);
  }
  const double wipe = Median(wipeTimes);
  const double remove = Median(removeTimes);
  std::printf("folder wipe: %.3f s\nrm -r: %.3f s\nratio wipe/rm: %.2f\n", wipe, remove,
              wipe / remove);
  return 0;
}
