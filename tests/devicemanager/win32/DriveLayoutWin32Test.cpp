#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/devicemanager/win32/DriveLayout.h"

// Fields of the packed records are compared by value (+field): a check
// would otherwise bind a misaligned reference to them.

namespace {

// Control-code output written byte by byte at the offsets Windows documents
// for x64, independently of the SDK's structures.
class Record {
 public:
  explicit Record(std::size_t size) : m_bytes(size, 0) {}
  template <class Value>
  Record& At(std::size_t offset, Value value) {
    std::memcpy(m_bytes.data() + offset, &value, sizeof(value));
    return *this;
  }
  const unsigned char* data() const { return m_bytes.data(); }
  std::size_t size() const { return m_bytes.size(); }

 private:
  std::vector<unsigned char> m_bytes;
};

constexpr std::size_t kLayoutHead = 48;
constexpr std::size_t kEntry = 144;
constexpr std::uint64_t kMiB = 1 << 20;

// One PARTITION_INFORMATION_EX of a drive layout: style, start, length,
// number, and the MBR type byte (or the first byte of the GPT type).
void PutEntry(Record* layout, int index, std::uint32_t style, std::uint64_t start,
              std::uint64_t length, std::uint32_t number, std::uint8_t type) {
  const std::size_t at = kLayoutHead + index * kEntry;
  layout->At(at, style).At(at + 8, start).At(at + 16, length).At(at + 24, number).At(at + 32, type);
}

TEST(DriveLayout, PartitionsAreReadWithoutUnusedEntriesOrContainers) {
  Record mbr(kLayoutHead + 8 * kEntry);
  mbr.At(0, std::uint32_t(0)).At(4, std::uint32_t(8)).At(8, std::uint32_t(0x1234ABCD));
  PutEntry(&mbr, 0, 0, 1 * kMiB, 100 * kMiB, 1, 0x07);
  PutEntry(&mbr, 1, 0, 101 * kMiB, 50 * kMiB, 0, 0x0F);  // extended container
  PutEntry(&mbr, 2, 0, 0, 0, 0, 0);                      // unused
  PutEntry(&mbr, 3, 0, 0, 0, 0, 0);
  PutEntry(&mbr, 4, 0, 102 * kMiB, 49 * kMiB, 2, 0x83);  // logical drive
  PutEntry(&mbr, 5, 0, 101 * kMiB, 1 * kMiB, 0, 0x05);   // link to the next logical drive
  PutEntry(&mbr, 6, 0, 0, 0, 0, 0);
  PutEntry(&mbr, 7, 0, 0, 0, 0, 0);
  DiskInfo disk = {};
  disk.nBytesPerSector = 512;
  ASSERT_TRUE(ReadDriveLayout(mbr.data(), mbr.size(), &disk));
  ASSERT_EQ(+disk.nPartitionCount, 2);
  EXPECT_EQ(+disk.partitions[0].nPartitionNumber, 1u);
  EXPECT_EQ(+disk.partitions[0].nStartSector, 2048u);
  EXPECT_EQ(+disk.partitions[0].nSizeInBytes, 100 * kMiB);
  EXPECT_EQ(+disk.partitions[1].nPartitionNumber, 2u);
  EXPECT_EQ(+disk.partitions[1].nStartSector, 102 * 2048u);

  Record gpt(kLayoutHead + 3 * kEntry);
  gpt.At(0, std::uint32_t(1)).At(4, std::uint32_t(3));
  PutEntry(&gpt, 0, 1, 1 * kMiB, 100 * kMiB, 1, 0x28);
  PutEntry(&gpt, 1, 1, 101 * kMiB, 16 * kMiB, 2, 0x16);
  PutEntry(&gpt, 2, 1, 117 * kMiB, 8 * kMiB, 200, 0xA2);  // beyond the numbers callers use
  disk = {};
  disk.nBytesPerSector = 4096;
  ASSERT_TRUE(ReadDriveLayout(gpt.data(), gpt.size(), &disk));
  ASSERT_EQ(+disk.nPartitionCount, 2);
  EXPECT_EQ(+disk.partitions[1].nPartitionNumber, 2u);
  EXPECT_EQ(+disk.partitions[1].nStartSector, 101 * 256u);
  EXPECT_EQ(+disk.partitions[1].nSizeInBytes, 16 * kMiB);

  EXPECT_FALSE(ReadDriveLayout(gpt.data(), kLayoutHead - 1, &disk)) << "no head";
  EXPECT_FALSE(ReadDriveLayout(gpt.data(), gpt.size() - 1, &disk)) << "count beyond the buffer";
}

TEST(DriveLayout, GeometryGivesSectorSizeAndLength) {
  struct Case {
    std::uint32_t bytesPerSector;
    std::int32_t expectedSize;
    std::int64_t expectedSectors;
  };
  for (const Case& c : {Case{4096, 4096, 262144}, Case{512, 512, 2097152}, Case{0, 512, 2097152}}) {
    Record geometry(40);
    geometry.At(0, std::int64_t(130))
        .At(8, std::uint32_t(12))
        .At(20, c.bytesPerSector)
        .At(24, std::int64_t(1 << 30));
    DiskInfo disk = {};
    ASSERT_TRUE(ReadDriveGeometry(geometry.data(), geometry.size(), &disk));
    EXPECT_EQ(+disk.nBytesPerSector, c.expectedSize);
    EXPECT_EQ(+disk.nTotalSectors, c.expectedSectors);
    EXPECT_FALSE(ReadDriveGeometry(geometry.data(), 31, &disk));
  }
}

}  // namespace
