#include "service/DataWipeServiceManager.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "common/Functor.h"
#include "common/Log.h"
#include "common/ModuleExports.h"
#include "manager/DataWiperManager.h"
#include "service/CGIInvokeRslt.h"
#include "service/ThreadFunctors.h"

using vantrix_Web::CCGIInvokeRslt;
using vantrix_Web::CProgressWrapper;
using vantrix_Web::ICGIResult;

namespace {

// A copy of `text` with its first occurrence of `what` replaced by `with`.
std::string ReplaceFirst(const std::string& text, const std::string& what,
                         const std::string& with) {
  std::string result = text;
  const std::size_t at = result.find(what);
  if (at != std::string::npos) result.replace(at, what.size(), with);
  return result;
}

// "&DataWipeServiceManager::wipeDisk" becomes "DataWipeServiceManager_wipeDisk".
std::string CommandName(const char* member) {
  return ReplaceFirst(ReplaceFirst(member, "::", "_"), "&", "");
}

// The task of a partition command whose number is outside 0 to 127: the
// whole disk is wipeDisk's alone, so such a number names no partition.
struct PartitionOutOfRange {
  int Refuse(IDeviceManager*, int disk, int partition, int, CProgressWrapper* progress) {
    return CDataWiperManager::RefusePartitionNumber(disk, partition, progress);
  }
};
PartitionOutOfRange g_partitionOutOfRange;

using CommandFunctor = FunctorExecutor<ICGIResult*>;
template <class... Args>
using CommandOf = Functor<ICGIResult*, Seq<Args...>>;

struct CommandEntry {
  const char* member;
  CommandFunctor* (*make)(DataWipeServiceManager* service);
};

// The commands in the order the host receives them.
const CommandEntry kCommands[] = {
    {"&DataWipeServiceManager::getProgressMsg",
     [](DataWipeServiceManager* s) -> CommandFunctor* {
       return CommandOf<std::int64_t>::Create(s, &DataWipeServiceManager::getProgressMsg);
     }},
    {"&DataWipeServiceManager::wipeFile",
     [](DataWipeServiceManager* s) -> CommandFunctor* {
       return CommandOf<const char*, int>::Create(s, &DataWipeServiceManager::wipeFile);
     }},
    {"&DataWipeServiceManager::wipeFolder",
     [](DataWipeServiceManager* s) -> CommandFunctor* {
       return CommandOf<const char*, int>::Create(s, &DataWipeServiceManager::wipeFolder);
     }},
    {"&DataWipeServiceManager::wipeDisk",
     [](DataWipeServiceManager* s) -> CommandFunctor* {
       return CommandOf<int, int>::Create(s, &DataWipeServiceManager::wipeDisk);
     }},
    {"&DataWipeServiceManager::wipeVolume",
     [](DataWipeServiceManager* s) -> CommandFunctor* {
       return CommandOf<int, int, int>::Create(s, &DataWipeServiceManager::wipeVolume);
     }},
    {"&DataWipeServiceManager::wipeVolumeFreeSpace",
     [](DataWipeServiceManager* s) -> CommandFunctor* {
       return CommandOf<int, int, int>::Create(s, &DataWipeServiceManager::wipeVolumeFreeSpace);
     }},
    {"&DataWipeServiceManager::getWiperAlgorithms",
     [](DataWipeServiceManager* s) -> CommandFunctor* {
       return CommandOf<int>::Create(s, &DataWipeServiceManager::getWiperAlgorithms);
     }},
    // The host hands the id of stopWipe over as an int; it is widened with
    // its sign at the call.
    {"&DataWipeServiceManager::stopWipe",
     [](DataWipeServiceManager* s) -> CommandFunctor* {
       return CommandOf<int>::Create(s, &DataWipeServiceManager::stopWipe);
     }},
};

// The JSON text of a failure result: an empty JSON string.
constexpr const char* kNoJson = "\"\"";

}  // namespace

DataWipeServiceManager::DataWipeServiceManager(IDataWiperManager* wipeManager,
                                               IDeviceManager* deviceManager)
    : m_wipeManager(wipeManager), m_deviceManager(deviceManager) {}

