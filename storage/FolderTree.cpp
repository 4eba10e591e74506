#include "storage/FolderTree.h"

#include <algorithm>

#include "common/Log.h"
#include "storage/FileSystem.h"
#include "support/TextHelpers.h"

bool FolderTree::OpenRoot(const std::wstring& root) {
  m_folders.clear();
  m_chain.clear();
  Node node;
  node.path = root;
  const std::size_t separator = root.find_last_of(kPathSeparator);
  node.nameAt = separator == std::wstring::npos ? 0 : separator + 1;
  system_file::EntryAt at;
  at.name = root.substr(node.nameAt);
  at.path = root;
  system_file::Native native = 0;
  if (root.empty() || !system_file::OpenFolder(at, &native, &node.record)) return false;
  FileHandle handle;
  handle.Adopt(native);
  m_folders.push_back(node);
  m_chain.emplace_back(0, std::move(handle));
  return true;
}

bool FolderTree::RootIsMountRoot() {
  const system_file::Native root = OpenChain(0);
  return root == system_file::kNoFolder || system_file::IsMountRoot(root, m_folders[0].path);
}

bool FolderTree::Collect(const char* logAs) {
  for (std::size_t index = 0; index < m_folders.size(); ++index) {
    const std::wstring path = m_folders[index].path;
    const system_file::Native folder = OpenChain(index);
    std::vector<FileEntry> entries;
    const std::wstring folderPath = path.back() == kPathSeparator ? path : path + kPathSeparator;
    if (folder == system_file::kNoFolder ||
        !system_file::ListOpenFolder(folder, folderPath, &entries)) {
      VTX_LOG(logAs, "cannot list %s", WideToAnsi(path).c_str());
      return false;
    }
    for (const FileEntry& entry : entries) Add(entry, index, logAs);
  }
  m_linked.clear();
  return true;
}

void FolderTree::Add(const FileEntry& entry, std::size_t folder, const char* logAs) {
  Node node;
  node.folder = folder;
  node.path = entry.FullPath();
  node.nameAt = entry.Folder().size();
  node.record = entry.Data();
  const std::string narrow = WideToAnsi(node.path);
  if (node.record.mount != m_folders[0].record.mount) {
    VTX_LOG(logAs, "skip mount point: %s", narrow.c_str());
  } else if (entry.IsReparsePoint()) {
    VTX_LOG(logAs, "skip link: %s", narrow.c_str());
    m_otherNames.push_back(std::move(node));
  } else if (entry.IsDirectory()) {
    m_folders.push_back(std::move(node));
  } else {
    // Listings that cannot tell the link count (0) are checked like linked files.
    if (node.record.links != 1) {
      const auto key = std::make_pair(node.record.identity.volume, node.record.identity.index);
      const auto seen = m_linked.emplace(key, m_files.size());
      if (!seen.second) {
        ++m_files[seen.first->second].names;
        m_otherNames.push_back(std::move(node));
        return;
      }
    }
    m_total += entry.Size();
    m_files.push_back(std::move(node));
    VTX_LOG(logAs, "add: %s", narrow.c_str());
  }
}

system_file::Native FolderTree::OpenChain(std::size_t folder) {
  if (!m_chain.empty() && m_chain.back().first == folder) return m_chain.back().second.Native();
  std::vector<std::size_t> line;
  for (std::size_t index = folder; index != kNoFolder; index = m_folders[index].folder) {
    line.push_back(index);
  }
  std::reverse(line.begin(), line.end());
  std::size_t keep = 0;
  while (keep < m_chain.size() && keep < line.size() && m_chain[keep].first == line[keep]) ++keep;
  m_chain.erase(m_chain.begin() + static_cast<std::ptrdiff_t>(keep), m_chain.end());
  for (std::size_t step = keep; step < line.size(); ++step) {
    const Node& node = m_folders[line[step]];
    system_file::EntryAt at;
    at.folder = m_chain.empty() ? system_file::kNoFolder : m_chain.back().second.Native();
    at.name = node.path.substr(node.nameAt);
    at.path = node.path;
    system_file::Native native = 0;
    FindData record;
    if (!system_file::OpenFolder(at, &native, &record)) return system_file::kNoFolder;
    FileHandle handle;
    handle.Adopt(native);
    if (record.identity != node.record.identity) return system_file::kNoFolder;
    m_chain.emplace_back(line[step], std::move(handle));
  }
  return m_chain.back().second.Native();
}

bool FolderTree::At(const Node& node, system_file::EntryAt* at) {
  at->folder = system_file::kNoFolder;
  if (node.folder != kNoFolder) {
    at->folder = OpenChain(node.folder);
    if (at->folder == system_file::kNoFolder) return false;
  }
  at->name = node.path.substr(node.nameAt);
  at->path = node.path;
  return true;
}

system_file::Removal FolderTree::Remove(const Node& node, bool folder) {
  system_file::EntryAt at;
  if (!At(node, &at)) return system_file::Removal::kNotTheEntry;
  return system_file::RemoveEntry(at, node.record.identity, folder);
}
