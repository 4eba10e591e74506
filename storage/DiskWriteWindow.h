#pragma once

#include <cstdint>
#include <memory>

// The writes of one disk wipe, several in flight where the system allows it.
// The wiper's block loop queues runs of sectors in order and learns, by their
// number (0 for the first queued), which of them reached the device.
//
// Completed() counts the writes from write 0 that all completed in full; it
// never counts the first failed write or any write after it, whatever became
// of those. A queued buffer (aligned to 4096 bytes) must stay alive and
// unchanged until the window is drained or destroyed. Once a write failed,
// nothing queued after it is handed to the system. Destruction waits for
// every write handed to the system, so no write outlives the window; writes
// still queued then are dropped. One thread uses a window.
class DiskWriteWindow {
 public:
  virtual ~DiskWriteWindow() = default;
  DiskWriteWindow() = default;
  DiskWriteWindow(const DiskWriteWindow&) = delete;
  DiskWriteWindow& operator=(const DiskWriteWindow&) = delete;

  // Queues `sectorCount` sectors of `buffer` from sector `startSector` of the
  // disk; waits for earlier writes while the window is full. False once this
  // or an earlier write is known to have failed (the caller stops queueing).
  virtual bool Queue(std::uint64_t startSector, std::uint32_t sectorCount,
                     const unsigned char* buffer) = 0;
  // Hands every queued write to the system (none after a failure) and waits
  // until none is in flight. True when every queued write completed in full.
  virtual bool Drain() = 0;
  virtual std::uint64_t Completed() const = 0;
};

// Makes the asynchronous window of a disk open as `descriptor` (a POSIX file
// descriptor) with sectors of `sectorSize` bytes, whose first byte is disk
// sector `firstSector` (a partition's node starts at the partition); null, with the system's
// error in `error`, when the system refuses asynchronous writes (missing,
// disabled by the administrator, filtered). The channel then writes
// synchronously; a test hands the wiper a maker that refuses.
using AsyncWindowMaker = std::unique_ptr<DiskWriteWindow> (*)(std::intptr_t descriptor,
                                                              std::uint32_t sectorSize,
                                                              std::uint64_t firstSector,
                                                              int* error);

// A window of one: each write is made through the disk channel
// (CQ7DiskIOWapper::WriteSector) while Queue waits. The Windows build's
// window (every request goes to the driver), and POSIX's where asynchronous
// writes are refused.
class SynchronousWriteWindow final : public DiskWriteWindow {
 public:
  explicit SynchronousWriteWindow(std::uint32_t disk) : m_disk(disk) {}
  bool Queue(std::uint64_t startSector, std::uint32_t sectorCount,
             const unsigned char* buffer) override;
  bool Drain() override { return !m_failed; }
  std::uint64_t Completed() const override { return m_completed; }

 private:
  std::uint32_t m_disk;
  std::uint64_t m_completed = 0;
  bool m_failed = false;
};
