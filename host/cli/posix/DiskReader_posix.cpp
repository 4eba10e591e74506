#include "host/cli/DiskReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/DiskInfo.h"

namespace {

class PosixDiskReader final : public DiskReader {
 public:
  PosixDiskReader(int descriptor, std::string path) : m_descriptor(descriptor), m_path(path) {}
  ~PosixDiskReader() override { close(m_descriptor); }
  PosixDiskReader(const PosixDiskReader&) = delete;
  PosixDiskReader& operator=(const PosixDiskReader&) = delete;

  bool Read(std::uint64_t offset, void* buffer, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      const ssize_t got = pread(m_descriptor, static_cast<char*>(buffer) + done, size - done,
                                static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        m_error = m_path + ": " + (got < 0 ? std::strerror(errno) : "end of device") + " at byte " +
                  std::to_string(offset + done);
        return false;
      }
      done += static_cast<std::size_t>(got);
    }
    return true;
  }

  std::string Error() const override { return m_error; }

 private:
  int m_descriptor;
  std::string m_path;
  std::string m_error;
};

}  // namespace

// O_DIRECT keeps the page cache out of the way, so a block written by
// anything else after the wipe is seen as the device holds it. The caller's
// buffers and offsets are sector-aligned; where the device refuses O_DIRECT
// the cache is dropped for the device instead.
std::unique_ptr<DiskReader> OpenDiskReader(const DiskInfo& disk, std::string* error) {
  const std::string path = RecordText(disk.szDevicePath);
  if (path.empty()) {
    *error = "the device manager gives no device path for disk " + std::to_string(disk.nDiskNumber);
    return nullptr;
  }
  int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
  if (descriptor < 0 && errno == EINVAL) {
    descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor >= 0) posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED);
  }
  if (descriptor < 0) {
    *error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<PosixDiskReader>(descriptor, path);
}
