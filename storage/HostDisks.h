#pragma once

#include "platform/DiskInfo.h"

// The module's questions to the host's device manager (__GetDeviceManager,
// imported from DeviceManager.dll / libDeviceManager.so when the module
// loads). Each asks Refresh first, as every reader of the records does. Any
// thread may call them.

// Fills `disk` with the record of disk number `number`; false when the device
// manager does not know the disk.
bool HostDiskInfo(int number, DiskInfo* disk);

// Fills `disk` with the record of the disk holding the partition with drive
// letter `letter` (case-insensitive) and sets `index` to that partition's
// entry; false when no partition has the letter.
bool HostPartitionWithLetter(char letter, DiskInfo* disk, int* index);
