#pragma once

#include <cstdint>

#include "platform/DiskInfo.h"
#include "storage/DiskWriteWindow.h"
#include "wipers/DataWiper.h"

// Wipes a whole disk or one partition through the disk channel
// (storage/Q7DiskIOWapper.h), sector run by sector run: the pattern buffer of
// the pass loop holds one request, 0x20000 / sector size sectors (256 of 512
// bytes, 32 of 4096), and every pass writes the same sectors from the
// partition's first sector (sector 0 for a whole disk); what is left after the
// whole requests is written once, as the tail, after the last pass. Success is
// reported only once the channel says the data reached the device.
//
// The requests go through the channel's write window, several in flight
// where the system allows: one stop check before each request is queued, and
// one progress report per request, in order, once its write completed. A
// failed write, or a stop, queues nothing more; the writes in flight are waited
// for (and those that completed before the first failure reported) before
// WippeData returns, so nothing is written after it.
//
// Calling order: init; if 0, WippeData once; destroy. The records handed to
// init belong to the caller and must outlive the wiper. Used on the wipe
// task's thread only; the channel it shares with other wipes is thread-safe.
class CDeviceDriverWiper : public CDataWiper {
 public:
  static constexpr std::uint32_t kDriverCodeNullBuffer = 0x10C03001;
  static constexpr std::uint32_t kDriverCodeNullAlgorithm = 0x11303001;
  static constexpr std::uint32_t kDriverCodeStartSectorZero = 0x11E03008;
  static constexpr std::uint32_t kDriverCodeStoppedAtPass = 0x12E0301B;
  static constexpr std::uint32_t kDriverCodeStoppedInPass = 0x1370301B;
  // Also a flush that failed: the blocks did not reach the device.
  static constexpr std::uint32_t kDriverCodeBlockWriteFailed = 0x13C03005;
  static constexpr std::uint32_t kDriverCodeTailWriteFailed = 0x14803005;

  // `asyncMaker`: how the channel makes the asynchronous window (null: the
  // platform's own); a test hands one that refuses, to take the synchronous way.
  explicit CDeviceDriverWiper(AsyncWindowMaker asyncMaker = nullptr) : m_asyncMaker(asyncMaker) {}
  ~CDeviceDriverWiper() override;

  // Sectors one request carries for `bytesPerSector`; 0 for a sector size
  // that is not a power of two from 512 to 4096.
  static std::uint32_t SectorsPerRequest(std::int32_t bytesPerSector);

  // Takes the disk and, unless null (whole disk), its partition, and attaches
  // the disk to the channel. 0, or -1 when `disk` is null, its sector size is
  // not a power of two from 512 to 4096, its sector count is negative, or the
  // channel has the disk attached with another sector size or device; nothing
  // is written then.
  int init(DiskInfo* disk, PartitionInfo* partition);

  // The partition's first sector; 0 for a whole disk or before init.
  std::uint64_t GetStartSectorNo();

  std::uint32_t WippeData(IWiperAlgorithm* algorithm, IProgresMsg* progress) override;

  // The partition's nSizeInBytes, or the disk's sector size x sector count.
  std::uint64_t GetTotalSize() override;

  // Writes `size` sectors of `buffer` from sector `offset` of the disk and
  // waits for them; 0 on success (also for a null buffer, which writes
  // nothing), -1 on failure.
  int WriteData(std::int64_t offset, unsigned char* buffer, int size) override;

 private:
  struct SectorPlan;
  class BlockReports;
  void Detach();
  // The passes and the tail through `window`; the loop's code.
  std::uint32_t WriteBlocks(IWiperAlgorithm* algorithm, IProgresMsg* progress,
                            const unsigned char* buffer, const SectorPlan& plan,
                            DiskWriteWindow& window, BlockReports& reports);

  AsyncWindowMaker m_asyncMaker;

  DiskInfo* m_disk = nullptr;
  PartitionInfo* m_partition = nullptr;
  bool m_attached = false;
  std::uint32_t m_attachedDisk = 0;
};
