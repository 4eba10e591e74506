// The purger over a memory disk that plays a drive: what it reports, what it
// does with a purge command (erase, scramble, nothing, refuse), with a
// discard (forget or keep), and with reads (fail from a byte on).

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "host/purge/DriveChannel.h"
#include "host/purge/DrivePurger.h"

namespace {

constexpr std::uint64_t kDiskBytes = 8u << 20;

enum class Transport { kNone, kNvme, kAta, kScsi };
enum class Effect { kErase, kScramble, kNothing, kRefuse };

struct Drive {
  Transport transport = Transport::kNvme;
  std::uint32_t sanitizeCapabilities = 0;  // SANICAP
  bool format = false;
  std::uint8_t formatAttributes = 0;  // FNA
  std::uint32_t namespaces = 1;       // NN
  std::uint16_t ataSanitize = 0;      // IDENTIFY word 59
  bool scsiSanitize = false;
  std::uint64_t discardMax = 0;
  Effect effect = Effect::kErase;
  bool discardForgets = true;
  std::vector<std::uint8_t> sanitizeStates;  // SSTAT per poll; the effect lands at 1
  // A refusal: NVMe status, ATA registers and sense bytes.
  std::uint16_t nvmeStatus = 0;
  AtaResult ata;
  std::vector<std::uint8_t> sense;
  std::uint8_t scsiStatus = 0;
  std::int64_t readFailsAt = -1;
};

class MemoryDrive : public DriveChannel {
 public:
  MemoryDrive(const Drive& drive, std::vector<std::uint8_t>* disk, int* purgeCommands)
      : drive_(drive), disk_(*disk), purgeCommands_(*purgeCommands) {}

  std::string Device() const override { return "memory"; }
  std::uint64_t SizeBytes() const override { return disk_.size(); }
  std::uint32_t SectorBytes() const override { return 512; }
  bool IsNvme() const override { return drive_.transport == Transport::kNvme; }
  std::uint32_t NvmeNamespace() const override { return 1; }
  std::uint64_t DiscardMaxBytes() const override { return drive_.discardMax; }
  std::uint64_t DiscardGranularity() const override { return drive_.discardMax ? 4096 : 0; }

  Answer SendNvme(const NvmeAdminCommand& command) override {
    Answer answer;
    answer.delivered = true;
    answer.data.assign(command.dataBytes, 0);
    auto& data = answer.data;
    if (command.opcode == 0x06 && command.cdw10 == 1) {  // Identify Controller
      data[256] = drive_.format ? 0x2 : 0;
      std::memcpy(&data[328], &drive_.sanitizeCapabilities, 4);
      std::memcpy(&data[516], &drive_.namespaces, 4);
      data[524] = drive_.formatAttributes;
    } else if (command.opcode == 0x06) {  // Identify Namespace: one format, 512-byte blocks
      data[130] = 9;
    } else if (command.opcode == 0x02) {  // the sanitize status log
      const std::uint8_t state = poll_ < drive_.sanitizeStates.size()
                                     ? drive_.sanitizeStates[poll_++]
                                     : drive_.sanitizeStates.back();
      data[2] = state;
      if (state == 1) Apply();
    } else {
      return Purged(answer, command.opcode == 0x80 || drive_.sanitizeStates.empty());
    }
    return answer;
  }

  Answer SendAta(const AtaCommand& command) override {
    Answer answer;
    answer.delivered = drive_.transport != Transport::kNone;
    if (drive_.transport == Transport::kScsi) {  // ILLEGAL REQUEST, invalid opcode
      answer.scsiStatus = 2;
      answer.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0};
    } else if (command.dataIn) {  // IDENTIFY DEVICE
      answer.data.assign(512, 0);
      std::memcpy(&answer.data[59 * 2], &drive_.ataSanitize, 2);
    } else if (command.feature == 0) {  // SANITIZE STATUS EXT
      const std::uint8_t state = drive_.sanitizeStates[std::min(poll_++, Last())];
      answer.ata.count = state == 2 ? 0x4000 : state == 1 ? 0x8000 : 0;
      if (state == 1) Apply();
    } else {
      return Purged(answer, false);
    }
    return answer;
  }

