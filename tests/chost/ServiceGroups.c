/* The command service through its slots: the module entry, a registry written
   in C that keeps the records, and every command by its registered name,
   arguments handed over with the type names and sizes the functor reports. */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "HostCheck.h"
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

/* The commands in their order, with the types their functors report. */
static const struct {
  const char* name;
  int count;
  const char* types[3];
} kCommands[] = {
    {"DataWipeServiceManager_getProgressMsg", 1, {"__int64"}},
    {"DataWipeServiceManager_wipeFile", 2, {"char const * __ptr64", "int"}},
    {"DataWipeServiceManager_wipeFolder", 2, {"char const * __ptr64", "int"}},
    {"DataWipeServiceManager_wipeDisk", 2, {"int", "int"}},
    {"DataWipeServiceManager_wipeVolume", 3, {"int", "int", "int"}},
    {"DataWipeServiceManager_wipeVolumeFreeSpace", 3, {"int", "int", "int"}},
    {"DataWipeServiceManager_getWiperAlgorithms", 1, {"int"}},
    {"DataWipeServiceManager_stopWipe", 1, {"int"}},
};
#define COMMAND_COUNT ((int)(sizeof(kCommands) / sizeof(kCommands[0])))

/* A service initialised with a fresh registry; null when the entry is missing. */
static VtxModuleEntry* OpenService(Registry* registry) {
  memset(registry, 0, sizeof(*registry));
  registry->base.vtbl = &kRegistryVtbl;
  VtxVantrixModuleEntry entry = (VtxVantrixModuleEntry)HostSymbol("__Vantrix_ModuleEntry");
  CHECK(entry != NULL, "__Vantrix_ModuleEntry is not exported");
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
  Answer answer;
  memset(&answer, 0, sizeof(answer));
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
  Answer none;
  memset(&none, 0, sizeof(none));
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

static Answer CallNumbers(Registry* registry, const char* command, int a, int b, int c) {
  const void* values[] = {&a, &b, &c};
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

static int Contains(const Answer* answer, const char* text) {
  return strstr(answer->json, text) != NULL;
}

void ModuleEntryThroughItsSlots(void) {
  Registry registry;
  VtxModuleEntry* service = OpenService(&registry);
  if (service == NULL) return;
  CHECK(service->vtbl->GetModuleType(service) == 3, "module type is not 3");
  for (int i = 0; i < registry.count && i < COMMAND_COUNT; ++i) {
    const VtxCommandRecord* record = registry.base.vtbl->GetCommandAt(&registry.base, i);
    CHECK(strcmp(record->name, kCommands[i].name) == 0, "command %d is %s", i, record->name);
    const size_t length = strlen(record->name);
    for (size_t at = length; at < sizeof(record->name); ++at) {
      CHECK(record->name[at] == 0, "%s: byte %u of the name is not zero", record->name,
            (unsigned int)at);
    }
    VtxCommandFunctor* functor = record->functor;
    CHECK(functor->vtbl->GetArgCount(functor) == kCommands[i].count, "%s: count", record->name);
    for (unsigned int index = 0; index <= 10; ++index) {
      const char* type = functor->vtbl->GetArgTypeName(functor, index);
      const unsigned int size = functor->vtbl->GetArgSize(functor, index);
      const char* wanted = index < (unsigned int)kCommands[i].count ? kCommands[i].types[index]
                           : index < 10                             ? "class NullType"
                                                                    : NULL;
      const unsigned int wantedSize = wanted == NULL                          ? 0
                                      : strcmp(wanted, "int") == 0            ? 4
                                      : strcmp(wanted, "class NullType") == 0 ? 1
                                                                              : 8;
      CHECK((type == NULL && wanted == NULL) ||
                (type != NULL && wanted != NULL && strcmp(type, wanted) == 0),
            "%s #%u: type %s", record->name, index, type ? type : "(null)");
      CHECK(size == wantedSize, "%s #%u: size %u", record->name, index, size);
    }
    const int zero = 0;
    CHECK(functor->vtbl->SetArg(functor, "int", &zero, 4, 15) == -1, "%s: index 15 taken",
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
  CloseService(service, &registry);
}

/* The outcome of the wipe task that `started` announced, read to its end. */
static Answer Outcome(Registry* registry, Answer started, const char* what) {
  const long long id = TaskIdOf(&started);
  CHECK(id > 0, "%s: no task id in %s", what, started.json);
  return WaitFinished(registry, id);
}

/* Whether the finished JSON shows `type`, `code` (rendered signed) and `info`. */
static int EndedWith(const Answer* answer, int type, unsigned int code, const char* info) {
  char expected[192];
  snprintf(expected, sizeof(expected), "\"msg_type\":%d,\"msg_status\":3,", type);
  if (!Contains(answer, expected)) return 0;
  snprintf(expected, sizeof(expected), "\"msg_errorCode\":%d,\"msg_info\":\"%s", (int)code, info);
  return Contains(answer, expected);
}

/* Refusals decided from the device manager's description (the host's test
   description: disk 3 and its partition 2 hold the system, disk 2 is
   unknown); nothing is opened. Without a description the device manager
   would describe the machine's own disks, so nothing is asked then. */
static void RefusedDeviceCommands(Registry* registry) {
  const char* description = getenv("VTX_DEVICE_DESCRIPTION");
  if (description == NULL || description[0] == 0) {
    printf("commands: device refusals skipped, VTX_DEVICE_DESCRIPTION is unset\n");
    return;
  }
  static const struct {
    const char* command;
    int a, b, c;
    unsigned int code;
    const char* info;
  } kRefusals[] = {
      {"wipeDisk", 3, 16, 0, 0x00300301u, "cannot-wipe-system-drive"},
      {"wipeVolume", 3, 2, 18, 0xE0300301u, "VTX_ERROR_SYSTEM_DRIVE_CANNOT_WIPPE"},
      {"wipeVolumeFreeSpace", 3, 2, 1, 0x0D103020u, "VTX_UNSUPPORTED_SYSTEM_DRIVE"},
      {"wipeDisk", 2, 16, 0, 0x02203008u, "VTX_ERROR_DEVICE_NOT_AVAILABLE"},
  };
  for (size_t i = 0; i < sizeof(kRefusals) / sizeof(kRefusals[0]); ++i) {
    const Answer done = Outcome(
        registry,
        CallNumbers(registry, kRefusals[i].command, kRefusals[i].a, kRefusals[i].b, kRefusals[i].c),
        kRefusals[i].command);
    CHECK(EndedWith(&done, 33, kRefusals[i].code, kRefusals[i].info), "%s %d: %s",
          kRefusals[i].command, kRefusals[i].a, done.json);
  }
}

/* Fills `path` with `size` bytes of 0x5A. */
static int WriteFile(const char* path, long size) {
  FILE* file = fopen(path, "wb");
  if (file == NULL) return 0;
  static char block[65536];
  memset(block, 0x5A, sizeof(block));
  for (long written = 0; written < size; written += (long)sizeof(block)) {
    const long part = size - written < (long)sizeof(block) ? size - written : (long)sizeof(block);
    if (fwrite(block, 1, (size_t)part, file) != (size_t)part) break;
  }
  return fclose(file) == 0;
}

void CommandsThroughTheirFunctors(void) {
  Registry registry;
  VtxModuleEntry* service = OpenService(&registry);
  if (service == NULL) return;
  char work[1024], file[1200], folder[1200], inner[1300], big[1200];
  CHECK(HostWorkFolder(work, sizeof(work)), "no work folder");
  const char separator = work[strlen(work) - 1];
  snprintf(file, sizeof(file), "%schost-file.bin", work);
  snprintf(folder, sizeof(folder), "%schost-folder", work);
  snprintf(inner, sizeof(inner), "%s%cinner", folder, separator);
  snprintf(big, sizeof(big), "%schost-stopped.bin", work);

  for (int value = -1; value <= 1; ++value) {
    const Answer list = CallNumbers(&registry, "getWiperAlgorithms", value, 0, 0);
    CHECK(list.success && list.error[0] == 0 && strcmp(list.json, VTX_CATALOGUE_JSON) == 0,
          "algorithm list for %d: %s", value, list.json);
  }
  /* A result ended as Microsoft's `delete` ends it: slot 1, flags 1. */
  VtxCommandFunctor* list = Find(&registry, "getWiperAlgorithms");
  VtxResult* result = list != NULL ? list->vtbl->Invoke(list) : NULL;
  CHECK(result != NULL, "Invoke repeated gave no result");
  if (result != NULL) {
    void* returned = result->vtbl->ScalarDeletingDestructor(result, VTX_DELETE_MEMORY);
    CHECK(returned == (void*)result, "result slot 1 returned %p", returned);
  }
  for (int stop = 0; stop <= 1; ++stop) {
    const Answer unknown = CallIds(&registry, stop ? "stopWipe" : "getProgressMsg", 1);
    CHECK(!unknown.success && strcmp(unknown.error, NOT_FOUND) == 0 &&
              strcmp(unknown.json, "\"\"") == 0,
          "unknown id answered %s %s", unknown.error, unknown.json);
  }
  CHECK(!CallPath(&registry, "wipeFile", NULL, 0).present, "a null path gave a result");

  CHECK(WriteFile(file, 300000), "cannot write %s", file);
  Answer started = CallPath(&registry, "wipeFile", file, 0);
  CHECK(TaskIdOf(&started) == 1, "first task: %s", started.json);
  Answer done = WaitFinished(&registry, 1);
  CHECK(strcmp(done.json,
               "{\"msg_type\":32,\"msg_status\":3,\"sub_step_current\":1,\"sub_step_total\":1,"
               "\"steps_current\":1,\"steps_total\":1,\"msg_errorCode\":0,\"msg_info\":\"\"}") == 0,
        "file wipe ended %s", done.json);
  CHECK(!HostPathExists(file), "the wiped file is still there");

  CHECK(HostMakeFolder(folder) && HostMakeFolder(inner), "cannot make %s", inner);
  char member[1400];
  snprintf(member, sizeof(member), "%s%cnested.bin", inner, separator);
  CHECK(WriteFile(member, 70000), "cannot write %s", member);
  started = CallPath(&registry, "wipeFolder", folder, 1);
  CHECK(TaskIdOf(&started) == 2, "second task: %s", started.json);
  done = WaitFinished(&registry, 2);
  CHECK(Contains(&done, "\"msg_type\":32,") && Contains(&done, "\"msg_errorCode\":0,"),
        "folder wipe ended %s", done.json);
  CHECK(!HostPathExists(folder), "the wiped folder is still there");

  /* Stopped at once, long before 64 MiB are written: the file stays. */
  CHECK(WriteFile(big, 64L << 20), "cannot write %s", big);
  started = CallPath(&registry, "wipeFile", big, 0);
  CHECK(TaskIdOf(&started) == 3, "third task: %s", started.json);
  const Answer stopped = CallIds(&registry, "stopWipe", 3);
  CHECK(stopped.success && stopped.error[0] == 0, "stopWipe: %s", stopped.error);
  done = WaitFinished(&registry, 3);
  CHECK(Contains(&done, "\"msg_type\":33,") && !Contains(&done, "\"msg_errorCode\":0,"),
        "stopped wipe ended %s", done.json);
  CHECK(HostPathExists(big), "a stopped wipe deleted its file");
  remove(big);
  RefusedDeviceCommands(&registry);
  CloseService(service, &registry);
}

/* Leaves disk1.wiped beside the description: the fixture's script running
   this program under Wine then checks from Linux that partition 2 of disk 1
   holds 0xFF from its first to its last byte and every other byte is as it
   made it. */
static void LeaveWipedMarker(const char* description) {
  char marker[1024];
  snprintf(marker, sizeof(marker), "%s", description);
  char* name = strrchr(marker, '\\');
  if (name == NULL) name = strrchr(marker, '/');
  if (name == NULL || (size_t)(name - marker) + 13 >= sizeof(marker)) return;
  strcpy(name + 1, "disk1.wiped");
  FILE* file = fopen(marker, "w");
  CHECK(file != NULL, "cannot leave %s", marker);
  if (file != NULL) fclose(file);
}

/* Wipes of the loop disks the fixture made (tests/scripts/loop_disks.sh,
   VTX_DEVICE_DESCRIPTION), run by the test that has the fixture. On both
   builds partition 2 of disk 1 (PhysicalDrive1 and P: under Wine): a stop of
   a seven-pass wipe once it runs, then a whole wipe (checked byte by byte by
   the fixture's script under Wine).
   Where VTX_CHOST_LOOP_DISKS is "native" (the build reaches every loop disk
   by its path) also the whole of disk 3 and the free space of disk 4's
   mounted ext4 partition. (Under Wine only disk 1 is mapped and the lettered
   partition is a folder of the machine's own disk, whose free space is
   never wiped.) */
void CommandsOnLoopDisks(void) {
  const char* reach = getenv("VTX_CHOST_LOOP_DISKS");
  CHECK(reach != NULL, "VTX_CHOST_LOOP_DISKS is unset; the test c_host_loop_disks sets it");
  if (reach == NULL) return;
  const int native = strcmp(reach, "native") == 0;
  const char* description = getenv("VTX_DEVICE_DESCRIPTION");
  if (description == NULL || !HostPathExists(description)) {
    printf("loop disks: skipped, the fixture described none (%s)\n",
           description ? description : "VTX_DEVICE_DESCRIPTION unset");
    return;
  }
  Registry registry;
  VtxModuleEntry* service = OpenService(&registry);
  if (service == NULL) return;

  const Answer started = CallNumbers(&registry, "wipeVolume", 1, 2, 20);
  const long long id = TaskIdOf(&started);
  Answer running;
  for (int i = 0; i < 6000; ++i) {
    running = CallIds(&registry, "getProgressMsg", id);
    if (!running.success || !Contains(&running, "\"msg_status\":0,")) break;
    HostSleep(5);
  }
  CHECK(Contains(&running, "\"msg_status\":2,"), "not seen running: %s", running.json);
  CHECK(CallIds(&registry, "stopWipe", id).success, "stopWipe of a running task failed");
  Answer done = WaitFinished(&registry, id);
  CHECK(EndedWith(&done, 33, 0x12E0301Bu, "") || EndedWith(&done, 33, 0x1370301Bu, ""),
        "stopped partition wipe ended %s", done.json);

  done = Outcome(&registry, CallNumbers(&registry, "wipeVolume", 1, 2, 16), "partition");
  CHECK(EndedWith(&done, 32, 0, "\"}"), "partition wipe ended %s", done.json);
  if (EndedWith(&done, 32, 0, "\"}")) LeaveWipedMarker(description);

  if (native) {
    done = Outcome(&registry, CallNumbers(&registry, "wipeDisk", 3, 17, 0), "disk");
    CHECK(EndedWith(&done, 32, 0, "\"}"), "disk wipe ended %s", done.json);
    done = Outcome(&registry, CallNumbers(&registry, "wipeVolumeFreeSpace", 4, 1, 1), "free space");
    CHECK(EndedWith(&done, 32, 0, "\"}"), "free-space wipe ended %s", done.json);
  }
  CloseService(service, &registry);
}
