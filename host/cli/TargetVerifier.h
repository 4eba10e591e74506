#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/cli/ProgressLine.h"

class DiskReader;
class IWiperAlgorithm;

// What a wiped disk or partition must hold. Every pass of a wipe writes the
// block buffer the algorithm filled for pass 0, so that block, repeated from
// the target's first byte, is the pattern. Where the algorithm fills that
// buffer with the clock's time byte, the byte depends on the moment of the
// wipe; the check is then that the whole target holds one and the same byte.
struct VerifyPattern {
  std::vector<unsigned char> block;  // kWipeBlockBytes bytes
  bool clockByte = false;
};

// The pattern of `algorithm`. Whether it follows the clock is found out, not
// assumed: a fill whose single byte value equals the clock's low byte is
// repeated once the clock has moved on (at most about a second later), and a
// byte that moved with the clock is the time byte. False when the algorithm
// is null.
bool PatternOfAlgorithm(IWiperAlgorithm* algorithm, VerifyPattern* pattern);

// The bytes a wipe covers: whole sectors from `firstByte` of the disk.
struct VerifyRange {
  std::uint64_t firstByte = 0;
  std::uint64_t bytes = 0;
  std::uint32_t sectorSize = 512;
};

struct VerifyResult {
  bool readFailed = false;  // `error` tells where
  bool matches = false;
  std::uint64_t bytesChecked = 0;
  std::int64_t firstMismatchSector = -1;  // counted from the start of the disk
  int expectedByte = -1;                  // at the first mismatch
  int foundByte = -1;
  std::string error;
};

// Reads the range back in large sector-aligned chunks and compares every
// byte. `onProgress` (may be empty) is called after every chunk with the
// bytes checked so far.
VerifyResult VerifyTarget(DiskReader& reader, const VerifyRange& range,
                          const VerifyPattern& pattern,
                          const std::function<void(std::uint64_t)>& onProgress);