  Answer SendScsi(const ScsiCommand& command) override {
    Answer answer;
    answer.delivered = drive_.transport != Transport::kNone;
    if (command.cdb[0] == 0xA3) {  // REPORT SUPPORTED OPERATION CODES, one command
      answer.data.assign(4, 0);
      answer.data[1] = drive_.scsiSanitize ? 0x3 : 0x1;
    } else if (command.cdb[0] == 0x03) {  // REQUEST SENSE: NOT READY, sanitize in progress
      const std::uint8_t state = drive_.sanitizeStates[std::min(poll_++, Last())];
      answer.data = {0x70, 0, 0x2, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x04, 0x1B};
      if (state != 2) answer.data[2] = answer.data[12] = answer.data[13] = 0;
      if (state == 1) Apply();
    } else if (command.cdb[0] == 0x48) {
      return Purged(answer, false);
    } else {
      answer.scsiStatus = 2;  // no VPD page B2h
    }
    return answer;
  }

  bool Discard(std::uint64_t offset, std::uint64_t bytes, std::string*) override {
    if (drive_.discardForgets) std::memset(&disk_[offset], 0, bytes);
    return true;
  }
  bool Read(std::uint64_t offset, void* buffer, std::size_t bytes, std::string* error) override {
    if (drive_.readFailsAt >= 0 &&
        offset + bytes > static_cast<std::uint64_t>(drive_.readFailsAt)) {
      *error = "medium error";
      return false;
    }
    std::memcpy(buffer, &disk_[offset], bytes);
    return true;
  }
  bool Write(std::uint64_t offset, const void* buffer, std::size_t bytes, std::string*) override {
    std::memcpy(&disk_[offset], buffer, bytes);
    return true;
  }
  bool Flush(std::string*) override { return true; }

 private:
  std::size_t Last() const { return drive_.sanitizeStates.size() - 1; }

  // The purge command itself: refused as told, else accepted, its effect now
  // or (`later`) when the status says done.
  Answer Purged(Answer answer, bool now) {
    ++purgeCommands_;
    if (drive_.effect == Effect::kRefuse) {
      answer.nvmeStatus = drive_.nvmeStatus;
      answer.ata = drive_.ata;
      answer.sense = drive_.sense;
      answer.scsiStatus = drive_.scsiStatus;
    } else if (now) {
      Apply();
    }
    return answer;
  }
  void Apply() {
    if (drive_.effect == Effect::kErase) std::fill(disk_.begin(), disk_.end(), 0);
    if (drive_.effect == Effect::kScramble)
      for (std::size_t at = 0; at < disk_.size(); ++at)
        disk_[at] = static_cast<std::uint8_t>(at * 7 + 13);
  }

  const Drive drive_;
  std::vector<std::uint8_t>& disk_;
  int& purgeCommands_;
  std::size_t poll_ = 0;
};

struct Case {
  const char* name;
  Drive drive;
  const char* method;
  std::uint64_t expectedBytes;
  const char* stopAt;  // the stage whose first progress asks to stop
  const char* outcome;
  const char* ranMethod;
  const char* nistCategory;
  const char* said;                // in the message or an answer
  bool dataKept;                   // the disk holds its old data after the run
  const char* reported = nullptr;  // in what the capabilities say, where given
};

Drive Nvme(std::uint32_t sanicap, std::vector<std::uint8_t> states = {}) {
  Drive drive;
  drive.sanitizeCapabilities = sanicap;
  drive.sanitizeStates = std::move(states);
  return drive;
}
// An ATA drive with SANITIZE block erase, a SCSI one with SANITIZE, or a
// device that carries no commands and takes discards.
Drive Of(Transport transport, std::vector<std::uint8_t> states = {}) {
  Drive drive = Nvme(0, std::move(states));
  drive.transport = transport;
  drive.ataSanitize = transport == Transport::kAta ? 0x9000 : 0;
  drive.scsiSanitize = transport == Transport::kScsi;
  drive.discardMax = transport == Transport::kNone ? 1u << 20 : 0;
  return drive;
}
Drive With(Drive drive, void (*change)(Drive&)) {
  change(drive);
  return drive;
}
// Refuses the purge command with CHECK CONDITION and `sense`.
Drive Refusing(Drive drive, std::vector<std::uint8_t> sense) {
  drive.effect = Effect::kRefuse;
  drive.scsiStatus = 2;
  drive.sense = std::move(sense);
  return drive;
}

