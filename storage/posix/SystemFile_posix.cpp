#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#include "storage/FileHandle.h"
#include "storage/SystemFile.h"
#include "support/TextHelpers.h"

namespace {

constexpr unsigned kStatusMask =
    STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_INO | STATX_SIZE | STATX_MNT_ID;

int OpenFlags(int mode) {
  const int always = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  switch (mode) {
    case 16:
      return always | O_RDONLY;
    case 17:
      return always | O_WRONLY | O_CREAT;
    case 18:
      return always | O_RDWR;
    case 19:
      return always | O_RDWR | O_CREAT | O_EXCL;
    default:
      return always | O_RDWR | O_CREAT;
  }
}

// Large files are handed to the device a window at a time while they are
// written, instead of piling up in the page cache until the final flush: the
// device then writes while the wiper fills the next window, the flush waits
// only for the tail, and a wipe of a huge file does not fill memory with
// dirty pages. A hint only: the final flush reports any write error.
constexpr std::int64_t kWritebackWindow = std::int64_t{8} << 20;

void StartWriteback(int fd, std::int64_t from, std::int64_t to) {
  const std::int64_t first = from / kWritebackWindow * kWritebackWindow;
  const std::int64_t end = to / kWritebackWindow * kWritebackWindow;
  if (end > first) sync_file_range(fd, first, end - first, SYNC_FILE_RANGE_WRITE);
}

// What the Windows directory record would say of a POSIX entry. Links and
// special files are marked as reparse points so that nothing writes through
// them or walks into them.
FindData RecordOf(const struct statx& status, std::wstring name) {
  FindData record;
  record.name = std::move(name);
  if (S_ISDIR(status.stx_mode)) {
    record.attributes = kFileAttributeDirectory;
  } else if (!S_ISREG(status.stx_mode)) {
    record.attributes = kFileAttributeReparsePoint;
  } else {
    record.sizeHigh = static_cast<std::uint32_t>(status.stx_size >> 32);
    record.sizeLow = static_cast<std::uint32_t>(status.stx_size & 0xFFFFFFFFu);
  }
  record.identity.volume = makedev(status.stx_dev_major, status.stx_dev_minor);
  record.identity.index = status.stx_ino;
  record.links = status.stx_nlink;
  // Without mount ids (old kernels) the device still tells file systems apart.
  record.mount = (status.stx_mask & STATX_MNT_ID) ? status.stx_mnt_id : record.identity.volume;
  return record;
}

// The entry `name` of `folder` itself (a final link is not followed).
bool StatAt(int folder, const std::string& name, int flags, FindData* record) {
  struct statx status;
  if (statx(folder, name.c_str(), flags | AT_SYMLINK_NOFOLLOW, kStatusMask, &status) != 0) {
    return false;
  }
  *record = RecordOf(status, std::wstring());
  return true;
}

bool IsObject(int folder, const std::string& name, const FileIdentity& expected) {
  FindData record;
  return StatAt(folder, name, 0, &record) && record.identity == expected;
}

int FolderOf(const system_file::EntryAt& at) {
  return at.folder == system_file::kNoFolder ? AT_FDCWD : static_cast<int>(at.folder);
}

std::string NameOf(const system_file::EntryAt& at) {
  return WideToAnsi(at.folder == system_file::kNoFolder ? at.path : at.name);
}

std::wstring LastComponent(const std::wstring& path) {
  std::wstring trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == L'/') trimmed.pop_back();
  const std::size_t slash = trimmed.find_last_of(L'/');
  return slash == std::wstring::npos ? trimmed : trimmed.substr(slash + 1);
}

