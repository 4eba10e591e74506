/* The purge library (VantrixPurge.dll / libVantrixPurge.so) through its C
   entries, declared here as a host in another language would. What is no
   disk is refused with its reason on both builds; natively, disk 3 of the
   loop-disk fixture is purged by discard and reads zeros. */

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "HostCheck.h"
#include "HostGroups.h"
#include "HostModule.h"
#include "VantrixAbi.h"

typedef int (*PurgeProgress)(void* context, double done, const char* stage);
typedef char* (*PurgeCapabilities)(const char* device);
typedef char* (*PurgeDrive)(const char* device, const char* method, uint64_t expectedBytes,
                            uint32_t flags, PurgeProgress progress, void* context);
typedef void (*PurgeFreeText)(char* text);

typedef struct PurgeEntries {
  PurgeCapabilities capabilities;
  PurgeDrive drive;
  PurgeFreeText freeText;
} PurgeEntries;

static int LoadEntries(PurgeEntries* entries) {
  entries->capabilities = (PurgeCapabilities)HostPurgeSymbol("__PurgeCapabilities");
  entries->drive = (PurgeDrive)HostPurgeSymbol("__PurgeDrive");
  entries->freeText = (PurgeFreeText)HostPurgeSymbol("__PurgeFreeText");
  CHECK(entries->capabilities != NULL && entries->drive != NULL && entries->freeText != NULL,
        "an entry of the purge library is missing");
  return entries->capabilities != NULL && entries->drive != NULL && entries->freeText != NULL;
}

static int CountCalls(void* context, double done, const char* stage) {
  CHECK(stage != NULL, "no stage");
  CHECK(done >= 0 && done <= 1, "progress %f", done);
  ++*(int*)context;
  return 1;
}

/* `text` holds `part`; the text is freed. */
static void CheckText(const PurgeEntries* entries, char* text, const char* part, const char* what) {
  CHECK(text != NULL && strstr(text, part) != NULL, "%s: %s", what, text ? text : "(null)");
  entries->freeText(text);
}

void PurgeRefusesWhatIsNoDisk(void) {
  PurgeEntries entries;
  if (!LoadEntries(&entries)) return;
  FILE* file = fopen("chost-purge.bin", "wb");
  CHECK(file != NULL && fputs("not a disk", file) >= 0 && fclose(file) == 0,
        "cannot write chost-purge.bin");
  const char* const paths[] = {"chost-purge.bin", "chost-no-such-disk", ""};
  for (int i = 0; i < 3; ++i) {
    CheckText(&entries, entries.capabilities(paths[i]), "{\"error\":\"", paths[i]);
    int calls = 0;
    CheckText(&entries, entries.drive(paths[i], "discard", 10, 0, CountCalls, &calls),
              "\"outcome\":\"refused\"", paths[i]);
    CHECK(calls == 0, "%s: %d progress calls for a refusal", paths[i], calls);
  }
  CheckText(&entries, entries.capabilities(NULL), "{\"error\":\"", "no device");
  CheckText(&entries, entries.drive(NULL, NULL, 0, 0, NULL, NULL), "\"outcome\":\"refused\"",
            "no device");
  CheckText(&entries, entries.drive("chost-purge.bin", "shred", 10, 0, NULL, NULL),
            "no purge method is called", "an unknown method");
  CheckText(&entries, entries.drive("chost-purge.bin", "auto", 10, 8, NULL, NULL), "unknown flags",
            "an unknown flag");
  entries.freeText(NULL);
  remove("chost-purge.bin");
}

void PurgeDiscardsLoopDisk(void) {
  const char* description = getenv("VTX_DEVICE_DESCRIPTION");
  if (description == NULL || !HostPathExists(description)) {
    printf("loop disks unavailable: the fixture described none (see its \"unavailable\")\n");
    return;
  }
  PurgeEntries entries;
  VtxGetDeviceManager getDevices =
      (VtxGetDeviceManager)HostDeviceManagerSymbol("__GetDeviceManager");
  CHECK(getDevices != NULL, "the device manager is missing");
  if (!LoadEntries(&entries) || getDevices == NULL) return;
  VtxDeviceManager* devices = getDevices();
  VtxDiskInfo* disk = calloc(1, sizeof(*disk));
  CHECK(devices->vtbl->Refresh(devices) && devices->vtbl->GetDiskInfo(devices, 3, disk),
        "disk 3: %s", devices->vtbl->GetLastErrorText(devices));
  if (disk->szDevicePath[0] == '\0') {
    printf("records without device paths (Windows): nothing to purge\n");
    free(disk);
    return;
  }
  const long long size = (long long)disk->nBytesPerSector * (long long)disk->nTotalSectors;
  int calls = 0;
  CheckText(&entries,
            entries.drive(disk->szDevicePath, "discard", (uint64_t)size, 1, CountCalls, &calls),
            "\"outcome\":\"purged\"", disk->szDevicePath);
  CHECK(calls > 0, "no progress");
  FILE* device = fopen(disk->szDevicePath, "rb");
  long long zeros = 0;
  for (int byte; device != NULL && (byte = fgetc(device)) == 0;) ++zeros;
  CHECK(zeros == size, "%s: %lld of %lld bytes read as zeros", disk->szDevicePath, zeros, size);
  if (device != NULL) fclose(device);
  free(disk);
}
