#pragma once

#include "common/BoundaryObject.h"
#include "common/IProgresMsg.h"

class IDeviceManager;

// The wipe manager: the one entry point through which every wipe runs. Each
// operation runs the whole wipe on the calling thread and returns 0 when it
// finished with code 0, else -1; the outcome itself travels in one final
// progress record (msg_status 3) sent to `progress` when it is not null.
//
// One process-wide object (__getDataWiperManager); it keeps no state between
// requests, so any number of threads may run requests at once. Callers never
// destroy it. Slots: deleting destructor, WipeDevice, WipeVolFreeSpace,
// WipeFile, WipeFolder (BoundaryObject.h).
class IDataWiperManager {
 public:
  virtual void* ScalarDeletingDestructor(unsigned int flags) = 0;
  // A whole disk when `partition`, taken as unsigned, is above 127; otherwise
  // the partition with that number. `algorithm` is a type number.
  virtual int WipeDevice(IDeviceManager* deviceManager, int disk, int partition, int algorithm,
                         IProgresMsg* progress) = 0;
  // The free space of the mounted partition; `flag` has no effect.
  virtual int WipeVolFreeSpace(IDeviceManager* deviceManager, int disk, int partition, bool flag,
                               IProgresMsg* progress) = 0;
  // Wipes the file and deletes it on success; `flag` has no effect.
  virtual int WipeFile(const char* path, bool flag, IProgresMsg* progress) = 0;
  // Wipes every file of the tree and deletes files and folders on success;
  // `flag` is only logged.
  virtual int WipeFolder(const char* path, bool flag, IProgresMsg* progress) = 0;

 protected:
  ~IDataWiperManager() = default;
};
