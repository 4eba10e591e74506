#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include "algorithms/WiperAlgorithms.h"
#include "support/TestFiles.h"
#include "wipers/FileWiper.h"
#include "wipers/FolderWiper.h"

namespace {

// Puts a reparse point with `tag` on the existing file `path`.
bool Tag(const fs::path& path, DWORD tag) {
  HANDLE file = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, /*dwShareMode=*/0,
                            /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, /*hTemplateFile=*/nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  struct {
    DWORD tag;
    WORD length;
    WORD reserved;
    BYTE data[8];
  } reparse = {tag, sizeof(reparse.data), 0, {1, 2, 3, 4, 5, 6, 7, 8}};
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(file, FSCTL_SET_REPARSE_POINT, &reparse, sizeof(reparse),
                                  /*lpOutBuffer=*/nullptr, 0, &returned, /*lpOverlapped=*/nullptr);
  CloseHandle(file);
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(path.wstring().c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return ok && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A reparse point whose tag is not a name surrogate (a deduplicated or cloud
// file) holds data: both wipers take it as the file it is.
TEST(ReparseWin32, ReparsePointsThatHoldDataAreWipedAsFiles) {
  TempDir dir;
  const fs::path path = dir / "tree" / "deduplicated.bin";
  WriteBytes(path, PatternBytes(5000));
  if (!Tag(path, IO_REPARSE_TAG_DEDUP)) GTEST_SKIP() << "the system keeps no such reparse point";
  CZeroFillWiperAlgorithm algorithm;
  CFileWiper file;
  ASSERT_EQ(file.init(ModulePath(path).c_str()), 0);
  EXPECT_EQ(file.GetTotalSize(), 5000u);
  file.closeAndDelete();
  CFolderWiper folder;
  ASSERT_EQ(folder.init(ModulePath(dir / "tree").c_str()), 1);
  EXPECT_EQ(folder.files(), std::vector<std::wstring>{path.wstring()});
  EXPECT_EQ(folder.WippeData(&algorithm, nullptr), 0u);
  folder.removeAll();
  EXPECT_FALSE(fs::exists(dir / "tree"));
}

}  // namespace
