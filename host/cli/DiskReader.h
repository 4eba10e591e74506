#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct DiskInfo;

// Reads a disk back through the system, never through the module: the disk's
// block device on Linux (the device path of its record), \\.\PhysicalDriveN
// on Windows. Reads bypass the system's cache where the system allows it, so
// what is read is what the disk holds. Used by one thread.
class DiskReader {
 public:
  virtual ~DiskReader() = default;
  // Reads exactly `size` bytes at byte `offset` of the disk. `offset` and
  // `size` are multiples of the disk's sector size. False on any error or a
  // short read, with the reason in Error().
  virtual bool Read(std::uint64_t offset, void* buffer, std::size_t size) = 0;
  virtual std::string Error() const = 0;
};

// Opens the disk of `disk` for reading; null with the reason in `error`.
std::unique_ptr<DiskReader> OpenDiskReader(const DiskInfo& disk, std::string* error);
