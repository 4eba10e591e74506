/* The command service through its slots: the module entry, a registry written
   in C that keeps the records, and every command by its registered name,
   arguments handed over with the type names and sizes the functor reports. */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "HostCheck.h"
#include "HostFiles.h"
#include "HostGroups.h"
#include "HostModule.h"
#include "VantrixAbi.h"
#include "support/AlgorithmTable.h"

#define MAX_COMMANDS 16
#define NOT_FOUND "task-id-not-found"

typedef struct Registry {
  VtxCommandHost base;
  VtxCommandRecord* records[MAX_COMMANDS];
  int count;
} Registry;

static void* RegistryDestroy(VtxCommandHost* self, unsigned int flags) {
  (void)flags;
  return self;
}
static int RegistryCount(VtxCommandHost* self) { return ((Registry*)self)->count; }
static const VtxCommandRecord* RegistryAt(VtxCommandHost* self, int index) {
  Registry* registry = (Registry*)self;
  return index >= 0 && index < registry->count ? registry->records[index] : NULL;
}
static int RegistryAdd(VtxCommandHost* self, VtxCommandRecord* record) {
  Registry* registry = (Registry*)self;
  if (registry->count == MAX_COMMANDS) return -1;
  registry->records[registry->count++] = record;
  return 0;
}
static const VtxCommandHostVtbl kRegistryVtbl = {RegistryDestroy, RegistryCount, RegistryAt,
                                                 RegistryAdd};

/* The commands in their order, with the types and sizes their functors
   report. */
#define PATH "char const * __ptr64"
static const struct {
  const char* name;
  int count;
  const char* types[3];
  unsigned int sizes[3];
} kCommands[] = {
    {"DataWipeServiceManager_getProgressMsg", 1, {"__int64"}, {8}},
    {"DataWipeServiceManager_wipeFile", 2, {PATH, "int"}, {8, 4}},
    {"DataWipeServiceManager_wipeFolder", 2, {PATH, "int"}, {8, 4}},
    {"DataWipeServiceManager_wipeDisk", 2, {"int", "int"}, {4, 4}},
    {"DataWipeServiceManager_wipeVolume", 3, {"int", "int", "int"}, {4, 4, 4}},
    {"DataWipeServiceManager_wipeVolumeFreeSpace", 3, {"int", "int", "int"}, {4, 4, 4}},
    {"DataWipeServiceManager_getWiperAlgorithms", 1, {"int"}, {4}},
    {"DataWipeServiceManager_stopWipe", 1, {"int"}, {4}},
};
#define COMMAND_COUNT ((int)(sizeof(kCommands) / sizeof(kCommands[0])))

/* A service initialised with a fresh registry; null when the entry is missing. */
static VtxModuleEntry* OpenService(Registry* registry) {
  memset(registry, 0, sizeof(*registry));
  registry->base.vtbl = &kRegistryVtbl;
  VtxVantrixModuleEntry entry = (VtxVantrixModuleEntry)HostExport("__Vantrix_ModuleEntry");
  VtxModuleEntry* service = entry ? entry() : NULL;
  CHECK(service != NULL, "no service");
  if (service == NULL) return NULL;
  CHECK(service->vtbl->Initialize(service, &registry->base, registry) == 0, "Initialize failed");
  CHECK(registry->count == COMMAND_COUNT, "%d commands registered", registry->count);
  return service;
}

/* Frees the records and functors (the last one through slot 1), then the service. */
static void CloseService(VtxModuleEntry* service, Registry* registry) {
  for (int i = 0; i < registry->count; ++i) {
    VtxCommandFunctor* functor = registry->records[i]->functor;
    if (i + 1 == registry->count) {
      void* returned = functor->vtbl->ScalarDeletingDestructor(functor, VTX_DELETE_MEMORY);
      CHECK(returned == (void*)functor, "functor slot 1 returned %p", returned);
    } else {
      functor->vtbl->Release(functor);
    }
    free(registry->records[i]);
  }
  registry->count = 0;
  service->vtbl->Release(service);
}

static VtxCommandFunctor* Find(Registry* registry, const char* command) {
  char name[128];
  snprintf(name, sizeof(name), "DataWipeServiceManager_%s", command);
  for (int i = 0; i < registry->count; ++i) {
    if (strcmp(registry->records[i]->name, name) == 0) return registry->records[i]->functor;
  }
  CHECK(0, "%s is not registered", name);
  return NULL;
}

