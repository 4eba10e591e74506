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

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VTX_DELETE_MEMORY 1u

/* An object: a pointer to its table of functions, struct Name##Vtbl. */
#define VTX_OBJECT(Name)                \
  typedef struct Name##Vtbl Name##Vtbl; \
  typedef struct Name {                 \
    const Name##Vtbl* vtbl;             \
  } Name

/* Algorithms (__getAlgorithmByType). */
VTX_OBJECT(VtxWiperAlgorithm);
struct VtxWiperAlgorithmVtbl {
  void* (*ScalarDeletingDestructor)(VtxWiperAlgorithm* self, unsigned int flags);
  int (*GetWipeTimes)(VtxWiperAlgorithm* self);
  void (*FillBuffer)(VtxWiperAlgorithm* self, unsigned char* buffer, int size, int pass);
  void (*Release)(VtxWiperAlgorithm* self);
};

/* The algorithm catalogue (__getAlgorithmDescriptor): a JSON writer whose
   ToJson renders the list; never ended by callers. */
VTX_OBJECT(VtxAlgorithmCatalogue);
struct VtxAlgorithmCatalogueVtbl {
  void* (*ScalarDeletingDestructor)(VtxAlgorithmCatalogue* self, unsigned int flags);
  const char* (*ToJson)(VtxAlgorithmCatalogue* self);
  int (*GetAlgorithmCount)(VtxAlgorithmCatalogue* self);
  VtxWiperAlgorithm* (*GetAlgorithmByIndex)(VtxAlgorithmCatalogue* self, int index);
  VtxWiperAlgorithm* (*GetAlgorithmByType)(VtxAlgorithmCatalogue* self, int type);
};

typedef VtxWiperAlgorithm* (*VtxGetAlgorithmByType)(int type);
typedef VtxAlgorithmCatalogue* (*VtxGetAlgorithmDescriptor)(void);

/* The records of the host's device manager, packed. Fields the module does
   not read are reserved; the paths are the POSIX build's (empty on Windows). */
#pragma pack(push, 1)
typedef struct VtxPartitionInfo {
  unsigned char reserved0[8];
  char cDriveLetter;      /* 8 */
  char szDevicePath[128]; /* 9 */
  char szMountPath[256];  /* 137 */
  unsigned char reserved1[88];
  uint32_t nPartitionNumber; /* 481 */
  uint64_t nStartSector;     /* 485 */
  unsigned char reserved2[8];
  uint8_t bSystemPartition; /* 501 */
  uint8_t reserved3;
  uint64_t nSizeInBytes; /* 503 */
  unsigned char reserved4[8];
} VtxPartitionInfo;

typedef struct VtxDiskInfo {
  uint32_t nDiskNumber; /* 0 */
  unsigned char reserved0[4];
  uint8_t bSystemDisk; /* 8 */
  unsigned char reserved1[7];
  char szDevicePath[256]; /* 16 */
  unsigned char reserved2[154];
  int32_t nBytesPerSector;          /* 426 */
  int64_t nTotalSectors;            /* 430 */
  int32_t nPartitionCount;          /* 438 */
  VtxPartitionInfo partitions[128]; /* 442 */
} VtxDiskInfo;
#pragma pack(pop)

typedef char VtxPartitionInfoIs519Bytes[sizeof(VtxPartitionInfo) == 519 ? 1 : -1];
typedef char VtxDiskInfoIs66874Bytes[sizeof(VtxDiskInfo) == 66874 ? 1 : -1];

/* The device manager (__GetDeviceManager of DeviceManager.dll or
   libDeviceManager.so): one object per process, never ended by callers. The
   module calls Refresh (slot 2) and GetDiskInfo (slot 10); slots 5 to 9 are
   the library's own. Boolean results are one byte, as C++ bool. */
VTX_OBJECT(VtxDeviceManager);
struct VtxDeviceManagerVtbl {
  void* (*ScalarDeletingDestructor)(VtxDeviceManager* self, unsigned int flags);
  _Bool (*Refresh)(VtxDeviceManager* self);
  int (*GetDiskCount)(VtxDeviceManager* self);
  int (*GetDiskNumberAt)(VtxDeviceManager* self, int index);
  int (*Reserved[5])(VtxDeviceManager* self);
  _Bool (*GetDiskInfo)(VtxDeviceManager* self, int disk, VtxDiskInfo* out);
  const char* (*GetLastErrorText)(VtxDeviceManager* self);
};

typedef VtxDeviceManager* (*VtxGetDeviceManager)(void);
/* The device manager's identity exports: JSON into the caller's buffer,
   answering its length (-1: no such disk); and the held listing. */
typedef int (*VtxGetDiskIdentity)(int disk, char* buffer, int size);
typedef int (*VtxGetMachineIdentity)(char* buffer, int size);
typedef int (*VtxHoldDiskListing)(int hold);
/* The progress record (176 bytes) and the progress sink. A host that calls
   the wipe manager directly hands in a sink of its own with this vtable. */
