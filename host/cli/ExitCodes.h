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

// The more serious of two exit statuses of wipes, for a command that ran
// several: refused over stopped over failed over any other failure, and
// anything over 0.
inline int MostSerious(int a, int b) {
  const auto rank = [](int status) {
    return status == kExitWiped     ? 0
           : status == kExitRefused ? 4
           : status == kExitStopped ? 3
           : status == kExitFailed  ? 2
                                    : 1;
  };
  return rank(a) >= rank(b) ? a : b;
}
