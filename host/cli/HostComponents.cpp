#include "host/cli/HostComponents.h"

#include "common/IErrorInterpreter.h"
#include "host/devicemanager/DiskIdentityExports.h"
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

namespace {

// Asks `fill` (an identity export: JSON into a buffer, answering its length)
// until the buffer holds the whole answer; "" when there is none.
template <class Fill>
std::string AskForJson(Fill fill) {
  std::string buffer(1024, '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const int length = fill(&buffer[0], static_cast<int>(buffer.size()));
    if (length < 0) return "";
    if (static_cast<std::size_t>(length) < buffer.size()) return buffer.substr(0, length);
    buffer.assign(static_cast<std::size_t>(length) + 1, '\0');
  }
  return "";
}

}  // namespace

DiskIdentity HostComponents::Identity(int number) {
  DiskIdentity identity;
  auto get = LibrarySymbol<VtxGetDiskIdentity>(m_deviceLibrary, "__GetDiskIdentity");
  if (get != nullptr) {
    ParseDriveIdentity(
        AskForJson([&](char* buffer, int size) { return get(number, buffer, size); }), &identity);
  }
  return identity;
}

MachineIdentity HostComponents::Machine() {
  MachineIdentity machine;
  auto get = LibrarySymbol<VtxGetMachineIdentity>(m_deviceLibrary, "__GetMachineIdentity");
  if (get != nullptr) ParseMachineIdentity(AskForJson(get), &machine);
  return machine;
}

bool HostComponents::HoldListing(std::string* error) {
  auto hold = LibrarySymbol<VtxHoldDiskListing>(m_deviceLibrary, "__HoldDiskListing");
  if (hold == nullptr) {
    *error = m_deviceLibrary.Path() + " does not export __HoldDiskListing";
    return false;
  }
  if (hold(1) < 0) {
    *error = "the device manager cannot read the disks";
    return false;
  }
  return true;
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
