#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/devicemanager/DescriptionFile.h"

#include "support/posix/UniqueDescriptor.h"

namespace {

// Why the opened file may not describe the disks; "" when it may.
std::string Refusal(const struct stat& status) {
  if (!S_ISREG(status.st_mode)) return "is not a regular file";
  if (status.st_uid != 0) return "is not owned by root";
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "is writable by others than root";
  if (static_cast<std::uint64_t>(status.st_size) > kMaxDescriptionBytes) {
    return "is larger than " + std::to_string(kMaxDescriptionBytes >> 20) + " MiB";
  }
  return "";
}

}  // namespace

DescriptionSource ReadDescriptionFile(std::string* named, std::string* text, std::string* why) {
  const char* path = std::getenv("VTX_DEVICE_DESCRIPTION");
  if (path == nullptr || *path == '\0') return DescriptionSource::kNone;
  *named = path;
  const std::string prefix = std::string("the device description ") + path + " ";
  const UniqueDescriptor file(open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat status;
  if (!file.IsOpen() || fstat(file.get(), &status) != 0) {
    *why = prefix + (errno == ELOOP ? "is a symbolic link"
                                    : "cannot be read: " + std::string(std::strerror(errno)));
    return DescriptionSource::kUnreadable;
  }
  const std::string refusal = Refusal(status);
  if (!refusal.empty()) {
    *why = prefix + refusal;
    return DescriptionSource::kUnreadable;
  }
  text->assign(kMaxDescriptionBytes + 1, '\0');
  std::size_t length = 0;
  while (length < text->size()) {
    const ssize_t got = read(file.get(), &(*text)[length], text->size() - length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *why = prefix + "cannot be read: " + std::strerror(errno);
      return DescriptionSource::kUnreadable;
    }
    if (got == 0) break;
    length += static_cast<std::size_t>(got);
  }
  if (length > kMaxDescriptionBytes) {
    *why = prefix + "is larger than " + std::to_string(kMaxDescriptionBytes >> 20) + " MiB";
    return DescriptionSource::kUnreadable;
  }
  text->resize(length);
  return DescriptionSource::kRead;
}
