#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "algorithms/WiperAlgorithms.h"
#include "support/RecordingSink.h"
#include "wipers/DataWiper.h"

namespace {

constexpr std::int64_t kBlock = CDataWiper::kBlockSize;

struct Write {
  std::int64_t offset;
  int size;
  bool operator==(const Write& other) const { return offset == other.offset && size == other.size; }
};

// A target of any size that records the writes and can fail the n-th one.
class RecordingWiper : public CDataWiper {
 public:
  explicit RecordingWiper(std::uint64_t total, int failingWrite = -1)
      : m_total(total), m_failingWrite(failingWrite) {}
  std::uint64_t GetTotalSize() override {
    ++totalCalls;
    return m_total;
  }
  int WriteData(std::int64_t offset, unsigned char* buffer, int size) override {
    if (static_cast<int>(writes.size()) == m_failingWrite) return -1;
    writes.push_back({offset, size});
    bytes.push_back(buffer[0]);
    return size;
  }
  std::uint32_t FinishData(std::uint32_t code) override {
    finishedWith.push_back(code);
    return finishCode != 0 ? finishCode : code;
  }
  std::vector<Write> writes;
  std::vector<unsigned char> bytes;
  std::vector<std::uint32_t> finishedWith;
  std::uint32_t finishCode = 0;
  int totalCalls = 0;

 private:
  std::uint64_t m_total;
  int m_failingWrite;
};

// An algorithm with a chosen pass count, writing its pass number as the byte.
class PassNumberAlgorithm : public BoundaryObject<PassNumberAlgorithm, IWiperAlgorithm> {
 public:
  explicit PassNumberAlgorithm(int passes) : m_passes(passes) {}
  int GetWipeTimes() override { return m_passes; }
  void FillBuffer(unsigned char* buffer, int size, int pass) override {
    ++fills;
    for (int i = 0; i < size; ++i) buffer[i] = static_cast<unsigned char>(0xA0 + pass);
  }
  int fills = 0;

