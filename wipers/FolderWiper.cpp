#include "wipers/FolderWiper.h"

#include <algorithm>
#include <new>

#include "common/Log.h"
#include "storage/DirectoryListing.h"
#include "storage/FileSystem.h"
#include "support/TextHelpers.h"

int CFolderWiper::init(const char* folder) {
  if (folder == nullptr) return 1;
  const std::wstring root = MakeAbsolute(AnsiToWide(folder));
  m_folders.push_back(root);
  if (FileEntry::FromPath(root).IsReparsePoint()) {
    VTX_LOG("CFolderWiper::init", "skip link: %s", WideToAnsi(root).c_str());
    return 1;
  }
  std::deque<std::wstring> queue{root};
  while (!queue.empty()) {
    const std::wstring current = std::move(queue.front());
    queue.pop_front();
    CollectFolder(current, &queue);
  }
  return 1;
}

void CFolderWiper::CollectFolder(const std::wstring& folder, std::deque<std::wstring>* queue) {
  DirectoryListing listing;
  for (const FileEntry* entry = listing.first(folder); entry != nullptr; entry = listing.next()) {
    if (entry->IsReparsePoint()) {
      m_links.push_back(*entry);
      VTX_LOG("CFolderWiper::init", "skip link: %s", WideToAnsi(entry->FullPath()).c_str());
    } else if (entry->IsDirectory()) {
      m_folders.push_back(entry->FullPath());
      queue->push_back(entry->FullPath());
    } else {
      m_total += static_cast<std::int64_t>(entry->Size());
      m_files.push_back(entry->FullPath());
      VTX_LOG("CFolderWiper::init", "add: %s", WideToAnsi(entry->FullPath()).c_str());
    }
  }
}

std::uint64_t CFolderWiper::GetTotalSize() { return static_cast<std::uint64_t>(m_total); }

int CFolderWiper::WriteData(std::int64_t offset, unsigned char* buffer, int size) {
  if (offset >= m_total || buffer == nullptr || size <= 0) return 0;
  int written = 0;
  for (;;) {
    const std::int64_t local = offset - m_base;
    if (!m_currentFile) {
      if (m_fileIndex >= m_files.size()) return written;
      if (!OpenCurrentFile()) return -1;
    }
    const std::int64_t fileSize = static_cast<std::int64_t>(m_currentFile->entry()->Size());
    if (fileSize > local) {
      const std::int64_t count = std::min<std::int64_t>(fileSize - local, size - written);
      // A short write leaves bytes of the file unwritten: that is a failure too.
      if (m_currentFile->writeFile(local, static_cast<std::uint32_t>(count), buffer + written) !=
          count) {
        return -1;
      }
      written += static_cast<int>(count);
      offset += count;
    } else {
      PassCurrentFile();
    }
    if (written >= size) return written;
  }
}

bool CFolderWiper::OpenCurrentFile() {
  const std::wstring& path = m_files[m_fileIndex];
  std::unique_ptr<VantrixFile> file(new (std::nothrow) VantrixFile);
  const bool opened =
      file && file->open(path, VantrixFile::kModeReadWrite) && !file->entry()->IsReparsePoint();
  if (!opened) {
    VTX_LOG("CFolderWiper::WriteData", "cannot open %s, wipe stopped", WideToAnsi(path).c_str());
    return false;
  }
  m_currentFile = std::move(file);
  return true;
}

void CFolderWiper::PassCurrentFile() {
  m_currentFile->closeFile();
  DeletePath(m_currentFile->entry()->FullPath());
  m_base += static_cast<std::int64_t>(m_currentFile->entry()->Size());
  ++m_fileIndex;
  m_currentFile.reset();
}

void CFolderWiper::removeAll() {
  if (m_currentFile) {
    m_currentFile->closeFile();
    m_currentFile.reset();
  }
  for (const std::wstring& file : m_files) DeletePath(file);
  for (const FileEntry& link : m_links) RemoveLink(link);
  for (auto folder = m_folders.rbegin(); folder != m_folders.rend(); ++folder) {
    RemoveFolder(*folder);
  }
}
