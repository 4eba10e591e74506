#pragma once

#include "common/BoundaryObject.h"

// The host's error interpreter: turns an error code of the wipe layer or of
// the system into a short text. One process-wide object, owned by the host's
// library and never destroyed by the module. The module calls slot 2 only
// (BoundaryObject.h).
class IErrorInterpreter {
 public:
  virtual void* ScalarDeletingDestructor(unsigned int flags) = 0;
  // A NUL-terminated text for `code`, never null, also for codes the
  // interpreter does not know. Valid until the next call on the same thread.
  virtual const char* GetErrorString(unsigned int code) = 0;

 protected:
  ~IErrorInterpreter() = default;
};

#ifndef ERRORINTERPRETER_API
#define ERRORINTERPRETER_API
#endif

// The host library's one entry point: its process-wide interpreter.
extern "C" ERRORINTERPRETER_API IErrorInterpreter* __GetErrorInterPreter();
