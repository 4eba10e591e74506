#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "algorithms/WiperAlgorithms.h"
#include "support/TestPlatform.h"
#include "support/RecordingSink.h"
#include "volumes/ScratchVolume.h"
#include "wipers/VolFreeSpaceWiper.h"

namespace {

constexpr std::uint64_t kBlock = CDataWiper::kBlockSize;
constexpr std::uint64_t kPage = 4096;
const std::string kTempSuffix = "DE123EE4-E8A4-4FE3-AA45-EFD2DAD2D8DB.dat";

class FreeSpaceWiper : public testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!m_volume.Find("VTX_FREESPACE_ROOT", &why)) GTEST_SKIP() << why;
    m_volume.Clear();
  }
  void TearDown() override {
    if (!m_volume.root().empty() && fs::exists(m_volume.path())) m_volume.Clear();
  }

  fs::path WorkFolder() const { return m_volume.path() / CVolFreeSpaceWiper::kWorkFolderName; }
  fs::path TempFile(int number) const {
    return WorkFolder() / (std::to_string(number) + kTempSuffix);
  }
  // Sizes of the temporary files by number.
  std::map<int, std::uint64_t> TempFiles() const {
    std::map<int, std::uint64_t> sizes;
    for (const auto& entry : fs::directory_iterator(WorkFolder())) {
      sizes[std::stoi(entry.path().filename().string())] = entry.file_size();
    }
    return sizes;
  }
  // Writes blocks until the wiper counts the volume as full; bytes written.
  static std::uint64_t FillUp(CVolFreeSpaceWiper* wiper) {
    std::vector<unsigned char> block(kBlock, 0xFF);
    std::uint64_t written = 0;
    for (int bytes; (bytes = wiper->WriteData(0, block.data(), int(kBlock))) > 0;) written += bytes;
    return written;
  }
  // Bytes in the temporary files, noted at every report of a running wipe.
  void Watch(RecordingSink* sink, std::vector<std::uint64_t>* onDisk) const {
    sink->onReport = [this, onDisk](const ProgressMsg&) {
      std::uint64_t bytes = 0;
      for (const auto& entry : fs::directory_iterator(WorkFolder())) bytes += entry.file_size();
      onDisk->push_back(bytes);
    };
  }

  ScratchVolume m_volume;
};

TEST_F(FreeSpaceWiper, WritesUpToTheMeasuredFreeSpaceAndNoFurther) {
  for (std::uint64_t free : {5 * kBlock + kPage, 5 * kBlock}) {
    m_volume.LeaveFree(free);
    {
      CVolFreeSpaceWiper wiper;
      ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
      EXPECT_EQ(wiper.GetTotalSize(), free);
      EXPECT_EQ(FillUp(&wiper), free);
      std::vector<unsigned char> block(kBlock, 0xFF);
      EXPECT_EQ(wiper.WriteData(0, block.data(), int(kBlock)), 0);  // full stays full
      EXPECT_EQ(TempFiles(), (std::map<int, std::uint64_t>{{1, free}}));
      EXPECT_TRUE(AllBytesAre(ReadBytes(TempFile(1)), 0xFF));
    }
    EXPECT_FALSE(fs::exists(WorkFolder()));
    m_volume.Clear();
  }
}

// Other writers fill the volume after it was measured: the wipe writes until
// the system says it is full, and succeeds.
TEST_F(FreeSpaceWiper, VolumeFullBeforeTheCountEndsTheFillingNotTheWipe) {
  m_volume.LeaveFree(4 * kBlock + 3 * kPage);
  CVolFreeSpaceWiper wiper;
  ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
  WriteBytes(m_volume.path() / "late.bin", std::string(kBlock + kPage, 'l'));
  CZeroFillWiperAlgorithm algorithm;
  EXPECT_EQ(wiper.WippeData(&algorithm, nullptr), 0u);
  EXPECT_EQ(m_volume.Available(), 0u);
}

TEST_F(FreeSpaceWiper, WholeWipeFillsTheFreeSpaceAndLeavesNothingBehind) {
  m_volume.LeaveFree(3 * kBlock + 2 * kPage);
  const std::uint64_t before = m_volume.Available();
  {
    CVolFreeSpaceWiper wiper;
    ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
    RecordingSink sink;
    std::vector<std::uint64_t> onDisk;
    Watch(&sink, &onDisk);
    CZeroFillWiperAlgorithm algorithm;
    EXPECT_EQ(wiper.WippeData(&algorithm, &sink), 0u);
    // One report per block, then the final report after the tail.
    EXPECT_EQ(onDisk,
              (std::vector<std::uint64_t>{kBlock, 2 * kBlock, 3 * kBlock, 3 * kBlock + 2 * kPage}));
    EXPECT_TRUE(AllBytesAre(ReadBytes(TempFile(1)), 0xFF));
    EXPECT_EQ(m_volume.Available(), 0u);
  }
  EXPECT_FALSE(fs::exists(WorkFolder()));
  EXPECT_EQ(m_volume.Available(), before);
}

