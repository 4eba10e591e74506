#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <new>

#include "storage/FileHandle.h"
#include "storage/SystemFile.h"
#include "storage/win32/Win32Path.h"

static_assert(FILE_ATTRIBUTE_DIRECTORY == kFileAttributeDirectory, "attribute values");
static_assert(FILE_ATTRIBUTE_REPARSE_POINT == kFileAttributeReparsePoint, "attribute values");

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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

HANDLE OpenPath(const std::wstring& path, DWORD access, DWORD share, DWORD creation, DWORD flags) {
  return CreateFileW(ToSystemPath(path).c_str(), access, share, /*lpSecurityAttributes=*/nullptr,
                     creation, flags, /*hTemplateFile=*/nullptr);
}

// Only name surrogates (symbolic links, junctions, mount points) are links.
// Any other reparse point (a deduplicated, cloud or system-compressed file)
// holds data and loses the reparse bit: it is opened and overwritten.
DWORD LinkAttributes(DWORD attributes, DWORD tag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !IsReparseTagNameSurrogate(tag)) {
    return attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT);
  }
  return attributes;
}

// The reparse tag of an open object; a link tag when the system cannot tell.
DWORD ReparseTagOf(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO info = {};
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof(info))) {
    return IO_REPARSE_TAG_SYMLINK;
  }
  return info.ReparseTag;
}

bool IsLink(HANDLE handle, DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         IsReparseTagNameSurrogate(ReparseTagOf(handle));
}

// The NT form of a path ("\??\C:\..."), which a rename by handle takes.
std::wstring NtPath(const std::wstring& path) {
  const std::wstring system = ToSystemPath(path);
  return system.compare(0, 4, L"\\\\?\\") == 0 ? L"\\??\\" + system.substr(4) : system;
}

DWORD RenameByHandle(HANDLE handle, const std::wstring& target) {
  const std::wstring nt = NtPath(target);
  const DWORD bytes = static_cast<DWORD>(nt.size() * sizeof(wchar_t));
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + bytes, 0);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = bytes;
  std::memcpy(info->FileName, nt.data(), bytes);
  if (SetFileInformationByHandle(handle, FileRenameInfo, info, static_cast<DWORD>(buffer.size()))) {
    return ERROR_SUCCESS;
  }
  return GetLastError();
}

}  // namespace

namespace system_file {

bool OpenAt(const EntryAt& at, int mode, Native* file) {
  const AccessAndCreation how = ForMode(mode);
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE handle = OpenPath(at.path, how.access, share, how.creation, FILE_FLAG_OPEN_REPARSE_POINT);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      IsLink(handle, info.dwFileAttributes)) {
    CloseHandle(handle);
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return false;
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // Data behind a reparse point: opened the ordinary way, as the same file.
    CloseHandle(handle);
    handle = OpenPath(at.path, how.access, share, OPEN_EXISTING, /*dwFlagsAndAttributes=*/0);
    BY_HANDLE_FILE_INFORMATION again;
    if (handle == INVALID_HANDLE_VALUE) return false;
    if (!GetFileInformationByHandle(handle, &again) || again.nFileIndexLow != info.nFileIndexLow ||
        again.nFileIndexHigh != info.nFileIndexHigh) {
      CloseHandle(handle);
      SetLastError(ERROR_CANT_ACCESS_FILE);
      return false;
    }
  }
  *file = reinterpret_cast<Native>(handle);
  return true;
}

