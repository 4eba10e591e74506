#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>

#include "algorithms/WiperAlgorithms.h"
#include "disks/LoopDisks.h"
#include "storage/VantrixStorageDevice.h"
#include "storage/win32/DriverService.h"
#include "support/LogProbe.h"
#include "support/TestFiles.h"
#include "volumes/ScratchVolume.h"
#include "wipers/DeviceDriverWiper.h"

namespace {

fs::path ProgramFolder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(/*hModule=*/nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

// The whole road of a partition wipe under Windows: the driver is not loaded,
// its file lies in "drivers" under the current folder, and the first write
// installs and starts it. The wipe runs from the program's folder, where the
// build puts drivers\q7diskio.sys, so that the service it leaves registered
// names a file that stays. The script running this program checks disk 1
// from Linux afterwards (tests/scripts/loop_disks.sh).
TEST(DriverWipe, PartitionTwoOfPhysicalDriveOneGoesThroughTheDriver) {
  REQUIRE_LOOP_DISKS();
  std::unique_ptr<DiskInfo> disk = DescribedDisk(1);
  ASSERT_TRUE(disk);
  PartitionInfo& partition = disk->partitions[1];
  LogProbe log;  // opens the log in the test's own folder first
  InFolder programFolder(ProgramFolder());
  testing::internal::CaptureStdout();
  ManageDriver(L"q7diskio", L"-", kDriverFunctionRemove);  // a registration left by a run before
  testing::internal::GetCapturedStdout();

  VantrixStorageDevice device;  // held as the wipe manager holds it (P: is a folder)
  device.OpenPartitionOf(*disk, partition);
  ASSERT_TRUE(device.AttachToChannel(*disk));
  CDeviceDriverWiper wiper;
  ASSERT_EQ(wiper.init(disk.get(), &partition), 0);
  CZeroFillWiperAlgorithm algorithm;  // 0xFF, one pass: the driver path is slow under Wine
  ASSERT_EQ(wiper.WippeData(&algorithm, nullptr), 0u) << log.Appended();
  EXPECT_TRUE(log.Contains("driver install Path: ")) << log.Appended();
  EXPECT_EQ(log.Count("done, hDevicie = 0x"), 1) << "the device is opened once";
  std::ofstream(fs::path(Environment("VTX_DEVICE_DESCRIPTION")).parent_path() / "disk1.wiped");
}

}  // namespace
