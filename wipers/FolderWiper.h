#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "storage/FolderTree.h"
#include "storage/VantrixFile.h"
#include "wipers/DataWiper.h"

// Overwrites every file below a folder, then deletes the files and removes
// the folders. All files, in collection order, form one run of GetTotalSize()
// bytes that the pass loop writes; a cursor maps each block onto the files it
// covers and deletes each file once it has moved past the file's last byte,
// after its data was written to the device and waited for (write errors
// fail the wipe). The device's own cache is flushed once, at the end of the
// run, before WippeData returns 0; on a journaling file system no deletion
// reaches the disk before the data written ahead of it, since every journal
// commit empties that cache first.
//
// It opens, writes and deletes only the very files and folders it listed
// (FolderTree): each is reached again through folders checked against the
// listing, and must still be the same object, of the size listed, when it is
// opened and when it is deleted. A mismatch, a file that cannot be opened, a
// failed write or a failed flush fails the wipe (WriteData returns -1, the
// pass loop a failure code): files passed so far stay wiped and deleted, that
// file and every later one stay in place. Deleting renames an entry to a
// filler name of the same length first, so no name survives in the folder.
//
// Links are never followed: a link is neither walked into nor written
// through, and removeAll removes the link itself. Folders on another mount
// (a bind mount, another file system) are neither walked nor removed. A file
// with more names than the tree holds (hard links outside it) is not
// overwritten: its bytes of the run are passed over and its names in the tree
// are removed, as the log says.
//
// Only single-pass algorithms cover the run: the cursor moves forward only, so
// a second pass asks for positions in files already deleted and fails.
//
// Calling order: init; if not negative, WippeData; if that returned 0,
// removeAll; destroy. Destruction closes the current file and deletes
// nothing. Used on the wipe task's thread only.
class CFolderWiper : public CDataWiper {
 public:
  CFolderWiper() = default;
  ~CFolderWiper() override = default;

  // Collects the tree below `folder` (narrow, system code page; a relative
  // folder is resolved against the current directory), breadth first. 1 on
  // success; -1, the initialisation failure, with nothing touched, when the
  // folder is missing, empty text, not a folder, a link (by any spelling),
  // named by "." or "..", the root of a mounted file system, a folder holding
  // the running system or above one, or when a folder below it cannot be
  // listed.
  int init(const char* folder);

  std::uint64_t GetTotalSize() override;

  // Writes the part of the run at `offset`; the bytes consumed (0 to size) or
  // -1 when a file could not be opened, written, flushed or deleted as listed.
  int WriteData(std::int64_t offset, unsigned char* buffer, int size) override;

  // Flushes and checks the file the run ended in: kCodeFlushFailed when a
  // flush failed anywhere in the wipe.
  std::uint32_t FinishData(std::uint32_t code) override;

  // Deletes what this wiper overwrote completely, the empty files, the links
  // and further names, and removes the folders, deepest first. A file with
  // data that this wiper did not overwrite is kept (so a wiper that ran no
  // WippeData removes only empty files and folders). Refusals by the system
  // are ignored: what it refuses stays, and so do the folders above it.
  void removeAll();

  // Full paths of the folders and files collected, in collection order.
  std::vector<std::wstring> folders() const;
  std::vector<std::wstring> files() const;

 private:
  bool OpenCurrentFile();
  bool PassCurrentFile();
  bool IsListedFile(const FindData& now, const char* when) const;
  void RemoveUnwritten(const FolderTree::Node& node);

  FolderTree m_tree;
  std::uint64_t m_fileIndex = 0;
  std::unique_ptr<VantrixFile> m_currentFile;
  bool m_passOver = false;  // the current file is linked outside the tree
  std::int64_t m_base = 0;
  bool m_runComplete = false;
  bool m_flushFailed = false;
};
