#pragma once

#include <cstddef>
#include <cstdint>

#include "common/BoundaryObject.h"

enum : std::int32_t {
  MSG_TYPE_NORMAL = 32,  // all is well, or the wipe finished without error
  MSG_TYPE_ERROR = 33,   // the wipe failed or was stopped
};

enum : std::int32_t {
  MSG_STATUS_IDLE = 0,
  MSG_STATUS_RUNNING = 2,
  MSG_STATUS_FINISHED = 3,
};

// The progress record a reporter fills and hands over whole. The field names
// are the keys of the progress JSON.
struct ProgressMsg {
  std::int32_t msg_type;
  std::int32_t msg_status;
  std::int64_t steps_total;
  std::int64_t steps_current;
  std::int64_t sub_step_total;
  std::int64_t sub_step_current;
  std::uint32_t msg_errorCode;
  char msg_info[132];  // NUL-terminated, at most 131 characters
};

static_assert(sizeof(ProgressMsg) == 176, "ProgressMsg crosses the module boundary");
static_assert(offsetof(ProgressMsg, msg_status) == 4, "ProgressMsg layout");
static_assert(offsetof(ProgressMsg, steps_total) == 8, "ProgressMsg layout");
static_assert(offsetof(ProgressMsg, steps_current) == 16, "ProgressMsg layout");
static_assert(offsetof(ProgressMsg, sub_step_total) == 24, "ProgressMsg layout");
static_assert(offsetof(ProgressMsg, sub_step_current) == 32, "ProgressMsg layout");
static_assert(offsetof(ProgressMsg, msg_errorCode) == 40, "ProgressMsg layout");
static_assert(offsetof(ProgressMsg, msg_info) == 44, "ProgressMsg layout");

// How a wipe reports progress and learns of stop requests.
//
// Reports come from the wipe task's thread; Stop, Pause and Resume come from
// other threads. ReportProgress copies the whole record before it returns (a
// null record is ignored); the latest report replaces the earlier one.
// CanContinue is false once Stop was called, blocks while the wipe is paused,
// and is true otherwise. A reporter may be handed a null IProgresMsg*: the wipe
// then runs without reports and cannot be stopped.
//
// Slots: deleting destructor, ReportProgress, Pause, Resume, Stop, CanContinue
// (BoundaryObject.h). The module implements it (the progress holder) and also
// calls a host's own implementation, handed to the wipe manager; the module
// never destroys a sink it was given.
class IProgresMsg {
 public:
  virtual void* ScalarDeletingDestructor(unsigned int flags) = 0;
  virtual void ReportProgress(const ProgressMsg* msg) = 0;
  virtual void Pause() = 0;
  virtual void Resume() = 0;
  virtual void Stop() = 0;
  virtual bool CanContinue() = 0;

 protected:
  ~IProgresMsg() = default;
};
