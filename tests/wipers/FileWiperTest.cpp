#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "algorithms/WiperAlgorithms.h"
#include "support/RecordingSink.h"
#include "support/TestFiles.h"
#include "support/TestPlatform.h"
#include "wipers/FileWiper.h"

namespace {

constexpr std::size_t kBlock = CDataWiper::kBlockSize;

// Every size around the block edges, with one pass and with seven (every
// pass writes the same whole file), named relatively, below a folder whose
// path is longer than the system's classic limit.
TEST(FileWiper, OverwritesEveryByteInPlaceThenDeletes) {
  for (const std::size_t size :
       {std::size_t{0}, std::size_t{1}, kBlock - 1, kBlock, kBlock + 1, 3 * kBlock + 4097}) {
    SCOPED_TRACE(size);
    TempDir dir;
    fs::path path = dir.path();
    while (path.wstring().size() < 400) path /= std::string(50, 'p');
    path /= "secret.bin";
    WriteBytes(path, PatternBytes(size));
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    CFileWiper wiper;
    const int opened = wiper.init(ModulePath(fs::relative(path)).c_str());
    fs::current_path(previous);
    ASSERT_EQ(opened, 0);
    EXPECT_EQ(wiper.GetTotalSize(), size);
    CZeroFillWiperAlgorithm zero;
    CUSDOD522022MECEAlgorithm sevenPasses;
    ASSERT_EQ(
        wiper.WippeData(size % 2 ? static_cast<IWiperAlgorithm*>(&sevenPasses) : &zero, nullptr),
        0u);
    const std::string content = ReadBytes(path);
    EXPECT_EQ(content.size(), size);
    EXPECT_TRUE(AllBytesAre(content, 0xFF));
    EXPECT_NE(wiper.closeAndDelete(), 0);
    EXPECT_FALSE(fs::exists(path));
  }
}

// A missing file, a folder, no name, a link: init fails and nothing changes.
TEST(FileWiper, InitRefusesWhatIsNotAPlainFile) {
  TempDir dir;
  const std::string original = PatternBytes(kBlock + 5);
  WriteBytes(dir / "target.bin", original);
  std::string why;
  const bool linked = MakeFileLink(dir / "link.bin", dir / "target.bin", &why);
  std::vector<std::string> targets = {ModulePath(dir / "absent.bin"), ModulePath(dir.path())};
  if (linked) targets.push_back(ModulePath(dir / "link.bin"));
  for (const std::string& target : targets) {
    CFileWiper wiper;
    EXPECT_EQ(wiper.init(target.c_str()), -1) << target;
  }
  CFileWiper null;
  EXPECT_EQ(null.init(nullptr), -1);
  EXPECT_EQ(ReadBytes(dir / "target.bin"), original);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()),
            linked ? 2 : 1);
  if (!linked) GTEST_SKIP() << "the link case: " << why;
}

// A stop, and a file that grew or was replaced during the wipe: nothing is
// deleted, a stopped file keeps its length and its bytes past the last block
// written, a grown one fails the wipe.
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
