#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "algorithms/WiperAlgorithms.h"
#include "disks/LoopDisks.h"
#include "storage/VantrixStorageDevice.h"
#include "support/LogProbe.h"
#include "support/RecordingSink.h"
#include "support/TestFiles.h"
#include "volumes/ScratchVolume.h"
#include "wipers/DeviceDriverWiper.h"

namespace {

constexpr std::size_t kBlock = CDataWiper::kBlockSize;

std::unique_ptr<DiskWriteWindow> Refuse(std::intptr_t, std::uint32_t, std::uint64_t, int* error) {
  *error = ENOSYS;
  return nullptr;
}

// Disk 5 of the fixture: 8 MiB of 512-byte sectors whose backing file sits on
// a 2 MiB tmpfs, so that writes fail past about 2 MiB.
std::unique_ptr<DiskInfo> FaultyDisk() {
  std::ifstream file(fs::path(Environment("VTX_DEVICE_DESCRIPTION")).parent_path() / "disk5.loop");
  std::string device;
  if (!std::getline(file, device)) return nullptr;
  std::unique_ptr<DiskInfo> disk(new DiskInfo());
  disk->nDiskNumber = 5;
  disk->nBytesPerSector = 512;
  disk->nTotalSectors = 16384;
  std::strncpy(disk->szDevicePath, device.c_str(), sizeof(disk->szDevicePath) - 1);
  return disk;
}

// The writes in flight end with the wipe: a wipe of partition 2 of disk 1 or
// of the whole failing disk 5, through io_uring or its synchronous fallback,
// stopped after `checks` stop checks (1 + 40: blocks queued and not yet
// completed are in flight then) or failing. What the target holds afterwards is what the progress
// reported: every reported block is written; after a stop, nothing more;
// after a failure, no report past the failed write; after the wipe's end,
// no byte changes.
TEST(DiskWindow, WritesInFlightEndWithTheWipeAndOnlyCompletedBlocksAreReported) {
  REQUIRE_LOOP_DISKS();
  const struct Row {
    const char* name;
    bool faulty;   // disk 5 whole, else partition 2 of disk 1
    bool refused;  // io_uring refused: synchronous writes
    int checks;    // stop checks allowed (all when negative)
    std::uint32_t code;
  } rows[] = {
      {"stop inside a window", false, false, 41, CDeviceDriverWiper::kDriverCodeStoppedInPass},
      {"fallback, whole partition", false, true, -1, 0},
      {"failing device", true, false, -1, CDeviceDriverWiper::kDriverCodeBlockWriteFailed},
      {"failing device, fallback", true, true, -1, CDeviceDriverWiper::kDriverCodeBlockWriteFailed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::unique_ptr<DiskInfo> disk = row.faulty ? FaultyDisk() : DescribedDisk(1);
    ASSERT_TRUE(disk) << "the fixture's disk is missing";
    PartitionInfo* partition = row.faulty ? nullptr : &disk->partitions[1];
    const std::string path = disk->szDevicePath;
    // The failing disk's unbacked sectors cannot take a pattern beforehand.
    const std::string before = PatternBytes(ReadBytes(path).size());
    if (!row.faulty) WriteBytes(path, before);
    CZeroFillWiperAlgorithm algorithm;
    RecordingSink sink(row.checks);
    LogProbe log;
    std::uint32_t code;
    std::string atEnd;
    {
      VantrixStorageDevice device;
      ASSERT_EQ(partition ? device.OpenPartitionOf(*disk, *partition) : device.OpenDiskOf(*disk),
                0);
      ASSERT_TRUE(device.AttachToChannel(*disk));
      CDeviceDriverWiper wiper(row.refused ? Refuse : nullptr);
      ASSERT_EQ(wiper.init(disk.get(), partition), 0);
      code = wiper.WippeData(&algorithm, &sink);
      atEnd = ReadBytes(path);
    }
    EXPECT_EQ(code, row.code) << std::hex << code;
    // (A kernel without io_uring takes the synchronous way in every row.)
    const std::string fallback = "refused (error " + std::to_string(ENOSYS) + "), writing";
    EXPECT_TRUE(!row.refused || log.Contains(fallback));
    EXPECT_TRUE(ReadBytes(path) == atEnd) << "written after the wipe ended";
    for (std::size_t at = 0; at < sink.reports.size(); ++at) {
      ASSERT_EQ(sink.reports[at].steps_current, std::int64_t(at)) << "reports in order";
    }
    const std::size_t start = partition ? partition->nStartSector * 512 : 0;
    const std::size_t reported = sink.reports.size() * kBlock;
    if (row.faulty) {
      EXPECT_GT(sink.reports.size(), 0u);
      EXPECT_LE(reported, 2u << 20) << "progress past the failed write";
      EXPECT_TRUE(AllBytesAre(atEnd.substr(0, reported), 0xFF));
    } else {
      const std::size_t wiped = code == 0 ? std::size_t(partition->nSizeInBytes) : reported;
      EXPECT_TRUE(code != 0 || sink.reports.size() == 256);
      std::string expected = before;
      expected.replace(start, wiped, wiped, '\xFF');
      EXPECT_TRUE(atEnd == expected) << "the target holds other than the reported blocks";
    }
  }
}

}  // namespace
