#include "host/cli/WipeCommand.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

#include "common/IWiperAlgorithm.h"
#include "host/cli/Console.h"
#include "host/cli/DiskListing.h"
#include "host/cli/DiskReader.h"
#include "host/cli/ExitCodes.h"
#include "host/cli/FilePlacement.h"
#include "host/cli/LocalSystem.h"
#include "host/cli/ReportCheck.h"
#include "host/cli/TargetVerifier.h"
#include "host/cli/VisibleText.h"

namespace {

using Command = ProgramOptions::Command;
constexpr int kGoOn = -1;

// File, folder and free-space wipes always use the zero-fill algorithm.
constexpr int kFileSystemAlgorithmType = IWiperAlgorithm::eTypeWriteZero;

// What the module reports for a system target; the program refuses such a
// target itself, before anything reaches the module, in the module's words.
constexpr std::uint32_t kSystemDiskCode = 0x00300301;
constexpr const char kSystemDiskName[] = "cannot-wipe-system-drive";
constexpr std::uint32_t kSystemPartitionCode = 0xE0300301;
constexpr const char kSystemPartitionName[] = "VTX_ERROR_SYSTEM_DRIVE_CANNOT_WIPPE";
constexpr std::uint32_t kSystemFreeSpaceCode = 0x0D103020;
constexpr const char kSystemFreeSpaceName[] = "VTX_UNSUPPORTED_SYSTEM_DRIVE";

// "NAME (0xCODE): text", leaving out the name or the text where there is none.
std::string DescribeCode(const std::string& name, std::uint32_t code, const std::string& text) {
  return (name.empty() ? "" : name + " ") + "(" + FormatCode(code) + ")" +
         (text.empty() ? "" : ": " + text);
}

std::string Passes(int passes) {
  return std::to_string(passes) + (passes == 1 ? " pass" : " passes");
}

ProgressDisplay::Mode DisplayMode(bool json) {
  if (json) return ProgressDisplay::Mode::kJson;
  return console::IsTerminal(console::Stream::kOutput) ? ProgressDisplay::Mode::kTerminal
                                                       : ProgressDisplay::Mode::kPlain;
}

// "20261101T093005Z": a UTC time as part of a file name.
std::string FileStamp(WipeReport::TimePoint time) {
  std::string stamp;
  for (const char c : FormatUtc(time).substr(0, 19)) {
    if (c != '-' && c != ':') stamp += c;
  }
  return stamp + "Z";
}

// A serial as part of a file name: letters, digits, '.', '-' and '_' kept,
// anything else '_'.
std::string FileSafe(const std::string& text) {
  std::string safe;
  for (const char c : text.substr(0, 64)) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-' || c == '_';
    safe += kept ? c : '_';
  }
  return safe;
}

// Whether `disk` may be among the disks of `disk --all`.
bool TakenByAll(const DiskInfo& disk) {
  if (disk.bSystemDisk != 0) return false;
  for (int index = 0; index < PartitionCount(disk); ++index) {
    const PartitionInfo& partition = disk.partitions[index];
    if (partition.cDriveLetter != 0 || !RecordText(partition.szMountPath).empty()) return false;
  }
  return true;
}

}  // namespace

WipeCommand::WipeCommand(const ProgramOptions& options)
    : m_options(options), m_messages(options.json ? stderr : stdout), m_proof(options) {}

