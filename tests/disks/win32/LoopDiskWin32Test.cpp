#include <gtest/gtest.h>

#include <windows.h>

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
  using Open = int (*)(VantrixStorageDevice&, const DiskInfo&);
  struct Case {
    const char* what;
    Open open;
    int result;
    bool isOpen;
    const char* logged;  // the path logged, to the end of its line; "": nothing logged
  };
  const Case cases[] = {
      {"PhysicalDrive1, a loop disk",
       [](VantrixStorageDevice& d, const DiskInfo& k) { return d.OpenDiskOf(k); }, 0, true, ""},
      {"PhysicalDrive9, missing",
       [](VantrixStorageDevice& d, const DiskInfo&) { return d.OpenDisk(9); }, ERROR_FILE_NOT_FOUND,
       false, ""},
      {"P:, a folder",
       [](VantrixStorageDevice& d, const DiskInfo& k) {
         return d.OpenPartitionOf(k.partitions[1]);
       },
       ERROR_NOT_SUPPORTED, true, "open volume: \\\\.\\P:"},
      {"a partition without a letter",
       [](VantrixStorageDevice& d, const DiskInfo& k) {
         return d.OpenPartitionOf(k.partitions[0]);
       },
       ERROR_INVALID_NAME, false, "open volume: \\\\.\\"},
  };
  for (const Case& c : cases) {
    LogProbe log;
    VantrixStorageDevice device;
    EXPECT_EQ(c.open(device, *disk), c.result) << c.what;
    EXPECT_EQ(device.IsOpen(), c.isOpen) << c.what;
    EXPECT_EQ(device.GetSectorSize(), 512u) << c.what;
    EXPECT_EQ(device.GetTotalSectors(), 0u) << c.what;
    device.Close();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.DismountVolume(), FALSE) << c.what;
    device.Close();
    EXPECT_TRUE(*c.logged ? log.Contains(c.logged + std::string(LogLineEnd()))
                          : log.Appended().empty())
        << c.what << ": " << log.Appended();
  }
}

}  // namespace
