#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "storage/VantrixFile.h"
#include "wipers/DataWiper.h"

// Overwrites the free space of a mounted volume without touching its files:
// fills a working folder at the volume root with temporary files until the
// free space measured by init is used up, and deletes them on destruction.
//
// The free space measured by init caps the bytes written: blocks are written
// whole while they fit below it, and the block that reaches it is written up
// to it. The volume also counts as full when the system says so: the file is
// flushed and the write tried again (delayed allocation refuses while its
// reservations are pending), then the block is written in ever smaller pieces
// until even one byte is refused; that ends the filling, not the wipe.
// Blocks are appended in arrival order (the offset is not used); a temporary
// file receives at most the rotation limit (3 GiB) before the next is started.
// Bytes requested are never reset, so passes after the first write nothing.
//
// Calling order: init; if 0, WippeData; destroy in every case. WippeData ends
// by flushing the current file (kCodeFlushFailed when any flush failed) and
// having the volume write out its journal (CheckpointVolume), so that the
// blocks of the working folder and of the files' extent trees, which held
// free space's old bytes, hold their new contents before they are freed.
// Destruction is the clean-up: after success, failure or a stop alike it
// deletes every temporary file (leftovers of earlier wipes included: plain
// files named like this module's temporary files, and subfolders when empty)
// and the working folder. Used on the wipe task's thread only.
class CVolFreeSpaceWiper : public CDataWiper {
 public:
  static constexpr char kWorkFolderName[] = ".DE123EE4-E8A4-4FE3-AA45-EFD2DAD2D8DB";
  static constexpr char kTempFileFormat[] = "%lldDE123EE4-E8A4-4FE3-AA45-EFD2DAD2D8DB.dat";
  static constexpr std::int64_t kTempFileLimit = 3221225472;  // 3 GiB

  // `tempFileLimit` is the rotation limit; only tests pass another value.
  explicit CVolFreeSpaceWiper(std::int64_t tempFileLimit = kTempFileLimit);
  ~CVolFreeSpaceWiper() override;

  // `rootPath` is the volume root (narrow, system code page: "D:\" on
  // Windows, a mount point on POSIX). Finds or creates the working folder,
  // lists its leftovers and measures the free space. 0 on success; -1 when
  // the root is empty or cannot be opened, the working folder could not be
  // created, or what carries its name is not a plain folder on the root's
  // volume (a link, a file, a mount): nothing was created or deleted then.
  int init(const char* rootPath);

  std::uint64_t GetTotalSize() override;

  // Appends the block to the current temporary file: the bytes written, 0 once
  // the volume counts as full, -1 on failure.
  int WriteData(std::int64_t offset, unsigned char* buffer, int size) override;
  std::uint32_t FinishData(std::uint32_t code) override;

  const std::string& workFolder() const { return m_workFolder; }

 private:
  struct Entry {
    std::wstring name;
    std::wstring path;
    FileIdentity identity;
  };

  bool OpenWorkFolder(const std::string& rootPath, const std::string& workFolder);
  bool StartTempFile();
  int Append(const unsigned char* buffer, int size);
  void CleanUp();
  void Remove(const Entry& entry, bool folder);

  std::unique_ptr<VantrixFile> m_currentFile;
  std::int64_t m_fileCounter = 0;
  std::int64_t m_requested = 0;
  std::int64_t m_fileBytes = 0;
  std::int64_t m_total = 0;
  std::string m_workFolder;
  std::string m_root;
  std::vector<Entry> m_tempFiles;
  std::vector<Entry> m_leftoverFolders;
  std::int64_t m_tempFileLimit;
  FileHandle m_workHandle;
  Entry m_work;
  bool m_full = false;
  bool m_flushFailed = false;
};
