#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "algorithms/WiperAlgorithms.h"
#include "disks/LoopDisks.h"
#include "platform/IDeviceManager.h"
#include "storage/MountPoint.h"
#include "storage/VantrixStorageDevice.h"
#include "support/RecordingSink.h"
#include "support/TestFiles.h"
#include "support/TestPlatform.h"
#include "volumes/ScratchVolume.h"
#include "wipers/DeviceDriverWiper.h"

// Fields of the packed records are compared by value (+field): a check
// would otherwise bind a misaligned reference to them.

namespace {

std::string ReadDevice(const std::string& path, std::size_t offset, std::size_t size) {
  std::string bytes(size, '\0');
  std::ifstream in(path, std::ios::binary);
  in.seekg(std::streamoff(offset)).read(&bytes[0], std::streamsize(size));
  return in ? bytes : std::string();
}

std::string ReadDisk(const DiskInfo& disk) {
  return ReadDevice(disk.szDevicePath, 0, std::size_t(disk.nBytesPerSector * disk.nTotalSectors));
}

// Fills the whole disk with PatternBytes (no 0xFF) and returns them.
std::string FillDisk(const DiskInfo& disk) {
  const std::string bytes = PatternBytes(std::size_t(disk.nBytesPerSector * disk.nTotalSectors));
  std::ofstream(disk.szDevicePath, std::ios::binary | std::ios::in)
      .write(bytes.data(), bytes.size());
  return bytes;
}

// Whether `after` is `before` with bytes [start, start + length) all 0xFF.
bool OnlyWiped(std::string before, const std::string& after, std::size_t start,
               std::size_t length) {
  return after == before.replace(start, length, length, '\xFF');
}

// Wipes partition `index` of `disk` as the wipe manager does: open, wipe,
// dismount. A failure of the open, init or dismount shows as 0xDEAD....
std::uint32_t WipePartition(DiskInfo* disk, int index, IWiperAlgorithm* algorithm,
                            RecordingSink* sink) {
  VantrixStorageDevice device;
  if (device.OpenPartitionOf(disk->partitions[index]) != 0 || !device.IsOpen()) return 0xDEAD0001;
  CDeviceDriverWiper wiper;
  if (wiper.init(disk, &disk->partitions[index]) != 0) return 0xDEAD0002;
  const std::uint32_t code = wiper.WippeData(algorithm, sink);
  return device.DismountVolume() != 0 ? code : 0xDEAD0003;
}

// Partition 2 of disk 1: 65600 sectors of 512 = 256 requests and a tail of 64;
// of disk 2: 2053 sectors of 4096 = 64 requests of 32 and a tail of 5. The
// two wipes run at once, through the one channel.
TEST(LoopDisk, PartitionsOfBothSectorSizesAreWipedAtOnceAndNothingBeside) {
  REQUIRE_LOOP_DISKS();
  const std::int64_t requests[2] = {256, 64};
  std::unique_ptr<DiskInfo> disks[2] = {DescribedDisk(1), DescribedDisk(2)};
  ASSERT_TRUE(disks[0] && disks[1]);
  std::string before[2];
  RecordingSink sinks[2];
  std::uint32_t codes[2] = {};
  CUSDOD522022MEAlgorithm algorithm;
  std::thread wipes[2];
  for (int at = 0; at < 2; ++at) {
    before[at] = FillDisk(*disks[at]);
    // The partition's own cache now holds old bytes; the dismount drops them.
    ASSERT_FALSE(ReadDevice(disks[at]->partitions[1].szDevicePath, 0, 4096).empty());
  }
  for (int at = 0; at < 2; ++at) {
    wipes[at] = std::thread(
        [&, at] { codes[at] = WipePartition(disks[at].get(), 1, &algorithm, &sinks[at]); });
  }
  for (std::thread& wipe : wipes) wipe.join();
  for (int at = 0; at < 2; ++at) {
    const PartitionInfo& partition = disks[at]->partitions[1];
    const std::size_t start = partition.nStartSector * disks[at]->nBytesPerSector;
    EXPECT_EQ(codes[at], 0u) << "disk " << at + 1;
    EXPECT_TRUE(OnlyWiped(before[at], ReadDisk(*disks[at]), start, partition.nSizeInBytes))
        << "disk " << at + 1 << ": partition 2 not wiped whole, or bytes beside it changed";
    EXPECT_TRUE(AllBytesAre(ReadDevice(partition.szDevicePath, 0, 4096), 0xFF)) << "stale cache";
    ASSERT_EQ(sinks[at].reports.size(), std::size_t(3 * requests[at]));
    EXPECT_EQ(sinks[at].reports.back().steps_total, 3 * requests[at]);
    EXPECT_EQ(sinks[at].reports.back().steps_current, 3 * requests[at] - 1);
  }
}

// The whole disk of 4099 sectors of 4096 (128 requests and 3), then
// partition 2 of disk 1 stopped after two requests. (Stops before a pass, a
// partition at sector 0 and whole disks of 512-byte sectors with and without
// a tail: WipeManager's rows and the C host's disk group.)
TEST(LoopDisk, WipesWriteTheirSectorsUpToAStopAndNothingBeside) {
  REQUIRE_LOOP_DISKS();
  const struct {
    int disk;
    bool whole;  // else partition 2
    int checks;  // stop checks allowed (all when negative)
    std::uint32_t code;
    std::size_t written;  // bytes from the target's first
  } cases[] = {{2, true, -1, 0, 4099 * 4096},
               {1, false, 3, CDeviceDriverWiper::kDriverCodeStoppedInPass, 2 * 131072}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "disk " << c.disk << ", code " << std::hex << c.code);
    std::unique_ptr<DiskInfo> disk = DescribedDisk(c.disk);
    ASSERT_TRUE(disk);
    const std::string before = FillDisk(*disk);
    VantrixStorageDevice device;
    if (c.whole) {
      ASSERT_EQ(device.OpenDisk(c.disk), 0) << "the number, resolved by the device manager";
      EXPECT_EQ(device.GetSectorSize() * device.GetTotalSectors(), before.size());
    }
    CDeviceDriverWiper wiper;
    ASSERT_EQ(wiper.init(disk.get(), c.whole ? nullptr : &disk->partitions[1]), 0);
    RecordingSink sink(c.checks);
    CZeroFillWiperAlgorithm algorithm;
    EXPECT_EQ(wiper.WippeData(&algorithm, &sink), c.code);
    const std::size_t start = c.whole ? 0 : disk->partitions[1].nStartSector * 512;
    EXPECT_TRUE(OnlyWiped(before, ReadDisk(*disk), start, c.written));
  }
}

