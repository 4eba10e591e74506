#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// The records the host's device manager fills for one disk. Both are packed
// and cross the boundary byte for byte; the offsets of the fields the module
// reads are fixed by the host's library and pinned below.
//
// The device and mount paths are what the POSIX build needs to reach a disk
// and its partitions (a block-device path such as "/dev/loop7", a partition's
// "/dev/loop7p1" and the folder it is mounted on); they sit in bytes that the
// Windows records leave unused, and the Windows build ignores them. Each is a
// NUL-terminated narrow path; an empty one means "none".

#pragma pack(push, 1)

struct PartitionInfo {
  std::uint8_t reserved0[8];
  char cDriveLetter;               // 8: letter of the mounted file system, 0 if none
  char szDevicePath[128];          // 9: POSIX: the partition's block device
  char szMountPath[256];           // 137: POSIX: where it is mounted, empty if not
  std::uint8_t reserved1[88];      // 393
  std::uint32_t nPartitionNumber;  // 481: the number callers use (0 to 127)
  std::uint64_t nStartSector;      // 485: first sector on the disk; 0 is refused
  std::uint8_t reserved2[8];       // 493
  std::uint8_t bSystemPartition;   // 501: holds the running system
  std::uint8_t reserved3;          // 502
  std::uint64_t nSizeInBytes;      // 503
  std::uint8_t reserved4[8];       // 511
};

constexpr int kMaxPartitions = 128;

struct DiskInfo {
  std::uint32_t nDiskNumber;                 // 0: N of "\\.\PHYSICALDRIVE%d" and of driver requests
  std::uint8_t reserved0[4];                 // 4
  std::uint8_t bSystemDisk;                  // 8: holds the running system
  std::uint8_t reserved1[7];                 // 9
  char szDevicePath[256];                    // 16: POSIX: the disk's block device
  std::uint8_t reserved2[154];               // 272
  std::int32_t nBytesPerSector;              // 426
  std::int64_t nTotalSectors;                // 430
  std::int32_t nPartitionCount;              // 438: valid entries of partitions, 0 to 128
  PartitionInfo partitions[kMaxPartitions];  // 442
};

#pragma pack(pop)

static_assert(sizeof(PartitionInfo) == 519, "PartitionInfo crosses the module boundary");
static_assert(offsetof(PartitionInfo, cDriveLetter) == 8, "PartitionInfo layout");
static_assert(offsetof(PartitionInfo, szDevicePath) == 9, "PartitionInfo layout");
static_assert(offsetof(PartitionInfo, szMountPath) == 137, "PartitionInfo layout");
static_assert(offsetof(PartitionInfo, nPartitionNumber) == 481, "PartitionInfo layout");
static_assert(offsetof(PartitionInfo, nStartSector) == 485, "PartitionInfo layout");
static_assert(offsetof(PartitionInfo, bSystemPartition) == 501, "PartitionInfo layout");
static_assert(offsetof(PartitionInfo, nSizeInBytes) == 503, "PartitionInfo layout");

static_assert(sizeof(DiskInfo) == 66874, "DiskInfo crosses the module boundary");
static_assert(offsetof(DiskInfo, bSystemDisk) == 8, "DiskInfo layout");
static_assert(offsetof(DiskInfo, szDevicePath) == 16, "DiskInfo layout");
static_assert(offsetof(DiskInfo, nBytesPerSector) == 426, "DiskInfo layout");
static_assert(offsetof(DiskInfo, nTotalSectors) == 430, "DiskInfo layout");
static_assert(offsetof(DiskInfo, nPartitionCount) == 438, "DiskInfo layout");
static_assert(offsetof(DiskInfo, partitions) == 442, "DiskInfo layout");

// The text of one of the NUL-terminated path fields above; a field that lacks
// its terminator is taken whole, never read past.
template <std::size_t N>
std::string RecordText(const char (&field)[N]) {
  const void* end = std::memchr(field, 0, N);
  return std::string(field,
                     end ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : N);
}
