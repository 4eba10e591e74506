#include "storage/DirectoryListing.h"

#include "storage/FileHandle.h"
#include "storage/FileSystem.h"
#include "storage/SystemFile.h"

const FileEntry* DirectoryListing::first(const std::wstring& folder) {
  m_entries.clear();
  m_cursor = 0;
  if (folder.empty()) return nullptr;

  system_file::EntryAt at;
  at.path = TrimSeparators(folder);
  system_file::Native native = 0;
  FindData record;
  if (!system_file::OpenFolder(at, &native, &record)) return nullptr;
  FileHandle handle;
  handle.Adopt(native);
  if (!system_file::ListOpenFolder(
          native, at.path.back() == kPathSeparator ? at.path : at.path + kPathSeparator,
          &m_entries))
    m_entries.clear();
  return Current();
}

const FileEntry* DirectoryListing::next() {
  if (m_cursor < m_entries.size()) ++m_cursor;
  return Current();
}

const FileEntry* DirectoryListing::Current() const {
  return m_cursor < m_entries.size() ? &m_entries[m_cursor] : nullptr;
}
