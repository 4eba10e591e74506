#include "host/cli/PurgeCommand.h"

#include <algorithm>
#include <iostream>

#include "host/cli/Console.h"
#include "host/cli/DiskListing.h"
#include "host/cli/ExitCodes.h"
#include "host/cli/FilePlacement.h"
#include "host/cli/LocalSystem.h"
#include "host/cli/ProgressLine.h"
#include "host/cli/VisibleText.h"

namespace {

constexpr int kGoOn = -1;

// What becomes of the program for each outcome of the purge library.
int ExitStatusOf(const std::string& outcome) {
  if (outcome == "purged") return kExitWiped;
  if (outcome == "refused") return kExitRefused;
  if (outcome == "stopped") return kExitStopped;
  return kExitFailed;  // "cleared", "not-erased", "failed"
}

// What the method wrote, in the report's words.
std::string PatternOf(PurgeMethod method) {
  switch (method) {
    case PurgeMethod::kDiscard:
      return "a keyed pseudo-random stream over every sector, written by the host; then the "
             "whole disk discarded";
    case PurgeMethod::kNvmeSanitizeOverwrite:
    case PurgeMethod::kScsiSanitizeOverwrite:
      return "zeros, written by the drive over all of its media";
    default:
      return "none by the host: the drive erased itself";
  }
}

// What the category covers, as the method and the read-back showed it.
std::string ScopeOf(const PurgeResult& result) {
  if (result.nistCategory == "Clear") {
    return "the sectors the host can address, overwritten; the drive's discard left them as "
           "written, so what it keeps out of the host's reach was not shown erased";
  }
  if (result.nistCategory != "Purge") return "none shown";
  if (result.method == PurgeMethod::kDiscard) {
    return "every sector overwritten by the host, then the whole device discarded and read back "
           "erased; the drive was asked to forget its spare and remapped blocks too";
  }
  return "the whole drive, also what it keeps out of the host's reach (spare and remapped "
         "blocks), erased by the drive's own command; the read-back showed the erased state";
}

std::string NamesOf(const std::vector<PurgeMethod>& methods) {
  std::string names;
  for (const PurgeMethod method : methods) {
    names += (names.empty() ? "" : ", ") + std::string(PurgeMethodName(method));
  }
  return names.empty() ? "none" : names;
}

}  // namespace

PurgeCommand::PurgeCommand(const ProgramOptions& options, std::unique_ptr<DrivePurger> purger)
    : m_options(options),
      m_messages(options.json ? stderr : stdout),
      m_purger(std::move(purger)),
      m_proof(options) {}

int PurgeCommand::Run() {
  m_report.programVersion = VTX_PROGRAM_VERSION;
  m_report.hostName = local_system::HostName();
  m_report.start = m_report.end = std::chrono::system_clock::now();
  m_report.targetKind = "disk";
  m_report.disk = m_options.disk;
  m_report.targetName = "disk " + std::to_string(m_options.disk);
  m_report.patternWritten = "none: nothing was written";
  std::string error;
  if (!ParsePurgeMethod(m_options.purgeMethod, &m_method) || !m_proof.Prepare(&error)) {
    if (error.empty()) {
      error = "unknown purge method '" + PrintableText(m_options.purgeMethod) +
              "'; the methods are auto, " + NamesOf(AllPurgeMethods());
    }
    std::fprintf(stderr, "vantrix-wipe: %s\n", error.c_str());
    return kExitUsage;  // nothing was asked of the drive
  }
  m_report.algorithmName = PurgeMethodName(m_method);
  if (!m_options.reportPath.empty()) {
    m_reportPath = local_system::AbsolutePath(m_options.reportPath);
    if (!CheckFilePlaceable(m_reportPath, &error)) {
      std::fprintf(stderr, "vantrix-wipe: --report: %s; nothing was purged\n",
                   PrintableText(error).c_str());
      return kExitUsage;
    }
  }
  if (NameTarget() != kGoOn || ChooseMethod() != kGoOn) return Finish();
  if (!Confirmed()) {
    Refuse("not confirmed; nothing was sent to the drive");
    return Finish();
  }
  // The disk must still be the one shown: the device manager withholds a disk
  // that changed since the listing it holds.
  if (m_components.Disk(m_options.disk, &error) == nullptr) {
    Fail("disk " + std::to_string(m_options.disk) + " changed after it was shown: " + error +
         "; nothing was sent to the drive");
    return Finish();
  }
  console::InstallStopHandlers();
  m_onTerminal = console::IsTerminal(console::Stream::kOutput);
  Purge();
  return Finish();
}

