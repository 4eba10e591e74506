#include "storage/HostDisks.h"

#include <cctype>
#include <cstring>

#include "platform/IDeviceManager.h"

namespace {

bool Query(IDeviceManager* manager, int number, DiskInfo* disk) {
  std::memset(disk, 0, sizeof(*disk));
  return manager->GetDiskInfo(number, disk);
}

int Upper(char letter) { return std::toupper(static_cast<unsigned char>(letter)); }

}  // namespace

bool HostDiskInfo(int number, DiskInfo* disk) {
  IDeviceManager* manager = __GetDeviceManager();
  if (manager == nullptr) return false;
  manager->Refresh();
  return Query(manager, number, disk);
}

bool HostPartitionWithLetter(char letter, DiskInfo* disk, int* index) {
  IDeviceManager* manager = __GetDeviceManager();
  if (manager == nullptr || letter == 0) return false;
  manager->Refresh();
  const int count = manager->GetDiskCount();
  for (int at = 0; at < count; ++at) {
    if (!Query(manager, manager->GetDiskNumberAt(at), disk)) continue;
    const int listed = disk->nPartitionCount;  // by value: the record is packed
    const int partitions = listed < kMaxPartitions ? listed : kMaxPartitions;
    for (int entry = 0; entry < partitions; ++entry) {
      if (Upper(disk->partitions[entry].cDriveLetter) == Upper(letter)) {
        *index = entry;
        return true;
      }
    }
  }
  return false;
}
