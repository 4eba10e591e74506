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
// The volume counts as full by count: a block is written only while the bytes
// requested so far, that block included, stay below the measured free space.
// Blocks are appended in arrival order (the offset is not used); a temporary
// file receives at most the rotation limit (3 GiB) before the next is started.
// Bytes requested are never reset, so passes after the first write nothing.
//
// Calling order: init; if 0, WippeData; destroy in every case. Destruction is
// the clean-up: after success, failure or a stop alike it deletes every
// temporary file (leftovers of earlier wipes included) and the working folder.
// Used on the wipe task's thread only.
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
  // lists its leftovers and measures the free space. 0 on success, -1 when the
  // folder could not be created (nothing was created then).
  int init(const char* rootPath);

  std::uint64_t GetTotalSize() override;

  // Appends the block to the current temporary file: the bytes written, 0 once
  // the volume counts as full, -1 on failure.
  int WriteData(std::int64_t offset, unsigned char* buffer, int size) override;

  const std::string& workFolder() const { return m_workFolder; }

 private:
  bool StartTempFile();
  void CleanUp();

  std::unique_ptr<VantrixFile> m_currentFile;
  std::int64_t m_fileCounter = 0;
  std::int64_t m_requested = 0;
  std::int64_t m_fileBytes = 0;
  std::int64_t m_total = 0;
  std::string m_workFolder;
  std::vector<std::string> m_tempFiles;
  std::int64_t m_tempFileLimit;
};
