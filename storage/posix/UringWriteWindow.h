#pragma once

#include <liburing.h>

#include <array>
#include <cstdint>
#include <memory>

#include "storage/DiskWriteWindow.h"

// The POSIX disk window: writes to the disk's block device through io_uring,
// kWritesInFlight queued or in flight at most (8 MiB of 128 KiB runs), handed
// to the kernel kSubmitBatch at a time so that the block layer merges
// adjacent runs into requests of 1 MiB. Each run keeps its own completion.
// Sizes chosen by measurement (docs/ARCHITECTURE.md). No data buffer of its
// own: the runs point into the caller's buffer.
//
// Owns its ring and nothing else: the descriptor stays the channel's and must
// stay open while the window lives. A write completed short counts as failed.
class UringWriteWindow final : public DiskWriteWindow {
 public:
  static constexpr unsigned kWritesInFlight = 64;
  static constexpr unsigned kSubmitBatch = 8;

  // An AsyncWindowMaker: null, with the error io_uring_queue_init gave
  // (ENOSYS, EPERM, ...), when the kernel refuses a ring.
  static std::unique_ptr<DiskWriteWindow> Make(std::intptr_t descriptor, std::uint32_t sectorSize,
                                               std::uint64_t firstSector, int* error);
  ~UringWriteWindow() override;

  bool Queue(std::uint64_t startSector, std::uint32_t sectorCount,
             const unsigned char* buffer) override;
  bool Drain() override;
  std::uint64_t Completed() const override { return m_completed; }

 private:
  UringWriteWindow(int descriptor, std::uint32_t sectorSize, std::uint64_t firstSector)
      : m_descriptor(descriptor), m_sectorSize(sectorSize), m_firstSector(firstSector) {}
  bool Failed() const { return m_firstFailed != kNone; }
  void Fail(std::uint64_t write);
  // Hands the prepared writes to the kernel; on a refusal they fail.
  void SubmitPrepared();
  // Takes every completion there is, first waiting for one when `wait`.
  // False when waiting failed (the ring is unusable).
  bool Reap(bool wait);
  void Settle(std::uint64_t write, int result);

  static constexpr std::uint64_t kNone = ~std::uint64_t(0);
  io_uring m_ring{};
  bool m_ringReady = false;
  int m_descriptor;
  std::uint32_t m_sectorSize;
  std::uint64_t m_firstSector;    // the disk sector at the descriptor's byte 0
  std::uint64_t m_queued = 0;     // writes queued, numbered from 0
  unsigned m_prepared = 0;        // the last queued, not yet handed to the kernel
  unsigned m_inFlight = 0;        // handed to the kernel, not yet completed
  std::uint64_t m_completed = 0;  // writes from 0 that completed in full
  std::uint64_t m_firstFailed = kNone;
  // Per write number modulo kWritesInFlight: its length, and whether it completed.
  std::array<std::uint32_t, kWritesInFlight> m_lengths{};
  std::array<bool, kWritesInFlight> m_done{};
};