// Leftovers named like this module's files, and empty subfolders, go; any
// other file stays, and so does the folder holding it.
TEST_F(FreeSpaceWiper, LeftoversAreNumberedAfterAndOnlyThisModulesFilesDeleted) {
  WriteBytes(TempFile(1), "old one");
  WriteBytes(TempFile(2), "old two");
  WriteBytes(WorkFolder() / "notes.txt", "not ours");
  fs::create_directory(WorkFolder() / "sub");
  m_volume.LeaveFree(2 * kBlock);
  {
    CVolFreeSpaceWiper wiper;
    ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
    EXPECT_EQ(FillUp(&wiper), 2 * kBlock);
    EXPECT_EQ(fs::file_size(TempFile(5)), 2 * kBlock);
  }
  EXPECT_EQ(ReadBytes(WorkFolder() / "notes.txt"), "not ours");
  EXPECT_EQ(std::distance(fs::directory_iterator(WorkFolder()), fs::directory_iterator()), 1);
}

TEST_F(FreeSpaceWiper, TemporaryFilesRotateAtTheLimit) {
  m_volume.LeaveFree(6 * kBlock + kPage);
  CVolFreeSpaceWiper wiper(/*tempFileLimit=*/2 * kBlock);
  ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
  EXPECT_EQ(FillUp(&wiper), 6 * kBlock + kPage);
  // The first file gets the limit less one block, later ones the limit.
  EXPECT_EQ(TempFiles(), (std::map<int, std::uint64_t>{
                             {1, kBlock}, {2, 2 * kBlock}, {3, 2 * kBlock}, {4, kBlock + kPage}}));
}

TEST_F(FreeSpaceWiper, StoppedWipeLeavesNoTemporaryFiles) {
  m_volume.LeaveFree(6 * kBlock + kPage);
  {
    CVolFreeSpaceWiper wiper;
    ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
    RecordingSink sink(3);
    CZeroFillWiperAlgorithm algorithm;
    EXPECT_EQ(wiper.WippeData(&algorithm, &sink), CDataWiper::kCodeStoppedInPass);
    EXPECT_EQ(TempFiles(), (std::map<int, std::uint64_t>{{1, 2 * kBlock}}));
  }
  EXPECT_FALSE(fs::exists(WorkFolder()));
}

TEST_F(FreeSpaceWiper, NameTakenByALeftoverFailsTheWipeAndTheLeftoverIsDeleted) {
  WriteBytes(TempFile(2), "numbered above the count");
  m_volume.LeaveFree(4 * kBlock + kPage);
  {
    CVolFreeSpaceWiper wiper;
    ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
    CZeroFillWiperAlgorithm algorithm;
    EXPECT_EQ(wiper.WippeData(&algorithm, nullptr), CDataWiper::kCodeBlockWriteFailed);
  }
  EXPECT_FALSE(fs::exists(WorkFolder()));
}

// A missing or empty root, or a working folder that is not a plain folder
// (planted as a link to another folder, or a file): init fails and nothing is
// created or deleted.
TEST_F(FreeSpaceWiper, InitFailsWhereTheWorkingFolderIsNotItsOwn) {
  const fs::path kept = m_volume.path() / "outside" / TempFile(1).filename();
  WriteBytes(kept, "someone's");
  const std::string separator(1, m_volume.root().back());
  for (const std::string& root : {m_volume.root() + "missing" + separator, std::string()}) {
    CVolFreeSpaceWiper wiper;
    EXPECT_EQ(wiper.init(root.c_str()), -1) << root;
  }
  EXPECT_FALSE(fs::exists(m_volume.path() / "missing"));
  std::string why;
  const std::function<bool()> plants[] = {
      [&] { return MakeFolderLink(WorkFolder(), kept.parent_path(), &why); },
      [&] {
        WriteBytes(WorkFolder(), "a file");
        return true;
      }};
  for (const auto& plant : plants) {
    if (!plant()) continue;
    {
      CVolFreeSpaceWiper wiper;
      EXPECT_EQ(wiper.init(m_volume.root().c_str()), -1);
    }
    EXPECT_TRUE(fs::exists(fs::symlink_status(WorkFolder())));
    EXPECT_EQ(ReadBytes(kept), "someone's");
    fs::remove(WorkFolder());
  }
  CVolFreeSpaceWiper null;
  EXPECT_EQ(null.init(nullptr), -1);
}

}  // namespace
