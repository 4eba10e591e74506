#include <gtest/gtest.h>

#include <string>

#include "support/TextHelpers.h"

namespace {

// Code page 1252, the ANSI code page of the test prefix: 0xE9 is U+00E9 and
// the ideograph is outside it.
TEST(TextHelpersWin32, TextConvertsByTheCodePage) {
  EXPECT_EQ(AnsiToWide("caf\xE9"), L"caf\u00e9");
  EXPECT_EQ(WideToAnsi(L"a\u4E2Db"), "a?b");
}

}  // namespace
