#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/FileEntry.h"

// The primitives of the file writer and the listing, one implementation per
// backend. They log nothing; the callers own the log lines.
namespace system_file {

// An open file of the system: a Windows HANDLE or a POSIX descriptor.
using Native = std::intptr_t;

// "No open folder": an entry named by its path alone.
constexpr Native kNoFolder = -1;

// One entry, named two ways: by `name` inside the open folder `folder`, which
// is how POSIX reaches it (openat and its kin, so no path is resolved again),
// and by its full `path`, which is how Windows reaches it (the identity of
// what it opened is then checked by the caller). With `folder` kNoFolder,
// POSIX uses `path` too.
struct EntryAt {
  Native folder = kNoFolder;
  std::wstring name;
  std::wstring path;
};

// Opens the file `at` by the writer's mode table (16 read, existing; 17
// write, open always; 18 read-write, existing; 19 read-write, create new; any
// other read-write, open always), shared for reading and writing, unbuffered
// flags off. Never opens through a link: fails for links, folders and special
// files; a Windows reparse point that holds data (not a name surrogate) is
// opened as the file it is.
bool OpenAt(const EntryAt& at, int mode, Native* file);

// Opens the folder `at` for listing, never through a link, and describes it.
bool OpenFolder(const EntryAt& at, Native* folder, FindData* record);

// What the system says now of an open file or folder (name left empty).
bool Status(Native file, FindData* record);

// Every entry of the open `folder` other than "." and "..", described with
// identity and mount, in the order the system returns them; `folderPath` (the
// folder's full path with its trailing separator) makes their full paths.
// False when the folder cannot be read.
bool ListOpenFolder(Native folder, const std::wstring& folderPath, std::vector<FileEntry>* entries);

// Whether the open `folder` (at `path`) is the root of a mounted file system.
bool IsMountRoot(Native folder, const std::wstring& path);

enum class Removal { kRemoved, kNotTheEntry, kRefused };

// Removes the entry `at` (a file, a link, or an empty folder when `folder`),
// provided it still is the object `expected`: first renames it to a name of
// the same length made of one repeated character, so the name does not
// survive in the folder's records, then deletes the renamed entry. POSIX
// checks the entry by its name in the open folder before and after the
// rename; Windows renames and deletes through a handle of its own, opened on
// the entry itself and checked. kNotTheEntry leaves everything as it was;
// kRefused (the system refused, a folder not empty) leaves the entry under
// its name.
Removal RemoveEntry(const EntryAt& at, const FileIdentity& expected, bool folder);

void Close(Native file);

// Writes the system's buffers of the file to the device. With `deviceCache`
// the device's own write cache is flushed too, so the data is stable; without
// it the data is written and waited for (write errors are reported) but may
// still sit in that cache, which the next flush of any file on the device, or
// the file system's next journal commit, empties first.
bool Flush(Native file, bool deviceCache);

enum class WriteStatus { kWritten, kSeekFailed, kSeekMismatch, kWriteFailed };

struct WriteOutcome {
  WriteStatus status = WriteStatus::kWriteFailed;
  std::uint32_t written = 0;  // bytes written (kWritten)
  std::int64_t position = 0;  // the position the system reported (kSeekMismatch)
  int error = 0;              // the system's error code (failures)
};

// One positioned write of `size` bytes at byte `offset`; no retry.
WriteOutcome WriteAt(Native file, std::int64_t offset, const void* buffer, std::uint32_t size);

// The current end of the file.
bool EndPosition(Native file, std::int64_t* position, int* error);

// The directory record of `path` itself (a final link is not followed).
// False when the system does not find the path.
bool LookUp(const std::wstring& path, FindData* record);

// The identity of what `path` names, following links. False if not found.
bool IdentityOf(const std::wstring& path, FileIdentity* identity);

}  // namespace system_file
