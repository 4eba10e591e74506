#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include "common/IErrorInterpreter.h"
#include "manager/DataWiperManager.h"
#include "wipers/DataWiper.h"
#include "wipers/DeviceDriverWiper.h"

namespace {

std::string Hex(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08X", code);
  return text;
}

// Every code the wipe layer reports, each from its own site.
using M = CDataWiperManager;
using D = CDeviceDriverWiper;
using W = CDataWiper;
const std::uint32_t kWipeCodes[] = {M::kCodeDiskNotFound,
                                    M::kCodePartitionNotFound,
                                    M::kCodeSystemPartition,
                                    M::kCodeSystemDisk,
                                    M::kCodeDeviceNotOpen,
                                    M::kCodeNoAlgorithm,
                                    M::kCodeDeviceWiperInit,
                                    M::kCodeFreeSpaceDiskNotFound,
                                    M::kCodeFreeSpaceSystemPartition,
                                    M::kCodeNotMounted,
                                    M::kCodeFreeSpaceWiperInit,
                                    M::kCodeFileWiperInit,
                                    M::kCodeFolderWiperInit,
                                    D::kDriverCodeNullBuffer,
                                    D::kDriverCodeNullAlgorithm,
                                    D::kDriverCodeStartSectorZero,
                                    D::kDriverCodeStoppedAtPass,
                                    D::kDriverCodeStoppedInPass,
                                    D::kDriverCodeBlockWriteFailed,
                                    D::kDriverCodeTailWriteFailed,
                                    W::kCodeNullBuffer,
                                    W::kCodeNullAlgorithm,
                                    W::kCodeStoppedAtPass,
                                    W::kCodeStoppedInPass,
                                    W::kCodeBlockWriteFailed,
                                    W::kCodeTailWriteFailed,
                                    W::kCodeFlushFailed};

TEST(ErrorInterpreter, WipeCodesGetTheirOwnSentenceSystemCodesTheSystemsMessage) {
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
