#include <gtest/gtest.h>

#include <string>

#include "algorithms/WiperAlgorithms.h"
#include "support/TestFiles.h"
#include "support/TestPlatform.h"
#include "support/RecordingSink.h"
#include "wipers/FileWiper.h"

namespace {

constexpr std::size_t kBlock = CDataWiper::kBlockSize;

// Every size around the block edges, with one pass and with seven (every
// pass writes the same whole file).
TEST(FileWiper, OverwritesEveryByteInPlaceThenDeletes) {
  for (const std::size_t size :
       {std::size_t{0}, std::size_t{1}, kBlock - 1, kBlock, kBlock + 1, 3 * kBlock + 4097}) {
    TempDir dir;
    const fs::path path = dir / "secret.bin";
    WriteBytes(path, PatternBytes(size));
    CFileWiper wiper;
    ASSERT_EQ(wiper.init(ModulePath(path).c_str()), 0);
    EXPECT_EQ(wiper.GetTotalSize(), size);
    CZeroFillWiperAlgorithm zero;
    CUSDOD522022MECEAlgorithm sevenPasses;
    IWiperAlgorithm* algorithm = size % 2 ? static_cast<IWiperAlgorithm*>(&sevenPasses) : &zero;
    ASSERT_EQ(wiper.WippeData(algorithm, nullptr), 0u) << "size " << size;

    const std::string content = ReadBytes(path);
    EXPECT_EQ(content.size(), size);
    EXPECT_TRUE(AllBytesAre(content, 0xFF)) << "size " << size;
    EXPECT_NE(wiper.closeAndDelete(), 0);
    EXPECT_FALSE(fs::exists(path)) << "size " << size;
  }
}

TEST(FileWiper, StoppedWipeLeavesTheFileWithItsLength) {
  TempDir dir;
  const fs::path path = dir / "kept.bin";
  const std::string original = PatternBytes(4 * kBlock + 10);
  WriteBytes(path, original);
  {
    CFileWiper wiper;
    ASSERT_EQ(wiper.init(ModulePath(path).c_str()), 0);
    CZeroFillWiperAlgorithm algorithm;
    RecordingSink stop(2);
    EXPECT_EQ(wiper.WippeData(&algorithm, &stop), CDataWiper::kCodeStoppedInPass);
    EXPECT_EQ(wiper.closeAndDelete(), 0);  // a stopped wipe deletes nothing
  }
  const std::string content = ReadBytes(path);
  ASSERT_EQ(content.size(), original.size());
  EXPECT_TRUE(AllBytesAre(content.substr(0, kBlock), 0xFF));
  EXPECT_EQ(content.substr(kBlock), original.substr(kBlock));
}

TEST(FileWiper, InitFailsWithoutTouchingAnything) {
  TempDir dir;
  CFileWiper missing;
  EXPECT_EQ(missing.init(ModulePath(dir / "absent.bin").c_str()), -1);
  EXPECT_FALSE(fs::exists(dir / "absent.bin"));
  CFileWiper folder;
  EXPECT_EQ(folder.init(ModulePath(dir.path()).c_str()), -1);
  CFileWiper null;
  EXPECT_EQ(null.init(nullptr), -1);
  EXPECT_TRUE(fs::is_directory(dir.path()));
}

TEST(FileWiper, LinkIsRefusedAndItsTargetKept) {
  TempDir dir;
  const std::string original = PatternBytes(kBlock + 5);
  WriteBytes(dir / "target.bin", original);
  std::string why;
  if (!MakeFileLink(dir / "link.bin", dir / "target.bin", &why)) GTEST_SKIP() << why;
  CFileWiper wiper;
  EXPECT_EQ(wiper.init(ModulePath(dir / "link.bin").c_str()), -1);
  EXPECT_EQ(ReadBytes(dir / "target.bin"), original);
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) entries += entry.path() != "";
  EXPECT_EQ(entries, 2) << "the link itself must stay";
}

TEST(FileWiper, ChangesDuringTheWipeFailItOrDeleteNothingElse) {
  for (const bool replace : {false, true}) {
    TempDir dir;
    const fs::path path = dir / "changing.bin";
    WriteBytes(path, PatternBytes(3 * kBlock));
    CFileWiper wiper;
    ASSERT_EQ(wiper.init(ModulePath(path).c_str()), 0);
    RecordingSink sink;
    bool replaced = false;
    sink.onCheck = [&](int check) {
      if (check != 3) return;
      std::error_code refused;  // an open file may not be renamed away
      if (replace) fs::rename(path, dir / "moved.bin", refused);
      replaced = replace && !refused;
      WriteBytes(path, replaced ? "innocent" : ReadBytes(path) + "grown");
    };
    CZeroFillWiperAlgorithm algorithm;
    const std::uint32_t code = wiper.WippeData(&algorithm, &sink);
    if (!replace) {
      EXPECT_EQ(code, CDataWiper::kCodeTailWriteFailed);
    }
    wiper.closeAndDelete();
    ASSERT_TRUE(fs::exists(path)) << "replace " << replace;
    if (replaced) {
      EXPECT_EQ(ReadBytes(path), "innocent");
    }
  }
}

TEST(FileWiper, RelativeNamesAndLongPathsAreReached) {
  TempDir dir;
  fs::path deep = dir / "rel";
  while (deep.wstring().size() < 400) deep /= std::string(50, 'p');
  WriteBytes(deep / "deep.bin", PatternBytes(kBlock + 3));
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  CFileWiper wiper;
  const int initResult = wiper.init(ModulePath(fs::relative(deep / "deep.bin")).c_str());
  fs::current_path(previous);
  ASSERT_EQ(initResult, 0);
  CZeroFillWiperAlgorithm algorithm;
  ASSERT_EQ(wiper.WippeData(&algorithm, nullptr), 0u);
  EXPECT_TRUE(AllBytesAre(ReadBytes(deep / "deep.bin"), 0xFF));
  EXPECT_NE(wiper.closeAndDelete(), 0);
  EXPECT_FALSE(fs::exists(deep / "deep.bin"));
}

}  // namespace
