#include "HostFiles.h"

#include <stdio.h>
#include <string.h>

enum { kBlock = 65536 };

int HostFill(const char* path, const char* mode, long long size) {
  FILE* file = fopen(path, mode);
  if (file == NULL) return 0;
  static unsigned char block[kBlock];
  memset(block, HOST_PATTERN, sizeof(block));
  for (long long done = 0; done < size; done += kBlock) {
    const size_t part = size - done < kBlock ? (size_t)(size - done) : kBlock;
    if (fwrite(block, 1, part, file) != part) break;
  }
  return fclose(file) == 0;
}

long long HostScan(const char* path, long long start, long long end, long long* length) {
  FILE* file = fopen(path, "rb");
  if (file == NULL) return -1;
  static unsigned char block[kBlock];
  long long offset = 0, wrong = 0;
  for (size_t got; (got = fread(block, 1, sizeof(block), file)) > 0;) {
    for (size_t i = 0; i < got; ++i, ++offset) {
      wrong += block[i] != (offset >= start && offset < end ? HOST_WIPED : HOST_PATTERN);
    }
  }
  fclose(file);
  *length = offset;
  return wrong;
}

void HostBeside(const char* path, const char* file, char* out, size_t size) {
  snprintf(out, size, "%s", path);
  char* slash = strrchr(out, '/');
  char* backslash = strrchr(out, '\\');
  if (backslash > slash) slash = backslash;
  const size_t folder = slash == NULL ? 0 : (size_t)(slash - out) + 1;
  snprintf(out + folder, size - folder, "%s", file);
}
