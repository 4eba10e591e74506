#pragma once

// The exit status of vantrix-wipe, as --help and the README list it.
enum ExitCode : int {
  kExitWiped = 0,            // the wipe finished without error (or the listing was printed)
  kExitFailed = 1,           // the wipe failed, or the module or a host component is missing
  kExitUsage = 2,            // the command line was wrong
  kExitStopped = 3,          // the person stopped the wipe (Ctrl-C, SIGINT, SIGTERM)
  kExitRefused = 4,          // a system target, no confirmation, or a copy-on-write file system
  kExitReportUnwritten = 5,  // the wipe completed but its report could not be written
};