bool OpenFolder(const EntryAt& at, Native* folder, FindData* record) {
  HANDLE handle =
      OpenPath(at.path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
  if (handle == INVALID_HANDLE_VALUE) return false;
  // The folder's own directory record is asked too, so that a junction is
  // refused even where the open itself does not report it.
  FindData listed;
  if (!Status(reinterpret_cast<Native>(handle), record) ||
      (record->attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (record->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      (LookUp(at.path, &listed) && (listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
    CloseHandle(handle);
    SetLastError(ERROR_DIRECTORY);
    return false;
  }
  *folder = reinterpret_cast<Native>(handle);
  return true;
}

bool Status(Native file, FindData* record) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(AsHandle(file), &info)) return false;
  *record = FindData();
  record->attributes = info.dwFileAttributes;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    record->attributes = LinkAttributes(info.dwFileAttributes, ReparseTagOf(AsHandle(file)));
  }
  record->sizeHigh = info.nFileSizeHigh;
  record->sizeLow = info.nFileSizeLow;
  record->identity.volume = info.dwVolumeSerialNumber;
  record->identity.index =
      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  record->links = info.nNumberOfLinks;
  record->mount = info.dwVolumeSerialNumber;
  return true;
}

void Close(Native file) { CloseHandle(AsHandle(file)); }

bool Flush(Native file, bool /*deviceCache*/) { return FlushFileBuffers(AsHandle(file)) != FALSE; }

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
  HANDLE search = FindFirstFileW(ToSystemPath(path).c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  *record = FindData();
  record->attributes = LinkAttributes(data.dwFileAttributes, data.dwReserved0);
  record->sizeHigh = data.nFileSizeHigh;
  record->sizeLow = data.nFileSizeLow;
  record->name = data.cFileName;
  return true;
}

bool IdentityOf(const std::wstring& path, FileIdentity* identity) {
  HANDLE handle =
      OpenPath(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FindData record;
  const bool known = Status(reinterpret_cast<Native>(handle), &record);
  CloseHandle(handle);
  *identity = record.identity;
  return known;
}

bool ListOpenFolder(Native folder, const std::wstring& folderPath,
                    std::vector<FileEntry>* entries) {
  FindData own;
  if (!Status(folder, &own)) return false;
  try {
    std::vector<unsigned char> buffer(64 * 1024);
    FILE_INFO_BY_HANDLE_CLASS what = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(AsHandle(folder), what, buffer.data(),
                                        static_cast<DWORD>(buffer.size()))) {
      what = FileIdBothDirectoryInfo;
      for (std::size_t at = 0;;) {
        const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
        FindData record;
        record.name.assign(info->FileName, info->FileNameLength / sizeof(wchar_t));
        // For a reparse point the extended-attribute size holds its tag.
        record.attributes = LinkAttributes(info->FileAttributes, info->EaSize);
        record.sizeHigh = static_cast<std::uint32_t>(info->EndOfFile.QuadPart >> 32);
        record.sizeLow = static_cast<std::uint32_t>(info->EndOfFile.QuadPart & 0xFFFFFFFF);
        record.identity.volume = own.identity.volume;
        record.identity.index = static_cast<std::uint64_t>(info->FileId.QuadPart);
        record.mount = own.mount;
        if (record.name != L"." && record.name != L"..") entries->emplace_back(folderPath, record);
        if (info->NextEntryOffset == 0) break;
        at += info->NextEntryOffset;
      }
    }
    return GetLastError() == ERROR_NO_MORE_FILES;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool IsMountRoot(Native /*folder*/, const std::wstring& path) {
  wchar_t volume[MAX_PATH + 1] = {};
  if (!GetVolumePathNameW(FullPathName(path).c_str(), volume, MAX_PATH)) return true;
  std::wstring root = FullPathName(path);
  if (root.empty() || root.back() != L'\\') root.push_back(L'\\');
  return CompareStringOrdinal(root.c_str(), -1, volume, -1, /*bIgnoreCase=*/TRUE) == CSTR_EQUAL;
}

Removal RemoveEntry(const EntryAt& at, const FileIdentity& expected, bool /*folder*/) {
  HANDLE handle =
      OpenPath(at.path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, OPEN_EXISTING,
               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
  if (handle == INVALID_HANDLE_VALUE) return Removal::kRefused;
  FileHandle owned;
  owned.Adopt(reinterpret_cast<Native>(handle));
  FindData record;
  if (!Status(reinterpret_cast<Native>(handle), &record) || record.identity != expected) {
    return Removal::kNotTheEntry;
  }
  const std::size_t separator = at.path.find_last_of(L'\\');
  const std::wstring folder = at.path.substr(0, separator + 1);
  const std::size_t length = at.path.size() - folder.size();
  DWORD error = ERROR_FILE_EXISTS;
  for (const wchar_t fill : std::wstring(L"zyxwvutsrq_0123456789")) {
    const std::wstring filler(length, fill);
    if (folder + filler == at.path) continue;
    error = RenameByHandle(handle, folder + filler);
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  if (error != ERROR_SUCCESS) return Removal::kRefused;
  FILE_DISPOSITION_INFO disposition;
  disposition.DeleteFile = TRUE;
  if (!SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition))) {
    RenameByHandle(handle, at.path);
    return Removal::kRefused;
  }
  return Removal::kRemoved;
}

}  // namespace system_file