// Renames `name` in `folder` to the first free name of its length made of one
// repeated character; never replaces an existing entry.
bool RenameToFiller(int folder, const std::string& name, std::string* filler) {
  for (const char fill : std::string("zyxwvutsrq_0123456789")) {
    *filler = std::string(name.size(), fill);
    if (*filler == name) continue;
    if (renameat2(folder, name.c_str(), folder, filler->c_str(), RENAME_NOREPLACE) == 0)
      return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

// A descriptor of the listing, closed on every path out.
struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

namespace system_file {

bool OpenAt(const EntryAt& at, int mode, Native* file) {
  const int fd = ::openat(FolderOf(at), NameOf(at).c_str(), OpenFlags(mode), 0666);
  if (fd < 0) return false;
  struct stat status;
  const bool known = fstat(fd, &status) == 0;
  if (!known || !S_ISREG(status.st_mode)) {
    const int error = !known ? errno : S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = error;
    return false;
  }
  // Non-blocking mode only guarded the open against special files.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  *file = fd;
  return true;
}

bool OpenFolder(const EntryAt& at, Native* folder, FindData* record) {
  const int fd =
      ::openat(FolderOf(at), NameOf(at).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  if (!Status(fd, record)) {
    ::close(fd);
    return false;
  }
  *folder = fd;
  return true;
}

bool Status(Native file, FindData* record) {
  return StatAt(static_cast<int>(file), std::string(), AT_EMPTY_PATH, record);
}

void Close(Native file) { ::close(static_cast<int>(file)); }

// The data and what is needed to read it back (fdatasync): an overwrite in
// place changes no metadata worth a journal commit. Without the device cache,
// sync_file_range writes and waits, which still reports write errors.
bool Flush(Native file, bool deviceCache) {
  const int fd = static_cast<int>(file);
  if (deviceCache) return fdatasync(fd) == 0;
  const unsigned how =
      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
  return sync_file_range(fd, 0, 0, how) == 0;
}

WriteOutcome WriteAt(Native file, std::int64_t offset, const void* buffer, std::uint32_t size) {
  WriteOutcome outcome;
  if (offset < 0) {
    outcome.status = WriteStatus::kSeekFailed;
    outcome.error = EINVAL;
    return outcome;
  }
  const ssize_t written = pwrite(static_cast<int>(file), buffer, size, static_cast<off_t>(offset));
  if (written < 0) {
    outcome.status = WriteStatus::kWriteFailed;
    outcome.error = errno;
    return outcome;
  }
  StartWriteback(static_cast<int>(file), offset, offset + written);
  outcome.status = WriteStatus::kWritten;
  outcome.written = static_cast<std::uint32_t>(written);
  outcome.error = written == 0 ? errno : 0;
  return outcome;
}

bool EndPosition(Native file, std::int64_t* position, int* error) {
  struct stat status;
  if (fstat(static_cast<int>(file), &status) != 0) {
    *error = errno;
    return false;
  }
  *position = status.st_size;
  return true;
}

bool LookUp(const std::wstring& path, FindData* record) {
  if (!StatAt(AT_FDCWD, WideToAnsi(path), 0, record)) return false;
  record->name = LastComponent(path);
  return true;
}

bool IdentityOf(const std::wstring& path, FileIdentity* identity) {
  struct stat status;
  if (stat(WideToAnsi(path).c_str(), &status) != 0) return false;
  identity->volume = status.st_dev;
  identity->index = status.st_ino;
  return true;
}

bool ListOpenFolder(Native folder, const std::wstring& folderPath,
                    std::vector<FileEntry>* entries) {
  try {
    const int own = fcntl(static_cast<int>(folder), F_DUPFD_CLOEXEC, 0);
    if (own < 0) return false;
    std::unique_ptr<DIR, DirCloser> dir(fdopendir(own));
    if (!dir) {
      ::close(own);
      return false;
    }
    rewinddir(dir.get());  // the duplicate shares the position of earlier listings
    for (;;) {
      errno = 0;
      const dirent* item = readdir(dir.get());
      if (item == nullptr) return errno == 0;
      const std::string name = item->d_name;
      if (name == "." || name == "..") continue;
      FindData record;
      if (!StatAt(static_cast<int>(folder), name, 0, &record)) {
        // An entry that vanished since readdir is no longer part of the folder.
        if (errno == ENOENT) continue;
        return false;
      }
      record.name = AnsiToWide(name);
      entries->emplace_back(folderPath, record);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool IsMountRoot(Native folder, const std::wstring& /*path*/) {
  FindData own;
  FindData parent;
  if (!Status(folder, &own) || !StatAt(static_cast<int>(folder), "..", 0, &parent)) return true;
  return own.mount != parent.mount || own.identity == parent.identity;
}

Removal RemoveEntry(const EntryAt& at, const FileIdentity& expected, bool folder) {
  FileHandle parent;
  int where = static_cast<int>(at.folder);
  std::string name = WideToAnsi(at.name);
  if (at.folder == kNoFolder) {
    const std::string path = WideToAnsi(at.path);
    const std::size_t slash = path.find_last_of('/');
    const std::string parentPath = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
    const int fd = ::open(slash == std::string::npos ? "." : parentPath.c_str(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Removal::kRefused;
    parent.Adopt(fd);
    where = fd;
  }
  if (!IsObject(where, name, expected)) return Removal::kNotTheEntry;
  std::string filler;
  if (!RenameToFiller(where, name, &filler)) return Removal::kRefused;
  // The name may have been swapped between the look and the rename.
  const bool same = IsObject(where, filler, expected);
  if (same && unlinkat(where, filler.c_str(), folder ? AT_REMOVEDIR : 0) == 0) {
    return Removal::kRemoved;
  }
  renameat2(where, filler.c_str(), where, name.c_str(), RENAME_NOREPLACE);
  return same ? Removal::kRefused : Removal::kNotTheEntry;
}

}  // namespace system_file
