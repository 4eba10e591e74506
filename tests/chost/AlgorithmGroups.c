/* Algorithms and the catalogue, through their slots. */

#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "HostCheck.h"
#include "HostGroups.h"
#include "HostModule.h"
#include "VantrixAbi.h"
#include "support/AlgorithmTable.h"

#define BLOCK 131072

/* The row of `type`, or null for a number without a class (zero fill). */
static const VtxAlgorithmRow* RowOf(int type) {
  for (int i = 0; i < VTX_ALGORITHM_ROWS; ++i) {
    if (kVtxAlgorithmRows[i].type == type) return &kVtxAlgorithmRows[i];
  }
  return NULL;
}

static int IsUniform(const unsigned char* buffer, size_t size) {
  for (size_t i = 1; i < size; ++i) {
    if (buffer[i] != buffer[0]) return 0;
  }
  return 1;
}

/* Checks the passes and the bytes of passes -1 to 8 of one algorithm: no
   buffer and no size write nothing, an odd size writes that many bytes. */
static void CheckAlgorithm(VtxWiperAlgorithm* algorithm, int type, unsigned char* buffer) {
  const VtxAlgorithmRow* row = RowOf(type);
  const int passes = algorithm->vtbl->GetWipeTimes(algorithm);
  CHECK(passes == (row ? row->passes : 1), "type %d: %d passes", type, passes);
  for (int pass = -1; pass <= 8; ++pass) {
    memset(buffer, 0x5A, BLOCK);
    algorithm->vtbl->FillBuffer(algorithm, NULL, BLOCK, pass);
    algorithm->vtbl->FillBuffer(algorithm, buffer, 0, pass);
    CHECK(buffer[0] == 0x5A, "type %d pass %d: size 0 wrote", type, pass);
    const unsigned char before = (unsigned char)(time(NULL) & 0xFF);
    algorithm->vtbl->FillBuffer(algorithm, buffer, BLOCK - 1, pass);
    const unsigned char after = (unsigned char)(time(NULL) & 0xFF);
    const int expected = row ? row->bytes[pass + 1] : 0xFF;
    CHECK(IsUniform(buffer, BLOCK - 1) && buffer[BLOCK - 1] == 0x5A,
          "type %d pass %d: bytes differ or the last was written", type, pass);
    if (expected == VTX_TIME_BYTE) {
      CHECK(buffer[0] == before || buffer[0] == after, "type %d pass %d: 0x%02X is not the time",
            type, pass, buffer[0]);
    } else {
      CHECK(buffer[0] == expected, "type %d pass %d: 0x%02X, expected 0x%02X", type, pass,
            buffer[0], expected);
    }
  }
}

/* Every type from -1 to 30 and far outside the list (zero fill), through
   the exported function and through the catalogue by type and by index. */
void AlgorithmsThroughTheirSlots(void) {
  VtxGetAlgorithmByType byType = (VtxGetAlgorithmByType)HostExport("__getAlgorithmByType");
  VtxGetAlgorithmDescriptor get = (VtxGetAlgorithmDescriptor)HostExport("__getAlgorithmDescriptor");
  VtxAlgorithmCatalogue* catalogue = get ? get() : NULL;
  CHECK(catalogue != NULL && catalogue == get(), "not one process-wide catalogue");
  if (byType == NULL || catalogue == NULL) return;
  for (int rendering = 1; rendering <= 2; ++rendering) {
    const char* text = catalogue->vtbl->ToJson(catalogue);
    CHECK(text != NULL && strcmp(text, VTX_CATALOGUE_JSON) == 0, "rendering %d: %s", rendering,
          text ? text : "(null)");
  }
  CHECK(catalogue->vtbl->GetAlgorithmCount(catalogue) == 7, "count is not 7");

  unsigned char* buffer = malloc(BLOCK);
  static const int kFar[] = {INT_MIN, 1000, INT_MAX};
  for (int i = -4; i <= 30; ++i) {
    const int type = i < -1 ? kFar[i + 4] : i;
    VtxWiperAlgorithm* objects[] = {
        byType(type), catalogue->vtbl->GetAlgorithmByType(catalogue, type),
        catalogue->vtbl->GetAlgorithmByIndex(catalogue, i < -1 ? type : type - 16)};
    for (int at = 0; at < 3; ++at) {
      VtxWiperAlgorithm* algorithm = objects[at];
      CHECK(algorithm != NULL, "type %d, way %d: no object", type, at);
      if (algorithm == NULL) continue;
      CheckAlgorithm(algorithm, i < -1 ? -1 : type, buffer);
      if (type == 20 && at == 0) {
        /* Ended as Microsoft's `delete` ends it: slot 1, flags 1. */
        void* returned = algorithm->vtbl->ScalarDeletingDestructor(algorithm, VTX_DELETE_MEMORY);
        CHECK(returned == (void*)algorithm, "slot 1 returned %p, not the object", returned);
      } else {
        algorithm->vtbl->Release(algorithm);
      }
    }
  }
  free(buffer);
}
