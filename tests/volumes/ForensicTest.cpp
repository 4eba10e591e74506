#include <fstream>
#include <random>

#include "storage/VantrixFile.h"
#include "volumes/ScratchVolume.h"
#include "wipers/WipeHelpers.h"

namespace {

// `size` bytes of the marker, repeated line by line.
std::string Repeated(const std::string& marker, std::size_t size) {
  std::string content;
  while (content.size() < size) content += marker + '\n';
  content.resize(size);
  return content;
}

// Writes `size` bytes of the repeated marker at `offset` and flushes them to
// the device, so that the raw image holds them before anything is wiped.
void WriteDurably(const fs::path& path, const std::string& marker, std::size_t size,
                  std::int64_t offset = 0) {
  MakeFolders(path.parent_path());
  const std::string content = Repeated(marker, size);
  VantrixFile file;
  ASSERT_TRUE(file.open(path.wstring(), VantrixFile::kModeDefault)) << path;
  ASSERT_EQ(file.writeFile(offset, static_cast<std::uint32_t>(size),
                           reinterpret_cast<const unsigned char*>(content.data())),
            static_cast<std::int64_t>(size));
  file.closeFile();
}

// The file `path` wiped by the file wiper, or its folder by the folder wiper.
std::uint32_t WipeFileOrFolder(bool folder, const fs::path& path) {
  CFileWiper file;
  CFolderWiper tree;
  return folder ? ZeroFillWipe(&tree, ModulePath(path.parent_path()))
                : ZeroFillWipe(&file, ModulePath(path));
}

// A scratch ext4 read raw, whose markers the fixture scans for after unmounting.
class Forensic : public ScratchVolumeTest {
 protected:
  void UseImage(const char* variable, const std::string& image) {
    Use(variable);
    if (IsSkipped()) return;
    m_image = FixtureFile(image + ".img");
    m_markers.open(FixtureFile(image + ".marker"), std::ios::app);
  }
  // A new random marker, listed for the scan after unmounting.
  std::string Marker(const char* kind) {
    std::random_device random;
    std::string marker = "VTX-";
    for (int i = 0; i < 24; ++i) marker.push_back("0123456789abcdef"[random() % 16]);
    marker += std::string("-") + kind;
    m_markers << marker << '\n' << std::flush;
    return marker;
  }
  std::size_t InImage(const std::string& marker) const {
    const std::string image = ReadBytes(m_image);
    std::size_t count = 0;
    for (auto at = image.find(marker); at != std::string::npos; at = image.find(marker, at + 1)) {
      ++count;
    }
    return count;
  }
  std::uint32_t WipeFreeSpace() const {
    CVolFreeSpaceWiper wiper;
    return ZeroFillWipe(&wiper, root());
  }

