#include "disks/LoopDisks.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/IDeviceManager.h"
#include "volumes/ScratchVolume.h"

bool LoopDisksReady(std::string* why) {
  const std::string description = Environment("VTX_DEVICE_DESCRIPTION");
  if (description.empty()) {
    *why = "VTX_DEVICE_DESCRIPTION is not set: run through ctest, which makes the loop disks";
    return false;
  }
  std::error_code error;
  if (std::filesystem::exists(description, error)) return true;
  std::ifstream reason(std::filesystem::path(description).parent_path() / "unavailable");
  *why = "no loop disks: " +
         std::string(std::istreambuf_iterator<char>(reason), std::istreambuf_iterator<char>());
  return false;
}

std::unique_ptr<DiskInfo> DescribedDisk(int number) {
  std::unique_ptr<DiskInfo> disk(new DiskInfo());
  IDeviceManager* manager = __GetDeviceManager();
  manager->Refresh();
  if (!manager->GetDiskInfo(number, disk.get())) return nullptr;
  return disk;
}
