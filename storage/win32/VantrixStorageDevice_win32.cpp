#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winioctl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/Log.h"
#include "storage/VantrixStorageDevice.h"
#include "support/TextHelpers.h"

static_assert(sizeof(DISK_GEOMETRY_EX) == 40, "the volume geometry query's record");
static_assert(sizeof(PARTITION_INFORMATION_EX) == 144, "the volume partition query's record");
static_assert(sizeof(DISK_GEOMETRY) == 24, "the disk geometry query's record");
static_assert(sizeof(GET_LENGTH_INFORMATION) == 8, "the disk length query's record");
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == 12, "the device number query's record");

namespace {

constexpr char kOpenVolume[] = "VantrixStorageDevice::OpenVolume";
constexpr char kCheckRecord[] = "VantrixStorageDevice::CheckRecord";

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

// Whether volume `volume` has an extent on disk number `disk`.
bool VolumeIsOnDisk(HANDLE volume, std::uint32_t disk) {
  std::vector<unsigned char> buffer(sizeof(VOLUME_DISK_EXTENTS) + 31 * sizeof(DISK_EXTENT));
  DWORD returned = 0;
  if (!DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, /*lpInBuffer=*/nullptr, 0,
                       buffer.data(), DWORD(buffer.size()), &returned,
                       /*lpOverlapped=*/nullptr)) {
    return false;
  }
  const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer.data());
  for (DWORD at = 0; at < extents->NumberOfDiskExtents && at < 32; ++at) {
    if (extents->Extents[at].DiskNumber == disk) return true;
  }
  return false;
}

// Locks and dismounts every volume of disk number `disk`, keeping the locked
// handles in `locked`; 0, or the error of the volume that cannot be locked
// (in use).
int LockVolumesOf(std::uint32_t disk, std::vector<std::intptr_t>* locked) {
  wchar_t name[MAX_PATH];
  HANDLE search = FindFirstVolumeW(name, MAX_PATH);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int error = 0;
  do {
    std::wstring path(name);
    if (!path.empty() && path.back() == L'\\') path.pop_back();  // the volume, not its root
    HANDLE volume =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                    /*dwFlagsAndAttributes=*/0, /*hTemplateFile=*/nullptr);
    if (volume == INVALID_HANDLE_VALUE) continue;
    DWORD returned = 0;
    if (!VolumeIsOnDisk(volume, disk)) {
      CloseHandle(volume);
    } else if (!DeviceIoControl(volume, FSCTL_LOCK_VOLUME, /*lpInBuffer=*/nullptr, 0,
                                /*lpOutBuffer=*/nullptr, 0, &returned, /*lpOverlapped=*/nullptr) ||
               !DeviceIoControl(volume, FSCTL_DISMOUNT_VOLUME, /*lpInBuffer=*/nullptr, 0,
                                /*lpOutBuffer=*/nullptr, 0, &returned,
                                /*lpOverlapped=*/nullptr)) {
      error = int(GetLastError());
      CloseHandle(volume);
    } else {
      locked->push_back(AsValue(volume));
    }
  } while (error == 0 && FindNextVolumeW(search, name, MAX_PATH));
  FindVolumeClose(search);
  return error;
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