typedef struct Answer {
  int present;
  int success;
  char error[64];
  char json[2048];
} Answer;

/* Reads a result through its slots and releases it. */
static Answer Take(VtxResult* result) {
  Answer answer = {0};
  if (result == NULL) return answer;
  answer.present = 1;
  answer.success = result->vtbl->IsSuccess(result);
  snprintf(answer.error, sizeof(answer.error), "%s", result->vtbl->GetErrorMsg(result));
  snprintf(answer.json, sizeof(answer.json), "%s", result->vtbl->GetResultJson(result));
  result->vtbl->Release(result);
  return answer;
}

/* Hands every argument over with the name and size the functor reports
   (values[i] points at the bytes of argument i) and invokes it. */
static Answer Call(Registry* registry, const char* command, const void* const values[]) {
  Answer none = {0};
  VtxCommandFunctor* functor = Find(registry, command);
  if (functor == NULL) return none;
  const int count = functor->vtbl->GetArgCount(functor);
  for (int i = 0; i < count; ++i) {
    const char* type = functor->vtbl->GetArgTypeName(functor, (unsigned int)i);
    const unsigned int size = functor->vtbl->GetArgSize(functor, (unsigned int)i);
    CHECK(functor->vtbl->SetArg(functor, type, values[i], size, (unsigned int)i) == 0,
          "%s: argument %d (%s) refused", command, i, type);
  }
  return Take(functor->vtbl->Invoke(functor));
}

static Answer CallIds(Registry* registry, const char* command, long long id) {
  int narrow = (int)id;
  const void* values[] = {strcmp(command, "getProgressMsg") == 0 ? (const void*)&id : &narrow};
  return Call(registry, command, values);
}

static Answer CallPath(Registry* registry, const char* command, const char* path, int option) {
  const void* values[] = {&path, &option};
  return Call(registry, command, values);
}

static long long TaskIdOf(const Answer* answer) {
  long long id = -1;
  if (!answer->success || sscanf(answer->json, "{\"taskId\":%lld}", &id) != 1) return -1;
  return id;
}

/* Reads task `id` until it shows the finished state (which retires it) and
   checks that the next reading no longer finds it; the finished JSON. */
static Answer WaitFinished(Registry* registry, long long id) {
  Answer answer;
  for (int i = 0; i < 12000; ++i) {
    answer = CallIds(registry, "getProgressMsg", id);
    if (!answer.success || strstr(answer.json, "\"msg_status\":3") != NULL) break;
    HostSleep(10);
  }
  CHECK(answer.success, "task %lld: %s", id, answer.error);
  const Answer after = CallIds(registry, "getProgressMsg", id);
  CHECK(!after.success && strcmp(after.error, NOT_FOUND) == 0 && strcmp(after.json, "\"\"") == 0,
        "task %lld still readable after its finished state was read", id);
  return answer;
}

