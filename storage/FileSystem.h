#pragma once

#include <cstdint>
#include <string>

#include <vector>

// File-system operations the wipers need beside the file writer. One
// implementation per backend. Wide paths are the system's own (UTF-16 on
// Windows); narrow paths are in the system code page (UTF-8 bytes on POSIX).
// On Windows every wide path is handed to the system in its long form
// ("\\?\" prefix), so paths of any length work.

// The separator of the backend: '\' on Windows, '/' on POSIX.
extern const wchar_t kPathSeparator;
extern const char kNarrowPathSeparator;

// `path` without trailing separators; a root ("/", "C:\") is kept whole.
inline std::wstring TrimSeparators(std::wstring path) {
  while (path.size() > 1 && path.back() == kPathSeparator && path[path.size() - 2] != L':') {
    path.pop_back();
  }
  return path;
}

// `path` resolved against the current directory when it is relative; an
// absolute path comes back unchanged (Windows also normalises it).
std::wstring MakeAbsolute(const std::wstring& path);

// Creates one folder with default security. False on failure.
bool MakeFolder(const std::string& path);

// Whether the system finds an entry at `path` (a final link is not followed).
bool PathExists(const std::wstring& path);

// Free bytes on the volume holding `root`, or 0 when the system cannot tell.
// Every free block counts, also those kept back for root (POSIX) or beyond
// the caller's quota (Windows): what the caller may not write the system
// refuses as "no space", which the free-space wiper takes as the volume being
// full.
std::uint64_t FreeBytesOfVolume(const std::string& root);

// Writes what the volume of `root` keeps only in its journal (the blocks of
// folders and extent trees of files written since) to the blocks where it
// lives, so that those blocks hold it before the files are deleted: a block
// freed before its journaled contents reach it keeps whatever it held before.
// POSIX: ext4's journal checkpoint (root only; other file systems are only
// synced); Windows: a flush of the volume where the caller may open it. False
// when the system refused.
bool CheckpointVolume(const std::string& root);

// Whether a system error code means the volume has no space left.
bool IsDiskFull(int error);

// The folders the running system lives in (POSIX: "/usr", "/etc", "/boot",
// "/bin", "/lib", "/var"; Windows: the Windows folder). They, what links in
// them resolve to, and every folder above them are never wiped.
std::vector<std::wstring> SystemFolders();

// The calling thread's last system error code.
int LastSystemError();
