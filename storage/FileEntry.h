#pragma once

#include <cstdint>
#include <string>

// Attribute bits of a directory record; the values are those of Windows.
constexpr std::uint32_t kFileAttributeDirectory = 0x10;
// The entry is not plain data reached by its own name: on Windows a reparse
// point whose tag is a name surrogate (junction, symbolic link, mount point;
// reparse points that hold data, such as deduplicated or cloud files, are
// plain data); on POSIX a symbolic link or a special file (device, FIFO,
// socket). Such entries are never opened for writing and never walked into.
constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;

// Who an object of the file system is: two entries with the same identity
// are one object (the names of a hard-linked file share it).
struct FileIdentity {
  std::uint64_t volume = 0;  // device (POSIX) or volume serial number (Windows)
  std::uint64_t index = 0;   // inode (POSIX) or file index (Windows)
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && index == other.index;
  }
  bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// What the system says of one entry: its directory record, or the status of
// an open handle (whose name is then the last component of the path opened).
struct FindData {
  std::uint32_t attributes = 0;
  std::uint32_t sizeHigh = 0;
  std::uint32_t sizeLow = 0;
  std::wstring name;
  FileIdentity identity;
  std::uint32_t links = 0;  // names of the object; 0 where a listing cannot tell
  std::uint64_t mount = 0;  // the mount (POSIX) or volume (Windows) holding it

  std::uint64_t Size() const { return (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow; }
};

// One directory entry: its folder (up to and including the last separator),
// its full path and the system's record. A plain, copyable value.
class FileEntry {
 public:
  FileEntry() = default;
  // An entry of a listing: the folder unchanged, the full path folder + name.
  FileEntry(const std::wstring& folder, const FindData& record);

  // An entry of `path` described by `record`. A path without any separator
  // gives a folder holding the whole path and an empty full path.
  static FileEntry OfPath(const std::wstring& path, FindData record);

  // Looks `path` up in its directory without following a final link. If the
  // system does not find it, the entry is empty and not valid.
  static FileEntry FromPath(const std::wstring& path);

  bool IsValid() const { return !m_folder.empty(); }
  bool IsDirectory() const { return (m_findData.attributes & kFileAttributeDirectory) != 0; }
  bool IsReparsePoint() const { return (m_findData.attributes & kFileAttributeReparsePoint) != 0; }
  bool IsDotEntry() const { return m_findData.name == L"." || m_findData.name == L".."; }
  std::uint64_t Size() const { return m_findData.Size(); }

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
