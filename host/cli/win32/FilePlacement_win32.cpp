#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "host/cli/FilePlacement.h"

namespace {

// Paths stay narrow, in the system's code page, as the program takes them.
std::string FolderOf(const std::string& path) {
  const std::string::size_type slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash + 1);
}

std::string Reason(const std::string& what) {
  return what + ", error " + std::to_string(GetLastError());
}

// A new, empty file beside `path`; false with the reason when the folder
// takes none. `name` receives its path.
bool CreateTemporary(const std::string& path, std::string* name, std::string* error) {
  char text[MAX_PATH + 16] = {};
  if (GetTempFileNameA(FolderOf(path).c_str(), /*lpPrefixString=*/"vtx", /*uUnique=*/0, text) ==
      0) {
    *error = Reason("cannot create a file in " + FolderOf(path));
    return false;
  }
  *name = text;
  return true;
}

}  // namespace

bool CheckFilePlaceable(const std::string& path, std::string* error) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
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
  std::string scratch;
  if (!CreateTemporary(path, &scratch, error)) return false;
  DeleteFileA(scratch.c_str());
  return true;
}

bool PlaceFile(const std::string& path, const std::string& bytes, std::string* error) {
  std::string temporary;
  if (!CreateTemporary(path, &temporary, error)) return false;
  const HANDLE file = CreateFileA(temporary.c_str(), /*dwDesiredAccess=*/GENERIC_WRITE,
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
  if (!written) *error = Reason("cannot write " + temporary);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (written && !MoveFileExA(temporary.c_str(), path.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *error = Reason("cannot rename " + temporary + " to " + path);
    written = false;
  }
  if (!written) DeleteFileA(temporary.c_str());
  return written;
}