int PurgeCommand::NameTarget() {
  std::string error;
  if (!m_components.OpenDeviceManager(&error)) return Fail(error);
  m_report.machine = m_components.Machine();
  if (!m_components.HoldListing(&error)) return Fail(error);
  if ((m_disk = m_components.Disk(m_options.disk, &error)) == nullptr) return Fail(error);
  const DiskInfo& disk = *m_disk;
  m_report.device = local_system::DiskDevice(disk);
  m_report.identity = m_components.Identity(m_options.disk);
  m_report.targetSize = {true, static_cast<std::uint64_t>(disk.nBytesPerSector) *
                                   static_cast<std::uint64_t>(disk.nTotalSectors)};
  if (disk.bSystemDisk != 0) {
    return Refuse(m_report.targetName + " holds the running system; nothing was sent to the drive");
  }
  for (int index = 0; index < PartitionCount(disk); ++index) {
    const PartitionInfo& partition = disk.partitions[index];
    const std::string root = local_system::VolumeRoot(partition);
    if (!root.empty()) {
      return Refuse("partition " + std::to_string(partition.nPartitionNumber) + " of " +
                    m_report.targetName + " is mounted at " + PrintableText(root) +
                    "; unmount it first. Nothing was sent to the drive");
    }
  }
  return kGoOn;
}

int PurgeCommand::ChooseMethod() {
  std::string error;
  if (!m_purger->Capabilities(m_report.device, &m_capabilities, &error)) {
    return Fail("cannot ask " + m_report.device + " what it can do: " + PrintableText(error));
  }
  const std::vector<PurgeMethod>& reported = m_capabilities.methods;
  if (m_method == PurgeMethod::kAuto) {
    if (reported.empty()) {
      return Refuse("the drive reports no way to purge it (" +
                    DescribeCapabilities(m_capabilities) +
                    "); wipe it with `disk` instead, which clears the sectors the host can reach");
    }
    m_method = reported.front();
  } else if (std::find(reported.begin(), reported.end(), m_method) == reported.end() &&
             !m_options.tryUnreported) {
    return Refuse(std::string("the drive does not report ") + PurgeMethodName(m_method) +
                  " (it reports: " + NamesOf(reported) +
                  "); give --try-unreported to send it anyway");
  }
  m_report.algorithmName = PurgeMethodName(m_method);
  return kGoOn;
}

int PurgeCommand::Refuse(const std::string& message) {
  std::fprintf(stderr, "vantrix-wipe: refused: %s\n", message.c_str());
  m_report.outcome = "refused";
  m_report.message = message;
  m_report.exitCode = kExitRefused;
  return kExitRefused;
}

int PurgeCommand::Fail(const std::string& message) {
  std::fprintf(stderr, "vantrix-wipe: %s\n", message.c_str());
  m_report.outcome = "failed";
  m_report.message = message;
  m_report.exitCode = kExitFailed;
  return kExitFailed;
}

// The person types back the disk number; nothing else goes on.
bool PurgeCommand::Confirmed() {
  if (m_options.yes) return true;
  if (!console::IsTerminal(console::Stream::kInput)) {
    std::fprintf(stderr,
                 "vantrix-wipe: %s would be destroyed and there is no terminal to confirm on; "
                 "give --yes to purge without the question.\n",
                 m_report.targetName.c_str());
    return false;
  }
  std::fprintf(m_messages, "%s\n", DescribeDisk(*m_disk, m_report.identity).c_str());
  for (int index = 0; index < PartitionCount(*m_disk); ++index) {
    std::fprintf(m_messages, "  %s\n", DescribePartition(m_disk->partitions[index]).c_str());
  }
  std::fprintf(m_messages,
               "About to purge %s: %s.\nEverything on it will be destroyed, also what the drive "
               "keeps out of the host's reach.\nType the disk number (%d) to go on; anything else "
               "cancels: ",
               m_report.targetName.c_str(), DescribePurgeMethod(m_method), m_options.disk);
  std::fflush(m_messages);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  const std::string::size_type first = answer.find_first_not_of(" \t");
  const std::string::size_type last = answer.find_last_not_of(" \t\r");
  return first != std::string::npos &&
         answer.substr(first, last - first + 1) == std::to_string(m_options.disk);
}

void PurgeCommand::Purge() {
  PurgeRequest request;
  request.device = m_report.device;
  request.expectedBytes = m_report.targetSize.bytes;
  request.expectedSectorBytes = static_cast<std::uint32_t>(m_disk->nBytesPerSector);
  request.method = m_method;
  request.tryUnreported = m_options.tryUnreported;
  request.readWhole = m_options.verify;
  request.progress = [this](double done, const char* stage) { return ShowProgress(done, stage); };
  std::fprintf(m_messages, "Purging %s (%s) with %s: %s...\n", m_report.targetName.c_str(),
               m_report.device.c_str(), PurgeMethodName(m_method), DescribePurgeMethod(m_method));
  std::fflush(m_messages);
  m_report.start = std::chrono::system_clock::now();
  const PurgeResult result = m_purger->Purge(request);
  m_report.end = std::chrono::system_clock::now();
  if (!m_stage.empty() && m_onTerminal && !m_options.json) std::fprintf(m_messages, "\n");
  Conclude(result);
}

