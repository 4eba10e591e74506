#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/cli/AlgorithmChoice.h"
#include "host/cli/DiskDriverSession.h"
#include "host/cli/HostComponents.h"
#include "host/cli/ModuleSession.h"
#include "host/cli/ProgramOptions.h"
#include "host/cli/ProofOfErasure.h"
#include "host/cli/TargetVerifier.h"
#include "host/cli/WipeReport.h"
#include "host/cli/WipeSession.h"

// One wipe, from the command line to the exit status: loads the module and
// the host's components, names the target and its size, refuses a system
// target and an unconfirmed destructive wipe, loads only this installation's
// disk-I/O driver for a disk or partition (DiskDriverSession) and unloads it
// after the wipe, runs the wipe, reads a disk or
// partition back when asked (--verify), and writes the report (--report,
// --json) whatever the outcome. Used once, from the main thread.
class WipeCommand {
 public:
  explicit WipeCommand(const ProgramOptions& options);
  WipeCommand(const WipeCommand&) = delete;
  WipeCommand& operator=(const WipeCommand&) = delete;

  // The exit status (ExitCodes.h).
  int Run();

 private:
  // Each of these returns -1 to go on, or the exit status to end with.
  int ChooseAlgorithm();
  int NameFileTarget(WipeCall* call, TargetScale* scale);
  int NameDeviceTarget(WipeCall* call, TargetScale* scale);
  int Refuse(const std::string& message);
  int RefuseSystemTarget(std::uint32_t code, const char* name);
  int Fail(const std::string& message);
  bool Confirmed();

  void Conclude(const WipeOutcome& outcome);
  bool IsLeftBehind();
  // The target's name as the terminal may show it.
  std::string Shown() const;
  void CountBytesWritten(const WipeOutcome& outcome, bool wiped);
  const VerifyPattern* AlgorithmPattern();
  void Verify();
  int Finish();
  bool WriteReport(std::string* error);

  const ProgramOptions& m_options;
  std::FILE* m_messages;  // what is said to the person; stderr with --json
  std::string m_reportPath;
  ModuleSession m_module;
  HostComponents m_components;
  DiskDriverSession m_driver;
  std::vector<AlgorithmEntry> m_algorithms;
  std::unique_ptr<DiskInfo> m_disk;
  const PartitionInfo* m_partition = nullptr;  // inside *m_disk
  WipeReport m_report;
  ProofOfErasure m_proof;
  bool m_patternRead = false;
  bool m_patternKnown = false;
  VerifyPattern m_pattern;
};
