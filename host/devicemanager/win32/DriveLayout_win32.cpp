#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winioctl.h>

#include <cstring>

#include "host/devicemanager/win32/DriveLayout.h"

namespace {

bool IsContainer(BYTE type) {
  return type == PARTITION_EXTENDED || type == PARTITION_XINT13_EXTENDED || type == 0x85;
}

}  // namespace

bool ReadDriveGeometry(const unsigned char* buffer, std::size_t size, DiskInfo* disk) {
  if (size < offsetof(DISK_GEOMETRY_EX, Data)) return false;
  DISK_GEOMETRY_EX geometry;
  std::memcpy(&geometry, buffer, offsetof(DISK_GEOMETRY_EX, Data));
  const DWORD sectorSize =
      geometry.Geometry.BytesPerSector != 0 ? geometry.Geometry.BytesPerSector : 512;
  disk->nBytesPerSector = static_cast<std::int32_t>(sectorSize);
  disk->nTotalSectors = geometry.DiskSize.QuadPart / sectorSize;
  return true;
}

// The GPT type of an EFI system partition.
constexpr GUID kEfiSystemPartition = {
    0xc12a7328, 0xf81f, 0x11d2, {0xba, 0x4b, 0x00, 0xa0, 0xc9, 0x3e, 0xc9, 0x3b}};

// The partition the firmware boots: an EFI system partition, or an active MBR one.
bool IsBootPartition(const PARTITION_INFORMATION_EX& entry) {
  if (entry.PartitionStyle == PARTITION_STYLE_GPT) {
    return std::memcmp(&entry.Gpt.PartitionType, &kEfiSystemPartition, sizeof(GUID)) == 0;
  }
  return entry.PartitionStyle == PARTITION_STYLE_MBR && entry.Mbr.BootIndicator != FALSE;
}

bool ReadDriveLayout(const unsigned char* buffer, std::size_t size, DiskInfo* disk) {
  const std::size_t head = offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry);
  if (size < head) return false;
  DRIVE_LAYOUT_INFORMATION_EX layout;
  std::memcpy(&layout, buffer, head);
  if (layout.PartitionCount > (size - head) / sizeof(PARTITION_INFORMATION_EX)) return false;
  const std::int32_t bytesPerSector = disk->nBytesPerSector;
  const std::uint64_t sectorSize = bytesPerSector > 0 ? std::uint64_t(bytesPerSector) : 512;
  disk->nPartitionCount = 0;
  for (DWORD at = 0; at < layout.PartitionCount && disk->nPartitionCount < kMaxPartitions; ++at) {
    PARTITION_INFORMATION_EX entry;
    std::memcpy(&entry, buffer + head + at * sizeof(entry), sizeof(entry));
    if (IsBootPartition(entry)) disk->bSystemDisk = 1;
    if (entry.PartitionLength.QuadPart <= 0 || entry.PartitionNumber >= kMaxPartitions) continue;
    if (entry.PartitionStyle == PARTITION_STYLE_MBR &&
        (entry.Mbr.PartitionType == PARTITION_ENTRY_UNUSED ||
         IsContainer(entry.Mbr.PartitionType))) {
      continue;
    }
    PartitionInfo& partition = disk->partitions[disk->nPartitionCount++];
    partition.nPartitionNumber = entry.PartitionNumber;
    partition.nStartSector = static_cast<std::uint64_t>(entry.StartingOffset.QuadPart) / sectorSize;
    partition.nSizeInBytes = static_cast<std::uint64_t>(entry.PartitionLength.QuadPart);
    partition.bSystemPartition = IsBootPartition(entry) ? 1 : 0;
  }
  return true;
}