int WipeCommand::Run() {
  m_common.programVersion = VTX_PROGRAM_VERSION;
  m_common.hostName = local_system::HostName();
  m_common.start = m_common.end = std::chrono::system_clock::now();
  std::string error;
  if (!m_proof.Prepare(&error)) {
    std::fprintf(stderr, "vantrix-wipe: %s\n", error.c_str());
    return kExitUsage;  // nothing was asked of the module
  }
  // The device manager also tells the machine; a file wipe goes on without it.
  if (m_components.OpenDeviceManager(&error)) m_common.machine = m_components.Machine();
  if (!m_module.Open(&error) || !ReadAlgorithmList(m_module, &m_algorithms, &error)) {
    FailAll(error);
    return Finish();
  }
  m_common.moduleVersion = m_module.ModuleVersion();
  // Without the interpreter, codes are reported without their texts.
  m_components.OpenErrorInterpreter(&error);

  const int status = ChooseAlgorithm();
  if (status != kGoOn) return status;  // a usage error: nothing was asked of the module
  if (NameTargets() != kGoOn) return Finish();

  // A report that could not be written afterwards would leave a wipe without
  // its record: asked for where it cannot go, nothing is wiped.
  for (const Target& target : m_targets) {
    if (!target.reportPath.empty() && !CheckFilePlaceable(target.reportPath, &error)) {
      std::fprintf(stderr, "vantrix-wipe: --report: %s; nothing was wiped\n",
                   PrintableText(error).c_str());
      return kExitUsage;
    }
  }
  if (m_options.IsDevice() && !Confirmed()) {
    RefuseAll("not confirmed; nothing was written");
    return Finish();
  }
  if (m_options.IsDevice() && !m_driver.Prepare(&error)) {
    FailAll(error);
    return Finish();
  }
  console::InstallStopHandlers();
  ProgressDisplay::Mode mode = DisplayMode(m_options.json);
  if (m_targets.size() > 1 && mode == ProgressDisplay::Mode::kTerminal &&
      !console::EnableCursorMoves()) {
    mode = ProgressDisplay::Mode::kPlain;
  }
  if (m_targets.size() == 1) {
    RunOne(mode);
  } else {
    RunMany(mode);
  }
  if (m_options.IsDevice() && !m_driver.Stop(&error))
    std::fprintf(stderr, "vantrix-wipe: warning: %s\n", error.c_str());
  const int finished = Finish();
  if (m_abandoned) {
    // A stuck task's thread never returns: unloading the module would wait
    // for it, so the process ends here, its reports written.
    std::fflush(nullptr);
    std::_Exit(finished);
  }
  return finished;
}

int WipeCommand::ChooseAlgorithm() {
  const std::string wanted = m_options.IsDevice() && !m_options.algorithm.empty()
                                 ? m_options.algorithm
                                 : std::to_string(kFileSystemAlgorithmType);
  const AlgorithmEntry* algorithm = FindAlgorithm(m_algorithms, wanted);
  if (algorithm == nullptr) {
    std::string names;
    for (const AlgorithmEntry& entry : m_algorithms) {
      names += "\n  " + std::to_string(entry.type) + "  " + entry.name;
    }
    std::fprintf(stderr, "vantrix-wipe: unknown algorithm '%s'; the algorithms are:%s\n",
                 wanted.c_str(), names.c_str());
    return kExitUsage;
  }
  m_common.algorithmName = algorithm->name;
  m_common.algorithmType = algorithm->type;
  m_common.passes = PassesOf(m_module, algorithm->type);
  return kGoOn;
}

int WipeCommand::NameTargets() {
  const bool onFiles = m_options.command == Command::kFile || m_options.command == Command::kFolder;
  if (onFiles) {
    m_targets.emplace_back(m_common);
    return NameFileTarget(m_targets.back());
  }
  std::string error;
  if (!m_components.OpenDeviceManager(&error)) return FailAll(error);
  // What the person is shown is what the module may reach: the device
  // manager holds this listing and refuses a disk that changes meanwhile.
  if (m_options.IsDevice() && !m_components.HoldListing(&error)) return FailAll(error);
  std::vector<int> numbers = m_options.disks;
  if (m_options.command != Command::kDisk) numbers = {m_options.disk};
  if (m_options.allDisks && !NameAllDisks(&numbers)) return kExitFailed;
  int worst = kGoOn;
  std::vector<int> statuses;
  for (const int number : numbers) {
    m_targets.emplace_back(m_common);
    statuses.push_back(NameDeviceTarget(m_targets.back(), number));
    if (statuses.back() != kGoOn)
      worst = worst == kGoOn ? statuses.back() : MostSerious(worst, statuses.back());
  }
  NameReportFiles();
  if (m_common.exitCode != kExitWiped) return m_common.exitCode;
  const std::string why = "another target of the command was " +
                          std::string(worst == kExitRefused ? "refused" : "not found") +
                          "; nothing was written";
  for (std::size_t at = 0; at < m_targets.size() && worst != kGoOn; ++at) {
    if (statuses[at] == kGoOn)
      Record(m_targets[at], worst == kExitRefused ? "refused" : "failed", why, worst);
  }
  return worst;
}

bool WipeCommand::NameAllDisks(std::vector<int>* numbers) {
  std::string error;
  for (const int number : m_components.DiskNumbers()) {
    const std::unique_ptr<DiskInfo> disk = m_components.Disk(number, &error);
    if (disk != nullptr && TakenByAll(*disk)) numbers->push_back(number);
  }
  if (numbers->empty()) {
    FailAll("no disk to wipe: every disk is marked SYSTEM or has a mounted partition");
    return false;
  }
  return true;
}

