#pragma once

#include <cstdint>

#include "common/BoundaryObject.h"
#include "common/IDataWiperManager.h"
#include "common/IProgresMsg.h"

struct DiskInfo;
struct PartitionInfo;

// The module's wipe manager (IDataWiperManager.h has the contract of the four
// operations). Each request checks the target against the host's device
// manager, refuses what holds the running system before anything is opened,
// picks the algorithm and the wiper, runs the wiper on the calling thread and
// ends with exactly one final progress record: msg_status 3, all four
// counters 1, msg_type 32 (code 0) or 33, the code and name of the outcome.
//
// The object has no data members; everything of a request lives in the
// operation's frame, so one object serves any number of concurrent requests.
// The process-wide instance lives until the module is unloaded.
class CDataWiperManager final : public BoundaryObject<CDataWiperManager, IDataWiperManager> {
 public:
  // The codes this layer reports itself; the wipers' own codes travel
  // through unchanged (DataWiper.h, DeviceDriverWiper.h).
  static constexpr std::uint32_t kCodeDiskNotFound = 0x02203008;
  static constexpr std::uint32_t kCodePartitionNotFound = 0x03703008;
  static constexpr std::uint32_t kCodeSystemPartition = 0xE0300301;
  static constexpr std::uint32_t kCodeSystemDisk = 0x00300301;
  static constexpr std::uint32_t kCodeDeviceNotOpen = 0x06003008;
  static constexpr std::uint32_t kCodeNoAlgorithm = 0x80300302;
  static constexpr std::uint32_t kCodeDeviceWiperInit = 0xD0300305;
  static constexpr std::uint32_t kCodeFreeSpaceDiskNotFound = 0x0B303008;
  static constexpr std::uint32_t kCodeFreeSpaceSystemPartition = 0x0D103020;
  static constexpr std::uint32_t kCodeNotMounted = 0x0D603006;
  static constexpr std::uint32_t kCodeFreeSpaceWiperInit = 0x10300304;
  static constexpr std::uint32_t kCodeFileWiperInit = 0x60300304;
  static constexpr std::uint32_t kCodeFolderWiperInit = 0x50300304;

  int WipeDevice(IDeviceManager* deviceManager, int disk, int partition, int algorithm,
                 IProgresMsg* progress) override;
  int WipeVolFreeSpace(IDeviceManager* deviceManager, int disk, int partition, bool flag,
                       IProgresMsg* progress) override;
  int WipeFile(const char* path, bool flag, IProgresMsg* progress) override;
  int WipeFolder(const char* path, bool flag, IProgresMsg* progress) override;

  // A partition number selects the whole disk when, taken as unsigned, it is
  // above this.
  static constexpr unsigned int kLastPartitionNumber = 127;

  // The end of a partition request whose number no partition table holds
  // (outside 0 to 127): the partition-not-found outcome, sent as the final
  // record; -1. Nothing is asked or opened.
  static int RefusePartitionNumber(int disk, int partition, IProgresMsg* progress);

 private:
  // The first of the disk's valid entries with `number`, or null.
  static PartitionInfo* FindPartition(DiskInfo* disk, int number);
};
