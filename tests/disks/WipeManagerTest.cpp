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

// One request against disk 1, with what the row changes in its description
// and what must follow. The double describes a loop disk of the fixture with
// two partitions of 512 sectors at sectors 256 and 1024: natively disk 3 (its
// own block device stands for each partition's volume), under Wine disk 1 as
// PhysicalDrive1 with P: as the volume.
struct Row {
  const char* name;
  bool freeSpace;  // WipeVolFreeSpace, else WipeDevice
  int disk;
  int partition;
  std::function<void(DiskInfo*)> change;
  std::uint32_t code;
  const char* info;
  bool opens = false;      // the target is opened
  int allowedChecks = -1;  // stop after this many CanContinue calls (-1 never)
  int wipedFrom = 0;       // the sectors left 0xFF
  int wipedSectors = 0;
};

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
      entry.nSizeInBytes = 512ull * disk.nBytesPerSector;
      entry.cDriveLetter = byPath || i == 1 ? 0 : 'P';
      std::memcpy(entry.szDevicePath, disk.szDevicePath, sizeof(entry.szDevicePath) - 1);
    }
    if (byPath) m_device = disk.szDevicePath;
  }

  // The bytes of the disk the rows may touch (natively; empty under Wine).
  std::string DiskBytes() const {
    return m_device.empty() ? std::string() : ReadBytes(m_device).substr(0, 2112 * 512);
  }

  TableDeviceManager m_devices;
  fs::path m_device;
};

