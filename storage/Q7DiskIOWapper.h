#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/DiskInfo.h"
#include "storage/DiskWriteWindow.h"

// The module's one channel to the disk's sectors. Every disk and partition
// wipe writes through it, by disk number, first sector and sector count.
//
// Windows: the host's disk-I/O driver. The channel opens the driver's control
// device "\\.\q7diskio" (installing and starting the driver as the service
// "q7diskio" when the device is missing) and sends one IOCTL_WRITE_SECTORS
// request per call (WriteSectorRequest.h). The handle, once open, stays open
// for the life of the process; the driver writes through.
// POSIX: Linux's block layer is the disk driver. There is no control device
// and nothing is opened by path: the storage device that opened, checked and
// claimed the target (VantrixStorageDevice::AttachToChannel) hands its
// descriptor over (a duplicate, switched to O_DIRECT where the device takes
// it), the channel writes through it, counting the disk's sectors from the first
// sector of what was claimed (a partition's own node: the kernel keeps the
// writes inside it), and closes the duplicate when the last wipe of the disk
// detaches.
//
// One instance per process, built while the module loads and destroyed when
// it unloads, which closes what it opened (a module loaded again can then open
// the driver's unshared device once more).
// Any thread may call any operation: the per-disk table and the first open of
// the device are guarded by one lock, so concurrent first writes and
// concurrent wipes of disks with different sector sizes are both correct.
class CQ7DiskIOWapper {
 public:
  static CQ7DiskIOWapper* GetInstance();

  // Takes `disk` into the channel for the wipe that follows: its sector size
  // under its number and, when `claim` is an open descriptor (POSIX: the
  // storage device's duplicate of its claimed, checked device), that
  // descriptor to write through, whose offset 0 is sector `firstSector` of
  // the disk; the channel owns `claim` from the call on. Attachments of one
  // disk are counted; false, with nothing changed and `claim` closed, when the
  // disk is attached by another wipe with another sector size or device, or
  // with a claim of its own. Nothing is opened or written under the lock.
  bool AttachDisk(const DiskInfo& disk, std::intptr_t claim = -1, std::uint64_t firstSector = 0);
  // Ends one AttachDisk of disk number `disk` (POSIX: the last one closes the
  // disk's descriptor). The sector size stays known.
  void DetachDisk(std::uint32_t disk);

  // Bytes per sector of disk number `disk`: as last attached, else 512.
  std::uint32_t SectorSizeOf(std::uint32_t disk);

  // Windows: the driver's control device, opened for reading and writing with
  // no sharing (installing the driver when the device is missing); the handle,
  // or 0 when it cannot be opened. POSIX: no control device exists to open;
  // returns 1, the block layer being always present.
  std::intptr_t OpenDevice();

  // Writes `sectorCount` sectors of `buffer` (at least sector size x count
  // bytes) to disk number `disk` from sector `startSector`. Nonzero when the
  // whole run was accepted (Windows: by the driver; POSIX: written in full),
  // 0 otherwise.
  int WriteSector(std::uint32_t disk, std::uint64_t startSector, std::uint32_t sectorCount,
                  const unsigned char* buffer);

  // The window a wipe of attached disk number `disk` writes through
  // (storage/DiskWriteWindow.h). POSIX: asynchronous writes to the disk's
  // descriptor, made by `asyncMaker` (null: io_uring); where the system
  // refuses them, or the descriptor does not open, a synchronous window of
  // WriteSector. Logs which, once per wipe. Windows: always the synchronous
  // window of driver requests. Null only when memory is short. The window
  // must be gone before the disk is detached.
  std::unique_ptr<DiskWriteWindow> OpenWriteWindow(std::uint32_t disk,
                                                   AsyncWindowMaker asyncMaker = nullptr);

  // Makes what was written to disk number `disk` durable before a wipe
  // reports success. Windows: the driver writes through, nothing is pending:
  // true. POSIX: fdatasync of the disk's descriptor; false when it fails.
  bool FlushDisk(std::uint32_t disk);

 private:
  struct DiskChannel {
    std::uint32_t sectorSize = 512;
    std::string devicePath;
    int attachments = 0;
    std::intptr_t descriptor = -1;  // POSIX: the claimed block device, -1 when none
    std::uint64_t firstSector = 0;  // the disk's sector at the descriptor's offset 0
  };

  CQ7DiskIOWapper() = default;
  ~CQ7DiskIOWapper();
  // POSIX only: the descriptor of an attached disk, as its claim was handed
  // over; -1 when the disk is not attached or came without a claim.
  std::intptr_t DescriptorOf(std::uint32_t disk);
  // The disk's sector at offset 0 of DescriptorOf(disk).
  std::uint64_t FirstSectorOf(std::uint32_t disk);
  // Closes a per-disk descriptor (-1: none).
  static void CloseDescriptor(std::intptr_t descriptor);

  std::uint32_t m_nSectorSize = 512;
  std::intptr_t m_hDevice = 0;
  std::mutex m_lock;
  std::map<std::uint32_t, DiskChannel> m_disks;
};
