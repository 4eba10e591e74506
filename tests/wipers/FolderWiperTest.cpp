#include "storage/FileSystem.h"
#include "support/LogProbe.h"
#include "wipers/WipeHelpers.h"

namespace {

// The run z.bin, a/second.bin (ending with the second block), a/b/third.bin,
// collected breadth first below a relative root longer than the classic path
// limit. A file goes once the cursor passed its last byte: at the next write
// when it ends with a block, the last one at removeAll.
TEST(FolderWiper, CursorSplitsTheRunAcrossFilesAndDeletesEachFilePassed) {
  TempDir dir;
  fs::path root = dir / "tree";
  while (root.wstring().size() < dir.path().wstring().size() + 330) root /= std::string(40, 'n');
  const fs::path z = root / "z.bin", second = root / "a" / "second.bin";
  const fs::path third = root / "a" / "b" / "third.bin";
  WriteBytes(z, PatternBytes(1000));
  WriteBytes(second, PatternBytes(2 * kBlock - 1000));
  WriteBytes(third, PatternBytes(10));
  CFolderWiper wiper;
  {
    InFolder in(dir.path());
    ASSERT_EQ(wiper.init(ModulePath(fs::relative(root)).c_str()), 1);
  }
  EXPECT_EQ(wiper.folders(), (std::vector<std::wstring>{root.wstring(), (root / "a").wstring(),
                                                        (root / "a" / "b").wstring()}));
  EXPECT_EQ(wiper.files(),
            (std::vector<std::wstring>{z.wstring(), second.wstring(), third.wstring()}));
  ASSERT_EQ(wiper.GetTotalSize(), 2 * kBlock + 10);

  std::vector<unsigned char> block(kBlock, 0xFF);
  EXPECT_EQ(wiper.WriteData(0, block.data(), int(kBlock)), int(kBlock));
  EXPECT_FALSE(fs::exists(z));
  EXPECT_EQ(ReadBytes(second), std::string(kBlock - 1000, '\xFF') +
                                   PatternBytes(2 * kBlock - 1000).substr(kBlock - 1000));
  EXPECT_EQ(wiper.WriteData(kBlock, block.data(), int(kBlock)), int(kBlock));
  EXPECT_TRUE(AllBytesAre(ReadBytes(second), 0xFF));
  EXPECT_EQ(wiper.WriteData(2 * kBlock, block.data(), 10), 10);
  EXPECT_FALSE(fs::exists(second));
  EXPECT_EQ(ReadBytes(third), std::string(10, '\xFF'));
  EXPECT_EQ(wiper.WriteData(2 * kBlock + 10, block.data(), 10), 0);  // past the run
  EXPECT_EQ(wiper.FinishData(0), 0u);
  wiper.removeAll();
  EXPECT_FALSE(fs::exists(root));
}

// Empty files and folders go; a wiper that wiped nothing (the manager's second
// clean-up) removes only what holds no data.
TEST(FolderWiper, EmptyFilesAndFoldersAreRemovedButUnwrittenDataIsKept) {
  TempDir dir;
  const fs::path root = dir / "hollow";
  fs::create_directories(root / "x" / "y");
  WriteBytes(root / "x" / "empty1", "");
  WriteBytes(root / "empty2", "");
  CFolderWiper wiper;
  EXPECT_EQ(ZeroFillWipe(&wiper, ModulePath(root)), 0u);
  EXPECT_FALSE(fs::exists(root));
  WriteBytes(root / "data.bin", PatternBytes(50));
  WriteBytes(root / "sub" / "empty", "");
  CFolderWiper cleaner;
  ASSERT_EQ(cleaner.init(ModulePath(root).c_str()), 1);
  cleaner.removeAll();
  EXPECT_EQ(ReadBytes(root / "data.bin"), PatternBytes(50));
  EXPECT_FALSE(fs::exists(root / "sub"));
}

// Missing, not a folder, named by dots, a link by any spelling, a mount root,
// the running system: init fails with nothing touched.
TEST(FolderWiper, DangerousOrMeaninglessTargetsFailInit) {
  TempDir dir;
  const fs::path outside = dir / "outside";
  WriteBytes(outside / "keep.bin", PatternBytes(700));
  WriteBytes(dir / "plain.bin", PatternBytes(10));
  const std::string separator(1, kNarrowPathSeparator), out = ModulePath(outside);
  std::vector<std::string> targets = {"",
                                      ".",
                                      "..",
                                      ModulePath(dir / "missing"),
                                      ModulePath(dir / "plain.bin"),
                                      out + separator + ".",
                                      out + separator + ".."};
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

// Links are removed, never followed; a file with a further name outside the
// tree is passed over (its names here go), one with two names here counts once.
TEST(FolderWiper, NothingIsWrittenThroughALinkAndTheLinksGo) {
  TempDir dir;
  const fs::path outside = dir / "outside", root = dir / "tree";
  const std::string outsideData = PatternBytes(kBlock + 123);
  WriteBytes(outside / "precious.bin", outsideData);
  WriteBytes(outside / "nested" / "more.bin", outsideData);
  WriteBytes(root / "own.bin", PatternBytes(500));
  WriteBytes(root / "shared.bin", PatternBytes(kBlock + 7));
  WriteBytes(root / "twin.bin", PatternBytes(900));
  fs::create_directories(root / "sub");
  std::string why;
  const bool folderLink = MakeFolderLink(root / "sub" / "to-outside", outside, &why);
  const bool fileLink = MakeFileLink(root / "file-link", outside / "precious.bin", &why);
  std::error_code error;
  fs::create_hard_link(root / "shared.bin", outside / "shared.bin", error);
  if (!error) fs::create_hard_link(root / "twin.bin", root / "twin-again.bin", error);
  if (!folderLink && !fileLink && error) GTEST_SKIP() << "no links here: " << why;
  LogProbe log;
  CFolderWiper wiper;
  EXPECT_EQ(ZeroFillWipe(&wiper, ModulePath(root)), 0u);
  EXPECT_EQ(wiper.files().size(), 3u);
  EXPECT_EQ(wiper.GetTotalSize(), 500 + kBlock + 7 + 900);
  EXPECT_EQ(ReadBytes(outside / "precious.bin"), outsideData);
  EXPECT_EQ(ReadBytes(outside / "nested" / "more.bin"), outsideData);
  if (!error) {
    EXPECT_EQ(ReadBytes(outside / "shared.bin"), PatternBytes(kBlock + 7));
    EXPECT_TRUE(log.Contains("has names outside the folder"));
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(root)));
}

// The tree changed between the listing and the cursor (at the stop check
// before the pass), or under it (before the third block). The run is c.bin,
// a/one.bin, b/two.bin; `outside` holds the same files.
enum Change { kFolderLinked, kRootLinked, kRemoved, kGrew, kGrewDuring, kReplacedDuring };

// False when the system refused the change (then nothing need fail).
bool Make(Change change, const fs::path& root, const fs::path& outside) {
  const fs::path two = root / "b" / "two.bin";
  const bool atRoot = change == kRootLinked;
  const fs::path folder = atRoot ? root : root / "b";
  std::error_code error;
  std::string why;
  switch (change) {
    case kFolderLinked:
    case kRootLinked:
      fs::rename(folder, fs::path(folder).concat(".real"), error);
      return !error && MakeFolderLink(folder, atRoot ? outside : outside / "b", &why);
    case kRemoved:
      return fs::remove(two);
    case kReplacedDuring:
      fs::rename(two, fs::path(two).concat(".moved"), error);
      if (error) return false;  // an open file that may not be renamed away
      WriteBytes(two, "innocent");
      return true;
    default:
      WriteBytes(two, ReadBytes(two) + "more");
      return true;
  }
}

TEST(FolderWiper, ChangesAfterTheListingFailTheWipeAndTouchNothingElse) {
  for (const Change change :
       {kFolderLinked, kRootLinked, kRemoved, kGrew, kGrewDuring, kReplacedDuring}) {
    SCOPED_TRACE(change);
    TempDir dir;
    const fs::path root = dir / "tree", outside = dir / "outside";
    for (const fs::path& base : {root, outside}) {
      WriteBytes(base / "c.bin", PatternBytes(100));
      WriteBytes(base / "a" / "one.bin", PatternBytes(kBlock + 100));
      WriteBytes(base / "b" / "two.bin", PatternBytes(3 * kBlock));
    }
    RecordingSink sink;
    bool made = false;
    sink.onCheck = [&](int check) {
      if (check == (change >= kGrewDuring ? 4 : 1)) made = Make(change, root, outside);
    };
    CFolderWiper wiper;
    const std::uint32_t code = ZeroFillWipe(&wiper, ModulePath(root), &sink);
    EXPECT_TRUE(!made || code != 0u);
    EXPECT_EQ(ReadBytes(outside / "b" / "two.bin"), PatternBytes(3 * kBlock));
    EXPECT_EQ(ReadBytes(outside / "a" / "one.bin"), PatternBytes(kBlock + 100));
    EXPECT_TRUE(!fs::exists(root / "b" / "two.bin.moved") ||
                ReadBytes(root / "b" / "two.bin") == "innocent");
  }
}

}  // namespace
