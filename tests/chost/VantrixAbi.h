#ifndef VANTRIX_ABI_H
#define VANTRIX_ABI_H

/* The module's binary interface, written in C.

   Every object that crosses the module boundary is a pointer to a table of
   functions (its vtable), laid out as Microsoft's x64 C++ compiler lays it out:
   slot 1 (index 0) is the scalar deleting destructor, which destroys the
   object, frees it when bit 0 of `flags` is set and returns the object; then
   come the operations in their order. Every function takes the object itself
   as its first argument, with the platform's C calling convention (the
   Microsoft x64 convention on Windows).

   A program in any language that can call C function pointers drives the
   module with these declarations alone. Objects the module hands out are ended
   through the operation named here (Release, or slot 1 with flags 1); objects
   a host hands in (progress sinks, the command registry) are the host's. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VTX_DELETE_MEMORY 1u

/* Algorithms (__getAlgorithmByType). */
typedef struct VtxWiperAlgorithm VtxWiperAlgorithm;
typedef struct VtxWiperAlgorithmVtbl {
  void* (*ScalarDeletingDestructor)(VtxWiperAlgorithm* self, unsigned int flags);
  int (*GetWipeTimes)(VtxWiperAlgorithm* self);
  void (*FillBuffer)(VtxWiperAlgorithm* self, unsigned char* buffer, int size, int pass);
  void (*Release)(VtxWiperAlgorithm* self);
} VtxWiperAlgorithmVtbl;
struct VtxWiperAlgorithm {
  const VtxWiperAlgorithmVtbl* vtbl;
};

/* The algorithm catalogue (__getAlgorithmDescriptor): a JSON writer whose
   ToJson renders the list; never ended by callers. */
typedef struct VtxAlgorithmCatalogue VtxAlgorithmCatalogue;
typedef struct VtxAlgorithmCatalogueVtbl {
  void* (*ScalarDeletingDestructor)(VtxAlgorithmCatalogue* self, unsigned int flags);
  const char* (*ToJson)(VtxAlgorithmCatalogue* self);
  int (*GetAlgorithmCount)(VtxAlgorithmCatalogue* self);
  VtxWiperAlgorithm* (*GetAlgorithmByIndex)(VtxAlgorithmCatalogue* self, int index);
  VtxWiperAlgorithm* (*GetAlgorithmByType)(VtxAlgorithmCatalogue* self, int type);
} VtxAlgorithmCatalogueVtbl;
struct VtxAlgorithmCatalogue {
  const VtxAlgorithmCatalogueVtbl* vtbl;
};

typedef VtxWiperAlgorithm* (*VtxGetAlgorithmByType)(int type);
typedef VtxAlgorithmCatalogue* (*VtxGetAlgorithmDescriptor)(void);

#ifdef __cplusplus
}
#endif

#endif
