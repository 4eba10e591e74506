#pragma once

#include <cstdint>

#include "storage/VantrixFile.h"
#include "wipers/DataWiper.h"

// Overwrites one existing file in place, over exactly the bytes it holds when
// init runs, then (after a successful wipe, through closeAndDelete) deletes it.
//
// Calling order: init; if 0, WippeData; if that returned 0, closeAndDelete;
// destroy. Destruction closes (flushes) the file and deletes nothing, so a
// failed or stopped wipe leaves the file in place, its length unchanged.
// Used on the wipe task's thread only.
class CFileWiper : public CDataWiper {
 public:
  CFileWiper() = default;
  ~CFileWiper() override = default;

  // Opens `path` (narrow, system code page; a relative path is resolved
  // against the current directory) for reading and writing. 0 when the file
  // is open and its entry found; -1 otherwise, with nothing written. A link is
  // refused: the wipe never writes through one.
  int init(const char* path);

  std::uint64_t GetTotalSize() override;
  int WriteData(std::int64_t offset, unsigned char* buffer, int size) override;

  // Flushes and closes the file, then deletes it; nonzero when it was deleted.
  int closeAndDelete();

 private:
  VantrixFile m_file;
};
