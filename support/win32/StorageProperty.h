#pragma once

#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <vector>

#include "support/win32/UniqueHandle.h"

// The device at `path` (\\.\PhysicalDriveN, \\.\E:) opened for queries
// only: no access rights, shared for reading and writing, so it reads and
// locks nothing and needs no administrator. Not open when there is no such
// device (GetLastError says why).
inline UniqueHandle OpenDeviceForQueries(const wchar_t* path) {
  return UniqueHandle(CreateFileW(path, /*dwDesiredAccess=*/0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                                  /*dwFlagsAndAttributes=*/0, /*hTemplateFile=*/nullptr));
}

// The answer of the device behind `device` to a standard query of `property`
// (IOCTL_STORAGE_QUERY_PROPERTY), at most 4096 bytes; empty when the handle
// is not open or the device does not answer. The handle stays the caller's;
// it needs no access rights, so a handle opened for queries only will do.
inline std::vector<std::uint8_t> QueryStorageProperty(HANDLE device, STORAGE_PROPERTY_ID property) {
  if (device == INVALID_HANDLE_VALUE || device == nullptr) return {};
  STORAGE_PROPERTY_QUERY query = {};
  query.PropertyId = property;
  query.QueryType = PropertyStandardQuery;
  std::vector<std::uint8_t> answer(4096, 0);
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), answer.data(),
                       static_cast<DWORD>(answer.size()), &returned,
                       /*lpOverlapped=*/nullptr)) {
    return {};
  }
  answer.resize(returned);
  return answer;
}
