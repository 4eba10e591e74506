#include "host/cli/ProgramFiles.h"

#include <windows.h>

#include <string>

namespace program_files {
namespace {

// Closes the handle it holds.
class Handle {
 public:
  explicit Handle(HANDLE handle) : m_handle(handle) {}
  ~Handle() {
    if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return m_handle; }
  bool Close() {
    const HANDLE handle = m_handle;
    m_handle = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) != 0;
  }

 private:
  HANDLE m_handle;
};

bool Failed(const std::string& path, std::string* error) {
  *error = path + ": system error " + std::to_string(GetLastError());
  return false;
}

std::string FolderOf(const std::string& path) {
  const std::string::size_type slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

std::string Environment(const char* name) {
  char value[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(value, length) : "";
}

}  // namespace

bool ReadRegular(const std::string& path, std::size_t maxBytes, std::string* bytes,
                 std::string* error) {
  Handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                          /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          /*hTemplateFile=*/nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return Failed(path, error);
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileType(file.get()) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(file.get(), &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *error = path + ": not a regular file";
    return false;
  }
  const std::uint64_t size =
      (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  if (size > maxBytes) {
    *error = path + ": larger than " + std::to_string(maxBytes) + " bytes";
    return false;
  }
  bytes->assign(static_cast<std::size_t>(size), '\0');
  DWORD got = 0;
  if (size > 0 && (!ReadFile(file.get(), &(*bytes)[0], static_cast<DWORD>(size), &got,
                             /*lpOverlapped=*/nullptr) ||
                   got != size)) {
    return Failed(path, error);
  }
  return true;
}

bool Replace(const std::string& path, const std::string& bytes, std::string* error) {
  // Only a file or a link is replaced: never a folder or a device.
  if (IsFolder(path) || path.rfind("\\\\.\\", 0) == 0) {
    *error = path + ": not a regular file";
    return false;
  }
  const std::string temporary = FolderOf(path) + "\\.vantrix-wipe-" +
                                std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(GetTickCount64()) + ".tmp";
  Handle file(CreateFileA(temporary.c_str(), GENERIC_WRITE, /*dwShareMode=*/0,
                          /*lpSecurityAttributes=*/nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                          /*hTemplateFile=*/nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return Failed(temporary, error);
  DWORD written = 0;
  const bool complete = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                  &written, /*lpOverlapped=*/nullptr) &&
                        written == bytes.size() && FlushFileBuffers(file.get()) && file.Close();
  if (!complete || !MoveFileExA(temporary.c_str(), path.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Failed(complete ? path : temporary, error);
    DeleteFileA(temporary.c_str());
    return false;
  }
  return true;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::string> ConfigurationPaths() {
  std::vector<std::string> paths;
  for (const char* folder : {"ProgramData", "APPDATA"}) {
    const std::string value = Environment(folder);
    if (!value.empty()) paths.push_back(value + "\\vantrix-wipe.conf");
  }
  return paths;
}

}  // namespace program_files
