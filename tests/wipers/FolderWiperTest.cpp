#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "algorithms/WiperAlgorithms.h"
#include "storage/FileSystem.h"
#include "support/LogProbe.h"
#include "support/TestFiles.h"
#include "support/TestPlatform.h"
#include "support/RecordingSink.h"
#include "wipers/FolderWiper.h"

namespace {

constexpr std::size_t kBlock = CDataWiper::kBlockSize;

std::wstring Wide(const fs::path& path) { return path.wstring(); }

std::uint32_t Wipe(CFolderWiper* wiper, const fs::path& root, IProgresMsg* sink = nullptr) {
  if (wiper->init(ModulePath(root).c_str()) < 0) return ~0u;
  CZeroFillWiperAlgorithm algorithm;
  const std::uint32_t code = wiper->WippeData(&algorithm, sink);
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
  // The file holding the last byte stays, overwritten, until removeAll.
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
  EXPECT_TRUE(AllBytesAre(ReadBytes(root / "sub" / "second.bin"), 0xFF));
  EXPECT_EQ(wiper.WriteData(1000 + secondSize, block.data(), 10), 0);  // past the run
  EXPECT_EQ(wiper.FinishData(0), 0u);
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

TEST(FolderWiper, EmptyFilesAndFoldersAreRemovedButUnwrittenDataIsKept) {
  TempDir dir;
  const fs::path root = dir / "hollow";
  fs::create_directories(root / "x" / "y");
  WriteBytes(root / "x" / "empty1", "");
  WriteBytes(root / "empty2", "");
  CFolderWiper wiper;
  EXPECT_EQ(Wipe(&wiper, root), 0u);
  EXPECT_FALSE(fs::exists(root));

  // A wiper that wiped nothing (the manager's second clean-up) removes only
  // what holds no data.
  WriteBytes(root / "data.bin", PatternBytes(50));
  WriteBytes(root / "sub" / "empty", "");
  CFolderWiper cleaner;
  ASSERT_EQ(cleaner.init(ModulePath(root).c_str()), 1);
  cleaner.removeAll();
  EXPECT_EQ(ReadBytes(root / "data.bin"), PatternBytes(50));
  EXPECT_FALSE(fs::exists(root / "sub"));
}

// Targets that must fail init with nothing touched: missing, not a folder,
// named by dots, a link by any spelling, a mount root, the running system.
TEST(FolderWiper, DangerousOrMeaninglessTargetsFailInit) {
  TempDir dir;
  const fs::path outside = dir / "outside";
  WriteBytes(outside / "keep.bin", PatternBytes(700));
  WriteBytes(dir / "plain.bin", PatternBytes(10));
  const std::string separator(1, kNarrowPathSeparator);
  std::vector<std::string> targets = {"",
                                      ".",
                                      "..",
                                      ModulePath(dir / "missing"),
                                      ModulePath(dir / "plain.bin"),
                                      ModulePath(outside) + separator + ".",
                                      ModulePath(outside) + separator + ".."};
  std::string why;
  if (MakeFolderLink(dir / "link", outside, &why)) {
    for (const std::string& end : {std::string(), separator, separator + "."}) {
      targets.push_back(ModulePath(dir / "link") + end);
    }
  }
  for (const std::string& system : SystemFolderTargets()) targets.push_back(system);
  for (const std::string& target : targets) {
    CFolderWiper wiper;
    EXPECT_EQ(wiper.init(target.c_str()), -1) << target;
    EXPECT_TRUE(wiper.files().empty()) << target;
  }
  CFolderWiper null;
  EXPECT_EQ(null.init(nullptr), -1);
  EXPECT_EQ(ReadBytes(outside / "keep.bin"), PatternBytes(700));
  EXPECT_EQ(ReadBytes(dir / "plain.bin"), PatternBytes(10));
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
  EXPECT_EQ(Wipe(&wiper, root), 0u);
  EXPECT_EQ(wiper.files(), std::vector<std::wstring>{Wide(root / "own.bin")});
  EXPECT_EQ(ReadBytes(outside / "precious.bin"), outsideData);
  EXPECT_EQ(ReadBytes(outside / "nested" / "more.bin"), outsideData);
  EXPECT_FALSE(fs::exists(fs::symlink_status(root)));
}

// The tree changed between the listing and the cursor, or under it. Each
// change happens at a chosen stop check of the wipe (1: before the pass; 2,
// 3...: before each block). The run is c.bin, a/one.bin, b/two.bin.
struct Change {
  const char* what;
  int atCheck;
  // Makes the change; false when the system refused it (then nothing failed).
  std::function<bool(const fs::path& root, const fs::path& outside)> make;
};

bool Relink(const fs::path& folder, const fs::path& target) {
  std::error_code error;
  fs::rename(folder, fs::path(folder).concat(".real"), error);
  std::string why;
  return !error && MakeFolderLink(folder, target, &why);
}

bool Grow(const fs::path& file) {
  WriteBytes(file, ReadBytes(file) + "more");
  return true;
}

bool Replace(const fs::path& file) {
  std::error_code error;
  fs::rename(file, fs::path(file).concat(".moved"), error);
  if (error) return false;  // an open file that may not be renamed away
  WriteBytes(file, "innocent");
  return true;
}

TEST(FolderWiper, ChangesAfterTheListingFailTheWipeAndTouchNothingElse) {
  const Change changes[] = {
      {"subfolder swapped for a link", 1,
       [](const fs::path& root, const fs::path& outside) {
         return Relink(root / "b", outside / "b");
       }},
      {"root swapped for a link", 1,
       [](const fs::path& root, const fs::path& outside) { return Relink(root, outside); }},
      {"file removed before the cursor", 1,
       [](const fs::path& root, const fs::path&) { return fs::remove(root / "b" / "two.bin"); }},
      {"file grew before the cursor", 1,
       [](const fs::path& root, const fs::path&) { return Grow(root / "b" / "two.bin"); }},
      {"file grew during its wipe", 4,
       [](const fs::path& root, const fs::path&) { return Grow(root / "b" / "two.bin"); }},
      {"file replaced during its wipe", 4,
       [](const fs::path& root, const fs::path&) { return Replace(root / "b" / "two.bin"); }},
  };
  for (const Change& change : changes) {
    TempDir dir;
    const fs::path root = dir / "tree";
    const fs::path outside = dir / "outside";
    for (const fs::path& base : {root, outside}) {
      WriteBytes(base / "c.bin", PatternBytes(100));
      WriteBytes(base / "a" / "one.bin", PatternBytes(kBlock + 100));
      WriteBytes(base / "b" / "two.bin", PatternBytes(3 * kBlock));
    }
    RecordingSink sink;
    bool made = false;
    sink.onCheck = [&](int check) {
      if (check == change.atCheck) made = change.make(root, outside);
    };
    CFolderWiper wiper;
    const std::uint32_t code = Wipe(&wiper, root, &sink);
    if (made) {
      EXPECT_NE(code, 0u) << change.what;
    }
    EXPECT_EQ(ReadBytes(outside / "b" / "two.bin"), PatternBytes(3 * kBlock)) << change.what;
    EXPECT_EQ(ReadBytes(outside / "a" / "one.bin"), PatternBytes(kBlock + 100)) << change.what;
    if (fs::exists(root / "b" / "two.bin.moved")) {
      EXPECT_EQ(ReadBytes(root / "b" / "two.bin"), "innocent") << change.what;
    }
  }
}

TEST(FolderWiper, FileWithNamesOutsideIsNotOverwrittenButItsNamesHereGo) {
  TempDir dir;
  const fs::path root = dir / "tree";
  WriteBytes(root / "shared.bin", PatternBytes(kBlock + 7));
  WriteBytes(root / "twin.bin", PatternBytes(900));
  fs::create_directories(dir / "outside");
  std::error_code error;
  fs::create_hard_link(root / "shared.bin", dir / "outside" / "shared.bin", error);
  if (!error) fs::create_hard_link(root / "twin.bin", root / "twin-again.bin", error);
  if (error) GTEST_SKIP() << "no hard links here: " << error.message();
  LogProbe log;
  CFolderWiper wiper;
  EXPECT_EQ(Wipe(&wiper, root), 0u);
  EXPECT_EQ(wiper.GetTotalSize(), kBlock + 7 + 900);  // the twin counts once
  EXPECT_EQ(ReadBytes(dir / "outside" / "shared.bin"), PatternBytes(kBlock + 7));
  EXPECT_TRUE(log.Contains("has names outside the folder"));
  EXPECT_FALSE(fs::exists(root));
}

TEST(FolderWiper, RelativeFolderAndLongPathsAreReached) {
  TempDir dir;
  fs::path deep = dir / "rel";
  while (deep.wstring().size() < dir.path().wstring().size() + 330) deep /= std::string(40, 'n');
  WriteBytes(deep / "deep.bin", PatternBytes(kBlock + 11));
  WriteBytes(dir / "rel" / "x.bin", PatternBytes(100));
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  CFolderWiper wiper;
  const int result = wiper.init("rel");
  fs::current_path(previous);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(wiper.GetTotalSize(), kBlock + 111);
  CZeroFillWiperAlgorithm algorithm;
  EXPECT_EQ(wiper.WippeData(&algorithm, nullptr), 0u);
  wiper.removeAll();
  EXPECT_FALSE(fs::exists(dir / "rel"));
}

}  // namespace
