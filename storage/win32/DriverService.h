#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// Loading the disk-I/O driver on demand: its file in "drivers" under the
// current directory, registered with the service control manager as the
// on-demand kernel-driver service "q7diskio" and started. The service outlives
// the module. SetupDriverNameW logs; ManageDriver and its steps print their
// messages on standard output. None of them throws.

// Builds the driver file's path (DriverPath.h) from the current directory into
// `path` (`length` characters) and probes the file. True when the file exists;
// the path is left in the buffer. A current directory too long for the path
// fails with ERROR_BUFFER_OVERFLOW as the last error.
bool SetupDriverNameW(wchar_t* path, DWORD length);

enum : USHORT {
  kDriverFunctionInstall = 1,  // install and start
  kDriverFunctionRemove = 2,   // stop and delete
};

// Runs `function` for the service `name` with the driver file `path`. Install:
// true when the service exists and runs. Remove: always true. Any other
// function, a null path or a service control manager that cannot be opened:
// false.
bool ManageDriver(const wchar_t* name, const wchar_t* path, USHORT function);

// The four steps, each on an open service-control-manager handle. An existing
// service counts as installed, a running one as started.
bool InstallDriver(SC_HANDLE manager, const wchar_t* name, const wchar_t* path);
bool StartDriver(SC_HANDLE manager, const wchar_t* name);
bool StopDriver(SC_HANDLE manager, const wchar_t* name);
bool RemoveDriver(SC_HANDLE manager, const wchar_t* name);
