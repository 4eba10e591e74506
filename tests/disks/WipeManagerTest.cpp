#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

#include "common/ModuleExports.h"
#include "disks/LoopDisks.h"
#include "manager/DataWiperManager.h"
#include "platform/IDeviceManager.h"
#include "service/DataWipeServiceManager.h"
#include "volumes/ScratchVolume.h"
#include "wipers/DeviceDriverWiper.h"
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

// One request, with what the row changes in the fixture's records (natively
// disks 1, 3 and 4; under Wine disk 1 as PhysicalDrive1, its partition 1 on
// P:) and what must follow. Every row is checked on every byte of disks 1 and
// 3 and of the description file: only the sectors the row wipes (offsets
// counted through disk 1 then disk 3) may change, to 0xFF.
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
  bool nativeOnly = false;  // decided by the system's answers, which Wine does not give
};

constexpr int kDisk3Sector = 131072;  // where disk 3 starts in the bytes compared

class WipeManager : public testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    REQUIRE_LOOP_DISKS();
    for (const int number : {1, 3, 4}) {
      std::unique_ptr<DiskInfo> described = DescribedDisk(number);
      ASSERT_TRUE(described) << "the fixture's disk " << number << " is not described";
      m_devices.disks[number] = *described;
    }
    if (OpensDevicesByPath()) {
      m_devices.disks[1].partitions[0].cDriveLetter = 0;
    } else {
      m_devices.disks[1].partitions[0].cDriveLetter = 'P';
      m_devices.disks[1].partitions[1].cDriveLetter = 0;
    }
  }

  // The bytes the rows may touch (natively; the description file only under Wine).
  static std::string Bytes() {
    std::string bytes = ReadBytes(Environment("VTX_DEVICE_DESCRIPTION"));
    if (!OpensDevicesByPath()) return bytes;
    return ReadBytes(DescribedDisk(1)->szDevicePath) + ReadBytes(DescribedDisk(3)->szDevicePath) +
           bytes;
  }

  TableDeviceManager m_devices;
};

TEST_P(WipeManager, EndsInOneFinalRecordAndTouchesOnlyItsTarget) {
  const Row& row = GetParam();
  if ((row.wipedSectors != 0 || row.nativeOnly) && !OpensDevicesByPath()) {
    GTEST_SKIP() << "Wine's loop disk belongs to the driver tests and answers no disk query";
  }
  if (row.change) row.change(&m_devices.disks[row.disk]);
  const std::string before = Bytes();
  RecordingSink sink(row.allowedChecks);
  LogProbe log;

  const int result = row.freeSpace ? __getDataWiperManager()->WipeVolFreeSpace(
                                         &m_devices, row.disk, row.partition, true, &sink)
                                   : __getDataWiperManager()->WipeDevice(&m_devices, row.disk,
                                                                         row.partition, 16, &sink);

  EXPECT_EQ(result, row.code == 0 ? 0 : -1);
  EXPECT_EQ(m_devices.refreshes, 1);
  ASSERT_FALSE(sink.reports.empty());
  const ProgressMsg& last = sink.reports.back();
  EXPECT_EQ(last.msg_status, MSG_STATUS_FINISHED);
  EXPECT_EQ(last.msg_type, row.code == 0 ? MSG_TYPE_NORMAL : MSG_TYPE_ERROR);
  EXPECT_EQ(last.msg_errorCode, row.code) << std::hex << last.msg_errorCode << log.Appended();
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
    expected.replace(row.wipedFrom * 512ull, row.wipedSectors * 512ull, row.wipedSectors * 512ull,
                     '\xFF');
  EXPECT_TRUE(Bytes() == expected) << "bytes that are not what the request leaves";
}

