#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/ModuleExports.h"
#include "host/cli/AlgorithmChoice.h"
#include "host/cli/DiskReader.h"
#include "host/cli/ProgressLine.h"
#include "host/cli/TargetVerifier.h"
#include "host/cli/VisibleText.h"
#include "host/cli/WipeReport.h"
#include "support/AlgorithmTable.h"

namespace {

constexpr std::int64_t kTiB = std::int64_t{1} << 40;
constexpr std::int64_t kBlocksOf4TiB = 4 * kTiB / static_cast<std::int64_t>(kWipeBlockBytes);

// Each row: status, sub-step and step counters, the target's size (0 when
// unknown), seconds elapsed, and the line.
TEST(ProgressLine, RendersRecordsAsRead) {
  const std::int64_t n = kBlocksOf4TiB;
  const struct {
    int status;
    std::int64_t sub, subTotal, current, total;
    std::uint64_t size;
    double elapsed;
    const char* line;
  } cases[] = {
      {0, 0, 1, 0, 1, 1 << 20, 0.1, "  0.0%  starting"},
      {0, 0, 0, 0, 0, 0, 0.2, "  0.0%  starting"},
      {2, 0, 8, 0, 8, 0, 0, " 12.5%  ~128.00 KiB of ~1.00 MiB  pass 1 of 1  --/s  --:--:-- left"},
      {2, n / 2 - 1, n, n * 3 / 2 - 1, n * 3, 4 * kTiB, 6144,
       " 50.0%  2.00 TiB of 4.00 TiB  pass 2 of 3  1.00 GiB/s  1:42:24 left"},
      {2, 9, 10, 9, 30, 10 * kWipeBlockBytes + 65536, 1,
       " 33.3%  1.25 MiB of 1.31 MiB  pass 1 of 3  1.25 MiB/s  0:00:02 left"},
      {2, 0, 0, 0, 0, 28, 1, "100.0%  finishing"},
      {2, 7, 8, 23, 24, 0, 2, "100.0%  ~1.00 MiB of ~1.00 MiB  pass 3 of 3  finishing"},
      {3, 0, 1, 0, 1, 0, 3, "100.0%  finished"},
  };
  for (const auto& test : cases) {
    ProgressRecord record;
    record.status = test.status;
    record.subStepCurrent = test.sub;
    record.subStepTotal = test.subTotal;
    record.stepsCurrent = test.current;
    record.stepsTotal = test.total;
    EXPECT_EQ(RenderProgressLine(record, {test.size != 0, test.size}, test.elapsed), test.line);
  }
}

TEST(ProgressLine, ReadsTheModulesJsonIncludingNegativeCodes) {
  ProgressRecord record;
  ASSERT_TRUE(ParseProgressRecord(
      "{\"msg_type\":33,\"msg_status\":3,\"sub_step_current\":1,\"sub_step_total\":1,"
      "\"steps_current\":1,\"steps_total\":1,\"msg_errorCode\":-533724415,"
      "\"msg_info\":\"VTX_ERROR_SYSTEM_DRIVE_CANNOT_WIPPE\"}",
      &record));
  EXPECT_EQ(record.errorCode, 0xE0300301u);
  EXPECT_TRUE(record.IsFinished());
  EXPECT_EQ(record.info, "VTX_ERROR_SYSTEM_DRIVE_CANNOT_WIPPE");
  EXPECT_FALSE(ParseProgressRecord("{\"msg_type\":32}", &record));
  EXPECT_EQ(record.errorCode, 0xE0300301u) << "a failed read leaves the record alone";
}

TEST(AlgorithmChoice, FindsByNameOrTypeInAnyCase) {
  std::vector<AlgorithmEntry> entries;
  ASSERT_TRUE(ParseAlgorithmList(VTX_CATALOGUE_JSON, &entries));
  ASSERT_EQ(entries.size(), 7u);
  const std::pair<const char*, int> cases[] = {{"eTypeUSDOD522022ME", 19},
                                               {"ETYPEUSDOD522022MECE", 20},
                                               {"usdod522022me", 19},
                                               {"22", 22},
                                               {"16", 16},
                                               {"dod", 0},
                                               {"", 0},
                                               {"23", 0},
                                               {"eType", 0}};
  for (const auto& [wanted, type] : cases) {
    const AlgorithmEntry* found = FindAlgorithm(entries, wanted);
    EXPECT_EQ(found != nullptr ? found->type : 0, type) << wanted;
  }
}

// A disk in memory, readable in any piece.
class MemoryDisk : public DiskReader {
 public:
  explicit MemoryDisk(std::vector<unsigned char> bytes) : m_bytes(std::move(bytes)) {}
  bool Read(std::uint64_t offset, void* buffer, std::size_t size) override {
    if (offset + size > m_bytes.size()) return false;
    std::memcpy(buffer, m_bytes.data() + offset, size);
    return true;
  }
  std::string Error() const override { return "past the end"; }

