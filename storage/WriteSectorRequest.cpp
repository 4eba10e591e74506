#include "storage/WriteSectorRequest.h"

#include <cstring>

std::uint32_t WriteSectorRequestLength(std::uint32_t sectorSize, std::uint32_t sectorCount) {
  const std::uint64_t length =
      static_cast<std::uint64_t>(sectorSize) * sectorCount + sizeof(WriteSectorRequest);
  return length > UINT32_MAX ? 0 : static_cast<std::uint32_t>(length);
}

void FillWriteSectorRequest(unsigned char* request, std::uint32_t disk, std::uint64_t startSector,
                            std::uint32_t sectorCount, std::uint32_t sectorSize,
                            const unsigned char* data) {
  WriteSectorRequest head;
  head.nDiskNumber = disk;
  head.nStartSector = startSector;
  head.nSectorCount = sectorCount;
  std::memcpy(request, &head, offsetof(WriteSectorRequest, data));
  const std::size_t bytes = static_cast<std::size_t>(sectorSize) * sectorCount;
  std::memcpy(request + offsetof(WriteSectorRequest, data), data, bytes);
  request[offsetof(WriteSectorRequest, data) + bytes] = 0;
}
