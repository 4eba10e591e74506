#include <iterator>

#include "wipers/WipeHelpers.h"

namespace {

// Every size around the block edges, with one pass and with seven, named
// relatively below a folder longer than the classic path limit.
TEST(FileWiper, OverwritesEveryByteInPlaceThenDeletes) {
  for (const std::size_t size :
       {std::size_t{0}, std::size_t{1}, kBlock - 1, kBlock, kBlock + 1, 3 * kBlock + 4097}) {
    SCOPED_TRACE(size);
    TempDir dir;
    fs::path path = dir.path();
    while (path.wstring().size() < 400) path /= std::string(50, 'p');
    path /= "secret.bin";
    WriteBytes(path, PatternBytes(size));
    CFileWiper wiper;
    {
      InFolder in(dir.path());
      ASSERT_EQ(wiper.init(ModulePath(fs::relative(path)).c_str()), 0);
    }
    EXPECT_EQ(wiper.GetTotalSize(), size);
    CZeroFillWiperAlgorithm zero;
    CUSDOD522022MECEAlgorithm seven;
    ASSERT_EQ(wiper.WippeData(size % 2 ? static_cast<IWiperAlgorithm*>(&seven) : &zero, nullptr),
              0u);
    EXPECT_EQ(ReadBytes(path), std::string(size, '\xFF'));
    EXPECT_NE(wiper.closeAndDelete(), 0);
    EXPECT_FALSE(fs::exists(path));
  }
}

// A missing file, a folder, no name, a link: init fails and nothing changes.
TEST(FileWiper, InitRefusesWhatIsNotAPlainFile) {
  TempDir dir;
  WriteBytes(dir / "target.bin", PatternBytes(kBlock + 5));
  std::string why;
  const bool linked = MakeFileLink(dir / "link.bin", dir / "target.bin", &why);
  const std::string absent = ModulePath(dir / "absent.bin"), folder = ModulePath(dir.path()),
                    link = ModulePath(dir / "link.bin");
  std::vector<const char*> targets = {absent.c_str(), folder.c_str(), nullptr};
  if (linked) targets.push_back(link.c_str());
  for (const char* target : targets) {
    CFileWiper wiper;
    EXPECT_EQ(wiper.init(target), -1) << (target ? target : "null");
  }
  EXPECT_EQ(ReadBytes(dir / "target.bin"), PatternBytes(kBlock + 5));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()),
            linked ? 2 : 1);
  if (!linked) GTEST_SKIP() << "the link case: " << why;
}

// A stop, or a file grown or replaced during the wipe: nothing is deleted, a
// stopped file keeps its bytes past the last block written, a grown one fails.
TEST(FileWiper, StopsAndChangesDuringTheWipeDeleteNothing) {
  enum Change { kStopped, kGrown, kReplaced };
  for (const Change change : {kStopped, kGrown, kReplaced}) {
    SCOPED_TRACE(change);
    TempDir dir;
    const fs::path path = dir / "changing.bin";
    const std::string original = PatternBytes(3 * kBlock + 10);
    WriteBytes(path, original);
    CFileWiper wiper;
    ASSERT_EQ(wiper.init(ModulePath(path).c_str()), 0);
    RecordingSink sink(change == kStopped ? 2 : -1);
    bool replaced = false;
    sink.onCheck = [&](int check) {
      if (check != 3 || change == kStopped) return;
      std::error_code refused;  // an open file may not be renamed away
      if (change == kReplaced) fs::rename(path, dir / "moved.bin", refused);
      replaced = change == kReplaced && !refused;
      WriteBytes(path, replaced ? "innocent" : ReadBytes(path) + "grown");
    };
    CZeroFillWiperAlgorithm algorithm;
    const std::uint32_t code = wiper.WippeData(&algorithm, &sink);
    EXPECT_TRUE(replaced || code == (change == kStopped ? CDataWiper::kCodeStoppedInPass
                                                        : CDataWiper::kCodeTailWriteFailed))
        << std::hex << code;
    EXPECT_EQ(wiper.closeAndDelete(), 0);
    EXPECT_EQ(ReadBytes(path), change == kStopped
                                   ? std::string(kBlock, '\xFF') + original.substr(kBlock)
                               : replaced ? std::string("innocent")
                                          : std::string(3 * kBlock + 10, '\xFF') + "grown");
  }
}

}  // namespace
