/* The wipe manager through its slots, with a progress sink written in C. */

#include <stdio.h>

#include "HostCheck.h"
#include "HostFiles.h"
#include "HostGroups.h"
#include "HostModule.h"
#include "HostSink.h"
#include "VantrixAbi.h"

enum { kBlock = 131072 };

void ManagerWipesFilesAndFolders(void) {
  VtxGetDataWiperManager get = (VtxGetDataWiperManager)HostExport("__getDataWiperManager");
  VtxWipeManager* manager = get ? get() : NULL;
  CHECK(manager != NULL && manager == get(), "not one process-wide manager");
  if (manager == NULL) return;
  CHECK(HostMakeFolder("chost-files") || HostPathExists("chost-files"), "no work folder");
  /* The last file goes through a null sink: no reports, still wiped. The
     stopped one is stopped before its first pass and keeps every byte. */
  static const struct {
    long long size;
    int allowed, withSink, result;
    unsigned int code;
  } kFiles[] = {
      {1000, -1, 1, 0, 0}, {kBlock * 2 + 17, -1, 0, 0, 0}, {kBlock * 3, 0, 1, -1, 0x02C0301B}};
  char path[64];
  for (int i = 0; i < 3; ++i) {
    snprintf(path, sizeof(path), "chost-files/file%d.bin", i);
    CHECK(HostFill(path, "wb", kFiles[i].size), "cannot write %s", path);
    HostSink sink;
    HostSinkInit(&sink, kFiles[i].allowed);
    const int result = manager->vtbl->WipeFile(manager, path, kFiles[i].result == 0,
                                               kFiles[i].withSink ? &sink.base : NULL);
    CHECK(result == kFiles[i].result, "%s: result %d", path, result);
    if (kFiles[i].withSink) HostSinkCheckFinal(&sink, kFiles[i].code, "");
    long long length = -1;
    const long long wrong = HostScan(path, 0, 0, &length);
    CHECK(result == 0 ? wrong == -1 : wrong == 0 && length == kFiles[i].size,
          "%s: %lld bytes of %lld changed", path, wrong, length);
    remove(path);
  }

  const char* folders[] = {"chost-files/tree", "chost-files/tree/a", "chost-files/tree/a/b"};
  for (int i = 0; i < 3; ++i) {
    CHECK(HostMakeFolder(folders[i]), "cannot make %s", folders[i]);
    snprintf(path, sizeof(path), "%s/f.bin", folders[i]);
    CHECK(HostFill(path, "wb", 70000L * (i + 1)), "cannot write %s", path);
  }
  HostSink sink;
  HostSinkInit(&sink, -1);
  CHECK(manager->vtbl->WipeFolder(manager, folders[0], false, &sink.base) == 0,
        "folder wipe failed");
  CHECK(!HostPathExists(folders[0]), "the folder survived its wipe");
  CHECK(sink.count > 0 && sink.first.msg_status == 0, "no start notice first");
  HostSinkCheckFinal(&sink, 0, "");
}
