#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/purge/DriveCapabilities.h"
#include "host/purge/PurgeMethod.h"

// One command sent to the drive and what the drive answered, as the report
// keeps it: "NVMe Format NVM (SES 1, namespace 1)" / accepted / "" or
// "rejected: NVMe status 0x01 (invalid command opcode)".
struct DriveAnswer {
  std::string command;
  bool accepted = false;
  std::string answer;  // the drive's words, decoded; the raw status in hex beside them
};

// How the sectors read after the purge, judged sector by sector in ranges
// (pieces of 64 KiB of the sample, or of 4 MiB for a whole read-back). After
// a cryptographic method a range also counts as erased when it differs from
// what it held before the command (a fingerprint of each range is read first).
struct PurgeReadBack {
  bool ran = false;
  bool whole = false;  // every sector was read (--verify), else a sample
  std::string sample;  // how the sample was spread, in words, for the report
  std::uint64_t bytesRead = 0;
  std::uint64_t rangesRead = 0;
  std::uint64_t rangesErased = 0;       // uniform 0x00 or 0xFF (or changed, for a crypto erase)
  std::uint64_t rangesOverwritten = 0;  // still hold the host's overwrite (discard not honoured)
  std::uint64_t rangesOther = 0;        // neither: the old data may remain
  std::int64_t firstUnerasedByte = -1;
  std::string error;  // a read that failed
};

struct PurgeResult {
  // "purged": the drive's command ran and the read-back shows the erased state.
  // "cleared": only the host's overwrite is shown (a discard the drive ignored).
  // "not-erased": the drive answered but the read-back shows data that was there.
  // "refused": the drive or the program refused before anything changed.
  // "failed": the command or the read-back failed part way.
  // "stopped": the progress callback asked to stop; the message says what the
  // device holds then (part overwritten, or a sanitize going on in the drive).
  std::string outcome = "failed";
  PurgeMethod method = PurgeMethod::kAuto;  // the method actually run
  std::string message;                      // the outcome in plain words
  std::string nistCategory;                 // "Purge", "Clear" or "" (none shown)
  std::vector<DriveAnswer> answers;
  PurgeReadBack readBack;
  std::uint64_t bytesOverwritten = 0;  // by the host, before a discard
  bool driveChanged = false;           // something may have been written or erased
};

struct PurgeRequest {
  std::string device;               // the disk's device: /dev/nvme0n1, /dev/sdb, \\.\PhysicalDrive2
  std::uint64_t expectedBytes = 0;  // the size the person confirmed; another size is refused
  std::uint32_t expectedSectorBytes = 0;  // likewise; 0 where the caller was not told one
  PurgeMethod method = PurgeMethod::kAuto;
  bool tryUnreported = false;  // send the method even where the drive does not report it
  bool readWhole = false;      // read every sector back, not a sample
  // Called from the purging thread with the fraction done (0..1) and the stage
  // ("overwrite", "sanitize", "format", "discard", "read-back"); returning
  // false asks to stop where a stop is possible (the host's overwrite and the
  // read-back; a command the drive runs goes on inside the drive).
  std::function<bool(double done, const char* stage)> progress;
};

// Reads a drive's capabilities and purges it. Opens the device exclusively
// (Linux: O_EXCL on the block device, which a mounted partition refuses;
// Windows: \\.\PhysicalDriveN, which needs an administrator) and refuses a
// path that is not a disk. Blocking: Purge returns when the drive is done and
// the read-back ran. Each call opens and closes the device; no state is kept.
class DrivePurger {
 public:
  virtual ~DrivePurger() = default;
  virtual bool Capabilities(const std::string& device, DriveCapabilities* capabilities,
                            std::string* error) = 0;
  virtual PurgeResult Purge(const PurgeRequest& request) = 0;
};

// The result as one JSON object: "outcome", "method", "message",
// "nistCategory" (null for none), "answers" [{"command","accepted","answer"}],
// "readBack" {...}, "bytesOverwritten", "driveChanged".
std::string PurgeResultJson(const PurgeResult& result);

// The system's purger (the platform's backend, OpenDriveChannel).
std::unique_ptr<DrivePurger> NewSystemDrivePurger();

class DriveChannel;
enum class DriveAccess;
// Opens the drive at `device` for `access`; null with the reason.
using DriveChannelOpener = std::function<std::unique_ptr<DriveChannel>(
    const std::string& device, DriveAccess access, std::string* error)>;
// How often a command the drive runs by itself (a sanitize) is asked about,
// and how long it may take before the purger stops waiting and says so.
struct PurgePolling {
  std::chrono::milliseconds interval{2000};
  std::chrono::milliseconds limit{std::chrono::hours(24)};
};
// A purger over the drives `open` gives (the system's, or a test double).
std::unique_ptr<DrivePurger> NewDrivePurger(DriveChannelOpener open, PurgePolling polling = {});
