#include "storage/FileEntry.h"

#include "storage/FileSystem.h"
#include "storage/SystemFile.h"

FileEntry::FileEntry(const std::wstring& folder, const FindData& record)
    : m_folder(folder), m_fullPath(folder + record.name), m_findData(record) {}

void FileEntry::SetPath(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(kPathSeparator);
  if (separator == std::wstring::npos) {
    m_folder = path;
    return;
  }
  m_folder = path.substr(0, separator + 1);
  m_fullPath = path;
}

FileEntry FileEntry::OfPath(const std::wstring& path, FindData record) {
  FileEntry entry;
  entry.m_findData = std::move(record);
  entry.SetPath(path);
  return entry;
}

FileEntry FileEntry::FromPath(const std::wstring& path) {
  FindData record;
  if (path.empty() || !system_file::LookUp(path, &record)) return FileEntry();
  return OfPath(path, std::move(record));
}
