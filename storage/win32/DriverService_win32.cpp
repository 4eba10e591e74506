#include "storage/win32/DriverService.h"

#include <cstdarg>
#include <cstdio>

#include "common/Log.h"
#include "storage/DriverPath.h"

namespace {

// One message of the service steps on standard output, flushed at once so
// that a host reading the stream sees it while the module waits.
void Say(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

// Owns one handle of the service control manager or of a service.
class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle) : m_handle(handle) {}
  ~ServiceHandle() {
    if (m_handle != nullptr) CloseServiceHandle(m_handle);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  SC_HANDLE Get() const { return m_handle; }

 private:
  SC_HANDLE m_handle;
};

SC_HANDLE OpenDriverService(SC_HANDLE manager, const wchar_t* name) {
  SC_HANDLE service = OpenServiceW(manager, name, SERVICE_ALL_ACCESS);
  if (service == nullptr) Say("OpenService failed!  Error = %d \n", int(GetLastError()));
  return service;
}

}  // namespace

bool SetupDriverNameW(wchar_t* path, DWORD length) {
  constexpr char kFunction[] = "SetupDriverNameW";
  const DWORD folder = GetCurrentDirectoryW(length, path);
  if (folder == 0) {
    const DWORD error = GetLastError();
    VTX_LOG(kFunction, "GetCurrentDirectory failed!  Error = %d \n", int(error));
    SetLastError(error);
    return false;
  }
  SYSTEM_INFO system;
  GetNativeSystemInfo(&system);
  if (folder >= length || !AppendDriverFileName(path, length, system.wProcessorArchitecture)) {
    // The directory alone, or with the driver's file name, exceeds the buffer.
    VTX_LOG(kFunction, "driver path exceeds %d characters\n", int(length));
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return false;
  }
  VTX_LOG(kFunction, "location: %ls", path);
  HANDLE file = CreateFileW(path, GENERIC_READ, /*dwShareMode=*/0,
                            /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            /*hTemplateFile=*/nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    VTX_LOG(kFunction, "%ls is not loaded, err: %d\n", path, int(error));
    SetLastError(error);  // for the caller's own report
    return false;
  }
  CloseHandle(file);
  return true;
}

bool ManageDriver(const wchar_t* name, const wchar_t* path, USHORT function) {
  if (path == nullptr || name == nullptr) {
    Say("Invalid Driver or Service provided to ManageDriver() \n");
    return false;
  }
  ServiceHandle manager(
      OpenSCManagerW(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr, SC_MANAGER_ALL_ACCESS));
  if (manager.Get() == nullptr) {
    Say("Open SC Manager failed! Error = %d \n", int(GetLastError()));
    return false;
  }
  switch (function) {
    case kDriverFunctionInstall:
      return InstallDriver(manager.Get(), name, path) && StartDriver(manager.Get(), name);
    case kDriverFunctionRemove:
      StopDriver(manager.Get(), name);
      RemoveDriver(manager.Get(), name);
      return true;
    default:
      Say("Unknown ManageDriver() function. \n");
      return false;
  }
}

bool InstallDriver(SC_HANDLE manager, const wchar_t* name, const wchar_t* path) {
  SC_HANDLE service = CreateServiceW(
      manager, name, /*lpDisplayName=*/name, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, /*lpBinaryPathName=*/path,
      /*lpLoadOrderGroup=*/nullptr, /*lpdwTagId=*/nullptr, /*lpDependencies=*/nullptr,
      /*lpServiceStartName=*/nullptr, /*lpPassword=*/nullptr);
  if (service == nullptr) {
    const DWORD error = GetLastError();
    if (error != ERROR_SERVICE_EXISTS) {
      Say("CreateService failed!  Error = %d \n", int(error));
      return false;
    }
    return true;
  }
  CloseServiceHandle(service);
  return true;
}

bool StartDriver(SC_HANDLE manager, const wchar_t* name) {
  ServiceHandle service(OpenDriverService(manager, name));
  if (service.Get() == nullptr) return false;
  if (!StartServiceW(service.Get(), /*dwNumServiceArgs=*/0, /*lpServiceArgVectors=*/nullptr)) {
    const DWORD error = GetLastError();
    if (error != ERROR_SERVICE_ALREADY_RUNNING) {
      Say("StartService failure! Error = %d \n", int(error));
      return false;
    }
  }
  return true;
}

bool StopDriver(SC_HANDLE manager, const wchar_t* name) {
  ServiceHandle service(OpenDriverService(manager, name));
  if (service.Get() == nullptr) return false;
  SERVICE_STATUS status;
  const bool stopped = ControlService(service.Get(), SERVICE_CONTROL_STOP, &status) != FALSE;
  if (!stopped) Say("ControlService failed!  Error = %d \n", int(GetLastError()));
  return stopped;
}

bool RemoveDriver(SC_HANDLE manager, const wchar_t* name) {
  ServiceHandle service(OpenDriverService(manager, name));
  if (service.Get() == nullptr) return false;
  const bool removed = DeleteService(service.Get()) != FALSE;
  if (!removed) Say("DeleteService failed!  Error = %d \n", int(GetLastError()));
  return removed;
}
