#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "common/IJsonWriter.h"
#include "service/CGIInvokeRslt.h"
#include "service/SingleValJsonWriter.h"

namespace {

using vantrix_Web::CCGIInvokeRslt;

// A writer with one member of its own per rendering.
class CountingWriter : public BoundaryObject<CountingWriter, IJsonWriter> {
 public:
  const char* ToJson() override {
    m_writer.Key("count");
    m_writer.Int64(++m_count);
    return IJsonWriter::ToJson();
  }
  const char* RenderBare() { return IJsonWriter::ToJson(); }

 private:
  std::int64_t m_count = 0;
};

TEST(JsonWriter, EachRenderingHoldsOnlyTheMembersWrittenSinceTheLast) {
  CountingWriter writer;
  EXPECT_STREQ(writer.ToJson(), "{\"count\":1}");
  EXPECT_STREQ(writer.ToJson(), "{\"count\":2}");
  EXPECT_STREQ(writer.RenderBare(), "{}");
  EXPECT_STREQ(writer.RenderBare(), "{}");
}

TEST(JsonWriter, SingleValueFollowsTheReferencedVariable) {
  std::int64_t value = -5;
  CSingleValJsonWriter<std::int64_t> writer("taskId", &value);
  EXPECT_STREQ(writer.ToJson(), "{\"taskId\":-5}");
  value = std::numeric_limits<std::int64_t>::min();
  EXPECT_STREQ(writer.ToJson(), "{\"taskId\":-9223372036854775808}");
}

TEST(CommandResult, TaskIdForm) {
  CCGIInvokeRslt first(std::int64_t{1});
  EXPECT_TRUE(first.IsSuccess());
  EXPECT_STREQ(first.GetErrorMsg(), "");
  EXPECT_STREQ(first.GetResultJson(), "{\"taskId\":1}");

  CCGIInvokeRslt largest(std::numeric_limits<std::int64_t>::max());
  EXPECT_STREQ(largest.GetResultJson(), "{\"taskId\":9223372036854775807}");
}

TEST(CommandResult, CodedErrorFormKeepsTheUnsignedCodeAndEscapesTheText) {
  CCGIInvokeRslt small("abc", 5u, false);
  EXPECT_FALSE(small.IsSuccess());
  EXPECT_STREQ(small.GetErrorMsg(), "abc");
  EXPECT_STREQ(small.GetResultJson(), "{\"errorCode\":5,\"errorMsg\":\"abc\"}");

  CCGIInvokeRslt largest("a\"b\\c", 4294967295u, true);
  EXPECT_TRUE(largest.IsSuccess());
  EXPECT_STREQ(largest.GetResultJson(), "{\"errorCode\":4294967295,\"errorMsg\":\"a\\\"b\\\\c\"}");
}

TEST(CommandResult, PlainFormCarriesItsTextsUnchanged) {
  CCGIInvokeRslt notFound("\"\"", "task-id-not-found", false);
  EXPECT_FALSE(notFound.IsSuccess());
  EXPECT_STREQ(notFound.GetErrorMsg(), "task-id-not-found");
  EXPECT_EQ(std::string(notFound.GetResultJson()).size(), 2u);

  auto* released = new CCGIInvokeRslt("{}", "", true);
  vantrix_Web::ICGIResult* result = released;
  EXPECT_STREQ(result->GetResultJson(), "{}");
  result->Release();
}

}  // namespace
