#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/FileEntry.h"

// The entries of one folder, taken once by first() and handed out in the
// order the system returned them; "." and ".." never appear. The folder is
// opened first (never through a link) and listed through its handle. Used for
// one folder only, on its owner's thread.
class DirectoryListing {
 public:
  // Lists `folder` (with or without its trailing separator) and returns the
  // first entry, or null when the folder is empty, missing or unreadable.
  const FileEntry* first(const std::wstring& folder);

  // The next entry, or null once every entry was handed out.
  const FileEntry* next();

 private:
  const FileEntry* Current() const;

  std::uint64_t m_cursor = 0;
  std::vector<FileEntry> m_entries;
};
