#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "storage/FileEntry.h"
#include "storage/VantrixFile.h"
#include "wipers/DataWiper.h"

// Overwrites every file below a folder, then deletes the files and removes
// the folders. All files, in collection order, form one run of GetTotalSize()
// bytes that the pass loop writes; a cursor maps each block onto the files it
// covers and deletes each file (after flushing it) once it has moved past the
// file's last byte.
//
// Links are never followed: an entry that is a link (see FileEntry) is
// neither walked into nor written through; removeAll removes the link itself.
// A file the cursor cannot open fails the wipe (WriteData returns -1): files
// passed so far stay wiped and deleted, that file and every later one stay in
// place untouched.
//
// Only single-pass algorithms cover the run: the cursor moves forward only, so
// a second pass asks for positions in files already deleted and fails.
//
// Calling order: init; WippeData; if that returned 0, removeAll; destroy.
// Destruction closes the current file and deletes nothing. Used on the wipe
// task's thread only.
class CFolderWiper : public CDataWiper {
 public:
  CFolderWiper() = default;
  ~CFolderWiper() override = default;

  // Collects the tree below `folder` (narrow, system code page; a relative
  // folder is resolved against the current directory), breadth first. Always
  // 1: a missing or unreadable folder yields fewer or no entries.
  int init(const char* folder);

  std::uint64_t GetTotalSize() override;

  // Writes the part of the run at `offset`; the bytes consumed (0 to size) or
  // -1 when a file could not be opened or written.
  int WriteData(std::int64_t offset, unsigned char* buffer, int size) override;

  // Deletes every collected file and link and removes every collected folder,
  // deepest first. Failures are ignored: what the system refuses stays.
  void removeAll();

  const std::vector<std::wstring>& folders() const { return m_folders; }
  const std::vector<std::wstring>& files() const { return m_files; }

 private:
  void CollectFolder(const std::wstring& folder, std::deque<std::wstring>* queue);
  bool OpenCurrentFile();
  void PassCurrentFile();

  std::vector<std::wstring> m_folders;
  std::vector<std::wstring> m_files;
  std::vector<FileEntry> m_links;
  std::int64_t m_total = 0;
  std::uint64_t m_fileIndex = 0;
  std::unique_ptr<VantrixFile> m_currentFile;
  std::int64_t m_base = 0;
};
