#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "storage/FileEntry.h"
#include "storage/FileHandle.h"
#include "storage/SystemFile.h"

// The file writer: owns one file of the system and the directory entry of the
// path it opened. Writes go straight to the system (no buffering of its own);
// closeFile flushes the file to the device, which is what makes a wipe
// durable before the file is deleted.
//
// Owned by one wiper and used on that wiper's thread only. No member throws;
// failures are results plus a log line.
class VantrixFile {
 public:
  enum Mode {
    kModeRead = 16,       // read, existing file
    kModeWrite = 17,      // write, open always
    kModeReadWrite = 18,  // read and write, existing file
    kModeCreateNew = 19,  // read and write, the name must not exist
    kModeDefault = 0,     // read and write, open always (any other value)
  };

  VantrixFile() = default;
  ~VantrixFile();
  VantrixFile(const VantrixFile&) = delete;
  VantrixFile& operator=(const VantrixFile&) = delete;

  // Opens `path` (never through a link, see system_file::OpenAt) and builds
  // its entry from what the system says of the open file. False when the
  // system refuses the open (the handle is then marked failed) or the entry
  // cannot be built (the handle stays open until closeFile or destruction).
  bool open(const std::wstring& path, int mode);
  // The same for an entry named inside an open folder.
  bool openAt(const system_file::EntryAt& at, int mode);

  // Flushes the file to the device (see system_file::Flush; by default
  // through the device's cache) and logs "flush buffer: %d, %d"; false when
  // the system reports that it could not (an I/O error).
  bool flush(bool deviceCache = true);

  // Flushes (unless nothing was written since a flush), logs and closes a
  // usable handle; does nothing otherwise. The entry is kept.
  void closeFile();

  // Writes `size` bytes at `offset`, going on after partial writes until all
  // are written: the count written (`size`), 0 when the system wrote nothing
  // at all, -1 on failure (also after a partial write: part of the range may
  // then hold the new bytes). lastError() tells the system's reason.
  std::int64_t writeFile(std::int64_t offset, std::uint32_t size, const unsigned char* buffer);

  // Writes at the current end of the file; same results as writeFile.
  std::int64_t writeFileToEnd(std::uint32_t size, const unsigned char* buffer);

  // The entry built by open; null before open or if it could not be built.
  const FileEntry* entry() const { return m_entry.get(); }
  bool isUsable() const { return m_handle.IsUsable(); }
  // What the system says of the open file now (size, identity, links).
  bool status(FindData* record) const;
  // The system's error code of the last failed write or flush.
  int lastError() const { return m_lastError; }

 private:
  bool LogInvalidWrite(const unsigned char* buffer, const char* function) const;

  FileHandle m_handle;
  std::unique_ptr<FileEntry> m_entry;
  bool m_dirty = true;
  int m_lastError = 0;
};
