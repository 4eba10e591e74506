#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "storage/DriverPath.h"
#include "storage/WriteSectorRequest.h"
#include "support/TestFiles.h"
#include "wipers/DeviceDriverWiper.h"

namespace {

TEST(DiskChannel, RequestIsHeadDataAndASpareZeroByte) {
  const struct {
    std::uint32_t sectorSize, count, length;
  } cases[] = {{512, 1, 529},
               {512, 256, 17 + 256 * 512},
               {4096, 32, 17 + 131072},
               {4096, 3, 12305},
               {512, 0, 17}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << " sectors of " << c.sectorSize);
    ASSERT_EQ(WriteSectorRequestLength(c.sectorSize, c.count), c.length);
    const std::string data = PatternBytes(std::size_t(c.sectorSize) * c.count + 1);
    std::vector<unsigned char> request(c.length, 0xEE);
    FillWriteSectorRequest(request.data(), 7, 0x0102030405060708ull, c.count, c.sectorSize,
                           reinterpret_cast<const unsigned char*>(data.data()));
    unsigned char head[16] = {7, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1};
    std::memcpy(head + 12, &c.count, 4);  // both builds are little-endian
    EXPECT_EQ(std::memcmp(request.data(), head, 16), 0);
    EXPECT_EQ(std::memcmp(request.data() + 16, data.data(), c.length - 17), 0);
    EXPECT_EQ(request.back(), 0) << "spare byte";
  }
  EXPECT_EQ(WriteSectorRequestLength(4096, 0x100000), 0u) << "4 GiB does not fit a control call";
}

TEST(DiskChannel, DriverFileFollowsTheProcessorArchitecture) {
  for (const unsigned short architecture : {9, 6, 0, 5, 12, 0xFFFF}) {
    const std::wstring name =
        architecture == 9 || architecture == 6 ? L"q7diskio" : L"x86_q7diskio";
    wchar_t path[64] = L"C:\\tools";
    ASSERT_TRUE(AppendDriverFileName(path, 64, architecture));
    EXPECT_EQ(std::wstring(path), L"C:\\tools\\drivers\\" + name + L".sys") << architecture;
  }
  // "C:\tools\drivers\q7diskio.sys" is 29 characters: 30 fit, 29 do not.
  wchar_t path[30] = L"C:\\tools";
  EXPECT_FALSE(AppendDriverFileName(path, 29, 9));
  EXPECT_EQ(std::wstring(path), L"C:\\tools") << "a path that does not fit is left as it was";
  EXPECT_TRUE(AppendDriverFileName(path, 30, 9));
}

TEST(DiskChannel, RequestsCarryABufferOfSectorsAndOddSectorSizesAreRefused) {
  const struct {
    std::int32_t bytesPerSector;
    std::uint32_t perRequest;
    std::int64_t sectors = 1024;
  } cases[] = {{512, 256}, {1024, 128}, {2048, 64}, {4096, 32}, {0, 0},      {-512, 0},
               {256, 0},   {520, 0},    {3072, 0},  {8192, 0},  {512, 0, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bytesPerSector << " x " << c.sectors);
    if (c.sectors > 0) {
      EXPECT_EQ(CDeviceDriverWiper::SectorsPerRequest(c.bytesPerSector), c.perRequest);
    }
    DiskInfo disk = {};
    disk.nBytesPerSector = c.bytesPerSector;
    disk.nTotalSectors = c.sectors;
    CDeviceDriverWiper wiper;
    EXPECT_EQ(wiper.init(&disk, nullptr), c.perRequest != 0 ? 0 : -1);
  }
  CDeviceDriverWiper wiper;
  EXPECT_EQ(wiper.init(nullptr, nullptr), -1);
}

}  // namespace
