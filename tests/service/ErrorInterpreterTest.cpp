#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include "common/IErrorInterpreter.h"
#include "wipers/DataWiper.h"

namespace {

std::string Hex(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08X", code);
  return text;
}

// Every code the wipe layer reports, each from its own site.
const std::uint32_t kWipeCodes[] = {0x02203008,
                                    0x03703008,
                                    0xE0300301,
                                    0x00300301,
                                    0x06003008,
                                    0x80300302,
                                    0xD0300305,
                                    0x0B303008,
                                    0x0D103020,
                                    0x0D603006,
                                    0x10300304,
                                    0x60300304,
                                    0x50300304,
                                    0x10C03001,
                                    0x11303001,
                                    0x11E03008,
                                    0x12E0301B,
                                    0x1370301B,
                                    0x13C03005,
                                    0x14803005,
                                    CDataWiper::kCodeNullBuffer,
                                    CDataWiper::kCodeNullAlgorithm,
                                    CDataWiper::kCodeStoppedAtPass,
                                    CDataWiper::kCodeStoppedInPass,
                                    CDataWiper::kCodeBlockWriteFailed,
                                    CDataWiper::kCodeTailWriteFailed};

TEST(ErrorInterpreter, EveryWipeCodeHasItsOwnShortSentenceNamingTheCode) {
  IErrorInterpreter* interpreter = __GetErrorInterPreter();
  ASSERT_NE(interpreter, nullptr);
  EXPECT_EQ(interpreter, __GetErrorInterPreter());
  std::set<std::string> texts;
  for (std::uint32_t code : kWipeCodes) {
    const std::string text = interpreter->GetErrorString(code);
    EXPECT_NE(text.find("(code " + Hex(code) + ")"), std::string::npos) << text;
    EXPECT_LE(text.size(), 131u) << text;
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), sizeof(kWipeCodes) / sizeof(kWipeCodes[0]));
}

TEST(ErrorInterpreter, SystemCodesGetTheSystemsMessageAndOthersAreUnknown) {
  IErrorInterpreter* interpreter = __GetErrorInterPreter();
  // 2 is "file not found" on both systems; 5 "access denied" / EIO.
  for (std::uint32_t code : {2u, 5u}) {
    const std::string text = interpreter->GetErrorString(code);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find("unknown error"), std::string::npos) << text;
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
  }
  for (std::uint32_t code : {0u, 0xDEADBEEFu, 0xFFFFFFFFu, 0x0350301Cu}) {
    EXPECT_EQ(std::string(interpreter->GetErrorString(code)), "unknown error " + Hex(code));
  }
}

}  // namespace
