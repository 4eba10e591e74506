#pragma once

#include <cstddef>

#include "platform/DiskInfo.h"

// The records of the disk control codes, read into a DiskInfo. They take the
// raw output buffers (so that tests can feed recorded ones) and check every
// length before reading.

// IOCTL_DISK_GET_DRIVE_GEOMETRY_EX: bytes per sector (512 when 0) and the
// disk's length in sectors. False when the buffer is too short.
bool ReadDriveGeometry(const unsigned char* buffer, std::size_t size, DiskInfo* disk);

// IOCTL_DISK_GET_DRIVE_LAYOUT_EX: the partitions, with disk->nBytesPerSector
// already set. Unused MBR entries and extended-partition containers are left
// out; partition numbers above 127 are skipped. The partition the firmware
// boots (an EFI system partition, an active MBR partition) and its disk are
// marked as the system's. False when the buffer is too
// short for the count it declares.
bool ReadDriveLayout(const unsigned char* buffer, std::size_t size, DiskInfo* disk);
