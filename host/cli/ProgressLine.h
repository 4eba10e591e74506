#pragma once

#include <cstdint>
#include <string>

// One progress record of a wipe task, read from the progress JSON that the
// module's getProgressMsg and stopWipe commands answer. Before a field is read
// it holds the reset state of a task that has not reported yet.
struct ProgressRecord {
  int type = 32;
  int status = 0;
  std::int64_t subStepCurrent = 0;
  std::int64_t subStepTotal = 1;
  std::int64_t stepsCurrent = 0;
  std::int64_t stepsTotal = 1;
  std::uint32_t errorCode = 0;
  std::string info;

  bool IsRunning() const { return status == 2; }
  bool IsFinished() const { return status == 3; }
};

// Reads a progress JSON text; false (the record unchanged) when the text is
// not one or lacks a member.
bool ParseProgressRecord(const std::string& json, ProgressRecord* record);

// Every wipe writes its target in blocks of this many bytes, and a progress
// step is one block; a last, shorter block (the tail) is written once after
// the passes and never reported as a step.
constexpr std::uint64_t kWipeBlockBytes = 0x20000;

// How large the target is, where the program could tell before the wipe (a
// file, a disk, a partition). Without it, sizes are counted from the steps
// and are estimates: they lack the tail.
struct TargetScale {
  bool sizeKnown = false;
  std::uint64_t bytes = 0;
};

// What a progress record means in bytes, passes and time.
struct ProgressFigures {
  double fraction = 0;  // of the whole wipe, 0 to 1
  int pass = 0;         // 1 to passes; 0 before the first block
  int passes = 0;
  std::uint64_t passBytesDone = 0;  // of the current pass
  std::uint64_t passBytes = 0;      // one pass over the target
  bool bytesEstimated = true;
  std::uint64_t bytesWritten = 0;  // all passes so far
  double bytesPerSecond = 0;       // 0 while not measurable
  double secondsLeft = -1;         // negative while not known
};

ProgressFigures ComputeProgress(const ProgressRecord& record, const TargetScale& scale,
                                double elapsedSeconds);

// The one-line picture of a running wipe: percent, bytes of the pass done of
// the target's size (marked "~" where estimated), pass k of n, throughput and
// time left. Pure: the same record, scale and time give the same line.
std::string RenderProgressLine(const ProgressRecord& record, const TargetScale& scale,
                               double elapsedSeconds);

// "512 B", "1.50 KiB", "4.00 TiB".
std::string FormatBytes(std::uint64_t bytes);
// "0x0350301B": an error code as the module's tables and the interpreter write it.
std::string FormatCode(std::uint32_t code);
// "0:03:12", hours unbounded; "--:--:--" for a negative time.
std::string FormatDuration(double seconds);
