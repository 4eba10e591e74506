#include "wipers/FileWiper.h"

#include <string>

#include "common/Log.h"
#include "storage/FileSystem.h"
#include "support/TextHelpers.h"

int CFileWiper::init(const char* path) {
  if (path == nullptr) return -1;
  const std::wstring widePath = MakeAbsolute(AnsiToWide(path));
  const bool isLink = FileEntry::FromPath(widePath).IsReparsePoint();
  if (isLink || !m_file.open(widePath, VantrixFile::kModeReadWrite)) {
    VTX_LOG("CFileWiper::init", "open %s file failure\n", path);
    return -1;
  }
  return 0;
}

std::uint64_t CFileWiper::GetTotalSize() {
  const FileEntry* entry = m_file.entry();
  return entry ? entry->Size() : 0;
}

int CFileWiper::WriteData(std::int64_t offset, unsigned char* buffer, int size) {
  if (size < 0) return -1;
  return static_cast<int>(m_file.writeFile(offset, static_cast<std::uint32_t>(size), buffer));
}

int CFileWiper::closeAndDelete() {
  m_file.closeFile();
  const FileEntry* entry = m_file.entry();
  if (entry == nullptr || entry->FullPath().empty()) return 0;
  return DeletePath(entry->FullPath()) ? 1 : 0;
}
