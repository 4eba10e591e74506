#ifndef VTX_CHOST_HOST_SINK_H
#define VTX_CHOST_HOST_SINK_H

#include "VantrixAbi.h"

/* A progress sink written in C with the module's vtable layout: it records
   the first and the last report and how many final records (msg_status 3)
   came, and refuses to continue after `allowed` checks (never when
   negative). */
typedef struct HostSink {
  VtxProgress base; /* first: the module sees a VtxProgress* */
  int allowed;
  int stopped;
  int count;
  int finals;
  VtxProgressMsg first;
  VtxProgressMsg last;
} HostSink;

void HostSinkInit(HostSink* sink, int allowed);
/* Checks that exactly one final record came, last, with `code` and `info`. */
void HostSinkCheckFinal(const HostSink* sink, unsigned int code, const char* info);

#endif
