#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "storage/DriverPath.h"
#include "storage/WriteSectorRequest.h"
#include "wipers/DeviceDriverWiper.h"

namespace {

TEST(DiskChannel, RequestIsHeadDataAndASpareZeroByte) {
  struct Case {
    std::uint32_t sectorSize, count, length;
  };
  for (const Case& c : {Case{512, 1, 529}, Case{512, 256, 17 + 256 * 512},
                        Case{4096, 32, 17 + 131072}, Case{4096, 3, 12305}, Case{512, 0, 17}}) {
    ASSERT_EQ(WriteSectorRequestLength(c.sectorSize, c.count), c.length);
    std::vector<unsigned char> data(std::size_t(c.sectorSize) * c.count + 1);
    for (std::size_t at = 0; at < data.size(); ++at)
      data[at] = static_cast<unsigned char>(at % 251 + 1);
    std::vector<unsigned char> request(c.length, 0xEE);
    FillWriteSectorRequest(request.data(), 7, 0x0102030405060708ull, c.count, c.sectorSize,
                           data.data());
    unsigned char head[16] = {7, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1};
    std::memcpy(head + 12, &c.count, 4);  // both builds are little-endian
    EXPECT_EQ(std::memcmp(request.data(), head, 16), 0) << c.count << " sectors";
    EXPECT_EQ(std::memcmp(request.data() + 16, data.data(), c.length - 17), 0);
    EXPECT_EQ(request.back(), 0) << "spare byte";
  }
  EXPECT_EQ(WriteSectorRequestLength(4096, 0x100000), 0u) << "4 GiB does not fit a control call";
}

TEST(DiskChannel, DriverFileFollowsTheProcessorArchitecture) {
  struct Case {
    unsigned short architecture;
    const wchar_t* name;
  };
  for (const Case& c :
       {Case{9, L"q7diskio"}, Case{6, L"q7diskio"}, Case{0, L"x86_q7diskio"},
        Case{5, L"x86_q7diskio"}, Case{12, L"x86_q7diskio"}, Case{0xFFFF, L"x86_q7diskio"}}) {
    wchar_t path[64] = L"C:\\tools";
    ASSERT_TRUE(AppendDriverFileName(path, 64, c.architecture));
    EXPECT_EQ(std::wstring(path), std::wstring(L"C:\\tools\\drivers\\") + c.name + L".sys");
  }
  // "C:\tools\drivers\q7diskio.sys" is 29 characters: 30 fit, 29 do not.
  wchar_t path[30] = L"C:\\tools";
  EXPECT_FALSE(AppendDriverFileName(path, 29, 9));
  EXPECT_EQ(std::wstring(path), L"C:\\tools") << "a path that does not fit is left as it was";
  EXPECT_TRUE(AppendDriverFileName(path, 30, 9));
}

TEST(DiskChannel, RequestsCarryABufferOfSectorsAndOddSectorSizesAreRefused) {
  struct Case {
    std::int32_t bytesPerSector;
    std::uint32_t perRequest;
  };
  for (const Case& c : {Case{512, 256}, Case{1024, 128}, Case{2048, 64}, Case{4096, 32}, Case{0, 0},
                        Case{-512, 0}, Case{256, 0}, Case{520, 0}, Case{3072, 0}, Case{8192, 0}}) {
    EXPECT_EQ(CDeviceDriverWiper::SectorsPerRequest(c.bytesPerSector), c.perRequest)
        << c.bytesPerSector;
    DiskInfo disk = {};
    disk.nBytesPerSector = c.bytesPerSector;
    disk.nTotalSectors = 1024;
    CDeviceDriverWiper wiper;
    EXPECT_EQ(wiper.init(&disk, nullptr), c.perRequest != 0 ? 0 : -1) << c.bytesPerSector;
  }
  CDeviceDriverWiper wiper;
  EXPECT_EQ(wiper.init(nullptr, nullptr), -1);
  DiskInfo disk = {};
  disk.nBytesPerSector = 512;
  disk.nTotalSectors = -1;
  EXPECT_EQ(wiper.init(&disk, nullptr), -1);
}

}  // namespace
