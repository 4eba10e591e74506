#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "storage/FileEntry.h"
#include "storage/FileHandle.h"
#include "storage/SystemFile.h"

// The listing of a folder tree, and verified access to what it lists.
//
// The root is opened without following a link, and every folder below it is
// listed through its own open handle, reached from its parent's, never through
// a link and never into another mount; each entry is recorded with its
// identity. Every later access opens the folders again from the root, each
// checked against the identity listed, so an entry swapped for a link or for
// another object after the listing is never reached through the swap: the
// access fails instead. Depth is not limited by any path length on POSIX; on
// Windows it is what a long ("\\?\") path can name.
//
// Owned by one wiper and used on its thread; it keeps open only the chain of
// folders from the root to the folder used last.
class FolderTree {
 public:
  static constexpr std::size_t kNoFolder = static_cast<std::size_t>(-1);

  struct Node {
    std::size_t folder = kNoFolder;  // index in folders() of the folder holding it
    std::wstring path;               // full path: for the log, and Windows opens by it
    std::size_t nameAt = 0;          // where the entry's own name starts in path
    FindData record;                 // what the listing saw: identity, size, links
    std::uint32_t names = 1;         // names of this file found in the tree
  };

  // Opens the root folder `root` (absolute, without trailing separator) as
  // folders()[0]. False when it is missing, not a folder, or a link.
  bool OpenRoot(const std::wstring& root);
  // Whether the root is the root of a mounted file system (after OpenRoot).
  bool RootIsMountRoot();

  // Lists the tree below the root, breadth first: folders() in the order they
  // were found, a parent always before its children; files() with their total
  // size; otherNames() the links and the further names of a file already
  // listed. An entry on another mount is left out; `logAs` names the member
  // whose log lines say what was added and skipped. False when a folder
  // cannot be opened or listed.
  bool Collect(const char* logAs);

  const std::vector<Node>& folders() const { return m_folders; }
  const std::vector<Node>& files() const { return m_files; }
  const std::vector<Node>& otherNames() const { return m_otherNames; }
  std::uint64_t totalSize() const { return m_total; }

  // `node` named for the system calls, its folder opened from the root and
  // verified. False when a folder on the way is no longer the one listed.
  bool At(const Node& node, system_file::EntryAt* at);

  // Removes `node` if it still is what was listed (system_file::RemoveEntry).
  system_file::Removal Remove(const Node& node, bool folder);

  // Closes every folder held open.
  void Close() { m_chain.clear(); }

 private:
  system_file::Native OpenChain(std::size_t folder);
  void Add(const FileEntry& entry, std::size_t folder, const char* logAs);

  std::vector<Node> m_folders;
  std::vector<Node> m_files;
  std::vector<Node> m_otherNames;
  std::uint64_t m_total = 0;
  std::vector<std::pair<std::size_t, FileHandle>> m_chain;
  // Files that may have further names: identity -> index in m_files.
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> m_linked;
};
