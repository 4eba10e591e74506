#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winioctl.h>

#include <cwchar>
#include <vector>

#include "host/devicemanager/DeviceIdentity.h"
#include "host/devicemanager/StorageDescriptors.h"
#include "support/win32/StorageProperty.h"

DiskIdentity ReadDriveIdentity(const DiskInfo& disk) {
  DiskIdentity identity;
  wchar_t path[32];
  std::swprintf(path, 32, L"\\\\.\\PhysicalDrive%u", disk.nDiskNumber);
  const UniqueHandle drive = OpenDeviceForQueries(path);
  const std::vector<std::uint8_t> device = QueryStorageProperty(drive.get(), StorageDeviceProperty);
  ParseStorageDeviceDescriptor(device.data(), device.size(), &identity);
  const std::vector<std::uint8_t> seek =
      QueryStorageProperty(drive.get(), StorageDeviceSeekPenaltyProperty);
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
