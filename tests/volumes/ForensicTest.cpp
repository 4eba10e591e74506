#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "algorithms/WiperAlgorithms.h"
#include "storage/VantrixFile.h"
#include "volumes/ScratchVolume.h"
#include "wipers/FileWiper.h"
#include "wipers/FolderWiper.h"
#include "wipers/VolFreeSpaceWiper.h"

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

std::size_t Occurrences(const std::string& haystack, const std::string& needle) {
  std::size_t count = 0;
  for (std::size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

// Wipes the file `path` with the file wiper, or its folder with the folder
// wiper, deleting what a successful wipe deletes.
std::uint32_t WipeOnce(bool folder, const fs::path& path) {
  CZeroFillWiperAlgorithm algorithm;
  std::uint32_t code = ~0u;
  if (folder) {
    CFolderWiper wiper;
    if (wiper.init(ModulePath(path.parent_path()).c_str()) < 0) return code;
    if ((code = wiper.WippeData(&algorithm, nullptr)) == 0) wiper.removeAll();
  } else {
    CFileWiper wiper;
    if (wiper.init(ModulePath(path).c_str()) != 0) return code;
    if ((code = wiper.WippeData(&algorithm, nullptr)) == 0) wiper.closeAndDelete();
  }
  return code;
}

// A scratch ext4 whose raw image this test reads, and whose markers the
// fixture scans for once more after unmounting it.
class Forensic : public testing::Test {
 protected:
  void Use(const char* variable, const std::string& image) {
    std::string why;
    if (!m_volume.Find(variable, &why)) GTEST_SKIP() << why;
    m_image = FixtureFile(image + ".img");
    m_markers.open(FixtureFile(image + ".marker"), std::ios::app);
    m_volume.Clear();
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
    return Occurrences(ReadBytes(m_image), marker);
  }
  std::uint32_t WipeFreeSpace() const {
    CVolFreeSpaceWiper wiper;
    CZeroFillWiperAlgorithm algorithm;
    return wiper.init(m_volume.root().c_str()) != 0 ? ~0u : wiper.WippeData(&algorithm, nullptr);
  }

  ScratchVolume m_volume;
  fs::path m_image;
  std::ofstream m_markers;
};

// Files holding a marker, in files and folders named with one, are wiped by
// the file wiper, the folder wiper, and (after a plain delete) the free-space
// wiper; neither data nor names may survive on the raw image. This file
// system has no journal, whose copies of folder blocks would keep every name.
TEST_F(Forensic, NoDataAndNoNameOfAWipedFileSurvives) {
  Use("VTX_FORENSIC_ROOT", "forensic");
  if (HasFatalFailure() || IsSkipped()) return;
  const std::string fileMarker = Marker("file");
  const std::string treeMarker = Marker("tree");
  const std::string freeMarker = Marker("free");
  const std::string name = Marker("name");
  const fs::path root = m_volume.path();
  WriteDurably(root / (name + "-single.bin"), fileMarker, 300000);
  const fs::path tree = root / (name + "-tree");
  WriteDurably(tree / (name + "-a.bin"), treeMarker, 200000);
  WriteDurably(tree / (name + "-sub") / "b.bin", treeMarker, 262144);
  WriteDurably(tree / "sub2" / "deeper" / "c.bin", treeMarker, 5000);
  WriteDurably(root / "plain.bin", freeMarker, 250000);
  ASSERT_GT(InImage(fileMarker), 1000u) << "the scan cannot see the files";
  const std::size_t freeCount = InImage(freeMarker);
  ASSERT_GT(freeCount, 1000u);

  ASSERT_EQ(WipeOnce(false, root / (name + "-single.bin")), 0u);
  ASSERT_EQ(WipeOnce(true, tree / (name + "-a.bin")), 0u);
  EXPECT_FALSE(fs::exists(root / (name + "-single.bin")) || fs::exists(tree));
  EXPECT_EQ(InImage(fileMarker), 0u) << "the file wiper left data on the device";
  EXPECT_EQ(InImage(treeMarker), 0u) << "the folder wiper left data on the device";
  EXPECT_EQ(InImage(freeMarker), freeCount);

  fs::remove(root / "plain.bin");
  EXPECT_EQ(WipeFreeSpace(), 0u);
  EXPECT_FALSE(fs::exists(root / CVolFreeSpaceWiper::kWorkFolderName));
  EXPECT_EQ(InImage(freeMarker), 0u) << "the free-space wiper left deleted data on the device";
}

// A sparse file whose hole the nearly full volume cannot fill: the write is
// cut short and the wipe fails, keeping the file rather than counting the part
// written as done; once there is room again it is wiped for good.
TEST_F(Forensic, SparseFileOnANearlyFullVolumeIsWipedWholeOrKept) {
  Use("VTX_FORENSIC_ROOT", "forensic");
  if (HasFatalFailure() || IsSkipped()) return;
  for (const bool folder : {false, true}) {
    SCOPED_TRACE(folder ? "folder wiper" : "file wiper");
    m_volume.Clear();
    const std::string marker = Marker("sparse");
    const fs::path path = m_volume.path() / "tree" / "sparse.bin";
    WriteDurably(path, marker, 36 * 1024, /*offset=*/64 * 1024);
    m_volume.LeaveFree(16 * 1024);
    EXPECT_NE(WipeOnce(folder, path), 0u);
    ASSERT_TRUE(fs::exists(path));
    fs::remove(m_volume.path() / "ballast.bin");
    EXPECT_EQ(WipeOnce(folder, path), 0u);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(InImage(marker), 0u);
  }
}

// ext4 as mkfs makes it keeps 5 % for root. Deleted data there is free space
// too: a free-space wipe run as root must cover it.
TEST_F(Forensic, FreeSpaceWipeCoversTheBlocksKeptForRoot) {
  Use("VTX_RESERVE_ROOT", "reserve");
  if (HasFatalFailure() || IsSkipped()) return;
  const std::string marker = Marker("reserve");
  if (fs::space(m_volume.path()).free == fs::space(m_volume.path()).available) {
    GTEST_SKIP() << "the system shows no blocks kept for root here (Windows has none)";
  }
  // Every block this process may write gets the marker, the reserve included.
  const std::string piece = Repeated(marker, 65536);
  VantrixFile data;
  ASSERT_TRUE(data.open((m_volume.path() / "data.bin").wstring(), VantrixFile::kModeDefault));
  for (int round = 0; round < 2; ++round) {
    while (data.writeFileToEnd(65536, reinterpret_cast<const unsigned char*>(piece.data())) > 0) {
    }
    data.flush();
  }
  data.closeFile();
  fs::remove(m_volume.path() / "data.bin");
  ASSERT_GT(InImage(marker), 1000u);
  EXPECT_EQ(WipeFreeSpace(), 0u);
  EXPECT_EQ(InImage(marker), 0u) << "deleted data survived in the root reserve";
}

// On a device that fails writes (an image whose backing store is full), the
// data is accepted into the cache but cannot be flushed: the wipe fails with
// its own code and deletes nothing.
TEST(WriteFailure, FailedFlushFailsTheWipeAndDeletesNothing) {
  ScratchVolume volume;
  std::string why;
  if (!volume.Find("VTX_FAULTY_ROOT", &why)) GTEST_SKIP() << why;
  const fs::path ballast = FixtureFile("faulty-backing") / "ballast.bin";
  for (const bool folder : {false, true}) {
    SCOPED_TRACE(folder ? "folder wiper" : "file wiper");
    volume.Clear();
    // Two files: the folder wiper flushes one as it passes it, one at the end.
    const fs::path path = volume.path() / "tree" / "sparse.bin";
    for (const fs::path& file : {path, path.parent_path() / "other.bin"}) {
      MakeFolders(file.parent_path());
      std::ofstream(file, std::ios::binary).put('s');
      fs::resize_file(file, 1 << 20);
    }
    {
      std::ofstream fill(ballast, std::ios::binary);
      const std::string chunk(1 << 16, 'b');
      while (fill.write(chunk.data(), chunk.size())) {
      }
    }
    EXPECT_EQ(WipeOnce(folder, path), CDataWiper::kCodeFlushFailed);
    EXPECT_TRUE(fs::exists(path) && fs::exists(path.parent_path() / "other.bin"));
    fs::remove(ballast);
  }
  volume.Clear();
}

}  // namespace
