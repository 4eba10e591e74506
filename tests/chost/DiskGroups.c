/* The wipe manager on the loop disks of the fixture (tests/scripts/loop_disks.sh),
   through its slots, with the host's device manager and a sink written in C.
   On both builds: the system disk and the system partition of the fixture's
   second description (system.json) are refused and their images keep every
   byte. Natively, where the records carry device paths: a partition and a
   whole disk, every byte read back from the block device, and the free space
   of the mounted partition. Under Wine the loop disk belongs to the driver
   tests, which wipe it through the driver. */

#include <stdio.h>
#include <stdlib.h>

#include "HostCheck.h"
#include "HostFiles.h"
#include "HostGroups.h"
#include "HostModule.h"
#include "HostSink.h"
#include "VantrixAbi.h"

enum { kAlgorithm = 18 };

static uint64_t Sum(const char* path) {
  long long length;
  uint64_t sum = 0;
  CHECK(HostScan(path, 0, 0, &length, &sum) >= 0, "cannot read %s", path);
  return sum;
}

/* Refused before anything is opened: the final record names the refusal and
   the images of both disks keep every byte. */
static void SystemTargetsAreRefused(VtxWipeManager* manager, VtxDeviceManager* devices,
                                    const char* description) {
  char system[1024], images[2][1024];
  HostBeside(description, "system.json", system, sizeof(system));
  HostBeside(description, "disk1.img", images[0], sizeof(images[0]));
  HostBeside(description, "disk3.img", images[1], sizeof(images[1]));
  const uint64_t before[2] = {Sum(images[0]), Sum(images[1])};
  CHECK(HostSetEnvironment("VTX_DEVICE_DESCRIPTION", system), "cannot point at %s", system);
  static const struct {
    int disk, partition;
    unsigned int code;
    const char* info;
  } kRefusals[] = {{3, -1, 0x00300301, "cannot-wipe-system-drive"},
                   {1, 2, 0xE0300301, "VTX_ERROR_SYSTEM_DRIVE_CANNOT_WIPPE"}};
  for (int i = 0; i < 2; ++i) {
    HostSink sink;
    HostSinkInit(&sink, -1);
    const int result = manager->vtbl->WipeDevice(manager, devices, kRefusals[i].disk,
                                                 kRefusals[i].partition, kAlgorithm, &sink.base);
    CHECK(result == -1, "system disk %d: result %d", kRefusals[i].disk, result);
    HostSinkCheckFinal(&sink, kRefusals[i].code, kRefusals[i].info);
  }
  CHECK(HostSetEnvironment("VTX_DEVICE_DESCRIPTION", description), "cannot restore it");
  for (int i = 0; i < 2; ++i) CHECK(Sum(images[i]) == before[i], "%s changed", images[i]);
}

/* A partition, a whole disk through a sink and through none: each disk is
   filled with HOST_PATTERN first and read back whole afterwards. */
static void TargetsAreWipedByteForByte(VtxWipeManager* manager, VtxDeviceManager* devices,
                                       VtxDiskInfo* disk) {
  static const struct {
    int disk, partition, withSink;
  } kTargets[] = {{1, 2, 1}, {3, -1, 1}, {3, -1, 0}};
  for (int i = 0; i < 3; ++i) {
    CHECK(devices->vtbl->GetDiskInfo(devices, kTargets[i].disk, disk), "disk %d: %s",
          kTargets[i].disk, devices->vtbl->GetLastErrorText(devices));
    const long long size = (long long)disk->nBytesPerSector * (long long)disk->nTotalSectors;
    long long start = 0, end = size, length = 0;
    if (kTargets[i].partition > 0) {
      const VtxPartitionInfo* partition = &disk->partitions[kTargets[i].partition - 1];
      start = (long long)partition->nStartSector * disk->nBytesPerSector;
      end = start + (long long)partition->nSizeInBytes;
    }
    CHECK(HostFill(disk->szDevicePath, "r+b", size), "cannot fill %s", disk->szDevicePath);
    HostSink sink;
    HostSinkInit(&sink, -1);
    const int result =
        manager->vtbl->WipeDevice(manager, devices, kTargets[i].disk, kTargets[i].partition,
                                  kAlgorithm, kTargets[i].withSink ? &sink.base : NULL);
    CHECK(result == 0, "disk %d partition %d: result %d", kTargets[i].disk, kTargets[i].partition,
          result);
    if (kTargets[i].withSink) HostSinkCheckFinal(&sink, 0, "");
    uint64_t sum;
    const long long wrong = HostScan(disk->szDevicePath, start, end, &length, &sum);
    CHECK(wrong == 0 && length == size, "disk %d partition %d: %lld bytes not as wiped",
          kTargets[i].disk, kTargets[i].partition, wrong);
  }
}

/* The free space of disk 4's mounted partition: a file on it keeps its bytes. */
static void FreeSpaceIsWiped(VtxWipeManager* manager, VtxDeviceManager* devices,
                             VtxDiskInfo* disk) {
  CHECK(devices->vtbl->GetDiskInfo(devices, 4, disk), "disk 4: %s",
        devices->vtbl->GetLastErrorText(devices));
  const char* mount = disk->partitions[0].szMountPath;
  CHECK(mount[0] != '\0', "disk 4's partition is not described as mounted");
  if (mount[0] == '\0') return;
  char keep[512];
  snprintf(keep, sizeof(keep), "%s/chost-keep.bin", mount);
  CHECK(HostFill(keep, "wb", 100000), "cannot write %s", keep);
  HostSink sink;
  HostSinkInit(&sink, -1);
  CHECK(manager->vtbl->WipeVolFreeSpace(manager, devices, 4, 1, true, &sink.base) == 0,
        "free space wipe failed");
  CHECK(sink.count > 0 && sink.first.msg_status == 0, "no start notice first");
  HostSinkCheckFinal(&sink, 0, "");
  long long length;
  uint64_t sum;
  CHECK(HostScan(keep, 0, 0, &length, &sum) == 0 && length == 100000,
        "a file beside the free space changed");
  remove(keep);
}

void ManagerWipesLoopDisks(void) {
  const char* description = getenv("VTX_DEVICE_DESCRIPTION");
  if (description == NULL || !HostPathExists(description)) {
    printf(
        "loop disks unavailable: the fixture described none (its folder's \"unavailable\" "
        "says why)\n");
    return;
  }
  char saved[1024];
  snprintf(saved, sizeof(saved), "%s", description);
  VtxGetDataWiperManager getManager = (VtxGetDataWiperManager)HostExport("__getDataWiperManager");
  VtxGetDeviceManager getDevices =
      (VtxGetDeviceManager)HostDeviceManagerSymbol("__GetDeviceManager");
  CHECK(getDevices != NULL, "the device manager is missing");
  if (getManager == NULL || getDevices == NULL) return;
  VtxWipeManager* manager = getManager();
  VtxDeviceManager* devices = getDevices();
  VtxDiskInfo* disk = calloc(1, sizeof(*disk));
  SystemTargetsAreRefused(manager, devices, saved);
  CHECK(devices->vtbl->Refresh(devices) && devices->vtbl->GetDiskInfo(devices, 1, disk),
        "disk 1: %s", devices->vtbl->GetLastErrorText(devices));
  if (disk->szDevicePath[0] != '\0') {
    TargetsAreWipedByteForByte(manager, devices, disk);
    FreeSpaceIsWiped(manager, devices, disk);
  } else {
    printf("records without device paths (Windows): the refusals only\n");
  }
  free(disk);
}
