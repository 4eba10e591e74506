#include "host/devicemanager/DeviceManager.h"

#include <cstdio>
#include <cstring>

#include "host/devicemanager/DescribedIdentity.h"
#include "host/devicemanager/DescriptionFile.h"
#include "host/devicemanager/DeviceDescription.h"
#include "host/devicemanager/DeviceIdentity.h"
#include "host/devicemanager/DiskNumbering.h"
#include "host/devicemanager/SystemDisks.h"

namespace {

// What a described disk is: the description's members, the record's sizes
// and the device numbers of the block device it names.
DiskIdentity DescribedIdentity(const DiskInfo& disk, const DiskIdentity& described) {
  DiskIdentity identity = described;
  identity.deviceNumbers = DeviceNumbersOf(disk);
  identity.stableNumber = true;
  return identity;
}

DiskIdentity MachineDiskIdentity(const DiskInfo& disk) {
  DiskIdentity identity = ReadDriveIdentity(disk);
  identity.stableNumber = IsStableDiskNumber(disk.nDiskNumber);
  return identity;
}

void TakeSizesFromRecord(const DiskInfo& disk, DiskIdentity* identity) {
  const auto sectorSize = static_cast<std::uint32_t>(disk.nBytesPerSector);
  identity->logicalSectorBytes = sectorSize;
  if (identity->physicalSectorBytes == 0) identity->physicalSectorBytes = sectorSize;
  identity->sizeBytes =
      static_cast<std::uint64_t>(sectorSize) * static_cast<std::uint64_t>(disk.nTotalSectors);
}

bool SamePartition(const PartitionInfo& a, const PartitionInfo& b) {
  return a.nPartitionNumber == b.nPartitionNumber && a.nStartSector == b.nStartSector &&
         a.nSizeInBytes == b.nSizeInBytes && a.bSystemPartition == b.bSystemPartition &&
         RecordText(a.szDevicePath) == RecordText(b.szDevicePath);
}

// How the disk `now` differs from the `held` one; "" when it does not.
std::string Difference(const DiskInfo& held, const DiskIdentity& heldIdentity, const DiskInfo& now,
                       const DiskIdentity& nowIdentity) {
  if (RecordText(held.szDevicePath) != RecordText(now.szDevicePath))
    return "its device is now " + RecordText(now.szDevicePath);
  if (!SameDrive(heldIdentity, nowIdentity)) return "another drive is there now";
  if (held.nBytesPerSector != now.nBytesPerSector || held.nTotalSectors != now.nTotalSectors)
    return "its size changed";
  if (held.bSystemDisk != now.bSystemDisk) return "its system mark changed";
  if (held.nPartitionCount != now.nPartitionCount) return "its partitions changed";
  for (int at = 0; at < held.nPartitionCount && at < kMaxPartitions; ++at) {
    if (!SamePartition(held.partitions[at], now.partitions[at])) return "its partitions changed";
  }
  return "";
}

// Writes `json` into the caller's buffer when it fits; its length.
int CopyOut(const std::string& json, char* buffer, int size) {
  if (buffer != nullptr && size > 0 && json.size() < static_cast<std::size_t>(size)) {
    std::memcpy(buffer, json.c_str(), json.size() + 1);
  }
  return static_cast<int>(json.size());
}

// The process-wide manager; lives until the library unloads.
CDeviceManager* TheDeviceManager() {
  static CDeviceManager manager;
  return &manager;
}

}  // namespace

bool CDeviceManager::Refresh() {
  std::lock_guard<std::mutex> hold(m_lock);
  return LoadLocked();
}

bool CDeviceManager::ReadSourceLocked(std::vector<DiskInfo>* disks,
                                      std::vector<DiskIdentity>* identities) {
  m_failure.clear();
  try {
    ReadDisksLocked(disks, identities);
  } catch (const std::exception& error) {
    m_failure = std::string("cannot read the disks: ") + error.what();
  } catch (...) {
    m_failure = "cannot read the disks";
  }
  if (!m_failure.empty()) {
    disks->clear();
    identities->clear();
    SetLastErrorLocked(m_failure);
    if (m_failure != m_reportedFailure)
      std::fprintf(stderr, "DeviceManager: %s\n", m_failure.c_str());
  }
  m_reportedFailure = m_failure;
  return m_failure.empty();
}

void CDeviceManager::ReadDisksLocked(std::vector<DiskInfo>* disks,
                                     std::vector<DiskIdentity>* identities) {
  std::string path;
  std::string text;
  std::string why;
  std::map<std::uint32_t, DiskIdentity> described;
  const DescriptionSource source = ReadDescriptionFile(&path, &text, &why);
  switch (source) {
    case DescriptionSource::kRead:
      if (!ParseDeviceDescription(text, kRecordsCarryPaths, disks, &why) ||
          !ParseDescribedIdentities(text, &described, &why)) {
        m_failure = "malformed device description " + path + ": " + why;
      }
      break;
    case DescriptionSource::kUnreadable:
      m_failure = why;
      break;
    case DescriptionSource::kNone:
      if (!ReadSystemDisks(disks, &why)) m_failure = "cannot enumerate disks: " + why;
      break;
  }
  if (!m_failure.empty()) return;
  identities->clear();
  for (const DiskInfo& disk : *disks) {
    const std::uint32_t number = disk.nDiskNumber;  // read by value: the record is packed
    identities->push_back(source == DescriptionSource::kRead
                              ? DescribedIdentity(disk, described[number])
                              : MachineDiskIdentity(disk));
    TakeSizesFromRecord(disk, &identities->back());
  }
}

