#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "support/AppendFile.h"
#include "support/TextHelpers.h"

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

AppendFile::~AppendFile() { Close(); }

bool AppendFile::Open(const std::string& path, bool truncate) {
  Close();
  // The reparse point itself is opened, never what it names; a device or a
  // pipe is refused by type below before anything is written. Emptied, the
  // file is written from its start (the file pointer) instead of its end.
  const DWORD access = FILE_APPEND_DATA | SYNCHRONIZE | (truncate ? FILE_WRITE_DATA : 0);
  const HANDLE file =
      CreateFileW(AnsiToWide(path).c_str(), /*dwDesiredAccess=*/access,
                  /*dwShareMode=*/FILE_SHARE_READ | FILE_SHARE_WRITE,
                  /*lpSecurityAttributes=*/nullptr, /*dwCreationDisposition=*/OPEN_ALWAYS,
                  /*dwFlagsAndAttributes=*/FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                  /*hTemplateFile=*/nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    m_why = path + ": cannot be opened, error " + std::to_string(GetLastError());
    return false;
  }
  BY_HANDLE_FILE_INFORMATION information = {};
  const bool regular =
      GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
      (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
          0;
  if (!regular) {
    CloseHandle(file);
    m_why = path + ": not a regular file";
    return false;
  }
  m_sizeAtOpen =
      (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  if (truncate) {
    FILE_END_OF_FILE_INFO end = {};
    SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof(end));
    m_sizeAtOpen = 0;
  }
  m_handle = reinterpret_cast<std::intptr_t>(file);
  m_why.clear();
  return true;
}

void AppendFile::Close() {
  if (m_handle != -1) CloseHandle(AsHandle(m_handle));
  m_handle = -1;
}

bool AppendFile::IsOpen() const { return m_handle != -1; }

bool AppendFile::Append(const char* data, std::size_t size) {
  while (m_handle != -1 && size > 0) {
    const DWORD chunk = static_cast<DWORD>(size > (1u << 30) ? (1u << 30) : size);
    DWORD written = 0;
    if (!WriteFile(AsHandle(m_handle), data, chunk, &written, /*lpOverlapped=*/nullptr) ||
        written == 0) {
      return false;
    }
    data += written;
    size -= written;
  }
  return m_handle != -1;
}
