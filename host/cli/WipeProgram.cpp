#include "host/cli/WipeProgram.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "host/cli/AlgorithmChoice.h"
#include "host/cli/DiskListing.h"
#include "host/cli/ExitCodes.h"
#include "host/cli/HostComponents.h"
#include "host/cli/ModuleSession.h"
#include "host/cli/LocalSystem.h"
#include "host/cli/ProgramOptions.h"
#include "host/cli/PurgeCommand.h"
#include "host/cli/ReportCommands.h"
#include "host/cli/VisibleText.h"
#include "host/cli/WipeCommand.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "vantrix-wipe: %s\n", message.c_str());
  return kExitFailed;
}

int PrintVersion() {
  std::printf("vantrix-wipe %s\n", VTX_PROGRAM_VERSION);
  ModuleSession module;
  std::string error;
  const bool opened = module.Open(&error);
  const std::string version = module.ModuleVersion();
  if (!version.empty())
    std::printf("module %s (%s)\n", version.c_str(), module.ModulePath().c_str());
  return opened ? kExitWiped : Fail(error);
}

// The module's catalogue with each algorithm's passes; --json: as the module
// renders it.
int ListAlgorithms(const ProgramOptions& options) {
  ModuleSession module;
  std::vector<AlgorithmEntry> algorithms;
  std::string error;
  if (!module.Open(&error) || !ReadAlgorithmList(module, &algorithms, &error)) return Fail(error);
  if (options.json) {
    const CommandAnswer answer =
        module.Call(command_name::kGetWiperAlgorithms, {CommandArgument::Int(0)});
    std::printf("%s\n", answer.json.c_str());
    return kExitWiped;
  }
  std::printf("%-5s  %-24s  %s\n", "TYPE", "NAME", "PASSES");
  for (const AlgorithmEntry& entry : algorithms) {
    std::printf("%-5d  %-24s  %d\n", entry.type, entry.name.c_str(), PassesOf(module, entry.type));
  }
  return kExitWiped;
}

// What the drive of `disk` can do to purge itself, asked with commands that
// change nothing.
void AskWhatDriveCanDo(DrivePurger& purger, ListedDisk* disk) {
  DriveCapabilities capabilities;
  std::string error;
  if (purger.Capabilities(local_system::DiskDevice(*disk->record), &capabilities, &error)) {
    disk->purgeJson = CapabilitiesJson(capabilities);
    disk->purgeSummary = DescribeCapabilities(capabilities);
    return;
  }
  disk->purgeJson = CapabilitiesErrorJson(error);
  disk->purgeSummary = "purge: the drive could not be asked (" + PrintableText(error) + ")";
}

// The device manager's disks and partitions, read from its library directly,
// and what each drive can do to purge itself.
int ListDisks(const ProgramOptions& options) {
  HostComponents components;
  std::string error;
  if (!components.OpenDeviceManager(&error) || !components.CanReadDisks(&error)) {
    return Fail(error);
  }
  std::vector<ListedDisk> disks;
  for (const int number : components.DiskNumbers()) {
    std::unique_ptr<DiskInfo> disk = components.Disk(number, &error);
    if (disk == nullptr) {
      Fail(error);
      continue;
    }
    disks.push_back({std::move(disk), components.Identity(number), "", ""});
  }
  const std::unique_ptr<DrivePurger> purger = NewSystemDrivePurger();
  for (ListedDisk& disk : disks) AskWhatDriveCanDo(*purger, &disk);
  if (options.json) {
    std::printf("%s\n", DisksAsJson(disks).c_str());
    return kExitWiped;
  }
  if (disks.empty()) std::printf("The device manager knows no disk.\n");
  bool positions = false;
  for (const ListedDisk& disk : disks) {
    std::printf("%s\n    %s\n", DescribeDisk(*disk.record, disk.identity).c_str(),
                disk.purgeSummary.c_str());
    for (int index = 0; index < PartitionCount(*disk.record); ++index) {
      std::printf("  %s\n", DescribePartition(disk.record->partitions[index]).c_str());
    }
    positions = positions || !disk.identity.stableNumber;
  }
  if (positions) {
    std::printf("* a position in this listing: it may change when disks come or go.\n");
  } else if (!disks.empty()) {
    std::printf("Disk numbers stay the same while disks come and go.\n");
  }
  return kExitWiped;
}

// A description file stands in for the machine's disks in tests; whoever
// runs the program with one is told so on every run.
void SayWhereDisksComeFrom() {
  const char* description = std::getenv("VTX_DEVICE_DESCRIPTION");
  if (description == nullptr || *description == '\0') return;
  std::fprintf(stderr,
               "vantrix-wipe: the disks come from the device description %s "
               "(VTX_DEVICE_DESCRIPTION), not from this machine\n",
               PrintableText(description).c_str());
}

}  // namespace

int RunWipeProgram(int argc, char** argv) {
  ProgramOptions options;
  const int parsed = ParseProgramOptions(argc, argv, &options);
  if (parsed >= 0) return parsed;
  SayWhereDisksComeFrom();
  switch (options.command) {
    case ProgramOptions::Command::kVersion:
      return PrintVersion();
    case ProgramOptions::Command::kAlgorithms:
      return ListAlgorithms(options);
    case ProgramOptions::Command::kDisks:
      return ListDisks(options);
    case ProgramOptions::Command::kCheckReport:
      return RunCheckReport(options);
    case ProgramOptions::Command::kCertificate:
      return RunCertificate(options);
    case ProgramOptions::Command::kPurge:
      return PurgeCommand(options, NewSystemDrivePurger()).Run();
    default:
      return WipeCommand(options).Run();
  }
}
