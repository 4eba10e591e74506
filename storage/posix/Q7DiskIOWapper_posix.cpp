#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/Log.h"
#include "storage/Q7DiskIOWapper.h"
#include "storage/posix/UringWriteWindow.h"

namespace {

constexpr char kWriteSector[] = "CQ7DiskIOWapper::WriteSector";
// O_DIRECT wants buffers aligned to the logical sector size; 4096 serves all.
constexpr std::uintptr_t kDirectAlignment = 4096;

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};

// Writes all `size` bytes at `offset`; false with errno set otherwise.
bool WriteAll(int descriptor, const unsigned char* data, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t written = pwrite(descriptor, data, size, offset);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
    offset += written;
  }
  return true;
}

}  // namespace

CQ7DiskIOWapper::~CQ7DiskIOWapper() {
  for (auto& disk : m_disks) CloseDescriptor(disk.second.descriptor);
}

std::intptr_t CQ7DiskIOWapper::OpenDevice() { return 1; }

std::intptr_t CQ7DiskIOWapper::DescriptorOf(std::uint32_t disk) {
  std::lock_guard<std::mutex> hold(m_lock);
  const auto found = m_disks.find(disk);
  if (found == m_disks.end() || found->second.attachments == 0) return -1;
  return found->second.descriptor;
}

void CQ7DiskIOWapper::CloseDescriptor(std::intptr_t descriptor) {
  if (descriptor >= 0) close(static_cast<int>(descriptor));
}

int CQ7DiskIOWapper::WriteSector(std::uint32_t disk, std::uint64_t startSector,
                                 std::uint32_t sectorCount, const unsigned char* buffer) {
  const std::uint32_t sectorSize = SectorSizeOf(disk);
  const int descriptor = static_cast<int>(DescriptorOf(disk));
  if (descriptor < 0) return 0;
  const std::size_t size = static_cast<std::size_t>(sectorSize) * sectorCount;
  const std::uint64_t firstSector = FirstSectorOf(disk);
  if (startSector < firstSector) return 0;
  startSector -= firstSector;
  if (startSector > static_cast<std::uint64_t>(INT64_MAX) / sectorSize) return 0;
  const off_t offset = static_cast<off_t>(startSector * sectorSize);

  std::unique_ptr<void, FreeDeleter> bounce;
  const unsigned char* data = buffer;
  if (reinterpret_cast<std::uintptr_t>(buffer) % kDirectAlignment != 0) {
    void* aligned = nullptr;
    if (posix_memalign(&aligned, kDirectAlignment, size == 0 ? 1 : size) != 0) return 0;
    bounce.reset(aligned);
    std::memcpy(aligned, buffer, size);
    data = static_cast<const unsigned char*>(aligned);
  }
  if (!WriteAll(descriptor, data, size, offset)) {
    VTX_LOG(kWriteSector, "write failure error code %d\n", errno);
    return 0;
  }
  return 1;
}

std::unique_ptr<DiskWriteWindow> CQ7DiskIOWapper::OpenWriteWindow(std::uint32_t disk,
                                                                  AsyncWindowMaker asyncMaker) {
  constexpr char kFunction[] = "CQ7DiskIOWapper::OpenWriteWindow";
  const std::intptr_t descriptor = DescriptorOf(disk);
  if (descriptor >= 0) {
    int error = 0;
    std::unique_ptr<DiskWriteWindow> window =
        (asyncMaker != nullptr ? asyncMaker : UringWriteWindow::Make)(
            descriptor, SectorSizeOf(disk), FirstSectorOf(disk), &error);
    if (window) {
      VTX_LOG(kFunction, "disk %u: io_uring, %u writes in flight\n", disk,
              UringWriteWindow::kWritesInFlight);
      return window;
    }
    VTX_LOG(kFunction, "disk %u: io_uring refused (error %d), writing synchronously\n", disk,
            error);
  }
  return std::unique_ptr<DiskWriteWindow>(new (std::nothrow) SynchronousWriteWindow(disk));
}

// The caller is attached, so the descriptor stays open outside the lock.
bool CQ7DiskIOWapper::FlushDisk(std::uint32_t disk) {
  std::intptr_t descriptor = -1;
  {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto found = m_disks.find(disk);
    if (found != m_disks.end()) descriptor = found->second.descriptor;
  }
  if (descriptor < 0 || fdatasync(static_cast<int>(descriptor)) == 0) return true;
  VTX_LOG("CQ7DiskIOWapper::FlushDisk", "flush failure error code %d\n", errno);
  return false;
}
