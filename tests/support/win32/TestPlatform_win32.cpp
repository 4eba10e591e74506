#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winioctl.h>

#include <vector>

#include "support/TestFiles.h"
#include "support/TestPlatform.h"
#include "support/TextHelpers.h"

namespace fs = std::filesystem;

namespace {

std::string ErrorText(const char* what) {
  return what + std::string(" failed, error ") + std::to_string(GetLastError());
}

// A folder whose mount-point reparse data names `target`: the tag, the data
// length, the offsets and lengths of the two names, then the substitute name
// ("\??\C:\target") and the print name, each NUL-terminated.
bool MakeJunction(const fs::path& link, const fs::path& target, std::string* why) {
  if (!CreateDirectoryW(link.wstring().c_str(), /*lpSecurityAttributes=*/nullptr)) {
    *why = ErrorText("CreateDirectoryW");
    return false;
  }
  HANDLE folder = CreateFileW(link.wstring().c_str(), GENERIC_WRITE, /*dwShareMode=*/0,
                              /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                              /*hTemplateFile=*/nullptr);
  if (folder == INVALID_HANDLE_VALUE) {
    *why = ErrorText("CreateFileW");
    return false;
  }
  const std::wstring print = fs::absolute(target).wstring();
  const std::wstring names = L"\\??\\" + print + L'\0' + print + L'\0';
  const WORD printBytes = static_cast<WORD>(print.size() * 2), substituteBytes = printBytes + 8;
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  std::vector<WORD> data = {
      LOWORD(tag), HIWORD(tag),     static_cast<WORD>(8 + names.size() * 2), 0,
      0,           substituteBytes, static_cast<WORD>(substituteBytes + 2),  printBytes};
  data.insert(data.end(), names.begin(), names.end());
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, data.data(),
                                  static_cast<DWORD>(data.size() * sizeof(WORD)),
                                  /*lpOutBuffer=*/nullptr, 0, &returned, /*lpOverlapped=*/nullptr);
  if (!ok) *why = ErrorText("FSCTL_SET_REPARSE_POINT");
  CloseHandle(folder);
  if (!ok) RemoveDirectoryW(link.wstring().c_str());
  return ok != FALSE;
}

}  // namespace

const char* LogLineEnd() { return "\r\n"; }

int CurrentProcessId() { return static_cast<int>(GetCurrentProcessId()); }

std::string ModulePath(const fs::path& path) { return WideToAnsi(path.wstring()); }

std::vector<std::string> SystemFolderTargets() { return {"C:\\", "C:\\windows"}; }

// Wine reports success for symbolic links without making one, so a link is
// looked for before it counts as made.
bool Listed(const fs::path& link, std::string* why) {
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(link.parent_path().wstring().append(L"\\*").c_str(), &data);
  bool found = false;
  while (search != INVALID_HANDLE_VALUE && !found) {
    found = link.filename().wstring() == data.cFileName;
    if (!FindNextFileW(search, &data)) break;
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  if (!found) *why += "; CreateSymbolicLinkW reported success but no link exists";
  return found;
}

// A junction where the system supports them, else a directory symbolic link.
bool MakeFolderLink(const fs::path& link, const fs::path& target, std::string* why) {
  if (MakeJunction(link, target, why)) return true;
  if (CreateSymbolicLinkW(link.wstring().c_str(), fs::absolute(target).wstring().c_str(),
                          SYMBOLIC_LINK_FLAG_DIRECTORY)) {
    return Listed(link, why);
  }
  *why += "; " + ErrorText("CreateSymbolicLinkW");
  return false;
}

bool MakeFileLink(const fs::path& link, const fs::path& target, std::string* why) {
  if (!CreateSymbolicLinkW(link.wstring().c_str(), target.wstring().c_str(), /*dwFlags=*/0)) {
    *why = ErrorText("CreateSymbolicLinkW");
    return false;
  }
  return Listed(link, why);
}

// The process environment block, where the host's libraries read it.
void SetEnvironment(const char* name, const char* value) { SetEnvironmentVariableA(name, value); }

bool OpensDevicesByPath() { return false; }

long ProcessResourceCount() {
  DWORD handles = 0;
  if (!GetProcessHandleCount(GetCurrentProcess(), &handles)) return -1;
  return static_cast<long>(handles);
}
