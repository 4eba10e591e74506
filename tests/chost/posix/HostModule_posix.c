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

int HostLoadModule(char* why, unsigned int whySize) {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) {
    snprintf(why, whySize, "cannot read /proc/self/exe");
    return 0;
  }
  path[length] = '\0';
  char* slash = strrchr(path, '/');
  if (slash == NULL || (size_t)(slash - path) + sizeof("/libDataWiper.so") > sizeof(path)) {
    snprintf(why, whySize, "odd program path %s", path);
    return 0;
  }
  strcpy(slash, "/libDataWiper.so");
  g_module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (g_module == NULL) snprintf(why, whySize, "%s", dlerror());
  return g_module != NULL;
}

void* HostSymbol(const char* name) { return g_module ? dlsym(g_module, name) : NULL; }

void HostUnloadModule(void) {
  if (g_module) dlclose(g_module);
  g_module = NULL;
}

void* HostDeviceManagerSymbol(const char* name) {
  static void* library;
  if (library == NULL) {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return NULL;
    path[length] = '\0';
    char* slash = strrchr(path, '/');
    if (slash == NULL || (size_t)(slash - path) + sizeof("/libDeviceManager.so") > sizeof(path)) {
      return NULL;
    }
    strcpy(slash, "/libDeviceManager.so");
    library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  }
  return library ? dlsym(library, name) : NULL;
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

int HostWorkFolder(char* path, unsigned int size) {
  if (getcwd(path, size) == NULL || strlen(path) + 2 > size) return 0;
  strcat(path, "/");
  return 1;
}
