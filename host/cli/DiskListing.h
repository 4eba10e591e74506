#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/DiskInfo.h"

// How disks and partitions are shown to a person (the `disks` listing and the
// question before a destructive wipe) and listed as JSON (`disks --json`).

// "disk 1 (/dev/loop7): 64.00 MiB, 512-byte sectors, 2 partition(s), SYSTEM"
std::string DescribeDisk(const DiskInfo& disk);
// "partition 1: 24.00 MiB from sector 2048, E:, mounted at /mnt/e, SYSTEM"
std::string DescribePartition(const PartitionInfo& partition);
// One JSON array of the disks with their partitions.
std::string DisksAsJson(const std::vector<std::unique_ptr<DiskInfo>>& disks);

// The partitions of `disk` that its table holds. (The count is read by
// value: it sits unaligned in the packed record.)
inline int PartitionCount(const DiskInfo& disk) {
  const std::int32_t count = disk.nPartitionCount;
  return count < 0 ? 0 : count > kMaxPartitions ? kMaxPartitions : count;
}
