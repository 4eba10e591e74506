#include "host/cli/ProgramFiles.h"

#include <windows.h>

#include <string>

#include "support/win32/UniqueHandle.h"

namespace program_files {
namespace {

bool Failed(const std::string& path, std::string* error) {
  *error = path + ": system error " + std::to_string(GetLastError());
  return false;
}

std::string Environment(const char* name) {
  char value[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(value, length) : "";
}

}  // namespace

bool ReadRegular(const std::string& path, std::size_t maxBytes, std::string* bytes,
                 std::string* error) {
  UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL,
                                /*hTemplateFile=*/nullptr));
  if (!file.IsOpen()) return Failed(path, error);
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
