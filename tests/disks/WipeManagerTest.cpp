#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "common/ModuleExports.h"
#include "disks/LoopDisks.h"
#include "manager/DataWiperManager.h"
#include "wipers/DeviceDriverWiper.h"
#include "platform/IDeviceManager.h"
#include "support/LogProbe.h"
#include "support/RecordingSink.h"
#include "support/TestFiles.h"
#include "support/TestPlatform.h"

namespace {

using Manager = CDataWiperManager;

constexpr int kDisk = 1;
constexpr int kPartitionSectors = 512;

// The host's device manager as a test double: the disks of a table.
class TableDeviceManager : public BoundaryObject<TableDeviceManager, IDeviceManager> {
 public:
  bool Refresh() override {
    ++refreshes;
    return true;
  }
  int GetDiskCount() override { return static_cast<int>(disks.size()); }
  int GetDiskNumberAt(int) override { return -1; }
  int ReservedSlot5() override { return 0; }
  int ReservedSlot6() override { return 0; }
  int ReservedSlot7() override { return 0; }
  int ReservedSlot8() override { return 0; }
  int ReservedSlot9() override { return 0; }
  bool GetDiskInfo(int disk, DiskInfo* out) override {
    const auto found = disks.find(disk);
    if (found == disks.end()) return false;
    std::memcpy(out, &found->second, sizeof(DiskInfo));
    return true;
  }
  const char* GetLastErrorText() override { return ""; }

  std::map<int, DiskInfo> disks;
  int refreshes = 0;
};

enum class Operation { kDevice, kFreeSpace };

// One request against disk 1 (two partitions, numbers 1 and 2, on an image
// file), with what the row changes in the description and what must follow.
struct Row {
  const char* name;
  Operation operation;
  int disk;
  int partition;
  std::function<void(DiskInfo*)> change;
  int allowedChecks;  // stop after this many CanContinue calls (-1 never)
  bool opens;             // the target is opened
  bool writes;            // bytes reach the disk (natively only: Wine's disk is the driver tests')
  std::uint32_t code;
  const char* info;
  int wipedPartition;  // 0 none, -1 the whole disk, else that entry's sectors
};

// The rows run against a loop disk of the fixture: natively disk 3 (its own
// block device stands for each partition's volume), under Wine disk 1 as
// PhysicalDrive1 with P: as the volume. The table double describes two
// partitions of 512 sectors at sectors 256 and 1024 on it.
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class WipeManager : public testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    REQUIRE_LOOP_DISKS();
    const bool byPath = OpensDevicesByPath();
    std::unique_ptr<DiskInfo> base = DescribedDisk(byPath ? 3 : 1);
    ASSERT_TRUE(base) << "the fixture's disk is not described";
    DiskInfo& disk = m_devices.disks[kDisk];
    disk = *base;
    disk.nDiskNumber = byPath ? disk.nDiskNumber : 1;
    disk.nPartitionCount = 2;
    const int starts[] = {256, 1024};
    for (int i = 0; i < 2; ++i) {
      PartitionInfo& entry = disk.partitions[i];
      std::memset(&entry, 0, sizeof(entry));
      entry.nPartitionNumber = i + 1;
      entry.nStartSector = starts[i];
      entry.nSizeInBytes = static_cast<std::uint64_t>(kPartitionSectors) * disk.nBytesPerSector;
      entry.cDriveLetter = byPath || i == 1 ? 0 : 'P';
      std::memcpy(entry.szDevicePath, disk.szDevicePath, sizeof(entry.szDevicePath) - 1);
    }
    if (byPath) m_device = disk.szDevicePath;
  }

  // The bytes of the disk the rows may touch (natively; empty under Wine).
  std::string DiskBytes() const {
    return m_device.empty() ? std::string() : ReadBytes(m_device).substr(0, 2112 * 512);
  }

  // Which bytes a wipe of `wiped` must have left 0xFF.
  bool InWiped(std::size_t offset, const DiskInfo& disk, int wiped) const {
    if (wiped == -1) return offset < static_cast<std::size_t>(disk.nTotalSectors) * 512;
    if (wiped == 0) return false;
    const PartitionInfo& entry = disk.partitions[wiped - 1];
    const std::size_t start = entry.nStartSector * disk.nBytesPerSector;
    return offset >= start && offset < start + entry.nSizeInBytes;
  }

  TableDeviceManager m_devices;
  fs::path m_device;
};

