#include <new>

#include "common/Log.h"
#include "storage/DriverPath.h"
#include "storage/Q7DiskIOWapper.h"
#include "storage/WriteSectorRequest.h"
#include "storage/win32/DriverService.h"

namespace {

constexpr wchar_t kControlDevice[] = L"\\\\.\\q7diskio";

HANDLE CreateControlDevice() {
  return CreateFileW(kControlDevice, GENERIC_READ | GENERIC_WRITE, /*dwShareMode=*/0,
                     /*lpSecurityAttributes=*/nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     /*hTemplateFile=*/nullptr);
}

std::intptr_t AsValue(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

}  // namespace

CQ7DiskIOWapper::~CQ7DiskIOWapper() {
  if (m_hDevice != 0) CloseHandle(reinterpret_cast<HANDLE>(m_hDevice));
}

std::intptr_t CQ7DiskIOWapper::OpenDevice() {
  constexpr char kFunction[] = "CQ7DiskIOWapper::OpenDevice";
  VTX_LOG(kFunction, "entry");
  HANDLE device = CreateControlDevice();
  if (device != INVALID_HANDLE_VALUE) {
    VTX_LOG(kFunction, "done, hDevicie = 0x%x", unsigned(AsValue(device)));
    return AsValue(device);
  }
  const DWORD error = GetLastError();
  if (error != ERROR_FILE_NOT_FOUND) {
    VTX_LOG(kFunction, "CreateFile failed!  ERROR_FILE_NOT_FOUND = %d\n", int(error));
    return 0;
  }
  wchar_t path[MAX_PATH] = {};
  if (!SetupDriverNameW(path, MAX_PATH)) {
    VTX_LOG(kFunction, "SetupDriverName failed:  %d\n", int(GetLastError()));
    return 0;
  }
  VTX_LOG(kFunction, "driver install Path: %ls\n", path);
  if (!ManageDriver(kDriverServiceName, path, kDriverFunctionInstall)) {
    VTX_LOG(kFunction, "Unable to install driver:  %d\n", int(GetLastError()));
    ManageDriver(kDriverServiceName, path, kDriverFunctionRemove);
    return 0;
  }
  device = CreateControlDevice();
  if (device == INVALID_HANDLE_VALUE) {
    VTX_LOG(kFunction, "Error: CreatFile Failed : %d\n", int(GetLastError()));
    return 0;
  }
  VTX_LOG(kFunction, "done, hDevicie = 0x%x", unsigned(AsValue(device)));
  return AsValue(device);
}

int CQ7DiskIOWapper::WriteSector(std::uint32_t disk, std::uint64_t startSector,
                                 std::uint32_t sectorCount, const unsigned char* buffer) {
  const std::uint32_t sectorSize = SectorSizeOf(disk);
  HANDLE device;
  {
    // One first open at a time: the device allows no second handle.
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_hDevice == 0) m_hDevice = OpenDevice();
    device = reinterpret_cast<HANDLE>(m_hDevice);
  }
  if (device == nullptr) return 0;
  const std::uint32_t length = WriteSectorRequestLength(sectorSize, sectorCount);
  unsigned char* request = length == 0 ? nullptr : new (std::nothrow) unsigned char[length];
  if (request == nullptr) return 0;
  FillWriteSectorRequest(request, disk, startSector, sectorCount, sectorSize, buffer);
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(device, kIoctlWriteSectors, request, length, request, length,
                                  &returned, /*lpOverlapped=*/nullptr);
  const DWORD error = GetLastError();
  delete[] request;
  if (!ok) {
    VTX_LOG("CQ7DiskIOWapper::WriteSector", "write failure error code %d\n", int(error));
  }
  return ok ? 1 : 0;
}

// The driver takes one request at a time per handle; requests stay as they were.
std::unique_ptr<DiskWriteWindow> CQ7DiskIOWapper::OpenWriteWindow(std::uint32_t disk,
                                                                  AsyncWindowMaker) {
  return std::unique_ptr<DiskWriteWindow>(new (std::nothrow) SynchronousWriteWindow(disk));
}

// The driver writes through: nothing of a completed request is pending.
bool CQ7DiskIOWapper::FlushDisk(std::uint32_t) { return true; }

// The driver's one handle serves every disk; no descriptor per disk is opened.
void CQ7DiskIOWapper::CloseDescriptor(std::intptr_t) {}