DataWipeServiceManager::~DataWipeServiceManager() {
  {
    autolocker<lock_t> guard(m_lock);
    for (CProgressWrapper* holder : m_progress) holder->Stop();
  }
  for (CWorkerThread* worker : m_workers) worker->WaitForRun();
  for (CWorkerThread* worker : m_workers) delete worker;
  for (CProgressWrapper* holder : m_progress) delete holder;
  for (auto& module : m_modules) delete module.second;
}

int DataWipeServiceManager::Initialize(ICommandHost* host, void* context) {
  autolocker<lock_t> guard(m_initializeLock);
  if (m_registered) return 0;
  m_hostContext = context;
  int result = -1;
  try {
    if (host != nullptr && m_wipeManager != nullptr && m_deviceManager != nullptr) {
      m_host = host;
      RegisterCommands();
      m_registered = true;
      result = 0;
    }
    return LoadErrorInterpreter(result);
  } catch (const std::bad_alloc&) {
    return result;
  }
}

void DataWipeServiceManager::RegisterCommands() {
  for (const CommandEntry& command : kCommands) {
    const std::string name = CommandName(command.member);
    CommandFunctor* functor = command.make(this);
    auto* record = static_cast<CommandRecord*>(std::calloc(1, sizeof(CommandRecord)));
    if (functor == nullptr || record == nullptr) {
      if (functor != nullptr) functor->Release();
      std::free(record);
      continue;
    }
    std::memcpy(record->name, name.data(), std::min(name.size(), sizeof(record->name) - 1));
    record->functor = functor;
    m_host->AddCommand(record);
  }
}

int DataWipeServiceManager::LoadErrorInterpreter(int result) {
  std::unique_ptr<CDllModule> module(new (std::nothrow) CDllModule);
  if (module == nullptr) return result;
  if (!module->LoadFromHostDir(CDllModule::LibraryFileName("ErrorInterpreter").c_str())) {
    return result;
  }
  CDllModule*& kept = m_modules["ErrorInterpreter"];
  delete kept;
  kept = module.release();
  using EntryPoint = IErrorInterpreter* (*)();
  const auto entry = reinterpret_cast<EntryPoint>(kept->FindExport("__GetErrorInterPreter"));
  if (entry == nullptr) return result;
  m_errorInterpreter = entry();
  return 0;
}

int DataWipeServiceManager::GetModuleType() { return 3; }

void DataWipeServiceManager::Release() { ScalarDeletingDestructor(kDeleteObjectMemory); }

ICGIResult* DataWipeServiceManager::getProgressMsg(std::int64_t taskId) {
  return RenderTask(taskId, /*stop=*/false);
}

ICGIResult* DataWipeServiceManager::stopWipe(std::int64_t taskId) {
  WriteLog("DataWipeServiceManager::stopWipe", 202, "entry: %d", static_cast<int>(taskId));
  return RenderTask(taskId, /*stop=*/true);
}

