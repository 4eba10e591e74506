#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "host/cli/FilePlacement.h"
#include "support/TextHelpers.h"

namespace {

std::wstring FolderOf(const std::wstring& path) {
  const std::wstring::size_type slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return L".";
  return path.substr(0, slash + 1);
}

std::string Reason(const std::string& what) {
  return what + ", error " + std::to_string(GetLastError());
}

// A new, empty file beside `path`; false with the reason when the folder
// takes none. `name` receives its path.
bool CreateTemporary(const std::wstring& path, std::wstring* name, std::string* error) {
  wchar_t text[MAX_PATH + 16] = {};
  if (GetTempFileNameW(FolderOf(path).c_str(), /*lpPrefixString=*/L"vtx", /*uUnique=*/0, text) ==
      0) {
    *error = Reason("cannot create a file in " + WideToAnsi(FolderOf(path)));
    return false;
  }
  *name = text;
  return true;
}

}  // namespace

bool CheckFilePlaceable(const std::string& path, std::string* error) {
  const std::wstring wide = AnsiToWide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      *error = path + " is a link";
      return false;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
      *error = path + " is not a regular file";
      return false;
    }
  }
  std::wstring scratch;
  if (!CreateTemporary(wide, &scratch, error)) return false;
  DeleteFileW(scratch.c_str());
  return true;
}

bool PlaceFile(const std::string& path, const std::string& bytes, std::string* error) {
  const std::wstring wide = AnsiToWide(path);
  std::wstring temporary;
  if (!CreateTemporary(wide, &temporary, error)) return false;
  const HANDLE file = CreateFileW(temporary.c_str(), /*dwDesiredAccess=*/GENERIC_WRITE,
                                  /*dwShareMode=*/0, /*lpSecurityAttributes=*/nullptr,
                                  /*dwCreationDisposition=*/TRUNCATE_EXISTING,
                                  /*dwFlagsAndAttributes=*/FILE_ATTRIBUTE_NORMAL,
                                  /*hTemplateFile=*/nullptr);
  bool written = file != INVALID_HANDLE_VALUE;
  for (std::size_t done = 0; written && done < bytes.size();) {
    DWORD chunk = 0;
    written = WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &chunk,
                        /*lpOverlapped=*/nullptr) != FALSE &&
              chunk != 0;
    done += chunk;
  }
  written = written && FlushFileBuffers(file) != FALSE;
  if (!written) *error = Reason("cannot write " + WideToAnsi(temporary));
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (written && !MoveFileExW(temporary.c_str(), wide.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *error = Reason("cannot rename " + WideToAnsi(temporary) + " to " + path);
    written = false;
  }
  if (!written) DeleteFileW(temporary.c_str());
  return written;
}
