#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/devicemanager/DiskIdentity.h"

// Identity as Linux's sysfs tells it. Both readers take the folder that
// stands for /sys, so that tests feed recorded trees; they read files and
// links only and open no device.

// Asks the drive (kernel name `name`) for its unit serial number page (SCSI
// INQUIRY, VPD page 0x80) and gives the page's bytes, or nothing.
using UnitSerialInquiry = std::function<std::vector<unsigned char>(const std::string& name)>;

// The block device <sysRoot>/block/<name>: vendor, model, firmware ("rev",
// "firmware_rev"), serial ("serial" of the device or the block folder; for a
// SCSI disk without one, `inquiry`), WWN ("wwid"), transport (the device's
// bus, and for SCSI disks the path through ATA, USB or SAS), rotational,
// sector sizes and size. "loop" for loop devices, which have no hardware.
DiskIdentity ReadSysfsIdentity(const std::string& sysRoot, const std::string& name,
                               const UnitSerialInquiry& inquiry);

// The machine: <sysRoot>/class/dmi/id/{sys_vendor,product_name,product_serial}
// (the serial is readable by root only).
MachineIdentity ReadDmiIdentity(const std::string& sysRoot);
