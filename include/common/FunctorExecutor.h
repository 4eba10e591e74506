#pragma once

#include <cstddef>

#include "common/BoundaryObject.h"

// A typed call object: a bound member function and the stored arguments of
// its next call. The host asks how many arguments there are, their sizes and
// type names, hands each over as typed bytes (SetArg: 0 accepted, -1 refused)
// and invokes it; arguments stay stored, so Invoke may be repeated. Not safe
// for use from two threads at once. The owner ends it with Release().
//
// Slots: deleting destructor, Invoke, SetArg, GetArgCount, GetArgSize,
// GetArgTypeName, Release (BoundaryObject.h).
template <class R>
class FunctorExecutor {
 public:
  virtual void* ScalarDeletingDestructor(unsigned int flags) = 0;
  virtual R Invoke() = 0;
  virtual int SetArg(const char* typeName, const void* data, std::size_t size,
                     unsigned int index) = 0;
  virtual int GetArgCount() = 0;
  virtual unsigned int GetArgSize(unsigned int index) = 0;
  virtual const char* GetArgTypeName(unsigned int index) = 0;
  virtual void Release() = 0;

 protected:
  ~FunctorExecutor() = default;
};
