#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/purge/DriveCommands.h"

// One drive, opened for purging by the platform's backend, which owns the
// handle and every rule about what may be opened: only a whole disk (a block
// device on Linux, \\.\PhysicalDriveN on Windows), exclusively, by an
// administrator. Carries commands to the drive and reads and writes sectors.
// Used by one thread at a time; closing it (the destructor) closes the device.
class DriveChannel {
 public:
  virtual ~DriveChannel() = default;

  virtual std::string Device() const = 0;
  virtual std::uint64_t SizeBytes() const = 0;
  virtual std::uint32_t SectorBytes() const = 0;
  // Whether the device is an NVMe namespace (its admin commands reach the
  // controller), and which namespace.
  virtual bool IsNvme() const = 0;
  virtual std::uint32_t NvmeNamespace() const = 0;

  struct Answer {
    bool delivered = false;   // false: the system could not carry the command
    std::string systemError;  // why, when not delivered
    // NVMe: the completion status (SCT << 8 | SC), 0 for success.
    std::uint16_t nvmeStatus = 0;
    std::uint32_t nvmeResult = 0;
    // SCSI and ATA: the SCSI status, the sense bytes, and for ATA the
    // registers decoded from them (or from the Windows task file).
    std::uint8_t scsiStatus = 0;
    std::vector<std::uint8_t> sense;
    AtaResult ata;
    std::vector<std::uint8_t> data;  // what the drive returned
  };
  virtual Answer SendNvme(const NvmeAdminCommand& command) = 0;
  virtual Answer SendAta(const AtaCommand& command) = 0;
  virtual Answer SendScsi(const ScsiCommand& command) = 0;

  // The block layer's discard limits; 0 when the device takes no discard.
  virtual std::uint64_t DiscardMaxBytes() const = 0;
  virtual std::uint64_t DiscardGranularity() const = 0;
  // Discards (TRIM/UNMAP/deallocate) `bytes` from byte `offset`; both whole
  // sectors. False with the reason.
  virtual bool Discard(std::uint64_t offset, std::uint64_t bytes, std::string* error) = 0;

  // Sector-aligned reads and writes past the system's cache. `buffer` is
  // aligned to 4096 bytes. False with the reason.
  virtual bool Read(std::uint64_t offset, void* buffer, std::size_t bytes, std::string* error) = 0;
  virtual bool Write(std::uint64_t offset, const void* buffer, std::size_t bytes,
                     std::string* error) = 0;
  // Makes written sectors durable on the drive.
  virtual bool Flush(std::string* error) = 0;
};

// What the channel is opened for. kQuery only asks the drive (commands that
// change nothing): Linux opens it read-only and shared, so a disk with a
// mounted partition can be asked too. kPurge claims the disk for writing
// (Linux: O_EXCL, which a mounted partition refuses).
enum class DriveAccess { kQuery, kPurge };

// Opens `device` on this platform; null with the reason (not a disk, not an
// administrator, in use by a mounted file system, ...).
std::unique_ptr<DriveChannel> OpenDriveChannel(const std::string& device, DriveAccess access,
                                               std::string* error);
