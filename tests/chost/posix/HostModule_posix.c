#define _GNU_SOURCE
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "HostModule.h"

static void* g_module;
static void* g_devices;
static void* g_purge;

/* The library `name` from the folder of the running program. */
static void* OpenBeside(const char* name, char* why, unsigned int whySize) {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  char* slash = length > 0 ? (path[length] = '\0', strrchr(path, '/')) : NULL;
  if (slash == NULL || (size_t)(slash - path) + strlen(name) + 2 > sizeof(path)) {
    snprintf(why, whySize, "cannot tell the program's folder from /proc/self/exe");
    return NULL;
  }
  strcpy(slash + 1, name);
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) snprintf(why, whySize, "%s", dlerror());
  return library;
}

int HostLoadModule(char* why, unsigned int whySize) {
  g_module = OpenBeside("libDataWiper.so", why, whySize);
  return g_module != NULL;
}

void HostUnloadModule(void) {
  if (g_module) dlclose(g_module);
  g_module = NULL;
}

void* HostSymbol(const char* name) { return g_module ? dlsym(g_module, name) : NULL; }

void* HostDeviceManagerSymbol(const char* name) {
  char why[512];
  if (g_devices == NULL) g_devices = OpenBeside("libDeviceManager.so", why, sizeof(why));
  return g_devices ? dlsym(g_devices, name) : NULL;
}

void* HostPurgeSymbol(const char* name) {
  char why[512];
  if (g_purge == NULL) g_purge = OpenBeside("libVantrixPurge.so", why, sizeof(why));
  return g_purge ? dlsym(g_purge, name) : NULL;
}

int HostMakeFolder(const char* path) { return mkdir(path, 0700) == 0; }

int HostPathExists(const char* path) { return access(path, F_OK) == 0; }

int HostSetEnvironment(const char* name, const char* value) {
  return setenv(name, value, /*overwrite=*/1) == 0;
}

void HostSleep(unsigned int milliseconds) {
  struct timespec wait = {(time_t)(milliseconds / 1000), (long)(milliseconds % 1000) * 1000000L};
  nanosleep(&wait, NULL);
}
