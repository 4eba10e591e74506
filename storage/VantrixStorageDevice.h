#pragma once

#include <cstdint>
#include <vector>

#include "platform/DiskInfo.h"

// One raw device of the system: a partition's volume or a whole disk. Opening
// it through the device manager's record (OpenDiskOf, OpenPartitionOf) proves
// that the device is the one the record describes and claims it for the wipe;
// AttachToChannel then hands the claim to the disk channel
// (Q7DiskIOWapper.h), which writes through it.
//
// Windows: a volume by its letter ("\\.\C:") or device path, a disk by its
// number ("\\.\PHYSICALDRIVE%d"), shared for reading and writing; the drive
// geometry, length, partition and device-number control codes are compared
// with the record where the system answers them (the driver writes by disk
// number, so nothing is handed to the channel but the sector size). A whole
// disk opens only once every volume on it is locked and dismounted (it stays
// so until Close): a volume in use fails the open with the lock's error.
// POSIX: a block device looked at first without being opened for I/O (O_PATH:
// a FIFO, a character device, a regular file or a link is refused before it is
// opened), then opened read-write with O_EXCL, so a mounted, claimed or
// otherwise busy device does not open (EBUSY) and, once open, nobody can mount
// it until it is closed. The record must match what the kernel says of the
// device opened: a disk is a whole disk of the record's logical sector size and
// size; a partition is a partition of the record's disk (sysfs) at the
// record's start, of its size. A disk number and a drive letter are resolved
// through the host's device manager.
//
// Results of the open operations: 0, kRecordMismatch (the device is not what
// the record says: nothing is left open), or the system's error code
// (GetLastError or errno). A device is opened once, by one open operation. The
// creator owns the object and ends it with Release() (or delete); destruction
// detaches it from the channel and closes the handle. One wipe task uses it;
// it takes no lock.
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

  // A record's device is not the device it names, or the record's sizes do
  // not add up (a sector size that is not a power of two from 512 to 4096, no
  // sectors, a product that overflows, a partition of size 0, not a whole
  // number of sectors, at sector 0 or past the disk's end).
  static constexpr int kRecordMismatch = -1;

  // The whole disk of `disk`, checked against the record: Windows
  // OpenDisk(nDiskNumber); POSIX its block device szDevicePath.
  int OpenDiskOf(const DiskInfo& disk);
  // The volume of `partition` on `disk`, checked against both records:
  // Windows OpenVolume(cDriveLetter); POSIX its block device szDevicePath,
  // whether or not it has a letter.
  int OpenPartitionOf(const DiskInfo& disk, const PartitionInfo& partition);

  // Hands the open device to the channel for the wipe of `disk` that follows
  // (CQ7DiskIOWapper::AttachDisk: POSIX writes through a duplicate of this
  // descriptor, counting sectors from the first sector of what was opened).
  // False when not open or when the channel has the disk attached by another
  // wipe; Close ends the attachment.
  bool AttachToChannel(const DiskInfo& disk);

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

  // Whether the record's sizes add up; `first` and `bytes` receive the
  // target's first sector and its length in bytes (the whole disk for a null
  // partition). Logs why not.
  static bool RecordAddsUp(const DiskInfo& disk, const PartitionInfo* partition,
                           std::uint64_t* first, std::uint64_t* bytes);

  // Attaches the disk to the channel with `claim` (-1: none; owned by the
  // channel from the call on).
  bool HandToChannel(const DiskInfo& disk, std::intptr_t claim);
  // Ends AttachToChannel's attachment; Close calls it first.
  void DetachFromChannel();

  std::intptr_t m_hDevice = kClosed;
  std::uint32_t m_nSectorSize = 512;
  std::uint64_t m_iTotalSectors = 0;
  std::uint64_t m_firstSector = 0;  // of the disk, where what was opened starts
  bool m_attached = false;
  std::uint32_t m_attachedDisk = 0;
  // Windows: the volumes of an opened disk, locked and dismounted until Close.
  std::vector<std::intptr_t> m_lockedVolumes;
};