// The partition command takes 0 to 127 only: anything else names no
// partition (the whole disk is the disk command's), with nothing written.
TEST_F(WipeManager, PartitionCommandRefusesNumbersNoTableHolds) {
  const std::string before = Bytes();
  DataWipeServiceManager service(__getDataWiperManager(), __GetDeviceManager());
  for (const int partition : {128, -1, INT_MAX}) {
    SCOPED_TRACE(partition);
    vantrix_Web::ICGIResult* started = service.wipeVolume(1, partition, 16);
    ASSERT_TRUE(started && started->IsSuccess());
    const std::string task = started->GetResultJson();
    started->Release();
    std::string json;
    while (json.find("\"msg_status\":3") == std::string::npos) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      vantrix_Web::ICGIResult* progress =
          service.getProgressMsg(std::atoll(task.c_str() + task.find(':') + 1));
      ASSERT_TRUE(progress);
      json = progress->GetResultJson();
      progress->Release();
    }
    EXPECT_NE(json.find("\"msg_errorCode\":57683976,"), std::string::npos) << json;
    EXPECT_NE(json.find("VTX_ERROR_DEVICE_NOT_AVAILABLE"), std::string::npos) << json;
  }
  EXPECT_TRUE(Bytes() == before);
}

template <std::size_t N>
void SetText(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.c_str(), std::min(text.size(), N - 1));
}
PartitionInfo& P1(DiskInfo* disk) { return disk->partitions[0]; }
void System(DiskInfo* disk) { disk->bSystemDisk = 1; }
void SystemFirst(DiskInfo* disk) { P1(disk).bSystemPartition = 1; }
void DuplicateNumber(DiskInfo* disk) { disk->partitions[1].nPartitionNumber = 1; }
void AtSectorZero(DiskInfo* disk) { P1(disk).nStartSector = 0; }
void NoSectorSize(DiskInfo* disk) { disk->nBytesPerSector = 0; }
void NoVolume(DiskInfo* disk) { std::memset(&P1(disk), 0, 400); }
void PastTheEnd(DiskInfo* disk) {
  P1(disk).nStartSector = static_cast<std::uint64_t>(disk->nTotalSectors) + 4096;
}
void StaleSize(DiskInfo* disk) { P1(disk).nSizeInBytes = 24 << 20; }
void StartOfP2(DiskInfo* disk) { P1(disk).nStartSector = disk->partitions[1].nStartSector; }
void StartPlusOne(DiskInfo* disk) { P1(disk).nStartSector += 1; }
void BigSectors(DiskInfo* disk) {
  disk->nBytesPerSector = 4096;
  disk->nTotalSectors /= 8;
  P1(disk).nStartSector /= 8;
}
void TooSmall(DiskInfo* disk) { P1(disk).nSizeInBytes = 1 << 20; }
void ZeroSize(DiskInfo* disk) { P1(disk).nSizeInBytes = 0; }
void HalfDisk(DiskInfo* disk) { disk->nTotalSectors /= 2; }
void Overflowing(DiskInfo* disk) { disk->nTotalSectors = std::int64_t(1) << 56; }
void MountedDevice(DiskInfo* disk) { SetText(disk->szDevicePath, DescribedDisk(4)->szDevicePath); }
void OtherDevice(DiskInfo* disk) { SetText(disk->szDevicePath, DescribedDisk(3)->szDevicePath); }
void RegularFile(DiskInfo* disk) {
  SetText(disk->szDevicePath, Environment("VTX_DEVICE_DESCRIPTION"));
}
void Fifo(DiskInfo* disk) {
  SetText(disk->szDevicePath,
          (fs::path(Environment("VTX_DEVICE_DESCRIPTION")).parent_path() / "fifo").string());
}
void ForeignMount(DiskInfo* disk) {
  SetText(P1(disk).szMountPath, DescribedDisk(4)->partitions[0].szMountPath);
}

const char kNone[] = "";
const char kNotAvailable[] = "VTX_ERROR_DEVICE_NOT_AVAILABLE";
constexpr bool kOpens = true;
constexpr int kNever = -1;
constexpr std::uint32_t kRefused = Manager::kCodeDeviceNotOpen;
using Wiper = CDeviceDriverWiper;

