#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "HostModule.h"

static HMODULE g_module;
static HMODULE g_devices;
static HMODULE g_purge;

/* The library `name` from the folder of the running program. */
static HMODULE OpenBeside(const wchar_t* name, char* why, unsigned int whySize) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(/*hModule=*/NULL, path, MAX_PATH);
  wchar_t* slash = length > 0 && length < MAX_PATH ? wcsrchr(path, L'\\') : NULL;
  if (slash == NULL || (size_t)(slash - path) + wcslen(name) + 2 > MAX_PATH) {
    snprintf(why, whySize, "GetModuleFileNameW gave no folder, error %lu", GetLastError());
    return NULL;
  }
  wcscpy(slash + 1, name);
  HMODULE library = LoadLibraryW(path);
  if (library == NULL) snprintf(why, whySize, "LoadLibraryW failed, error %lu", GetLastError());
  return library;
}

int HostLoadModule(char* why, unsigned int whySize) {
  g_module = OpenBeside(L"DataWiper.dll", why, whySize);
  return g_module != NULL;
}

void HostUnloadModule(void) {
  if (g_module) FreeLibrary(g_module);
  g_module = NULL;
}

void* HostSymbol(const char* name) {
  return g_module ? (void*)GetProcAddress(g_module, name) : NULL;
}

void* HostDeviceManagerSymbol(const char* name) {
  char why[512];
  if (g_devices == NULL) g_devices = OpenBeside(L"DeviceManager.dll", why, sizeof(why));
  return g_devices ? (void*)GetProcAddress(g_devices, name) : NULL;
}

void* HostPurgeSymbol(const char* name) {
  char why[512];
  if (g_purge == NULL) g_purge = OpenBeside(L"VantrixPurge.dll", why, sizeof(why));
  return g_purge ? (void*)GetProcAddress(g_purge, name) : NULL;
}

int HostMakeFolder(const char* path) {
  return CreateDirectoryA(path, /*lpSecurityAttributes=*/NULL) != 0;
}

int HostPathExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

int HostSetEnvironment(const char* name, const char* value) {
  return SetEnvironmentVariableA(name, value) != 0;
}

void HostSleep(unsigned int milliseconds) { Sleep(milliseconds); }
