#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "algorithms/WiperAlgorithms.h"
#include "volumes/ScratchVolume.h"
#include "wipers/VolFreeSpaceWiper.h"

namespace {

constexpr std::uint64_t kBlock = CDataWiper::kBlockSize;
constexpr std::uint64_t kPage = 4096;
const std::string kTempSuffix = "DE123EE4-E8A4-4FE3-AA45-EFD2DAD2D8DB.dat";

// Stops after `blocks` reported blocks; on every report notes how many bytes
// the temporary files hold at that moment.
class WatchingSink : public BoundaryObject<WatchingSink, IProgresMsg> {
 public:
  WatchingSink(fs::path folder, int blocks) : m_folder(std::move(folder)), m_left(blocks) {}
  void ReportProgress(const ProgressMsg* msg) override {
    if (msg->msg_status != MSG_STATUS_RUNNING || msg->msg_type != MSG_TYPE_NORMAL) return;
    --m_left;
    std::uint64_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(m_folder)) bytes += entry.file_size();
    onDisk.push_back(bytes);
  }
  void Pause() override {}
  void Resume() override {}
  void Stop() override { m_left = 0; }
  bool CanContinue() override { return m_left != 0; }
  std::vector<std::uint64_t> onDisk;

 private:
  fs::path m_folder;
  int m_left;
};

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
  // Writes blocks until the wiper counts the volume as full; blocks written.
  static int FillUp(CVolFreeSpaceWiper* wiper) {
    std::vector<unsigned char> block(kBlock, 0xFF);
    int written = 0;
    while (wiper->WriteData(0, block.data(), int(kBlock)) == int(kBlock)) ++written;
    return written;
  }

  ScratchVolume m_volume;
};

TEST_F(FreeSpaceWiper, WritesWholeBlocksWhileTheRequestedCountStaysBelowTheFreeSpace) {
  // Free space one page above five blocks: five blocks fit; exactly five
  // blocks would leave room for four.
  for (std::uint64_t free : {5 * kBlock + kPage, 5 * kBlock}) {
    m_volume.LeaveFree(free);
    {
      CVolFreeSpaceWiper wiper;
      ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
      EXPECT_EQ(wiper.GetTotalSize(), free);
      const int expected = free == 5 * kBlock ? 4 : 5;
      EXPECT_EQ(FillUp(&wiper), expected);
      std::vector<unsigned char> block(kBlock, 0xFF);
      EXPECT_EQ(wiper.WriteData(0, block.data(), int(kBlock)), 0);  // full stays full
      EXPECT_EQ(TempFiles(), (std::map<int, std::uint64_t>{{1, expected * kBlock}}));
      EXPECT_TRUE(AllBytesAre(ReadBytes(TempFile(1)), 0xFF));
    }
    EXPECT_FALSE(fs::exists(WorkFolder()));
    m_volume.Clear();
  }
}

TEST_F(FreeSpaceWiper, WholeWipeFillsTheFreeSpaceAndLeavesNothingBehind) {
  m_volume.LeaveFree(3 * kBlock + 2 * kPage);
  const std::uint64_t before = m_volume.Available();
  {
    CVolFreeSpaceWiper wiper;
    ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
    WatchingSink sink(WorkFolder(), -1);
    CZeroFillWiperAlgorithm algorithm;
    EXPECT_EQ(wiper.WippeData(&algorithm, &sink), 0u);
    // One report per block, then the final report.
    EXPECT_EQ(sink.onDisk,
              (std::vector<std::uint64_t>{kBlock, 2 * kBlock, 3 * kBlock, 3 * kBlock}));
    EXPECT_TRUE(AllBytesAre(ReadBytes(TempFile(1)), 0xFF));
    EXPECT_LT(m_volume.Available(), kBlock);
  }
  EXPECT_FALSE(fs::exists(WorkFolder()));
  EXPECT_EQ(m_volume.Available(), before);
}

TEST_F(FreeSpaceWiper, LeftoversAreNumberedAfterAndDeletedWithTheNewFiles) {
  WriteBytes(TempFile(1), "old one");
  WriteBytes(TempFile(2), "old two");
  m_volume.LeaveFree(2 * kBlock + kPage);
  {
    CVolFreeSpaceWiper wiper;
    ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
    EXPECT_EQ(FillUp(&wiper), 2);
    const auto files = TempFiles();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files.at(3), 2 * kBlock);
  }
  EXPECT_FALSE(fs::exists(WorkFolder()));
}

TEST_F(FreeSpaceWiper, LessThanOneBlockFreeWritesNothingAndKeepsTheNewFolder) {
  m_volume.LeaveFree(16 * kPage);
  {
    CVolFreeSpaceWiper wiper;
    ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
    CZeroFillWiperAlgorithm algorithm;
    EXPECT_EQ(wiper.WippeData(&algorithm, nullptr), 0u);
  }
  ASSERT_TRUE(fs::is_directory(WorkFolder()));
  EXPECT_TRUE(fs::is_empty(WorkFolder()));
}

TEST_F(FreeSpaceWiper, TemporaryFilesRotateAtTheLimit) {
  m_volume.LeaveFree(6 * kBlock + kPage);
  CVolFreeSpaceWiper wiper(/*tempFileLimit=*/2 * kBlock);
  ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
  EXPECT_EQ(FillUp(&wiper), 6);
  // The first file gets the limit less one block, later ones the limit.
  EXPECT_EQ(TempFiles(), (std::map<int, std::uint64_t>{
                             {1, kBlock}, {2, 2 * kBlock}, {3, 2 * kBlock}, {4, kBlock}}));
}

TEST_F(FreeSpaceWiper, StoppedWipeLeavesNoTemporaryFiles) {
  m_volume.LeaveFree(6 * kBlock + kPage);
  {
    CVolFreeSpaceWiper wiper;
    ASSERT_EQ(wiper.init(m_volume.root().c_str()), 0);
    WatchingSink sink(WorkFolder(), 2);
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

TEST_F(FreeSpaceWiper, InitFailsWhereTheWorkingFolderCannotBeMade) {
  const fs::path missing = m_volume.path() / "missing";
  CVolFreeSpaceWiper wiper;
  EXPECT_EQ(
      wiper.init((m_volume.root() + "missing" + std::string(1, m_volume.root().back())).c_str()),
      -1);
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_EQ(wiper.init(nullptr), -1);
}

}  // namespace
