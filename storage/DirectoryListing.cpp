#include "storage/DirectoryListing.h"

#include "storage/FileSystem.h"
#include "storage/SystemFile.h"

const FileEntry* DirectoryListing::first(const std::wstring& folder) {
  m_entries.clear();
  m_cursor = 0;
  if (folder.empty()) return nullptr;

  std::wstring withSeparator = folder;
  if (withSeparator.back() != kPathSeparator) withSeparator.push_back(kPathSeparator);
  if (!system_file::ListFolder(withSeparator, &m_entries)) m_entries.clear();
  return Current();
}

const FileEntry* DirectoryListing::next() {
  if (m_cursor < m_entries.size()) ++m_cursor;
  return Current();
}

const FileEntry* DirectoryListing::Current() const {
  return m_cursor < m_entries.size() ? &m_entries[m_cursor] : nullptr;
}
