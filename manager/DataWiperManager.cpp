#include "manager/DataWiperManager.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "algorithms/WiperAlgorithms.h"
#include "common/Log.h"
#include "common/ModuleExports.h"
#include "platform/DiskInfo.h"
#include "platform/IDeviceManager.h"
#include "storage/FileSystem.h"
#include "storage/MountPoint.h"
#include "storage/VantrixStorageDevice.h"
#include "support/TextHelpers.h"
#include "wipers/DeviceDriverWiper.h"
#include "wipers/FileWiper.h"
#include "wipers/FolderWiper.h"
#include "wipers/VolFreeSpaceWiper.h"

namespace {

constexpr char kNameNotAvailable[] = "VTX_ERROR_DEVICE_NOT_AVAILABLE";
constexpr char kNameFileInitFailed[] = "VTX_DATAWIPER_INITIALIZE_FILE_FAIL";

// The record of one request: zero-filled at entry, the final record at exit.
struct Outcome {
  Outcome() { std::memset(&block, 0, sizeof(block)); }

  // Stores the code and name of a failure; the request then ends with -1.
  void Fail(std::uint32_t code, const char* name) {
    block.msg_errorCode = code;
    std::strncpy(block.msg_info, name, sizeof(block.msg_info) - 1);
    result = -1;
  }

  // Stores a wiper's code; the request ends with -1 unless it is 0.
  void Take(std::uint32_t code) {
    block.msg_errorCode = code;
    result = code != 0 ? -1 : 0;
  }

  // Completes the final record and sends it; returns the request's result.
  int Finish(IProgresMsg* progress) {
    block.msg_type = result == -1 ? MSG_TYPE_ERROR : MSG_TYPE_NORMAL;
    block.msg_status = MSG_STATUS_FINISHED;
    block.steps_total = block.steps_current = 1;
    block.sub_step_total = block.sub_step_current = 1;
    if (progress != nullptr) progress->ReportProgress(&block);
    return result;
  }

  ProgressMsg block;
  int result = -1;
};

// The start notice of the free-space and folder wipes: type 32, status 0,
// every counter 0.
void SendStartNotice(IProgresMsg* progress) {
  if (progress == nullptr) return;
  Outcome notice;
  notice.block.msg_type = MSG_TYPE_NORMAL;
  progress->ReportProgress(&notice.block);
}

// Ends an algorithm obtained from the factory, whatever the outcome.
struct AlgorithmRelease {
  void operator()(IWiperAlgorithm* algorithm) const { algorithm->Release(); }
};
using AlgorithmPtr = std::unique_ptr<IWiperAlgorithm, AlgorithmRelease>;

struct DeviceRelease {
  void operator()(VantrixStorageDevice* device) const { device->Release(); }
};
using DevicePtr = std::unique_ptr<VantrixStorageDevice, DeviceRelease>;

// Asks the device manager for `disk` (Refresh, then GetDiskInfo, once).
bool QueryDisk(IDeviceManager* deviceManager, int disk, DiskInfo* record) {
  std::memset(record, 0, sizeof(*record));
  deviceManager->Refresh();
  return deviceManager->GetDiskInfo(disk, record);
}

}  // namespace

PartitionInfo* CDataWiperManager::FindPartition(DiskInfo* disk, int number) {
  // A copy first: the packed field may sit at any address.
  const int described = static_cast<int>(disk->nPartitionCount);
  const int count = described < kMaxPartitions ? described : kMaxPartitions;
  for (int index = 0; index < count; ++index) {
    if (disk->partitions[index].nPartitionNumber == static_cast<std::uint32_t>(number)) {
      return &disk->partitions[index];
    }
  }
  return nullptr;
}

