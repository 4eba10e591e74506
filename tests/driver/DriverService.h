#ifndef VTX_TESTS_DRIVER_DRIVER_SERVICE_H
#define VTX_TESTS_DRIVER_DRIVER_SERVICE_H

#include <windows.h>

#include <string>

// Installs q7diskio.sys as the on-demand kernel-driver service "q7diskio"
// and starts it; a service already installed or running counts as success.
// Returns 0 or the failing step's system error code.
DWORD InstallAndStartDriver(const std::wstring& driverPath);

// Stops and deletes the service (the driver unloads); 0 or the error code.
DWORD StopAndDeleteDriver();

// \\.\q7diskio opened for reading and writing, or INVALID_HANDLE_VALUE.
HANDLE OpenDriverDevice();

// Whether \\.\PhysicalDrive<disk> begins with `firstBytes` (a few KiB of
// random bytes a fixture put at the start of its loop image): the guard that
// keeps a test or benchmark from ever writing a disk that is not its own.
bool IsScratchDisk(unsigned disk, const std::string& firstBytes);

// One IOCTL_WRITE_SECTORS request: the head, then `data`, then a zero spare
// byte. Returns 0 when the driver accepted it, else GetLastError().
DWORD SendWriteSectors(HANDLE device, unsigned disk, unsigned long long startSector,
                       unsigned sectorCount, const std::string& data);

#endif