const Case kCases[] = {
    {"auto takes the strongest, polled to done", Nvme(0x7, {2, 2, 1}), "auto", kDiskBytes, nullptr,
     "purged", "nvme-sanitize-block", "Purge", "sanitize completed", false,
     "purge: nvme-sanitize-block, nvme-sanitize-crypto, nvme-sanitize-overwrite"},
    {"another size is refused", Nvme(0x2, {1}), "auto", kDiskBytes - 512, nullptr, "refused",
     "auto", "", "not the 8388096 confirmed", true},
    {"an unreported method is refused", Nvme(0x2, {1}), "nvme-format", kDiskBytes, nullptr,
     "refused", "nvme-format", "", "give --try-unreported", true},
    {"nothing reported", With(Of(Transport::kNone), [](Drive& d) { d.discardMax = 0; }), "auto",
     kDiskBytes, nullptr, "refused", "auto", "", "reports none of the purge methods", true,
     "purge: none the drive reports"},
    {"a format accepted and ignored",
     With(Nvme(0), [](Drive& d) { d.format = true, d.effect = Effect::kNothing; }), "nvme-format",
     kDiskBytes, nullptr, "not-erased", "nvme-format", "", "did not erase", true},
    {"a format of every namespace",
     With(Nvme(0), [](Drive& d) { d.format = true, d.formatAttributes = 1, d.namespaces = 2; }),
     "nvme-format", kDiskBytes, nullptr, "refused", "nvme-format", "",
     "other namespaces would be erased", true, "every namespace of the controller (FNA bit 0)"},
    {"a crypto erase changes the sectors", Nvme(0x1, {1}), "nvme-sanitize-crypto", kDiskBytes,
     nullptr, "purged", "nvme-sanitize-crypto", "Purge", "sanitize completed", false},
    {"a crypto erase that changed nothing",
     With(Nvme(0x1, {1}), [](Drive& d) { d.effect = Effect::kNothing; }), "nvme-sanitize-crypto",
     kDiskBytes, nullptr, "not-erased", "nvme-sanitize-crypto", "", "did not change", true},
    {"the log says the sanitize failed",
     With(Nvme(0x2, {2, 3}), [](Drive& d) { d.effect = Effect::kNothing; }), "auto", kDiskBytes,
     nullptr, "failed", "nvme-sanitize-block", "", "sanitize failed", true},
    {"NVMe status: invalid opcode",
     With(Nvme(0x2, {1}), [](Drive& d) { d.effect = Effect::kRefuse, d.nvmeStatus = 0x0001; }),
     "auto", kDiskBytes, nullptr, "refused", "nvme-sanitize-block", "", "invalid", true},
    {"ATA ABRT",
     With(Refusing(Of(Transport::kAta), {0x72, 0x0B, 0, 0, 0, 0, 0, 14, 0x09, 12, 0,
                                         0x04, 0,    0, 0, 0, 0, 0, 0,  0,    0,  0x51}),
          [](Drive& d) { d.ata.status = 0x51, d.ata.error = 0x04; }),
     "auto", kDiskBytes, nullptr, "refused", "ata-sanitize-block", "", "ABRT", true},
    {"ATA sanitize polled to done", Of(Transport::kAta, {2, 1}), "auto", kDiskBytes, nullptr,
     "purged", "ata-sanitize-block", "Purge", "completed without error", false,
     "purge: ata-sanitize-block /"},
    {"SCSI sense, fixed format",
     Refusing(Of(Transport::kScsi), {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0}), "auto",
     kDiskBytes, nullptr, "refused", "scsi-sanitize-block", "", "ILLEGAL REQUEST", true},
    {"SCSI sense, descriptor format",
     Refusing(Of(Transport::kScsi), {0x72, 0x02, 0x04, 0x1B, 0, 0, 0, 0}), "auto", kDiskBytes,
     nullptr, "refused", "scsi-sanitize-block", "", "NOT READY", true},
    {"SCSI sanitize polled through REQUEST SENSE", Of(Transport::kScsi, {2, 2, 1}), "auto",
     kDiskBytes, nullptr, "purged", "scsi-sanitize-block", "Purge", "reads as erased", false,
     "\"scsi\":{\"sanitize\":true,\"sanitizeOverwrite\":true,\"sanitizeBlockErase\":true"},
    {"a discard the drive honours", Of(Transport::kNone), "auto", kDiskBytes, nullptr, "purged",
     "discard", "Purge", "reads as erased", false, "\"discard\":{\"maxBytes\":1048576"},
    {"a discard the drive ignores",
     With(Of(Transport::kNone), [](Drive& d) { d.discardForgets = false; }), "discard", kDiskBytes,
     nullptr, "cleared", "discard", "Clear", "did not erase", false},
    {"stopped during the overwrite", Of(Transport::kNone), "discard", kDiskBytes, "overwrite",
     "stopped", "discard", "", "stopped during the overwrite", false},
    {"a read-back that fails", With(Nvme(0x2, {1}), [](Drive& d) { d.readFailsAt = 4u << 20; }),
     "auto", kDiskBytes, nullptr, "failed", "nvme-sanitize-block", "", "medium error", false},
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class DrivePurgerTest : public testing::TestWithParam<Case> {};

TEST_P(DrivePurgerTest, OutcomeMatchesWhatTheDriveDid) {
  const Case& c = GetParam();
  std::vector<std::uint8_t> disk(kDiskBytes);
  for (std::size_t at = 0; at < disk.size(); ++at)
    disk[at] = static_cast<std::uint8_t>("old data, sector by sector "[at % 27]);
  const std::vector<std::uint8_t> old = disk;
  int purgeCommands = 0;
  PurgePolling polling;
  polling.interval = std::chrono::milliseconds(1);
  auto purger = NewDrivePurger(
      [&](const std::string&, DriveAccess, std::string*) {
        return std::make_unique<MemoryDrive>(c.drive, &disk, &purgeCommands);
      },
      polling);

  PurgeRequest request;
  request.device = "memory";
  request.expectedBytes = c.expectedBytes;
  ASSERT_TRUE(ParsePurgeMethod(c.method, &request.method));
  std::vector<std::string> stages;
  request.progress = [&](double done, const char* stage) {
    EXPECT_TRUE(done >= 0 && done <= 1) << done;
    stages.push_back(stage);
    return c.stopAt == nullptr || std::string(stage) != c.stopAt;
  };
  DriveCapabilities capabilities;
  std::string error;
  ASSERT_TRUE(purger->Capabilities("memory", &capabilities, &error)) << error;
  const std::string reported =
      DescribeCapabilities(capabilities) + " / " + CapabilitiesJson(capabilities);
  EXPECT_TRUE(c.reported == nullptr || reported.find(c.reported) != std::string::npos) << reported;
  const PurgeResult result = purger->Purge(request);
  const std::string json = PurgeResultJson(result);

  EXPECT_EQ(result.outcome, c.outcome) << json;
  EXPECT_EQ(PurgeMethodName(result.method), std::string(c.ranMethod)) << json;
  EXPECT_EQ(result.nistCategory, c.nistCategory) << json;
  EXPECT_NE(json.find(c.said), std::string::npos) << json;
  EXPECT_EQ(disk == old, c.dataKept) << json;
  const bool refused = std::string(c.outcome) == "refused";
  EXPECT_EQ(result.driveChanged, !refused) << json;
  if (refused && result.answers.empty()) {
    EXPECT_EQ(purgeCommands, 0);
  }
  if (result.outcome == "purged") {
    EXPECT_GT(result.readBack.rangesRead, 0u);
    EXPECT_EQ(result.readBack.rangesErased, result.readBack.rangesRead) << json;
    EXPECT_EQ(stages.back(), "read-back");
  }
}

INSTANTIATE_TEST_SUITE_P(Drives, DrivePurgerTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                           std::string name;
                           for (const char* at = info.param.name; *at; ++at)
                             name += std::isalnum(static_cast<unsigned char>(*at)) ? *at : '_';
                           return name;
                         });

}  // namespace
