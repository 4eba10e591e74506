#include <gtest/gtest.h>

#include <random>
#include <string>

#include "algorithms/WiperAlgorithms.h"
#include "storage/VantrixFile.h"
#include "volumes/ScratchVolume.h"
#include "wipers/FileWiper.h"
#include "wipers/FolderWiper.h"
#include "wipers/VolFreeSpaceWiper.h"

namespace {

std::string NewMarker() {
  std::random_device random;
  std::string marker = "VTX-MARKER-";
  const char digits[] = "0123456789abcdef";
  for (int i = 0; i < 32; ++i) marker.push_back(digits[random() % 16]);
  return marker;
}

// Writes `size` bytes of the repeated marker and flushes them to the device,
// so that the raw image holds them before anything is wiped or deleted.
void WriteDurably(const fs::path& path, const std::string& marker, std::size_t size) {
  MakeFolders(path.parent_path());
  std::string content;
  while (content.size() < size) content += marker + '\n';
  content.resize(size);
  VantrixFile file;
  ASSERT_TRUE(file.open(path.wstring(), VantrixFile::kModeDefault)) << path;
  ASSERT_EQ(file.writeFile(0, static_cast<std::uint32_t>(size),
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

// Files holding a marker are wiped by the file wiper, the folder wiper, and
// (after a plain delete) the free-space wiper; the raw image of the file
// system must then hold the marker nowhere. The fixture scans the image once
// more after unmounting it.
TEST(Forensic, NoMarkerSurvivesOnTheRawImage) {
  ScratchVolume volume;
  std::string why;
  if (!volume.Find("VTX_FORENSIC_ROOT", &why)) GTEST_SKIP() << why;
  const std::string image = Environment("VTX_FORENSIC_IMAGE");
  const std::string markerFile = Environment("VTX_FORENSIC_MARKER");
  ASSERT_FALSE(image.empty() || markerFile.empty());
  volume.Clear();

  // One marker per way of wiping, so that each step is checked on its own.
  const std::string fileMarker = NewMarker() + "-file";
  const std::string treeMarker = NewMarker() + "-tree";
  const std::string freeMarker = NewMarker() + "-free";
  const fs::path root = volume.path();
  WriteDurably(root / "single.bin", fileMarker, 300000);
  WriteDurably(root / "tree" / "a.bin", treeMarker, 200000);
  WriteDurably(root / "tree" / "sub" / "b.bin", treeMarker, 262144);
  WriteDurably(root / "tree" / "sub" / "deeper" / "c.bin", treeMarker, 5000);
  WriteDurably(root / "plain.bin", freeMarker, 250000);
  WriteBytes(markerFile, fileMarker + "\n" + treeMarker + "\n" + freeMarker + "\n");
  std::string raw = ReadBytes(image);
  ASSERT_GT(Occurrences(raw, fileMarker), 1000u) << "the scan cannot see the files";
  ASSERT_GT(Occurrences(raw, treeMarker), 1000u);
  const std::size_t freeCount = Occurrences(raw, freeMarker);
  ASSERT_GT(freeCount, 1000u);

  CZeroFillWiperAlgorithm algorithm;
  CFileWiper file;
  ASSERT_EQ(file.init(ModulePath(root / "single.bin").c_str()), 0);
  ASSERT_EQ(file.WippeData(&algorithm, nullptr), 0u);
  EXPECT_NE(file.closeAndDelete(), 0);

  CFolderWiper folder;
  folder.init(ModulePath(root / "tree").c_str());
  ASSERT_EQ(folder.WippeData(&algorithm, nullptr), 0u);
  folder.removeAll();
  EXPECT_FALSE(fs::exists(root / "tree"));

  raw = ReadBytes(image);
  EXPECT_EQ(Occurrences(raw, fileMarker), 0u) << "the file wiper left data on the device";
  EXPECT_EQ(Occurrences(raw, treeMarker), 0u) << "the folder wiper left data on the device";
  EXPECT_EQ(Occurrences(raw, freeMarker), freeCount);

  fs::remove(root / "plain.bin");
  {
    CVolFreeSpaceWiper freeSpace;
    ASSERT_EQ(freeSpace.init(volume.root().c_str()), 0);
    EXPECT_EQ(freeSpace.WippeData(&algorithm, nullptr), 0u);
  }
  EXPECT_FALSE(fs::exists(root / CVolFreeSpaceWiper::kWorkFolderName));
  EXPECT_EQ(Occurrences(ReadBytes(image), freeMarker), 0u)
      << "the free-space wiper left deleted data on the device";
}

}  // namespace
