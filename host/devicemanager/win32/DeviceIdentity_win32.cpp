#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winioctl.h>

#include <cwchar>
#include <vector>

#include "host/devicemanager/DeviceIdentity.h"
#include "host/devicemanager/StorageDescriptors.h"
#include "support/win32/UniqueHandle.h"

namespace {

// Owns a handle to \\.\PhysicalDriveN opened for queries only (no access).
class QueryHandle {
 public:
  explicit QueryHandle(std::uint32_t number) {
    wchar_t path[32];
    std::swprintf(path, 32, L"\\\\.\\PhysicalDrive%u", number);
    m_handle =
        UniqueHandle(CreateFileW(path, /*dwDesiredAccess=*/0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                                 /*dwFlagsAndAttributes=*/0, /*hTemplateFile=*/nullptr));
  }

  // The answer to a standard query of `property`; empty when refused.
  std::vector<unsigned char> Property(STORAGE_PROPERTY_ID property) const {
    if (!m_handle.IsOpen()) return {};
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = property;
    query.QueryType = PropertyStandardQuery;
    std::vector<unsigned char> answer(4096, 0);
    DWORD returned = 0;
    if (!DeviceIoControl(m_handle.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query),
                         answer.data(), static_cast<DWORD>(answer.size()), &returned,
                         /*lpOverlapped=*/nullptr)) {
      return {};
    }
    answer.resize(returned);
    return answer;
  }

 private:
  UniqueHandle m_handle;
};

}  // namespace

DiskIdentity ReadDriveIdentity(const DiskInfo& disk) {
  DiskIdentity identity;
  const QueryHandle drive(disk.nDiskNumber);
  const std::vector<unsigned char> device = drive.Property(StorageDeviceProperty);
  ParseStorageDeviceDescriptor(device.data(), device.size(), &identity);
  const std::vector<unsigned char> seek = drive.Property(StorageDeviceSeekPenaltyProperty);
  ParseSeekPenaltyDescriptor(seek.data(), seek.size(), &identity);
  return identity;
}

std::string DeviceNumbersOf(const DiskInfo&) { return ""; }

MachineIdentity ReadMachineIdentity() {
  // The raw SMBIOS table's provider signature, 'RSMB'.
  const DWORD provider = DWORD{'R'} << 24 | DWORD{'S'} << 16 | DWORD{'M'} << 8 | DWORD{'B'};
  const UINT size = GetSystemFirmwareTable(provider, /*FirmwareTableID=*/0,
                                           /*pFirmwareTableBuffer=*/nullptr, /*BufferSize=*/0);
  if (size == 0) return {};
  std::vector<unsigned char> table(size, 0);
  if (GetSystemFirmwareTable(provider, 0, table.data(), size) != size) return {};
  return ParseSmbiosSystem(table.data(), table.size());
}
