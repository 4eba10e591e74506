#include <gtest/gtest.h>

#include <map>
#include <string>

#include "storage/DirectoryListing.h"
#include "storage/FileSystem.h"
#include "support/TestFiles.h"

namespace {

// name -> (is directory, full path, folder) of every entry handed out.
struct Seen {
  bool directory;
  std::wstring fullPath;
  std::wstring folder;
};

std::map<std::wstring, Seen> ListAll(const std::wstring& folder) {
  std::map<std::wstring, Seen> seen;
  DirectoryListing listing;
  for (const FileEntry* entry = listing.first(folder); entry != nullptr; entry = listing.next()) {
    seen[entry->Data().name] = {entry->IsDirectory(), entry->FullPath(), entry->Folder()};
  }
  return seen;
}

TEST(DirectoryListing, HandsOutFilesAndFoldersButNoDotEntries) {
  TempDir dir;
  WriteBytes(dir / "file.txt", "x");
  fs::create_directory(dir / "sub");
  const std::wstring folder = dir.path().wstring() + kPathSeparator;

  const auto seen = ListAll(dir.path().wstring());
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_FALSE(seen.at(L"file.txt").directory);
  EXPECT_TRUE(seen.at(L"sub").directory);
  EXPECT_EQ(seen.at(L"file.txt").fullPath, folder + L"file.txt");
  EXPECT_EQ(seen.at(L"sub").folder, folder);

  const auto withSeparator = ListAll(folder);
  ASSERT_EQ(withSeparator.size(), 2u);
  EXPECT_EQ(withSeparator.at(L"file.txt").fullPath, folder + L"file.txt");
}

TEST(DirectoryListing, EmptyMissingOrBlankFoldersHandOutNothing) {
  TempDir dir;
  DirectoryListing empty;
  EXPECT_EQ(empty.first(dir.path().wstring()), nullptr);
  EXPECT_EQ(empty.next(), nullptr);
  DirectoryListing missing;
  EXPECT_EQ(missing.first((dir / "missing").wstring()), nullptr);
  DirectoryListing blank;
  EXPECT_EQ(blank.first(L""), nullptr);
  WriteBytes(dir / "plain.txt", "x");
  DirectoryListing notAFolder;
  EXPECT_EQ(notAFolder.first((dir / "plain.txt").wstring()), nullptr);
}

TEST(DirectoryListing, ListsFoldersLongerThanAThousandCharacters) {
  TempDir dir;
  fs::path deep = dir.path();
  while (deep.wstring().size() < 1100) deep /= std::string(60, 'd');
  fs::create_directories(deep);
  WriteBytes(deep / "leaf.txt", "leaf");
  const auto seen = ListAll(deep.wstring());
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen.at(L"leaf.txt").fullPath, (deep / "leaf.txt").wstring());
}

}  // namespace
