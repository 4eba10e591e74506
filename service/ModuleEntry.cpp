#include <new>

#include "common/ModuleExports.h"
#include "platform/IDeviceManager.h"
#include "service/DataWipeServiceManager.h"

DataWipeServiceManager::DataWipeServiceManager()
    : DataWipeServiceManager(__getDataWiperManager(), __GetDeviceManager()) {}

extern "C" DATAWIPER_API vantrix_halvern::IModuleEntry* __Vantrix_ModuleEntry() {
  return new (std::nothrow) DataWipeServiceManager();
}