TEST(LoopDisk, BusyTargetsDoNotOpenAndNamesResolveThroughTheDeviceManager) {
  REQUIRE_LOOP_DISKS();
  std::unique_ptr<DiskInfo> mounted = DescribedDisk(4);
  std::unique_ptr<DiskInfo> idle = DescribedDisk(1);
  ASSERT_TRUE(mounted && idle);
  TempDir temp;
  WriteBytes(temp / "file", "not a device");
  const std::wstring file = (temp / "file").wstring();
  VantrixStorageDevice claim;  // a claimed partition makes its disk busy too
  ASSERT_EQ(claim.OpenPartitionOf(idle->partitions[0]), 0);
  using Device = VantrixStorageDevice;
  const std::pair<std::function<int(Device&)>, int> cases[] = {
      {[&](Device& d) { return d.OpenPartitionOf(mounted->partitions[0]); }, EBUSY},
      {[&](Device& d) { return d.OpenDiskOf(*mounted); }, EBUSY},
      {[](Device& d) { return d.OpenVolume('m'); }, EBUSY},  // the mounted one's letter
      {[](Device& d) { return d.OpenDisk(1); }, EBUSY},
      {[&](Device& d) { return d.OpenPartitionOf(idle->partitions[0]); }, EBUSY},
      {[](Device& d) { return d.OpenVolume('Q'); }, ENOENT},
      {[](Device& d) { return d.OpenDisk(9); }, ENOENT},
      {[&](Device& d) { return d.OpenVolume(file.c_str()); }, ENOTBLK},
      {[](Device& d) { return d.OpenVolume('P'); }, 0},
  };
  for (const auto& [open, result] : cases) {
    Device device;
    EXPECT_EQ(open(device), result) << "case " << &open - &cases[0].first;
    EXPECT_EQ(device.IsOpen(), result == 0);
    EXPECT_EQ(device.DismountVolume() != 0, result == 0);
    device.Close();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.DismountVolume(), 0);
  }
  EXPECT_EQ(fs::path(MountPointOf(mounted->partitions[0])).filename(), "mounted");
}

