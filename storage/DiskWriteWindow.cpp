#include "storage/DiskWriteWindow.h"

#include "storage/Q7DiskIOWapper.h"

bool SynchronousWriteWindow::Queue(std::uint64_t startSector, std::uint32_t sectorCount,
                                   const unsigned char* buffer) {
  if (m_failed) return false;
  m_failed =
      CQ7DiskIOWapper::GetInstance()->WriteSector(m_disk, startSector, sectorCount, buffer) == 0;
  if (!m_failed) ++m_completed;
  return !m_failed;
}
