#include "host/cli/DiskReader.h"

#include <fcntl.h>
#include <liburing.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "platform/DiskInfo.h"

namespace {

// Reads ahead of a sequential reader: while the caller compares one chunk,
// the next kAhead chunks of the same size are in flight (io_uring), so the
// device streams as it does under a reader with several requests queued.
// Any chunk that did not come back whole is read again synchronously, which
// gives the error its text and offset. Waits for its reads before it goes.
class ReadAhead {
 public:
  static constexpr unsigned kAhead = 8;

  ReadAhead(int descriptor, std::uint64_t deviceBytes)
      : m_descriptor(descriptor), m_deviceBytes(deviceBytes) {
    m_ringMade = io_uring_queue_init(kAhead, &m_ring, 0) == 0;
    m_ready = m_ringMade;
  }
  // A buffer whose read could not be waited for is left to the process.
  ~ReadAhead() {
    if (!m_ringMade) return;
    const bool settled = DropAll();
    io_uring_queue_exit(&m_ring);
    if (settled) {
      for (void* buffer : m_buffers) std::free(buffer);
    }
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The `size` bytes at `offset` in a buffer of the read-ahead's, valid until
  // the next call, when they came back whole; null when the caller is to
  // read them itself.
  const unsigned char* Take(std::uint64_t offset, std::size_t size) {
    if (m_held >= 0) m_free.push_back(unsigned(m_held));
    m_held = -1;
    if (!m_ready || !Buffers(size)) return nullptr;
    if (m_pending.empty() || m_pending.front().offset != offset || m_size != size) {
      DropAll();
      m_next = offset;
    }
    Issue();
    if (m_pending.empty()) return nullptr;
    const Pending chunk = m_pending.front();
    m_pending.pop_front();
    const bool whole = Wait(chunk) == int(size);
    Issue();
    if (!whole) {
      m_free.push_back(chunk.slot);
      return nullptr;
    }
    m_held = int(chunk.slot);
    return static_cast<const unsigned char*>(m_buffers[chunk.slot]);
  }

 private:
  struct Pending {
    std::uint64_t offset;
    unsigned slot;
  };

  bool Buffers(std::size_t size) {
    if (size == m_size) return true;
    if (!DropAll()) return m_ready = false;
    for (void* buffer : m_buffers) std::free(buffer);
    m_buffers.assign(kAhead, nullptr);
    m_free.clear();
    m_size = size;
    for (unsigned slot = 0; slot < kAhead; ++slot) {
      if (posix_memalign(&m_buffers[slot], 4096, size) != 0) m_buffers[slot] = nullptr;
      if (m_buffers[slot] == nullptr) m_ready = false;
      m_free.push_back(slot);
    }
    return m_ready;
  }

  // Keeps every free buffer reading the next chunk of the device.
  void Issue() {
    bool issued = false;
    while (!m_free.empty() && m_next + m_size <= m_deviceBytes) {
      io_uring_sqe* entry = io_uring_get_sqe(&m_ring);
      if (entry == nullptr) break;
      const unsigned slot = m_free.back();
      m_free.pop_back();
      io_uring_prep_read(entry, m_descriptor, m_buffers[slot], unsigned(m_size), m_next);
      io_uring_sqe_set_data64(entry, slot);
      m_pending.push_back({m_next, slot});
      m_results[slot] = kWaiting;
      m_next += m_size;
      issued = true;
    }
    if (issued) {
      int submitted;
      do submitted = io_uring_submit(&m_ring);
      while (submitted == -EINTR);
      if (submitted < 0) m_ready = false;  // nothing in flight to wait for
    }
  }

  // The result of `chunk`'s read, reaping completions until it is in.
  int Wait(const Pending& chunk) {
    while (m_ready && m_results[chunk.slot] == kWaiting) {
      io_uring_cqe* completion = nullptr;
      const int result = io_uring_wait_cqe(&m_ring, &completion);
      if (result == -EINTR) continue;
      if (result < 0) {
        m_ready = false;
        break;
      }
      m_results[io_uring_cqe_get_data64(completion)] = completion->res;
      io_uring_cqe_seen(&m_ring, completion);
    }
    return m_results[chunk.slot];
  }

  // Waits for every read in flight; false when one could not be waited for.
  bool DropAll() {
    bool settled = true;
    while (!m_pending.empty()) {
      settled = Wait(m_pending.front()) != kWaiting && settled;
      m_free.push_back(m_pending.front().slot);
      m_pending.pop_front();
    }
    return settled;
  }

  static constexpr int kWaiting = -0x7FFF;
  io_uring m_ring{};
  bool m_ringMade = false;
  bool m_ready = false;
  int m_descriptor;
  std::uint64_t m_deviceBytes;
  std::uint64_t m_next = 0;
  std::size_t m_size = 0;
  std::vector<void*> m_buffers;
  std::vector<unsigned> m_free;
  std::deque<Pending> m_pending;
  int m_held = -1;  // the slot the caller reads, until its next call
  int m_results[kAhead] = {};
};

class PosixDiskReader final : public DiskReader {
 public:
  PosixDiskReader(int descriptor, std::string path, bool direct)
      : m_descriptor(descriptor), m_path(path) {
    const off_t end = lseek(descriptor, 0, SEEK_END);
    // Reads ahead only bypassing the cache: buffered reads have the kernel's.
    if (direct && end > 0) m_ahead = std::make_unique<ReadAhead>(descriptor, std::uint64_t(end));
  }
  ~PosixDiskReader() override {
    m_ahead.reset();
    close(m_descriptor);
  }
  PosixDiskReader(const PosixDiskReader&) = delete;
  PosixDiskReader& operator=(const PosixDiskReader&) = delete;

  const unsigned char* View(std::uint64_t offset, std::size_t size) override {
    const unsigned char* ahead = m_ahead ? m_ahead->Take(offset, size) : nullptr;
    return ahead != nullptr ? ahead : DiskReader::View(offset, size);
  }

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
  std::unique_ptr<ReadAhead> m_ahead;
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
  bool direct = true;
  int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
  if (descriptor < 0 && errno == EINVAL) {
    direct = false;
    descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor >= 0) posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED);
  }
  if (descriptor < 0) {
    *error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<PosixDiskReader>(descriptor, path, direct);
}
