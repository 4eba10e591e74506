/* Algorithms and the catalogue, through their slots. */

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

/* Checks the passes and the bytes of passes -1 to 8 of one algorithm. */
static void CheckAlgorithm(VtxWiperAlgorithm* algorithm, int type, unsigned char* buffer) {
  const VtxAlgorithmRow* row = RowOf(type);
  const int passes = algorithm->vtbl->GetWipeTimes(algorithm);
  CHECK(passes == (row ? row->passes : 1), "type %d: %d passes", type, passes);
  for (int pass = -1; pass <= 8; ++pass) {
    memset(buffer, 0x5A, BLOCK);
    const unsigned char before = (unsigned char)(time(NULL) & 0xFF);
    algorithm->vtbl->FillBuffer(algorithm, buffer, BLOCK, pass);
    const unsigned char after = (unsigned char)(time(NULL) & 0xFF);
    const int expected = row ? row->bytes[pass + 1] : 0xFF;
    CHECK(IsUniform(buffer, BLOCK), "type %d pass %d: bytes differ", type, pass);
    if (expected == VTX_TIME_BYTE) {
      CHECK(buffer[0] == before || buffer[0] == after, "type %d pass %d: 0x%02X is not the time",
            type, pass, buffer[0]);
    } else {
      CHECK(buffer[0] == expected, "type %d pass %d: 0x%02X, expected 0x%02X", type, pass,
            buffer[0], expected);
    }
  }
}

void AlgorithmsThroughTheirSlots(void) {
  VtxGetAlgorithmByType byType = (VtxGetAlgorithmByType)HostExport("__getAlgorithmByType");
  if (byType == NULL) return;
  unsigned char* buffer = malloc(BLOCK);
  for (int type = -1; type <= 30; ++type) {
    VtxWiperAlgorithm* algorithm = byType(type);
    CHECK(algorithm != NULL, "type %d: no object", type);
    if (algorithm == NULL) continue;
    CheckAlgorithm(algorithm, type, buffer);
    if (type == 20) {
      /* Ended as Microsoft's `delete` ends it: slot 1, flags 1. */
      void* returned = algorithm->vtbl->ScalarDeletingDestructor(algorithm, VTX_DELETE_MEMORY);
      CHECK(returned == (void*)algorithm, "slot 1 returned %p, not the object", returned);
    } else {
      algorithm->vtbl->Release(algorithm);
    }
  }
  free(buffer);
}

void CatalogueThroughItsSlots(void) {
  VtxGetAlgorithmDescriptor get = (VtxGetAlgorithmDescriptor)HostExport("__getAlgorithmDescriptor");
  if (get == NULL) return;
  VtxAlgorithmCatalogue* catalogue = get();
  CHECK(catalogue != NULL && catalogue == get(), "not one process-wide catalogue");
  if (catalogue == NULL) return;

  for (int rendering = 1; rendering <= 2; ++rendering) {
    const char* text = catalogue->vtbl->ToJson(catalogue);
    CHECK(text != NULL && strcmp(text, VTX_CATALOGUE_JSON) == 0, "rendering %d: %s", rendering,
          text ? text : "(null)");
  }

  CHECK(catalogue->vtbl->GetAlgorithmCount(catalogue) == 7, "count is not 7");
  unsigned char* buffer = malloc(BLOCK);
  for (int index = -1; index <= 7; ++index) {
    VtxWiperAlgorithm* byIndex = catalogue->vtbl->GetAlgorithmByIndex(catalogue, index);
    VtxWiperAlgorithm* byType = catalogue->vtbl->GetAlgorithmByType(catalogue, index + 16);
    CHECK(byIndex != NULL && byType != NULL, "index %d: no object", index);
    VtxWiperAlgorithm* both[] = {byIndex, byType};
    for (int i = 0; i < 2; ++i) {
      if (both[i] == NULL) continue;
      CheckAlgorithm(both[i], index + 16, buffer);
      both[i]->vtbl->Release(both[i]);
    }
  }
  free(buffer);
}