int WipeCommand::NameFileTarget(Target& target) {
  WipeReport& report = target.report;
  const bool file = m_options.command == Command::kFile;
  report.targetKind = file ? "file" : "folder";
  report.targetName = m_options.path;
  const local_system::Size size =
      file ? local_system::FileSize(m_options.path) : local_system::TreeSize(m_options.path);
  target.scale = {size.known, size.bytes};
  report.targetSize = target.scale;
  target.reportPath = m_options.reportPath;
  const std::string risk = local_system::CopyOnWriteRisk(m_options.path);
  if (!risk.empty() && !m_options.allowCopyOnWrite) {
    return Refuse(target,
                  Shown(report) + " cannot be wiped in place: " + PrintableText(risk) +
                      ", so the old bytes would stay on the device. Wipe the free space of the "
                      "volume after deleting it (free-space DISK PARTITION) or the whole device "
                      "instead, or give --allow-copy-on-write to overwrite it anyway");
  }
  if (!risk.empty()) report.caveat = risk + "; the old bytes may remain on the device";
  target.call = {file ? command_name::kWipeFile : command_name::kWipeFolder,
                 {CommandArgument::Text(m_options.path.c_str()), CommandArgument::Int(0)}};
  return kGoOn;
}

int WipeCommand::NameDeviceTarget(Target& target, int number) {
  WipeReport& report = target.report;
  const bool wholeDisk = m_options.command == Command::kDisk;
  report.disk = number;
  report.targetName = "disk " + std::to_string(number);
  report.targetKind = wholeDisk                                  ? "disk"
                      : m_options.command == Command::kFreeSpace ? "free-space"
                                                                 : "partition";
  std::string error;
  if ((target.disk = m_components.Disk(number, &error)) == nullptr) return Fail(target, error);
  const DiskInfo& disk = *target.disk;
  report.device = local_system::DiskDevice(disk);
  report.identity = m_components.Identity(number);
  if (!wholeDisk) {
    target.partition = FindPartition(disk, m_options.partition);
    if (target.partition == nullptr) {
      return Fail(target,
                  report.targetName + " has no partition " + std::to_string(m_options.partition));
    }
    report.partition = m_options.partition;
    report.targetName += ", partition " + std::to_string(m_options.partition);
  }
  const CommandArgument diskArgument = CommandArgument::Int(number);
  const CommandArgument partitionArgument = CommandArgument::Int(m_options.partition);

  if (m_options.command == Command::kFreeSpace) {
    report.targetName = "the free space of " + report.targetName;
    const local_system::Size free =
        local_system::FreeBytes(local_system::VolumeRoot(*target.partition));
    report.targetSize = {free.known, free.bytes};  // the progress counts it from the steps
    const std::string keptBack =
        local_system::FreeSpaceKeptBack(local_system::VolumeRoot(*target.partition));
    if (!keptBack.empty()) report.caveat = keptBack + "; the old bytes there may remain";
    if (target.partition->bSystemPartition != 0) {
      return RefuseSystemTarget(target, kSystemFreeSpaceCode, kSystemFreeSpaceName);
    }
    target.call = {command_name::kWipeVolumeFreeSpace,
                   {diskArgument, partitionArgument, CommandArgument::Int(0)}};
    return kGoOn;
  }

  target.scale = {true, wholeDisk ? static_cast<std::uint64_t>(disk.nBytesPerSector) *
                                        static_cast<std::uint64_t>(disk.nTotalSectors)
                                  : target.partition->nSizeInBytes};
  report.targetSize = target.scale;
  if (wholeDisk && disk.bSystemDisk != 0) {
    return RefuseSystemTarget(target, kSystemDiskCode, kSystemDiskName);
  }
  if (!wholeDisk && target.partition->bSystemPartition != 0) {
    return RefuseSystemTarget(target, kSystemPartitionCode, kSystemPartitionName);
  }
  const CommandArgument algorithm = CommandArgument::Int(report.algorithmType);
  target.call =
      wholeDisk ? WipeCall{command_name::kWipeDisk, {diskArgument, algorithm}}
                : WipeCall{command_name::kWipeVolume, {diskArgument, partitionArgument, algorithm}};
  return kGoOn;
}

