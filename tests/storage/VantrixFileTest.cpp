#include <gtest/gtest.h>

#include <string>

#include "storage/FileEntry.h"
#include "storage/FileSystem.h"
#include "storage/VantrixFile.h"
#include "support/LogProbe.h"
#include "support/TestFiles.h"

namespace {

const unsigned char kOnes[8] = {1, 1, 1, 1, 1, 1, 1, 1};

TEST(VantrixFile, WritesAtPositionsAndAtTheEnd) {
  TempDir dir;
  WriteBytes(dir / "data.bin", PatternBytes(10));
  VantrixFile file;
  ASSERT_TRUE(file.open((dir / "data.bin").wstring(), VantrixFile::kModeReadWrite));
  EXPECT_EQ(file.writeFile(2, 3, kOnes), 3);
  EXPECT_EQ(file.writeFileToEnd(2, kOnes), 2);
  EXPECT_EQ(file.writeFile(20, 1, kOnes), 1);  // beyond the end: the file grows
  file.closeFile();

  std::string expected = PatternBytes(10);
  expected.replace(2, 3, "\x01\x01\x01");
  expected += "\x01\x01";
  expected += std::string(8, '\0') + "\x01";
  EXPECT_EQ(ReadBytes(dir / "data.bin"), expected);
}

TEST(VantrixFile, EntryRecordsSizeFolderAndFullPathOfTheOpenedFile) {
  TempDir dir;
  WriteBytes(dir / "sized.bin", PatternBytes(300000));
  const std::wstring path = (dir / "sized.bin").wstring();
  VantrixFile file;
  ASSERT_TRUE(file.open(path, VantrixFile::kModeRead));
  ASSERT_NE(file.entry(), nullptr);
  EXPECT_EQ(file.entry()->Size(), 300000u);
  EXPECT_EQ(file.entry()->FullPath(), path);
  EXPECT_EQ(file.entry()->Folder(), dir.path().wstring() + kPathSeparator);
  EXPECT_FALSE(file.entry()->IsDirectory());
}

TEST(VantrixFile, OpenModesDecideWhetherTheFileMustExistAndMayBeWritten) {
  TempDir dir;
  const std::wstring fresh = (dir / "fresh.bin").wstring();
  VantrixFile missing;
  EXPECT_FALSE(missing.open(fresh, VantrixFile::kModeReadWrite));
  EXPECT_FALSE(fs::exists(dir / "fresh.bin"));

  VantrixFile created;
  EXPECT_TRUE(created.open(fresh, VantrixFile::kModeCreateNew));
  VantrixFile again;
  EXPECT_FALSE(again.open(fresh, VantrixFile::kModeCreateNew));
  VantrixFile shared;  // the creator still holds the file: sharing lets this in
  EXPECT_TRUE(shared.open(fresh, VantrixFile::kModeDefault));
  VantrixFile reader;
  ASSERT_TRUE(reader.open(fresh, VantrixFile::kModeRead));
  EXPECT_EQ(reader.writeFile(0, 8, kOnes), -1);

  VantrixFile folder;
  EXPECT_FALSE(folder.open(dir.path().wstring(), VantrixFile::kModeReadWrite));
  EXPECT_FALSE(folder.open(dir.path().wstring(), VantrixFile::kModeRead));
}

// Failures are results and log lines: no handle, a bad offset or buffer, an
// empty write; closing twice flushes once.
TEST(VantrixFile, FailuresAreResultsNotCrashes) {
  TempDir dir;
  WriteBytes(dir / "data.bin", PatternBytes(10));
  LogProbe log;
  VantrixFile absent;
  EXPECT_FALSE(absent.open((dir / "absent.bin").wstring(), VantrixFile::kModeReadWrite));
  EXPECT_EQ(absent.writeFile(0, 8, kOnes), -1);
  EXPECT_EQ(absent.writeFileToEnd(8, kOnes), -1);
  absent.closeFile();
  EXPECT_TRUE(log.Contains("write with invalid handle or buffer, handle: 0xffffffffffffffff"));
  EXPECT_FALSE(log.Contains("flush buffer"));

  VantrixFile file;
  ASSERT_TRUE(file.open((dir / "data.bin").wstring(), VantrixFile::kModeReadWrite));
  EXPECT_EQ(file.writeFile(-987654, 8, kOnes), -1);
  EXPECT_TRUE(log.Contains("seek failed, iOffset = -987654, err: "));
  EXPECT_EQ(file.writeFile(0, 8, nullptr), -1);
  EXPECT_EQ(file.writeFile(7654321, 0, kOnes), 0);
  EXPECT_TRUE(log.Contains("write failed, iOffset = 7654321, err: "));
  file.closeFile();
  file.closeFile();
  EXPECT_EQ(log.Count("VantrixFile::closeFile:"), 1);
  EXPECT_EQ(ReadBytes(dir / "data.bin"), PatternBytes(10));
}

TEST(FileEntry, LooksUpPathsWithoutFollowingThem) {
  TempDir dir;
  WriteBytes(dir / "a.txt", "abc");
  const FileEntry file = FileEntry::FromPath((dir / "a.txt").wstring());
  EXPECT_TRUE(file.IsValid());
  EXPECT_EQ(file.Size(), 3u);
  EXPECT_EQ(file.Data().name, L"a.txt");
  const FileEntry folder = FileEntry::FromPath(dir.path().wstring());
  EXPECT_TRUE(folder.IsDirectory());
  EXPECT_FALSE(FileEntry::FromPath((dir / "none").wstring()).IsValid());
  EXPECT_FALSE(FileEntry::FromPath(L"").IsValid());
  EXPECT_TRUE(PathExists((dir / "a.txt").wstring()));
  EXPECT_FALSE(PathExists((dir / "none").wstring()));
}

TEST(FileSystem, RelativePathsResolveAgainstTheCurrentFolder) {
  const std::wstring current = fs::current_path().wstring();
  EXPECT_EQ(MakeAbsolute(L"notes.txt"), current + kPathSeparator + L"notes.txt");
  const std::wstring absolute = (fs::current_path() / "x").wstring();
  EXPECT_EQ(MakeAbsolute(absolute), absolute);
}

}  // namespace
