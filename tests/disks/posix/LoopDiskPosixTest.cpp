#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <thread>
#include <vector>

#include "algorithms/WiperAlgorithms.h"
#include "disks/LoopDisks.h"
#include "platform/IDeviceManager.h"
#include "storage/MountPoint.h"
#include "storage/VantrixStorageDevice.h"
#include "support/TestFiles.h"
#include "support/TestPlatform.h"
#include "volumes/ScratchVolume.h"
#include "wipers/DeviceDriverWiper.h"

// Fields of the packed records are compared by value (+field): a check
// would otherwise bind a misaligned reference to them.

namespace {

#define REQUIRE_LOOP_DISKS()                        \
  do {                                              \
    std::string why;                                \
    if (!LoopDisksReady(&why)) GTEST_SKIP() << why; \
  } while (0)

std::string ReadDevice(const std::string& path, std::uint64_t offset, std::size_t size) {
  std::string bytes(size, '\0');
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const ssize_t read = descriptor < 0 ? -1 : pread(descriptor, &bytes[0], size, off_t(offset));
  if (descriptor >= 0) close(descriptor);
  return read == ssize_t(size) ? bytes : std::string();
}

// Fills the whole disk with PatternBytes (no 0xFF, no 0x01) and returns them.
std::string FillDisk(const DiskInfo& disk) {
  const std::string bytes = PatternBytes(std::size_t(disk.nBytesPerSector) * disk.nTotalSectors);
  const int descriptor = open(disk.szDevicePath, O_WRONLY | O_CLOEXEC);
  EXPECT_EQ(pwrite(descriptor, bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
  EXPECT_EQ(fsync(descriptor), 0);
  close(descriptor);
  return bytes;
}

std::string AllDisk(const DiskInfo& disk) {
  return ReadDevice(disk.szDevicePath, 0, std::size_t(disk.nBytesPerSector) * disk.nTotalSectors);
}

class Sink : public BoundaryObject<Sink, IProgresMsg> {
 public:
  explicit Sink(int checks = -1) : m_checks(checks) {}
  void ReportProgress(const ProgressMsg* msg) override { reports.push_back(*msg); }
  void Pause() override {}
  void Resume() override {}
  void Stop() override { m_checks = 0; }
  bool CanContinue() override { return m_checks < 0 || m_checks-- > 0; }
  std::vector<ProgressMsg> reports;

 private:
  int m_checks;
};

struct Target {
  int disk;
  int partition;  // index into the table, -1 for the whole disk
  std::int64_t requests;
};

// Wipes the target as the wipe manager does: open, check, wipe, dismount.
std::uint32_t Wipe(DiskInfo* disk, int partition, IWiperAlgorithm* algorithm, Sink* sink) {
  VantrixStorageDevice device;
  PartitionInfo* entry = partition >= 0 ? &disk->partitions[partition] : nullptr;
  const int opened = entry ? device.OpenPartitionOf(*entry) : device.OpenDiskOf(*disk);
  if (opened != 0 || !device.IsOpen()) return 0xDEAD0000u | std::uint32_t(opened);
  CDeviceDriverWiper wiper;
  if (wiper.init(disk, entry) != 0) return 0xDEAD1111u;
  const std::uint32_t code = wiper.WippeData(algorithm, sink);
  if (entry != nullptr && device.DismountVolume() == 0) return 0xDEAD2222u;
  return code;
}

TEST(LoopDisk, PartitionsOfBothSectorSizesAreWipedAtOnceAndNothingBeside) {
  REQUIRE_LOOP_DISKS();
  // Partition 2 of disk 1: 65600 sectors of 512 = 256 requests and a tail of
  // 64; of disk 2: 2053 sectors of 4096 = 64 requests of 32 and a tail of 5.
  const Target targets[] = {{1, 1, 256}, {2, 1, 64}};
  std::unique_ptr<DiskInfo> disks[2];
  std::string before[2];
  std::string partitionDevice[2];
  Sink sinks[2];
  std::uint32_t codes[2] = {};
  CUSDOD522022MEAlgorithm algorithm;
  std::vector<std::thread> wipes;
  for (int at = 0; at < 2; ++at) {
    disks[at] = DescribedDisk(targets[at].disk);
    ASSERT_TRUE(disks[at]);
    before[at] = FillDisk(*disks[at]);
    partitionDevice[at] = disks[at]->partitions[targets[at].partition].szDevicePath;
    // The partition's own cache now holds the old bytes; the dismount drops it.
    ASSERT_EQ(ReadDevice(partitionDevice[at], 0, 4096).size(), 4096u);
  }
  for (int at = 0; at < 2; ++at) {
    wipes.emplace_back([&, at] {
      codes[at] = Wipe(disks[at].get(), targets[at].partition, &algorithm, &sinks[at]);
    });
  }
  for (std::thread& wipe : wipes) wipe.join();

  unsigned char pattern[1];
  algorithm.FillBuffer(pattern, 1, 0);
  for (int at = 0; at < 2; ++at) {
    const DiskInfo& disk = *disks[at];
    const PartitionInfo& partition = disk.partitions[targets[at].partition];
    ASSERT_EQ(codes[at], 0u) << "disk " << disk.nDiskNumber;
    const std::size_t start = partition.nStartSector * disk.nBytesPerSector;
    const std::size_t end = start + partition.nSizeInBytes;
    const std::string after = AllDisk(disk);
    ASSERT_EQ(after.size(), before[at].size());
    EXPECT_EQ(after.compare(0, start, before[at], 0, start), 0) << "table or partition 1 changed";
    EXPECT_TRUE(AllBytesAre(after.substr(start, end - start), pattern[0])) << "disk " << at + 1;
    EXPECT_EQ(after.substr(end), before[at].substr(end)) << "bytes after the partition changed";
    EXPECT_TRUE(AllBytesAre(ReadDevice(partitionDevice[at], 0, 4096), pattern[0]))
        << "the partition's device still shows its old bytes";
    const std::int64_t requests = targets[at].requests;
    ASSERT_EQ(sinks[at].reports.size(), std::size_t(3 * requests));
    EXPECT_EQ(sinks[at].reports.back().steps_total, 3 * requests);
    EXPECT_EQ(sinks[at].reports.back().steps_current, 3 * requests - 1);
    EXPECT_EQ(sinks[at].reports.back().sub_step_current, requests - 1);
  }
}

TEST(LoopDisk, WholeDisksGetEverySectorAndTheirTail) {
  REQUIRE_LOOP_DISKS();
  // 131072 sectors (512 requests); 4099 of 4096 (128 requests, tail 3);
  // 2112 (8 requests, tail 64).
  for (int number : {1, 2, 3}) {
    std::unique_ptr<DiskInfo> disk = DescribedDisk(number);
    ASSERT_TRUE(disk);
    FillDisk(*disk);
    VantrixStorageDevice device;
    ASSERT_EQ(device.OpenDisk(number), 0) << "the number, resolved by the device manager";
    EXPECT_EQ(device.GetSectorSize(), std::uint32_t(disk->nBytesPerSector));
    EXPECT_EQ(device.GetTotalSectors(), std::uint64_t(disk->nTotalSectors));
    CDeviceDriverWiper wiper;
    ASSERT_EQ(wiper.init(disk.get(), nullptr), 0);
    EXPECT_EQ(wiper.GetStartSectorNo(), 0u);
    CRandFillWiperAlgorithm algorithm;
    ASSERT_EQ(wiper.WippeData(&algorithm, nullptr), 0u) << "disk " << number;
    const std::string after = AllDisk(*disk);
    ASSERT_FALSE(after.empty());
    EXPECT_TRUE(AllBytesAre(after, static_cast<unsigned char>(after[0]))) << "disk " << number;
  }
}

TEST(LoopDisk, StopsAndABadStartWriteNothingMore) {
  REQUIRE_LOOP_DISKS();
  std::unique_ptr<DiskInfo> disk = DescribedDisk(1);
  ASSERT_TRUE(disk);
  const PartitionInfo& partition = disk->partitions[1];
  const std::size_t start = partition.nStartSector * 512;
  struct Case {
    int checks;  // stop checks allowed before the stop
    std::uint64_t startSector;
    std::uint32_t code;
    std::size_t bytesWritten;
  };
  for (const Case& c :
       {Case{0, partition.nStartSector, CDeviceDriverWiper::kDriverCodeStoppedAtPass, 0},
        Case{3, partition.nStartSector, CDeviceDriverWiper::kDriverCodeStoppedInPass, 2 * 131072},
        Case{-1, 0, CDeviceDriverWiper::kDriverCodeStartSectorZero, 0}}) {
    const std::string before = FillDisk(*disk);
    PartitionInfo target = partition;
    target.nStartSector = c.startSector;
    CDeviceDriverWiper wiper;
    ASSERT_EQ(wiper.init(disk.get(), &target), 0);
    Sink sink(c.checks);
    CZeroFillWiperAlgorithm algorithm;
    EXPECT_EQ(wiper.WippeData(&algorithm, &sink), c.code);
    const std::string after = AllDisk(*disk);
    EXPECT_TRUE(AllBytesAre(after.substr(start, c.bytesWritten), 0xFF));
    EXPECT_EQ(after.substr(start + c.bytesWritten), before.substr(start + c.bytesWritten));
    EXPECT_EQ(after.substr(0, start), before.substr(0, start));
  }
}

TEST(LoopDisk, BusyTargetsDoNotOpenAndNamesResolveThroughTheDeviceManager) {
  REQUIRE_LOOP_DISKS();
  std::unique_ptr<DiskInfo> mounted = DescribedDisk(4);
  std::unique_ptr<DiskInfo> idle = DescribedDisk(1);
  ASSERT_TRUE(mounted && idle);
  EXPECT_FALSE(MountPointOf(mounted->partitions[0]).empty());
  TempDir temp;
  WriteBytes(temp / "file", "not a device");
  const std::wstring file = (temp / "file").wstring();
  VantrixStorageDevice claim;  // a partition claimed makes its disk busy too
  ASSERT_EQ(claim.OpenPartitionOf(idle->partitions[0]), 0);
  struct Case {
    const char* what;
    std::function<int(VantrixStorageDevice&)> open;
    int result;
  };
  const Case cases[] = {
      {"mounted partition",
       [&](VantrixStorageDevice& d) { return d.OpenPartitionOf(mounted->partitions[0]); }, EBUSY},
      {"disk of a mounted partition",
       [&](VantrixStorageDevice& d) { return d.OpenDiskOf(*mounted); }, EBUSY},
      {"mounted partition by letter", [](VantrixStorageDevice& d) { return d.OpenVolume('m'); },
       EBUSY},
      {"disk of a claimed partition", [](VantrixStorageDevice& d) { return d.OpenDisk(1); }, EBUSY},
      {"claimed partition",
       [&](VantrixStorageDevice& d) { return d.OpenPartitionOf(idle->partitions[0]); }, EBUSY},
      {"letter nobody has", [](VantrixStorageDevice& d) { return d.OpenVolume('Q'); }, ENOENT},
      {"disk nobody has", [](VantrixStorageDevice& d) { return d.OpenDisk(9); }, ENOENT},
      {"a file, not a block device",
       [&](VantrixStorageDevice& d) { return d.OpenVolume(file.c_str()); }, ENOTBLK},
      {"idle partition by letter", [](VantrixStorageDevice& d) { return d.OpenVolume('P'); }, 0},
  };
  for (const Case& c : cases) {
    VantrixStorageDevice device;
    EXPECT_EQ(c.open(device), c.result) << c.what;
    EXPECT_EQ(device.IsOpen(), c.result == 0) << c.what;
    EXPECT_EQ(device.DismountVolume() != 0, c.result == 0) << c.what;
    device.Close();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.DismountVolume(), 0);
  }
}

// The whole disk below `path`'s file system, as /sys/block names it.
std::string DiskHolding(const char* path) {
  struct stat status;
  if (stat(path, &status) != 0 || major(status.st_dev) == 0) return "";
  const fs::path sys = fs::canonical("/sys/dev/block/" + std::to_string(major(status.st_dev)) +
                                     ":" + std::to_string(minor(status.st_dev)));
  return fs::exists(sys / "partition") ? sys.parent_path().filename().string()
                                       : sys.filename().string();
}

TEST(LoopDisk, RealDisksShowTheRootDiskAsSystemAndIdleLoopDisksAsNot) {
  REQUIRE_LOOP_DISKS();
  std::unique_ptr<DiskInfo> idle = DescribedDisk(1);
  std::unique_ptr<DiskInfo> mounted = DescribedDisk(4);
  ASSERT_TRUE(idle && mounted);
  // The machine's own disks, read while the description is set aside.
  struct RealDisks {
    const std::string description = Environment("VTX_DEVICE_DESCRIPTION");
    RealDisks() { SetEnvironment("VTX_DEVICE_DESCRIPTION", nullptr); }
    ~RealDisks() {
      SetEnvironment("VTX_DEVICE_DESCRIPTION", description.c_str());
      __GetDeviceManager()->Refresh();
    }
  } realDisks;
  IDeviceManager* manager = __GetDeviceManager();
  ASSERT_TRUE(manager->Refresh());
  const std::string root = DiskHolding("/");
  bool rootSeen = false, idleSeen = false, mountedSeen = false;
  DiskInfo disk;
  for (int at = 0; at < manager->GetDiskCount(); ++at) {
    ASSERT_TRUE(manager->GetDiskInfo(manager->GetDiskNumberAt(at), &disk));
    const std::string device = disk.szDevicePath;
    if (device == "/dev/" + root) {
      rootSeen = true;
      EXPECT_EQ(+disk.bSystemDisk, 1) << device << " holds /";
    } else if (device == idle->szDevicePath) {
      idleSeen = true;
      EXPECT_EQ(+disk.bSystemDisk, 0) << device << " is an idle loop disk";
      ASSERT_EQ(+disk.nPartitionCount, 2);
      EXPECT_EQ(+disk.partitions[1].nStartSector, +idle->partitions[1].nStartSector);
      EXPECT_EQ(+disk.partitions[1].nSizeInBytes, +idle->partitions[1].nSizeInBytes);
      EXPECT_EQ(+disk.partitions[1].cDriveLetter, 0);
    } else if (device == mounted->szDevicePath) {
      mountedSeen = true;
      EXPECT_EQ(+disk.bSystemDisk, 1) << device << " has a mounted partition";
      ASSERT_EQ(+disk.nPartitionCount, 1);
      EXPECT_GE(+disk.partitions[0].cDriveLetter, 'C');
      EXPECT_EQ(MountPointOf(disk.partitions[0]), MountPointOf(mounted->partitions[0]));
    }
  }
  EXPECT_TRUE(idleSeen && mountedSeen) << "the loop disks are not listed";
  if (root.empty()) GTEST_SKIP() << "/ is not on a block device here (overlay or network)";
  EXPECT_TRUE(rootSeen) << "/dev/" << root << " not listed";
}

}  // namespace
