#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "algorithms/WiperAlgorithms.h"
#include "storage/FileSystem.h"
#include "support/LogProbe.h"
#include "support/TestFiles.h"
#include "support/TestPlatform.h"
#include "wipers/FolderWiper.h"

namespace {

constexpr std::size_t kBlock = CDataWiper::kBlockSize;

std::wstring Wide(const fs::path& path) { return path.wstring(); }

std::uint32_t WipeAndRemove(CFolderWiper* wiper, const fs::path& root) {
  wiper->init(ModulePath(root).c_str());
  CZeroFillWiperAlgorithm algorithm;
  const std::uint32_t code = wiper->WippeData(&algorithm, nullptr);
  if (code == 0) wiper->removeAll();
  return code;
}

TEST(FolderWiper, CollectsBreadthFirstAndRemovesDeepestFirst) {
  TempDir dir;
  const fs::path root = dir / "tree";
  WriteBytes(root / "a" / "b" / "c" / "leaf.bin", PatternBytes(3000));
  WriteBytes(root / "top.bin", PatternBytes(10));
  CFolderWiper wiper;
  ASSERT_EQ(wiper.init(ModulePath(root).c_str()), 1);
  EXPECT_EQ(wiper.folders(),
            (std::vector<std::wstring>{Wide(root), Wide(root / "a"), Wide(root / "a" / "b"),
                                       Wide(root / "a" / "b" / "c")}));
  EXPECT_EQ(wiper.files(), (std::vector<std::wstring>{Wide(root / "top.bin"),
                                                      Wide(root / "a" / "b" / "c" / "leaf.bin")}));
  EXPECT_EQ(wiper.GetTotalSize(), 3010u);
  CZeroFillWiperAlgorithm algorithm;
  ASSERT_EQ(wiper.WippeData(&algorithm, nullptr), 0u);
  // The file holding the last byte stays open, overwritten, until removeAll.
  EXPECT_FALSE(fs::exists(root / "top.bin"));
  EXPECT_TRUE(AllBytesAre(ReadBytes(root / "a" / "b" / "c" / "leaf.bin"), 0xFF));
  wiper.removeAll();
  EXPECT_FALSE(fs::exists(root));
}

TEST(FolderWiper, OneRunOfBytesIsSplitAcrossFilesInCollectionOrder) {
  TempDir dir;
  const fs::path root = dir / "split";
  const std::size_t secondSize = 2 * kBlock + 5000;
  WriteBytes(root / "first.bin", PatternBytes(1000));
  WriteBytes(root / "sub" / "second.bin", PatternBytes(secondSize));
  CFolderWiper wiper;
  wiper.init(ModulePath(root).c_str());
  ASSERT_EQ(wiper.GetTotalSize(), 1000 + secondSize);

  std::vector<unsigned char> block(kBlock, 0xFF);
  EXPECT_EQ(wiper.WriteData(0, block.data(), int(kBlock)), int(kBlock));
  EXPECT_FALSE(fs::exists(root / "first.bin"));
  std::string second = ReadBytes(root / "sub" / "second.bin");
  EXPECT_TRUE(AllBytesAre(second.substr(0, kBlock - 1000), 0xFF));
  EXPECT_EQ(second.substr(kBlock - 1000), PatternBytes(secondSize).substr(kBlock - 1000));

  EXPECT_EQ(wiper.WriteData(kBlock, block.data(), int(kBlock)), int(kBlock));
  const std::size_t tail = 1000 + secondSize - 2 * kBlock;
  EXPECT_EQ(wiper.WriteData(2 * kBlock, block.data(), int(tail)), int(tail));
  second = ReadBytes(root / "sub" / "second.bin");
  EXPECT_EQ(second.size(), secondSize);
  EXPECT_TRUE(AllBytesAre(second, 0xFF));
  EXPECT_EQ(wiper.WriteData(1000 + secondSize, block.data(), 10), 0);  // past the run
  wiper.removeAll();
  EXPECT_FALSE(fs::exists(root));
}

TEST(FolderWiper, FileEndingWithABlockIsDeletedAtTheNextWrite) {
  TempDir dir;
  const fs::path root = dir / "edge";
  WriteBytes(root / "exact.bin", PatternBytes(kBlock));
  WriteBytes(root / "sub" / "after.bin", PatternBytes(10));
  CFolderWiper wiper;
  wiper.init(ModulePath(root).c_str());
  std::vector<unsigned char> block(kBlock, 0xFF);
  EXPECT_EQ(wiper.WriteData(0, block.data(), int(kBlock)), int(kBlock));
  EXPECT_TRUE(fs::exists(root / "exact.bin"));
  EXPECT_EQ(wiper.WriteData(kBlock, block.data(), 10), 10);
  EXPECT_FALSE(fs::exists(root / "exact.bin"));
  EXPECT_TRUE(AllBytesAre(ReadBytes(root / "sub" / "after.bin"), 0xFF));
}

TEST(FolderWiper, EmptyFilesAndEmptyFoldersAreRemoved) {
  TempDir dir;
  const fs::path root = dir / "hollow";
  fs::create_directories(root / "x" / "y");
  fs::create_directories(root / "z");
  WriteBytes(root / "x" / "empty1", "");
  WriteBytes(root / "empty2", "");
  CFolderWiper wiper;
  EXPECT_EQ(WipeAndRemove(&wiper, root), 0u);
  EXPECT_EQ(wiper.GetTotalSize(), 0u);
  EXPECT_FALSE(fs::exists(root));

  const fs::path bare = dir / "bare";
  fs::create_directory(bare);
  CFolderWiper bareWiper;
  EXPECT_EQ(WipeAndRemove(&bareWiper, bare), 0u);
  EXPECT_FALSE(fs::exists(bare));
}

TEST(FolderWiper, MissingOrNullFolderCollectsNothing) {
  TempDir dir;
  CFolderWiper missing;
  EXPECT_EQ(missing.init(ModulePath(dir / "none").c_str()), 1);
  EXPECT_TRUE(missing.files().empty());
  EXPECT_EQ(missing.GetTotalSize(), 0u);
  CFolderWiper null;
  EXPECT_EQ(null.init(nullptr), 1);
  EXPECT_TRUE(null.folders().empty());
}

TEST(FolderWiper, LinksAreRemovedButNeverFollowed) {
  TempDir dir;
  const fs::path outside = dir / "outside";
  const std::string outsideData = PatternBytes(kBlock + 123);
  WriteBytes(outside / "precious.bin", outsideData);
  WriteBytes(outside / "nested" / "more.bin", outsideData);
  const fs::path root = dir / "tree";
  WriteBytes(root / "own.bin", PatternBytes(500));
  fs::create_directories(root / "sub");

  std::string why;
  const bool folderLink = MakeFolderLink(root / "sub" / "to-outside", outside, &why);
  const bool fileLink = MakeFileLink(root / "file-link", outside / "precious.bin", &why);
  if (!folderLink && !fileLink) GTEST_SKIP() << "the system makes no links here: " << why;

  CFolderWiper wiper;
  EXPECT_EQ(WipeAndRemove(&wiper, root), 0u);
  EXPECT_EQ(wiper.files(), std::vector<std::wstring>{Wide(root / "own.bin")});
  EXPECT_EQ(wiper.GetTotalSize(), 500u);
  EXPECT_EQ(ReadBytes(outside / "precious.bin"), outsideData);
  EXPECT_EQ(ReadBytes(outside / "nested" / "more.bin"), outsideData);
  EXPECT_FALSE(fs::exists(fs::symlink_status(root)));
}

TEST(FolderWiper, RootThatIsALinkIsNotWalked) {
  TempDir dir;
  const fs::path outside = dir / "outside";
  WriteBytes(outside / "precious.bin", PatternBytes(700));
  std::string why;
  if (!MakeFolderLink(dir / "link", outside, &why)) GTEST_SKIP() << "no folder links: " << why;
  CFolderWiper wiper;
  WipeAndRemove(&wiper, dir / "link");
  EXPECT_TRUE(wiper.files().empty());
  EXPECT_EQ(ReadBytes(outside / "precious.bin"), PatternBytes(700));
}

TEST(FolderWiper, FileThatCannotBeOpenedFailsTheWipeAndKeepsTheRest) {
  TempDir dir;
  const fs::path root = dir / "tree";
  WriteBytes(root / "first.bin", PatternBytes(1000));
  WriteBytes(root / "a" / "vanished.bin", PatternBytes(1000));
  WriteBytes(root / "a" / "b" / "later.bin", PatternBytes(1000));
  LogProbe log;
  CFolderWiper wiper;
  wiper.init(ModulePath(root).c_str());
  fs::remove(root / "a" / "vanished.bin");

  CZeroFillWiperAlgorithm algorithm;
  EXPECT_EQ(wiper.WippeData(&algorithm, nullptr), CDataWiper::kCodeTailWriteFailed);
  EXPECT_FALSE(fs::exists(root / "first.bin"));
  EXPECT_EQ(ReadBytes(root / "a" / "b" / "later.bin"), PatternBytes(1000));
  EXPECT_TRUE(log.Contains("cannot open"));
  EXPECT_TRUE(log.Contains("vanished.bin"));
}

TEST(FolderWiper, TreeBelowALongPathIsWipedAndRemoved) {
  TempDir dir;
  const fs::path root = dir / "long";
  fs::path deep = root;
  while (deep.wstring().size() < dir.path().wstring().size() + 330) deep /= std::string(40, 'n');
  WriteBytes(deep / "deep.bin", PatternBytes(kBlock + 11));
  WriteBytes(root / "shallow.bin", PatternBytes(20));
  CFolderWiper wiper;
  EXPECT_EQ(WipeAndRemove(&wiper, root), 0u);
  EXPECT_EQ(wiper.GetTotalSize(), kBlock + 31);
  EXPECT_FALSE(fs::exists(root));
}

TEST(FolderWiper, RelativeFolderIsResolvedAgainstTheCurrentFolder) {
  TempDir dir;
  WriteBytes(dir / "rel" / "x.bin", PatternBytes(100));
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  CFolderWiper wiper;
  wiper.init("rel");
  fs::current_path(previous);
  EXPECT_EQ(wiper.files(), std::vector<std::wstring>{Wide(dir / "rel" / "x.bin")});
  CZeroFillWiperAlgorithm algorithm;
  EXPECT_EQ(wiper.WippeData(&algorithm, nullptr), 0u);
  wiper.removeAll();
  EXPECT_FALSE(fs::exists(dir / "rel"));
}

}  // namespace
