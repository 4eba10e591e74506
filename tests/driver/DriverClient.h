#ifndef VTX_TESTS_DRIVER_DRIVER_CLIENT_H
#define VTX_TESTS_DRIVER_DRIVER_CLIENT_H

// What the driver's test and benchmark do to q7diskio.sys from user mode.
// DWORD results are 0 or the failing call's system error code.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "q7diskio.h"

// The service control manager and, once found or made, the service.
struct DriverServices {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = nullptr;
  ~DriverServices() {
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
  }
  bool Open() { return (service = OpenServiceW(manager, L"q7diskio", SERVICE_ALL_ACCESS)); }
};

// Installs the on-demand kernel-driver service "q7diskio" and starts it; a
// service already installed or running counts as installed and started.
inline DWORD InstallAndStartDriver(const std::wstring& driverPath) {
  DriverServices scm;
  if (!scm.manager) return GetLastError();
  scm.service = CreateServiceW(scm.manager, L"q7diskio", L"q7diskio", SERVICE_ALL_ACCESS,
                               SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                               driverPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  if (!scm.service && (GetLastError() != ERROR_SERVICE_EXISTS || !scm.Open())) {
    return GetLastError();
  }
  if (!StartServiceW(scm.service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
    return GetLastError();
  }
  return 0;
}

// Stops the service (the driver unloads) and deletes it.
inline DWORD StopAndDeleteDriver() {
  DriverServices scm;
  SERVICE_STATUS status;
  if (!scm.manager || !scm.Open() || !ControlService(scm.service, SERVICE_CONTROL_STOP, &status) ||
      !DeleteService(scm.service)) {
    return GetLastError();
  }
  return 0;
}

// The driver's device, opened the way the module opens it.
inline HANDLE OpenDriverDevice() {
  return CreateFileW(L"\\\\.\\q7diskio", GENERIC_READ | GENERIC_WRITE, /*dwShareMode=*/0, nullptr,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whether \\.\PhysicalDrive<disk> begins with `firstBytes`, random bytes a
// fixture put at the start of its loop image: nothing is ever written to a
// disk that is not the fixture's own.
inline bool IsScratchDisk(unsigned disk, const std::string& firstBytes) {
  const std::wstring name = L"\\\\.\\PhysicalDrive" + std::to_wstring(disk);
  HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::string found(firstBytes.size(), '\0');
  DWORD read = 0;
  const bool ok = handle != INVALID_HANDLE_VALUE &&
                  ReadFile(handle, found.data(), static_cast<DWORD>(found.size()), &read, nullptr);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  return ok && !firstBytes.empty() && found == firstBytes;
}

// One IOCTL_WRITE_SECTORS request: the head, `data`, a zero spare byte; the
// same buffer goes in and out, as the module sends it.
inline DWORD SendWriteSectors(HANDLE device, unsigned disk, unsigned long long startSector,
                              unsigned sectorCount, const std::string& data) {
  std::vector<unsigned char> request(Q7DISKIO_REQUEST_OVERHEAD + data.size(), 0);
  const Q7WriteSectorRequest head = {disk, startSector, sectorCount, {0}};
  std::memcpy(request.data(), &head, offsetof(Q7WriteSectorRequest, data));
  std::memcpy(request.data() + offsetof(Q7WriteSectorRequest, data), data.data(), data.size());
  DWORD returned = 0, length = static_cast<DWORD>(request.size());
  return DeviceIoControl(device, IOCTL_WRITE_SECTORS, request.data(), length, request.data(),
                         length, &returned, nullptr)
             ? 0
             : GetLastError();
}

#endif
