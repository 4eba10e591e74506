#include "storage/MountPoint.h"

std::string MountPointOf(const PartitionInfo& partition) {
  return RecordText(partition.szMountPath);
}
