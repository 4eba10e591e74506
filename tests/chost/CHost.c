/* A host written in C that drives the built module only through its exported
   functions and the vtables of VantrixAbi.h, by slot, as a host built with
   Microsoft's compiler does. Run with no arguments, it runs every group and
   exits non-zero when any check failed. */

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "HostCheck.h"
#include "HostGroups.h"
#include "HostModule.h"

static int g_groupFailed;

void HostCheck(int ok, const char* file, int line, const char* format, ...) {
  if (ok) return;
  g_groupFailed = 1;
  va_list args;
  va_start(args, format);
  fprintf(stderr, "%s:%d: check failed: ", file, line);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
  va_end(args);
}

int main(int argc, char** argv) {
  char why[512] = "";
  if (!HostLoadModule(why, sizeof(why))) {
    fprintf(stderr, "cannot load the module: %s\n", why);
    return 1;
  }
  const char* only = argc > 1 ? argv[1] : NULL;
  int passed = 0, failed = 0;
  for (const HostGroupEntry* group = kHostGroups; group->name != NULL; ++group) {
    if (only != NULL && strcmp(only, group->name) != 0) continue;
    g_groupFailed = 0;
    group->run();
    printf("%-40s %s\n", group->name, g_groupFailed ? "FAILED" : "ok");
    fflush(stdout);
    if (g_groupFailed)
      ++failed;
    else
      ++passed;
  }
  HostUnloadModule();
  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
