#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>
#include <string>

#include "common/Log.h"
#include "storage/HostDisks.h"
#include "storage/VantrixStorageDevice.h"
#include "support/TextHelpers.h"

namespace {

constexpr char kOpenVolume[] = "VantrixStorageDevice::OpenVolume";
constexpr char kCheckRecord[] = "VantrixStorageDevice::CheckRecord";

// What the kernel says of a claimed block device.
struct Claimed {
  int descriptor = -1;
  dev_t device = 0;
  std::uint32_t sectorSize = 0;
  std::uint64_t bytes = 0;
};

// The device number of the block device at `path`, looked at through an
// O_PATH descriptor, which opens nothing for I/O (a FIFO does not block, a
// character device sees no open); false with errno set (ENOTBLK for
// anything but a block device, a link included).
bool LookAtBlockDevice(const std::string& path, dev_t* device) {
  const int look = open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (look < 0) return false;
  struct stat status;
  const bool block = fstat(look, &status) == 0 && S_ISBLK(status.st_mode);
  close(look);
  if (!block) {
    errno = ENOTBLK;
    return false;
  }
  *device = status.st_rdev;
  return true;
}

// Opens the block device at `path` read-write and exclusively, after a look
// at what it is, and learns its sector size and length. The descriptor must
// be the device looked at and is never 0 (0 means "null handle" to the
// device). 0, or the errno value; nothing stays open on failure.
int ClaimBlockDevice(const std::string& path, Claimed* claimed) {
  dev_t looked = 0;
  if (!LookAtBlockDevice(path, &looked)) return errno;
  int descriptor = open(path.c_str(), O_RDWR | O_EXCL | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (descriptor == 0) {
    descriptor = fcntl(0, F_DUPFD_CLOEXEC, 1);
    close(0);
  }
  if (descriptor < 0) return errno;
  struct stat status;
  int sectorSize = 0;
  int error = 0;
  if (fstat(descriptor, &status) != 0 || !S_ISBLK(status.st_mode) || status.st_rdev != looked) {
    error = ENXIO;  // replaced between the look and the open
  } else if (ioctl(descriptor, BLKSSZGET, &sectorSize) != 0 ||
             ioctl(descriptor, BLKGETSIZE64, &claimed->bytes) != 0 ||
             fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
    error = errno;
  }
  if (error != 0) {
    close(descriptor);
    return error;
  }
  claimed->descriptor = descriptor;
  claimed->device = looked;
  claimed->sectorSize = sectorSize > 0 ? static_cast<std::uint32_t>(sectorSize) : 512;
  return 0;
}

// The kernel's folder of a block device: /sys/dev/block/MAJOR:MINOR.
std::string SysFolder(dev_t device) {
  return "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

// A number a sysfs file holds; false when it cannot be read.
bool ReadSysNumber(const std::string& path, std::uint64_t* value) {
  std::ifstream in(path);
  return static_cast<bool>(in >> *value);
}

// Whether the kernel knows `partition` as a partition of `disk`, starting at
// byte `start`, `bytes` long.
bool IsPartitionOf(dev_t partition, dev_t disk, std::uint64_t start, std::uint64_t bytes) {
  const std::string folder = SysFolder(partition);
  char* real = realpath(folder.c_str(), nullptr);
  if (real == nullptr) return false;
  const std::string parent = std::string(real).substr(0, std::string(real).rfind('/'));
  std::free(real);
  std::string parentDevice;
  std::ifstream(parent + "/dev") >> parentDevice;
  const std::string diskDevice = std::to_string(major(disk)) + ":" + std::to_string(minor(disk));
  std::uint64_t sysStart = 0;
  std::uint64_t sysSectors = 0;
  return parentDevice == diskDevice && ReadSysNumber(folder + "/start", &sysStart) &&
         ReadSysNumber(folder + "/size", &sysSectors) && sysStart * 512 == start &&
         sysSectors * 512 == bytes;
}

bool IsPartition(dev_t device) {
  struct stat status;
  return stat((SysFolder(device) + "/partition").c_str(), &status) == 0;
}

}  // namespace

int VantrixStorageDevice::OpenVolume(char letter) {
  std::unique_ptr<DiskInfo> disk(new (std::nothrow) DiskInfo);
  int index = 0;
  if (!disk) return ENOMEM;
  if (!HostPartitionWithLetter(letter, disk.get(), &index)) return ENOENT;
  return OpenPartitionOf(*disk, disk->partitions[index]);
}

int VantrixStorageDevice::OpenVolume(const wchar_t* path) {
  const std::string device = path != nullptr ? WideToAnsi(path) : std::string();
  Claimed claimed;
  const int error = ClaimBlockDevice(device, &claimed);
  VTX_LOG(kOpenVolume, "open volume: %S\n", path != nullptr ? path : L"");
  if (error != 0) return error;
  m_hDevice = claimed.descriptor;
  m_nSectorSize = claimed.sectorSize;
  m_iTotalSectors = claimed.bytes / m_nSectorSize;
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
  std::uint64_t first = 0;
  std::uint64_t bytes = 0;
  if (!RecordAddsUp(disk, nullptr, &first, &bytes)) return kRecordMismatch;
  Claimed claimed;
  const int error = ClaimBlockDevice(RecordText(disk.szDevicePath), &claimed);
  if (error != 0) return error;
  m_hDevice = claimed.descriptor;
  m_nSectorSize = claimed.sectorSize;
  m_iTotalSectors = claimed.bytes / m_nSectorSize;
  m_firstSector = 0;
  if (IsPartition(claimed.device) || claimed.sectorSize != std::uint32_t(disk.nBytesPerSector) ||
      claimed.bytes != bytes) {
    VTX_LOG(kCheckRecord, "disk %u: %s is not a whole disk of %llu bytes in sectors of %d",
            unsigned(disk.nDiskNumber), RecordText(disk.szDevicePath).c_str(),
            static_cast<unsigned long long>(bytes), int(disk.nBytesPerSector));
    Close();
    return kRecordMismatch;
  }
  return 0;
}

int VantrixStorageDevice::OpenPartitionOf(const DiskInfo& disk, const PartitionInfo& partition) {
  std::uint64_t first = 0;
  std::uint64_t bytes = 0;
  if (!RecordAddsUp(disk, &partition, &first, &bytes)) return kRecordMismatch;
  dev_t diskDevice = 0;
  std::uint64_t diskSectors = 0;
  if (!LookAtBlockDevice(RecordText(disk.szDevicePath), &diskDevice)) return errno;
  const int error = OpenVolume(AnsiToWide(RecordText(partition.szDevicePath)).c_str());
  if (error != 0) return error;
  struct stat status;
  fstat(static_cast<int>(m_hDevice), &status);
  const std::uint64_t sectorSize = static_cast<std::uint64_t>(disk.nBytesPerSector);
  m_firstSector = first;
  if (m_nSectorSize != sectorSize ||
      !ReadSysNumber(SysFolder(diskDevice) + "/size", &diskSectors) ||
      diskSectors * 512 != sectorSize * static_cast<std::uint64_t>(disk.nTotalSectors) ||
      !IsPartitionOf(status.st_rdev, diskDevice, first * sectorSize, bytes)) {
    VTX_LOG(kCheckRecord, "disk %u: %s is not its partition %u of %llu bytes from sector %llu",
            unsigned(disk.nDiskNumber), RecordText(partition.szDevicePath).c_str(),
            unsigned(partition.nPartitionNumber), static_cast<unsigned long long>(bytes),
            static_cast<unsigned long long>(first));
    Close();
    return kRecordMismatch;
  }
  return 0;
}

bool VantrixStorageDevice::AttachToChannel(const DiskInfo& disk) {
  if (!IsOpen() || m_attached) return false;
  const int claim = fcntl(static_cast<int>(m_hDevice), F_DUPFD_CLOEXEC, 0);
  if (claim < 0) return false;
  // The status flags belong to the open claim both descriptors share; a
  // device that refuses O_DIRECT is written through its cache.
  fcntl(claim, F_SETFL, fcntl(claim, F_GETFL) | O_DIRECT);
  return HandToChannel(disk, claim);
}

int VantrixStorageDevice::DismountVolume() {
  if (!IsOpen()) return 0;
  const int descriptor = static_cast<int>(m_hDevice);
  return fsync(descriptor) == 0 && ioctl(descriptor, BLKFLSBUF, 0) == 0 ? 1 : 0;
}

void VantrixStorageDevice::Close() {
  DetachFromChannel();
  if (!IsOpen()) return;
  close(static_cast<int>(m_hDevice));
  m_hDevice = kClosed;
}
