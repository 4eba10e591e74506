#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "host/devicemanager/DiskNumbering.h"
#include "host/devicemanager/SystemDisks.h"

const bool kRecordsCarryPaths = true;

namespace {

const char kSysBlock[] = "/sys/block/";
const char* const kSystemMounts[] = {"/", "/boot", "/boot/efi", "/usr", "/var"};
// Folders whose file system the machine boots from, mounted or not (an
// automounted EFI system partition shows as autofs until first used).
const char* const kBootFolders[] = {"/boot", "/boot/efi", "/efi"};
// The GPT type of an EFI system partition, as udev records it.
const char kEfiSystemPartitionType[] = "c12a7328-f81f-11d2-ba4b-00a0c93ec93b";

// What the mount and swap tables say of the block devices, by device number.
struct DeviceUse {
  std::multimap<dev_t, std::string> mounts;  // every mount point of a device
  std::set<dev_t> system;                    // holds a system folder, or active swap
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

std::uint64_t ReadNumber(const std::string& path) {
  return std::strtoull(ReadText(path).c_str(), nullptr, 10);
}

bool Exists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

// "major:minor" as a device number.
dev_t DeviceNumber(const std::string& text) {
  unsigned int major = 0;
  unsigned int minor = 0;
  if (std::sscanf(text.c_str(), "%u:%u", &major, &minor) != 2) return 0;
  return makedev(major, minor);
}

// The mount tables write space, tab, newline and backslash as \ooo.
std::string Unescape(const std::string& field) {
  std::string text;
  for (std::size_t at = 0; at < field.size(); ++at) {
    if (field[at] == '\\' && at + 3 < field.size() && std::isdigit(field[at + 1])) {
      text.push_back(static_cast<char>(std::strtol(field.substr(at + 1, 3).c_str(), nullptr, 8)));
      at += 3;
    } else {
      text.push_back(field[at]);
    }
  }
  return text;
}

// The block device a mount source or swap path names, or 0.
dev_t BlockDeviceAt(const std::string& path) {
  struct stat status;
  if (path.empty() || path[0] != '/' || stat(path.c_str(), &status) != 0) return 0;
  return S_ISBLK(status.st_mode) ? status.st_rdev : 0;
}

DeviceUse ReadDeviceUse() {
  DeviceUse use;
  std::ifstream mountinfo("/proc/self/mountinfo");
  for (std::string line; std::getline(mountinfo, line);) {
    std::istringstream fields(line);
    std::string id, parent, numbers, root, point;
    fields >> id >> parent >> numbers >> root >> point;
    const std::size_t separator = line.find(" - ");
    std::string type, source;
    if (separator != std::string::npos)
      std::istringstream(line.substr(separator + 3)) >> type >> source;
    const std::string folder = Unescape(point);
    const bool system = std::find(std::begin(kSystemMounts), std::end(kSystemMounts), folder) !=
                        std::end(kSystemMounts);
    for (dev_t device : {DeviceNumber(numbers), BlockDeviceAt(Unescape(source))}) {
      if (device == 0) continue;
      use.mounts.emplace(device, folder);
      if (system) use.system.insert(device);
    }
  }
  for (const char* folder : kBootFolders) {
    struct stat status;
    if (stat(folder, &status) == 0 && major(status.st_dev) != 0) use.system.insert(status.st_dev);
  }
  std::ifstream swaps("/proc/swaps");
  std::string line;
  std::getline(swaps, line);  // the heading
  while (std::getline(swaps, line)) {
    std::string name;
    std::istringstream(line) >> name;
    struct stat status;
    const std::string path = Unescape(name);
    if (stat(path.c_str(), &status) != 0) continue;
    // A swap partition, or the partition holding a swap file.
    use.system.insert(S_ISBLK(status.st_mode) ? status.st_rdev : status.st_dev);
  }
  return use;
}

// Entries of a folder, "." and ".." left out.
std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      names.emplace_back(entry->d_name);
    }
  }
  closedir(dir);
  return names;
}

