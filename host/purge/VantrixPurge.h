/* The purge library's C interface (VantrixPurge.dll / libVantrixPurge.so),
   for hosts in any language. Texts are UTF-8 JSON, allocated by the library
   and freed with __PurgeFreeText. Every call opens the device itself and
   closes it before returning; calls may come from any thread. */
#ifndef VANTRIX_PURGE_H
#define VANTRIX_PURGE_H

#include <stdint.h>

#ifndef VANTRIX_PURGE_API
#define VANTRIX_PURGE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Called with the fraction done and the stage; return 0 to ask to stop. */
typedef int (*VantrixPurgeProgress)(void* context, double done, const char* stage);

/* The capabilities of the drive at `device` (the DriveCapabilities JSON),
   or {"error":"..."}; null only when memory runs out. */
VANTRIX_PURGE_API char* __PurgeCapabilities(const char* device);

/* Purges the drive at `device` with `method` (a method name, "auto" for the
   strongest the drive reports). `expectedBytes` must be the drive's size;
   flags: 1 read every sector back, 2 send a method the drive does not report.
   Returns the result JSON ("outcome", "method", "message", "nistCategory",
   "answers", "readBack", ...); null only when memory runs out. */
VANTRIX_PURGE_API char* __PurgeDrive(const char* device, const char* method, uint64_t expectedBytes,
                                     uint32_t flags, VantrixPurgeProgress progress, void* context);

VANTRIX_PURGE_API void __PurgeFreeText(char* text);

#ifdef __cplusplus
}
#endif

#endif
