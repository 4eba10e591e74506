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

// One wipe command, from the command line to the exit status: loads the
// module and the host's components, names the targets and their sizes and
// drives, refuses a system target and an unconfirmed destructive wipe, loads
// only this installation's disk-I/O driver for a disk or partition
// (DiskDriverSession) and unloads it after the wipe, runs the wipe (several
// disks at once as tasks of their own), reads a disk or partition back when
// asked (--verify, each disk on a thread of its own), and writes the reports
// (--report, --json) with their proofs (ProofOfErasure) whatever the
// outcome. Used once, from the main thread.
class WipeCommand {
 public:
  explicit WipeCommand(const ProgramOptions& options);
  WipeCommand(const WipeCommand&) = delete;
  WipeCommand& operator=(const WipeCommand&) = delete;

  // The exit status (ExitCodes.h).
  int Run();

 private:
  // One target and what becomes of it.
  struct Target {
    explicit Target(const WipeReport& common) : report(common) {}
    WipeReport report;
    std::unique_ptr<DiskInfo> disk;
    const PartitionInfo* partition = nullptr;  // inside *disk
    WipeCall call;
    TargetScale scale;
    std::string reportPath;
  };

  // Each of these returns -1 to go on, or the exit status to end with.
  int ChooseAlgorithm();
  int NameTargets();
  int NameFileTarget(Target& target);
  int NameDeviceTarget(Target& target, int disk);
  bool NameAllDisks(std::vector<int>* numbers);
  int Refuse(Target& target, const std::string& message);
  int RefuseSystemTarget(Target& target, std::uint32_t code, const char* name);
  int Fail(Target& target, const std::string& message);
  int Record(Target& target, const char* outcome, const std::string& message, int status);
  int FailAll(const std::string& message);
  int RefuseAll(const std::string& message);
  bool Confirmed();

  void RunOne(ProgressDisplay::Mode mode);
  void RunMany(ProgressDisplay::Mode mode);
  void Conclude(Target& target, const WipeOutcome& outcome);
  bool IsLeftBehind(Target& target);
  // The target's name as the terminal may show it.
  static std::string Shown(const WipeReport& report);
  void CountBytesWritten(Target& target, const WipeOutcome& outcome, bool wiped);
  const VerifyPattern* AlgorithmPattern();
  void Verify(Target& target);
  void NameReportFiles();
  int Finish();
  void DescribeProof(WipeReport& report, bool toFile);
  bool WriteReport(Target& target, std::string* error);

  const ProgramOptions& m_options;
  std::FILE* m_messages;  // what is said to the person; stderr with --json
  ModuleSession m_module;
  HostComponents m_components;
  DiskDriverSession m_driver;
  std::vector<AlgorithmEntry> m_algorithms;
  WipeReport m_common;  // what every target's report shares
  std::vector<Target> m_targets;
  ProofOfErasure m_proof;
  bool m_patternRead = false;
  bool m_patternKnown = false;
  VerifyPattern m_pattern;
  bool m_abandoned = false;  // a task could not be stopped and was left running
};
