#include <gtest/gtest.h>

#include <string>

#include "host/purge/DriveChannel.h"
#include "support/TestFiles.h"

// Wine has no NVMe, ATA or SCSI devices and no \\.\PhysicalDriveN a purge
// could reach: the requests' byte layouts are tested in DriveCommandsTest,
// and here only what OpenDriveChannel refuses before anything is sent.
TEST(PurgeChannelWin32, RefusesWhatIsNotAWholeDisk) {
  TempDir folder;
  WriteBytes(folder / "image.bin", std::string(4096, '\0'));
  const struct {
    std::string device;
    const char* reason;
  } rows[] = {
      {ModulePath(folder / "image.bin"), "is not a whole disk"},
      {ModulePath(folder / "missing.bin"), "is not a whole disk"},
      {"\\\\.\\C:", "is not a whole disk"},
      {"\\\\.\\PhysicalDrive", "is not a whole disk"},
      {"\\\\.\\PhysicalDrive1x", "is not a whole disk"},
      {"\\\\.\\PhysicalDrive99", "no such disk"},
  };
  for (const auto& row : rows) {
    std::string error;
    EXPECT_EQ(OpenDriveChannel(row.device, DriveAccess::kPurge, &error), nullptr) << row.device;
    EXPECT_NE(error.find(row.reason), std::string::npos) << row.device << ": " << error;
  }
}
