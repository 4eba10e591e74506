#include "host/devicemanager/DeviceManager.h"

#include <cstdio>
#include <cstring>

#include "host/devicemanager/DescriptionFile.h"
#include "host/devicemanager/DeviceDescription.h"
#include "host/devicemanager/SystemDisks.h"

bool CDeviceManager::Refresh() {
  std::lock_guard<std::mutex> hold(m_lock);
  return LoadLocked();
}

bool CDeviceManager::LoadLocked() {
  m_loaded = true;
  m_disks.clear();
  m_failure.clear();
  try {
    LoadSourceLocked();
  } catch (const std::exception& error) {
    m_failure = std::string("cannot read the disks: ") + error.what();
  } catch (...) {
    m_failure = "cannot read the disks";
  }
  if (!m_failure.empty()) {
    m_disks.clear();
    SetLastErrorLocked(m_failure);
    if (m_failure != m_reportedFailure)
      std::fprintf(stderr, "DeviceManager: %s\n", m_failure.c_str());
  }
  m_reportedFailure = m_failure;
  return m_failure.empty();
}

void CDeviceManager::LoadSourceLocked() {
  std::string path;
  std::string text;
  std::string why;
  switch (ReadDescriptionFile(&path, &text, &why)) {
    case DescriptionSource::kRead:
      if (!ParseDeviceDescription(text, kRecordsCarryPaths, &m_disks, &why)) {
        m_failure = "malformed device description " + path + ": " + why;
      }
      break;
    case DescriptionSource::kUnreadable:
      m_failure = why;
      break;
    case DescriptionSource::kNone:
      if (!ReadSystemDisks(&m_disks, &why)) m_failure = "cannot enumerate disks: " + why;
      break;
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
  if (!m_failure.empty()) {
    SetLastErrorLocked(m_failure);
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

extern "C" DEVICEMANAGER_API IDeviceManager* __GetDeviceManager() {
  // Lives until the library unloads.
  static CDeviceManager manager;
  return &manager;
}
