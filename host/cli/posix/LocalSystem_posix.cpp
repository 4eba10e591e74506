#include "host/cli/LocalSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/DiskInfo.h"
#include "support/posix/UniqueDescriptor.h"

namespace local_system {
namespace {

// Calls `visit` for every name below `folder` (links not followed, folders
// before what they hold); false when a folder or a name could not be read.
using Visit = std::function<void(const std::string& path, const struct stat& status)>;

bool WalkTree(const std::string& folder, const Visit& visit) {
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return false;
  bool complete = true;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    struct stat status;
    if (lstat(path.c_str(), &status) != 0) {
      complete = false;
      continue;
    }
    visit(path, status);
    if (S_ISDIR(status.st_mode)) complete = WalkTree(path, visit) && complete;
  }
  closedir(listing);
  return complete;
}

bool AddTree(const std::string& folder, std::uint64_t* total) {
  return WalkTree(folder, [total](const std::string&, const struct stat& status) {
    if (S_ISREG(status.st_mode)) *total += static_cast<std::uint64_t>(status.st_size);
  });
}

// File systems that write changed data to new places, by statfs type.
struct WritesElsewhere {
  unsigned long type;
  const char* name;
};
constexpr WritesElsewhere kWritesElsewhere[] = {{0x9123683EUL, "btrfs"},
                                                {0x2FC12FC1UL, "zfs"},
                                                {0xF2F52010UL, "f2fs"},
                                                {0x3434UL, "nilfs2"},
                                                {0xCA451A4EUL, "bcachefs"}};

// Whether an extent of the regular file at `path` is shared with another
// file or a snapshot.
bool HasSharedExtent(const std::string& path) {
  const UniqueDescriptor file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file.IsOpen()) return false;
  constexpr unsigned kExtents = 64;
  std::vector<unsigned char> buffer(sizeof(fiemap) + kExtents * sizeof(fiemap_extent));
  auto* map = reinterpret_cast<fiemap*>(buffer.data());
  bool shared = false;
  for (std::uint64_t start = 0; !shared;) {
    std::fill(buffer.begin(), buffer.end(), 0);
    map->fm_start = start;
    map->fm_length = FIEMAP_MAX_OFFSET - start;
    map->fm_extent_count = kExtents;
    if (ioctl(file.get(), FS_IOC_FIEMAP, map) != 0 || map->fm_mapped_extents == 0) break;
    const fiemap_extent& last = map->fm_extents[map->fm_mapped_extents - 1];
    for (unsigned at = 0; at < map->fm_mapped_extents; ++at) {
      shared = shared || (map->fm_extents[at].fe_flags & FIEMAP_EXTENT_SHARED) != 0;
    }
    if ((last.fe_flags & FIEMAP_EXTENT_LAST) != 0) break;
    start = last.fe_logical + last.fe_length;
  }
  return shared;
}

}  // namespace

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof(name) - 1) != 0) return "";
  return name;
}

Size FileSize(const std::string& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return {};
  return {true, static_cast<std::uint64_t>(status.st_size)};
}

Size TreeSize(const std::string& folder) {
  std::uint64_t total = 0;
  if (!AddTree(folder, &total)) return {};
  return {true, total};
}

Size FreeBytes(const std::string& mountPath) {
  struct statvfs volume;
  if (statvfs(mountPath.c_str(), &volume) != 0) return {};
  return {true, static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize};
}

std::string FreeSpaceKeptBack(const std::string& mountPath) {
  constexpr unsigned long kExt4Magic = 0xEF53;
  struct statfs volume;
  struct stat status;
  if (statfs(mountPath.c_str(), &volume) != 0 ||
      static_cast<unsigned long>(volume.f_type) != kExt4Magic ||
      stat(mountPath.c_str(), &status) != 0) {
    return "";
  }
  // The kernel's name of the device (loop0p2, nvme0n1p3, dm-1) names the
  // file system's folder in sysfs.
  char link[PATH_MAX] = {};
  const std::string node = "/sys/dev/block/" + std::to_string(major(status.st_dev)) + ":" +
                           std::to_string(minor(status.st_dev));
  const ssize_t length = readlink(node.c_str(), link, sizeof(link) - 1);
  if (length <= 0) return "";
  const std::string device = std::strrchr(link, '/') ? std::strrchr(link, '/') + 1 : link;
  const UniqueDescriptor file(open(("/sys/fs/ext4/" + device + "/reserved_clusters").c_str(),
                                   O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!file.IsOpen()) return "";
  char text[32] = {};
  const ssize_t got = ::read(file.get(), text, sizeof(text) - 1);
  const unsigned long long clusters = got > 0 ? std::strtoull(text, nullptr, 10) : 0;
  if (clusters == 0) return "";
  return "ext4 keeps " + std::to_string(clusters * static_cast<std::uint64_t>(volume.f_bsize)) +
         " bytes of its free space for its own metadata (reserved_clusters of " + device +
         "), where no file can be written";
}

std::uint64_t NamesLeft(const std::string& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0) return errno == ENOENT ? 0 : 1;
  std::uint64_t names = 1;
  if (S_ISDIR(status.st_mode)) {
    WalkTree(path, [&names](const std::string&, const struct stat&) { ++names; });
  }
  return names;
}

std::string CopyOnWriteRisk(const std::string& path) {
  struct statfs volume;
  if (statfs(path.c_str(), &volume) == 0) {
    for (const WritesElsewhere& system : kWritesElsewhere) {
      if (static_cast<unsigned long>(volume.f_type) == system.type) {
        return std::string("it lies on ") + system.name +
               ", which writes changed data to new places";
      }
    }
  }
  struct stat status;
  if (lstat(path.c_str(), &status) != 0) return "";
  std::string shared;
  const auto check = [&shared](const std::string& file, const struct stat& fileStatus) {
    if (shared.empty() && S_ISREG(fileStatus.st_mode) && HasSharedExtent(file)) shared = file;
  };
  check(path, status);
  if (S_ISDIR(status.st_mode)) WalkTree(path, check);
  if (shared.empty()) return "";
  return shared + " shares its extents with another file or a snapshot";
}

std::string VolumeRoot(const PartitionInfo& partition) { return RecordText(partition.szMountPath); }

std::string DiskDevice(const DiskInfo& disk) { return RecordText(disk.szDevicePath); }

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char* folder = getcwd(nullptr, 0);
  if (folder == nullptr) return path;
  const std::string absolute = std::string(folder) + "/" + path;
  free(folder);
  return absolute;
}

}  // namespace local_system
