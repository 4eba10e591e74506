#include <pthread.h>

#include <condition_variable>
#include <mutex>
#include <new>

#include "service/TaskThread.h"
#include "service/WorkerThread.h"

namespace task_thread {

namespace {

// A joinable thread and the gate that holds it back until Resume. The thread
// passes the gate before it runs the worker and touches the record no more
// after it, so Close (which frees the record) may come from the thread itself.
struct Thread {
  pthread_t id{};
  std::mutex gateLock;
  std::condition_variable gateOpened;
  bool resumed = false;
  CWorkerThread* worker = nullptr;
};

void* Run(void* argument) {
  Thread* thread = static_cast<Thread*>(argument);
  CWorkerThread* worker = nullptr;
  {
    std::unique_lock<std::mutex> gate(thread->gateLock);
    thread->gateOpened.wait(gate, [thread] { return thread->resumed; });
    worker = thread->worker;
  }
  CWorkerThread::ThreadProcedure(worker);
  return nullptr;
}

}  // namespace

Handle CreateSuspended(CWorkerThread* worker) {
  Thread* thread = new (std::nothrow) Thread;
  if (thread == nullptr) return nullptr;
  thread->worker = worker;
  if (pthread_create(&thread->id, /*attr=*/nullptr, Run, thread) != 0) {
    delete thread;
    return nullptr;
  }
  return thread;
}

void Resume(Handle handle) {
  Thread* thread = static_cast<Thread*>(handle);
  // Notified under the lock: the thread cannot pass the gate, finish and
  // free the record before this call lets go of it.
  std::lock_guard<std::mutex> gate(thread->gateLock);
  thread->resumed = true;
  thread->gateOpened.notify_one();
}

void Close(Handle handle) {
  Thread* thread = static_cast<Thread*>(handle);
  pthread_detach(thread->id);
  delete thread;
}

void Join(Handle handle) {
  Thread* thread = static_cast<Thread*>(handle);
  pthread_join(thread->id, /*retval=*/nullptr);
  delete thread;
}

}  // namespace task_thread
