#include <gtest/gtest.h>

#include <string>

#include "support/TextHelpers.h"

namespace {

TEST(TextHelpersWin32, UnrepresentableCharacterBecomesTheCodePageDefault) {
  // The ideograph is outside every single-byte ANSI code page.
  const std::string narrow = WideToAnsi(L"a\u4E2Db");
  EXPECT_EQ(narrow, "a?b");
}

TEST(TextHelpersWin32, AnsiBytesWidenByTheCodePage) {
  // 0xE9 is U+00E9 in code page 1252, the ANSI code page of the test prefix.
  EXPECT_EQ(AnsiToWide("caf\xE9"), L"caf\u00e9");
}

}  // namespace
