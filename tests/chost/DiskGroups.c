/* The wipe manager on the loop disks of the fixture (tests/scripts/loop_disks.sh),
   through its slots, with the host's device manager and a sink written in C.
   On both builds the fixture's system targets (system.json) are refused, each
   with the code of its own kind, which shows the numbers arrived. Natively,
   where the records carry device paths, a whole disk is wiped through no sink
   and read back whole, and the mounted partition's free space through a sink.
   The end-to-end test checks what partition and free-space wipes leave on
   both builds. */

#include <stdio.h>
#include <stdlib.h>

#include "HostCheck.h"
#include "HostFiles.h"
#include "HostGroups.h"
#include "HostModule.h"
#include "HostSink.h"
#include "VantrixAbi.h"

enum { kAlgorithm = 18 };

/* Refused before anything is opened: the final record names the refusal. */
static void SystemTargetsAreRefused(VtxWipeManager* manager, VtxDeviceManager* devices,
                                    const char* description) {
  char system[1024];
  HostBeside(description, "system.json", system, sizeof(system));
  CHECK(HostSetEnvironment("VTX_DEVICE_DESCRIPTION", system), "cannot point at %s", system);
  static const struct {
    int freeSpace, disk, partition;
    unsigned int code;
    const char* info;
  } kRefusals[] = {{0, 3, -1, 0x00300301, "cannot-wipe-system-drive"},
                   {0, 1, 2, 0xE0300301, "VTX_ERROR_SYSTEM_DRIVE_CANNOT_WIPPE"},
                   {1, 1, 2, 0x0D103020, "VTX_UNSUPPORTED_SYSTEM_DRIVE"}};
  for (int i = 0; i < 3; ++i) {
    HostSink sink;
    HostSinkInit(&sink, -1);
    const int disk = kRefusals[i].disk, partition = kRefusals[i].partition;
    const int result =
        kRefusals[i].freeSpace
            ? manager->vtbl->WipeVolFreeSpace(manager, devices, disk, partition, true, &sink.base)
            : manager->vtbl->WipeDevice(manager, devices, disk, partition, kAlgorithm, &sink.base);
    CHECK(result == -1, "refusal %d: result %d", i, result);
    HostSinkCheckFinal(&sink, kRefusals[i].code, kRefusals[i].info);
  }
  CHECK(HostSetEnvironment("VTX_DEVICE_DESCRIPTION", description), "cannot restore it");
}

/* Disk 3 whole, filled with HOST_PATTERN first and read back whole. */
static void DiskIsWipedByteForByte(VtxWipeManager* manager, VtxDeviceManager* devices,
                                   VtxDiskInfo* disk) {
  CHECK(devices->vtbl->GetDiskInfo(devices, 3, disk), "disk 3: %s",
        devices->vtbl->GetLastErrorText(devices));
  const long long size = (long long)disk->nBytesPerSector * (long long)disk->nTotalSectors;
  CHECK(HostFill(disk->szDevicePath, "r+b", size), "cannot fill %s", disk->szDevicePath);
  const int result = manager->vtbl->WipeDevice(manager, devices, 3, -1, kAlgorithm, NULL);
  CHECK(result == 0, "disk 3: result %d", result);
  long long length = 0;
  const long long wrong = HostScan(disk->szDevicePath, 0, size, &length);
  CHECK(wrong == 0 && length == size, "disk 3: %lld bytes not as wiped", wrong);
}

/* The free space of disk 4's mounted partition: the start notice comes first. */
static void FreeSpaceIsWiped(VtxWipeManager* manager, VtxDeviceManager* devices) {
  HostSink sink;
  HostSinkInit(&sink, -1);
  CHECK(manager->vtbl->WipeVolFreeSpace(manager, devices, 4, 1, true, &sink.base) == 0,
        "free space wipe failed");
  CHECK(sink.count > 0 && sink.first.msg_status == 0, "no start notice first");
  HostSinkCheckFinal(&sink, 0, "");
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
    DiskIsWipedByteForByte(manager, devices, disk);
    FreeSpaceIsWiped(manager, devices);
  } else {
    printf("records without device paths (Windows): the refusals only\n");
  }
  free(disk);
}
