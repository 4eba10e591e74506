#include "HostSink.h"

#include <string.h>

#include "HostCheck.h"

static HostSink* SinkOf(VtxProgress* self) { return (HostSink*)self; }

static void* Destroy(VtxProgress* self, unsigned int flags) {
  (void)flags;
  return self;
}

static void Report(VtxProgress* self, const VtxProgressMsg* msg) {
  HostSink* sink = SinkOf(self);
  if (msg == NULL) return;
  if (sink->count++ == 0) sink->first = *msg;
  sink->last = *msg;
  if (msg->msg_status == 3) ++sink->finals;
}

static void Pause(VtxProgress* self) { (void)self; }

static void Resume(VtxProgress* self) { (void)self; }

static void Stop(VtxProgress* self) { SinkOf(self)->stopped = 1; }

static bool CanContinue(VtxProgress* self) {
  HostSink* sink = SinkOf(self);
  if (sink->stopped) return false;
  if (sink->allowed < 0) return true;
  if (sink->allowed == 0) return false;
  --sink->allowed;
  return true;
}

static const VtxProgressVtbl kSinkVtbl = {Destroy, Report, Pause, Resume, Stop, CanContinue};

void HostSinkInit(HostSink* sink, int allowed) {
  memset(sink, 0, sizeof(*sink));
  sink->base.vtbl = &kSinkVtbl;
  sink->allowed = allowed;
}

void HostSinkCheckFinal(const HostSink* sink, unsigned int code, const char* info) {
  CHECK(sink->finals == 1, "%d final records, expected 1", sink->finals);
  const VtxProgressMsg* last = &sink->last;
  CHECK(last->msg_status == 3, "last record has status %d", last->msg_status);
  CHECK(last->msg_type == (code == 0 ? 32 : 33), "final type %d", last->msg_type);
  CHECK(last->msg_errorCode == code, "final code 0x%08X, expected 0x%08X", last->msg_errorCode,
        code);
  CHECK(strcmp(last->msg_info, info) == 0, "final info \"%s\", expected \"%s\"", last->msg_info,
        info);
  CHECK(last->steps_total == 1 && last->steps_current == 1 && last->sub_step_total == 1 &&
            last->sub_step_current == 1,
        "final counters are not all 1");
}
