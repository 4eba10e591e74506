#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "HostModule.h"

static HMODULE g_module;

int HostLoadModule(char* why, unsigned int whySize) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(/*hModule=*/NULL, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    snprintf(why, whySize, "GetModuleFileNameW failed, error %lu", GetLastError());
    return 0;
  }
  wchar_t* slash = wcsrchr(path, L'\\');
  if (slash == NULL || (size_t)(slash - path) + 16 > MAX_PATH) {
    snprintf(why, whySize, "odd program path");
    return 0;
  }
  wcscpy(slash + 1, L"DataWiper.dll");
  g_module = LoadLibraryW(path);
  if (g_module == NULL) snprintf(why, whySize, "LoadLibraryW failed, error %lu", GetLastError());
  return g_module != NULL;
}

void* HostSymbol(const char* name) {
  return g_module ? (void*)GetProcAddress(g_module, name) : NULL;
}

void HostUnloadModule(void) {
  if (g_module) FreeLibrary(g_module);
  g_module = NULL;
}

void* HostDeviceManagerSymbol(const char* name) {
  static HMODULE library;
  if (library == NULL) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(/*hModule=*/NULL, path, MAX_PATH);
    wchar_t* slash = length > 0 && length < MAX_PATH ? wcsrchr(path, L'\\') : NULL;
    if (slash == NULL || (size_t)(slash - path) + 19 > MAX_PATH) return NULL;
    wcscpy(slash + 1, L"DeviceManager.dll");
    library = LoadLibraryW(path);
  }
  return library ? (void*)GetProcAddress(library, name) : NULL;
}
int HostMakeFolder(const char* path) {
  return CreateDirectoryA(path, /*lpSecurityAttributes=*/NULL) != 0;
}

void HostSleep(unsigned int milliseconds) { Sleep(milliseconds); }

int HostWorkFolder(char* path, unsigned int size) {
  const DWORD length = GetCurrentDirectoryA(size, path);
  if (length == 0 || length + 2 > size) return 0;
  if (path[length - 1] != '\\') strcat(path, "\\");
  return 1;
}

int HostPathExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

int HostSetEnvironment(const char* name, const char* value) {
  return SetEnvironmentVariableA(name, value) != 0;
}
