/* The wipe manager through its slots, with a progress sink written in C. */

#include <stdio.h>
#include <string.h>

#include "HostCheck.h"
#include "HostGroups.h"
#include "HostModule.h"
#include "HostSink.h"
#include "VantrixAbi.h"

static VtxWipeManager* Manager(void) {
  VtxGetDataWiperManager get = (VtxGetDataWiperManager)HostSymbol("__getDataWiperManager");
  CHECK(get != NULL, "__getDataWiperManager is not exported");
  VtxWipeManager* manager = get ? get() : NULL;
  CHECK(manager != NULL && manager == get(), "not one process-wide manager");
  return manager;
}

/* Writes `size` bytes of 0x5A to `path`; non-zero on success. */
static int WritePattern(const char* path, long size) {
  FILE* file = fopen(path, "wb");
  if (file == NULL) return 0;
  for (long i = 0; i < size; ++i) fputc(0x5A, file);
  return fclose(file) == 0;
}

static long FileSize(const char* path) {
  FILE* file = fopen(path, "rb");
  if (file == NULL) return -1;
  long size = 0;
  while (fgetc(file) != EOF) ++size;
  fclose(file);
  return size;
}

void ManagerWipesFilesAndFolders(void) {
  VtxWipeManager* manager = Manager();
  if (manager == NULL) return;
  CHECK(HostMakeFolder("chost-files") || HostPathExists("chost-files"), "no work folder");
  const long sizes[] = {0, 1000, 131072 * 2 + 17};
  char path[64];
  for (int i = 0; i < 3; ++i) {
    snprintf(path, sizeof(path), "chost-files/file%d.bin", i);
    CHECK(WritePattern(path, sizes[i]), "cannot write %s", path);
    HostSink sink;
    HostSinkInit(&sink, -1);
    /* The last file goes through a null sink: no reports, still wiped. */
    const int result = manager->vtbl->WipeFile(manager, path, true, i < 2 ? &sink.base : NULL);
    CHECK(result == 0, "%s: result %d", path, result);
    CHECK(!HostPathExists(path), "%s survived its wipe", path);
    if (i < 2) HostSinkCheckFinal(&sink, 0, "");
  }

  /* Stopped before the first pass: the file stays as it was. */
  snprintf(path, sizeof(path), "chost-files/stopped.bin");
  CHECK(WritePattern(path, 131072 * 3), "cannot write %s", path);
  HostSink stopping;
  HostSinkInit(&stopping, 0);
  CHECK(manager->vtbl->WipeFile(manager, path, false, &stopping.base) == -1, "stop not reported");
  HostSinkCheckFinal(&stopping, 0x02C0301B, "");
  CHECK(FileSize(path) == 131072 * 3, "a stopped wipe changed the file's size");
  remove(path);

  const char* folders[] = {"chost-files/tree", "chost-files/tree/a", "chost-files/tree/a/b"};
  for (int i = 0; i < 3; ++i) {
    CHECK(HostMakeFolder(folders[i]), "cannot make %s", folders[i]);
    snprintf(path, sizeof(path), "%s/f.bin", folders[i]);
    CHECK(WritePattern(path, 70000L * (i + 1)), "cannot write %s", path);
  }
  HostSink folderSink;
  HostSinkInit(&folderSink, -1);
  CHECK(manager->vtbl->WipeFolder(manager, "chost-files/tree", false, &folderSink.base) == 0,
        "folder wipe failed");
  CHECK(!HostPathExists("chost-files/tree"), "the folder survived its wipe");
  CHECK(folderSink.count > 0 && folderSink.first.msg_status == 0, "no start notice first");
  HostSinkCheckFinal(&folderSink, 0, "");
}
