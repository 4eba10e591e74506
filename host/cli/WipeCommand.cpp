#include "host/cli/WipeCommand.h"

#include <cstdlib>
#include <iostream>

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

}  // namespace

WipeCommand::WipeCommand(const ProgramOptions& options)
    : m_options(options),
      m_messages(options.json ? stderr : stdout),
      m_reportPath(options.reportPath),
      m_proof(options) {}

int WipeCommand::Run() {
  m_report.programVersion = VTX_PROGRAM_VERSION;
  m_report.hostName = local_system::HostName();
  m_report.start = m_report.end = std::chrono::system_clock::now();
  std::string error;
  // A report that could not be written afterwards would leave a wipe without
  // its record: asked for where it cannot go, nothing is wiped.
  if (!m_reportPath.empty() && !CheckFilePlaceable(m_reportPath, &error)) {
    std::fprintf(stderr, "vantrix-wipe: --report: %s; nothing was wiped\n",
                 PrintableText(error).c_str());
    return kExitUsage;
  }
  if (!m_proof.Prepare(&error)) {
    std::fprintf(stderr, "vantrix-wipe: %s\n", error.c_str());
    return kExitUsage;  // nothing was asked of the module
  }
  if (!m_module.Open(&error) || !ReadAlgorithmList(m_module, &m_algorithms, &error)) {
    m_report.exitCode = Fail(error);
    return Finish();
  }
  m_report.moduleVersion = m_module.ModuleVersion();
  // Without the interpreter, codes are reported without their texts.
  m_components.OpenErrorInterpreter(&error);

  int status = ChooseAlgorithm();
  if (status != kGoOn) return status;  // a usage error: nothing was asked of the module
  WipeCall call;
  TargetScale scale;
  const bool onFiles = m_options.command == Command::kFile || m_options.command == Command::kFolder;
  status = onFiles ? NameFileTarget(&call, &scale) : NameDeviceTarget(&call, &scale);
  if (status != kGoOn) {
    m_report.exitCode = status;
    return Finish();
  }

  if (m_options.IsDevice()) {
    m_reportPath = local_system::AbsolutePath(m_reportPath);
    if (!m_driver.Prepare(&error)) {
      m_report.exitCode = Fail(error);
      return Finish();
    }
  }
  console::InstallStopHandlers();
  ProgressDisplay display(DisplayMode(m_options.json), scale, stdout);
  std::fprintf(m_messages, "Wiping %s with %s (%s)...\n", Shown().c_str(),
               m_report.algorithmName.c_str(), Passes(m_report.passes).c_str());
  std::fflush(m_messages);
  const WipeOutcome outcome = RunWipe(m_module, call, display, m_messages);
  Conclude(outcome);
  if (!m_driver.Stop(&error)) std::fprintf(stderr, "vantrix-wipe: warning: %s\n", error.c_str());
  if (m_report.exitCode == kExitWiped && m_options.verify && m_options.IsDevice()) Verify();
  status = Finish();
  if (outcome.abandoned) {
    // The stuck task's thread never returns: unloading the module would
    // wait for it, so the process ends here, its report written.
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
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
  m_report.algorithmName = algorithm->name;
  m_report.algorithmType = algorithm->type;
  m_report.passes = PassesOf(m_module, algorithm->type);
  return kGoOn;
}

int WipeCommand::NameFileTarget(WipeCall* call, TargetScale* scale) {
  const bool file = m_options.command == Command::kFile;
  m_report.targetKind = file ? "file" : "folder";
  m_report.targetName = m_options.path;
  const local_system::Size size =
      file ? local_system::FileSize(m_options.path) : local_system::TreeSize(m_options.path);
  *scale = {size.known, size.bytes};
  m_report.targetSize = *scale;
  const std::string risk = local_system::CopyOnWriteRisk(m_options.path);
  if (!risk.empty() && !m_options.allowCopyOnWrite) {
    return Refuse(Shown() + " cannot be wiped in place: " + PrintableText(risk) +
                  ", so the old bytes would stay on the device. Wipe the free space of the "
                  "volume after deleting it (free-space DISK PARTITION) or the whole device "
                  "instead, or give --allow-copy-on-write to overwrite it anyway");
  }
  if (!risk.empty()) m_report.caveat = risk + "; the old bytes may remain on the device";
  *call = {file ? command_name::kWipeFile : command_name::kWipeFolder,
           {CommandArgument::Text(m_options.path.c_str()), CommandArgument::Int(0)}};
  return kGoOn;
}

int WipeCommand::NameDeviceTarget(WipeCall* call, TargetScale* scale) {
  std::string error;
  if (!m_components.OpenDeviceManager(&error) ||
      (m_disk = m_components.Disk(m_options.disk, &error)) == nullptr) {
    return Fail(error);
  }
  const DiskInfo& disk = *m_disk;
  const bool wholeDisk = m_options.command == Command::kDisk;
  m_report.disk = m_options.disk;
  m_report.device = local_system::DiskDevice(disk);
  m_report.targetName = "disk " + std::to_string(m_options.disk);
  if (!wholeDisk) {
    m_partition = FindPartition(disk, m_options.partition);
    if (m_partition == nullptr) {
      return Fail(m_report.targetName + " has no partition " + std::to_string(m_options.partition));
    }
    m_report.partition = m_options.partition;
    m_report.targetName += ", partition " + std::to_string(m_options.partition);
  }
  const CommandArgument diskArgument = CommandArgument::Int(m_options.disk);
  const CommandArgument partitionArgument = CommandArgument::Int(m_options.partition);

  if (m_options.command == Command::kFreeSpace) {
    m_report.targetKind = "free-space";
    m_report.targetName = "the free space of " + m_report.targetName;
    const local_system::Size free = local_system::FreeBytes(local_system::VolumeRoot(*m_partition));
    m_report.targetSize = {free.known, free.bytes};  // the progress counts it from the steps
    if (m_partition->bSystemPartition != 0) {
      return RefuseSystemTarget(kSystemFreeSpaceCode, kSystemFreeSpaceName);
    }
    *call = {command_name::kWipeVolumeFreeSpace,
             {diskArgument, partitionArgument, CommandArgument::Int(0)}};
    return kGoOn;
  }

  m_report.targetKind = wholeDisk ? "disk" : "partition";
  *scale = {true, wholeDisk ? static_cast<std::uint64_t>(disk.nBytesPerSector) *
                                  static_cast<std::uint64_t>(disk.nTotalSectors)
                            : m_partition->nSizeInBytes};
  m_report.targetSize = *scale;
  if (wholeDisk && disk.bSystemDisk != 0) {
    return RefuseSystemTarget(kSystemDiskCode, kSystemDiskName);
  }
  if (!wholeDisk && m_partition->bSystemPartition != 0) {
    return RefuseSystemTarget(kSystemPartitionCode, kSystemPartitionName);
  }
  if (!Confirmed()) return Refuse("not confirmed; nothing was written");
  const CommandArgument algorithm = CommandArgument::Int(m_report.algorithmType);
  *call = wholeDisk
              ? WipeCall{command_name::kWipeDisk, {diskArgument, algorithm}}
              : WipeCall{command_name::kWipeVolume, {diskArgument, partitionArgument, algorithm}};
  return kGoOn;
}

int WipeCommand::Fail(const std::string& message) {
  std::fprintf(stderr, "vantrix-wipe: %s\n", message.c_str());
  m_report.outcome = "failed";
  m_report.message = message;
  return kExitFailed;
}

int WipeCommand::Refuse(const std::string& message) {
  std::fprintf(stderr, "vantrix-wipe: refused: %s\n", message.c_str());
  m_report.outcome = "refused";
  m_report.message = message;
  return kExitRefused;
}

int WipeCommand::RefuseSystemTarget(std::uint32_t code, const char* name) {
  m_report.errorName = name;
  m_report.errorText = m_components.ErrorText(code);
  return Refuse(m_report.targetName +
                " holds the running system: " + DescribeCode(name, code, m_report.errorText));
}

// The person types the disk number back; nothing else goes on.
bool WipeCommand::Confirmed() {
  if (m_options.yes) return true;
  if (!console::IsTerminal(console::Stream::kInput)) {
    std::fprintf(stderr,
                 "vantrix-wipe: %s would be destroyed and there is no terminal to confirm on; "
                 "give --yes to wipe without the question.\n",
                 Shown().c_str());
    return false;
  }
  const DiskInfo& disk = *m_disk;
  std::fprintf(m_messages, "%s\n", DescribeDisk(disk).c_str());
  for (int index = 0; index < PartitionCount(disk); ++index) {
    const PartitionInfo& partition = disk.partitions[index];
    std::fprintf(m_messages, "%s %s\n", &partition == m_partition ? " >" : "  ",
                 DescribePartition(partition).c_str());
  }
  std::fprintf(m_messages,
               "About to wipe %s with %s (%s). Everything on it will be destroyed.\n"
               "Type the disk number (%d) to go on; anything else cancels: ",
               Shown().c_str(), m_report.algorithmName.c_str(), Passes(m_report.passes).c_str(),
               m_options.disk);
  std::fflush(m_messages);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  const std::string::size_type first = answer.find_first_not_of(" \t");
  const std::string::size_type last = answer.find_last_not_of(" \t\r");
  return first != std::string::npos &&
         answer.substr(first, last - first + 1) == std::to_string(m_options.disk);
}

void WipeCommand::Conclude(const WipeOutcome& outcome) {
  m_report.start = outcome.start;
  m_report.end = outcome.end;
  m_report.wipeRan = outcome.started;
  if (!outcome.failure.empty()) {
    m_report.exitCode = Fail(outcome.failure);
    return;
  }
  const ProgressRecord& final = outcome.final;
  m_report.finalRecord = final;
  m_report.errorText = final.errorCode != 0 ? m_components.ErrorText(final.errorCode) : "";
  // msg_info holds the module's error name, or, for a code without one, the
  // interpreter's text.
  m_report.errorName = final.info != m_report.errorText ? final.info : "";
  const bool wiped = final.errorCode == 0 && final.type == 32;
  CountBytesWritten(outcome, wiped);

  const std::string code = DescribeCode(m_report.errorName, final.errorCode, m_report.errorText);
  const double seconds = std::chrono::duration<double>(m_report.end - m_report.start).count();
  if (wiped && IsLeftBehind()) return;
  if (wiped) {
    m_report.outcome = "wiped";
    m_report.exitCode = kExitWiped;
    m_report.message = "wiped " + Shown() + ": " + (m_report.bytesEstimated ? "about " : "") +
                       FormatBytes(m_report.bytesWritten) + " written in " +
                       FormatDuration(seconds);
    std::fprintf(m_messages, "%s\n", m_report.message.c_str());
    return;
  }
  // A stop asked before the task wrote anything (its open still blocked)
  // ends it whatever code the interrupted open gave: the person stopped it.
  const bool stoppedBeforeWriting =
      outcome.stopRequested && !outcome.sawRunning && !IsSystemRefusalCode(final.errorCode);
  if (IsStopCode(final.errorCode) || stoppedBeforeWriting) {
    m_report.outcome = "stopped";
    m_report.exitCode = kExitStopped;
    m_report.message =
        "stopped by the user; " + Shown() + " is left as the module left it: " + code;
  } else if (IsSystemRefusalCode(final.errorCode)) {
    m_report.outcome = "refused";
    m_report.exitCode = kExitRefused;
    m_report.message = "the module refused " + Shown() + ": " + code;
  } else {
    m_report.outcome = "failed";
    m_report.exitCode = kExitFailed;
    m_report.message = "the wipe of " + Shown() + " failed: " + code;
  }
  std::fprintf(stderr, "vantrix-wipe: %s\n", m_report.message.c_str());
}

// Exact where the target's size is known and the wipe completed: every pass
// covers the whole blocks and the tail is written once, after the last pass.
// Otherwise counted from the steps of the last record, an estimate.
void WipeCommand::CountBytesWritten(const WipeOutcome& outcome, bool wiped) {
  const TargetScale& size = m_report.targetSize;
  if (wiped && size.sizeKnown && m_report.targetKind != "free-space") {
    const std::uint64_t sector =
        m_disk != nullptr ? static_cast<std::uint64_t>(m_disk->nBytesPerSector) : 1;
    const std::uint64_t bytes = size.bytes / sector * sector;
    const std::uint64_t wholeBlocks = bytes / kWipeBlockBytes * kWipeBlockBytes;
    m_report.bytesWritten =
        static_cast<std::uint64_t>(m_report.passes) * wholeBlocks + (bytes - wholeBlocks);
    m_report.bytesEstimated = false;
  } else if (outcome.sawRunning || wiped) {
    // A wipe that finished before its first reading counts the final record.
    const ProgressRecord& last = outcome.sawRunning ? outcome.lastRunning : outcome.final;
    const std::int64_t steps = wiped ? last.stepsTotal : last.stepsCurrent + 1;
    m_report.bytesWritten = static_cast<std::uint64_t>(steps) * kWipeBlockBytes;
  }
}

void WipeCommand::Verify() {
  WipeReport::Verification& verification = m_report.verification;
  verification.result = "not-run";
  const VerifyPattern* known = AlgorithmPattern();
  std::string error = "the module gives no algorithm to compare with";
  const std::unique_ptr<DiskReader> reader =
      known != nullptr ? OpenDiskReader(*m_disk, &error) : nullptr;
  if (reader == nullptr) {
    verification.detail = error;
    m_report.exitCode = Fail("cannot verify: " + error);
    return;
  }
  const std::uint64_t sectorSize = static_cast<std::uint64_t>(m_disk->nBytesPerSector);
  VerifyRange range;
  range.sectorSize = static_cast<std::uint32_t>(sectorSize);
  range.firstByte = m_partition != nullptr ? m_partition->nStartSector * sectorSize : 0;
  range.bytes = m_report.targetSize.bytes;
  const VerifyPattern& pattern = *known;
  verification.method = "read back through " + m_report.device +
                        " after the wipe and compared byte for byte with the pattern written";
  std::fprintf(m_messages, "Verifying %s: reading %s back from %s...\n", Shown().c_str(),
               FormatBytes(range.bytes).c_str(), m_report.device.c_str());
  std::fflush(m_messages);
  const VerifyResult result = VerifyTarget(*reader, range, pattern, {});
  verification.bytesChecked = result.bytesChecked;
  if (result.readFailed) {
    verification.detail = result.error;
    m_report.exitCode = Fail("cannot verify: " + result.error);
    return;
  }
  if (result.matches) {
    verification.result = "passed";
    verification.detail = pattern.clockByte ? "the whole target holds one and the same byte"
                                            : "every block holds the algorithm's pattern";
    std::fprintf(m_messages, "Verified: %s (%s read back).\n", verification.detail.c_str(),
                 FormatBytes(result.bytesChecked).c_str());
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
  m_report.exitCode = Fail("verification failed: " + verification.detail);
}

// The pattern every pass wrote: the block the algorithm fills for pass 0
// (TargetVerifier); null where the module gives no algorithm. Found out once.
const VerifyPattern* WipeCommand::AlgorithmPattern() {
  if (!m_patternRead) {
    m_patternRead = true;
    IWiperAlgorithm* algorithm = m_module.NewAlgorithm(m_report.algorithmType);
    m_patternKnown = PatternOfAlgorithm(algorithm, &m_pattern);
    if (algorithm != nullptr) algorithm->Release();
  }
  return m_patternKnown ? &m_pattern : nullptr;
}

// The report, then its signature and certificate from the same bytes.
bool WipeCommand::WriteReport(std::string* error) {
  const std::string text = RenderReport(m_report, /*indented=*/true) + "\n";
  return PlaceFile(m_reportPath, text, error) && m_proof.WriteProofs(m_reportPath, text, error);
}

// A file or folder the module reports wiped must be gone; where names are
// left (an immutable folder, a file in use), the data was overwritten but the
// names stay, and the wipe is not done. True when that is so.
bool WipeCommand::IsLeftBehind() {
  if (m_options.command != Command::kFile && m_options.command != Command::kFolder) return false;
  const std::uint64_t names = local_system::NamesLeft(m_options.path);
  if (names == 0) return false;
  m_report.outcome = "overwritten, not removed";
  m_report.exitCode = kExitFailed;
  m_report.message = "overwritten, not removed: " + std::to_string(names) +
                     (names == 1 ? " name is" : " names are") + " left at " + Shown();
  std::fprintf(stderr, "vantrix-wipe: %s\n", m_report.message.c_str());
  return true;
}

std::string WipeCommand::Shown() const { return PrintableText(m_report.targetName); }

int WipeCommand::Finish() {
  const bool reported = m_options.json || !m_reportPath.empty();
  const bool written = m_report.wipeRan && m_report.outcome != "refused";
  if (reported && written && AlgorithmPattern() != nullptr) {
    ProofOfErasure::DescribeMethod(m_pattern, &m_report);
  } else if (!written) {
    m_report.patternWritten = "none: nothing was written";
  }
  m_proof.Stamp(m_reportPath, &m_report);
  if (m_options.json) std::printf("%s\n", RenderReport(m_report, /*indented=*/false).c_str());
  std::string error;
  if (!m_reportPath.empty() && !WriteReport(&error)) {
    std::fprintf(stderr, "vantrix-wipe: the report could not be written: %s\n",
                 PrintableText(error).c_str());
    if (m_report.exitCode == kExitWiped) return kExitReportUnwritten;
  }
  std::fflush(stdout);
  console::NoteWipeEnded();  // the report is out: a closing console may end the process
  return m_report.exitCode;
}
