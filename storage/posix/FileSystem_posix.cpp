#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "storage/FileSystem.h"
#include "support/TextHelpers.h"

const wchar_t kPathSeparator = L'/';
const char kNarrowPathSeparator = '/';

namespace {

std::string CurrentDirectory() {
  std::string buffer(256, '\0');
  while (getcwd(&buffer[0], buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(buffer.find('\0'));
  return buffer;
}

}  // namespace

std::wstring MakeAbsolute(const std::wstring& path) {
  if (path.empty() || path.front() == L'/') return path;
  const std::string current = CurrentDirectory();
  if (current.empty()) return path;
  std::wstring absolute = AnsiToWide(current);
  if (absolute.back() != L'/') absolute.push_back(L'/');
  return absolute + path;
}

bool MakeFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool PathExists(const std::wstring& path) {
  struct stat status;
  return !path.empty() && lstat(WideToAnsi(path).c_str(), &status) == 0;
}

// The file system's pending work is committed first: blocks of files deleted
// just before are counted free only once the deletion is committed.
std::uint64_t FreeBytesOfVolume(const std::string& root) {
  const int folder = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return 0;
  syncfs(folder);
  struct statvfs volume;
  const bool known = fstatvfs(folder, &volume) == 0;
  close(folder);
  return known ? static_cast<std::uint64_t>(volume.f_bfree) * volume.f_frsize : 0;
}

bool CheckpointVolume(const std::string& root) {
  // ext4's EXT4_IOC_CHECKPOINT (Linux 5.13), which the system's headers may lack.
  constexpr unsigned long kExt4Checkpoint = _IOW('f', 43, std::uint32_t);
  const int folder = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return false;
  std::uint32_t flags = 0;
  bool done = syncfs(folder) == 0;
  if (ioctl(folder, kExt4Checkpoint, &flags) != 0 && errno != ENOTTY && errno != EINVAL &&
      errno != EOPNOTSUPP) {
    done = false;  // an ext4 that refused: not root, or an I/O error
  }
  close(folder);
  return done;
}

bool IsDiskFull(int error) { return error == ENOSPC || error == EDQUOT; }

std::vector<std::wstring> SystemFolders() {
  return {L"/usr", L"/etc", L"/boot", L"/bin", L"/lib", L"/var"};
}

int LastSystemError() { return errno; }
