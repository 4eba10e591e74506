#include "wipers/FolderWiper.h"

#include <algorithm>
#include <new>

#include "common/Log.h"
#include "storage/FileSystem.h"
#include "support/TextHelpers.h"

namespace {

constexpr char kInit[] = "CFolderWiper::init";
constexpr char kWrite[] = "CFolderWiper::WriteData";

// Whether the last component of `folder` is "." or "..": such a spelling
// names a folder by where it is seen from, and hides what it is.
bool NamedByDots(const std::wstring& folder) {
  std::wstring trimmed = folder;
  while (!trimmed.empty() && (trimmed.back() == L'/' || trimmed.back() == kPathSeparator)) {
    trimmed.pop_back();
  }
  const std::size_t cut = trimmed.find_last_of(std::wstring(L"/") + kPathSeparator);
  const std::wstring last = cut == std::wstring::npos ? trimmed : trimmed.substr(cut + 1);
  return last == L"." || last == L"..";
}

// Whether `root` is a folder of the running system or one above it.
bool HoldsRunningSystem(const FileIdentity& root) {
  for (std::wstring folder : SystemFolders()) {
    for (;;) {
      FileIdentity identity;
      if (system_file::IdentityOf(folder, &identity) && identity == root) return true;
      const std::size_t cut = folder.find_last_of(kPathSeparator);
      if (cut == std::wstring::npos) break;
      const bool atRoot = cut == 0 || folder[cut - 1] == L':';
      const std::wstring up = folder.substr(0, atRoot ? cut + 1 : cut);
      if (up == folder) break;
      folder = up;
    }
  }
  return false;
}

std::string Narrow(const FolderTree::Node& node) { return WideToAnsi(node.path); }

}  // namespace

int CFolderWiper::init(const char* folder) {
  const std::wstring wide = folder ? AnsiToWide(folder) : std::wstring();
  const std::wstring root = wide.empty() ? wide : TrimSeparators(MakeAbsolute(wide));
  const char* refusal = nullptr;
  if (root.empty() || NamedByDots(wide)) {
    refusal = "not a folder name";
  } else if (!m_tree.OpenRoot(root)) {
    refusal = "missing, not a folder, or a link";
  } else if (m_tree.RootIsMountRoot()) {
    refusal = "the root of a mounted file system";
  } else if (HoldsRunningSystem(m_tree.folders()[0].record.identity)) {
    refusal = "holds the running system";
  } else if (!m_tree.Collect(kInit)) {
    refusal = "a folder below it cannot be listed";
  }
  m_tree.Close();
  if (refusal == nullptr) return 1;
  VTX_LOG(kInit, "refused %s: %s", folder ? folder : "(null)", refusal);
  return -1;
}

std::uint64_t CFolderWiper::GetTotalSize() { return m_tree.totalSize(); }

std::vector<std::wstring> CFolderWiper::folders() const {
  std::vector<std::wstring> paths;
  for (const FolderTree::Node& node : m_tree.folders()) paths.push_back(node.path);
  return paths;
}

std::vector<std::wstring> CFolderWiper::files() const {
  std::vector<std::wstring> paths;
  for (const FolderTree::Node& node : m_tree.files()) paths.push_back(node.path);
  return paths;
}

int CFolderWiper::WriteData(std::int64_t offset, unsigned char* buffer, int size) {
  if (offset >= static_cast<std::int64_t>(m_tree.totalSize()) || buffer == nullptr || size <= 0) {
    return 0;
  }
  int written = 0;
  for (;;) {
    const std::int64_t local = offset - m_base;
    if (!m_currentFile) {
      if (m_fileIndex >= m_tree.files().size()) return written;
      if (!OpenCurrentFile()) return -1;
    }
    const auto fileSize = static_cast<std::int64_t>(m_tree.files()[m_fileIndex].record.Size());
    if (fileSize > local) {
      const std::int64_t count = std::min<std::int64_t>(fileSize - local, size - written);
      if (!m_passOver && m_currentFile->writeFile(local, static_cast<std::uint32_t>(count),
                                                  buffer + written) != count) {
        return -1;
      }
      written += static_cast<int>(count);
      offset += count;
    } else if (!PassCurrentFile()) {
      return -1;
    }
    if (written >= size) return written;
  }
}

