#pragma once

#include "common/BoundaryObject.h"

namespace vantrix_Web {

// The result of every command: a success flag, an error text and the answer
// as JSON text. The host owns a result it receives and ends it with Release();
// the text pointers stay valid until then. A result is immutable and used by
// one thread at a time. Slots: deleting destructor, GetErrorMsg, IsSuccess,
// GetResultJson, Release (BoundaryObject.h).
class ICGIResult {
 public:
  virtual void* ScalarDeletingDestructor(unsigned int flags) = 0;
  virtual const char* GetErrorMsg() = 0;
  virtual bool IsSuccess() = 0;
  virtual const char* GetResultJson() = 0;
  virtual void Release() = 0;

 protected:
  ~ICGIResult() = default;
};

}  // namespace vantrix_Web
