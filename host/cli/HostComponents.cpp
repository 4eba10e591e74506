#include "host/cli/HostComponents.h"

#include "common/IErrorInterpreter.h"
#include "host/cli/DiskListing.h"
#include "platform/IDeviceManager.h"

bool HostComponents::OpenDeviceManager(std::string* error) {
  if (m_deviceManager == nullptr) {
    m_deviceManager = LoadComponent<IDeviceManager>(m_deviceLibrary, "DeviceManager",
                                                    "__GetDeviceManager", "device manager", error);
  }
  return m_deviceManager != nullptr;
}

bool HostComponents::OpenErrorInterpreter(std::string* error) {
  if (m_interpreter == nullptr) {
    m_interpreter =
        LoadComponent<IErrorInterpreter>(m_interpreterLibrary, "ErrorInterpreter",
                                         "__GetErrorInterPreter", "error interpreter", error);
  }
  return m_interpreter != nullptr;
}

bool HostComponents::CanReadDisks(std::string* error) {
  if (m_deviceManager == nullptr) {
    *error = "no device manager";
    return false;
  }
  if (m_deviceManager->Refresh()) return true;
  const char* reason = m_deviceManager->GetLastErrorText();
  *error = std::string("the device manager cannot read the disks") +
           (reason != nullptr && *reason != '\0' ? std::string(": ") + reason : "");
  return false;
}

std::vector<int> HostComponents::DiskNumbers() {
  std::vector<int> numbers;
  if (m_deviceManager == nullptr) return numbers;
  m_deviceManager->Refresh();
  const int count = m_deviceManager->GetDiskCount();
  for (int index = 0; index < count; ++index) {
    const int number = m_deviceManager->GetDiskNumberAt(index);
    if (number >= 0) numbers.push_back(number);
  }
  return numbers;
}

std::unique_ptr<DiskInfo> HostComponents::Disk(int number, std::string* error) {
  if (m_deviceManager == nullptr) {
    *error = "no device manager";
    return nullptr;
  }
  auto disk = std::make_unique<DiskInfo>();  // zero-filled, as the device manager expects
  m_deviceManager->Refresh();
  if (!m_deviceManager->GetDiskInfo(number, disk.get())) {
    const char* reason = m_deviceManager->GetLastErrorText();
    *error = "disk " + std::to_string(number) + " is not available" +
             (reason != nullptr && *reason != '\0' ? std::string(": ") + reason : "");
    return nullptr;
  }
  return disk;
}

std::string HostComponents::ErrorText(std::uint32_t code) {
  if (m_interpreter == nullptr) return "";
  const char* text = m_interpreter->GetErrorString(code);
  return text != nullptr ? text : "";
}

const PartitionInfo* FindPartition(const DiskInfo& disk, int number) {
  for (int index = 0; index < PartitionCount(disk); ++index) {
    if (static_cast<int>(disk.partitions[index].nPartitionNumber) == number) {
      return &disk.partitions[index];
    }
  }
  return nullptr;
}
