#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/ICGIResult.h"
#include "common/ICommandHost.h"
#include "common/IDataWiperManager.h"
#include "common/IErrorInterpreter.h"
#include "common/IModuleEntry.h"
#include "common/autolocker.h"
#include "platform/IDeviceManager.h"
#include "service/DllModule.h"
#include "service/ProgressWrapper.h"
#include "service/WorkerThread.h"

// The command service (__Vantrix_ModuleEntry): registers eight commands with
// the host's registry and runs them. Five start wipe tasks, each on a thread
// of its own with a progress holder; two read or stop a task by its id; one
// lists the algorithms. Every command answers with a new result the host
// releases, or null for invalid input.
//
// Threads: commands may come from any host thread. The lock guards the task
// counter, the holders, the workers and every rendering of a holder; it is
// held while a task's thread is made. The wipes run outside it.
//
// Ownership: the host owns the service (Release), the functors it registered
// and the results. The service owns its holders and workers; it reuses them
// and frees them only when it is destroyed. Destroying it while tasks run
// stops every task and waits for their threads to end before anything is
// freed, so no task ever uses freed memory.
class DataWipeServiceManager final
    : public BoundaryObject<DataWipeServiceManager, vantrix_halvern::IModuleEntry> {
 public:
  // On the process-wide wipe manager (__getDataWiperManager) and the host's
  // device manager (__GetDeviceManager).
  DataWipeServiceManager();
  // On the given managers (either may be null: the commands that need it then
  // answer null), for a host or a test that brings its own.
  DataWipeServiceManager(IDataWiperManager* wipeManager, IDeviceManager* deviceManager);
  ~DataWipeServiceManager();
  DataWipeServiceManager(const DataWipeServiceManager&) = delete;
  DataWipeServiceManager& operator=(const DataWipeServiceManager&) = delete;

  // Registers the eight commands with `host` (when it and both managers are
  // present) and loads the error interpreter from the host's folder. 0 when
  // the commands were registered or the interpreter was obtained, else -1.
  //
  // A second call after a successful registration registers nothing and
  // returns 0: the host already holds one functor per command, and
  // registering again would hand it a second set under the same names, which
  // a registry either rejects or keeps as duplicates it must release twice.
  int Initialize(ICommandHost* host, void* context) override;
  // Always 3.
  int GetModuleType() override;
  void Release() override;

  // The commands, as their functors call them.
  vantrix_Web::ICGIResult* getProgressMsg(std::int64_t taskId);
  vantrix_Web::ICGIResult* wipeFile(const char* path, int option);
  vantrix_Web::ICGIResult* wipeFolder(const char* path, int option);
  vantrix_Web::ICGIResult* wipeDisk(int index, int algorithm);
  vantrix_Web::ICGIResult* wipeVolume(int disk, int partition, int algorithm);
  vantrix_Web::ICGIResult* wipeVolumeFreeSpace(int disk, int partition, int option);
  vantrix_Web::ICGIResult* getWiperAlgorithms(int value);
  vantrix_Web::ICGIResult* stopWipe(std::int64_t taskId);

 private:
  using TaskFunctor = FunctorExecutor<int>;
  template <class Bind>
  vantrix_Web::ICGIResult* StartTask(Bind bind);
  vantrix_Web::ICGIResult* StartPathTask(const char* path, int option,
                                         int (IDataWiperManager::*operation)(const char*, bool,
                                                                             IProgresMsg*));
  vantrix_Web::ICGIResult* RenderTask(std::int64_t taskId, bool stop);
  vantrix_Web::CProgressWrapper* GetFreeProgress(std::int64_t taskId);
  CWorkerThread* GetFreeWorker();
  void RegisterCommands();
  int LoadErrorInterpreter(int result);

  std::map<std::string, CDllModule*> m_modules;
  lock_t m_lock;
  std::vector<vantrix_Web::CProgressWrapper*> m_progress;
  ICommandHost* m_host = nullptr;
  IDataWiperManager* m_wipeManager;
  std::vector<CWorkerThread*> m_workers;
  std::int64_t m_taskCounter = 0;
  IDeviceManager* m_deviceManager;
  IErrorInterpreter* m_errorInterpreter = nullptr;
  void* m_hostContext = nullptr;
  // Serialises Initialize, which calls into the host, apart from m_lock.
  lock_t m_initializeLock;
  bool m_registered = false;
};