int CDataWiperManager::WipeDevice(IDeviceManager* deviceManager, int disk, int partition,
                                  int algorithm, IProgresMsg* progress) {
  constexpr char kFunction[] = "CDataWiperManager::WipeDevice";
  VTX_LOG(kFunction, "wipeDevice, disk: %d, pt: %d, algorithm: %d\n", disk, partition, algorithm);
  Outcome outcome;
  DevicePtr device(new (std::nothrow) VantrixStorageDevice);
  std::unique_ptr<DiskInfo> record(new (std::nothrow) DiskInfo);
  AlgorithmPtr wipeAlgorithm;
  PartitionInfo* selected = nullptr;

  [&] {
    if (deviceManager == nullptr || !device || !record) return;
    if (!QueryDisk(deviceManager, disk, record.get())) {
      VTX_LOG(kFunction, "wipeDevice, disk[%d] not found.\n", disk);
      return outcome.Fail(kCodeDiskNotFound, kNameNotAvailable);
    }
    if (static_cast<unsigned int>(partition) > kLastPartitionNumber) {
      if (record->bSystemDisk != 0) {
        VTX_LOG(kFunction, "wipeDevice, disk[%d] is a system drive.\n", disk);
        return outcome.Fail(kCodeSystemDisk, "cannot-wipe-system-drive");
      }
      VTX_LOG(kFunction, "open disk error: %d\n", device->OpenDiskOf(*record));
    } else {
      PartitionInfo* found = FindPartition(record.get(), partition);
      if (found == nullptr) {
        VTX_LOG(kFunction, "wipeDevice, disk[%d] , partition[%d] not found.\n", disk, partition);
        return outcome.Fail(kCodePartitionNotFound, kNameNotAvailable);
      }
      if (found->bSystemPartition != 0) {
        VTX_LOG(kFunction, "wipeDevice, disk[%d] partition[%d] is a system drive.\n", disk,
                partition);
        return outcome.Fail(kCodeSystemPartition, "VTX_ERROR_SYSTEM_DRIVE_CANNOT_WIPPE");
      }
      selected = found;
      VTX_LOG(kFunction, "open nVolume: %d\n", device->OpenPartitionOf(*record, *selected));
    }
    // The wipe writes through the device just opened and checked, or not at all.
    if (!device->IsOpen() || !device->AttachToChannel(*record)) {
      VTX_LOG(kFunction, "open device failed, disk[%d] , partition[%d] .\n", disk, partition);
      return outcome.Fail(kCodeDeviceNotOpen, kNameNotAvailable);
    }
    wipeAlgorithm.reset(__getAlgorithmByType(algorithm));
    if (!wipeAlgorithm) {
      VTX_LOG(kFunction, "invalid wiper algorithm: %d, disk[%d] , partition[%d] .\n", algorithm,
              disk, partition);
      return outcome.Fail(kCodeNoAlgorithm, "VTX_ERROR_INVALID_WIPE_ALGORITHM");
    }
    VTX_LOG(kFunction, "wipe with customized device driver.");
    CDeviceDriverWiper wiper;
    if (wiper.init(record.get(), selected) != 0) {
      VTX_LOG(kFunction, "wipe with customized device driver, init failed.");
      return outcome.Fail(kCodeDeviceWiperInit, "VTX_DATAWIPER_INITIALIZE_DEVICE_FAIL");
    }
    outcome.Take(wiper.WippeData(wipeAlgorithm.get(), progress));
  }();

  VTX_LOG(kFunction, "pDevice = %p partition = %p\n", static_cast<void*>(device.get()),
          static_cast<void*>(selected));
  if (selected != nullptr) {
    const int dismounted = device->DismountVolume();
    VTX_LOG(kFunction, "ret = %d %d\n", dismounted, LastSystemError());
  }
  device.reset();
  const int result = outcome.Finish(progress);
  wipeAlgorithm.reset();
  VTX_LOG(kFunction, "iRet = 0x%x", static_cast<unsigned int>(result));
  return result;
}

int CDataWiperManager::RefusePartitionNumber(int disk, int partition, IProgresMsg* progress) {
  VTX_LOG("CDataWiperManager::WipeDevice", "wipeDevice, disk[%d] , partition[%d] not found.\n",
          disk, partition);
  Outcome outcome;
  outcome.Fail(kCodePartitionNotFound, kNameNotAvailable);
  return outcome.Finish(progress);
}

