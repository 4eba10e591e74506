#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "algorithms/WiperAlgorithms.h"
#include "support/LogProbe.h"
#include "support/TestFiles.h"
#include "wipers/FileWiper.h"
#include "wipers/FolderWiper.h"

namespace {

std::uint32_t Wipe(CFolderWiper* wiper, const fs::path& root) {
  if (wiper->init(root.c_str()) < 0) return ~0u;
  CZeroFillWiperAlgorithm algorithm;
  const std::uint32_t code = wiper->WippeData(&algorithm, nullptr);
  if (code == 0) wiper->removeAll();
  return code;
}

// Names that are not valid UTF-8 pass through the module's wide paths
// intact; a tree deeper than any path (built one level at a time from inside)
// is wiped whole.
TEST(FolderWiperPosix, ByteNamesAndTreesDeeperThanAnyPathAreWipedWhole) {
  const std::string byteName = "bytes-\xFF\xC0\x80-\xE4\xB8";
  TempDir dir;
  const fs::path root = dir / byteName;
  WriteBytes(root / (byteName + ".bin"), PatternBytes(200));
  CFileWiper file;
  ASSERT_EQ(file.init((root / (byteName + ".bin")).c_str()), 0);
  CZeroFillWiperAlgorithm algorithm;
  ASSERT_EQ(file.WippeData(&algorithm, nullptr), 0u);
  EXPECT_NE(file.closeAndDelete(), 0);
  const fs::path previous = fs::current_path();
  fs::current_path(root);
  const std::string level = byteName + std::string(180, 'd');
  for (int depth = 0; depth < 30; ++depth) {
    WriteBytes(byteName + ".bin", PatternBytes(1000));
    fs::create_directory(level);
    fs::current_path(level);
  }
  fs::current_path(previous);
  CFolderWiper wiper;
  EXPECT_EQ(Wipe(&wiper, root), 0u);
  EXPECT_EQ(wiper.files().size(), 30u);
  EXPECT_FALSE(fs::exists(root));
}

// A bind mount of a folder of the same file system and another file system
// mounted inside the tree are neither walked nor removed.
TEST(FolderWiperPosix, MountsInsideTheTreeAreLeftAlone) {
  TempDir dir;
  const fs::path root = dir / "tree";
  WriteBytes(dir / "outside" / "keep.bin", PatternBytes(5000));
  WriteBytes(root / "own.bin", PatternBytes(100));
  fs::create_directories(root / "bound");
  fs::create_directories(root / "sub" / "other");
  if (mount((dir / "outside").c_str(), (root / "bound").c_str(), nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "cannot mount here: " << std::strerror(errno);
  }
  const bool other =
      mount("vtx-test", (root / "sub" / "other").c_str(), "tmpfs", 0, "size=1m") == 0;
  if (other) WriteBytes(root / "sub" / "other" / "inner.bin", PatternBytes(300));
  LogProbe log;
  CFolderWiper wiper;
  EXPECT_EQ(Wipe(&wiper, root), 0u);
  EXPECT_EQ(wiper.GetTotalSize(), 100u);
  EXPECT_EQ(ReadBytes(root / "bound" / "keep.bin"), PatternBytes(5000));
  if (other) {
    EXPECT_EQ(ReadBytes(root / "sub" / "other" / "inner.bin"), PatternBytes(300));
  }
  EXPECT_TRUE(log.Contains("skip mount point: " + (root / "bound").string()));
  umount2((root / "bound").c_str(), MNT_DETACH);
  if (other) umount2((root / "sub" / "other").c_str(), MNT_DETACH);
  EXPECT_EQ(ReadBytes(dir / "outside" / "keep.bin"), PatternBytes(5000));
}

}  // namespace