ICGIResult* DataWipeServiceManager::RenderTask(std::int64_t taskId, bool stop) {
  try {
    autolocker<lock_t> guard(m_lock);
    // Ids below 1 are never handed out; -1 marks retired holders.
    if (taskId >= 1) {
      for (CProgressWrapper* holder : m_progress) {
        if (holder->GetTaskId() != taskId) continue;
        if (stop) holder->Stop();
        return new CCGIInvokeRslt(holder->ToJson(), "", true);
      }
    }
    return new CCGIInvokeRslt(kNoJson, "task-id-not-found", false);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

ICGIResult* DataWipeServiceManager::wipeFile(const char* path, int option) {
  return StartPathTask(path, option, &IDataWiperManager::WipeFile);
}

ICGIResult* DataWipeServiceManager::wipeFolder(const char* path, int option) {
  return StartPathTask(path, option, &IDataWiperManager::WipeFolder);
}

ICGIResult* DataWipeServiceManager::StartPathTask(
    const char* path, int option,
    int (IDataWiperManager::*operation)(const char*, bool, IProgresMsg*)) {
  if (path == nullptr || m_wipeManager == nullptr) return nullptr;
  return StartTask([&](CWorkerThread* worker, CProgressWrapper* progress) -> TaskFunctor* {
    // The task works on its own copy; the caller may free `path` at once.
    const std::size_t length = std::strlen(path);
    char* copy = new (std::nothrow) char[length + 1];
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, path, length + 1);
    auto* resource = new (std::nothrow) CThreadResourceT<char*>(copy);
    if (resource == nullptr) {
      delete[] copy;
      return nullptr;
    }
    worker->AddResource(resource);
    return PathTaskFunctor::Create(m_wipeManager, operation, copy, option, progress);
  });
}

ICGIResult* DataWipeServiceManager::wipeDisk(int index, int algorithm) {
  if (m_deviceManager == nullptr || m_wipeManager == nullptr) return nullptr;
  WriteLog("DataWipeServiceManager::wipeDisk", 107, "entry, index = %d, algorithm = %d", index,
           algorithm);
  return StartTask([&](CWorkerThread*, CProgressWrapper* progress) -> TaskFunctor* {
    return DeviceTaskFunctor::Create(m_wipeManager, &IDataWiperManager::WipeDevice, m_deviceManager,
                                     index, -1, algorithm, progress);
  });
}

ICGIResult* DataWipeServiceManager::wipeVolume(int disk, int partition, int algorithm) {
  if (m_deviceManager == nullptr || m_wipeManager == nullptr) return nullptr;
  return StartTask([&](CWorkerThread*, CProgressWrapper* progress) -> TaskFunctor* {
    if (static_cast<unsigned int>(partition) > CDataWiperManager::kLastPartitionNumber) {
      return DeviceTaskFunctor::Create(&g_partitionOutOfRange, &PartitionOutOfRange::Refuse,
                                       m_deviceManager, disk, partition, algorithm, progress);
    }
    return DeviceTaskFunctor::Create(m_wipeManager, &IDataWiperManager::WipeDevice, m_deviceManager,
                                     disk, partition, algorithm, progress);
  });
}

ICGIResult* DataWipeServiceManager::wipeVolumeFreeSpace(int disk, int partition, int option) {
  if (m_deviceManager == nullptr || m_wipeManager == nullptr) return nullptr;
  return StartTask([&](CWorkerThread*, CProgressWrapper* progress) -> TaskFunctor* {
    return FreeSpaceTaskFunctor::Create(m_wipeManager, &IDataWiperManager::WipeVolFreeSpace,
                                        m_deviceManager, disk, partition, option > 0, progress);
  });
}

template <class Bind>
ICGIResult* DataWipeServiceManager::StartTask(Bind bind) {
  try {
    autolocker<lock_t> guard(m_lock);
    const std::int64_t taskId = ++m_taskCounter;
    CProgressWrapper* progress = GetFreeProgress(taskId);
    CWorkerThread* worker = GetFreeWorker();
    // Without a functor (memory ran out) or a thread the task stays in the
    // started state; its id is still the caller's.
    TaskFunctor* functor = bind(worker, progress);
    if (functor != nullptr) worker->Start(functor);
    return new CCGIInvokeRslt(taskId);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CProgressWrapper* DataWipeServiceManager::GetFreeProgress(std::int64_t taskId) {
  for (CProgressWrapper* holder : m_progress) {
    if (holder->GetTaskId() < 1) {
      holder->Reuse(taskId);
      return holder;
    }
  }
  auto holder = std::make_unique<CProgressWrapper>(taskId);
  m_progress.push_back(holder.get());
  return holder.release();
}

CWorkerThread* DataWipeServiceManager::GetFreeWorker() {
  for (CWorkerThread* worker : m_workers) {
    if (worker->IsIdle()) return worker;
  }
  auto worker = std::make_unique<CWorkerThread>();
  m_workers.push_back(worker.get());
  return worker.release();
}

ICGIResult* DataWipeServiceManager::getWiperAlgorithms(int /*value*/) {
  try {
    IWiperAlgorithmDescriptor* catalogue = __getAlgorithmDescriptor();
    if (catalogue == nullptr)
      return new CCGIInvokeRslt(kNoJson, "algorithm-module-not-found", false);
    return new CCGIInvokeRslt(catalogue->ToJson(), "", true);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
