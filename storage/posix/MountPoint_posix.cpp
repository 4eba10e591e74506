#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "common/Log.h"
#include "storage/MountPoint.h"

namespace {

// The mount table writes space, tab, newline and backslash as \ooo.
std::string Unescape(const std::string& field) {
  std::string text;
  for (std::size_t at = 0; at < field.size(); ++at) {
    if (field[at] == '\\' && at + 3 < field.size() &&
        std::isdigit(static_cast<unsigned char>(field[at + 1]))) {
      text.push_back(static_cast<char>(std::strtol(field.substr(at + 1, 3).c_str(), nullptr, 8)));
      at += 3;
    } else {
      text.push_back(field[at]);
    }
  }
  return text;
}

// Whether the file system seen at `folder` (the last mount on it) is a mount,
// from its root, of block device `device` (by the mount's device numbers, or
// by its source for file systems with numbers of their own, such as btrfs).
bool IsMountRootOf(const std::string& folder, dev_t device) {
  std::ifstream mountinfo("/proc/self/mountinfo");
  bool found = false;
  for (std::string line; std::getline(mountinfo, line);) {
    std::istringstream fields(line);
    std::string id, parent, numbers, root, point;
    fields >> id >> parent >> numbers >> root >> point;
    if (Unescape(point) != folder) continue;
    unsigned int major = 0;
    unsigned int minor = 0;
    std::sscanf(numbers.c_str(), "%u:%u", &major, &minor);
    std::string type, source;
    const std::size_t separator = line.find(" - ");
    if (separator != std::string::npos) {
      std::istringstream(line.substr(separator + 3)) >> type >> source;
    }
    struct stat status;
    const bool sourceIs = stat(Unescape(source).c_str(), &status) == 0 && S_ISBLK(status.st_mode) &&
                          status.st_rdev == device;
    found = root == "/" && (makedev(major, minor) == device || sourceIs);
  }
  return found;
}

}  // namespace

std::string MountPointOf(const PartitionInfo& partition) {
  const std::string mount = RecordText(partition.szMountPath);
  const std::string node = RecordText(partition.szDevicePath);
  struct stat status;
  char* real = mount.empty() ? nullptr : realpath(mount.c_str(), nullptr);
  const std::string folder = real != nullptr ? real : "";
  std::free(real);
  if (folder.empty() || stat(node.c_str(), &status) != 0 || !S_ISBLK(status.st_mode) ||
      !IsMountRootOf(folder, status.st_rdev)) {
    if (!mount.empty()) {
      VTX_LOG("MountPointOf", "%s is not where %s is mounted", mount.c_str(), node.c_str());
    }
    return std::string();
  }
  return mount;
}
