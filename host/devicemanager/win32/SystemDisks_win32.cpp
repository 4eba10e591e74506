#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winioctl.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <vector>

#include "host/devicemanager/SystemDisks.h"
#include "host/devicemanager/win32/DriveLayout.h"
#include "support/win32/StorageProperty.h"

const bool kRecordsCarryPaths = false;

namespace {

constexpr int kMostDisks = 64;

// A device opened for queries only (no access), closed with its owner.
class DeviceHandle {
 public:
  explicit DeviceHandle(const wchar_t* path) : m_handle(OpenDeviceForQueries(path)) {}
  bool IsOpen() const { return m_handle.IsOpen(); }

  // The output of control code `code`, the buffer grown until it fits.
  bool Control(DWORD code, std::vector<unsigned char>* output) const {
    output->assign(4096, 0);
    for (int attempt = 0; attempt < 8; ++attempt) {
      DWORD returned = 0;
      if (DeviceIoControl(m_handle.get(), code, /*lpInBuffer=*/nullptr, 0, output->data(),
                          static_cast<DWORD>(output->size()), &returned,
                          /*lpOverlapped=*/nullptr)) {
        output->resize(returned);
        return true;
      }
      const DWORD error = GetLastError();
      if (error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_MORE_DATA) return false;
      output->assign(output->size() * 2, 0);
    }
    return false;
  }

 private:
  UniqueHandle m_handle;
};

// The disk and partition numbers behind drive letter `letter`.
bool VolumeNumber(wchar_t letter, STORAGE_DEVICE_NUMBER* number) {
  wchar_t path[8];
  std::swprintf(path, 8, L"\\\\.\\%lc:", letter);
  DeviceHandle volume(path);
  std::vector<unsigned char> output;
  if (!volume.IsOpen() || !volume.Control(IOCTL_STORAGE_GET_DEVICE_NUMBER, &output) ||
      output.size() < sizeof(*number)) {
    return false;
  }
  std::memcpy(number, output.data(), sizeof(*number));
  return number->DeviceType == FILE_DEVICE_DISK;
}

PartitionInfo* PartitionAt(std::vector<DiskInfo>* disks, const STORAGE_DEVICE_NUMBER& number) {
  for (DiskInfo& disk : *disks) {
    if (disk.nDiskNumber != number.DeviceNumber) continue;
    for (int at = 0; at < disk.nPartitionCount; ++at) {
      if (disk.partitions[at].nPartitionNumber == number.PartitionNumber)
        return &disk.partitions[at];
    }
  }
  return nullptr;
}

void MarkSystem(std::vector<DiskInfo>* disks, const STORAGE_DEVICE_NUMBER& number) {
  for (DiskInfo& disk : *disks) {
    if (disk.nDiskNumber == number.DeviceNumber) disk.bSystemDisk = 1;
  }
  if (PartitionInfo* partition = PartitionAt(disks, number)) partition->bSystemPartition = 1;
}

// Whether the volume of `letter` holds what the running system needs: its
// Windows folder is checked by the caller; here the page, swap and
// hibernation files at the volume's root.
bool HoldsSystemFiles(wchar_t letter) {
  for (const wchar_t* name : {L"pagefile.sys", L"swapfile.sys", L"hiberfil.sys"}) {
    wchar_t path[32];
    std::swprintf(path, 32, L"%lc:\\%ls", letter, name);
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return true;
  }
  return false;
}

}  // namespace

bool ReadSystemDisks(std::vector<DiskInfo>* disks, std::string*) {
  disks->clear();
  std::vector<unsigned char> output;
  for (int number = 0; number < kMostDisks; ++number) {
    wchar_t path[32];
    std::swprintf(path, 32, L"\\\\.\\PhysicalDrive%d", number);
    DeviceHandle drive(path);
    if (!drive.IsOpen()) continue;
    DiskInfo disk = {};
    disk.nDiskNumber = static_cast<std::uint32_t>(number);
    if (!drive.Control(IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, &output) ||
        !ReadDriveGeometry(output.data(), output.size(), &disk)) {
      continue;  // a disk that cannot be measured cannot be wiped either
    }
    if (drive.Control(IOCTL_DISK_GET_DRIVE_LAYOUT_EX, &output)) {
      ReadDriveLayout(output.data(), output.size(), &disk);
    }
    disks->push_back(disk);
  }
  const DWORD letters = GetLogicalDrives();
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
    STORAGE_DEVICE_NUMBER volume;
    if ((letters & (1u << (letter - L'A'))) == 0 || !VolumeNumber(letter, &volume)) continue;
    if (PartitionInfo* partition = PartitionAt(disks, volume)) {
      partition->cDriveLetter = static_cast<char>(letter);
    }
    if (HoldsSystemFiles(letter)) MarkSystem(disks, volume);
  }
  wchar_t windows[MAX_PATH];
  STORAGE_DEVICE_NUMBER system;
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  if (length > 0 && length < MAX_PATH && VolumeNumber(windows[0], &system))
    MarkSystem(disks, system);
  return true;
}
