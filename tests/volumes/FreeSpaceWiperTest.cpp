#include <iterator>
#include <map>

#include "volumes/ScratchVolume.h"
#include "wipers/WipeHelpers.h"

namespace {

constexpr std::uint64_t kPage = 4096;

class FreeSpaceWiper : public ScratchVolumeTest {
 protected:
  void SetUp() override { Use("VTX_FREESPACE_ROOT"); }

  fs::path WorkFolder() const { return path() / CVolFreeSpaceWiper::kWorkFolderName; }
  fs::path TempFile(int number) const {
    return WorkFolder() / (std::to_string(number) + "DE123EE4-E8A4-4FE3-AA45-EFD2DAD2D8DB.dat");
  }
  // Sizes of the temporary files by number.
  std::map<int, std::uint64_t> TempFiles() const {
    std::map<int, std::uint64_t> sizes;
    for (const auto& entry : fs::directory_iterator(WorkFolder())) {
      sizes[std::stoi(entry.path().filename().string())] = entry.file_size();
    }
    return sizes;
  }
};

// Blocks are written while they fit below the free space measured by init,
// the one reaching it up to it, and nothing more: one report per block, the
// final one after the tail. The destruction gives all of it back.
TEST_F(FreeSpaceWiper, WholeWipeFillsTheMeasuredFreeSpaceAndLeavesNothingBehind) {
  for (const std::uint64_t free : {3 * kBlock + 2 * kPage, 3 * kBlock}) {
    SCOPED_TRACE(free);
    LeaveFree(free);
    {
      CVolFreeSpaceWiper wiper;
      RecordingSink sink;
      std::vector<std::uint64_t> onDisk;  // bytes in the temporary files at each report
      sink.onReport = [&](const ProgressMsg&) {
        onDisk.push_back(0);
        for (const auto& file : TempFiles()) onDisk.back() += file.second;
      };
      EXPECT_EQ(ZeroFillWipe(&wiper, root(), &sink), 0u);
      EXPECT_EQ(wiper.GetTotalSize(), free);
      EXPECT_EQ(onDisk, (std::vector<std::uint64_t>{kBlock, 2 * kBlock, 3 * kBlock, free}));
      std::vector<unsigned char> block(kBlock, 0xFF);
      EXPECT_EQ(wiper.WriteData(0, block.data(), int(kBlock)), 0);  // full stays full
      EXPECT_EQ(TempFiles(), (std::map<int, std::uint64_t>{{1, free}}));
      EXPECT_TRUE(AllBytesAre(ReadBytes(TempFile(1)), 0xFF));
      EXPECT_EQ(Available(), 0u);
    }
    EXPECT_FALSE(fs::exists(WorkFolder()));
    EXPECT_EQ(Available(), free);
    Clear();
  }
}

// Other writers fill the volume after it was measured: the wipe writes until
// the system says it is full, and succeeds.
TEST_F(FreeSpaceWiper, VolumeFullBeforeTheCountEndsTheFillingNotTheWipe) {
  LeaveFree(4 * kBlock + 3 * kPage);
  CVolFreeSpaceWiper wiper;
  RecordingSink sink;
  sink.onCheck = [&](int check) {
    if (check == 1) WriteBytes(path() / "late.bin", std::string(kBlock + kPage, 'l'));
  };
  EXPECT_EQ(ZeroFillWipe(&wiper, root(), &sink), 0u);
  EXPECT_EQ(Available(), 0u);
}

// Leftovers named like this module's files, and empty subfolders, count in the
// numbering and go at the end; other files and their folder stay. The first
// new file gets the rotation limit less one block, later ones the limit.
TEST_F(FreeSpaceWiper, TemporaryFilesAreNumberedAfterLeftoversAndRotateAtTheLimit) {
  WriteBytes(TempFile(1), "old one");
  WriteBytes(TempFile(2), "old two");
  WriteBytes(WorkFolder() / "notes.txt", "not ours");
  fs::create_directory(WorkFolder() / "sub");
  LeaveFree(6 * kBlock + kPage);
  {
    CVolFreeSpaceWiper wiper(/*tempFileLimit=*/2 * kBlock);
    EXPECT_EQ(ZeroFillWipe(&wiper, root()), 0u);
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
    LeaveFree(6 * kBlock + kPage);
    {
      CVolFreeSpaceWiper wiper;
      RecordingSink sink(taken ? -1 : 3);
      EXPECT_EQ(ZeroFillWipe(&wiper, root(), &sink),
                taken ? CDataWiper::kCodeBlockWriteFailed : CDataWiper::kCodeStoppedInPass);
      EXPECT_EQ(TempFiles(),
                (std::map<int, std::uint64_t>{{taken ? 2 : 1, taken ? 24 : 2 * kBlock}}));
    }
    EXPECT_FALSE(fs::exists(WorkFolder()));
    Clear();
  }
}

// A missing, empty or null root, or a working folder that is a link or a file:
// init fails and nothing is created or deleted.
TEST_F(FreeSpaceWiper, InitFailsWhereTheWorkingFolderIsNotItsOwn) {
  const fs::path kept = path() / "outside" / TempFile(1).filename();
  WriteBytes(kept, "someone's");
  const std::string missing = root() + "missing" + root().back();
  for (const char* target : {missing.c_str(), "", static_cast<const char*>(nullptr)}) {
    CVolFreeSpaceWiper wiper;
    EXPECT_EQ(wiper.init(target), -1) << (target ? target : "null");
  }
  EXPECT_FALSE(fs::exists(path() / "missing"));
  std::string why;
  for (const bool link : {true, false}) {
    if (link && !MakeFolderLink(WorkFolder(), kept.parent_path(), &why)) continue;
    if (!link) WriteBytes(WorkFolder(), "a file");
    {
      CVolFreeSpaceWiper wiper;
      EXPECT_EQ(wiper.init(root().c_str()), -1);
    }
    EXPECT_TRUE(fs::exists(fs::symlink_status(WorkFolder())));
    EXPECT_EQ(ReadBytes(kept), "someone's");
    fs::remove(WorkFolder());
  }
}

}  // namespace
