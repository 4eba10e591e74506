#include "wipers/FileWiper.h"

#include <string>

#include "common/Log.h"
#include "storage/FileSystem.h"
#include "support/TextHelpers.h"

int CFileWiper::init(const char* path) {
  if (path == nullptr) return -1;
  const std::wstring widePath = MakeAbsolute(AnsiToWide(path));
  if (widePath.empty() || !m_file.open(widePath, VantrixFile::kModeReadWrite)) {
    VTX_LOG("CFileWiper::init", "open %s file failure\n", path);
    return -1;
  }
  return 0;
}

std::uint64_t CFileWiper::GetTotalSize() {
  const FileEntry* entry = m_file.entry();
  return entry ? entry->Size() : 0;
}

int CFileWiper::WriteData(std::int64_t offset, unsigned char* buffer, int size) {
  if (size < 0) return -1;
  const std::int64_t written = m_file.writeFile(offset, static_cast<std::uint32_t>(size), buffer);
  return written == size ? size : -1;
}

std::uint32_t CFileWiper::FinishData(std::uint32_t code) {
  if (code != 0) return code;
  if (!m_file.flush()) return kCodeFlushFailed;
  FindData now;
  if (!m_file.status(&now) || now.Size() != GetTotalSize()) {
    VTX_LOG("CFileWiper::WippeData", "%s changed size during its wipe",
            WideToAnsi(m_file.entry()->FullPath()).c_str());
    return kCodeTailWriteFailed;
  }
  m_complete = true;
  return 0;
}

int CFileWiper::closeAndDelete() {
  m_file.closeFile();
  const FileEntry* entry = m_file.entry();
  if (!m_complete || entry == nullptr || entry->FullPath().empty()) return 0;
  system_file::EntryAt at;
  at.name = entry->Data().name;
  at.path = entry->FullPath();
  const auto removal = system_file::RemoveEntry(at, entry->Data().identity, false);
  return removal == system_file::Removal::kRemoved ? 1 : 0;
}
