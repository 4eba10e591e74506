#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <tuple>
#include <vector>

#include "algorithms/WiperAlgorithms.h"
#include "support/RecordingSink.h"
#include "wipers/DataWiper.h"

namespace {

constexpr std::int64_t kBlock = CDataWiper::kBlockSize;
constexpr int kNoAlgorithm = INT_MIN;

// A write's offset, size and the first byte of its buffer.
using Write = std::tuple<std::int64_t, int, unsigned char>;

// A target of any size that records the writes and can fail the n-th one.
class RecordingWiper : public CDataWiper {
 public:
  explicit RecordingWiper(std::uint64_t total, int failingWrite = -1, std::uint32_t finish = 0)
      : m_total(total), m_failingWrite(failingWrite), m_finish(finish) {}
  std::uint64_t GetTotalSize() override {
    ++totalCalls;
    return m_total;
  }
  int WriteData(std::int64_t offset, unsigned char* buffer, int size) override {
    if (static_cast<int>(writes.size()) == m_failingWrite) return -1;
    writes.emplace_back(offset, size, buffer[0]);
    return size;
  }
  std::uint32_t FinishData(std::uint32_t code) override {
    ++finishCalls;
    return m_finish != 0 ? m_finish : code;
  }
  std::vector<Write> writes;
  int totalCalls = 0, finishCalls = 0;

 private:
  std::uint64_t m_total;
  int m_failingWrite;
  std::uint32_t m_finish;
};

// An algorithm with a chosen pass count, writing 0xA0 + the pass number asked.
class PassNumberAlgorithm : public BoundaryObject<PassNumberAlgorithm, IWiperAlgorithm> {
 public:
  explicit PassNumberAlgorithm(int passes) : m_passes(passes) {}
  int GetWipeTimes() override { return m_passes; }
  void FillBuffer(unsigned char* buffer, int size, int pass) override {
    ++fills;
    std::fill(buffer, buffer + size, static_cast<unsigned char>(0xA0 + pass));
  }
  int fills = 0;

 private:
  int m_passes;
};

// Every pass writes every whole block from offset 0 with the buffer filled
// once (pass 0), then the tail once, after the last pass; a stop or a failure
// ends the writes (no tail after it). One report per block written, then the
// final one, which carries the wipe's code: the wiper's last word.
TEST(PassLoop, WritesEveryBlockOfEveryPassThenTheTailOrEndsEarlyWithItsCode) {
  const struct {
    std::uint64_t total;
    int passes;
    int allowedChecks = -1, failingWrite = -1;  // -1: never stopped, no write fails
    std::uint32_t finishCode = 0, code = 0;
    std::size_t writes = SIZE_MAX;  // the first writes of a complete wipe made
  } cases[] = {{0, 1},
               {100, 3},
               {kBlock, 2},
               {kBlock + 1, 2},
               {2 * kBlock + 5, 0},
               {kBlock + 9, -3},
               {10 * kBlock, 3},
               {2 * kBlock + 7, 3},
               {4 * kBlock + 3, 1, 0, -1, 0, CDataWiper::kCodeStoppedAtPass, 0},
               {4 * kBlock + 3, 1, 3, -1, 0, CDataWiper::kCodeStoppedInPass, 2},
               {2 * kBlock, 2, 3, -1, 0, CDataWiper::kCodeStoppedAtPass, 2},
               {3 * kBlock + 10, 3, -1, 4, 0, CDataWiper::kCodeBlockWriteFailed, 4},
               {kBlock + 10, 1, -1, 1, 0, CDataWiper::kCodeTailWriteFailed, 1},
               {2 * kBlock, 1, -1, -1, CDataWiper::kCodeFlushFailed, CDataWiper::kCodeFlushFailed},
               {5 * kBlock, kNoAlgorithm, -1, -1, 0, CDataWiper::kCodeNullAlgorithm, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "total " << c.total << ", passes " << c.passes << ", code "
                                    << std::hex << c.code);
    RecordingWiper wiper(c.total, c.failingWrite, c.finishCode);
    RecordingSink sink(c.allowedChecks);
    PassNumberAlgorithm algorithm(c.passes);
    const bool none = c.passes == kNoAlgorithm;
    EXPECT_EQ(wiper.WippeData(none ? nullptr : &algorithm, &sink), c.code);
    const std::int64_t blocks = c.total / kBlock, passes = std::max(c.passes, 0);
    std::vector<Write> expected;
    for (std::int64_t at = 0; at < passes * blocks; ++at) {
      expected.emplace_back(at % blocks * kBlock, int(kBlock), 0xA0);
    }
    if (c.total % kBlock) expected.emplace_back(blocks * kBlock, int(c.total % kBlock), 0xA0);
    expected.resize(std::min(expected.size(), c.writes));
    EXPECT_EQ(wiper.writes, expected);
    EXPECT_EQ(algorithm.fills, none ? 0 : 1);
    EXPECT_EQ(wiper.totalCalls, none ? 0 : 1);
    EXPECT_EQ(wiper.finishCalls, 1);
    if (c.code == 0) {
      EXPECT_EQ(sink.checks, passes * (blocks + 1));  // one per pass and one per block
    }
    const std::int64_t steps = std::min<std::int64_t>(expected.size(), passes * blocks);
    ASSERT_EQ(sink.reports.size(), static_cast<std::size_t>(steps + 1));
    for (std::int64_t step = 0; step <= steps; ++step) {
      const ProgressMsg& report = sink.reports[step];
      const bool last = step == steps;
      EXPECT_EQ(report.msg_type, last && c.code ? MSG_TYPE_ERROR : MSG_TYPE_NORMAL);
      EXPECT_EQ(report.msg_status, none ? MSG_STATUS_IDLE : MSG_STATUS_RUNNING);
      const std::int64_t current = std::min(step, std::max<std::int64_t>(steps - 1, 0));
      EXPECT_EQ(report.steps_current, current);
      if (none) continue;
      EXPECT_EQ(report.steps_total, c.passes * blocks);
      EXPECT_EQ(report.sub_step_total, blocks);
      EXPECT_EQ(report.sub_step_current, blocks ? current % blocks : 0);
    }
    EXPECT_EQ(sink.reports.back().msg_errorCode, c.code);
    EXPECT_STREQ(sink.reports.back().msg_info, "");
  }
}

}  // namespace