// One report per target: with several disks (or a folder named) in the
// folder --report names, created if missing, each named by its drive's
// serial ("disk-<serial>-<UTC time>.json"; "disk-<number>-no-serial-..."
// for a drive that tells none); otherwise the file named.
void WipeCommand::NameReportFiles() {
  namespace fs = std::filesystem;
  const std::string& named = m_options.reportPath;
  if (named.empty()) return;
  std::error_code error;
  const bool folder = m_options.IsManyDisks() || named.back() == '/' || named.back() == '\\' ||
                      fs::is_directory(fs::path(named), error);
  const std::string absolute = local_system::AbsolutePath(named);
  if (!folder) {
    for (Target& target : m_targets) target.reportPath = absolute;
    return;
  }
  fs::create_directories(fs::path(absolute), error);
  if (!fs::is_directory(fs::path(absolute), error)) {
    FailAll("cannot make the report folder " + absolute + "; nothing was written");
    return;
  }
  const std::string stamp = FileStamp(m_common.start);
  std::vector<std::string> taken;
  for (Target& target : m_targets) {
    const DiskIdentity& identity = target.report.identity;
    std::string name = "disk-" +
                       (identity.serial ? FileSafe(*identity.serial)
                                        : std::to_string(target.report.disk) + "-no-serial") +
                       "-" + stamp;
    if (std::find(taken.begin(), taken.end(), name) != taken.end())
      name += "-disk" + std::to_string(target.report.disk);
    taken.push_back(name);
    target.reportPath = (fs::path(absolute) / (name + ".json")).string();
  }
}

int WipeCommand::Fail(Target& target, const std::string& message) {
  std::fprintf(stderr, "vantrix-wipe: %s\n", message.c_str());
  return Record(target, "failed", message, kExitFailed);
}

int WipeCommand::Refuse(Target& target, const std::string& message) {
  std::fprintf(stderr, "vantrix-wipe: refused: %s\n", message.c_str());
  return Record(target, "refused", message, kExitRefused);
}

int WipeCommand::Record(Target& target, const char* outcome, const std::string& message,
                        int status) {
  target.report.outcome = outcome;
  target.report.message = message;
  target.report.exitCode = status;
  return status;
}

// Said once, recorded in every target's report.
int WipeCommand::FailAll(const std::string& message) {
  m_common.exitCode = kExitFailed;
  if (m_targets.empty() && !m_options.IsManyDisks()) m_targets.emplace_back(m_common);
  std::fprintf(stderr, "vantrix-wipe: %s\n", message.c_str());
  for (Target& target : m_targets) Record(target, "failed", message, kExitFailed);
  if (m_targets.size() == 1 && m_targets[0].reportPath.empty())
    m_targets[0].reportPath = m_options.reportPath;
  return kExitFailed;
}

int WipeCommand::RefuseAll(const std::string& message) {
  m_common.exitCode = kExitRefused;
  std::fprintf(stderr, "vantrix-wipe: refused: %s\n", message.c_str());
  for (Target& target : m_targets) Record(target, "refused", message, kExitRefused);
  return kExitRefused;
}

int WipeCommand::RefuseSystemTarget(Target& target, std::uint32_t code, const char* name) {
  target.report.errorName = name;
  target.report.errorText = m_components.ErrorText(code);
  return Refuse(target, target.report.targetName + " holds the running system: " +
                            DescribeCode(name, code, target.report.errorText));
}

