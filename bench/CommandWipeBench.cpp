// A file wipe started through the command service (wipeFile, then the host's
// polling of getProgressMsg until the finished state) against the same wipe
// made by the wipe manager directly on the calling thread, with no progress
// sink, in one run:
//
//   build/native/bin/command_wipe_bench [folder] [MiB] [rounds]
//
// Each round writes the file afresh (not timed) before each wipe, which
// deletes it. Rounds alternate which side goes first; each round gives one
// ratio (service throughput over direct), and the median of those ratios is
// printed, so that drift of the machine between rounds cancels out. The
// difference is what the task's thread, the holder's reports and stop checks
// and the polling cost.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchTiming.h"
#include "common/ModuleExports.h"
#include "service/DataWipeServiceManager.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::Quantile;
using bench::RunShell;
using bench::Seconds;

bool MakeFile(const std::string& path, long mebibytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::vector<char> block(1 << 20, 0x5A);
  for (long i = 0; i < mebibytes && out; ++i) out.write(block.data(), block.size());
  out.close();
  // The file's pages reach the disk before the timed wipe starts.
  return out.good() && RunShell("sync '" + path + "'");
}

double TimeDirect(const std::string& path) {
  const Clock::time_point start = Clock::now();
  if (__getDataWiperManager()->WipeFile(path.c_str(), false, nullptr) != 0) return -1;
  return Seconds(start);
}

// Starts the wipe as a host does and polls it every millisecond until it finished.
double TimeService(DataWipeServiceManager& service, const std::string& path) {
  const Clock::time_point start = Clock::now();
  vantrix_Web::ICGIResult* started = service.wipeFile(path.c_str(), 0);
  if (started == nullptr) return -1;
  const std::string taskJson = started->GetResultJson();
  started->Release();
  const long long id = std::atoll(taskJson.c_str() + taskJson.find(':') + 1);
  for (;;) {
    vantrix_Web::ICGIResult* progress = service.getProgressMsg(id);
    const std::string json = progress != nullptr ? progress->GetResultJson() : "";
    if (progress != nullptr) progress->Release();
    if (json.find("\"msg_status\":3") != std::string::npos) {
      return json.find("\"msg_errorCode\":0,") != std::string::npos ? Seconds(start) : -1;
    }
    if (json.find("msg_status") == std::string::npos) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : ".";
  const long mebibytes = argc > 2 ? std::atol(argv[2]) : 512;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 9;
  const std::string path = std::filesystem::absolute(folder / "command_wipe_bench.bin").string();

  DataWipeServiceManager service(__getDataWiperManager(), /*deviceManager=*/nullptr);
  std::vector<double> serviceTimes;
  std::vector<double> directTimes;
  std::vector<double> ratios;
  for (int round = 0; round < rounds; ++round) {
    // Each side writes the file afresh first (a failure there fails the side).
    auto serviceSide = [&] { return MakeFile(path, mebibytes) ? TimeService(service, path) : -1; };
    auto directSide = [&] { return MakeFile(path, mebibytes) ? TimeDirect(path) : -1; };
    double times[2] = {-1, -1};
    if (!bench::TimeRound(round, serviceSide, directSide, &times[0], &times[1])) {
      std::fprintf(stderr, "round %d failed\n", round);
      std::filesystem::remove(path);
      return 1;
    }
    serviceTimes.push_back(times[0]);
    directTimes.push_back(times[1]);
    ratios.push_back(times[1] / times[0]);
    std::printf("round %d: service %.1f MiB/s, direct %.1f MiB/s\n", round, mebibytes / times[0],
                mebibytes / times[1]);
  }
  const double serviceRate = mebibytes / Median(serviceTimes);
  const double directRate = mebibytes / Median(directTimes);
  std::printf("wipeFile through the service: %.1f MiB/s\nWipeFile on the manager: %.1f MiB/s\n",
              serviceRate, directRate);
  std::printf("ratio service/direct (median of the rounds' ratios): %.3f (quartiles %.3f, %.3f)\n",
              Median(ratios), Quantile(ratios, 0.25), Quantile(ratios, 0.75));
  return 0;
}
