#include "storage/Q7DiskIOWapper.h"

// The module's static initialiser: the channel exists from the moment the
// module is loaded.
CQ7DiskIOWapper* const g_diskIOChannel = CQ7DiskIOWapper::GetInstance();

CQ7DiskIOWapper* CQ7DiskIOWapper::GetInstance() {
  static CQ7DiskIOWapper instance;
  return &instance;
}

bool CQ7DiskIOWapper::AttachDisk(const DiskInfo& disk, std::intptr_t claim,
                                 std::uint64_t firstSector) {
  const std::uint32_t sectorSize = static_cast<std::uint32_t>(disk.nBytesPerSector);
  const std::string device = RecordText(disk.szDevicePath);
  std::unique_lock<std::mutex> hold(m_lock);
  DiskChannel& channel = m_disks[disk.nDiskNumber];
  if (channel.attachments > 0 &&
      (channel.sectorSize != sectorSize || channel.devicePath != device ||
       (claim >= 0 && channel.descriptor >= 0))) {
    hold.unlock();
    CloseDescriptor(claim);
    return false;
  }
  if (channel.attachments == 0) {
    channel.descriptor = -1;  // closed by the last DetachDisk
    channel.sectorSize = sectorSize;
    channel.devicePath = device;
    channel.firstSector = 0;
  }
  if (claim >= 0) {
    channel.descriptor = claim;
    channel.firstSector = firstSector;
  }
  ++channel.attachments;
  return true;
}

void CQ7DiskIOWapper::DetachDisk(std::uint32_t disk) {
  std::intptr_t released = -1;
  {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto found = m_disks.find(disk);
    if (found == m_disks.end() || found->second.attachments == 0) return;
    if (--found->second.attachments == 0) {
      released = found->second.descriptor;
      found->second.descriptor = -1;
    }
  }
  CloseDescriptor(released);  // outside the lock: a close may wait for the device
}

std::uint64_t CQ7DiskIOWapper::FirstSectorOf(std::uint32_t disk) {
  std::lock_guard<std::mutex> hold(m_lock);
  const auto found = m_disks.find(disk);
  return found == m_disks.end() ? 0 : found->second.firstSector;
}

std::uint32_t CQ7DiskIOWapper::SectorSizeOf(std::uint32_t disk) {
  std::lock_guard<std::mutex> hold(m_lock);
  const auto found = m_disks.find(disk);
  return found == m_disks.end() ? m_nSectorSize : found->second.sectorSize;
}