// The whole disk below `path`'s file system, as /sys/block names it.
std::string DiskHolding(const char* path) {
  struct stat status;
  if (stat(path, &status) != 0 || major(status.st_dev) == 0) return "";
  const fs::path sys = fs::canonical("/sys/dev/block/" + std::to_string(major(status.st_dev)) +
                                     ":" + std::to_string(minor(status.st_dev)));
  return (fs::exists(sys / "partition") ? sys.parent_path() : sys).filename().string();
}

TEST(LoopDisk, RealDisksShowTheRootDiskAsSystemAndIdleLoopDisksAsNot) {
  REQUIRE_LOOP_DISKS();
  std::unique_ptr<DiskInfo> idle = DescribedDisk(1);
  std::unique_ptr<DiskInfo> mounted = DescribedDisk(4);
  ASSERT_TRUE(idle && mounted);
  struct RealDisks {  // the machine's own, while the description is set aside
    const std::string description = Environment("VTX_DEVICE_DESCRIPTION");
    RealDisks() { SetEnvironment("VTX_DEVICE_DESCRIPTION", nullptr); }
    ~RealDisks() { SetEnvironment("VTX_DEVICE_DESCRIPTION", description.c_str()); }
  } realDisks;
  IDeviceManager* manager = __GetDeviceManager();
  ASSERT_TRUE(manager->Refresh());
  const std::string root = "/dev/" + DiskHolding("/");
  const std::map<std::string, int> systemFlags = {
      {root, 1}, {idle->szDevicePath, 0}, {mounted->szDevicePath, 1}};
  std::set<std::string> seen;
  DiskInfo disk;
  for (int at = 0; at < manager->GetDiskCount(); ++at) {
    ASSERT_TRUE(manager->GetDiskInfo(manager->GetDiskNumberAt(at), &disk));
    const auto flag = systemFlags.find(disk.szDevicePath);
    if (flag == systemFlags.end()) continue;
    seen.insert(flag->first);
    EXPECT_EQ(+disk.bSystemDisk, flag->second) << flag->first << " (/ and mounts are system)";
    if (flag->first == mounted->szDevicePath) {
      EXPECT_GE(+disk.partitions[0].cDriveLetter, 'C');
      EXPECT_EQ(MountPointOf(disk.partitions[0]), MountPointOf(mounted->partitions[0]));
    } else if (flag->first == idle->szDevicePath) {
      EXPECT_EQ(+disk.partitions[1].nStartSector, +idle->partitions[1].nStartSector);
      EXPECT_EQ(+disk.partitions[1].nSizeInBytes, +idle->partitions[1].nSizeInBytes);
    }
  }
  EXPECT_TRUE(seen.count(idle->szDevicePath) && seen.count(mounted->szDevicePath));
  if (root == "/dev/") GTEST_SKIP() << "/ is not on a block device here (overlay or network)";
  EXPECT_TRUE(seen.count(root)) << root << " is not listed";
}

}  // namespace
