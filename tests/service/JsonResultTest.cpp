#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "service/CGIInvokeRslt.h"

namespace {

using vantrix_Web::CCGIInvokeRslt;

TEST(CommandResult, TaskIdFormRendersEverySignedValue) {
  const std::pair<std::int64_t, const char*> rows[] = {
      {1, "{\"taskId\":1}"},
      {std::numeric_limits<std::int64_t>::min(), "{\"taskId\":-9223372036854775808}"},
      {std::numeric_limits<std::int64_t>::max(), "{\"taskId\":9223372036854775807}"}};
  for (const auto& [id, json] : rows) {
    CCGIInvokeRslt result(id);
    EXPECT_TRUE(result.IsSuccess());
    EXPECT_STREQ(result.GetErrorMsg(), "");
    EXPECT_STREQ(result.GetResultJson(), json);
  }
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

}  // namespace
