// Throughput of the disk-I/O driver path under Wine, in one run against two
// baselines: the same requests refused by the driver before it writes (Wine's
// transport of a request alone), and the same sectors written straight to
// \\.\PhysicalDrive1 (Wine ignores write-through, so these land in the page
// cache):
//
//   driver_throughput_bench <driver.sys> <image> <MiB> <rounds>
//
// PhysicalDrive1 must be a scratch loop disk: bench/driver_bench.sh maps one
// and names its image; nothing is written unless the disk begins with the
// image's bytes.
// Each round writes the first <MiB> of disk 1 in requests of 256 sectors of
// 512 bytes all three ways, rotating which goes first; the medians and the
// ratios of the driver path to each baseline are printed.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "driver/DriverClient.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::Seconds;

using Clock = std::chrono::steady_clock;
constexpr unsigned kSectors = 256;
constexpr unsigned kBlock = kSectors * 512;

// A head with no sectors makes the driver refuse the request unwritten.
double ThroughDriver(HANDLE device, unsigned blocks, const std::string& data, bool refused) {
  const Clock::time_point start = Clock::now();
  for (unsigned i = 0; i < blocks; ++i) {
    const DWORD error =
        SendWriteSectors(device, /*disk=*/1, 1ULL * i * kSectors, refused ? 0 : kSectors, data);
    if (error != (refused ? ERROR_INVALID_PARAMETER : 0)) return -1;
  }
  return Seconds(start);
}

double Direct(unsigned blocks, const std::string& data) {
  const Clock::time_point start = Clock::now();
  HANDLE disk = CreateFileW(L"\\\\.\\PhysicalDrive1", GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, /*lpSecurityAttributes=*/nullptr,
                            OPEN_EXISTING, FILE_FLAG_WRITE_THROUGH, /*hTemplateFile=*/nullptr);
  if (disk == INVALID_HANDLE_VALUE) return -1;
  DWORD written = 0;
  bool ok = true;
  for (unsigned i = 0; ok && i < blocks; ++i) {
    ok = WriteFile(disk, data.data(), kBlock, &written, /*lpOverlapped=*/nullptr) &&
         written == kBlock;
  }
  CloseHandle(disk);
  return ok ? Seconds(start) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::printf("usage: driver_throughput_bench <driver.sys> <image> <MiB> <rounds>\n");
    return 2;
  }
  const std::string driver = argv[1];
  const unsigned blocks = std::atoi(argv[3]) * 8;
  const int rounds = std::max(1, std::atoi(argv[4]));
  std::string start(4096, '\0');
  std::ifstream(argv[2], std::ios::binary).read(start.data(), start.size());
  if (!IsScratchDisk(/*disk=*/1, start)) {
    std::printf("PhysicalDrive1 is not the image %s: nothing written\n", argv[2]);
    return 1;
  }
  if (const DWORD error = InstallAndStartDriver(std::wstring(driver.begin(), driver.end()))) {
    std::printf("cannot start the driver: %lu\n", error);
    return 1;
  }
  HANDLE device = OpenDriverDevice();
  if (device == INVALID_HANDLE_VALUE) {
    std::printf("cannot open the driver's device: %lu\n", GetLastError());
    return 1;
  }
  const std::string data(kBlock, '\x5a');
  std::vector<double> times[3];  // driver, refused, direct
  for (int round = 0; round < rounds; ++round) {
    for (int turn = 0; turn < 3; ++turn) {
      const int way = (round + turn) % 3;
      const double seconds =
          way == 2 ? Direct(blocks, data) : ThroughDriver(device, blocks, data, way == 1);
      if (seconds < 0) {
        std::printf("a request failed in round %d\n", round);
        return 1;
      }
      times[way].push_back(seconds);
    }
  }
  CloseHandle(device);
  StopAndDeleteDriver();
  double rates[3];
  for (int way = 0; way < 3; ++way) rates[way] = blocks / 8.0 / Median(times[way]);
  std::printf("MiB/s: driver path %.1f, refused requests %.1f, direct %.1f\n", rates[0], rates[1],
              rates[2]);
  std::printf("ratio driver path / refused requests: %.2f, driver path / direct: %.4f\n",
              rates[0] / rates[1], rates[0] / rates[2]);
  return 0;
}
