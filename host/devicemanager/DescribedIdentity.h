#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "host/devicemanager/DiskIdentity.h"

// The identity members a device description gives its disks, so that a loop
// image can stand for the drive it plays:
//
//   {"disks":[{"number":1, ..., "vendor":"ATA","model":"WDC WD10EZEX",
//              "serial":"WD-WCC3F0000001","firmware":"01.01A01",
//              "wwn":"naa.50014ee2b0000001","transport":"sata","rotational":true}]}
//
// Each is optional (absent or null: unknown); texts are at most 255 bytes.
// Read from a text that ParseDeviceDescription accepted; the identities go
// under each disk's number. False, with the first fault in `why`, for a
// member of another type.
bool ParseDescribedIdentities(const std::string& text,
                              std::map<std::uint32_t, DiskIdentity>* identities, std::string* why);
