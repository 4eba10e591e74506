#ifndef VTX_CHOST_HOST_FILES_H
#define VTX_CHOST_HOST_FILES_H

#include <stddef.h>

/* Files the C host's groups make and read back: targets are filled with
   HOST_PATTERN, and the wipes they check leave HOST_WIPED. */
#define HOST_PATTERN 0x5A
#define HOST_WIPED 0xFF

/* Writes `size` bytes of HOST_PATTERN from the start of `path`, opened with
   `mode` ("wb" makes a file, "r+b" overwrites a device); non-zero on success. */
int HostFill(const char* path, const char* mode, long long size);
/* Reads the whole of `path` and counts the bytes that are not HOST_WIPED
   inside [start, end) and not HOST_PATTERN elsewhere, and sets `*length`;
   -1 when unreadable. */
long long HostScan(const char* path, long long start, long long end, long long* length);
/* The path of `file` in the folder of `path` (either separator). */
void HostBeside(const char* path, const char* file, char* out, size_t size);

#endif
