#include <gtest/gtest.h>

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
  ScratchVolume m_volume;
};

// Blocks are written while they fit below the free space measured by init,
// the one reaching it up to it, and nothing more: one report per block, the
// final one after the tail. The destruction gives all of it back.
TEST_F(FreeSpaceWiper, WholeWipeFillsTheMeasuredFreeSpaceAndLeavesNothingBehind) {
  for (const std::uint64_t free : {3 * kBlock + 2 * kPage, 3 * kBlock}) {
    SCOPED_TRACE(free);
    m_volume.LeaveFree(free);
    {
      CVolFreeSpaceWiper wiper;
      ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
      EXPECT_EQ(wiper.GetTotalSize(), free);
      RecordingSink sink;
      std::vector<std::uint64_t> onDisk;  // bytes in the temporary files at each report
      sink.onReport = [&](const ProgressMsg&) {
        onDisk.push_back(0);
        for (const auto& file : TempFiles()) onDisk.back() += file.second;
      };
      CZeroFillWiperAlgorithm algorithm;
      EXPECT_EQ(wiper.WippeData(&algorithm, &sink), 0u);
      EXPECT_EQ(onDisk, (std::vector<std::uint64_t>{kBlock, 2 * kBlock, 3 * kBlock, free}));
      std::vector<unsigned char> block(kBlock, 0xFF);
      EXPECT_EQ(wiper.WriteData(0, block.data(), int(kBlock)), 0);  // full stays full
      EXPECT_EQ(TempFiles(), (std::map<int, std::uint64_t>{{1, free}}));
      EXPECT_TRUE(AllBytesAre(ReadBytes(TempFile(1)), 0xFF));
      EXPECT_EQ(m_volume.Available(), 0u);
    }
    EXPECT_FALSE(fs::exists(WorkFolder()));
    EXPECT_EQ(m_volume.Available(), free);
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

// Leftovers named like this module's files, and empty subfolders, count in
// the numbering and go at the end; any other file stays, and so does the
// folder holding it. The first new file gets the rotation limit less one
// block, later ones the limit.
TEST_F(FreeSpaceWiper, TemporaryFilesAreNumberedAfterLeftoversAndRotateAtTheLimit) {
  WriteBytes(TempFile(1), "old one");
  WriteBytes(TempFile(2), "old two");
  WriteBytes(WorkFolder() / "notes.txt", "not ours");
  fs::create_directory(WorkFolder() / "sub");
  m_volume.LeaveFree(6 * kBlock + kPage);
  {
    CVolFreeSpaceWiper wiper(/*tempFileLimit=*/2 * kBlock);
    ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
    EXPECT_EQ(FillUp(&wiper), 6 * kBlock + kPage);
    const std::uint64_t sizes[] = {kBlock, 2 * kBlock, 2 * kBlock, kBlock + kPage};
    for (int at = 0; at < 4; ++at) EXPECT_EQ(fs::file_size(TempFile(5 + at)), sizes[at]);
    EXPECT_FALSE(fs::exists(TempFile(9)));
  }
  EXPECT_EQ(ReadBytes(WorkFolder() / "notes.txt"), "not ours");
  EXPECT_EQ(std::distance(fs::directory_iterator(WorkFolder()), fs::directory_iterator()), 1);
}

// A stop, and a temporary file's name taken by a leftover numbered above the
// count: the wipe ends with its code and the clean-up deletes every file.
TEST_F(FreeSpaceWiper, StoppedOrFailedWipeLeavesNoTemporaryFiles) {
  for (const bool taken : {false, true}) {
    SCOPED_TRACE(taken ? "name taken" : "stopped");
    if (taken) WriteBytes(TempFile(2), "numbered above the count");
    m_volume.LeaveFree(6 * kBlock + kPage);
    {
      CVolFreeSpaceWiper wiper;
      ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
      RecordingSink sink(taken ? -1 : 3);
      CZeroFillWiperAlgorithm algorithm;
      EXPECT_EQ(wiper.WippeData(&algorithm, &sink),
                taken ? CDataWiper::kCodeBlockWriteFailed : CDataWiper::kCodeStoppedInPass);
      const std::map<int, std::uint64_t> left = {{taken ? 2 : 1, taken ? 24 : 2 * kBlock}};
      EXPECT_EQ(TempFiles(), left);
    }
    EXPECT_FALSE(fs::exists(WorkFolder()));
    m_volume.Clear();
  }
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
  for (const bool link : {true, false}) {
    if (link && !MakeFolderLink(WorkFolder(), kept.parent_path(), &why)) continue;
    if (!link) WriteBytes(WorkFolder(), "a file");
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
