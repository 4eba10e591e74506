#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "service/ProgressWrapper.h"
#include "service/RecordingManager.h"

namespace {

using vantrix_Web::CProgressWrapper;

constexpr const char* kStarted =
    "{\"msg_type\":32,\"msg_status\":0,\"sub_step_current\":0,\"sub_step_total\":1,"
    "\"steps_current\":0,\"steps_total\":1,\"msg_errorCode\":0,\"msg_info\":\"\"}";

// An interpreter that answers every code with the text of the running row.
class FixedInterpreter final : public BoundaryObject<FixedInterpreter, IErrorInterpreter> {
 public:
  const char* GetErrorString(unsigned int) override { return text.c_str(); }
  static IErrorInterpreter* Source() { return &Instance(); }
  static FixedInterpreter& Instance() {
    static FixedInterpreter interpreter;
    return interpreter;
  }
  std::string text;
};

struct InfoRow {
  std::uint32_t code;
  std::string info;             // the report's own text
  std::string interpreterText;  // what the interpreter answers
  std::string expectedInfo;
  const char* expectedCode;
};

TEST(ProgressHolder, ACodeWithoutTextTakesTheInterpretersTextCutAt131Characters) {
  const InfoRow rows[] = {
      {0xE0300301, "", "system partition", "system partition", "-533724415"},
      {0xE0300301, "VTX_ERROR_SYSTEM_DRIVE_CANNOT_WIPPE", "unused",
       "VTX_ERROR_SYSTEM_DRIVE_CANNOT_WIPPE", "-533724415"},
      {5, "", std::string(200, 'x'), std::string(131, 'x'), "5"},
      {5, std::string(131, 'y'), "unused", std::string(131, 'y'), "5"},
      {0, "", "unused", "", "0"},
  };
  for (const InfoRow& row : rows) {
    FixedInterpreter::Instance().text = row.interpreterText;
    CProgressWrapper holder(1, &FixedInterpreter::Source);
    const ProgressMsg block = Progress(MSG_STATUS_FINISHED, 1, row.code, row.info.c_str());
    holder.ReportProgress(&block);
    const std::string json = holder.ToJson();
    EXPECT_NE(json.find(std::string("\"msg_errorCode\":") + row.expectedCode + ","),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"msg_info\":\"" + row.expectedInfo + "\"}"), std::string::npos) << json;
  }
}

TEST(ProgressHolder, RendersEachReportWholeRetiresOnTheFinishedStateAndResetsOnReuse) {
  CProgressWrapper holder(7, &FixedInterpreter::Source);
  EXPECT_STREQ(holder.ToJson(), kStarted);
  ProgressMsg block = Progress(MSG_STATUS_RUNNING, 15, 0, "first");
  holder.ReportProgress(&block);
  block = Progress(MSG_STATUS_RUNNING, 15, 0);  // replaces the first whole
  holder.ReportProgress(&block);
  holder.ReportProgress(nullptr);
  EXPECT_STREQ(holder.ToJson(),
               "{\"msg_type\":32,\"msg_status\":2,\"sub_step_current\":5,\"sub_step_total\":10,"
               "\"steps_current\":15,\"steps_total\":30,\"msg_errorCode\":0,\"msg_info\":\"\"}");
  EXPECT_EQ(holder.GetTaskId(), 7);
  block = Progress(MSG_STATUS_FINISHED, 1, 0);
  holder.ReportProgress(&block);
  EXPECT_EQ(holder.GetTaskId(), 7);
  EXPECT_NE(std::string(holder.ToJson()).find("\"msg_status\":3"), std::string::npos);
  EXPECT_EQ(holder.GetTaskId(), -1);

  holder.Stop();
  holder.Reuse(8);
  EXPECT_EQ(holder.GetTaskId(), 8);
  EXPECT_TRUE(holder.CanContinue());
  EXPECT_STREQ(holder.ToJson(), kStarted);
}

TEST(ProgressHolder, APauseHoldsTheWipeUntilResumedOrStoppedAndAStopIsFinal) {
  for (const bool stop : {false, true}) {
    CProgressWrapper holder(1, &FixedInterpreter::Source);
    holder.Pause();
    std::future<bool> answer = std::async(std::launch::async, [&] { return holder.CanContinue(); });
    EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    if (stop) {
      holder.Stop();
    } else {
      holder.Resume();
    }
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(answer.get(), !stop);
    holder.Resume();
    EXPECT_EQ(holder.CanContinue(), !stop);
  }
}

}  // namespace