 private:
  std::vector<unsigned char> m_bytes;
};

TEST(TargetVerifier, FindsTheFirstSectorThatLacksThePattern) {
  // A 3 MiB + 1 sector target at sector 100 of a disk: more than one chunk, a tail.
  const std::uint64_t start = 100 * 512, size = 3 * 1024 * 1024 + 512;
  struct Case {
    const char* what;
    bool clockByte;
    unsigned char fill;
    std::int64_t changedByte;  // of the target, -1 for none
    std::int64_t mismatchSector;
  } cases[] = {
      {"the pattern everywhere", false, 0xFF, -1, -1},
      {"a byte changed in the second chunk", false, 0xFF, 1024 * 1024 + 700, 100 + 2048 + 1},
      {"the last byte changed", false, 0xFF, static_cast<std::int64_t>(size) - 1, 100 + 6144},
      {"another byte than the pattern", false, 0x37, -1, 100},
      {"one clock byte everywhere", true, 0x37, -1, -1},
      {"a clock byte and one other", true, 0x37, 4096, 100 + 8},
  };
  for (const Case& test : cases) {
    std::vector<unsigned char> disk(start + size + 4096, 0x00);
    std::memset(disk.data() + start, test.fill, size);
    if (test.changedByte >= 0) disk[start + test.changedByte] ^= 0x5A;
    MemoryDisk reader(disk);
    VerifyPattern pattern{std::vector<unsigned char>(kWipeBlockBytes, 0xFF), test.clockByte};
    const VerifyResult result = VerifyTarget(reader, {start, size, 512}, pattern, {});
    EXPECT_FALSE(result.readFailed) << test.what;
    EXPECT_EQ(result.matches, test.mismatchSector < 0) << test.what;
    EXPECT_EQ(result.firstMismatchSector, test.mismatchSector) << test.what;
  }
}

TEST(TargetVerifier, TellsClockPatternsFromFixedOnes) {
  for (const VtxAlgorithmRow& row : kVtxAlgorithmRows) {
    IWiperAlgorithm* algorithm = __getAlgorithmByType(row.type);
    VerifyPattern pattern;
    ASSERT_TRUE(PatternOfAlgorithm(algorithm, &pattern));
    algorithm->Release();
    const int passZero = row.bytes[1];
    EXPECT_EQ(pattern.clockByte, passZero == VTX_TIME_BYTE) << row.type;
    if (passZero != VTX_TIME_BYTE) {
      EXPECT_EQ(pattern.block[0], passZero) << row.type;
    }
  }
}

TEST(WipeReport, TimesAreUtcIso8601WithMilliseconds) {
  const auto time = WipeReport::TimePoint(std::chrono::milliseconds(1793525405250LL));
  EXPECT_EQ(FormatUtc(time), "2026-11-01T09:30:05.250Z");
}

// Reports and JSON are valid UTF-8, and a terminal line shows every control
// character: what is not allowed becomes "\xNN", all else stays.
TEST(VisibleText, EscapesInvalidUtf8AndForTheTerminalControlCharacters) {
  struct Row {
    std::string text, utf8, printable;
  };
  const Row rows[] = {
      {"plain/é/€/𝄞", "plain/é/€/𝄞", "plain/é/€/𝄞"},
      {"a\nb\x1b[2J\x7f", "a\nb\x1b[2J\x7f", "a\\x0Ab\\x1B[2J\\x7F"},
      {"\xff\xc3(\xe2\x82", "\\xFF\\xC3(\\xE2\\x82", "\\xFF\\xC3(\\xE2\\x82"},
      {"\xc0\xaf\xed\xa0\x80", "\\xC0\\xAF\\xED\\xA0\\x80", "\\xC0\\xAF\\xED\\xA0\\x80"},
      {std::string("nul\0end", 7), std::string("nul\0end", 7), "nul\\x00end"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(VisibleUtf8(row.text), row.utf8) << row.printable;
    EXPECT_EQ(PrintableText(row.text), row.printable);
  }
}

}  // namespace
