#pragma once

#include "common/BoundaryObject.h"
#include "common/ICommandHost.h"

namespace vantrix_halvern {

// The command service as the host sees it (__Vantrix_ModuleEntry). The host
// owns it and ends it with Release(). Slots: deleting destructor, Initialize,
// GetModuleType, Release (BoundaryObject.h).
class IModuleEntry {
 public:
  virtual void* ScalarDeletingDestructor(unsigned int flags) = 0;
  // Registers the module's commands with `host` (AddCommand) and loads the
  // error interpreter; 0 on success, -1 when nothing was registered.
  virtual int Initialize(ICommandHost* host, void* context) = 0;
  // Always 3.
  virtual int GetModuleType() = 0;
  virtual void Release() = 0;

 protected:
  ~IModuleEntry() = default;
};

}  // namespace vantrix_halvern
