#pragma once

#include <string>

#include "platform/DiskInfo.h"

// Where the file system of `partition` is mounted, as the free-space wiper
// takes its root; "" when it is not mounted. Windows: "%c:\" from the drive
// letter ("" for letter 0). POSIX: the partition's szMountPath, only when the
// file system seen there is a mount, from its root, of the partition's block
// device (the mount table's device numbers or source); "" otherwise.
std::string MountPointOf(const PartitionInfo& partition);
