#include "wipers/VolFreeSpaceWiper.h"

#include <cstdio>
#include <new>

#include "common/Log.h"
#include "storage/DirectoryListing.h"
#include "storage/FileSystem.h"
#include "support/TextHelpers.h"

namespace {

// `first`, one separator, then `second` without a leading separator.
std::wstring JoinPath(std::wstring first, const std::wstring& second) {
  if (!first.empty() && first.back() != kPathSeparator) first.push_back(kPathSeparator);
  if (!second.empty() && second.front() == kPathSeparator) return first + second.substr(1);
  return first + second;
}

std::string JoinNarrowPath(const std::string& first, const std::string& second) {
  return WideToAnsi(JoinPath(AnsiToWide(first), AnsiToWide(second)));
}

}  // namespace

CVolFreeSpaceWiper::CVolFreeSpaceWiper(std::int64_t tempFileLimit)
    : m_tempFileLimit(tempFileLimit) {}

CVolFreeSpaceWiper::~CVolFreeSpaceWiper() { CleanUp(); }

int CVolFreeSpaceWiper::init(const char* rootPath) {
  static const char kFunction[] = "CVolFreeSpaceWiper::init";
  if (rootPath == nullptr) return -1;
  const std::string workFolder = JoinNarrowPath(rootPath, kWorkFolderName);

  if (FileEntry::FromPath(AnsiToWide(workFolder)).IsValid()) {
    VTX_LOG(kFunction, "folder is valid, %s", workFolder.c_str());
  } else if (!MakeFolder(workFolder)) {
    VTX_LOG(kFunction, "create dir failed: %d, %s", LastSystemError(), workFolder.c_str());
    return -1;
  }

  DirectoryListing listing;
  for (const FileEntry* entry = listing.first(AnsiToWide(workFolder)); entry != nullptr;
       entry = listing.next()) {
    m_tempFiles.push_back(WideToAnsi(entry->FullPath()));
    ++m_fileCounter;
  }

  m_total = static_cast<std::int64_t>(FreeBytesOfVolume(rootPath));
  m_workFolder = workFolder;
  VTX_LOG(kFunction, "wipe vol free, offset = %lld, free = %lld, vol = %s",
          static_cast<long long>(m_fileCounter), static_cast<long long>(m_total),
          m_workFolder.c_str());
  return 0;
}

std::uint64_t CVolFreeSpaceWiper::GetTotalSize() { return static_cast<std::uint64_t>(m_total); }

int CVolFreeSpaceWiper::WriteData(std::int64_t /*offset*/, unsigned char* buffer, int size) {
  if (buffer == nullptr || size < 0) return -1;
  m_requested += size;
  if (m_requested >= m_total) return 0;

  m_fileBytes += size;
  if (m_fileBytes >= m_tempFileLimit) {
    m_fileBytes = 0;
    if (m_currentFile) m_currentFile->closeFile();
    m_currentFile.reset();
  }
  if (!m_currentFile && !StartTempFile()) return -1;

  const std::int64_t written =
      m_currentFile->writeFileToEnd(static_cast<std::uint32_t>(size), buffer);
  VTX_LOG("CVolFreeSpaceWiper::WriteData", "write ret: %d", static_cast<int>(written));
  return static_cast<int>(written);
}

// Creates the next temporary file (the name must be new) and keeps it open as
// the current file. On failure the current file is left unset.
bool CVolFreeSpaceWiper::StartTempFile() {
  static const char kFunction[] = "CVolFreeSpaceWiper::WriteData";
  std::unique_ptr<VantrixFile> current(new (std::nothrow) VantrixFile);
  std::unique_ptr<VantrixFile> creator(new (std::nothrow) VantrixFile);
  if (!current || !creator) return false;

  ++m_fileCounter;
  char name[64] = {};
  std::snprintf(name, sizeof(name), kTempFileFormat, static_cast<long long>(m_fileCounter));
  const std::string path = JoinNarrowPath(m_workFolder, name);
  const std::wstring widePath = AnsiToWide(path);
  VTX_LOG(kFunction, "create tmp file, %s", path.c_str());

  if (!creator->open(widePath, VantrixFile::kModeCreateNew)) {
    VTX_LOG(kFunction, "create tmp file failed: %d, %s", LastSystemError(), path.c_str());
    return false;
  }
  // Listed as soon as it exists, so that the clean-up removes it whatever
  // happens next.
  m_tempFiles.push_back(path);
  if (!current->open(widePath, VantrixFile::kModeDefault)) {
    VTX_LOG(kFunction, "open tmp file failed, %s", path.c_str());
    return false;
  }
  creator->closeFile();
  m_currentFile = std::move(current);
  return true;
}

void CVolFreeSpaceWiper::CleanUp() {
  if (m_tempFiles.empty()) return;
  if (m_currentFile) m_currentFile->closeFile();
  for (const std::string& path : m_tempFiles) DeletePath(path);
  RemoveFolder(m_workFolder);
}
