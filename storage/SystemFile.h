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

// Opens `path` by the writer's mode table (16 read, existing; 17 write, open
// always; 18 read-write, existing; 19 read-write, create new; any other
// read-write, open always), shared for reading and writing, unbuffered flags
// off. Fails for folders and, on POSIX, for links and special files.
bool Open(const std::wstring& path, int mode, Native* file);

void Close(Native file);

// Writes the system's buffers of the file to the device.
bool Flush(Native file);

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

// Every entry of `folder` (which ends in a separator) other than "." and "..",
// in the order the system returns them. False when the folder cannot be read.
bool ListFolder(const std::wstring& folder, std::vector<FileEntry>* entries);

}  // namespace system_file