bool CFolderWiper::OpenCurrentFile() {
  const FolderTree::Node& node = m_tree.files()[m_fileIndex];
  std::unique_ptr<VantrixFile> file(new (std::nothrow) VantrixFile);
  system_file::EntryAt at;
  if (!file || !m_tree.At(node, &at) || !file->openAt(at, VantrixFile::kModeReadWrite)) {
    VTX_LOG(kWrite, "cannot open %s, wipe stopped", Narrow(node).c_str());
    return false;
  }
  m_currentFile = std::move(file);
  if (!IsListedFile(m_currentFile->entry()->Data(), "at open")) return false;
  m_passOver = m_currentFile->entry()->Data().links > node.names;
  if (m_passOver) {
    VTX_LOG(kWrite, "%s has names outside the folder: not overwritten, its names here removed",
            Narrow(node).c_str());
  }
  return true;
}

// The open file must be the one listed, of its listed size; `now` is what
// the system says of it.
bool CFolderWiper::IsListedFile(const FindData& now, const char* when) const {
  const FolderTree::Node& node = m_tree.files()[m_fileIndex];
  if (now.identity == node.record.identity && now.Size() == node.record.Size()) return true;
  VTX_LOG(kWrite, "%s is not the file listed %s, wipe stopped", Narrow(node).c_str(), when);
  return false;
}

bool CFolderWiper::PassCurrentFile() {
  const FolderTree::Node& node = m_tree.files()[m_fileIndex];
  if (!m_passOver) {
    // Written to the device and waited for; the device's cache is flushed
    // once, at the end of the run.
    if (!m_currentFile->flush(/*deviceCache=*/false)) {
      m_flushFailed = true;
      return false;
    }
    FindData now;
    if (!m_currentFile->status(&now) || !IsListedFile(now, "after its wipe")) return false;
  }
  m_currentFile->closeFile();
  if (m_tree.Remove(node, false) == system_file::Removal::kNotTheEntry) {
    VTX_LOG(kWrite, "%s was replaced during its wipe, wipe stopped", Narrow(node).c_str());
    return false;
  }
  m_base += static_cast<std::int64_t>(m_currentFile->entry()->Size());
  ++m_fileIndex;
  m_currentFile.reset();
  return true;
}

std::uint32_t CFolderWiper::FinishData(std::uint32_t code) {
  if (m_flushFailed) return kCodeFlushFailed;
  if (code != 0) return code;
  // The file the run ended in; flushing it also empties the device's cache of
  // every file written before.
  if (m_currentFile && !m_currentFile->flush()) {
    m_flushFailed = true;
    return kCodeFlushFailed;
  }
  FindData now;
  if (m_currentFile && !m_passOver &&
      (!m_currentFile->status(&now) || !IsListedFile(now, "after its wipe"))) {
    return kCodeTailWriteFailed;
  }
  m_runComplete = true;
  return 0;
}

void CFolderWiper::removeAll() {
  for (std::size_t index = m_fileIndex; index < m_tree.files().size(); ++index) {
    const FolderTree::Node& node = m_tree.files()[index];
    if (index == m_fileIndex && m_currentFile) {
      m_currentFile->closeFile();
      m_currentFile.reset();
      if (m_runComplete) m_tree.Remove(node, false);
    } else {
      RemoveUnwritten(node);
    }
  }
  m_fileIndex = m_tree.files().size();
  for (const FolderTree::Node& node : m_tree.otherNames()) {
    m_tree.Remove(node, false);
  }
  for (auto folder = m_tree.folders().rbegin(); folder != m_tree.folders().rend(); ++folder) {
    m_tree.Remove(*folder, true);
  }
  m_tree.Close();
}

// A file the cursor never reached is deleted only while it holds no data.
void CFolderWiper::RemoveUnwritten(const FolderTree::Node& node) {
  VantrixFile file;
  system_file::EntryAt at;
  FindData now;
  const bool empty = node.record.Size() == 0 && m_tree.At(node, &at) &&
                     file.openAt(at, VantrixFile::kModeRead) && file.status(&now) &&
                     now.Size() == 0 && now.identity == node.record.identity;
  file.closeFile();
  if (empty && m_tree.Remove(node, false) == system_file::Removal::kRemoved) return;
  VTX_LOG("CFolderWiper::removeAll", "kept: %s", Narrow(node).c_str());
}
