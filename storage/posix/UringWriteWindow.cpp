#include "storage/posix/UringWriteWindow.h"

#include <cerrno>
#include <new>

#include "common/Log.h"

std::unique_ptr<DiskWriteWindow> UringWriteWindow::Make(std::intptr_t descriptor,
                                                        std::uint32_t sectorSize,
                                                        std::uint64_t firstSector, int* error) {
  std::unique_ptr<UringWriteWindow> window(
      new (std::nothrow) UringWriteWindow(int(descriptor), sectorSize, firstSector));
  if (!window) {
    *error = ENOMEM;
    return nullptr;
  }
  const int result = io_uring_queue_init(kWritesInFlight, &window->m_ring, 0);
  if (result < 0) {
    *error = -result;
    return nullptr;
  }
  window->m_ringReady = true;
  return window;
}

UringWriteWindow::~UringWriteWindow() {
  if (!m_ringReady) return;
  // The kernel tears a closed ring down in the background: wait for every
  // write here, so that none reaches the disk after the wipe ended.
  while (m_inFlight > 0 && Reap(true)) {
  }
  io_uring_queue_exit(&m_ring);
}

void UringWriteWindow::Fail(std::uint64_t write) {
  if (write < m_firstFailed) m_firstFailed = write;
}

bool UringWriteWindow::Queue(std::uint64_t startSector, std::uint32_t sectorCount,
                             const unsigned char* buffer) {
  while (!Failed() && m_queued - m_completed >= kWritesInFlight) {
    SubmitPrepared();
    if (m_inFlight == 0 || !Reap(true)) Fail(m_completed);
  }
  if (Failed()) return false;
  const std::uint64_t bytes = std::uint64_t(sectorCount) * m_sectorSize;
  // Sectors before the descriptor's first one are outside what it reaches.
  if (startSector < m_firstSector) {
    Fail(m_queued);
    return false;
  }
  startSector -= m_firstSector;
  if (startSector > std::uint64_t(INT64_MAX) / m_sectorSize || bytes > 0x7FFFF000u) {
    Fail(m_queued);
    return false;
  }
  io_uring_sqe* entry = io_uring_get_sqe(&m_ring);
  if (entry == nullptr) {  // cannot happen: the ring holds the whole window
    Fail(m_queued);
    return false;
  }
  io_uring_prep_write(entry, m_descriptor, buffer, unsigned(bytes), startSector * m_sectorSize);
  io_uring_sqe_set_data64(entry, m_queued);
  m_lengths[m_queued % kWritesInFlight] = std::uint32_t(bytes);
  m_done[m_queued % kWritesInFlight] = false;
  ++m_queued;
  if (++m_prepared >= kSubmitBatch) SubmitPrepared();
  Reap(false);
  return !Failed();
}

bool UringWriteWindow::Drain() {
  if (!Failed()) SubmitPrepared();
  while (m_inFlight > 0 && Reap(true)) {
  }
  return !Failed() && m_completed == m_queued;
}

void UringWriteWindow::SubmitPrepared() {
  while (m_prepared > 0 && !Failed()) {
    const int result = io_uring_submit(&m_ring);
    if (result > 0) {
      m_prepared -= unsigned(result);
      m_inFlight += unsigned(result);
    } else if (result == -EINTR) {
      continue;
    } else if ((result == -EAGAIN || result == -EBUSY || result == 0) && m_inFlight > 0) {
      Reap(true);
    } else {
      VTX_LOG("UringWriteWindow::SubmitPrepared", "submit failure error code %d\n", -result);
      Fail(m_queued - m_prepared);
    }
  }
}

bool UringWriteWindow::Reap(bool wait) {
  io_uring_cqe* completion = nullptr;
  if (wait) {
    int result;
    do {
      result = io_uring_wait_cqe(&m_ring, &completion);
    } while (result == -EINTR);
    if (result < 0) {
      VTX_LOG("UringWriteWindow::Reap", "wait failure error code %d\n", -result);
      Fail(m_completed);
      return false;
    }
  }
  while (io_uring_peek_cqe(&m_ring, &completion) == 0) {
    Settle(io_uring_cqe_get_data64(completion), completion->res);
    io_uring_cqe_seen(&m_ring, completion);
    --m_inFlight;
  }
  return true;
}

void UringWriteWindow::Settle(std::uint64_t write, int result) {
  const std::uint32_t length = m_lengths[write % kWritesInFlight];
  if (result < 0 || std::uint32_t(result) != length) {
    VTX_LOG("UringWriteWindow::Settle", "write failure error code %d\n",
            result < 0 ? -result : EIO);
    Fail(write);
  } else {
    m_done[write % kWritesInFlight] = true;
  }
  while (m_completed < m_queued && m_completed < m_firstFailed &&
         m_done[m_completed % kWritesInFlight]) {
    m_done[m_completed % kWritesInFlight] = false;
    ++m_completed;
  }
}
