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

std::string NewMarker(const char* kind) {
  std::random_device random;
  std::string marker = "VTX-";
  const char digits[] = "0123456789abcdef";
  for (int i = 0; i < 24; ++i) marker.push_back(digits[random() % 16]);
  return marker + "-" + kind;
}

// Writes `size` bytes of the repeated marker at `offset` and flushes them to
// the device, so that the raw image holds them before anything is wiped.
void WriteDurably(const fs::path& path, const std::string& marker, std::size_t size,
                  std::int64_t offset = 0) {
  MakeFolders(path.parent_path());
  std::string content;
  while (content.size() < size) content += marker + '\n';
  content.resize(size);
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
  // A new marker, listed for the scan after unmounting.
  std::string Marker(const char* kind) {
    const std::string marker = NewMarker(kind);
    m_markers << marker << '\n' << std::flush;
    return marker;
  }
  std::size_t InImage(const std::string& marker) const {
    return Occurrences(ReadBytes(m_image), marker);
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

  CZeroFillWiperAlgorithm algorithm;
  CFileWiper file;
  ASSERT_EQ(file.init(ModulePath(root / (name + "-single.bin")).c_str()), 0);
  ASSERT_EQ(file.WippeData(&algorithm, nullptr), 0u);
  EXPECT_NE(file.closeAndDelete(), 0);
  CFolderWiper folder;
  ASSERT_EQ(folder.init(ModulePath(tree).c_str()), 1);
  ASSERT_EQ(folder.WippeData(&algorithm, nullptr), 0u);
  folder.removeAll();
  EXPECT_FALSE(fs::exists(tree));
  EXPECT_EQ(InImage(fileMarker), 0u) << "the file wiper left data on the device";
  EXPECT_EQ(InImage(treeMarker), 0u) << "the folder wiper left data on the device";
  EXPECT_EQ(InImage(freeMarker), freeCount);

  fs::remove(root / "plain.bin");
  {
    CVolFreeSpaceWiper freeSpace;
    ASSERT_EQ(freeSpace.init(m_volume.root().c_str()), 0);
    EXPECT_EQ(freeSpace.WippeData(&algorithm, nullptr), 0u);
  }
  EXPECT_FALSE(fs::exists(root / CVolFreeSpaceWiper::kWorkFolderName));
  EXPECT_EQ(InImage(freeMarker), 0u) << "the free-space wiper left deleted data on the device";
}

// A sparse file whose last write lands in a hole of a nearly full volume:
// the wipe fails and keeps the file rather than counting the part written as
// done; once there is room again it is wiped for good.
TEST_F(Forensic, SparseFileOnANearlyFullVolumeIsWipedWholeOrKept) {
  Use("VTX_FORENSIC_ROOT", "forensic");
  if (HasFatalFailure() || IsSkipped()) return;
  const std::string marker = Marker("sparse");
  const fs::path path = m_volume.path() / "sparse.bin";
  WriteDurably(path, marker, 36 * 1024, /*offset=*/64 * 1024);
  m_volume.LeaveFree(16 * 1024);
  CZeroFillWiperAlgorithm algorithm;
  {
    CFileWiper full;
    ASSERT_EQ(full.init(ModulePath(path).c_str()), 0);
    EXPECT_NE(full.WippeData(&algorithm, nullptr), 0u);
    EXPECT_EQ(full.closeAndDelete(), 0);
  }
  ASSERT_TRUE(fs::exists(path));
  fs::remove(m_volume.path() / "ballast.bin");
  CFileWiper roomy;
  ASSERT_EQ(roomy.init(ModulePath(path).c_str()), 0);
  ASSERT_EQ(roomy.WippeData(&algorithm, nullptr), 0u);
  EXPECT_NE(roomy.closeAndDelete(), 0);
  EXPECT_EQ(InImage(marker), 0u);
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
  std::string piece;
  while (piece.size() < 65536) piece += marker + '\n';
  piece.resize(65536);
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
  {
    CVolFreeSpaceWiper freeSpace;
    ASSERT_EQ(freeSpace.init(m_volume.root().c_str()), 0);
    CZeroFillWiperAlgorithm algorithm;
    EXPECT_EQ(freeSpace.WippeData(&algorithm, nullptr), 0u);
  }
  EXPECT_EQ(InImage(marker), 0u) << "deleted data survived in the root reserve";
}

}  // namespace
