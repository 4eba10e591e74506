#include "host/cli/LocalSystem.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/DiskInfo.h"

namespace local_system {
namespace {

bool AddTree(const std::string& folder, std::uint64_t* total) {
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
    } else if (S_ISDIR(status.st_mode)) {
      complete = AddTree(path, total) && complete;
    } else if (S_ISREG(status.st_mode)) {
      *total += static_cast<std::uint64_t>(status.st_size);
    }
  }
  closedir(listing);
  return complete;
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
