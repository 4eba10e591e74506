#pragma once

#include <cstdint>

#include "platform/DiskInfo.h"

// One raw device of the system: a partition's volume or a whole disk. Opening
// it proves that the wipe may take the target; it learns the device's sector
// size and length and, for a volume, can dismount it after the wipe. The data
// of a wipe does not go through this handle (Q7DiskIOWapper.h).
//
// Windows: a volume by its letter ("\\.\C:") or device path, a disk by its
// number ("\\.\PHYSICALDRIVE%d"), shared for reading and writing; the disk
// control codes give the sizes.
// POSIX: a block device opened read-write with O_EXCL, so a mounted, claimed
// or otherwise busy device does not open (EBUSY) and, once open, nobody can
// mount it until it is closed. A disk number and a drive letter are resolved
// through the host's device manager; a partition's volume is its block device.
//
// Results of the open operations: 0, or the system's error code (GetLastError
// or errno). A device is opened once, by one open operation. The creator owns
// the object and ends it with Release() (or delete); destruction closes the
// handle. One wipe task uses it; it takes no lock.
class VantrixStorageDevice {
 public:
  VantrixStorageDevice() = default;
  virtual ~VantrixStorageDevice();
  VantrixStorageDevice(const VantrixStorageDevice&) = delete;
  VantrixStorageDevice& operator=(const VantrixStorageDevice&) = delete;

  // Destroys the object and frees its memory.
  virtual void Release();

  // The volume of drive letter `letter`. POSIX: the partition the device
  // manager gives that letter (ENOENT when none has it).
  int OpenVolume(char letter);
  // A volume by its device path. A failed geometry query closes the handle
  // and leaves it null; a failed length query leaves it open and returns its
  // error.
  int OpenVolume(const wchar_t* path);
  // Physical disk number `disk`. The two size queries' failures are ignored.
  // POSIX: the disk of that number in the device manager (ENOENT when none).
  int OpenDisk(int disk);

  // The whole disk of `disk`: Windows OpenDisk(nDiskNumber); POSIX its block
  // device szDevicePath.
  int OpenDiskOf(const DiskInfo& disk);
  // The volume of `partition`: Windows OpenVolume(cDriveLetter); POSIX its
  // block device szDevicePath, whether or not it has a letter.
  int OpenPartitionOf(const PartitionInfo& partition);

  // Neither closed nor null.
  bool IsOpen() const;

  // Windows: FSCTL_DISMOUNT_VOLUME, its BOOL result. POSIX: no file system of
  // an open device can be mounted (O_EXCL), so there is nothing to dismount;
  // the device's buffers are written out and its cache dropped (fsync and
  // BLKFLSBUF), so that the next reader of the partition sees what the driver
  // channel wrote through the whole disk. Nonzero on success. FALSE (0) when
  // the device is not open.
  int DismountVolume();

  // Closes an open handle; nothing when closed.
  void Close();

  std::uint32_t GetSectorSize() const { return m_nSectorSize; }
  std::uint64_t GetTotalSectors() const { return m_iTotalSectors; }

 private:
  // The "closed" value of m_hDevice: INVALID_HANDLE_VALUE, or descriptor -1.
  static constexpr std::intptr_t kClosed = -1;

  std::intptr_t m_hDevice = kClosed;
  std::uint32_t m_nSectorSize = 512;
  std::uint64_t m_iTotalSectors = 0;
};
