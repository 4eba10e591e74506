#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/AppendFile.h"

AppendFile::~AppendFile() { Close(); }

bool AppendFile::Open(const std::string& path, bool truncate) {
  Close();
  const int flags = O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC |
                    (truncate ? O_TRUNC : 0);
  const int descriptor = open(path.c_str(), flags, 0644);
  if (descriptor < 0) {
    m_why = path + ": " + (errno == ELOOP ? "is a symbolic link" : std::strerror(errno));
    return false;
  }
  struct stat status;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor);
    m_why = path + ": not a regular file";
    return false;
  }
  // Writes to a regular file never wait for a reader; back to blocking
  // writes so that none is cut short.
  fcntl(descriptor, F_SETFL, O_WRONLY | O_APPEND);
  m_handle = descriptor;
  m_sizeAtOpen = static_cast<std::uint64_t>(status.st_size);
  m_why.clear();
  return true;
}

void AppendFile::Close() {
  if (m_handle >= 0) close(static_cast<int>(m_handle));
  m_handle = -1;
}

bool AppendFile::IsOpen() const { return m_handle >= 0; }

bool AppendFile::Append(const char* data, std::size_t size) {
  while (m_handle >= 0 && size > 0) {
    const ssize_t written = write(static_cast<int>(m_handle), data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return m_handle >= 0;
}
