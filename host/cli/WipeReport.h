#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "host/cli/DriveIdentity.h"
#include "host/cli/ProgressLine.h"

// The record an auditor keeps of one wipe: what was wiped, how, when, how it
// ended and whether it was read back. Written (--report) whenever a wipe was
// asked for, whatever its outcome, also when the program refused it.
struct WipeReport {
  using TimePoint = std::chrono::system_clock::time_point;

  struct Verification {
    std::string result = "not-requested";  // "passed", "failed", "not-run"
    std::uint64_t bytesChecked = 0;
    std::int64_t firstMismatchSector = -1;  // counted from the start of the disk
    std::string detail;
  };

  std::string programVersion;
  std::string moduleVersion;
  std::string hostName;
  MachineIdentity machine;  // the machine the program ran on

  std::string targetKind;  // "file", "folder", "free-space", "partition", "disk"
  std::string targetName;  // the path, or "disk 1, partition 2"
  int disk = -1;
  int partition = -1;
  std::string device;  // the disk's device as the device manager names it
  TargetScale targetSize;
  DiskIdentity identity;  // the drive of a disk, partition or free-space target

  std::string algorithmName;
  int algorithmType = 0;
  int passes = 0;

  TimePoint start;
  TimePoint end;
  std::uint64_t bytesWritten = 0;
  bool bytesEstimated = true;

  bool wipeRan = false;  // false: refused or failed before a task started
  ProgressRecord finalRecord;
  std::string errorName;
  std::string errorText;

  std::string outcome;  // "wiped", "failed", "stopped", "refused"
  std::string message;  // the program's own words on the outcome
  int exitCode = 0;
  Verification verification;
};

// "2026-11-01T09:30:05.250Z": UTC, ISO 8601, milliseconds.
std::string FormatUtc(WipeReport::TimePoint time);

// The report as one JSON object: indented for a file, on one line for the
// --json summary.
std::string RenderReport(const WipeReport& report, bool indented);

// Writes `text` to `path`, replacing it; false with the reason in `error`.
bool WriteTextFile(const std::string& path, const std::string& text, std::string* error);
