#include "host/cli/TargetVerifier.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "common/IWiperAlgorithm.h"
#include "host/cli/DiskReader.h"

namespace {

// 1 MiB: a whole number of pattern blocks and of sectors of any size.
constexpr std::size_t kChunkBytes = 8 * kWipeBlockBytes;

bool IsUniform(const std::vector<unsigned char>& block) {
  return std::all_of(block.begin(), block.end(), [&](unsigned char b) { return b == block[0]; });
}

unsigned char ClockByte(std::time_t time) { return static_cast<unsigned char>(time & 0xFF); }

// Fills `block` with pass 0 and reports whether its byte could be the clock's.
bool FillMayBeClock(IWiperAlgorithm* algorithm, std::vector<unsigned char>* block,
                    std::time_t* after) {
  const std::time_t before = std::time(nullptr);
  algorithm->FillBuffer(block->data(), static_cast<int>(block->size()), 0);
  *after = std::time(nullptr);
  return IsUniform(*block) &&
         ((*block)[0] == ClockByte(before) || (*block)[0] == ClockByte(*after));
}

}  // namespace

bool PatternOfAlgorithm(IWiperAlgorithm* algorithm, VerifyPattern* pattern) {
  if (algorithm == nullptr) return false;
  pattern->block.assign(kWipeBlockBytes, 0);
  pattern->clockByte = false;
  std::time_t after = 0;
  if (!FillMayBeClock(algorithm, &pattern->block, &after)) return true;
  const unsigned char first = pattern->block[0];
  while (std::time(nullptr) == after) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::vector<unsigned char> again(kWipeBlockBytes);
  FillMayBeClock(algorithm, &again, &after);
  pattern->clockByte = again[0] != first;
  return true;
}

VerifyResult VerifyTarget(DiskReader& reader, const VerifyRange& range,
                          const VerifyPattern& pattern,
                          const std::function<void(std::uint64_t)>& onProgress) {
  VerifyResult result;
  const std::uint64_t bytes = range.bytes / range.sectorSize * range.sectorSize;
  std::vector<unsigned char> expected = pattern.block;

  for (std::uint64_t done = 0; done < bytes;) {
    const std::size_t size =
        static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, bytes - done));
    const unsigned char* chunk = reader.View(range.firstByte + done, size);
    if (chunk == nullptr) {
      result.readFailed = true;
      result.error = reader.Error();
      return result;
    }
    if (pattern.clockByte && done == 0) std::fill(expected.begin(), expected.end(), chunk[0]);
    // Chunks start on pattern block boundaries of the target.
    for (std::size_t at = 0; at < size; at += kWipeBlockBytes) {
      const std::size_t length = std::min<std::size_t>(kWipeBlockBytes, size - at);
      if (std::memcmp(chunk + at, expected.data(), length) == 0) continue;
      const auto miss = std::mismatch(chunk + at, chunk + at + length, expected.begin());
      const std::uint64_t offset =
          done + at + static_cast<std::uint64_t>(miss.first - (chunk + at));
      result.bytesChecked = offset;
      result.firstMismatchSector =
          static_cast<std::int64_t>((range.firstByte + offset) / range.sectorSize);
      result.expectedByte = *miss.second;
      result.foundByte = *miss.first;
      return result;
    }
    done += size;
    result.bytesChecked = done;
    if (onProgress) onProgress(done);
  }
  result.matches = true;
  return result;
}
