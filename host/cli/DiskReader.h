#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
  // Reads as Read does, into memory of the reader's, valid until the next
  // call; null on failure. A reader that reads ahead hands out its own
  // buffers (no copy); the default reads into a buffer it keeps.
  virtual const unsigned char* View(std::uint64_t offset, std::size_t size) {
    constexpr std::size_t kAlignment = 4096;  // direct reads want aligned buffers
    m_view.resize(size + kAlignment);
    unsigned char* aligned =
        m_view.data() +
        (kAlignment - reinterpret_cast<std::uintptr_t>(m_view.data()) % kAlignment) % kAlignment;
    return Read(offset, aligned, size) ? aligned : nullptr;
  }
  virtual std::string Error() const = 0;

 private:
  std::vector<unsigned char> m_view;
};

// Opens the disk of `disk` for reading; null with the reason in `error`.
std::unique_ptr<DiskReader> OpenDiskReader(const DiskInfo& disk, std::string* error);
