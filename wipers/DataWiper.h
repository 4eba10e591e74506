#pragma once

#include <cstdint>

#include "common/IProgresMsg.h"
#include "common/IWiperAlgorithm.h"

// Base of every wiper: the pass loop. A derived wiper says how many bytes its
// target holds (GetTotalSize) and how to write one block at a byte offset
// relative to the target's start (WriteData); WippeData writes the algorithm's
// pattern over the target, block by block, once per pass.
//
// WippeData runs once per wiper object, after the derived init succeeded, on
// the wipe task's thread. It reports after every block and asks before every
// pass and block whether it may go on; `progress` may be null (no reports, no
// stop). It returns 0 when the target was written completely and flushed to
// the device, else one of the codes below. Blocks already written stay
// written on every failure.
class CDataWiper {
 public:
  // Every wipe writes blocks of this size; the remainder ("tail") of a target
  // that is not a multiple of it is written once, after the last pass.
  static constexpr std::uint32_t kBlockSize = 0x20000;

  static constexpr std::uint32_t kCodeNullBuffer = 0x00F03003;
  static constexpr std::uint32_t kCodeNullAlgorithm = 0x70300302;
  static constexpr std::uint32_t kCodeStoppedAtPass = 0x02C0301B;
  static constexpr std::uint32_t kCodeStoppedInPass = 0x0350301B;
  static constexpr std::uint32_t kCodeBlockWriteFailed = 0x03B03005;
  static constexpr std::uint32_t kCodeTailWriteFailed = 0x04803005;
  // The system could not flush written data to the device (an I/O error):
  // what was written may never have reached it, so nothing is deleted.
  static constexpr std::uint32_t kCodeFlushFailed = 0x04C03005;

  CDataWiper() = default;
  virtual ~CDataWiper() = default;
  CDataWiper(const CDataWiper&) = delete;
  CDataWiper& operator=(const CDataWiper&) = delete;

  virtual std::uint32_t WippeData(IWiperAlgorithm* algorithm, IProgresMsg* progress);

  // Bytes to cover; asked once per WippeData.
  virtual std::uint64_t GetTotalSize() = 0;

  // Writes `size` bytes of `buffer` at `offset`; negative means failed.
  virtual int WriteData(std::int64_t offset, unsigned char* buffer, int size) = 0;

  // Called once at the end of WippeData with the loop's code; returns the
  // wipe's code. A wiper makes its writes durable here (a failed flush gives
  // kCodeFlushFailed) and checks that its target is still what it wrote.
  virtual std::uint32_t FinishData(std::uint32_t code) { return code; }

 private:
  struct PassPlan;
  PassPlan Prepare(IWiperAlgorithm* algorithm, unsigned char* buffer, ProgressMsg* block);
  std::uint32_t WritePasses(const PassPlan& plan, unsigned char* buffer, IProgresMsg* progress,
                            ProgressMsg* block);
};
