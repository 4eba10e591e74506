#include <gtest/gtest.h>

#include <string>

#include "storage/FileEntry.h"
#include "storage/FileSystem.h"
#include "storage/VantrixFile.h"
#include "support/LogProbe.h"
#include "support/TestFiles.h"

namespace {

const unsigned char kOnes[8] = {1, 1, 1, 1, 1, 1, 1, 1};

// Writes land at their offsets, at the end, and beyond it (the file grows);
// a bad offset or buffer and an empty write fail and change nothing; closing
// twice flushes once.
TEST(VantrixFile, WritesLandWhereAskedAndFailuresChangeNothing) {
  TempDir dir;
  WriteBytes(dir / "data.bin", PatternBytes(10));
  LogProbe log;
  VantrixFile file;
  ASSERT_TRUE(file.open((dir / "data.bin").wstring(), VantrixFile::kModeReadWrite));
  EXPECT_EQ(file.writeFile(-987654, 8, kOnes), -1);
  EXPECT_TRUE(log.Contains("seek failed, iOffset = -987654, err: "));
  EXPECT_EQ(file.writeFile(0, 8, nullptr), -1);
  EXPECT_EQ(file.writeFile(7654321, 0, kOnes), 0);
  EXPECT_TRUE(log.Contains("write failed, iOffset = 7654321, err: "));
  EXPECT_EQ(file.writeFile(2, 3, kOnes), 3);
  EXPECT_EQ(file.writeFileToEnd(2, kOnes), 2);
  EXPECT_EQ(file.writeFile(20, 1, kOnes), 1);
  file.closeFile();
  file.closeFile();
  EXPECT_EQ(log.Count("VantrixFile::closeFile:"), 1);
  std::string expected = PatternBytes(10);
  expected.replace(2, 3, "\x01\x01\x01");
  EXPECT_EQ(ReadBytes(dir / "data.bin"), expected + "\x01\x01" + std::string(8, '\0') + "\x01");
}

TEST(VantrixFile, OpenModesDecideWhetherTheFileMustExistAndMayBeWritten) {
  TempDir dir;
  const std::wstring fresh = (dir / "fresh.bin").wstring();
  LogProbe log;
  VantrixFile missing;
  EXPECT_FALSE(missing.open(fresh, VantrixFile::kModeReadWrite));
  EXPECT_FALSE(fs::exists(dir / "fresh.bin"));
  EXPECT_EQ(missing.writeFile(0, 8, kOnes), -1);
  EXPECT_EQ(missing.writeFileToEnd(8, kOnes), -1);
  missing.closeFile();
  EXPECT_TRUE(log.Contains("write with invalid handle or buffer, handle: 0xffffffffffffffff"));
  EXPECT_FALSE(log.Contains("flush buffer"));

  VantrixFile created, again, shared, reader, folder;
  EXPECT_TRUE(created.open(fresh, VantrixFile::kModeCreateNew));
  EXPECT_FALSE(again.open(fresh, VantrixFile::kModeCreateNew));
  EXPECT_TRUE(shared.open(fresh, VantrixFile::kModeDefault)) << "sharing lets a second writer in";
  ASSERT_TRUE(reader.open(fresh, VantrixFile::kModeRead));
  EXPECT_EQ(reader.writeFile(0, 8, kOnes), -1);
  EXPECT_FALSE(folder.open(dir.path().wstring(), VantrixFile::kModeReadWrite));
  EXPECT_FALSE(folder.open(dir.path().wstring(), VantrixFile::kModeRead));
}

// The entry of an opened file and of a looked-up path (links not followed).
TEST(VantrixFile, EntriesRecordSizeFolderAndFullPath) {
  TempDir dir;
  WriteBytes(dir / "sized.bin", PatternBytes(300000));
  const std::wstring path = (dir / "sized.bin").wstring();
  VantrixFile file;
  ASSERT_TRUE(file.open(path, VantrixFile::kModeRead));
  ASSERT_NE(file.entry(), nullptr);
  const FileEntry lookedUp = FileEntry::FromPath(path);
  EXPECT_EQ(lookedUp.Data().name, L"sized.bin");
  for (const FileEntry* entry : {file.entry(), &lookedUp}) {
    EXPECT_TRUE(entry->IsValid());
    EXPECT_EQ(entry->Size(), 300000u);
    EXPECT_EQ(entry->FullPath(), path);
    EXPECT_EQ(entry->Folder(), dir.path().wstring() + kPathSeparator);
    EXPECT_FALSE(entry->IsDirectory());
  }
  EXPECT_TRUE(FileEntry::FromPath(dir.path().wstring()).IsDirectory());
  EXPECT_TRUE(PathExists(path));
  for (const std::wstring& absent : {(dir / "none").wstring(), std::wstring()}) {
    EXPECT_FALSE(FileEntry::FromPath(absent).IsValid());
    EXPECT_FALSE(PathExists(absent));
  }
  EXPECT_EQ(MakeAbsolute(L"notes.txt"),
            fs::current_path().wstring() + kPathSeparator + L"notes.txt");
  EXPECT_EQ(MakeAbsolute(path), path);
}

}  // namespace