// The person types back the disk number, or with several disks their count;
// nothing else goes on.
bool WipeCommand::Confirmed() {
  if (m_options.yes) return true;
  const bool one = m_targets.size() == 1;
  const std::string what =
      one ? m_targets[0].report.targetName : std::to_string(m_targets.size()) + " disks";
  if (!console::IsTerminal(console::Stream::kInput)) {
    std::fprintf(stderr,
                 "vantrix-wipe: %s would be destroyed and there is no terminal to confirm on; "
                 "give --yes to wipe without the question.\n",
                 PrintableText(what).c_str());
    return false;
  }
  for (const Target& target : m_targets) {
    const DiskInfo& disk = *target.disk;
    std::fprintf(m_messages, "%s\n", DescribeDisk(disk, target.report.identity).c_str());
    for (int index = 0; index < PartitionCount(disk); ++index) {
      const PartitionInfo& partition = disk.partitions[index];
      std::fprintf(m_messages, "%s %s\n", &partition == target.partition ? " >" : "  ",
                   DescribePartition(partition).c_str());
    }
  }
  const std::string passes = Passes(m_common.passes);
  if (one) {
    std::fprintf(m_messages,
                 "About to wipe %s with %s (%s). Everything on it will be destroyed.\n"
                 "Type the disk number (%d) to go on; anything else cancels: ",
                 what.c_str(), m_common.algorithmName.c_str(), passes.c_str(),
                 m_targets[0].report.disk);
  } else {
    std::fprintf(m_messages,
                 "About to wipe these %s at once with %s (%s). Everything on them will be "
                 "destroyed.\nType the number of disks (%zu) to go on; anything else cancels: ",
                 what.c_str(), m_common.algorithmName.c_str(), passes.c_str(), m_targets.size());
  }
  std::fflush(m_messages);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  const std::string::size_type first = answer.find_first_not_of(" \t");
  const std::string::size_type last = answer.find_last_not_of(" \t\r");
  const std::string expected =
      std::to_string(one ? static_cast<std::size_t>(m_targets[0].report.disk) : m_targets.size());
  return first != std::string::npos && answer.substr(first, last - first + 1) == expected;
}

void WipeCommand::RunOne(ProgressDisplay::Mode mode) {
  Target& target = m_targets[0];
  ProgressDisplay display(mode, target.scale, stdout);
  std::fprintf(m_messages, "Wiping %s with %s (%s)...\n", Shown(target.report).c_str(),
               m_common.algorithmName.c_str(), Passes(m_common.passes).c_str());
  std::fflush(m_messages);
  const WipeOutcome outcome = RunWipe(m_module, target.call, display, m_messages);
  m_abandoned = m_abandoned || outcome.abandoned;
  Conclude(target, outcome);
  if (target.report.exitCode == kExitWiped && m_options.verify && m_options.IsDevice())
    Verify(target);
}

void WipeCommand::RunMany(ProgressDisplay::Mode mode) {
  std::vector<ProgressBoard::Row> rows;
  std::vector<WipeCall> calls;
  std::fprintf(m_messages, "Wiping %zu disks at once with %s (%s):\n", m_targets.size(),
               m_common.algorithmName.c_str(), Passes(m_common.passes).c_str());
  for (const Target& target : m_targets) {
    const DiskIdentity& identity = target.report.identity;
    rows.push_back({target.report.disk,
                    ShortText(identity.model.value_or("?"), 14) + " " + SerialTail(identity, 7),
                    target.scale});
    calls.push_back(target.call);
    std::fprintf(m_messages, "  %s (%s): %s\n", target.report.targetName.c_str(),
                 target.report.device.c_str(), DescribeDrive(identity).c_str());
  }
  std::fflush(m_messages);
  ProgressBoard board(mode, rows, stdout);
  const std::vector<WipeOutcome> outcomes = RunWipes(m_module, calls, board, m_messages);
  for (std::size_t at = 0; at < m_targets.size(); ++at) {
    m_abandoned = m_abandoned || outcomes[at].abandoned;
    Conclude(m_targets[at], outcomes[at]);
  }
  if (!m_options.verify) return;
  AlgorithmPattern();  // found out once, before the readers share it
  std::vector<std::thread> readers;
  for (Target& target : m_targets) {
    if (target.report.exitCode != kExitWiped) continue;
    readers.emplace_back([this, &target] {
      try {
        Verify(target);
      } catch (...) {
        target.report.verification.result = "not-run";
        target.report.exitCode = kExitFailed;
      }
    });
  }
  for (std::thread& reader : readers) reader.join();
}

