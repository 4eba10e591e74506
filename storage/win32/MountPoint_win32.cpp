#include "storage/MountPoint.h"

std::string MountPointOf(const PartitionInfo& partition) {
  if (partition.cDriveLetter == 0) return std::string();
  return std::string(1, partition.cDriveLetter) + ":\\";
}
