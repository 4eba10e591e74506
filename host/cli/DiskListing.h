#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/cli/DriveIdentity.h"
#include "platform/DiskInfo.h"

// How disks and partitions are shown to a person (the `disks` listing and the
// question before a destructive wipe) and listed as JSON (`disks --json`).

// A disk as the device manager tells it: its record and what the drive is.
struct ListedDisk {
  std::unique_ptr<DiskInfo> record;
  DiskIdentity identity;
  // What the drive can do to purge itself: the capabilities' JSON object, or
  // {"error":...} where the drive could not be asked; its one-line summary.
  std::string purgeJson;
  std::string purgeSummary;
};

// "disk 1 (/dev/loop7): 64.00 MiB, 512-byte sectors, 2 partition(s), SYSTEM"
// and, on a second line, what the drive is (DescribeDrive); a number that is
// only a position is marked with "*".
std::string DescribeDisk(const DiskInfo& disk, const DiskIdentity& identity);
// "partition 1: 24.00 MiB from sector 2048, E:, mounted at /mnt/e, SYSTEM"
std::string DescribePartition(const PartitionInfo& partition);
// {"disks":[...]}: each disk's number, device, sizes, system mark, identity
// members (WriteIdentityMembers), "stableNumber", partitions and "purge".
std::string DisksAsJson(const std::vector<ListedDisk>& disks);

// The partitions of `disk` that its table holds. (The count is read by
// value: it sits unaligned in the packed record.)
inline int PartitionCount(const DiskInfo& disk) {
  const std::int32_t count = disk.nPartitionCount;
  return count < 0 ? 0 : count > kMaxPartitions ? kMaxPartitions : count;
}
