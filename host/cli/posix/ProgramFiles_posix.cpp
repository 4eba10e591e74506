#include "host/cli/ProgramFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "support/posix/UniqueDescriptor.h"

namespace program_files {
namespace {

bool Failed(const std::string& path, std::string* error) {
  *error = path + ": " + std::strerror(errno);
  return false;
}

}  // namespace

bool ReadRegular(const std::string& path, std::size_t maxBytes, std::string* bytes,
                 std::string* error) {
  // Non-blocking, so that a pipe or a device at the path cannot hold the
  // open; it is refused by its type right after.
  UniqueDescriptor file(open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!file.IsOpen()) return Failed(path, error);
  struct stat status;
  if (fstat(file.get(), &status) != 0) return Failed(path, error);
  if (!S_ISREG(status.st_mode)) {
    *error = path + ": not a regular file";
    return false;
  }
  if (static_cast<std::uint64_t>(status.st_size) > maxBytes) {
    *error = path + ": larger than " + std::to_string(maxBytes) + " bytes";
    return false;
  }
  bytes->clear();
  char chunk[65536];
  for (;;) {
    const ssize_t got = read(file.get(), chunk, sizeof(chunk));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Failed(path, error);
    if (got == 0) return true;
    bytes->append(chunk, static_cast<std::size_t>(got));
    if (bytes->size() > maxBytes) {
      *error = path + ": larger than " + std::to_string(maxBytes) + " bytes";
      return false;
    }
  }
}

bool Exists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::vector<std::string> ConfigurationPaths() {
  std::vector<std::string> paths = {"/etc/vantrix-wipe.conf"};
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (config != nullptr && config[0] == '/') {
    paths.push_back(std::string(config) + "/vantrix-wipe.conf");
  } else if (home != nullptr && home[0] == '/') {
    paths.push_back(std::string(home) + "/.config/vantrix-wipe.conf");
  }
  return paths;
}

}  // namespace program_files
