#include <gtest/gtest.h>

#include <map>
#include <string>

#include "storage/DirectoryListing.h"
#include "storage/FileSystem.h"
#include "support/TestFiles.h"

namespace {

// Every entry handed out, by name.
std::map<std::wstring, FileEntry> ListAll(const std::wstring& folder) {
  std::map<std::wstring, FileEntry> seen;
  DirectoryListing listing;
  for (const FileEntry* entry = listing.first(folder); entry != nullptr; entry = listing.next()) {
    seen[entry->Data().name] = *entry;
  }
  return seen;
}

TEST(DirectoryListing, HandsOutFilesAndFoldersButNoDotEntriesAtAnyDepthAndNothingElse) {
  TempDir dir;
  fs::path deep = dir / "sub";
  while (deep.wstring().size() < 1100) deep /= std::string(60, 'd');
  for (const fs::path& folder : {dir.path(), deep}) {
    WriteBytes(folder / "file.txt", "x");
    fs::create_directories(folder / "sub");
    const std::wstring withSeparator = folder.wstring() + kPathSeparator;
    for (const std::wstring& spelling : {folder.wstring(), withSeparator}) {
      const auto seen = ListAll(spelling);
      ASSERT_EQ(seen.size(), 2u);
      EXPECT_FALSE(seen.at(L"file.txt").IsDirectory());
      EXPECT_TRUE(seen.at(L"sub").IsDirectory());
      EXPECT_EQ(seen.at(L"file.txt").FullPath(), withSeparator + L"file.txt");
      EXPECT_EQ(seen.at(L"sub").Folder(), withSeparator);
    }
  }
  // Empty, missing, blank or plain files hand out nothing.
  for (const fs::path& folder : {deep / "sub", dir / "missing", fs::path(), dir / "file.txt"}) {
    DirectoryListing listing;
    EXPECT_EQ(listing.first(folder.wstring()), nullptr) << folder;
    EXPECT_EQ(listing.next(), nullptr);
  }
}

}  // namespace
