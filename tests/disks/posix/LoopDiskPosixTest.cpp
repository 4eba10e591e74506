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

// Wipes partition 2 of `disk`, or the whole disk by its number, as the wipe
// manager does: open, wipe, dismount. A failed open, size, init or dismount
// shows as 0xDEAD....
std::uint32_t Wipe(DiskInfo* disk, bool whole, IWiperAlgorithm* algorithm, RecordingSink* sink) {
  VantrixStorageDevice device;
  PartitionInfo* partition = whole ? nullptr : &disk->partitions[1];
  if ((whole ? device.OpenDisk(disk->nDiskNumber) : device.OpenPartitionOf(*disk, *partition)) !=
          0 ||
      !device.AttachToChannel(*disk))
    return 0xDEAD0001;
  if (whole && device.GetSectorSize() * device.GetTotalSectors() !=
                   std::uint64_t(disk->nBytesPerSector * disk->nTotalSectors))
    return 0xDEAD0002;
  CDeviceDriverWiper wiper;
  if (wiper.init(disk, partition) != 0) return 0xDEAD0003;
  const std::uint32_t code = wiper.WippeData(algorithm, sink);
  return device.DismountVolume() != 0 ? code : 0xDEAD0004;
}

// Partition 2 of disk 1: 65600 sectors of 512 = 256 requests and a tail of 64;
// of disk 2: 2053 sectors of 4096 = 64 requests of 32 and a tail of 5; disk 2
// whole: 4099 sectors = 128 requests and 3. The two wipes of a round run at
// once, through the one channel. (Stops before a pass, a partition at sector 0
// and whole disks of 512-byte sectors: WipeManager's rows and the C host.)
TEST(LoopDisk, WipesOfBothSectorSizesWriteTheirTargetUpToAStopAndNothingBeside) {
  REQUIRE_LOOP_DISKS();
  CUSDOD522022MEAlgorithm threePasses;
  CZeroFillWiperAlgorithm onePass;
  struct Row {
    int disk;
    bool whole;  // else partition 2
    IWiperAlgorithm* algorithm;
    int checks;  // stop checks allowed (all when negative)
    std::uint32_t code;
    std::int64_t reports, steps;  // the reports made, the steps they announce
    std::size_t written;          // bytes from the target's first
  };
  const Row rounds[2][2] = {
      {{1, false, &threePasses, -1, 0, 3 * 256, 3 * 256, 65600 * 512},
       {2, false, &threePasses, -1, 0, 3 * 64, 3 * 64, 2053 * 4096}},
      {{2, true, &onePass, -1, 0, 128, 128, 4099 * 4096},
       {1, false, &onePass, 3, CDeviceDriverWiper::kDriverCodeStoppedInPass, 2, 256, 2 * 131072}}};
  for (const auto& round : rounds) {
    std::unique_ptr<DiskInfo> disks[2];
    std::string before[2];
    RecordingSink sinks[2] = {RecordingSink(round[0].checks), RecordingSink(round[1].checks)};
    std::uint32_t codes[2] = {};
    for (int at = 0; at < 2; ++at) {
      disks[at] = DescribedDisk(round[at].disk);
      ASSERT_TRUE(disks[at]);
      before[at] = FillDisk(*disks[at]);
      // The partition's own cache now holds old bytes; its dismount drops them.
      ASSERT_TRUE(round[at].whole ||
                  !ReadDevice(disks[at]->partitions[1].szDevicePath, 0, 4096).empty());
    }
    std::thread wipes[2];
    for (int at = 0; at < 2; ++at) {
      wipes[at] = std::thread([&, at] {
        codes[at] = Wipe(disks[at].get(), round[at].whole, round[at].algorithm, &sinks[at]);
      });
    }
    for (std::thread& wipe : wipes) wipe.join();
    for (int at = 0; at < 2; ++at) {
      const Row& row = round[at];
      SCOPED_TRACE(testing::Message() << "disk " << row.disk << (row.whole ? " whole" : " p2"));
      const PartitionInfo& partition = disks[at]->partitions[1];
      const std::size_t start = row.whole ? 0 : partition.nStartSector * disks[at]->nBytesPerSector;
      EXPECT_EQ(codes[at], row.code) << std::hex << codes[at];
      EXPECT_TRUE(OnlyWiped(before[at], ReadBytes(disks[at]->szDevicePath), start, row.written));
      EXPECT_TRUE(row.whole || AllBytesAre(ReadDevice(partition.szDevicePath, 0, 4096), 0xFF))
          << "stale cache";
      ASSERT_EQ(sinks[at].reports.size(), std::size_t(row.reports));
      EXPECT_EQ(sinks[at].reports.back().steps_total, row.steps);
      EXPECT_EQ(sinks[at].reports.back().steps_current, row.reports - 1);
    }
  }
}

// The channel writes only through a claim a storage device handed over: a
// wiper whose disk nobody claimed writes nothing, whatever its record names.
TEST(LoopDisk, AWipeWithoutAClaimWritesNothing) {
  REQUIRE_LOOP_DISKS();
  std::unique_ptr<DiskInfo> disk = DescribedDisk(3);
  ASSERT_TRUE(disk);
  const std::string before = ReadBytes(disk->szDevicePath);
  CDeviceDriverWiper wiper;
  CZeroFillWiperAlgorithm algorithm;
  ASSERT_EQ(wiper.init(disk.get(), nullptr), 0);
  EXPECT_EQ(wiper.WippeData(&algorithm, nullptr), CDeviceDriverWiper::kDriverCodeBlockWriteFailed);
  EXPECT_TRUE(ReadBytes(disk->szDevicePath) == before);
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
  ASSERT_EQ(claim.OpenPartitionOf(*idle, idle->partitions[0]), 0);
  using Device = VantrixStorageDevice;
  const std::pair<std::function<int(Device&)>, int> cases[] = {
      {[&](Device& d) { return d.OpenPartitionOf(*mounted, mounted->partitions[0]); }, EBUSY},
      {[&](Device& d) { return d.OpenDiskOf(*mounted); }, EBUSY},
      {[](Device& d) { return d.OpenVolume('m'); }, EBUSY},  // the mounted one's letter
      {[](Device& d) { return d.OpenDisk(1); }, EBUSY},
      {[&](Device& d) { return d.OpenPartitionOf(*idle, idle->partitions[0]); }, EBUSY},
      {[](Device& d) { return d.OpenVolume('Q'); }, ENOENT},
      {[](Device& d) { return d.OpenDisk(9); }, ENOENT},
      {[&](Device& d) { return d.OpenVolume(file.c_str()); }, ENOTBLK},
      {[](Device& d) { return d.OpenVolume('P'); }, 0},
  };
  for (std::size_t at = 0; at < std::size(cases); ++at) {
    SCOPED_TRACE(at);
    const auto& [open, result] = cases[at];
    Device device;
    EXPECT_EQ(open(device), result);
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