TEST_P(WipeManager, EndsInOneFinalRecordAndTouchesOnlyItsTarget) {
  const Row& row = GetParam();
  if (row.writes && m_device.empty())
    GTEST_SKIP() << "Wine's loop disk belongs to the driver tests";
  if (row.change) row.change(&m_devices.disks[kDisk]);
  const DiskInfo described = m_devices.disks[kDisk];
  const std::string before = DiskBytes();
  RecordingSink sink(row.allowedChecks);
  LogProbe log;

  const int result =
      row.operation == Operation::kDevice
          ? __getDataWiperManager()->WipeDevice(&m_devices, row.disk, row.partition, 18, &sink)
          : __getDataWiperManager()->WipeVolFreeSpace(&m_devices, row.disk, row.partition, true,
                                                      &sink);

  EXPECT_EQ(result, row.code == 0 ? 0 : -1);
  EXPECT_EQ(m_devices.refreshes, 1);
  ASSERT_FALSE(sink.reports.empty());
  const ProgressMsg& last = sink.reports.back();
  EXPECT_EQ(last.msg_status, MSG_STATUS_FINISHED);
  EXPECT_EQ(last.msg_type, row.code == 0 ? MSG_TYPE_NORMAL : MSG_TYPE_ERROR);
  EXPECT_EQ(last.msg_errorCode, row.code) << std::hex << last.msg_errorCode;
  EXPECT_STREQ(last.msg_info, row.info);
  EXPECT_EQ(last.steps_total + last.steps_current + last.sub_step_total + last.sub_step_current, 4);
  int finals = 0;
  for (const ProgressMsg& report : sink.reports) finals += report.msg_status == MSG_STATUS_FINISHED;
  EXPECT_EQ(finals, 1);

  const bool attempted = row.opens || row.code == Manager::kCodeDeviceNotOpen;
  const bool opened = log.Contains("open nVolume:") || log.Contains("open disk error:");
  EXPECT_EQ(opened, attempted) << "refusals come before any open";
  const bool selected = attempted && static_cast<unsigned int>(row.partition) <= 127;
  EXPECT_EQ(log.Contains("ret = "), selected) << "only a selected partition is dismounted";
  const std::string after = DiskBytes();
  ASSERT_EQ(after.size(), before.size());
  std::size_t wrong = 0;
  for (std::size_t offset = 0; offset < after.size(); ++offset) {
    const char expected = InWiped(offset, described, row.wipedPartition) ? '\xFF' : before[offset];
    wrong += after[offset] != expected;
  }
  EXPECT_EQ(wrong, 0u) << "bytes that are not what the request leaves";
}

void System(DiskInfo* disk) { disk->bSystemDisk = 1; }
void SystemFirst(DiskInfo* disk) { disk->partitions[0].bSystemPartition = 1; }
void DuplicateNumber(DiskInfo* disk) { disk->partitions[1].nPartitionNumber = 1; }
void AtSectorZero(DiskInfo* disk) { disk->partitions[0].nStartSector = 0; }
void NoSectorSize(DiskInfo* disk) { disk->nBytesPerSector = 0; }
void NoVolume(DiskInfo* disk) { std::memset(&disk->partitions[0], 0, 400); }
void PastTheEnd(DiskInfo* disk) {
  disk->partitions[0].nStartSector = static_cast<std::uint64_t>(disk->nTotalSectors) + 4096;
}
void SmallDisk(DiskInfo* disk) { disk->nTotalSectors = 1600; }

constexpr int kNever = -1;
const char kNone[] = "";
const char kNotAvailable[] = "VTX_ERROR_DEVICE_NOT_AVAILABLE";

constexpr bool kOpens = true;
constexpr bool kWrites = true;

