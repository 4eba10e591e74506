#include <gtest/gtest.h>

#include <string>

#include "support/TextHelpers.h"

namespace {

TEST(TextHelpersPosix, NarrowTextIsUtf8AndStrayBytesSurviveAsLoneSurrogates) {
  EXPECT_EQ(AnsiToWide("\xE4\xB8\xAD\xF0\x9F\x98\x80"), std::wstring(L"\u4E2D\U0001F600"));
  EXPECT_EQ(WideToAnsi(L"\u4E2D\U0001F600"), "\xE4\xB8\xAD\xF0\x9F\x98\x80");
  // A lone continuation byte, a truncated sequence, an overlong form and an
  // encoded surrogate: none is valid UTF-8, every byte must survive.
  for (const std::string name : {"a\x80z", "\xE4\xB8", "\xC0\xAF", "\xED\xA0\x80", "\xFF\xFE"}) {
    const std::wstring wide = AnsiToWide(name);
    for (wchar_t c : wide) EXPECT_TRUE((c >= 0xDC80 && c <= 0xDCFF) || c < 0x80) << int(c);
    EXPECT_EQ(WideToAnsi(wide), name);
  }
  EXPECT_EQ(AnsiToWide("\xFF"), std::wstring(1, static_cast<wchar_t>(0xDCFF)));
  // Unencodable wide text becomes the default character.
  EXPECT_EQ(WideToAnsi(L"a" + std::wstring(1, static_cast<wchar_t>(0xD800)) + L"b"), "a?b");
  EXPECT_EQ(WideToAnsi(std::wstring(1, static_cast<wchar_t>(0x110000))), "?");
}

}  // namespace
