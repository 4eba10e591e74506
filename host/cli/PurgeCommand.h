#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "host/cli/HostComponents.h"
#include "host/cli/ProgramOptions.h"
#include "host/cli/ProofOfErasure.h"
#include "host/cli/WipeReport.h"
#include "host/purge/DrivePurger.h"

// The purge command, from the command line to the exit status: names the
// disk through the device manager (which holds the listing the person is
// shown), refuses a system disk and a disk with a mounted partition, asks
// the drive what it can do, picks the method (the strongest the drive
// reports, or the one asked for), asks for the disk number, has the drive
// erase itself, reads the disk back and writes the report whatever the
// outcome. "purged" is said only where the read-back shows the erased
// state. Used once, from the main thread; the module is not involved.
class PurgeCommand {
 public:
  PurgeCommand(const ProgramOptions& options, std::unique_ptr<DrivePurger> purger);
  PurgeCommand(const PurgeCommand&) = delete;
  PurgeCommand& operator=(const PurgeCommand&) = delete;

  // The exit status (ExitCodes.h).
  int Run();

 private:
  // Each of these returns -1 to go on, or the exit status to end with.
  int NameTarget();
  int ChooseMethod();
  int Refuse(const std::string& message);
  int Fail(const std::string& message);
  bool Confirmed();

  void Purge();
  bool ShowProgress(double done, const char* stage);
  void Conclude(const PurgeResult& result);
  int Finish();

  const ProgramOptions& m_options;
  std::FILE* m_messages;  // what is said to the person; stderr with --json
  std::unique_ptr<DrivePurger> m_purger;
  HostComponents m_components;
  ProofOfErasure m_proof;
  WipeReport m_report;
  std::unique_ptr<DiskInfo> m_disk;
  DriveCapabilities m_capabilities;
  PurgeMethod m_method = PurgeMethod::kAuto;
  std::string m_reportPath;
  bool m_onTerminal = false;  // progress redrawn in place
  std::string m_stage;        // the stage last shown
  int m_shownPercent = -1;
};
