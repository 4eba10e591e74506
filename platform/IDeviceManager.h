#pragma once

#include "common/BoundaryObject.h"
#include "platform/DiskInfo.h"

// The host's device manager: its description of the machine's disks, their
// partitions, letters and which of them hold the running system. The module
// calls slots 2 and 10 only (Refresh, then GetDiskInfo, once per request); the
// other slots belong to the host's library and are declared so that the
// layout matches it (BoundaryObject.h). One process-wide object, owned by the
// host's library: the module never destroys it. Any thread may call it.
class IDeviceManager {
 public:
  virtual void* ScalarDeletingDestructor(unsigned int flags) = 0;  // slot 1
  // Re-reads the machine's disks; the module ignores the result.
  virtual bool Refresh() = 0;  // slot 2
  // How many disks the manager knows, and the disk number at `index` (0 to
  // count - 1), or -1 for an index out of range.
  virtual int GetDiskCount() = 0;              // slot 3
  virtual int GetDiskNumberAt(int index) = 0;  // slot 4
  // Slots 5 to 9 are the library's own and have no meaning for this module.
  virtual int ReservedSlot5() = 0;
  virtual int ReservedSlot6() = 0;
  virtual int ReservedSlot7() = 0;
  virtual int ReservedSlot8() = 0;
  virtual int ReservedSlot9() = 0;
  // Fills `out` (zero-filled by the caller) for disk number `disk`; false when
  // the disk is not available.
  virtual bool GetDiskInfo(int disk, DiskInfo* out) = 0;  // slot 10
  // The reason of the last failed GetDiskInfo, never null ("" when none).
  virtual const char* GetLastErrorText() = 0;  // slot 11

 protected:
  ~IDeviceManager() = default;
};

#ifndef DEVICEMANAGER_API
#define DEVICEMANAGER_API
#endif

// The host library's one entry point: its process-wide device manager.
extern "C" DEVICEMANAGER_API IDeviceManager* __GetDeviceManager();