  fs::path m_image;
  std::ofstream m_markers;
};

// Files holding a marker, in files and folders named with one, are wiped by
// the file wiper, the folder wiper, and (after a plain delete) the free-space
// wiper; neither data nor names may survive on the raw image. This file
// system has no journal, whose copies of folder blocks would keep every name.
TEST_F(Forensic, NoDataAndNoNameOfAWipedFileSurvives) {
  UseImage("VTX_FORENSIC_ROOT", "forensic");
  if (IsSkipped()) return;
  const std::string fileMarker = Marker("file"), treeMarker = Marker("tree");
  const std::string freeMarker = Marker("free"), name = Marker("name");
  const fs::path single = path() / (name + "-single.bin"), tree = path() / (name + "-tree");
  WriteDurably(single, fileMarker, 300000);
  WriteDurably(tree / (name + "-a.bin"), treeMarker, 200000);
  WriteDurably(tree / (name + "-sub") / "b.bin", treeMarker, 262144);
  WriteDurably(tree / "sub2" / "deeper" / "c.bin", treeMarker, 5000);
  WriteDurably(path() / "plain.bin", freeMarker, 250000);
  ASSERT_GT(InImage(fileMarker), 1000u) << "the scan cannot see the files";
  const std::size_t freeCount = InImage(freeMarker);
  ASSERT_GT(freeCount, 1000u);

  ASSERT_EQ(WipeFileOrFolder(false, single), 0u);
  ASSERT_EQ(WipeFileOrFolder(true, tree / (name + "-a.bin")), 0u);
  EXPECT_FALSE(fs::exists(single) || fs::exists(tree));
  EXPECT_EQ(InImage(fileMarker), 0u) << "the file wiper left data on the device";
  EXPECT_EQ(InImage(treeMarker), 0u) << "the folder wiper left data on the device";
  EXPECT_EQ(InImage(freeMarker), freeCount);

  fs::remove(path() / "plain.bin");
  EXPECT_EQ(WipeFreeSpace(), 0u);
  EXPECT_EQ(InImage(freeMarker), 0u) << "the free-space wiper left deleted data on the device";
}

// A sparse file whose hole the nearly full volume cannot fill fails the wipe
// and stays; once there is room again it is wiped for good.
TEST_F(Forensic, SparseFileOnANearlyFullVolumeIsWipedWholeOrKept) {
  UseImage("VTX_FORENSIC_ROOT", "forensic");
  if (IsSkipped()) return;
  for (const bool folder : {false, true}) {
    SCOPED_TRACE(folder ? "folder wiper" : "file wiper");
    Clear();
    const std::string marker = Marker("sparse");
    const fs::path sparse = path() / "tree" / "sparse.bin";
    WriteDurably(sparse, marker, 36 * 1024, /*offset=*/64 * 1024);
    LeaveFree(16 * 1024);
    EXPECT_NE(WipeFileOrFolder(folder, sparse), 0u);
    ASSERT_TRUE(fs::exists(sparse));
    RemoveBallast();
    EXPECT_EQ(WipeFileOrFolder(folder, sparse), 0u);
    EXPECT_FALSE(fs::exists(sparse));
    EXPECT_EQ(InImage(marker), 0u);
  }
}

// ext4 as mkfs makes it keeps 5 % for root, and journals the blocks of
// folders and extent trees. Deleted data there is free space too: a
// free-space wipe run as root must cover it, also the blocks its own temporary
// files' folder and extent tree take (here: free space in 256 KiB pieces
// between kept files, so that a temporary file has more extents than its
// inode holds).
TEST_F(Forensic, FreeSpaceWipeCoversTheBlocksKeptForRootAndItsOwnMetadata) {
  UseImage("VTX_RESERVE_ROOT", "reserve");
  if (IsSkipped()) return;
  const std::string marker = Marker("reserve");
  if (fs::space(path()).free == fs::space(path()).available) {
    GTEST_SKIP() << "the system shows no blocks kept for root here (Windows has none)";
  }
  // Every block this process may write gets the marker, the reserve included.
  const std::string piece = Repeated(marker, 65536);
  for (int round = 0; round < 2; ++round) {
    for (int file = 0;; ++file) {
      VantrixFile data;
      const fs::path name = path() / ("data" + std::to_string(round) + "-" + std::to_string(file));
      ASSERT_TRUE(data.open(name.wstring(), VantrixFile::kModeDefault));
      bool full = false;
      for (int at = 0; at < 4 && !full; ++at) {
        full =
            data.writeFileToEnd(65536, reinterpret_cast<const unsigned char*>(piece.data())) <= 0;
      }
      data.flush();
      WriteBytes(path() / ("kept" + std::to_string(round) + "-" + std::to_string(file)), "k");
      if (full) break;
    }
  }
  for (const auto& entry : fs::directory_iterator(path())) {
    if (entry.path().filename().string().rfind("data", 0) == 0) fs::remove(entry.path());
  }
  ASSERT_GT(InImage(marker), 1000u);
  EXPECT_EQ(WipeFreeSpace(), 0u);
  EXPECT_EQ(InImage(marker), 0u) << "deleted data survived in the root reserve or the metadata";
}

// Writes the device takes into its cache but cannot flush (the image's backing
// store is full) fail the wipe with their own code; nothing is deleted. The
// files are holes only: the loop device takes a write that starts on a block
// the backing store already holds and ends short of room as done, so no block
// of theirs may be in the backing store before the wipe.
TEST_F(Forensic, FailedFlushFailsTheWipeAndDeletesNothing) {
  Use("VTX_FAULTY_ROOT");
  if (IsSkipped()) return;
  const fs::path ballast = FixtureFile("faulty-backing") / "ballast.bin";
  for (const bool folder : {false, true}) {
    SCOPED_TRACE(folder ? "folder wiper" : "file wiper");
    Clear();
    // Two files: the folder wiper flushes one as it passes it, one at the end.
    const fs::path sparse = path() / "tree" / "sparse.bin", other = path() / "tree" / "other.bin";
    for (const fs::path& file : {sparse, other}) {
      MakeFolders(file.parent_path());
      std::ofstream(file, std::ios::binary).flush();
      fs::resize_file(file, 1 << 20);
    }
    {
      std::ofstream fill(ballast, std::ios::binary);
      const std::string chunk(1 << 16, 'b');
      while (fill.write(chunk.data(), chunk.size())) {
      }
    }
    EXPECT_EQ(WipeFileOrFolder(folder, sparse), CDataWiper::kCodeFlushFailed);
    EXPECT_TRUE(fs::exists(sparse) && fs::exists(other));
    fs::remove(ballast);
  }
}

}  // namespace
