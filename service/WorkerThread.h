#pragma once

#include <atomic>
#include <vector>

#include "common/FunctorExecutor.h"
#include "service/TaskThread.h"
#include "service/ThreadResource.h"

// Runs one wipe task at a time on a thread of its own: the thread invokes the
// bound functor once (the wipe manager's call), then releases the run's
// resources, closes its own handle and leaves the worker idle.
//
// Threads: the command service calls AddResource and Start under its lock,
// only on an idle worker (IsIdle). The task's thread touches the worker until
// it clears the handle, its last step; from then on the worker may be handed
// out again. A thread starts only after its handle is stored, so no run can
// end before the store and leave the worker looking busy for good, and every
// run closes its handle, so tasks leave no handle behind.
//
// Ownership: the worker owns its resources from AddResource on, and the
// functor of its latest run until the next Start or its destruction.
class CWorkerThread {
 public:
  CWorkerThread() = default;
  // Only on an idle worker (after WaitForRun, or with no run started).
  ~CWorkerThread();
  CWorkerThread(const CWorkerThread&) = delete;
  CWorkerThread& operator=(const CWorkerThread&) = delete;

  // Adds a resource of the coming run, freed when that run ends. When memory
  // runs out it releases the resource at once and throws std::bad_alloc.
  void AddResource(IThreadResource* resource);

  // Releases the functor of the earlier run, keeps `functor` and runs it on a
  // new thread. False when no thread could be made: the functor then stays
  // with the worker until its next Start, and the worker stays idle.
  bool Start(FunctorExecutor<int>* functor);

  // True while no run is under way (the thread handle is null).
  bool IsIdle() const;

  // Waits until the current run, if any, has ended and its thread is gone.
  void WaitForRun();

  // The body of the task's thread (`worker` is the worker that started it).
  static unsigned int ThreadProcedure(CWorkerThread* worker);

 private:
  void ReleaseResources();

  std::vector<IThreadResource*> m_resources;
  FunctorExecutor<int>* m_functor = nullptr;
  std::atomic<task_thread::Handle> m_thread{nullptr};
};
