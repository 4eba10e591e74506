#pragma once

#include "host/devicemanager/DiskIdentity.h"
#include "platform/DiskInfo.h"

// Identity read from the machine, one implementation per backend. Neither
// writes anything; both leave out what the system does not tell.

// The drive behind `disk` (a record of ReadSystemDisks): Linux sysfs through
// the record's block device, with a read-only SCSI INQUIRY of the unit serial
// number page where sysfs has no serial; Windows IOCTL_STORAGE_QUERY_PROPERTY
// on \\.\PhysicalDriveN (device and seek-penalty descriptors).
DiskIdentity ReadDriveIdentity(const DiskInfo& disk);

// The kernel's "major:minor" of the record's block device (POSIX), "" where
// there is none or the build has no such numbers.
std::string DeviceNumbersOf(const DiskInfo& disk);

// The machine: Linux /sys/class/dmi/id; Windows the SMBIOS table through
// GetSystemFirmwareTable.
MachineIdentity ReadMachineIdentity();
