#include "storage/VantrixStorageDevice.h"

#include <cstdint>

#include "common/Log.h"
#include "storage/Q7DiskIOWapper.h"

namespace {

constexpr char kCheckRecord[] = "VantrixStorageDevice::CheckRecord";

bool IsSectorSize(std::int32_t bytes) {
  return bytes >= 512 && bytes <= 4096 && (bytes & (bytes - 1)) == 0;
}

}  // namespace

VantrixStorageDevice::~VantrixStorageDevice() { Close(); }

void VantrixStorageDevice::Release() { delete this; }

bool VantrixStorageDevice::IsOpen() const { return m_hDevice != kClosed && m_hDevice != 0; }

bool VantrixStorageDevice::RecordAddsUp(const DiskInfo& disk, const PartitionInfo* partition,
                                        std::uint64_t* first, std::uint64_t* bytes) {
  const std::int32_t sectorSize = disk.nBytesPerSector;  // by value: the record is packed
  const std::int64_t sectors = disk.nTotalSectors;
  std::uint64_t diskBytes = 0;
  if (!IsSectorSize(sectorSize) || sectors <= 0 ||
      __builtin_mul_overflow(static_cast<std::uint64_t>(sectors),
                             static_cast<std::uint64_t>(sectorSize), &diskBytes) ||
      diskBytes > static_cast<std::uint64_t>(INT64_MAX)) {
    VTX_LOG(kCheckRecord, "disk %u: %d bytes per sector, %lld sectors do not make a disk",
            unsigned(disk.nDiskNumber), int(sectorSize), static_cast<long long>(sectors));
    return false;
  }
  *first = 0;
  *bytes = diskBytes;
  if (partition == nullptr) return true;
  const std::uint64_t start = partition->nStartSector;
  const std::uint64_t size = partition->nSizeInBytes;
  std::uint64_t startByte = 0;
  std::uint64_t endByte = 0;
  if (start == 0 || size == 0 || size % static_cast<std::uint64_t>(sectorSize) != 0 ||
      __builtin_mul_overflow(start, static_cast<std::uint64_t>(sectorSize), &startByte) ||
      __builtin_add_overflow(startByte, size, &endByte) || endByte > diskBytes) {
    VTX_LOG(kCheckRecord, "disk %u partition %u: %llu bytes from sector %llu do not fit the disk",
            unsigned(disk.nDiskNumber), unsigned(partition->nPartitionNumber),
            static_cast<unsigned long long>(size), static_cast<unsigned long long>(start));
    return false;
  }
  *first = start;
  *bytes = size;
  return true;
}

bool VantrixStorageDevice::HandToChannel(const DiskInfo& disk, std::intptr_t claim) {
  if (!CQ7DiskIOWapper::GetInstance()->AttachDisk(disk, claim, m_firstSector)) return false;
  m_attached = true;
  m_attachedDisk = disk.nDiskNumber;
  return true;
}

void VantrixStorageDevice::DetachFromChannel() {
  if (m_attached) CQ7DiskIOWapper::GetInstance()->DetachDisk(m_attachedDisk);
  m_attached = false;
}
