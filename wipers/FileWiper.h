#pragma once

#include <cstdint>

#include "storage/VantrixFile.h"
#include "wipers/DataWiper.h"

// Overwrites one existing file in place, over exactly the bytes it holds when
// init runs, then (after a successful wipe, through closeAndDelete) deletes it.
// The file named is overwritten even when it has further names (hard links):
// the user named it.
//
// WippeData ends by flushing the file (a failed flush: kCodeFlushFailed) and
// checking that it kept its size (a file that grew or shrank during the wipe:
// kCodeTailWriteFailed); either way the wipe failed and the file stays.
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
  // Writes the whole range or fails (-1).
  int WriteData(std::int64_t offset, unsigned char* buffer, int size) override;
  std::uint32_t FinishData(std::uint32_t code) override;

  // Closes the file, then deletes it: only after a WippeData that returned 0,
  // and only if the entry still is the file that was wiped (it is renamed to
  // a filler name first); nonzero when it was deleted.
  int closeAndDelete();

 private:
  VantrixFile m_file;
  bool m_complete = false;
};