int CDataWiperManager::WipeVolFreeSpace(IDeviceManager* deviceManager, int disk, int partition,
                                        bool /*flag*/, IProgresMsg* progress) {
  constexpr char kFunction[] = "CDataWiperManager::WipeVolFreeSpace";
  Outcome outcome;
  std::string mountPoint;
  CZeroFillWiperAlgorithm zeroFill;
  VTX_LOG(kFunction, "disk: %d, partition: %d.", disk, partition);

  [&] {
    if (deviceManager == nullptr) return;
    std::unique_ptr<DiskInfo> record(new (std::nothrow) DiskInfo);
    if (!record) return;
    if (!QueryDisk(deviceManager, disk, record.get())) {
      VTX_LOG(kFunction, "disk not found.");
      return outcome.Fail(kCodeFreeSpaceDiskNotFound, kNameNotAvailable);
    }
    if (static_cast<unsigned int>(partition) <= kLastPartitionNumber) {
      const PartitionInfo* found = FindPartition(record.get(), partition);
      if (found != nullptr && found->bSystemPartition != 0) {
        return outcome.Fail(kCodeFreeSpaceSystemPartition, "VTX_UNSUPPORTED_SYSTEM_DRIVE");
      }
      if (found != nullptr) mountPoint = MountPointOf(*found);
    }
    if (mountPoint.empty()) {
      VTX_LOG(kFunction, "volume is not mount.");
      return outcome.Fail(kCodeNotMounted, "VTX_ERROR_FS_NOT_SUPPORT");
    }
    VTX_LOG(kFunction, "mount point: %s.", mountPoint.c_str());
    SendStartNotice(progress);
    CVolFreeSpaceWiper wiper;
    if (wiper.init(mountPoint.c_str()) != 0) {
      VTX_LOG(kFunction, "init failed.");
      return outcome.Fail(kCodeFreeSpaceWiperInit, kNameFileInitFailed);
    }
    outcome.Take(wiper.WippeData(&zeroFill, progress));
    VTX_LOG(kFunction, "iRet = %d", outcome.result);
  }();

  return outcome.Finish(progress);
}

int CDataWiperManager::WipeFile(const char* path, bool /*flag*/, IProgresMsg* progress) {
  Outcome outcome;
  CZeroFillWiperAlgorithm zeroFill;

  [&] {
    if (path == nullptr) return;
    CFileWiper wiper;
    if (wiper.init(path) == -1) return outcome.Fail(kCodeFileWiperInit, kNameFileInitFailed);
    outcome.Take(wiper.WippeData(&zeroFill, progress));
    if (outcome.result == 0) wiper.closeAndDelete();
  }();

  VTX_LOG("CDataWiperManager::WipeFile", "wiping finished, iRet = %d", outcome.result);
  return outcome.Finish(progress);
}

int CDataWiperManager::WipeFolder(const char* path, bool flag, IProgresMsg* progress) {
  constexpr char kFunction[] = "CDataWiperManager::WipeFolder";
  Outcome outcome;
  CZeroFillWiperAlgorithm zeroFill;
  VTX_LOG(kFunction, "entry");

  [&] {
    if (path == nullptr) return;
    VTX_LOG(kFunction, "lpFolder = %s, index = %d", path, flag ? 1 : 0);
    SendStartNotice(progress);
    CFolderWiper wiper;
    if (wiper.init(path) < 0) return outcome.Fail(kCodeFolderWiperInit, kNameFileInitFailed);
    outcome.Take(wiper.WippeData(&zeroFill, progress));
    if (outcome.result != 0) return;
    wiper.removeAll();
    if (PathExists(MakeAbsolute(AnsiToWide(path)))) {
      CFolderWiper again;
      again.init(path);
      again.removeAll();
    }
  }();

  return outcome.Finish(progress);
}

IDataWiperManager* __getDataWiperManager() {
  static CDataWiperManager manager;
  return &manager;
}
