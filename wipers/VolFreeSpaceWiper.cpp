#include "wipers/VolFreeSpaceWiper.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/Log.h"
#include "storage/FileSystem.h"
#include "support/TextHelpers.h"

namespace {

constexpr char kInit[] = "CVolFreeSpaceWiper::init";
constexpr char kWrite[] = "CVolFreeSpaceWiper::WriteData";

// `first`, one separator, then `second` without a leading separator.
std::wstring JoinPath(std::wstring first, const std::wstring& second) {
  if (!first.empty() && first.back() != kPathSeparator) first.push_back(kPathSeparator);
  if (!second.empty() && second.front() == kPathSeparator) return first + second.substr(1);
  return first + second;
}

std::string JoinNarrowPath(const std::string& first, const std::string& second) {
  return WideToAnsi(JoinPath(AnsiToWide(first), AnsiToWide(second)));
}

// Whether `name` is one this wiper gives its temporary files: digits, then
// the fixed text.
bool IsTempFileName(const std::wstring& name) {
  const std::wstring suffix = AnsiToWide(CVolFreeSpaceWiper::kTempFileFormat + 4);
  if (name.size() <= suffix.size() ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return false;
  }
  return std::all_of(name.begin(), name.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                     [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

}  // namespace

CVolFreeSpaceWiper::CVolFreeSpaceWiper(std::int64_t tempFileLimit)
    : m_tempFileLimit(tempFileLimit) {}

CVolFreeSpaceWiper::~CVolFreeSpaceWiper() { CleanUp(); }

int CVolFreeSpaceWiper::init(const char* rootPath) {
  if (rootPath == nullptr || *rootPath == '\0') {
    VTX_LOG(kInit, "no volume root given");
    return -1;
  }
  const std::string workFolder = JoinNarrowPath(rootPath, kWorkFolderName);
  if (!OpenWorkFolder(rootPath, workFolder)) return -1;

  std::vector<FileEntry> entries;
  system_file::ListOpenFolder(m_workHandle.Native(), m_work.path + kPathSeparator, &entries);
  for (const FileEntry& entry : entries) {
    ++m_fileCounter;
    const Entry found{entry.Data().name, entry.FullPath(), entry.Data().identity};
    if (entry.IsDirectory() && !entry.IsReparsePoint()) {
      m_leftoverFolders.push_back(found);
    } else if (!entry.IsDirectory() && !entry.IsReparsePoint() && IsTempFileName(found.name)) {
      m_tempFiles.push_back(found);
    } else {
      VTX_LOG(kInit, "not a file of this module, kept: %s", WideToAnsi(found.path).c_str());
    }
  }

  m_total = static_cast<std::int64_t>(FreeBytesOfVolume(rootPath));
  m_workFolder = workFolder;
  m_root = rootPath;
  VTX_LOG(kInit, "wipe vol free, offset = %lld, free = %lld, vol = %s",
          static_cast<long long>(m_fileCounter), static_cast<long long>(m_total),
          m_workFolder.c_str());
  return 0;
}

// Finds or makes the working folder and holds it open. It must be a plain
// folder on the root's volume: a link, a file or a mount there fails, with
// nothing created or deleted.
bool CVolFreeSpaceWiper::OpenWorkFolder(const std::string& rootPath,
                                        const std::string& workFolder) {
  system_file::EntryAt root;
  root.path = TrimSeparators(AnsiToWide(rootPath));
  FindData rootRecord;
  system_file::Native native = 0;
  if (!system_file::OpenFolder(root, &native, &rootRecord)) {
    VTX_LOG(kInit, "create dir failed: %d, %s", LastSystemError(), workFolder.c_str());
    return false;
  }
  FileHandle rootHandle;
  rootHandle.Adopt(native);

  system_file::EntryAt work;
  work.folder = native;
  work.name = AnsiToWide(kWorkFolderName);
  work.path = AnsiToWide(workFolder);
  FindData record;
  if (system_file::OpenFolder(work, &native, &record)) {
    VTX_LOG(kInit, "folder is valid, %s", workFolder.c_str());
  } else if (PathExists(work.path)) {
    VTX_LOG(kInit, "working folder is not a plain folder: %s", workFolder.c_str());
    return false;
  } else if (!MakeFolder(workFolder) || !system_file::OpenFolder(work, &native, &record)) {
    VTX_LOG(kInit, "create dir failed: %d, %s", LastSystemError(), workFolder.c_str());
    return false;
  }
  m_workHandle.Adopt(native);
  if (record.mount != rootRecord.mount) {
    VTX_LOG(kInit, "working folder is on another volume: %s", workFolder.c_str());
    m_workHandle.Close();
    return false;
  }
  m_work = Entry{work.name, work.path, record.identity};
  return true;
}

std::uint64_t CVolFreeSpaceWiper::GetTotalSize() { return static_cast<std::uint64_t>(m_total); }

int CVolFreeSpaceWiper::WriteData(std::int64_t /*offset*/, unsigned char* buffer, int size) {
  if (buffer == nullptr || size < 0) return -1;
  if (m_full || m_requested >= m_total) return 0;
  // The block that reaches the measured free space is written up to it.
  size = static_cast<int>(std::min<std::int64_t>(size, m_total - m_requested));
  m_requested += size;

  m_fileBytes += size;
  if (m_fileBytes >= m_tempFileLimit) {
    m_fileBytes = 0;
    if (m_currentFile && !m_currentFile->flush()) m_flushFailed = true;
    m_currentFile.reset();
  }
  if (!m_currentFile && !StartTempFile()) return -1;

  const int written = Append(buffer, size);
  VTX_LOG(kWrite, "write ret: %d", written);
  return written;
}

// Appends `size` bytes. When the system says the volume is full, the file is
// flushed and the write tried again (delayed allocation refuses while its
// reservations are pending); a refusal that holds after a flush halves the
// piece, down to one byte. The volume is full when even that is refused.
int CVolFreeSpaceWiper::Append(const unsigned char* buffer, int size) {
  int done = 0;
  int piece = size;
  bool flushed = false;
  while (done < size) {
    piece = std::min(piece, size - done);
    const std::int64_t written =
        m_currentFile->writeFileToEnd(static_cast<std::uint32_t>(piece), buffer + done);
    if (written > 0) {
      done += static_cast<int>(written);
      flushed = false;
    } else if (!IsDiskFull(m_currentFile->lastError())) {
      return -1;
    } else if (!flushed) {
      if (!m_currentFile->flush() && !IsDiskFull(m_currentFile->lastError())) return -1;
      flushed = true;
    } else if (piece > 1) {
      piece /= 2;
      flushed = false;
    } else {
      VTX_LOG(kWrite, "volume full after %lld bytes", static_cast<long long>(m_requested));
      m_full = true;
      break;
    }
  }
  return done;
}

// Creates the next temporary file (the name must be new) and keeps it open as
// the current file. On failure the current file is left unset.
bool CVolFreeSpaceWiper::StartTempFile() {
  std::unique_ptr<VantrixFile> current(new (std::nothrow) VantrixFile);
  std::unique_ptr<VantrixFile> creator(new (std::nothrow) VantrixFile);
  if (!current || !creator) return false;

  ++m_fileCounter;
  char name[64] = {};
  std::snprintf(name, sizeof(name), kTempFileFormat, static_cast<long long>(m_fileCounter));
  system_file::EntryAt at;
  at.folder = m_workHandle.Native();
  at.name = AnsiToWide(name);
  at.path = AnsiToWide(JoinNarrowPath(m_workFolder, name));
  const std::string path = WideToAnsi(at.path);
  VTX_LOG(kWrite, "create tmp file, %s", path.c_str());

  if (!creator->openAt(at, VantrixFile::kModeCreateNew)) {
    VTX_LOG(kWrite, "create tmp file failed: %d, %s", LastSystemError(), path.c_str());
    return false;
  }
  // Listed as soon as it exists, so that the clean-up removes it whatever
  // happens next.
  m_tempFiles.push_back(Entry{at.name, at.path, creator->entry()->Data().identity});
  if (!current->openAt(at, VantrixFile::kModeDefault) ||
      current->entry()->Data().identity != m_tempFiles.back().identity) {
    VTX_LOG(kWrite, "open tmp file failed, %s", path.c_str());
    return false;
  }
  creator->closeFile();
  m_currentFile = std::move(current);
  return true;
}

std::uint32_t CVolFreeSpaceWiper::FinishData(std::uint32_t code) {
  if (m_currentFile && !m_currentFile->flush()) m_flushFailed = true;
  // The temporary files' folder and extent-tree blocks are written in place
  // before the clean-up frees them; until then only the journal holds them.
  if (!m_root.empty() && !CheckpointVolume(m_root)) {
    VTX_LOG(kWrite, "volume journal not written out: %d", LastSystemError());
  }
  return m_flushFailed ? kCodeFlushFailed : code;
}

void CVolFreeSpaceWiper::CleanUp() {
  if (m_tempFiles.empty() && m_leftoverFolders.empty()) return;
  if (m_currentFile) m_currentFile->closeFile();
  for (const Entry& file : m_tempFiles) Remove(file, false);
  for (const Entry& folder : m_leftoverFolders) Remove(folder, true);
  m_workHandle.Close();
  system_file::EntryAt at;
  at.name = m_work.name;
  at.path = m_work.path;
  system_file::RemoveEntry(at, m_work.identity, true);
}

void CVolFreeSpaceWiper::Remove(const Entry& entry, bool folder) {
  system_file::EntryAt at;
  at.folder = m_workHandle.Native();
  at.name = entry.name;
  at.path = entry.path;
  system_file::RemoveEntry(at, entry.identity, folder);
}