void WipeCommand::Conclude(Target& target, const WipeOutcome& outcome) {
  WipeReport& report = target.report;
  report.start = outcome.start;
  report.end = outcome.end;
  report.wipeRan = outcome.started;
  if (!outcome.failure.empty()) {
    Fail(target, outcome.failure);
    return;
  }
  const ProgressRecord& final = outcome.final;
  report.finalRecord = final;
  report.errorText = final.errorCode != 0 ? m_components.ErrorText(final.errorCode) : "";
  // msg_info holds the module's error name, or, for a code without one, the
  // interpreter's text.
  report.errorName = final.info != report.errorText ? final.info : "";
  const bool wiped = final.errorCode == 0 && final.type == 32;
  CountBytesWritten(target, outcome, wiped);

  const std::string code = DescribeCode(report.errorName, final.errorCode, report.errorText);
  const double seconds = std::chrono::duration<double>(report.end - report.start).count();
  if (wiped && IsLeftBehind(target)) return;
  if (wiped) {
    report.outcome = "wiped";
    report.exitCode = kExitWiped;
    report.message = "wiped " + Shown(report) + ": " + (report.bytesEstimated ? "about " : "") +
                     FormatBytes(report.bytesWritten) + " written in " + FormatDuration(seconds);
    std::fprintf(m_messages, "%s\n", report.message.c_str());
    return;
  }
  // A stop asked before the task wrote anything (its open still blocked)
  // ends it whatever code the interrupted open gave: the person stopped it.
  const bool stoppedBeforeWriting =
      outcome.stopRequested && !outcome.sawRunning && !IsSystemRefusalCode(final.errorCode);
  if (IsStopCode(final.errorCode) || stoppedBeforeWriting) {
    report.outcome = "stopped";
    report.exitCode = kExitStopped;
    report.message =
        "stopped by the user; " + Shown(report) + " is left as the module left it: " + code;
  } else if (IsSystemRefusalCode(final.errorCode)) {
    report.outcome = "refused";
    report.exitCode = kExitRefused;
    report.message = "the module refused " + Shown(report) + ": " + code;
  } else {
    report.outcome = "failed";
    report.exitCode = kExitFailed;
    report.message = "the wipe of " + Shown(report) + " failed: " + code;
    // The device manager says why it withheld a disk (one that changed since
    // it was listed, for one).
    std::string why;
    if (target.disk != nullptr && m_components.Disk(report.disk, &why) == nullptr)
      report.message += "; " + why;
  }
  std::fprintf(stderr, "vantrix-wipe: %s\n", report.message.c_str());
}

// Exact where the target's size is known and the wipe completed: every pass
// covers the whole blocks and the tail is written once, after the last pass.
// Otherwise counted from the steps of the last record, an estimate.
void WipeCommand::CountBytesWritten(Target& target, const WipeOutcome& outcome, bool wiped) {
  WipeReport& report = target.report;
  const TargetScale& size = report.targetSize;
  if (wiped && size.sizeKnown && report.targetKind != "free-space") {
    const std::uint64_t sector =
        target.disk != nullptr ? static_cast<std::uint64_t>(target.disk->nBytesPerSector) : 1;
    const std::uint64_t bytes = size.bytes / sector * sector;
    const std::uint64_t wholeBlocks = bytes / kWipeBlockBytes * kWipeBlockBytes;
    report.bytesWritten =
        static_cast<std::uint64_t>(report.passes) * wholeBlocks + (bytes - wholeBlocks);
    report.bytesEstimated = false;
  } else if (outcome.sawRunning || wiped) {
    // A wipe that finished before its first reading counts the final record.
    const ProgressRecord& last = outcome.sawRunning ? outcome.lastRunning : outcome.final;
    const std::int64_t steps = wiped ? last.stepsTotal : last.stepsCurrent + 1;
    report.bytesWritten = static_cast<std::uint64_t>(steps) * kWipeBlockBytes;
  }
}

// Called on a thread of its own per disk when several are verified: it
// touches only its target.
void WipeCommand::Verify(Target& target) {
  WipeReport& report = target.report;
  WipeReport::Verification& verification = report.verification;
  verification.result = "not-run";
  const VerifyPattern* known = AlgorithmPattern();
  std::string error = "the module gives no algorithm to compare with";
  const std::unique_ptr<DiskReader> reader =
      known != nullptr ? OpenDiskReader(*target.disk, &error) : nullptr;
  if (reader == nullptr) {
    verification.detail = error;
    Fail(target, "cannot verify: " + error);
    return;
  }
  const std::uint64_t sectorSize = static_cast<std::uint64_t>(target.disk->nBytesPerSector);
  VerifyRange range;
  range.sectorSize = static_cast<std::uint32_t>(sectorSize);
  range.firstByte = target.partition != nullptr ? target.partition->nStartSector * sectorSize : 0;
  range.bytes = report.targetSize.bytes;
  const VerifyPattern& pattern = *known;
  verification.method = "read back through " + report.device +
                        " after the wipe and compared byte for byte with the pattern written";
  std::fprintf(m_messages, "Verifying %s: reading %s back from %s...\n", Shown(report).c_str(),
               FormatBytes(range.bytes).c_str(), report.device.c_str());
  std::fflush(m_messages);
  const VerifyResult result = VerifyTarget(*reader, range, pattern, {});
  verification.bytesChecked = result.bytesChecked;
  if (result.readFailed) {
    verification.detail = result.error;
    Fail(target, "cannot verify: " + result.error);
    return;
  }
  if (result.matches) {
    verification.result = "passed";
    verification.detail = pattern.clockByte ? "the whole target holds one and the same byte"
                                            : "every block holds the algorithm's pattern";
    std::fprintf(m_messages, "Verified %s: %s (%s read back).\n", Shown(report).c_str(),
                 verification.detail.c_str(), FormatBytes(result.bytesChecked).c_str());
    return;
  }
  char detail[160];
  std::snprintf(detail, sizeof(detail),
                "sector %lld of the disk (byte %llu of the target) holds 0x%02X, not 0x%02X",
                static_cast<long long>(result.firstMismatchSector),
                static_cast<unsigned long long>(result.bytesChecked), result.foundByte,
                result.expectedByte);
  verification.result = "failed";
  verification.firstMismatchSector = result.firstMismatchSector;
  verification.detail = detail;
  Fail(target, "verification failed: " + verification.detail);
}

