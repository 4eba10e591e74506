// Whole-disk wipe throughput of CDeviceDriverWiper on a loop disk against dd
// writing the same device, in one run:
//
//   build/native/bin/disk_wipe_bench [folder] [MiB] [rounds]
//
// As root: an image of `MiB` (1 GiB by default) is made in `folder` (default:
// the current one) and attached with `losetup -f --direct-io=on`, so that the
// loop disk, like a real one, keeps no cache of its own behind the block
// layer; it is described to the device manager through a description file
// (VTX_DEVICE_DESCRIPTION), as every test does. Each round times the wiper
// (zero fill, one pass, flushed), `dd bs=128K oflag=direct` and
// `dd bs=128K conv=fsync`, in a rotating order. The medians are printed with
// the ratio of the wiper to the faster dd. The device and image are removed.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "algorithms/WiperAlgorithms.h"
#include "platform/IDeviceManager.h"
#include "storage/VantrixStorageDevice.h"
#include "wipers/DeviceDriverWiper.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::RunShell;
using bench::Seconds;

std::string Capture(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char line[256];
    while (std::fgets(line, sizeof(line), pipe) != nullptr) output += line;
    pclose(pipe);
  }
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

double TimeDd(const std::string& device, long blocks, const char* how) {
  const Clock::time_point start = Clock::now();
  const std::string command = "dd if=/dev/zero of=" + device +
                              " bs=128K count=" + std::to_string(blocks) + " " + how +
                              " status=none";
  return RunShell(command) ? Seconds(start) : -1;
}

double TimeWiper(DiskInfo* disk) {
  const Clock::time_point start = Clock::now();
  VantrixStorageDevice device;  // the wiper writes through the claimed, checked device
  if (device.OpenDiskOf(*disk) != 0 || !device.AttachToChannel(*disk)) return -1;
  CDeviceDriverWiper wiper;
  CZeroFillWiperAlgorithm algorithm;
  if (wiper.init(disk, nullptr) != 0 || wiper.WippeData(&algorithm, nullptr) != 0) return -1;
  return Seconds(start);
}

// The loop disk of the run; detached and its image removed on destruction.
struct LoopDisk {
  std::filesystem::path image;
  std::string device;
  ~LoopDisk() {
    if (!device.empty()) RunShell("losetup -d " + device);
    std::filesystem::remove(image);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = std::filesystem::absolute(argc > 1 ? argv[1] : ".");
  const long mebibytes = argc > 2 ? std::atol(argv[2]) : 1024;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  const long blocks = mebibytes * 8;

  LoopDisk loop{folder / "disk_wipe_bench.img", ""};
  if (!RunShell("truncate -s " + std::to_string(mebibytes) + "M '" + loop.image.string() + "'")) {
    return 1;
  }
  loop.device = Capture("losetup -f --show --direct-io=on '" + loop.image.string() + "'");
  if (loop.device.rfind("/dev/loop", 0) != 0) {
    std::fprintf(stderr, "cannot attach a loop device (root needed): %s\n", loop.device.c_str());
    loop.device.clear();
    return 1;
  }
  const std::filesystem::path description = folder / "disk_wipe_bench.json";
  std::ofstream(description) << R"({"disks":[{"number":1,"bytesPerSector":512,"totalSectors":)"
                             << blocks * 256 << R"(,"device":")" << loop.device << R"("}]})";
  setenv("VTX_DEVICE_DESCRIPTION", description.c_str(), 1);
  std::unique_ptr<DiskInfo> disk(new DiskInfo());
  IDeviceManager* manager = __GetDeviceManager();
  manager->Refresh();
  const bool described = manager->GetDiskInfo(1, disk.get());
  std::filesystem::remove(description);
  if (!described) {
    std::fprintf(stderr, "device manager: %s\n", manager->GetLastErrorText());
    return 1;
  }
  std::printf("%ld MiB on %s (%s)\n", mebibytes, loop.device.c_str(), loop.image.c_str());

  std::array<std::vector<double>, 3> times;
  const char* const names[3] = {"wiper", "dd bs=128K oflag=direct", "dd bs=128K conv=fsync"};
  for (int round = 0; round < rounds; ++round) {
    for (int step = 0; step < 3; ++step) {
      const int which = (round + step) % 3;
      const double seconds = which == 0   ? TimeWiper(disk.get())
                             : which == 1 ? TimeDd(loop.device, blocks, "oflag=direct")
                                          : TimeDd(loop.device, blocks, "conv=fsync");
      if (seconds < 0) {
        std::fprintf(stderr, "round %d: %s failed\n", round, names[which]);
        return 1;
      }
      times[which].push_back(seconds);
    }
    std::printf("round %d: wiper %.1f, direct %.1f, fsync %.1f MiB/s\n", round,
                mebibytes / times[0].back(), mebibytes / times[1].back(),
                mebibytes / times[2].back());
  }
  double rates[3];
  for (int which = 0; which < 3; ++which) {
    rates[which] = mebibytes / Median(times[which]);
    std::printf("%-26s %.1f MiB/s\n", names[which], rates[which]);
  }
  std::printf("ratio wiper / faster dd: %.3f\n", rates[0] / std::max(rates[1], rates[2]));
  return 0;
}