/* Every command by its registered name, on the service's first tasks. */
static void CommandsThroughTheirFunctors(Registry* registry) {
  for (int value = -1; value <= 1; ++value) {
    const Answer list = CallIds(registry, "getWiperAlgorithms", value);
    CHECK(list.success && list.error[0] == 0 && strcmp(list.json, VTX_CATALOGUE_JSON) == 0,
          "algorithm list for %d: %s", value, list.json);
  }
  /* A result ended as Microsoft's `delete` ends it: slot 1, flags 1. */
  VtxCommandFunctor* list = Find(registry, "getWiperAlgorithms");
  VtxResult* result = list != NULL ? list->vtbl->Invoke(list) : NULL;
  CHECK(result != NULL, "Invoke repeated gave no result");
  if (result != NULL) {
    void* returned = result->vtbl->ScalarDeletingDestructor(result, VTX_DELETE_MEMORY);
    CHECK(returned == (void*)result, "result slot 1 returned %p", returned);
  }
  CHECK(!CallPath(registry, "wipeFile", NULL, 0).present, "a null path gave a result");

  CHECK(HostFill("chost-file.bin", "wb", 300000), "cannot write chost-file.bin");
  Answer started = CallPath(registry, "wipeFile", "chost-file.bin", 0);
  CHECK(TaskIdOf(&started) == 1, "first task: %s", started.json);
  Answer done = WaitFinished(registry, 1);
  CHECK(strcmp(done.json,
               "{\"msg_type\":32,\"msg_status\":3,\"sub_step_current\":1,\"sub_step_total\":1,"
               "\"steps_current\":1,\"steps_total\":1,\"msg_errorCode\":0,\"msg_info\":\"\"}") == 0,
        "file wipe ended %s", done.json);
  CHECK(!HostPathExists("chost-file.bin"), "the wiped file is still there");

  /* Stopped at once, long before 64 MiB are written: the file stays. */
  CHECK(HostFill("chost-stopped.bin", "wb", 64LL << 20), "cannot write chost-stopped.bin");
  started = CallPath(registry, "wipeFile", "chost-stopped.bin", 0);
  CHECK(TaskIdOf(&started) == 2, "second task: %s", started.json);
  const Answer stopped = CallIds(registry, "stopWipe", 2);
  CHECK(stopped.success && stopped.error[0] == 0, "stopWipe: %s", stopped.error);
  done = WaitFinished(registry, 2);
  CHECK(strstr(done.json, "\"msg_type\":33,") && !strstr(done.json, "\"msg_errorCode\":0,"),
        "stopped wipe ended %s", done.json);
  CHECK(HostPathExists("chost-stopped.bin"), "a stopped wipe deleted its file");
  remove("chost-stopped.bin");
}

void ModuleEntryThroughItsSlots(void) {
  Registry registry;
  VtxModuleEntry* service = OpenService(&registry);
  if (service == NULL) return;
  CHECK(service->vtbl->GetModuleType(service) == 3, "module type is not 3");
  for (int i = 0; i < registry.count && i < COMMAND_COUNT; ++i) {
    const VtxCommandRecord* record = registry.base.vtbl->GetCommandAt(&registry.base, i);
    CHECK(strcmp(record->name, kCommands[i].name) == 0, "command %d is %s", i, record->name);
    for (size_t at = strlen(record->name); at < sizeof(record->name); ++at)
      CHECK(record->name[at] == 0, "%s: byte %u is not zero", record->name, (unsigned int)at);
    VtxCommandFunctor* functor = record->functor;
    CHECK(functor->vtbl->GetArgCount(functor) == kCommands[i].count, "%s: count", record->name);
    /* Past the real arguments: fillers up to index 9, then nothing. */
    for (unsigned int index = 0; index <= 10; ++index) {
      const int real = index < (unsigned int)kCommands[i].count;
      const char* type = functor->vtbl->GetArgTypeName(functor, index);
      const char* wanted = real ? kCommands[i].types[index] : index < 10 ? "class NullType" : NULL;
      const unsigned int size = functor->vtbl->GetArgSize(functor, index);
      CHECK(type == wanted || (type != NULL && wanted != NULL && strcmp(type, wanted) == 0),
            "%s #%u: type %s", record->name, index, type ? type : "(null)");
      CHECK(size == (real ? kCommands[i].sizes[index] : index < 10), "%s #%u: size %u",
            record->name, index, size);
    }
    const int zero = 0;
    CHECK(functor->vtbl->SetArg(functor, "int", &zero, 4, 15) == -1, "%s: index 15 taken",
          record->name);
    CHECK(functor->vtbl->SetArg(functor, "int", NULL, 4, 0) == -1, "%s: null data taken",
          record->name);
  }
  CHECK(service->vtbl->Initialize(service, &registry.base, NULL) == 0, "second Initialize");
  CHECK(registry.count == COMMAND_COUNT, "second Initialize registered again");

  /* No registry: nothing registered; the interpreter beside the host is found. */
  VtxVantrixModuleEntry entry = (VtxVantrixModuleEntry)HostSymbol("__Vantrix_ModuleEntry");
  VtxModuleEntry* other = entry();
  CHECK(other != NULL && other != service, "every call makes a new service");
  if (other != NULL) {
    CHECK(other->vtbl->Initialize(other, NULL, NULL) == 0, "Initialize without a registry");
    void* returned = other->vtbl->ScalarDeletingDestructor(other, VTX_DELETE_MEMORY);
    CHECK(returned == (void*)other, "service slot 1 returned %p", returned);
  }
  CommandsThroughTheirFunctors(&registry);
  CloseService(service, &registry);
}
