#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <new>

#include "storage/SystemFile.h"
#include "storage/win32/Win32Path.h"

static_assert(FILE_ATTRIBUTE_DIRECTORY == kFileAttributeDirectory, "attribute values");
static_assert(FILE_ATTRIBUTE_REPARSE_POINT == kFileAttributeReparsePoint, "attribute values");

namespace {

struct AccessAndCreation {
  DWORD access;
  DWORD creation;
};

AccessAndCreation ForMode(int mode) {
  switch (mode) {
    case 16:
      return {GENERIC_READ, OPEN_EXISTING};
    case 17:
      return {GENERIC_WRITE, OPEN_ALWAYS};
    case 18:
      return {GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING};
    case 19:
      return {GENERIC_READ | GENERIC_WRITE, CREATE_NEW};
    default:
      return {GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS};
  }
}

HANDLE AsHandle(system_file::Native file) { return reinterpret_cast<HANDLE>(file); }

FindData RecordOf(const WIN32_FIND_DATAW& data) {
  FindData record;
  record.attributes = data.dwFileAttributes;
  record.sizeHigh = data.nFileSizeHigh;
  record.sizeLow = data.nFileSizeLow;
  record.name = data.cFileName;
  return record;
}

// Owns one search handle of FindFirstFileW.
class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : m_handle(handle) {}
  ~FindHandle() {
    if (IsOpen()) FindClose(m_handle);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return m_handle; }

 private:
  HANDLE m_handle;
};

}  // namespace

namespace system_file {

bool Open(const std::wstring& path, int mode, Native* file) {
  const AccessAndCreation how = ForMode(mode);
  HANDLE handle = CreateFileW(ToSystemPath(path).c_str(), how.access,
                              /*dwShareMode=*/FILE_SHARE_READ | FILE_SHARE_WRITE,
                              /*lpSecurityAttributes=*/nullptr, how.creation,
                              /*dwFlagsAndAttributes=*/0, /*hTemplateFile=*/nullptr);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  *file = reinterpret_cast<Native>(handle);
  return true;
}

void Close(Native file) { CloseHandle(AsHandle(file)); }

bool Flush(Native file) { return FlushFileBuffers(AsHandle(file)) != FALSE; }

WriteOutcome WriteAt(Native file, std::int64_t offset, const void* buffer, std::uint32_t size) {
  WriteOutcome outcome;
  LARGE_INTEGER target;
  target.QuadPart = offset;
  LARGE_INTEGER reached;
  reached.QuadPart = 0;
  if (!SetFilePointerEx(AsHandle(file), target, &reached, FILE_BEGIN)) {
    outcome.status = WriteStatus::kSeekFailed;
    outcome.error = static_cast<int>(GetLastError());
    return outcome;
  }
  if (reached.QuadPart != offset) {
    outcome.status = WriteStatus::kSeekMismatch;
    outcome.position = reached.QuadPart;
    return outcome;
  }
  DWORD written = 0;
  const BOOL ok = WriteFile(AsHandle(file), buffer, size, &written, /*lpOverlapped=*/nullptr);
  outcome.status = ok ? WriteStatus::kWritten : WriteStatus::kWriteFailed;
  outcome.written = written;
  outcome.error = (ok && written > 0) ? 0 : static_cast<int>(GetLastError());
  return outcome;
}

bool EndPosition(Native file, std::int64_t* position, int* error) {
  LARGE_INTEGER distance;
  distance.QuadPart = 0;
  LARGE_INTEGER reached;
  reached.QuadPart = 0;
  if (!SetFilePointerEx(AsHandle(file), distance, &reached, FILE_END)) {
    *error = static_cast<int>(GetLastError());
    return false;
  }
  *position = reached.QuadPart;
  return true;
}

bool LookUp(const std::wstring& path, FindData* record) {
  WIN32_FIND_DATAW data;
  FindHandle search(FindFirstFileW(ToSystemPath(path).c_str(), &data));
  if (!search.IsOpen()) return false;
  *record = RecordOf(data);
  return true;
}

bool ListFolder(const std::wstring& folder, std::vector<FileEntry>* entries) {
  try {
    WIN32_FIND_DATAW data;
    FindHandle search(FindFirstFileW(ToSystemPath(folder + L"*.*").c_str(), &data));
    if (!search.IsOpen()) return false;
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      entries->emplace_back(folder, RecordOf(data));
    } while (FindNextFileW(search.Get(), &data));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace system_file
