#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>
#include <string>

#include "common/Log.h"
#include "storage/HostDisks.h"
#include "storage/VantrixStorageDevice.h"
#include "support/TextHelpers.h"

namespace {

constexpr char kOpenVolume[] = "VantrixStorageDevice::OpenVolume";

// An exclusive read-write descriptor of the block device at `path`, never 0
// (0 means "null handle" to the device); -1 with errno set on failure.
int OpenExclusive(const std::string& path) {
  const int descriptor = open(path.c_str(), O_RDWR | O_EXCL | O_CLOEXEC);
  if (descriptor != 0) return descriptor;
  const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, 1);
  const int error = errno;
  close(descriptor);
  errno = error;
  return moved;
}

bool IsBlockDevice(int descriptor) {
  struct stat status;
  return fstat(descriptor, &status) == 0 && S_ISBLK(status.st_mode);
}

}  // namespace

int VantrixStorageDevice::OpenVolume(char letter) {
  std::unique_ptr<DiskInfo> disk(new (std::nothrow) DiskInfo);
  int index = 0;
  if (!disk) return ENOMEM;
  if (!HostPartitionWithLetter(letter, disk.get(), &index)) return ENOENT;
  return OpenPartitionOf(disk->partitions[index]);
}

int VantrixStorageDevice::OpenVolume(const wchar_t* path) {
  const std::string device = path != nullptr ? WideToAnsi(path) : std::string();
  const int descriptor = OpenExclusive(device);
  const int openError = errno;
  VTX_LOG(kOpenVolume, "open volume: %S\n", path != nullptr ? path : L"");
  if (descriptor < 0) return openError;
  m_hDevice = descriptor;

  int sectorSize = 0;
  if (!IsBlockDevice(descriptor) || ioctl(descriptor, BLKSSZGET, &sectorSize) != 0) {
    const int error = IsBlockDevice(descriptor) ? errno : ENOTBLK;
    close(descriptor);
    m_hDevice = 0;
    return error;
  }
  m_nSectorSize = sectorSize > 0 ? static_cast<std::uint32_t>(sectorSize) : 512;

  std::uint64_t bytes = 0;
  if (ioctl(descriptor, BLKGETSIZE64, &bytes) != 0) return errno;
  m_iTotalSectors = bytes / m_nSectorSize;
  VTX_LOG(kOpenVolume, "open volume: total: %lld, sector: %d\n",
          static_cast<long long>(m_iTotalSectors), int(m_nSectorSize));
  return 0;
}

int VantrixStorageDevice::OpenDisk(int disk) {
  std::unique_ptr<DiskInfo> record(new (std::nothrow) DiskInfo);
  if (!record) return ENOMEM;
  if (!HostDiskInfo(disk, record.get())) return ENOENT;
  return OpenDiskOf(*record);
}

int VantrixStorageDevice::OpenDiskOf(const DiskInfo& disk) {
  const int descriptor = OpenExclusive(RecordText(disk.szDevicePath));
  if (descriptor < 0) return errno;
  if (!IsBlockDevice(descriptor)) {
    close(descriptor);
    return ENOTBLK;  // O_EXCL claims block devices only
  }
  m_hDevice = descriptor;
  int sectorSize = 0;
  if (ioctl(descriptor, BLKSSZGET, &sectorSize) == 0 && sectorSize > 0) {
    m_nSectorSize = static_cast<std::uint32_t>(sectorSize);
  }
  std::uint64_t bytes = 0;
  if (ioctl(descriptor, BLKGETSIZE64, &bytes) == 0) m_iTotalSectors = bytes / m_nSectorSize;
  return 0;
}

int VantrixStorageDevice::OpenPartitionOf(const PartitionInfo& partition) {
  return OpenVolume(AnsiToWide(RecordText(partition.szDevicePath)).c_str());
}

int VantrixStorageDevice::DismountVolume() {
  if (!IsOpen()) return 0;
  const int descriptor = static_cast<int>(m_hDevice);
  return fsync(descriptor) == 0 && ioctl(descriptor, BLKFLSBUF, 0) == 0 ? 1 : 0;
}

void VantrixStorageDevice::Close() {
  if (!IsOpen()) return;
  close(static_cast<int>(m_hDevice));
  m_hDevice = kClosed;
}
