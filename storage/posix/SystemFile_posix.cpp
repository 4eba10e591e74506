#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>

#include "storage/SystemFile.h"
#include "support/TextHelpers.h"

namespace {

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

// What the Windows directory record would say of a POSIX entry. Links and
// special files are marked as reparse points so that nothing writes through
// them or walks into them.
FindData RecordOf(const struct stat& status, std::wstring name) {
  FindData record;
  record.name = std::move(name);
  if (S_ISDIR(status.st_mode)) {
    record.attributes = kFileAttributeDirectory;
  } else if (!S_ISREG(status.st_mode)) {
    record.attributes = kFileAttributeReparsePoint;
  }
  if (S_ISREG(status.st_mode)) {
    const auto size = static_cast<std::uint64_t>(status.st_size);
    record.sizeHigh = static_cast<std::uint32_t>(size >> 32);
    record.sizeLow = static_cast<std::uint32_t>(size & 0xFFFFFFFFu);
  }
  return record;
}

std::wstring LastComponent(const std::wstring& path) {
  std::wstring trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == L'/') trimmed.pop_back();
  const std::size_t slash = trimmed.find_last_of(L'/');
  return slash == std::wstring::npos ? trimmed : trimmed.substr(slash + 1);
}

// A descriptor of the listing, closed on every path out.
struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

namespace system_file {

bool Open(const std::wstring& path, int mode, Native* file) {
  const int fd = ::open(WideToAnsi(path).c_str(), OpenFlags(mode), 0666);
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

void Close(Native file) { ::close(static_cast<int>(file)); }

bool Flush(Native file) { return fsync(static_cast<int>(file)) == 0; }

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
  struct stat status;
  if (lstat(WideToAnsi(path).c_str(), &status) != 0) return false;
  *record = RecordOf(status, LastComponent(path));
  return true;
}

bool ListFolder(const std::wstring& folder, std::vector<FileEntry>* entries) {
  try {
    const std::string narrowFolder = WideToAnsi(folder);
    std::unique_ptr<DIR, DirCloser> dir(opendir(narrowFolder.c_str()));
    if (!dir) return false;
    while (const dirent* item = readdir(dir.get())) {
      const std::string name = item->d_name;
      if (name == "." || name == "..") continue;
      struct stat status;
      // An entry that vanished since readdir is no longer part of the folder.
      if (lstat((narrowFolder + name).c_str(), &status) != 0) continue;
      entries->emplace_back(folder, RecordOf(status, AnsiToWide(name)));
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace system_file