typedef struct VtxProgressMsg {
  int32_t msg_type;   /* 32 normal, 33 error */
  int32_t msg_status; /* 0 idle, 2 running, 3 finished */
  int64_t steps_total;
  int64_t steps_current;
  int64_t sub_step_total;
  int64_t sub_step_current;
  uint32_t msg_errorCode;
  char msg_info[132];
} VtxProgressMsg;
typedef char VtxProgressMsgIs176Bytes[sizeof(VtxProgressMsg) == 176 ? 1 : -1];

VTX_OBJECT(VtxProgress);
struct VtxProgressVtbl {
  void* (*ScalarDeletingDestructor)(VtxProgress* self, unsigned int flags);
  void (*ReportProgress)(VtxProgress* self, const VtxProgressMsg* msg);
  void (*Pause)(VtxProgress* self);
  void (*Resume)(VtxProgress* self);
  void (*Stop)(VtxProgress* self);
  bool (*CanContinue)(VtxProgress* self);
};

/* The wipe manager (__getDataWiperManager): one process-wide object, never
   ended by callers. Each operation returns 0 or -1 and sends one final
   record (msg_status 3) to a non-null sink. */
VTX_OBJECT(VtxWipeManager);
struct VtxWipeManagerVtbl {
  void* (*ScalarDeletingDestructor)(VtxWipeManager* self, unsigned int flags);
  int (*WipeDevice)(VtxWipeManager* self, VtxDeviceManager* devices, int disk, int partition,
                    int algorithm, VtxProgress* progress);
  int (*WipeVolFreeSpace)(VtxWipeManager* self, VtxDeviceManager* devices, int disk, int partition,
                          bool flag, VtxProgress* progress);
  int (*WipeFile)(VtxWipeManager* self, const char* path, bool flag, VtxProgress* progress);
  int (*WipeFolder)(VtxWipeManager* self, const char* path, bool flag, VtxProgress* progress);
};
typedef VtxWipeManager* (*VtxGetDataWiperManager)(void);

/* Command results (every command answers one, or null for invalid input). */
VTX_OBJECT(VtxResult);
struct VtxResultVtbl {
  void* (*ScalarDeletingDestructor)(VtxResult* self, unsigned int flags);
  const char* (*GetErrorMsg)(VtxResult* self);
  bool (*IsSuccess)(VtxResult* self);
  const char* (*GetResultJson)(VtxResult* self);
  void (*Release)(VtxResult* self);
};

/* A command: FunctorExecutor<ICGIResult*>. SetArg answers 0 (accepted) or -1;
   the host owns it once registered and ends it with Release. */
VTX_OBJECT(VtxCommandFunctor);
struct VtxCommandFunctorVtbl {
  void* (*ScalarDeletingDestructor)(VtxCommandFunctor* self, unsigned int flags);
  VtxResult* (*Invoke)(VtxCommandFunctor* self);
  int (*SetArg)(VtxCommandFunctor* self, const char* typeName, const void* data, size_t size,
                unsigned int index);
  int (*GetArgCount)(VtxCommandFunctor* self);
  unsigned int (*GetArgSize)(VtxCommandFunctor* self, unsigned int index);
  const char* (*GetArgTypeName)(VtxCommandFunctor* self, unsigned int index);
  void (*Release)(VtxCommandFunctor* self);
};

/* What the module hands to AddCommand: 136 bytes, allocated with the C
   runtime's calloc; the host keeps it and frees it with free. */
typedef struct VtxCommandRecord {
  char name[128];
  VtxCommandFunctor* functor;
} VtxCommandRecord;
typedef char VtxCommandRecordIs136Bytes[sizeof(VtxCommandRecord) == 136 ? 1 : -1];

/* The host's command registry, written by the host; the module calls
   AddCommand (slot 4) only. */
VTX_OBJECT(VtxCommandHost);
struct VtxCommandHostVtbl {
  void* (*ScalarDeletingDestructor)(VtxCommandHost* self, unsigned int flags);
  int (*GetCommandCount)(VtxCommandHost* self);
  const VtxCommandRecord* (*GetCommandAt)(VtxCommandHost* self, int index);
  int (*AddCommand)(VtxCommandHost* self, VtxCommandRecord* record);
};

/* The command service (__Vantrix_ModuleEntry); the host ends it with Release. */
VTX_OBJECT(VtxModuleEntry);
struct VtxModuleEntryVtbl {
  void* (*ScalarDeletingDestructor)(VtxModuleEntry* self, unsigned int flags);
  int (*Initialize)(VtxModuleEntry* self, VtxCommandHost* host, void* context);
  int (*GetModuleType)(VtxModuleEntry* self);
  void (*Release)(VtxModuleEntry* self);
};

typedef VtxModuleEntry* (*VtxVantrixModuleEntry)(void);

#ifdef __cplusplus
}
#endif

#endif