 private:
  int m_passes;
};

TEST(PassLoop, ProgressCountsEveryBlockOfEveryPass) {
  RecordingWiper wiper(10 * kBlock);
  RecordingSink sink;
  PassNumberAlgorithm algorithm(3);
  EXPECT_EQ(wiper.WippeData(&algorithm, &sink), 0u);

  ASSERT_EQ(sink.reports.size(), 31u);  // 30 blocks and the final report
  for (int pass = 0; pass < 3; ++pass) {
    for (int block = 0; block < 10; ++block) {
      const ProgressMsg& report = sink.reports[pass * 10 + block];
      EXPECT_EQ(report.msg_type, MSG_TYPE_NORMAL);
      EXPECT_EQ(report.msg_status, MSG_STATUS_RUNNING);
      EXPECT_EQ(report.steps_total, 30);
      EXPECT_EQ(report.sub_step_total, 10);
      EXPECT_EQ(report.steps_current, pass * 10 + block);
      EXPECT_EQ(report.sub_step_current, block);
      EXPECT_EQ(wiper.writes[pass * 10 + block], (Write{block * kBlock, int(kBlock)}));
    }
  }
  const ProgressMsg& last = sink.reports.back();
  EXPECT_EQ(last.msg_type, MSG_TYPE_NORMAL);
  EXPECT_EQ(last.msg_errorCode, 0u);
  EXPECT_EQ(last.steps_current, 29);
  EXPECT_EQ(last.msg_info[0], '\0');
  EXPECT_EQ(sink.checks, 33);  // one per pass and one per block
}

TEST(PassLoop, BufferIsFilledOnceWithPassZeroForEveryPass) {
  RecordingWiper wiper(2 * kBlock + 7);
  PassNumberAlgorithm algorithm(3);
  EXPECT_EQ(wiper.WippeData(&algorithm, nullptr), 0u);
  EXPECT_EQ(algorithm.fills, 1);
  EXPECT_EQ(wiper.totalCalls, 1);
  EXPECT_EQ(wiper.bytes, std::vector<unsigned char>(7, 0xA0));
}

TEST(PassLoop, TailIsWrittenOnceAfterTheLastPass) {
  struct Case {
    std::uint64_t total;
    int passes;
    std::vector<Write> writes;
  };
  const Case cases[] = {
      {0, 1, {}},
      {100, 3, {{0, 100}}},
      {kBlock, 2, {{0, int(kBlock)}, {0, int(kBlock)}}},
      {kBlock + 1, 2, {{0, int(kBlock)}, {0, int(kBlock)}, {kBlock, 1}}},
      {2 * kBlock + 5, 0, {{2 * kBlock, 5}}},
      {kBlock + 9, -3, {{kBlock, 9}}},
  };
  for (const Case& c : cases) {
    RecordingWiper wiper(c.total);
    RecordingSink sink;
    PassNumberAlgorithm algorithm(c.passes);
    EXPECT_EQ(wiper.WippeData(&algorithm, &sink), 0u) << "total " << c.total;
    EXPECT_EQ(wiper.writes, c.writes) << "total " << c.total << " passes " << c.passes;
    ASSERT_FALSE(sink.reports.empty());
    EXPECT_EQ(sink.reports.back().steps_total,
              static_cast<std::int64_t>(c.passes) * static_cast<std::int64_t>(c.total >> 17));
  }
}

// Every way a wipe ends early or fails: the code, the writes made (no tail
// after a failure or a stop), the code the wiper's finish saw, and the final
// report, which carries the wiper's last word.
TEST(PassLoop, EarlyEndsAndFailuresGiveTheirCodeAndStopWriting) {
  struct Case {
    std::uint64_t total;
    int passes;
    int allowedChecks;  // -1: never stopped
    int failingWrite;   // -1: none
    std::uint32_t finishCode;
    std::uint32_t code;
    std::size_t writes;
    std::int64_t lastStep;
  };
  const Case cases[] = {
      {4 * kBlock + 3, 1, 0, -1, 0, CDataWiper::kCodeStoppedAtPass, 0, 0},
      {4 * kBlock + 3, 1, 3, -1, 0, CDataWiper::kCodeStoppedInPass, 2, 1},
      {2 * kBlock, 2, 3, -1, 0, CDataWiper::kCodeStoppedAtPass, 2, 1},
      {3 * kBlock + 10, 3, -1, 4, 0, CDataWiper::kCodeBlockWriteFailed, 4, 3},
      {kBlock + 10, 1, -1, 1, 0, CDataWiper::kCodeTailWriteFailed, 1, 0},
      {2 * kBlock, 1, -1, -1, CDataWiper::kCodeFlushFailed, CDataWiper::kCodeFlushFailed, 2, 1},
  };
  for (const Case& c : cases) {
    RecordingWiper wiper(c.total, c.failingWrite);
    wiper.finishCode = c.finishCode;
    RecordingSink sink(c.allowedChecks);
    PassNumberAlgorithm algorithm(c.passes);
    EXPECT_EQ(wiper.WippeData(&algorithm, &sink), c.code);
    EXPECT_EQ(wiper.writes.size(), c.writes) << std::hex << c.code;
    EXPECT_EQ(wiper.finishedWith.size(), 1u);
    EXPECT_EQ(sink.reports.back().msg_type, MSG_TYPE_ERROR);
    EXPECT_EQ(sink.reports.back().msg_errorCode, c.code);
    EXPECT_EQ(sink.reports.back().steps_current, c.lastStep) << std::hex << c.code;
  }
}

TEST(PassLoop, NullAlgorithmTouchesNothing) {
  RecordingWiper wiper(5 * kBlock);
  RecordingSink sink;
  EXPECT_EQ(wiper.WippeData(nullptr, &sink), CDataWiper::kCodeNullAlgorithm);
  EXPECT_TRUE(wiper.writes.empty());
  EXPECT_EQ(wiper.totalCalls, 0);
  ASSERT_EQ(sink.reports.size(), 1u);
  EXPECT_EQ(sink.reports[0].msg_status, MSG_STATUS_IDLE);
  EXPECT_EQ(sink.reports[0].msg_type, MSG_TYPE_ERROR);
}

}  // namespace
