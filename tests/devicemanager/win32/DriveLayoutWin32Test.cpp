#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/devicemanager/win32/DriveLayout.h"

namespace {

// Control-code output written byte by byte at the offsets Windows documents
// for x64, independently of the SDK's structures; unwritten bytes are 0.
struct Record {
  explicit Record(std::size_t size) : bytes(size, 0) {}
  template <class Value>
  Record& At(std::size_t offset, Value value) {
    std::memcpy(bytes.data() + offset, &value, sizeof(value));
    return *this;
  }
  std::vector<unsigned char> bytes;
};

constexpr std::size_t kLayoutHead = 48;  // style, count, MBR or GPT header
constexpr std::size_t kEntry = 144;      // PARTITION_INFORMATION_EX
constexpr std::uint64_t kMiB = 1 << 20;

// Entry `index`: style, start, length, number, MBR type (or GPT type's first byte).
void PutEntry(Record* layout, int index, std::uint32_t style, std::uint64_t start,
              std::uint64_t length, std::uint32_t number, std::uint8_t type) {
  const std::size_t at = kLayoutHead + index * kEntry;
  layout->At(at, style).At(at + 8, start).At(at + 16, length).At(at + 24, number).At(at + 32, type);
}

// The partitions read, as "number@start-sector:bytes" words, "*" marking the
// system's (and after them the disk, when it is).
std::string Read(const Record& layout, std::int32_t bytesPerSector) {
  DiskInfo disk = {};
  disk.nBytesPerSector = bytesPerSector;
  if (!ReadDriveLayout(layout.bytes.data(), layout.bytes.size(), &disk)) return "refused";
  std::string text;
  for (int at = 0; at < disk.nPartitionCount; ++at) {
    const PartitionInfo& entry = disk.partitions[at];
    text += std::to_string(entry.nPartitionNumber) + "@" + std::to_string(entry.nStartSector) +
            ":" + std::to_string(entry.nSizeInBytes) + (entry.bSystemPartition ? "* " : " ");
  }
  return text + (disk.bSystemDisk ? "*" : "");
}

TEST(DriveLayout, PartitionsAreReadWithoutUnusedEntriesOrContainers) {
  Record mbr(kLayoutHead + 8 * kEntry);  // entries 2, 3, 6 and 7 unused
  mbr.At(0, std::uint32_t(0)).At(4, std::uint32_t(8)).At(8, std::uint32_t(0x1234ABCD));
  PutEntry(&mbr, 0, 0, 1 * kMiB, 100 * kMiB, 1, 0x07);
  mbr.At(kLayoutHead + 33, std::uint8_t(1));             // active: the firmware boots it
  PutEntry(&mbr, 1, 0, 101 * kMiB, 50 * kMiB, 0, 0x0F);  // extended container
  PutEntry(&mbr, 4, 0, 102 * kMiB, 49 * kMiB, 2, 0x83);  // logical drive
  PutEntry(&mbr, 5, 0, 101 * kMiB, 1 * kMiB, 0, 0x05);   // link to the next logical drive
  EXPECT_EQ(Read(mbr, 512), "1@2048:104857600* 2@208896:51380224 *");

  Record gpt(kLayoutHead + 3 * kEntry);
  gpt.At(0, std::uint32_t(1)).At(4, std::uint32_t(3));
  PutEntry(&gpt, 0, 1, 1 * kMiB, 100 * kMiB, 1, 0x28);
  PutEntry(&gpt, 1, 1, 101 * kMiB, 16 * kMiB, 2, 0x16);
  const std::uint8_t efiSystem[16] = {0x28, 0x73, 0x2a, 0xc1, 0x1f, 0xf8, 0xd2, 0x11,
                                      0xba, 0x4b, 0x00, 0xa0, 0xc9, 0x3e, 0xc9, 0x3b};
  PutEntry(&gpt, 2, 1, 117 * kMiB, 8 * kMiB, 200, 0xA2);  // beyond the numbers callers use
  std::memcpy(gpt.bytes.data() + kLayoutHead + 2 * kEntry + 32, efiSystem, 16);
  EXPECT_EQ(Read(gpt, 4096), "1@256:104857600 2@25856:16777216 *")
      << "an EFI system partition beyond the numbers callers use is left out, its disk marked";
  std::memcpy(gpt.bytes.data() + kLayoutHead + kEntry + 32, efiSystem, 16);
  EXPECT_EQ(Read(gpt, 4096), "1@256:104857600 2@25856:16777216* *");

  gpt.bytes.pop_back();
  EXPECT_EQ(Read(gpt, 4096), "refused") << "three entries declared, fewer in the buffer";
  gpt.bytes.resize(kLayoutHead - 1);
  EXPECT_EQ(Read(gpt, 4096), "refused") << "no head";
}

TEST(DriveLayout, GeometryGivesSectorSizeAndLength) {
  struct Case {
    std::uint32_t bytesPerSector;
    std::int32_t expectedSize;  // 0 reads as 512
  };
  for (const Case& c : {Case{4096, 4096}, Case{512, 512}, Case{0, 512}}) {
    Record geometry(40);  // cylinders, media, tracks, sectors per track, bytes per sector, size
    geometry.At(0, std::int64_t(130)).At(8, std::uint32_t(12)).At(20, c.bytesPerSector);
    geometry.At(24, std::int64_t(1 << 30));
    DiskInfo disk = {};
    ASSERT_TRUE(ReadDriveGeometry(geometry.bytes.data(), geometry.bytes.size(), &disk));
    EXPECT_EQ(disk.nBytesPerSector * disk.nTotalSectors, std::int64_t(1) << 30);
    EXPECT_EQ(disk.nBytesPerSector + 0, c.expectedSize);
    EXPECT_FALSE(ReadDriveGeometry(geometry.bytes.data(), 31, &disk));
  }
}

}  // namespace
