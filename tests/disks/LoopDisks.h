#pragma once

#include <memory>
#include <string>

#include "platform/DiskInfo.h"

// The loop disks the fixture made (tests/scripts/loop_disks.sh), described to
// the device manager by the file VTX_DEVICE_DESCRIPTION names.

// False, with the reason to skip, when the fixture could not make them here.
bool LoopDisksReady(std::string* why);

#define REQUIRE_LOOP_DISKS()                        \
  do {                                              \
    std::string why;                                \
    if (!LoopDisksReady(&why)) GTEST_SKIP() << why; \
  } while (0)

// The device manager's record of disk `number`, or null.
std::unique_ptr<DiskInfo> DescribedDisk(int number);
