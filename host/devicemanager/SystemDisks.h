#pragma once

#include <string>
#include <vector>

#include "platform/DiskInfo.h"

// The device manager's two sources, one implementation per backend.

// Whether the records carry the POSIX device and mount paths (DiskInfo.h).
extern const bool kRecordsCarryPaths;

// The machine's disks and partitions, in number order, with their system
// flags and letters. False, with the reason, when the system cannot be read.
// Linux: /sys/block (disks with a device, and attached loop devices; numbers
// from the kernel's device numbers, DiskNumbering.h), /proc/self/mountinfo,
// /proc/swaps and holders; the disks of /boot and /boot/efi (mounted or not)
// and EFI system partitions are the system's. Windows: \\.\PhysicalDriveN with
// the geometry and drive-layout control codes, letters from the volumes'
// device numbers; the system's are the volumes of the Windows folder, of a
// page, swap or hibernation file, and the boot or EFI system partition.
bool ReadSystemDisks(std::vector<DiskInfo>* disks, std::string* why);