// A JSON object per stage and whole percent with --json; on a terminal one
// line redrawn in place; otherwise a line as each stage starts. False once
// the person asked to stop.
bool PurgeCommand::ShowProgress(double done, const char* stage) {
  const int percent = static_cast<int>(std::clamp(done, 0.0, 1.0) * 100);
  const bool newStage = stage != m_stage;
  if (newStage || percent != m_shownPercent) {
    if (m_options.json) {
      std::printf("{\"stage\":\"%s\",\"done\":%.3f}\n", stage, done);
      std::fflush(stdout);
    } else if (m_onTerminal) {
      std::fprintf(m_messages, "%s%s: %3d%%", m_stage.empty() || !newStage ? "\r" : "\n", stage,
                   percent);
      std::fflush(m_messages);
    } else if (newStage) {
      std::fprintf(m_messages, "%s...\n", stage);
      std::fflush(m_messages);
    }
    m_stage = stage;
    m_shownPercent = percent;
  }
  return console::StopRequestCount() == 0;
}

void PurgeCommand::Conclude(const PurgeResult& result) {
  WipeReport& report = m_report;
  report.algorithmName = PurgeMethodName(result.method);
  report.purgeJson = PurgeResultJson(result);
  report.outcome = result.outcome;
  report.exitCode = ExitStatusOf(result.outcome);
  report.message = result.message;
  report.sanitizationCategory = result.nistCategory;
  report.sanitizationScope = ScopeOf(result);
  report.patternWritten =
      result.driveChanged ? PatternOf(result.method) : "none: nothing was written";
  report.bytesWritten = result.bytesOverwritten;
  report.passes = result.bytesOverwritten > 0 ? 1 : 0;
  report.bytesEstimated = false;
  const PurgeReadBack& readBack = result.readBack;
  WipeReport::Verification& verification = report.verification;
  if (readBack.ran) {
    const bool erased = readBack.error.empty() && readBack.rangesOther == 0 &&
                        readBack.rangesOverwritten == 0 && readBack.rangesRead > 0;
    verification.result = !readBack.error.empty() ? "not-run"
                          : erased                ? (readBack.whole ? "passed" : "sampled")
                                                  : "failed";
    verification.method =
        readBack.whole ? "every sector read back through " + report.device
                       : "a sample read back through " + report.device + ": " + readBack.sample;
    verification.bytesChecked = readBack.bytesRead;
    if (readBack.firstUnerasedByte >= 0 && m_disk->nBytesPerSector > 0) {
      verification.firstMismatchSector =
          readBack.firstUnerasedByte / static_cast<std::int64_t>(m_disk->nBytesPerSector);
    }
    verification.detail = !readBack.error.empty()
                              ? readBack.error
                              : std::to_string(readBack.rangesErased) + " of " +
                                    std::to_string(readBack.rangesRead) + " ranges read erased, " +
                                    std::to_string(readBack.rangesOverwritten) +
                                    " still hold the host's overwrite, " +
                                    std::to_string(readBack.rangesOther) + " hold other data";
  }
  std::FILE* said = report.exitCode == kExitWiped ? m_messages : stderr;
  std::fprintf(said, "%s%s\n", report.exitCode == kExitWiped ? "" : "vantrix-wipe: ",
               PrintableText(report.message).c_str());
  for (const DriveAnswer& answer : result.answers) {
    if (!answer.accepted)
      std::fprintf(stderr, "  the drive answered %s: %s\n", answer.command.c_str(),
                   PrintableText(answer.answer).c_str());
  }
}

int PurgeCommand::Finish() {
  int status = m_report.exitCode;
  if (m_report.outcome.empty()) status = Fail("the purge ended without an outcome");
  if (m_report.purgeJson.empty()) {
    // Ended before anything reached the drive: the purge record says so too.
    PurgeResult before;
    before.outcome = m_report.outcome;
    before.method = m_method;
    before.message = m_report.message;
    m_report.purgeJson = PurgeResultJson(before);
  }
  if (m_options.json) std::printf("%s\n", RenderReport(m_report, /*indented=*/false).c_str());
  if (!m_reportPath.empty()) {
    m_proof.Stamp(m_reportPath, &m_report);
    const std::string text = RenderReport(m_report, /*indented=*/true) + "\n";
    std::string error;
    if (!PlaceFile(m_reportPath, text, &error) ||
        !m_proof.WriteProofs(m_reportPath, text, &error)) {
      std::fprintf(stderr, "vantrix-wipe: the report could not be written: %s\n",
                   PrintableText(error).c_str());
      if (status == kExitWiped) status = kExitReportUnwritten;
    }
  }
  std::fflush(stdout);
  return status;
}
