#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/cli/FilePlacement.h"

namespace {

std::string FolderOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Reason(const std::string& what) { return what + ": " + std::strerror(errno); }

// A new, empty file of mode 0644 beside `path`, open for writing; -1 with the
// reason when the folder takes none. `name` receives its path.
int CreateTemporary(const std::string& path, std::string* name, std::string* error) {
  const std::string pattern = FolderOf(path) + "/.vantrix-wipe-XXXXXX";
  std::vector<char> text(pattern.begin(), pattern.end());
  text.push_back('\0');
  const int descriptor = mkostemp(text.data(), O_CLOEXEC);
  if (descriptor < 0) {
    *error = Reason("cannot create a file in " + FolderOf(path));
    return -1;
  }
  *name = text.data();
  fchmod(descriptor, 0644);
  return descriptor;
}

bool WriteAll(int descriptor, const std::string& bytes) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = write(descriptor, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return fsync(descriptor) == 0;
}

}  // namespace

bool CheckFilePlaceable(const std::string& path, std::string* error) {
  struct stat status;
  if (lstat(path.c_str(), &status) == 0) {
    if (S_ISLNK(status.st_mode)) {
      *error = path + " is a symbolic link";
      return false;
    }
    if (!S_ISREG(status.st_mode)) {
      *error = path + " is not a regular file";
      return false;
    }
  } else if (errno != ENOENT) {
    *error = Reason(path);
    return false;
  }
  std::string scratch;
  const int descriptor = CreateTemporary(path, &scratch, error);
  if (descriptor < 0) return false;
  close(descriptor);
  unlink(scratch.c_str());
  return true;
}

bool PlaceFile(const std::string& path, const std::string& bytes, std::string* error) {
  error->clear();
  std::string temporary;
  const int descriptor = CreateTemporary(path, &temporary, error);
  if (descriptor < 0) return false;
  const bool written = WriteAll(descriptor, bytes);
  if (!written) *error = Reason("cannot write " + temporary);
  if (close(descriptor) != 0 && written) *error = Reason("cannot write " + temporary);
  if (error->empty() && rename(temporary.c_str(), path.c_str()) != 0) {
    *error = Reason("cannot rename " + temporary + " to " + path);
  }
  if (!error->empty()) {
    unlink(temporary.c_str());
    return false;
  }
  // The rename reaches the disk with the folder.
  const int folder = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return true;
}
