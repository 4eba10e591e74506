#pragma once

#include "common/IDataWiperManager.h"
#include "common/IModuleEntry.h"
#include "common/IWiperAlgorithm.h"
#include "common/IWiperAlgorithmDescriptor.h"

// The functions the module exports, undecorated. The build defines
// DATAWIPER_API; a host that includes this header needs nothing defined.
#ifndef DATAWIPER_API
#define DATAWIPER_API
#endif

extern "C" {

// A new algorithm object for `type`; every number without a class of its own
// gives zero fill. Null only when memory runs out. The caller calls Release().
DATAWIPER_API IWiperAlgorithm* __getAlgorithmByType(int type);

// The one algorithm catalogue of the module; never null, never freed by callers.
DATAWIPER_API IWiperAlgorithmDescriptor* __getAlgorithmDescriptor();

// The one wipe manager of the module; never null, never freed by callers.
DATAWIPER_API IDataWiperManager* __getDataWiperManager();

// A new command service; null when memory runs out. The host calls
// Initialize, uses the commands it registers and ends it with Release().
DATAWIPER_API vantrix_halvern::IModuleEntry* __Vantrix_ModuleEntry();
}
