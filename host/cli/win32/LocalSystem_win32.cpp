#include "host/cli/LocalSystem.h"

#include <windows.h>

#include <string>

#include "platform/DiskInfo.h"

namespace local_system {
namespace {

std::uint64_t Join(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// Adds the sizes of the files below `folder` to `total` and counts every
// name below it in `names`, links not followed.
bool AddTree(const std::string& folder, std::uint64_t* total, std::uint64_t* names) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool complete = true;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    ++*names;
    if (IsLink(entry.dwFileAttributes)) continue;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      complete = AddTree(folder + "\\" + name, total, names) && complete;
    } else {
      *total += Join(entry.nFileSizeHigh, entry.nFileSizeLow);
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return complete;
}

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

}  // namespace

std::string HostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof(name);
  if (!GetComputerNameA(name, &size)) return "";
  return std::string(name, size);
}

Size FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || IsLink(data.dwFileAttributes)) {
    return {};
  }
  return {true, Join(data.nFileSizeHigh, data.nFileSizeLow)};
}

Size TreeSize(const std::string& folder) {
  std::uint64_t total = 0;
  std::uint64_t names = 0;
  if (!AddTree(WithoutTrailingSeparators(folder), &total, &names)) return {};
  return {true, total};
}

Size FreeBytes(const std::string& mountPath) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(mountPath.c_str(), &available, /*lpTotalNumberOfBytes=*/nullptr,
                           /*lpTotalNumberOfFreeBytes=*/nullptr)) {
    return {};
  }
  return {true, available.QuadPart};
}

std::string FreeSpaceKeptBack(const std::string&) { return ""; }

std::uint64_t NamesLeft(const std::string& path) {
  const std::string root = WithoutTrailingSeparators(path);
  const DWORD attributes = GetFileAttributesA(root.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : 1;
  }
  std::uint64_t total = 0;
  std::uint64_t names = 1;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsLink(attributes))
    AddTree(root, &total, &names);
  return names;
}

std::string CopyOnWriteRisk(const std::string& path) {
  char volume[MAX_PATH + 1] = {};
  char system[MAX_PATH + 1] = {};
  if (!GetVolumePathNameA(path.c_str(), volume, sizeof(volume)) ||
      !GetVolumeInformationA(volume, /*lpVolumeNameBuffer=*/nullptr, /*nVolumeNameSize=*/0,
                             /*lpVolumeSerialNumber=*/nullptr,
                             /*lpMaximumComponentLength=*/nullptr,
                             /*lpFileSystemFlags=*/nullptr, system, sizeof(system))) {
    return "";
  }
  if (std::string(system) != "ReFS") return "";
  return "it lies on ReFS, which writes changed data to new places";
}

std::string VolumeRoot(const PartitionInfo& partition) {
  if (partition.cDriveLetter == 0) return "";
  return std::string(1, partition.cDriveLetter) + ":\\";
}

std::string DiskDevice(const DiskInfo& disk) {
  return "\\\\.\\PhysicalDrive" + std::to_string(disk.nDiskNumber);
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  const DWORD size = GetFullPathNameA(path.c_str(), /*nBufferLength=*/0, /*lpBuffer=*/nullptr,
                                      /*lpFilePart=*/nullptr);
  if (size == 0) return path;
  std::string absolute(size, '\0');
  const DWORD length =
      GetFullPathNameA(path.c_str(), size, absolute.data(), /*lpFilePart=*/nullptr);
  if (length == 0 || length >= size) return path;
  absolute.resize(length);
  return absolute;
}

}  // namespace local_system