bool CDeviceManager::LoadLocked() {
  m_loaded = true;
  std::vector<DiskInfo> disks;
  std::vector<DiskIdentity> identities;
  const bool read = ReadSourceLocked(&disks, &identities);
  if (!m_holding) {
    m_disks = std::move(disks);
    m_identities = std::move(identities);
    return read;
  }
  CompareWithHeldLocked(disks, identities);
  return read;
}

void CDeviceManager::CompareWithHeldLocked(const std::vector<DiskInfo>& disks,
                                           const std::vector<DiskIdentity>& identities) {
  for (std::size_t held = 0; held < m_disks.size(); ++held) {
    const std::uint32_t number = m_disks[held].nDiskNumber;
    std::string difference = "it is gone";
    for (std::size_t now = 0; now < disks.size(); ++now) {
      if (disks[now].nDiskNumber != number) continue;
      difference = Difference(m_disks[held], m_identities[held], disks[now], identities[now]);
      break;
    }
    if (!difference.empty() && m_withheld.count(number) == 0) {
      m_withheld[number] = "disk " + std::to_string(number) +
                           " is not the disk that was listed and confirmed: " + difference;
    }
  }
}

void CDeviceManager::EnsureLoadedLocked() {
  if (!m_loaded) LoadLocked();
}

int CDeviceManager::GetDiskCount() {
  std::lock_guard<std::mutex> hold(m_lock);
  EnsureLoadedLocked();
  return static_cast<int>(m_disks.size());
}

int CDeviceManager::GetDiskNumberAt(int index) {
  std::lock_guard<std::mutex> hold(m_lock);
  EnsureLoadedLocked();
  if (index < 0 || index >= static_cast<int>(m_disks.size())) return -1;
  return static_cast<int>(m_disks[static_cast<std::size_t>(index)].nDiskNumber);
}

bool CDeviceManager::GetDiskInfo(int disk, DiskInfo* out) {
  std::lock_guard<std::mutex> hold(m_lock);
  EnsureLoadedLocked();
  if (!m_failure.empty() && !m_holding) {
    SetLastErrorLocked(m_failure);
    return false;
  }
  const auto withheld =
      disk >= 0 ? m_withheld.find(static_cast<std::uint32_t>(disk)) : m_withheld.end();
  if (withheld != m_withheld.end()) {
    SetLastErrorLocked(withheld->second);
    return false;
  }
  for (const DiskInfo& record : m_disks) {
    if (disk >= 0 && record.nDiskNumber == static_cast<std::uint32_t>(disk)) {
      if (out == nullptr) break;
      std::memcpy(out, &record, sizeof(record));
      m_lastError.clear();
      return true;
    }
  }
  SetLastErrorLocked(out == nullptr ? "no record to fill" : "no disk " + std::to_string(disk));
  return false;
}

// Keeps `text` for GetLastErrorText; with no memory for it, keeps nothing.
void CDeviceManager::SetLastErrorLocked(const std::string& text) noexcept {
  try {
    m_lastError = text;
  } catch (...) {
    m_lastError.clear();
  }
}

const char* CDeviceManager::GetLastErrorText() {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_lastError.c_str();
}

std::optional<std::string> CDeviceManager::IdentityJson(int number) {
  std::lock_guard<std::mutex> hold(m_lock);
  EnsureLoadedLocked();
  for (std::size_t at = 0; at < m_disks.size(); ++at) {
    if (number >= 0 && m_disks[at].nDiskNumber == static_cast<std::uint32_t>(number))
      return DiskIdentityJson(number, m_identities[at]);
  }
  return std::nullopt;
}

std::string CDeviceManager::MachineJson() {
  std::lock_guard<std::mutex> hold(m_lock);
  if (!m_machine) m_machine = ReadMachineIdentity();
  return MachineIdentityJson(*m_machine);
}

int CDeviceManager::Hold(bool hold) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_holding = false;
  m_withheld.clear();
  if (!LoadLocked()) return -1;
  m_holding = hold;
  return static_cast<int>(m_disks.size());
}

extern "C" DEVICEMANAGER_API IDeviceManager* __GetDeviceManager() { return TheDeviceManager(); }

// The identity exports (DiskIdentityExports.h) catch what a full memory
// throws: nothing crosses to the caller but the result.
extern "C" DEVICEMANAGER_API int __GetDiskIdentity(int disk, char* buffer, int size) {
  try {
    const std::optional<std::string> json = TheDeviceManager()->IdentityJson(disk);
    return json ? CopyOut(*json, buffer, size) : -1;
  } catch (...) {
    return -1;
  }
}

extern "C" DEVICEMANAGER_API int __GetMachineIdentity(char* buffer, int size) {
  try {
    return CopyOut(TheDeviceManager()->MachineJson(), buffer, size);
  } catch (...) {
    return -1;
  }
}

extern "C" DEVICEMANAGER_API int __HoldDiskListing(int hold) {
  try {
    return TheDeviceManager()->Hold(hold != 0);
  } catch (...) {
    return -1;
  }
}
