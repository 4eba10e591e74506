#pragma once

#include <cstddef>
#include <cstdint>

// The write request of the disk-I/O driver, sent with IOCTL_WRITE_SECTORS:
// a packed little-endian head, the data of `nSectorCount` sectors from offset
// 16, then one spare byte. The head with its one-byte data array counts 17
// bytes, so a request is 17 + sector size x sector count bytes long.

constexpr std::uint32_t kIoctlWriteSectors = 0x9C402412;  // type 0x9C40, function 0x904,
                                                          // METHOD_OUT_DIRECT, FILE_ANY_ACCESS

#pragma pack(push, 1)
struct WriteSectorRequest {
  std::uint32_t nDiskNumber;   // N of PHYSICALDRIVE N
  std::uint64_t nStartSector;  // first sector, counted from the start of the disk
  std::uint32_t nSectorCount;
  unsigned char data[1];  // sector after sector; the byte after them is the spare
};
#pragma pack(pop)

static_assert(sizeof(WriteSectorRequest) == 17, "the driver reads a 17-byte head");
static_assert(offsetof(WriteSectorRequest, nDiskNumber) == 0, "WriteSectorRequest layout");
static_assert(offsetof(WriteSectorRequest, nStartSector) == 4, "WriteSectorRequest layout");
static_assert(offsetof(WriteSectorRequest, nSectorCount) == 12, "WriteSectorRequest layout");
static_assert(offsetof(WriteSectorRequest, data) == 16, "WriteSectorRequest layout");

// The length of a request for `sectorCount` sectors of `sectorSize` bytes, or
// 0 when it would not fit the 32-bit length of a control call.
std::uint32_t WriteSectorRequestLength(std::uint32_t sectorSize, std::uint32_t sectorCount);

// Fills `request`, which holds WriteSectorRequestLength(sectorSize,
// sectorCount) bytes: the head, sector size x sector count bytes of `data`,
// and a spare byte of 0.
void FillWriteSectorRequest(unsigned char* request, std::uint32_t disk, std::uint64_t startSector,
                            std::uint32_t sectorCount, std::uint32_t sectorSize,
                            const unsigned char* data);
