#include "service/WorkerThread.h"

CWorkerThread::~CWorkerThread() {
  ReleaseResources();
  if (m_functor != nullptr) m_functor->Release();
}

void CWorkerThread::AddResource(IThreadResource* resource) {
  try {
    m_resources.push_back(resource);
  } catch (...) {
    resource->Release();
    throw;
  }
}

bool CWorkerThread::Start(FunctorExecutor<int>* functor) {
  if (m_functor != nullptr) m_functor->Release();
  m_functor = functor;
  const task_thread::Handle thread = task_thread::CreateSuspended(this);
  if (thread == nullptr) return false;
  m_thread.store(thread, std::memory_order_release);
  task_thread::Resume(thread);
  return true;
}

bool CWorkerThread::IsIdle() const { return m_thread.load(std::memory_order_acquire) == nullptr; }

void CWorkerThread::WaitForRun() {
  // Whoever takes the handle out of the worker closes it: the run's own
  // thread at its end, or this call, which then waits for the thread.
  const task_thread::Handle thread = m_thread.exchange(nullptr, std::memory_order_acq_rel);
  if (thread != nullptr) task_thread::Join(thread);
}

unsigned int CWorkerThread::ThreadProcedure(CWorkerThread* worker) {
  worker->m_functor->Invoke();
  worker->ReleaseResources();
  const task_thread::Handle thread = worker->m_thread.exchange(nullptr, std::memory_order_acq_rel);
  if (thread != nullptr) task_thread::Close(thread);
  return 0;
}

void CWorkerThread::ReleaseResources() {
  for (IThreadResource* resource : m_resources) resource->Release();
  m_resources.clear();
}