// Kernel names in natural order: "loop2" before "loop10", "sda" before "sdb".
bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) &&
        std::isdigit(static_cast<unsigned char>(b[j]))) {
      char* endA = nullptr;
      char* endB = nullptr;
      const unsigned long long x = std::strtoull(a.c_str() + i, &endA, 10);
      const unsigned long long y = std::strtoull(b.c_str() + j, &endB, 10);
      if (x != y) return x < y;
      i = static_cast<std::size_t>(endA - a.c_str());
      j = static_cast<std::size_t>(endB - b.c_str());
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

// The /dev path of a kernel block device (its uevent's DEVNAME).
std::string DevicePath(const std::string& sysFolder, const std::string& name) {
  std::ifstream uevent(sysFolder + "/uevent");
  for (std::string line; std::getline(uevent, line);) {
    if (line.rfind("DEVNAME=", 0) == 0) return "/dev/" + line.substr(8);
  }
  return "/dev/" + name;
}

template <std::size_t N>
void CopyText(const std::string& text, char (&field)[N]) {
  if (text.size() < N) std::memcpy(field, text.c_str(), text.size() + 1);
}

// Whole disks: devices with hardware behind them, and attached loop devices.
bool IsDisk(const std::string& name) {
  const std::string folder = kSysBlock + name;
  if (ReadNumber(folder + "/size") == 0) return false;
  return Exists(folder + "/device") || name.rfind("loop", 0) == 0;
}

// Whether udev knows the partition `device` as an EFI system partition.
bool IsEfiSystemPartition(dev_t device) {
  std::ifstream data("/run/udev/data/b" + std::to_string(major(device)) + ":" +
                     std::to_string(minor(device)));
  for (std::string line; std::getline(data, line);) {
    if (line.rfind("E:ID_PART_ENTRY_TYPE=", 0) != 0) continue;
    std::string type = line.substr(21);
    for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return type == kEfiSystemPartitionType;
  }
  return false;
}

// Whether something holds the device (device-mapper, RAID).
bool IsHeld(const std::string& sysFolder) { return !ListFolder(sysFolder + "/holders").empty(); }

void ReadPartitions(const std::string& diskName, const DeviceUse& use, DiskInfo* disk) {
  const std::string folder = kSysBlock + diskName;
  std::vector<std::pair<std::uint64_t, std::string>> found;
  for (const std::string& name : ListFolder(folder)) {
    const std::string partitionFile = folder + "/" + name + "/partition";
    if (Exists(partitionFile)) found.emplace_back(ReadNumber(partitionFile), name);
  }
  std::sort(found.begin(), found.end());
  const auto sectorSize = static_cast<std::uint64_t>(disk->nBytesPerSector);
  for (const auto& [number, name] : found) {
    if (number >= kMaxPartitions || disk->nPartitionCount >= kMaxPartitions) continue;
    const std::string sys = folder + "/" + name;
    PartitionInfo& partition = disk->partitions[disk->nPartitionCount++];
    const dev_t device = DeviceNumber(ReadText(sys + "/dev"));
    partition.nPartitionNumber = static_cast<std::uint32_t>(number);
    partition.nStartSector = ReadNumber(sys + "/start") * 512 / sectorSize;
    partition.nSizeInBytes = ReadNumber(sys + "/size") * 512;
    CopyText(DevicePath(sys, name), partition.szDevicePath);
    const auto mount = use.mounts.find(device);
    if (mount != use.mounts.end()) CopyText(mount->second, partition.szMountPath);
    partition.bSystemPartition =
        use.system.count(device) != 0 || IsHeld(sys) || IsEfiSystemPartition(device) ? 1 : 0;
    // A letter is only shown to people; it marks every mounted partition.
    partition.cDriveLetter = mount != use.mounts.end() ? '?' : 0;
    if (partition.bSystemPartition != 0 || mount != use.mounts.end()) disk->bSystemDisk = 1;
  }
}

// Mounted partitions get letters from C, in table order.
void AssignLetters(std::vector<DiskInfo>* disks) {
  char next = 'C';
  for (DiskInfo& disk : *disks) {
    for (int at = 0; at < disk.nPartitionCount; ++at) {
      char& letter = disk.partitions[at].cDriveLetter;
      if (letter == 0) continue;
      letter = next <= 'Z' ? next++ : 0;
    }
  }
}

}  // namespace

bool ReadSystemDisks(std::vector<DiskInfo>* disks, std::string* why) {
  std::vector<std::string> names = ListFolder(kSysBlock);
  if (names.empty()) {
    *why = "/sys/block lists no block device";
    return false;
  }
  names.erase(std::remove_if(names.begin(), names.end(),
                             [](const std::string& name) { return !IsDisk(name); }),
              names.end());
  std::sort(names.begin(), names.end(), NaturalLess);
  const DeviceUse use = ReadDeviceUse();
  disks->assign(names.size(), DiskInfo());
  for (std::size_t at = 0; at < names.size(); ++at) {
    DiskInfo& disk = (*disks)[at];
    const std::string folder = kSysBlock + names[at];
    const std::uint64_t sectorSize = ReadNumber(folder + "/queue/logical_block_size");
    disk.nBytesPerSector = static_cast<std::int32_t>(sectorSize != 0 ? sectorSize : 512);
    disk.nTotalSectors = static_cast<std::int64_t>(
        ReadNumber(folder + "/size") * 512 / static_cast<std::uint64_t>(disk.nBytesPerSector));
    CopyText(DevicePath(folder, names[at]), disk.szDevicePath);
    const dev_t device = DeviceNumber(ReadText(folder + "/dev"));
    disk.nDiskNumber = StableDiskNumber(major(device), minor(device), at);
    // A file system or swap straight on the disk, or a holder of the disk.
    if (use.mounts.count(device) != 0 || use.system.count(device) != 0 || IsHeld(folder)) {
      disk.bSystemDisk = 1;
    }
    ReadPartitions(names[at], use, &disk);
  }
  std::sort(disks->begin(), disks->end(),
            [](const DiskInfo& a, const DiskInfo& b) { return a.nDiskNumber < b.nDiskNumber; });
  AssignLetters(disks);
  return true;
}
