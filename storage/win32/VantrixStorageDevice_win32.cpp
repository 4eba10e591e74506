#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winioctl.h>

#include <cstdio>
#include <string>

#include "common/Log.h"
#include "storage/VantrixStorageDevice.h"
#include "support/TextHelpers.h"

static_assert(sizeof(DISK_GEOMETRY_EX) == 40, "the volume geometry query's record");
static_assert(sizeof(PARTITION_INFORMATION_EX) == 144, "the volume partition query's record");
static_assert(sizeof(DISK_GEOMETRY) == 24, "the disk geometry query's record");
static_assert(sizeof(GET_LENGTH_INFORMATION) == 8, "the disk length query's record");

namespace {

constexpr char kOpenVolume[] = "VantrixStorageDevice::OpenVolume";

HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }
std::intptr_t AsValue(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

// One control call with no input into `output`, zeroed first.
template <class Record>
bool Query(HANDLE device, DWORD code, Record* output) {
  *output = Record();
  DWORD returned = 0;
  return DeviceIoControl(device, code, /*lpInBuffer=*/nullptr, 0, output, sizeof(Record), &returned,
                         /*lpOverlapped=*/nullptr) != FALSE;
}

}  // namespace

int VantrixStorageDevice::OpenVolume(char letter) {
  char path[32] = {};
  std::snprintf(path, sizeof(path), "\\\\.\\%c:", letter);
  return OpenVolume(AnsiToWide(path).c_str());
}

int VantrixStorageDevice::OpenVolume(const wchar_t* path) {
  HANDLE device = CreateFileW(path, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, /*lpSecurityAttributes=*/nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr);
  const DWORD openError = GetLastError();
  m_hDevice = AsValue(device);
  VTX_LOG(kOpenVolume, "open volume: %S\n", path);
  if (device == INVALID_HANDLE_VALUE) return int(openError);

  DISK_GEOMETRY_EX geometry;
  if (!Query(device, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, &geometry)) {
    const DWORD error = GetLastError();
    CloseHandle(device);
    m_hDevice = 0;
    return int(error);
  }
  m_nSectorSize = geometry.Geometry.BytesPerSector != 0 ? geometry.Geometry.BytesPerSector : 512;

  PARTITION_INFORMATION_EX partition;
  if (!Query(device, IOCTL_DISK_GET_PARTITION_INFO_EX, &partition)) return int(GetLastError());
  m_iTotalSectors = static_cast<std::uint64_t>(partition.PartitionLength.QuadPart) / m_nSectorSize;
  VTX_LOG(kOpenVolume, "open volume: total: %lld, sector: %d\n",
          static_cast<long long>(m_iTotalSectors), int(m_nSectorSize));
  return 0;
}

int VantrixStorageDevice::OpenDisk(int disk) {
  char path[32] = {};
  std::snprintf(path, sizeof(path), "\\\\.\\PHYSICALDRIVE%d", disk);
  HANDLE device = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, /*lpSecurityAttributes=*/nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr);
  if (device == INVALID_HANDLE_VALUE) return int(GetLastError());
  m_hDevice = AsValue(device);

  DISK_GEOMETRY geometry;
  if (Query(device, IOCTL_DISK_GET_DRIVE_GEOMETRY, &geometry)) {
    m_nSectorSize = geometry.BytesPerSector != 0 ? geometry.BytesPerSector : 512;
  }
  GET_LENGTH_INFORMATION length;
  if (Query(device, IOCTL_DISK_GET_LENGTH_INFO, &length)) {
    m_iTotalSectors = static_cast<std::uint64_t>(length.Length.QuadPart) / m_nSectorSize;
  }
  return 0;
}

int VantrixStorageDevice::OpenDiskOf(const DiskInfo& disk) {
  return OpenDisk(static_cast<int>(disk.nDiskNumber));
}

int VantrixStorageDevice::OpenPartitionOf(const PartitionInfo& partition) {
  return OpenVolume(partition.cDriveLetter);
}

int VantrixStorageDevice::DismountVolume() {
  if (!IsOpen()) return FALSE;
  DWORD returned = 0;
  return DeviceIoControl(AsHandle(m_hDevice), FSCTL_DISMOUNT_VOLUME, /*lpInBuffer=*/nullptr, 0,
                         /*lpOutBuffer=*/nullptr, 0, &returned, /*lpOverlapped=*/nullptr);
}

void VantrixStorageDevice::Close() {
  if (!IsOpen()) return;
  CloseHandle(AsHandle(m_hDevice));
  m_hDevice = kClosed;
}