TEST_P(WipeManager, EndsInOneFinalRecordAndTouchesOnlyItsTarget) {
  const Row& row = GetParam();
  if (row.wipedSectors != 0 && m_device.empty()) {
    GTEST_SKIP() << "Wine's loop disk belongs to the driver tests";
  }
  if (row.change) row.change(&m_devices.disks[kDisk]);
  const std::string before = DiskBytes();
  RecordingSink sink(row.allowedChecks);
  LogProbe log;

  const int result = row.freeSpace ? __getDataWiperManager()->WipeVolFreeSpace(
                                         &m_devices, row.disk, row.partition, true, &sink)
                                   : __getDataWiperManager()->WipeDevice(&m_devices, row.disk,
                                                                         row.partition, 18, &sink);

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
  std::string expected = before;
  if (row.wipedSectors)
    expected.replace(row.wipedFrom * 512, row.wipedSectors * 512, row.wipedSectors * 512, '\xFF');
  EXPECT_TRUE(DiskBytes() == expected) << "bytes that are not what the request leaves";
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

const char kNone[] = "";
const char kNotAvailable[] = "VTX_ERROR_DEVICE_NOT_AVAILABLE";
constexpr bool kOpens = true;
constexpr int kNever = -1;
using Wiper = CDeviceDriverWiper;

INSTANTIATE_TEST_SUITE_P(
    EveryRow, WipeManager,
    testing::Values(
        Row{"WholeDiskWithTail", false, kDisk, -1, SmallDisk, 0, kNone, kOpens, kNever, 0, 1600},
        Row{"MissingDisk", false, 7, 1, nullptr, Manager::kCodeDiskNotFound, kNotAvailable},
        Row{"MissingPartition", false, kDisk, 127, nullptr, Manager::kCodePartitionNotFound,
            kNotAvailable},
        Row{"DuplicateNumberFirstWins", false, kDisk, 1, DuplicateNumber, 0, kNone, kOpens, kNever,
            256, 512},
        Row{"SystemPartition", false, kDisk, 1, SystemFirst, Manager::kCodeSystemPartition,
            "VTX_ERROR_SYSTEM_DRIVE_CANNOT_WIPPE"},
        Row{"SystemDisk", false, kDisk, -1, System, Manager::kCodeSystemDisk,
            "cannot-wipe-system-drive"},
        Row{"SystemDiskOtherPartition", false, kDisk, 2, System, 0, kNone, kOpens, kNever, 1024,
            512},
        Row{"PartitionWithoutVolume", false, kDisk, 1, NoVolume, Manager::kCodeDeviceNotOpen,
            kNotAvailable},
        Row{"PartitionAtSectorZero", false, kDisk, 1, AtSectorZero,
            Wiper::kDriverCodeStartSectorZero, kNone, kOpens},
        Row{"NoSectorSize", false, kDisk, 1, NoSectorSize, Manager::kCodeDeviceWiperInit,
            "VTX_DATAWIPER_INITIALIZE_DEVICE_FAIL", kOpens},
        Row{"StoppedAtStart", false, kDisk, 1, nullptr, Wiper::kDriverCodeStoppedAtPass, kNone,
            kOpens, 0},
        Row{"StoppedInsidePass", false, kDisk, 1, nullptr, Wiper::kDriverCodeStoppedInPass, kNone,
            kOpens, 1},
        Row{"WriteFailed", false, kDisk, 1, PastTheEnd, Wiper::kDriverCodeBlockWriteFailed, kNone,
            kOpens},
        Row{"FreeSpaceMissingDisk", true, 7, 1, nullptr, Manager::kCodeFreeSpaceDiskNotFound,
            kNotAvailable},
        Row{"FreeSpaceSystemPartition", true, kDisk, 1, SystemFirst,
            Manager::kCodeFreeSpaceSystemPartition, "VTX_UNSUPPORTED_SYSTEM_DRIVE"},
        Row{"FreeSpaceNotMounted", true, kDisk, 2, nullptr, Manager::kCodeNotMounted,
            "VTX_ERROR_FS_NOT_SUPPORT"},
        Row{"FreeSpaceWholeDisk", true, kDisk, -1, nullptr, Manager::kCodeNotMounted,
            "VTX_ERROR_FS_NOT_SUPPORT"}),
    [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// Requests the manager cannot start (no device manager, no path) and files
// or folders that cannot be opened still end in their final record; the
// folder wipe's start notice comes first.
TEST(WipeManagerInputs, RequestsThatCannotStartEndInTheirFinalRecord) {
  TempDir dir;
  WriteBytes(dir / "keep.bin", PatternBytes(1000));
  IDataWiperManager* manager = __getDataWiperManager();
  RecordingSink sink;
  EXPECT_EQ(manager->WipeDevice(nullptr, 1, 1, 16, &sink), -1);
  EXPECT_EQ(manager->WipeVolFreeSpace(nullptr, 1, 1, false, &sink), -1);
  EXPECT_EQ(manager->WipeFile(nullptr, false, &sink), -1);
  EXPECT_EQ(manager->WipeFolder(nullptr, false, &sink), -1);
  EXPECT_EQ(manager->WipeFile(nullptr, false, nullptr), -1);
  EXPECT_EQ(manager->WipeFile(ModulePath(dir / "missing.bin").c_str(), false, &sink), -1);
  EXPECT_EQ(manager->WipeFolder(ModulePath(dir / "missing").c_str(), true, &sink), -1);
  const std::uint32_t codes[] = {
      0, 0, 0, 0, Manager::kCodeFileWiperInit, 0, Manager::kCodeFolderWiperInit};
  ASSERT_EQ(sink.reports.size(), std::size(codes));
  for (std::size_t at = 0; at < std::size(codes); ++at) {
    SCOPED_TRACE(at);
    const ProgressMsg& report = sink.reports[at];
    const bool notice = at == 5;  // the folder wipe's start notice
    EXPECT_EQ(report.msg_status, notice ? MSG_STATUS_IDLE : MSG_STATUS_FINISHED);
    EXPECT_EQ(report.msg_type, notice ? MSG_TYPE_NORMAL : MSG_TYPE_ERROR);
    EXPECT_EQ(report.msg_errorCode, codes[at]);
    EXPECT_STREQ(report.msg_info, codes[at] ? "VTX_DATAWIPER_INITIALIZE_FILE_FAIL" : "");
  }
  EXPECT_EQ(ReadBytes(dir / "keep.bin"), PatternBytes(1000));
}

}  // namespace
