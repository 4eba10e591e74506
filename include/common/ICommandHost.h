#pragma once

#include <cstddef>

#include "common/BoundaryObject.h"
#include "common/ICGIResult.h"

template <class R>
class FunctorExecutor;

// The record the command service hands to the host for each command; the host
// keeps it (and frees it) and owns the functor from then on, ending it with its
// Release. Fixed layout: 136 bytes.
struct CommandRecord {
  char name[128];  // NUL-terminated; the rest of the field is zero
  FunctorExecutor<vantrix_Web::ICGIResult*>* functor;
};

static_assert(sizeof(CommandRecord) == 136, "CommandRecord crosses the module boundary");
static_assert(offsetof(CommandRecord, functor) == 128, "CommandRecord layout");

// The host's command registry. The module calls slot 4 only, AddCommand; the
// other slots are the host's (BoundaryObject.h). The host owns the object.
class ICommandHost {
 public:
  virtual void* ScalarDeletingDestructor(unsigned int flags) = 0;  // slot 1
  // How many commands the host holds, and the record at `index` (null when out
  // of range); for the host's own use.
  virtual int GetCommandCount() = 0;                         // slot 2
  virtual const CommandRecord* GetCommandAt(int index) = 0;  // slot 3
  // Takes `record` and the functor in it; the module ignores the result.
  virtual int AddCommand(CommandRecord* record) = 0;  // slot 4

 protected:
  ~ICommandHost() = default;
};
