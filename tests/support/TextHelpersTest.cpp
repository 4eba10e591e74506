#include <gtest/gtest.h>

#include <string>

#include "support/TextHelpers.h"

namespace {

TEST(TextHelpers, EmptyAndAsciiTextConvertUnchanged) {
  EXPECT_EQ(AnsiToWide(""), L"");
  EXPECT_EQ(WideToAnsi(L""), "");
  const std::string ascii = "C:\\Data\\notes 1.txt ~!@#$%^&()";
  EXPECT_EQ(AnsiToWide(ascii), std::wstring(ascii.begin(), ascii.end()));
  EXPECT_EQ(WideToAnsi(std::wstring(ascii.begin(), ascii.end())), ascii);
}

TEST(TextHelpers, ConversionStopsAtAnEmbeddedNul) {
  EXPECT_EQ(AnsiToWide(std::string("ab\0cd", 5)), L"ab");
  EXPECT_EQ(WideToAnsi(std::wstring(L"ab\0cd", 5)), "ab");
}

TEST(TextHelpers, NonAsciiTextRoundTrips) {
  // U+00E9 exists in every code page this module meets (UTF-8, 1252).
  const std::wstring wide = L"caf\u00e9";
  const std::string narrow = WideToAnsi(wide);
  EXPECT_FALSE(narrow.empty());
  EXPECT_EQ(AnsiToWide(narrow), wide);
}

}  // namespace
