#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "disks/LoopDisks.h"
#include "storage/VantrixStorageDevice.h"
#include "support/LogProbe.h"
#include "support/TestPlatform.h"

namespace {

// Wine answers no disk control code on a drive: the geometry and length
// queries of OpenDisk fail and are ignored (sector size 512, length 0). A
// letter on a folder answers the volume geometry but not the partition query
// (ERROR_NOT_SUPPORTED), and the handle stays open.
TEST(LoopDisk, StorageDeviceOpensDrivesAndVolumesAsWindowsAnswers) {
  REQUIRE_LOOP_DISKS();
  std::unique_ptr<DiskInfo> disk = DescribedDisk(1);
  ASSERT_TRUE(disk);
  using Device = VantrixStorageDevice;
  const struct {
    const char* what;
    std::function<int(Device&)> open;
    int result;
    bool isOpen;
    const char* logged;  // the path logged, to the end of its line; "": nothing logged
  } cases[] = {
      {"PhysicalDrive1, a loop disk", [&](Device& d) { return d.OpenDiskOf(*disk); }, 0, true, ""},
      {"PhysicalDrive9, missing", [](Device& d) { return d.OpenDisk(9); }, ERROR_FILE_NOT_FOUND,
       false, ""},
      {"P:, a folder", [&](Device& d) { return d.OpenPartitionOf(*disk, disk->partitions[1]); },
       ERROR_NOT_SUPPORTED, true, "open volume: \\\\.\\P:"},
      {"a partition without a letter",
       [&](Device& d) { return d.OpenPartitionOf(*disk, disk->partitions[0]); }, ERROR_INVALID_NAME,
       false, "open volume: \\\\.\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    LogProbe log;
    Device device;
    EXPECT_EQ(c.open(device), c.result);
    EXPECT_EQ(device.IsOpen(), c.isOpen);
    EXPECT_EQ(device.GetSectorSize(), 512u);
    EXPECT_EQ(device.GetTotalSectors(), 0u);
    device.Close();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.DismountVolume(), FALSE);
    device.Close();
    EXPECT_TRUE(*c.logged ? log.Contains(c.logged + std::string(LogLineEnd()))
                          : log.Appended().empty())
        << log.Appended();
  }
}

}  // namespace
