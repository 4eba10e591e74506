/* The host's device manager, through its slots, on the description file
   tests/chost/devices.json (VTX_DEVICE_DESCRIPTION). */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "HostCheck.h"
#include "HostFiles.h"
#include "HostGroups.h"
#include "HostModule.h"
#include "VantrixAbi.h"

void DeviceManagerThroughItsSlots(void) {
  VtxGetDeviceManager get = (VtxGetDeviceManager)HostDeviceManagerSymbol("__GetDeviceManager");
  CHECK(get != NULL, "__GetDeviceManager is not exported");
  if (get == NULL) return;
  VtxDeviceManager* manager = get();
  CHECK(manager != NULL && manager == get(), "not one process-wide device manager");
  if (manager == NULL) return;
  const VtxDeviceManagerVtbl* slots = manager->vtbl;

  CHECK(slots->Refresh(manager), "Refresh: %s", slots->GetLastErrorText(manager));
  CHECK(slots->GetDiskCount(manager) == 2, "%d disks", slots->GetDiskCount(manager));
  CHECK(slots->GetDiskNumberAt(manager, 0) == 1 && slots->GetDiskNumberAt(manager, 1) == 3 &&
            slots->GetDiskNumberAt(manager, 2) == -1,
        "disk numbers out of order");
  for (int slot = 0; slot < 5; ++slot) {
    CHECK(slots->Reserved[slot](manager) == 0, "slot %d is not harmless", slot + 5);
  }

  VtxDiskInfo* disk = calloc(1, sizeof(*disk));
  CHECK(slots->GetDiskInfo(manager, 3, disk), "disk 3: %s", slots->GetLastErrorText(manager));
  CHECK(disk->nDiskNumber == 3 && disk->bSystemDisk == 1, "disk 3: number or system flag");
  CHECK(disk->nBytesPerSector == 4096 && disk->nTotalSectors == 2048, "disk 3: geometry");
  CHECK(disk->nPartitionCount == 1, "disk 3: %d partitions", (int)disk->nPartitionCount);
  const VtxPartitionInfo* partition = &disk->partitions[0];
  CHECK(partition->cDriveLetter == 'F' && partition->nPartitionNumber == 2,
        "partition: letter, number");
  CHECK(partition->nStartSector == 256 && partition->nSizeInBytes == 1048576, "partition: place");
  CHECK(partition->bSystemPartition == 1, "partition: system flag");

  CHECK(!slots->GetDiskInfo(manager, 2, disk), "disk 2 is not described");
  CHECK(strcmp(slots->GetLastErrorText(manager), "no disk 2") == 0, "reason: %s",
        slots->GetLastErrorText(manager));

  /* What is no description (a folder, nesting two million levels deep) is
     refused by Refresh: no disk, no crash. */
  const char* description = getenv("VTX_DEVICE_DESCRIPTION");
  char folder[1024];
  HostBeside(description != NULL ? description : "", "", folder, sizeof(folder));
  FILE* deep = fopen("chost-deep.json", "wb");
  for (int level = 0; deep != NULL && level < 2000000; ++level) fputc('[', deep);
  CHECK(deep != NULL && fclose(deep) == 0, "cannot write chost-deep.json");
  const char* const hostile[] = {folder, "chost-deep.json"};
  for (int i = 0; i < 2; ++i) {
    CHECK(HostSetEnvironment("VTX_DEVICE_DESCRIPTION", hostile[i]), "cannot name %s", hostile[i]);
    CHECK(!slots->Refresh(manager), "%s: Refresh succeeded", hostile[i]);
    CHECK(slots->GetDiskCount(manager) == 0 && !slots->GetDiskInfo(manager, 3, disk),
          "%s: disks described", hostile[i]);
  }
  remove("chost-deep.json");
  CHECK(description != NULL && HostSetEnvironment("VTX_DEVICE_DESCRIPTION", description),
        "cannot restore the description");
  CHECK(slots->Refresh(manager), "Refresh after restoring: %s", slots->GetLastErrorText(manager));
  free(disk);
}

void DeviceManagerIdentityExports(void) {
  VtxGetDiskIdentity identity = (VtxGetDiskIdentity)HostDeviceManagerSymbol("__GetDiskIdentity");
  VtxGetMachineIdentity machine =
      (VtxGetMachineIdentity)HostDeviceManagerSymbol("__GetMachineIdentity");
  VtxHoldDiskListing hold = (VtxHoldDiskListing)HostDeviceManagerSymbol("__HoldDiskListing");
  CHECK(identity != NULL && machine != NULL && hold != NULL, "an identity export is missing");
  if (identity == NULL || machine == NULL || hold == NULL) return;

  const char* expected =
      "{\"number\":3,\"vendor\":null,\"model\":\"Described Disk\",\"serial\":\"DM-0003\","
      "\"firmware\":null,\"wwn\":null,\"transport\":null,\"rotational\":false,"
      "\"logicalSectorBytes\":4096,\"physicalSectorBytes\":4096,\"sizeBytes\":8388608,"
      "\"deviceNumbers\":null,\"stableNumber\":true}";
  const int length = (int)strlen(expected);
  char small[8] = "unset";
  CHECK(identity(3, small, sizeof(small)) == length && strcmp(small, "unset") == 0,
        "a buffer too small is left alone and the length answered");
  char buffer[512];
  CHECK(identity(3, buffer, length) == length && identity(3, buffer, length + 1) == length &&
            strcmp(buffer, expected) == 0,
        "disk 3: %s", buffer);
  CHECK(identity(2, buffer, sizeof(buffer)) == -1, "disk 2 is not described");
  CHECK(machine(buffer, sizeof(buffer)) > 0 && strncmp(buffer, "{\"vendor\":", 10) == 0,
        "machine: %s", buffer);
  CHECK(hold(1) == 2 && hold(0) == 2, "holding and letting go of the two disks");
}
