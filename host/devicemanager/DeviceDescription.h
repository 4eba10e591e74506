#pragma once

#include <string>
#include <vector>

#include "platform/DiskInfo.h"

// Parses a device description, the JSON text
//
//   {"disks":[{"number":1,"system":false,"bytesPerSector":512,
//              "totalSectors":131072,"device":"/dev/loop7",
//              "partitions":[{"number":1,"letter":"E","startSector":2048,
//                             "sizeBytes":33554432,"system":false,
//                             "device":"/dev/loop7p1","mount":"/mnt/e"}]}]}
//
// into one DiskInfo per disk, sorted by number. Required: "disks"; per disk
// "number", "bytesPerSector" (positive), "totalSectors"; per partition
// "number" (0 to 127), "startSector", "sizeBytes". Optional: "system"
// (false), "partitions" (none, at most 128), "letter" (none; one letter A to
// Z, stored upper-case), "device" and "mount" ("", kept only when `keepPaths`;
// they must fit their fields). Other keys are ignored. Disk numbers are
// unique, and every partition lies inside its disk. At most
// kMaxDescribedDisks disks, no key twice in one object, and no deeper
// nesting than a description has (the text is read without recursion).
//
// False, with `disks` empty and the first fault in `why`, for anything else.
constexpr std::size_t kMaxDescribedDisks = 256;

bool ParseDeviceDescription(const std::string& text, bool keepPaths, std::vector<DiskInfo>* disks,
                            std::string* why);
