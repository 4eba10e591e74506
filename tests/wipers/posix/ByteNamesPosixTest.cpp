#include <gtest/gtest.h>

#include <string>

#include "algorithms/WiperAlgorithms.h"
#include "support/TestFiles.h"
#include "wipers/FileWiper.h"
#include "wipers/FolderWiper.h"

namespace {

// Names that are not valid UTF-8 pass through the module's wide paths intact.
const std::string kByteName = "bytes-\xFF\xC0\x80-\xE4\xB8";

TEST(ByteNames, FileWithAnArbitraryByteNameIsWipedAndDeleted) {
  TempDir dir;
  const fs::path path = dir.path() / kByteName;
  WriteBytes(path, PatternBytes(1000));
  CFileWiper wiper;
  ASSERT_EQ(wiper.init(path.c_str()), 0);
  CZeroFillWiperAlgorithm algorithm;
  ASSERT_EQ(wiper.WippeData(&algorithm, nullptr), 0u);
  EXPECT_TRUE(AllBytesAre(ReadBytes(path), 0xFF));
  EXPECT_NE(wiper.closeAndDelete(), 0);
  EXPECT_FALSE(fs::exists(path));
}

TEST(ByteNames, TreeWithArbitraryByteNamesIsRemoved) {
  TempDir dir;
  const fs::path root = dir.path() / kByteName;
  WriteBytes(root / kByteName / "inner.bin", PatternBytes(300));
  WriteBytes(root / (kByteName + ".bin"), PatternBytes(200));
  CFolderWiper wiper;
  wiper.init(root.c_str());
  EXPECT_EQ(wiper.GetTotalSize(), 500u);
  CZeroFillWiperAlgorithm algorithm;
  ASSERT_EQ(wiper.WippeData(&algorithm, nullptr), 0u);
  wiper.removeAll();
  EXPECT_FALSE(fs::exists(root));
}

}  // namespace
