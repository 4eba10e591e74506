#include <gtest/gtest.h>

#include <string>

#include "support/TextHelpers.h"

namespace {

TEST(TextHelpers, TextRoundTripsAndStopsAtAnEmbeddedNul) {
  const std::string ascii = "C:\\Data\\notes 1.txt ~!@#$%^&()";
  EXPECT_EQ(WideToAnsi(std::wstring(ascii.begin(), ascii.end())), ascii);
  // U+00E9 exists in every code page this module meets (UTF-8, 1252).
  for (const std::wstring& wide :
       {std::wstring(), std::wstring(ascii.begin(), ascii.end()), std::wstring(L"caf\u00e9")}) {
    const std::string narrow = WideToAnsi(wide);
    EXPECT_GE(narrow.size(), wide.size()) << "no character lost";
    EXPECT_EQ(AnsiToWide(narrow), wide);
  }
  EXPECT_EQ(AnsiToWide(std::string("ab\0cd", 5)), L"ab");
  EXPECT_EQ(WideToAnsi(std::wstring(L"ab\0cd", 5)), "ab");
}

}  // namespace
