#include <sys/mount.h>

#include <cerrno>
#include <cstring>

#include "support/LogProbe.h"
#include "wipers/WipeHelpers.h"

namespace {

// Names that are not valid UTF-8 pass through the module's wide paths
// intact; a tree deeper than any path (built one level at a time from inside)
// is wiped whole.
TEST(FolderWiperPosix, ByteNamesAndTreesDeeperThanAnyPathAreWipedWhole) {
  const std::string byteName = "bytes-\xFF\xC0\x80-\xE4\xB8";
  TempDir dir;
  const fs::path root = dir / byteName;
  WriteBytes(root / (byteName + ".bin"), PatternBytes(200));
  CFileWiper file;
  ASSERT_EQ(ZeroFillWipe(&file, root / (byteName + ".bin")), 0u);
  EXPECT_FALSE(fs::exists(root / (byteName + ".bin")));
  {
    InFolder in(root);
    for (int depth = 0; depth < 30; ++depth) {
      WriteBytes(byteName + ".bin", PatternBytes(1000));
      fs::create_directory(byteName + std::string(180, 'd'));
      fs::current_path(byteName + std::string(180, 'd'));
    }
  }
  CFolderWiper wiper;
  EXPECT_EQ(ZeroFillWipe(&wiper, root), 0u);
  EXPECT_EQ(wiper.files().size(), 30u);
  EXPECT_FALSE(fs::exists(root));
}

// A bind mount of a folder of the same file system and another file system
// mounted inside the tree are neither walked nor removed.
TEST(FolderWiperPosix, MountsInsideTheTreeAreLeftAlone) {
  TempDir dir;
  const fs::path root = dir / "tree", bound = root / "bound", other = root / "sub" / "other";
  WriteBytes(dir / "outside" / "keep.bin", PatternBytes(5000));
  WriteBytes(root / "own.bin", PatternBytes(100));
  fs::create_directories(bound);
  fs::create_directories(other);
  if (mount((dir / "outside").c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "cannot mount here: " << std::strerror(errno);
  }
  const bool mounted = mount("vtx-test", other.c_str(), "tmpfs", 0, "size=1m") == 0;
  if (mounted) WriteBytes(other / "inner.bin", PatternBytes(300));
  LogProbe log;
  CFolderWiper wiper;
  EXPECT_EQ(ZeroFillWipe(&wiper, root), 0u);
  EXPECT_EQ(wiper.GetTotalSize(), 100u);
  EXPECT_EQ(ReadBytes(bound / "keep.bin"), PatternBytes(5000));
  EXPECT_TRUE(!mounted || ReadBytes(other / "inner.bin") == PatternBytes(300));
  EXPECT_TRUE(log.Contains("skip mount point: " + bound.string()));
  umount2(bound.c_str(), MNT_DETACH);
  if (mounted) umount2(other.c_str(), MNT_DETACH);
  EXPECT_EQ(ReadBytes(dir / "outside" / "keep.bin"), PatternBytes(5000));
}

}  // namespace
