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
    std::string method = "none";           // how the target was read back
    std::uint64_t bytesChecked = 0;
    std::int64_t firstMismatchSector = -1;  // counted from the start of the disk
    std::string detail;
  };

  std::string programVersion;
  std::string moduleVersion;
  std::string hostName;
  std::string organisation;  // for whom, and by whom; "" (null) when not given
  std::string operatorName;
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
  std::string patternWritten;  // the bytes the passes wrote, in plain words

  // What the method amounts to under NIST SP 800-88 Rev. 1: "Clear" for an
  // overwrite of a disk's or partition's sectors, "" (null) where the target
  // is no medium (files, free space); the scope says which.
  std::string sanitizationCategory;
  std::string sanitizationScope;

  TimePoint start;
  TimePoint end;
  std::uint64_t bytesWritten = 0;
  bool bytesEstimated = true;

  bool wipeRan = false;  // false: refused or failed before a task started
  ProgressRecord finalRecord;
  std::string errorName;
  std::string errorText;

  // What the wipe cannot promise although it ran as asked (the old bytes of
  // a file on a copy-on-write file system may remain); "" for nothing.
  std::string caveat;

  // "wiped", "overwritten, not removed", "failed", "stopped", "refused"; a
  // purge: "purged", "cleared", "not-erased", "failed", "stopped", "refused".
  std::string outcome;
  std::string message;  // the program's own words on the outcome
  int exitCode = 0;
  Verification verification;

  // A purge's own record (PurgeResultJson: the method, the drive's answers,
  // the read-back), "" for a wipe. The algorithm then names the method.
  std::string purgeJson;

  // The key the report file is signed with (its fingerprint, see
  // ReportSigner) and the signature's file beside it; "" when unsigned.
  std::string signingKey;
  std::string signatureFile;
};

// "2026-11-01T09:30:05.250Z": UTC, ISO 8601, milliseconds.
std::string FormatUtc(WipeReport::TimePoint time);

// The report as one JSON object: indented for a file, on one line for the
// --json summary.
std::string RenderReport(const WipeReport& report, bool indented);
