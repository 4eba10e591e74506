/* A host written in C that drives the built module only through its exported
   functions and the vtables of VantrixAbi.h, by slot, as a host built with
   Microsoft's compiler does. Run with no arguments, it runs every group that
   needs no fixture; with a group's name, that group alone. It exits non-zero
   when any check failed or no group ran. */

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "HostCheck.h"
#include "HostGroups.h"
#include "HostModule.h"

static int g_groupFailed;
static int g_passed, g_failed;

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

void* HostExport(const char* name) {
  void* function = HostSymbol(name);
  CHECK(function != NULL, "%s is not exported", name);
  return function;
}

static void RunGroup(const HostGroupEntry* group) {
  g_groupFailed = 0;
  group->run();
  printf("%-40s %s\n", group->name, g_groupFailed ? "FAILED" : "ok");
  fflush(stdout);
  if (g_groupFailed)
    ++g_failed;
  else
    ++g_passed;
}

int main(int argc, char** argv) {
  char why[512] = "";
  if (!HostLoadModule(why, sizeof(why))) {
    fprintf(stderr, "cannot load the module: %s\n", why);
    return 1;
  }
  const char* only = argc > 1 ? argv[1] : NULL;
  for (const HostGroupEntry* group = kHostGroups; group->name != NULL; ++group) {
    if (only == NULL || strcmp(only, group->name) == 0) RunGroup(group);
  }
  for (const HostGroupEntry* group = kHostFixtureGroups; group->name != NULL; ++group) {
    if (only != NULL && strcmp(only, group->name) == 0) RunGroup(group);
  }
  HostUnloadModule();
  printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 && g_passed > 0 ? 0 : 1;
}