INSTANTIATE_TEST_SUITE_P(
    EveryRow, WipeManager,
    testing::Values(
        Row{"Wiped", Operation::kDevice, kDisk, 2, nullptr, kNever, kOpens, kWrites, 0, kNone, 2},
        Row{"WholeDiskWithTail", Operation::kDevice, kDisk, -1, SmallDisk, kNever, kOpens, kWrites,
            0, kNone, -1},
        Row{"MissingDisk", Operation::kDevice, 7, 1, nullptr, kNever, false, false,
            Manager::kCodeDiskNotFound, kNotAvailable, 0},
        Row{"MissingPartition", Operation::kDevice, kDisk, 127, nullptr, kNever, false, false,
            Manager::kCodePartitionNotFound, kNotAvailable, 0},
        Row{"DuplicateNumberFirstWins", Operation::kDevice, kDisk, 1, DuplicateNumber, kNever,
            kOpens, kWrites, 0, kNone, 1},
        Row{"SystemPartition", Operation::kDevice, kDisk, 1, SystemFirst, kNever, false, false,
            Manager::kCodeSystemPartition, "VTX_ERROR_SYSTEM_DRIVE_CANNOT_WIPPE", 0},
        Row{"SystemDisk", Operation::kDevice, kDisk, -1, System, kNever, false, false,
            Manager::kCodeSystemDisk, "cannot-wipe-system-drive", 0},
        Row{"SystemDiskOtherPartition", Operation::kDevice, kDisk, 2, System, kNever, kOpens,
            kWrites, 0, kNone, 2},
        Row{"PartitionWithoutVolume", Operation::kDevice, kDisk, 1, NoVolume, kNever, false, false,
            Manager::kCodeDeviceNotOpen, kNotAvailable, 0},
        Row{"PartitionAtSectorZero", Operation::kDevice, kDisk, 1, AtSectorZero, kNever, kOpens,
            false, CDeviceDriverWiper::kDriverCodeStartSectorZero, kNone, 0},
        Row{"NoSectorSize", Operation::kDevice, kDisk, 1, NoSectorSize, kNever, kOpens, false,
            Manager::kCodeDeviceWiperInit, "VTX_DATAWIPER_INITIALIZE_DEVICE_FAIL", 0},
        Row{"StoppedAtStart", Operation::kDevice, kDisk, 1, nullptr, 0, kOpens, false,
            CDeviceDriverWiper::kDriverCodeStoppedAtPass, kNone, 0},
        Row{"StoppedInsidePass", Operation::kDevice, kDisk, 1, nullptr, 1, kOpens, false,
            CDeviceDriverWiper::kDriverCodeStoppedInPass, kNone, 0},
        Row{"WriteFailed", Operation::kDevice, kDisk, 1, PastTheEnd, kNever, kOpens, false,
            CDeviceDriverWiper::kDriverCodeBlockWriteFailed, kNone, 0},
        Row{"FreeSpaceMissingDisk", Operation::kFreeSpace, 7, 1, nullptr, kNever, false, false,
            Manager::kCodeFreeSpaceDiskNotFound, kNotAvailable, 0},
        Row{"FreeSpaceSystemPartition", Operation::kFreeSpace, kDisk, 1, SystemFirst, kNever, false,
            false, Manager::kCodeFreeSpaceSystemPartition, "VTX_UNSUPPORTED_SYSTEM_DRIVE", 0},
        Row{"FreeSpaceNotMounted", Operation::kFreeSpace, kDisk, 2, nullptr, kNever, false, false,
            Manager::kCodeNotMounted, "VTX_ERROR_FS_NOT_SUPPORT", 0},
        Row{"FreeSpaceWholeDisk", Operation::kFreeSpace, kDisk, -1, nullptr, kNever, false, false,
            Manager::kCodeNotMounted, "VTX_ERROR_FS_NOT_SUPPORT", 0}),
    [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// A request the manager cannot start at all still ends in its final record.
TEST(WipeManagerInputs, MissingInputsEndWithoutACode) {
  IDataWiperManager* manager = __getDataWiperManager();
  ASSERT_EQ(manager, __getDataWiperManager());
  RecordingSink sink;
  EXPECT_EQ(manager->WipeDevice(nullptr, 1, 1, 16, &sink), -1);
  EXPECT_EQ(manager->WipeVolFreeSpace(nullptr, 1, 1, false, &sink), -1);
  EXPECT_EQ(manager->WipeFile(nullptr, false, &sink), -1);
  EXPECT_EQ(manager->WipeFolder(nullptr, false, &sink), -1);
  ASSERT_EQ(sink.reports.size(), 4u);
  for (const ProgressMsg& report : sink.reports) {
    EXPECT_EQ(report.msg_status, MSG_STATUS_FINISHED);
    EXPECT_EQ(report.msg_type, MSG_TYPE_ERROR);
    EXPECT_EQ(report.msg_errorCode, 0u);
    EXPECT_STREQ(report.msg_info, "");
  }
  EXPECT_EQ(manager->WipeFile(nullptr, false, nullptr), -1);
}

TEST(WipeManagerInputs, FileAndFolderThatCannotBeOpenedAreInitialisationFailures) {
  TempDir dir;
  WriteBytes(dir / "keep.bin", PatternBytes(1000));
  RecordingSink sink;
  IDataWiperManager* manager = __getDataWiperManager();
  EXPECT_EQ(manager->WipeFile(ModulePath(dir / "missing.bin").c_str(), false, &sink), -1);
  EXPECT_EQ(manager->WipeFolder(ModulePath(dir / "missing").c_str(), true, &sink), -1);
  ASSERT_EQ(sink.reports.size(), 3u);  // the folder wipe's start notice comes first
  EXPECT_EQ(sink.reports[0].msg_errorCode, Manager::kCodeFileWiperInit);
  EXPECT_EQ(sink.reports[1].msg_status, MSG_STATUS_IDLE);
  EXPECT_EQ(sink.reports[2].msg_errorCode, Manager::kCodeFolderWiperInit);
  EXPECT_STREQ(sink.reports[2].msg_info, "VTX_DATAWIPER_INITIALIZE_FILE_FAIL");
  EXPECT_EQ(ReadBytes(dir / "keep.bin"), PatternBytes(1000));
}

}  // namespace
