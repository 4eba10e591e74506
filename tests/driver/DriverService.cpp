#include "driver/DriverService.h"

#include <cstring>
#include <memory>
#include <vector>

#include "q7diskio.h"

namespace {

struct ServiceHandleCloser {
  void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

ServiceHandle OpenManager() {
  return ServiceHandle(
      OpenSCManagerW(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr, SC_MANAGER_ALL_ACCESS));
}

const wchar_t kServiceName[] = L"q7diskio";

}  // namespace

DWORD InstallAndStartDriver(const std::wstring& driverPath) {
  ServiceHandle manager = OpenManager();
  if (!manager) return GetLastError();
  ServiceHandle service(CreateServiceW(
      manager.get(), kServiceName, /*lpDisplayName=*/kServiceName, SERVICE_ALL_ACCESS,
      SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, driverPath.c_str(),
      /*lpLoadOrderGroup=*/nullptr, /*lpdwTagId=*/nullptr, /*lpDependencies=*/nullptr,
      /*lpServiceStartName=*/nullptr, /*lpPassword=*/nullptr));
  if (!service && GetLastError() != ERROR_SERVICE_EXISTS) return GetLastError();
  if (!service) service.reset(OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
  if (!service) return GetLastError();
  if (!StartServiceW(service.get(), /*dwNumServiceArgs=*/0, /*lpServiceArgVectors=*/nullptr) &&
      GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
    return GetLastError();
  }
  return 0;
}

DWORD StopAndDeleteDriver() {
  ServiceHandle manager = OpenManager();
  if (!manager) return GetLastError();
  ServiceHandle service(OpenServiceW(manager.get(), kServiceName, SERVICE_ALL_ACCESS));
  SERVICE_STATUS status;
  if (!service || !ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
    return GetLastError();
  }
  return DeleteService(service.get()) ? 0 : GetLastError();
}

HANDLE OpenDriverDevice() {
  return CreateFileW(L"\\\\.\\q7diskio", GENERIC_READ | GENERIC_WRITE, /*dwShareMode=*/0,
                     /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     /*hTemplateFile=*/nullptr);
}

bool IsScratchDisk(unsigned disk, const std::string& firstBytes) {
  const std::wstring name = L"\\\\.\\PhysicalDrive" + std::to_wstring(disk);
  HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  std::string found(firstBytes.size(), '\0');
  DWORD read = 0;
  const bool ok = ReadFile(handle, found.data(), static_cast<DWORD>(found.size()), &read,
                           /*lpOverlapped=*/nullptr);
  CloseHandle(handle);
  return ok && !firstBytes.empty() && found == firstBytes;
}

DWORD SendWriteSectors(HANDLE device, unsigned disk, unsigned long long startSector,
                       unsigned sectorCount, const std::string& data) {
  std::vector<unsigned char> request(Q7DISKIO_REQUEST_OVERHEAD + data.size(), 0);
  Q7WriteSectorRequest head = {disk, startSector, sectorCount, {0}};
  std::memcpy(request.data(), &head, offsetof(Q7WriteSectorRequest, data));
  std::memcpy(request.data() + offsetof(Q7WriteSectorRequest, data), data.data(), data.size());
  DWORD returned = 0;
  const DWORD length = static_cast<DWORD>(request.size());
  if (DeviceIoControl(device, IOCTL_WRITE_SECTORS, request.data(), length, request.data(), length,
                      &returned, /*lpOverlapped=*/nullptr)) {
    return 0;
  }
  return GetLastError();
}
