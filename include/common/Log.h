#pragma once

// Appends one line to the process-wide log "vantrix.log":
//   [Vantrix]YYYY-MM-DD hh:mm:ss    <function>:<line> <message>
// `function` is the qualified name of the member that logs ("Class::Member").
// The format takes printf conversions; "%ls" (and "%S") take wide text on both
// builds. Safe to call from any thread; lines never interleave. Never fails
// towards the caller: a null format, an unwritable file or a failed
// allocation write nothing.
void WriteLog(const char* function, unsigned int line, const char* format, ...)
    __attribute__((format(gnu_printf, 3, 4)));

// Logs under `function` with the caller's source line.
#define VTX_LOG(function, ...) WriteLog(function, __LINE__, __VA_ARGS__)
