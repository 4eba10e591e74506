#pragma once

#include <cstdint>
#include <string>

class FileEntry;

// File-system operations the wipers need beside the file writer. One
// implementation per backend. Wide paths are the system's own (UTF-16 on
// Windows); narrow paths are in the system code page (UTF-8 bytes on POSIX).
// On Windows every wide path is handed to the system in its long form
// ("\\?\" prefix), so paths of any length work.

// The separator of the backend: '\' on Windows, '/' on POSIX.
extern const wchar_t kPathSeparator;
extern const char kNarrowPathSeparator;

// `path` resolved against the current directory when it is relative; an
// absolute path comes back unchanged (Windows also normalises it).
std::wstring MakeAbsolute(const std::wstring& path);

// Deletes one file (or, on POSIX, any non-folder entry). False on failure.
bool DeletePath(const std::wstring& path);
bool DeletePath(const std::string& path);

// Removes one empty folder. False on failure, also when it is not empty.
bool RemoveFolder(const std::wstring& path);
bool RemoveFolder(const std::string& path);

// Removes a link entry itself (a junction, a symbolic link or, on POSIX, a
// special file), never what it points to.
bool RemoveLink(const FileEntry& link);

// Creates one folder with default security. False on failure.
bool MakeFolder(const std::string& path);

// Whether the system finds an entry at `path` (a final link is not followed).
bool PathExists(const std::wstring& path);

// Free bytes available to the caller on the volume holding `root`, or 0 when
// the system cannot tell.
std::uint64_t FreeBytesOfVolume(const std::string& root);

// The calling thread's last system error code.
int LastSystemError();
