#pragma once

#include <cstdint>
#include <string>

// Attribute bits of a directory record; the values are those of Windows.
constexpr std::uint32_t kFileAttributeDirectory = 0x10;
// The entry is not plain data reached by its own name: on Windows a reparse
// point (junction, symbolic link, mount point); on POSIX a symbolic link or a
// special file (device, FIFO, socket). Such entries are never opened for
// writing and never walked into.
constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;

// What the system's directory record says of one entry.
struct FindData {
  std::uint32_t attributes = 0;
  std::uint32_t sizeHigh = 0;
  std::uint32_t sizeLow = 0;
  std::wstring name;
};

// One directory entry: its folder (up to and including the last separator),
// its full path and the system's record. A plain, copyable value.
class FileEntry {
 public:
  FileEntry() = default;
  // An entry of a listing: the folder unchanged, the full path folder + name.
  FileEntry(const std::wstring& folder, const FindData& record);

  // Looks `path` up in its directory without following a final link. If the
  // system does not find it, the entry is empty and not valid. A path without
  // any separator gives a folder holding the whole path and an empty full path.
  static FileEntry FromPath(const std::wstring& path);

  bool IsValid() const { return !m_folder.empty(); }
  bool IsDirectory() const { return (m_findData.attributes & kFileAttributeDirectory) != 0; }
  bool IsReparsePoint() const { return (m_findData.attributes & kFileAttributeReparsePoint) != 0; }
  bool IsDotEntry() const { return m_findData.name == L"." || m_findData.name == L".."; }
  std::uint64_t Size() const {
    return (static_cast<std::uint64_t>(m_findData.sizeHigh) << 32) | m_findData.sizeLow;
  }

  const std::wstring& Folder() const { return m_folder; }
  const std::wstring& FullPath() const { return m_fullPath; }
  const FindData& Data() const { return m_findData; }

 private:
  // Sets folder and full path from a path the system found.
  void SetPath(const std::wstring& path);

  std::wstring m_folder;
  std::wstring m_fullPath;
  FindData m_findData;
};
