#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "algorithms/WiperAlgorithms.h"
#include "support/RecordingSink.h"
#include "wipers/DataWiper.h"

namespace {

constexpr std::int64_t kBlock = CDataWiper::kBlockSize;
constexpr int kNoAlgorithm = INT_MIN;

struct Write {
  std::int64_t offset;
  int size;
  unsigned char byte;  // the first byte of the buffer written
  bool operator==(const Write& o) const {
    return offset == o.offset && size == o.size && byte == o.byte;
  }
};

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
    writes.push_back({offset, size, buffer[0]});
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
// once (pass 0); the tail is written once, after the last pass. One report
// per block, then the final one.
TEST(PassLoop, EveryBlockOfEveryPassThenTheTailIsWrittenAndReported) {
  const struct {
    std::uint64_t total;
    int passes;
  } cases[] = {
      {0, 1},           {100, 3},         {kBlock, 2},        {kBlock + 1, 2}, {2 * kBlock + 5, 0},
      {kBlock + 9, -3}, {10 * kBlock, 3}, {2 * kBlock + 7, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "total " << c.total << ", passes " << c.passes);
    RecordingWiper wiper(c.total);
    RecordingSink sink;
    PassNumberAlgorithm algorithm(c.passes);
    EXPECT_EQ(wiper.WippeData(&algorithm, &sink), 0u);
    const std::int64_t blocks = c.total / kBlock, passes = std::max(c.passes, 0);
    std::vector<Write> expected;
    for (std::int64_t at = 0; at < passes * blocks; ++at) {
      expected.push_back({at % blocks * kBlock, int(kBlock), 0xA0});
    }
    if (c.total % kBlock) expected.push_back({blocks * kBlock, int(c.total % kBlock), 0xA0});
    EXPECT_EQ(wiper.writes, expected);
    EXPECT_EQ(algorithm.fills, 1);
    EXPECT_EQ(wiper.totalCalls, 1);
    EXPECT_EQ(sink.checks, passes * (blocks + 1));  // one per pass and one per block
    const std::int64_t steps = passes * blocks;
    ASSERT_EQ(sink.reports.size(), static_cast<std::size_t>(steps + 1));
    for (std::int64_t step = 0; step <= steps; ++step) {
      const ProgressMsg& report = sink.reports[step];
      EXPECT_EQ(report.msg_type, MSG_TYPE_NORMAL);
      EXPECT_EQ(report.msg_status, MSG_STATUS_RUNNING);
      EXPECT_EQ(report.steps_total, c.passes * blocks);
      EXPECT_EQ(report.sub_step_total, blocks);
      const std::int64_t current = std::min(step, std::max<std::int64_t>(steps - 1, 0));
      EXPECT_EQ(report.steps_current, current);
      EXPECT_EQ(report.sub_step_current, blocks ? current % blocks : 0);
    }
    EXPECT_EQ(sink.reports.back().msg_errorCode, 0u);
    EXPECT_STREQ(sink.reports.back().msg_info, "");
  }
}

// Every way a wipe ends early or fails: the code, the writes made (no tail
// after a failure or a stop), the wiper's finish called once, and the final
// report, which carries the wiper's last word.
TEST(PassLoop, EarlyEndsAndFailuresGiveTheirCodeAndStopWriting) {
  const struct {
    std::uint64_t total;
    int passes, allowedChecks, failingWrite;  // -1: never stopped, no write fails
    std::uint32_t finishCode, code;
    std::size_t writes;
    std::int64_t lastStep;
  } cases[] = {
      {4 * kBlock + 3, 1, 0, -1, 0, CDataWiper::kCodeStoppedAtPass, 0, 0},
      {4 * kBlock + 3, 1, 3, -1, 0, CDataWiper::kCodeStoppedInPass, 2, 1},
      {2 * kBlock, 2, 3, -1, 0, CDataWiper::kCodeStoppedAtPass, 2, 1},
      {3 * kBlock + 10, 3, -1, 4, 0, CDataWiper::kCodeBlockWriteFailed, 4, 3},
      {kBlock + 10, 1, -1, 1, 0, CDataWiper::kCodeTailWriteFailed, 1, 0},
      {2 * kBlock, 1, -1, -1, CDataWiper::kCodeFlushFailed, CDataWiper::kCodeFlushFailed, 2, 1},
      {5 * kBlock, kNoAlgorithm, -1, -1, 0, CDataWiper::kCodeNullAlgorithm, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.code);
    RecordingWiper wiper(c.total, c.failingWrite, c.finishCode);
    RecordingSink sink(c.allowedChecks);
    PassNumberAlgorithm algorithm(c.passes);
    const bool none = c.passes == kNoAlgorithm;
    EXPECT_EQ(wiper.WippeData(none ? nullptr : &algorithm, &sink), c.code);
    EXPECT_EQ(wiper.writes.size(), c.writes);
    EXPECT_EQ(wiper.finishCalls, 1);
    EXPECT_EQ(wiper.totalCalls, none ? 0 : 1);
    const ProgressMsg& last = sink.reports.back();
    EXPECT_EQ(last.msg_status, none ? MSG_STATUS_IDLE : MSG_STATUS_RUNNING);
    EXPECT_EQ(last.msg_type, MSG_TYPE_ERROR);
    EXPECT_EQ(last.msg_errorCode, c.code);
    EXPECT_EQ(last.steps_current, c.lastStep);
  }
}

}  // namespace