// Where the system answers a query, its answer must be what the record says;
// where it cannot answer (ERROR_NOT_SUPPORTED, ERROR_INVALID_FUNCTION), the
// record is the device manager's word and stands.
int VantrixStorageDevice::OpenDiskOf(const DiskInfo& disk) {
  std::uint64_t first = 0;
  std::uint64_t bytes = 0;
  if (!RecordAddsUp(disk, nullptr, &first, &bytes)) return kRecordMismatch;
  const int error = OpenDisk(static_cast<int>(disk.nDiskNumber));
  if (error != 0 || !IsOpen()) return error;
  m_firstSector = 0;
  HANDLE device = AsHandle(m_hDevice);
  DISK_GEOMETRY geometry;
  GET_LENGTH_INFORMATION length;
  const bool sectorSizeDiffers = Query(device, IOCTL_DISK_GET_DRIVE_GEOMETRY, &geometry) &&
                                 geometry.BytesPerSector != DWORD(disk.nBytesPerSector);
  const bool lengthDiffers = Query(device, IOCTL_DISK_GET_LENGTH_INFO, &length) &&
                             std::uint64_t(length.Length.QuadPart) != bytes;
  if (sectorSizeDiffers || lengthDiffers) {
    VTX_LOG(kCheckRecord, "disk %u is not %llu bytes in sectors of %d", unsigned(disk.nDiskNumber),
            static_cast<unsigned long long>(bytes), int(disk.nBytesPerSector));
    Close();
    return kRecordMismatch;
  }
  const int locked = LockVolumesOf(disk.nDiskNumber, &m_lockedVolumes);
  if (locked != 0) {
    VTX_LOG(kCheckRecord, "disk %u: a volume on it cannot be locked, error %d",
            unsigned(disk.nDiskNumber), locked);
    Close();
  }
  return locked;
}

int VantrixStorageDevice::OpenPartitionOf(const DiskInfo& disk, const PartitionInfo& partition) {
  std::uint64_t first = 0;
  std::uint64_t bytes = 0;
  if (!RecordAddsUp(disk, &partition, &first, &bytes)) return kRecordMismatch;
  const int result = OpenVolume(partition.cDriveLetter);
  if (!IsOpen()) return result;
  m_firstSector = first;
  HANDLE device = AsHandle(m_hDevice);
  PARTITION_INFORMATION_EX layout;
  STORAGE_DEVICE_NUMBER number;
  const std::uint64_t sectorSize = std::uint64_t(disk.nBytesPerSector);
  const bool sectorSizeDiffers = m_nSectorSize != sectorSize;  // the geometry OpenVolume read
  // A volume the system places on no partition (Wine's folder drives) has no
  // place or disk to compare.
  const bool placed = Query(device, IOCTL_DISK_GET_PARTITION_INFO_EX, &layout);
  const bool placeDiffers =
      placed && (std::uint64_t(layout.StartingOffset.QuadPart) != first * sectorSize ||
                 std::uint64_t(layout.PartitionLength.QuadPart) != bytes);
  const bool diskDiffers = placed && Query(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, &number) &&
                           number.DeviceNumber != disk.nDiskNumber;
  if (sectorSizeDiffers || placeDiffers || diskDiffers) {
    VTX_LOG(kCheckRecord, "volume %c: is not partition %u of disk %u, %llu bytes from sector %llu",
            partition.cDriveLetter, unsigned(partition.nPartitionNumber),
            unsigned(disk.nDiskNumber), static_cast<unsigned long long>(bytes),
            static_cast<unsigned long long>(first));
    Close();
    return kRecordMismatch;
  }
  return result;
}

bool VantrixStorageDevice::AttachToChannel(const DiskInfo& disk) {
  if (!IsOpen() || m_attached) return false;
  return HandToChannel(disk, -1);  // the driver opens the disk by its number
}

int VantrixStorageDevice::DismountVolume() {
  if (!IsOpen()) return FALSE;
  DWORD returned = 0;
  return DeviceIoControl(AsHandle(m_hDevice), FSCTL_DISMOUNT_VOLUME, /*lpInBuffer=*/nullptr, 0,
                         /*lpOutBuffer=*/nullptr, 0, &returned, /*lpOverlapped=*/nullptr);
}

void VantrixStorageDevice::Close() {
  DetachFromChannel();
  for (const std::intptr_t volume : m_lockedVolumes) CloseHandle(AsHandle(volume));  // unlocks
  m_lockedVolumes.clear();
  if (!IsOpen()) return;
  CloseHandle(AsHandle(m_hDevice));
  m_hDevice = kClosed;
}
