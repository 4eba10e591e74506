#pragma once

#include <string>
#include <vector>

#include "platform/DiskInfo.h"

// The device manager's two sources, one implementation per backend.

// Whether the records carry the POSIX device and mount paths (DiskInfo.h).
extern const bool kRecordsCarryPaths;

enum class DescriptionSource {
  kNone,        // VTX_DEVICE_DESCRIPTION is unset or empty: use the real disks
  kRead,        // the file named `path` holds `text`
  kUnreadable,  // the named file cannot be read; the reason is in `why`
};

// The description file named by VTX_DEVICE_DESCRIPTION (a path in the
// system's narrow code page).
DescriptionSource ReadDescriptionFile(std::string* path, std::string* text, std::string* why);

// The machine's disks and partitions, in number order, with their system
// flags and letters. False, with the reason, when the system cannot be read.
// Linux: /sys/block (disks with a device, and attached loop devices; numbers
// from the kernel's device numbers, DiskNumbering.h), /proc/self/mountinfo, /proc/swaps and
// holders. Windows:
// \\.\PhysicalDriveN with the geometry and drive-layout control codes, letters
// from the volumes' device numbers, the system from the Windows folder.
bool ReadSystemDisks(std::vector<DiskInfo>* disks, std::string* why);
