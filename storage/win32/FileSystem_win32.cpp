#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <direct.h>

#include "storage/FileEntry.h"
#include "storage/FileSystem.h"
#include "storage/win32/Win32Path.h"

const wchar_t kPathSeparator = L'\\';
const char kNarrowPathSeparator = '\\';

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, wcslen(prefix), prefix) == 0;
}

}  // namespace

std::wstring FullPathName(const std::wstring& path) {
  if (path.empty()) return path;
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], /*lpFilePart=*/nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  return full;
}

std::wstring ToSystemPath(const std::wstring& path) {
  if (StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\")) return path;
  const std::wstring full = FullPathName(path);
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return full;
}

std::wstring MakeAbsolute(const std::wstring& path) { return FullPathName(path); }

bool MakeFolder(const std::string& path) { return _mkdir(path.c_str()) == 0; }

bool PathExists(const std::wstring& path) { return FileEntry::FromPath(path).IsValid(); }

std::uint64_t FreeBytesOfVolume(const std::string& root) {
  ULARGE_INTEGER available;
  ULARGE_INTEGER total;
  ULARGE_INTEGER free;
  free.QuadPart = 0;
  GetDiskFreeSpaceExA(root.c_str(), &available, &total, &free);
  return free.QuadPart;
}

bool CheckpointVolume(const std::string& root) {
  if (root.size() < 2 || root[1] != ':') return true;
  const std::wstring volume = std::wstring(L"\\\\.\\") + wchar_t(root[0]) + L':';
  HANDLE handle = CreateFileW(volume.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, /*lpSecurityAttributes=*/nullptr,
                              OPEN_EXISTING, /*dwFlagsAndAttributes=*/0, /*hTemplateFile=*/nullptr);
  if (handle == INVALID_HANDLE_VALUE) return true;  // not the caller's: each file was flushed
  const bool flushed = FlushFileBuffers(handle) != FALSE;
  CloseHandle(handle);
  return flushed;
}

bool IsDiskFull(int error) { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }

std::vector<std::wstring> SystemFolders() {
  wchar_t folder[MAX_PATH + 1] = {};
  const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return {};
  return {FullPathName(folder)};
}

int LastSystemError() { return static_cast<int>(GetLastError()); }