// A record that does not match its device, refused before anything is written.
Row Mismatch(const char* name, int partition, void (*change)(DiskInfo*), bool nativeOnly = true) {
  return Row{name,          false, kDisk,  partition, change, kRefused,
             kNotAvailable, false, kNever, 0,         0,      nativeOnly};
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, WipeManager,
    testing::Values(
        Row{"WholeDiskWithTail", false, 3, -1, nullptr, 0, kNone, kOpens, kNever, kDisk3Sector,
            2112},
        Row{"Partition", false, kDisk, 1, nullptr, 0, kNone, kOpens, kNever, 2048, 32768},
        Row{"MissingDisk", false, 7, 1, nullptr, Manager::kCodeDiskNotFound, kNotAvailable},
        Row{"MissingPartition", false, kDisk, 127, nullptr, Manager::kCodePartitionNotFound,
            kNotAvailable},
        Row{"DuplicateNumberFirstWins", false, kDisk, 1, DuplicateNumber, 0, kNone, kOpens, kNever,
            2048, 32768},
        Row{"SystemPartition", false, kDisk, 1, SystemFirst, Manager::kCodeSystemPartition,
            "VTX_ERROR_SYSTEM_DRIVE_CANNOT_WIPPE"},
        Row{"SystemDisk", false, kDisk, -1, System, Manager::kCodeSystemDisk,
            "cannot-wipe-system-drive"},
        Row{"SystemDiskOtherPartition", false, kDisk, 1, System, 0, kNone, kOpens, kNever, 2048,
            32768},
        Row{"StoppedAtStart", false, kDisk, 1, nullptr, Wiper::kDriverCodeStoppedAtPass, kNone,
            kOpens, 0},
        Row{"StoppedInsidePass", false, kDisk, 1, nullptr, Wiper::kDriverCodeStoppedInPass, kNone,
            kOpens, 1},
        Mismatch("PartitionWithoutVolume", 1, NoVolume, false),
        Mismatch("PartitionAtSectorZero", 1, AtSectorZero, false),
        Mismatch("NoSectorSize", 1, NoSectorSize, false),
        Mismatch("PartitionPastTheEnd", 1, PastTheEnd, false),
        Mismatch("ZeroSize", 1, ZeroSize, false),
        Mismatch("OverflowingSectorCount", -1, Overflowing, false),
        Mismatch("StaleSize", 1, StaleSize), Mismatch("StartOfTheNextPartition", 1, StartOfP2),
        Mismatch("StartPlusOneSector", 1, StartPlusOne), Mismatch("WrongSectorSize", 1, BigSectors),
        Mismatch("TooSmall", 1, TooSmall), Mismatch("HalfDisk", -1, HalfDisk),
        Mismatch("AnotherDeviceMounted", -1, MountedDevice),
        Mismatch("AnotherDevice", -1, OtherDevice), Mismatch("RegularFile", -1, RegularFile),
        Mismatch("Fifo", -1, Fifo),
        Row{"FreeSpaceMissingDisk", true, 7, 1, nullptr, Manager::kCodeFreeSpaceDiskNotFound,
            kNotAvailable},
        Row{"FreeSpaceSystemPartition", true, kDisk, 1, SystemFirst,
            Manager::kCodeFreeSpaceSystemPartition, "VTX_UNSUPPORTED_SYSTEM_DRIVE"},
        Row{"FreeSpaceNotMounted", true, kDisk, 2, nullptr, Manager::kCodeNotMounted,
            "VTX_ERROR_FS_NOT_SUPPORT"},
        Row{"FreeSpaceWholeDisk", true, kDisk, -1, nullptr, Manager::kCodeNotMounted,
            "VTX_ERROR_FS_NOT_SUPPORT"},
        Row{"FreeSpaceForeignMount", true, kDisk, 1, ForeignMount, Manager::kCodeNotMounted,
            "VTX_ERROR_FS_NOT_SUPPORT", false, kNever, 0, 0, true},
        Row{"FreeSpaceOwnMount", true, 4, 1, nullptr, 0, kNone, false, kNever, 0, 0, true}),
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