// The pattern every pass wrote: the block the algorithm fills for pass 0
// (TargetVerifier); null where the module gives no algorithm. Found out once.
const VerifyPattern* WipeCommand::AlgorithmPattern() {
  if (!m_patternRead) {
    m_patternRead = true;
    IWiperAlgorithm* algorithm = m_module.NewAlgorithm(m_common.algorithmType);
    m_patternKnown = PatternOfAlgorithm(algorithm, &m_pattern);
    if (algorithm != nullptr) algorithm->Release();
  }
  return m_patternKnown ? &m_pattern : nullptr;
}

// What the passes wrote and what that amounts to, for a report that is
// printed or written; then the report is stamped for its proofs.
void WipeCommand::DescribeProof(WipeReport& report, bool toFile) {
  const bool reported = m_options.json || toFile;
  const bool written = report.wipeRan && report.outcome != "refused";
  if (reported && written && AlgorithmPattern() != nullptr) {
    ProofOfErasure::DescribeMethod(m_pattern, &report);
  } else if (!written) {
    report.patternWritten = "none: nothing was written";
  }
}

// The report, then its signature and certificate from the same bytes.
bool WipeCommand::WriteReport(Target& target, std::string* error) {
  m_proof.Stamp(target.reportPath, &target.report);
  const std::string text = RenderReport(target.report, /*indented=*/true) + "\n";
  return PlaceFile(target.reportPath, text, error) &&
         m_proof.WriteProofs(target.reportPath, text, error);
}

// A file or folder the module reports wiped must be gone; where names are
// left (an immutable folder, a file in use), the data was overwritten but the
// names stay, and the wipe is not done. True when that is so.
bool WipeCommand::IsLeftBehind(Target& target) {
  if (m_options.command != Command::kFile && m_options.command != Command::kFolder) return false;
  const std::uint64_t names = local_system::NamesLeft(m_options.path);
  if (names == 0) return false;
  WipeReport& report = target.report;
  report.outcome = "overwritten, not removed";
  report.exitCode = kExitFailed;
  report.message = "overwritten, not removed: " + std::to_string(names) +
                   (names == 1 ? " name is" : " names are") + " left at " + Shown(report);
  std::fprintf(stderr, "vantrix-wipe: %s\n", report.message.c_str());
  return true;
}

std::string WipeCommand::Shown(const WipeReport& report) {
  return PrintableText(report.targetName);
}

int WipeCommand::Finish() {
  int status = m_targets.empty() ? m_common.exitCode : kExitWiped;
  for (Target& target : m_targets) {
    WipeReport& report = target.report;
    int targetStatus = report.exitCode;
    DescribeProof(report, !target.reportPath.empty());
    if (m_options.json) std::printf("%s\n", RenderReport(report, /*indented=*/false).c_str());
    std::string error;
    if (!target.reportPath.empty() && !WriteReport(target, &error)) {
      std::fprintf(stderr, "vantrix-wipe: the report could not be written: %s\n",
                   PrintableText(error).c_str());
      if (targetStatus == kExitWiped) targetStatus = kExitReportUnwritten;
    }
    status = MostSerious(status, targetStatus);
  }
  std::fflush(stdout);
  console::NoteWipeEnded();  // the reports are out: a closing console may end the process
  return status;
}
