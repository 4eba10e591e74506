#ifndef VTX_CHOST_HOST_CHECK_H
#define VTX_CHOST_HOST_CHECK_H

/* The C host's checks: a failed check prints where and why and marks the
   running group failed; the run ends with "N passed, N failed" over groups. */

#if defined(__GNUC__)
#define VTX_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define VTX_PRINTF(f, a)
#endif

void HostCheck(int ok, const char* file, int line, const char* format, ...) VTX_PRINTF(4, 5);

#define CHECK(condition, ...) HostCheck((condition) != 0, __FILE__, __LINE__, __VA_ARGS__)

/* The module's exported function `name`; a failed check when it is missing. */
void* HostExport(const char* name);

/* One group of checks; returns nothing, failures are counted by HostCheck. */
typedef void (*HostGroup)(void);

typedef struct HostGroupEntry {
  const char* name;
  HostGroup run;
} HostGroupEntry;

#endif
