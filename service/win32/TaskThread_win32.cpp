#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "service/TaskThread.h"
#include "service/WorkerThread.h"

namespace task_thread {

namespace {

DWORD WINAPI Run(LPVOID worker) {
  return CWorkerThread::ThreadProcedure(static_cast<CWorkerThread*>(worker));
}

}  // namespace

Handle CreateSuspended(CWorkerThread* worker) {
  return CreateThread(/*lpThreadAttributes=*/nullptr, /*dwStackSize=*/0, Run, worker,
                      CREATE_SUSPENDED, /*lpThreadId=*/nullptr);
}

void Resume(Handle thread) { ResumeThread(static_cast<HANDLE>(thread)); }

void Close(Handle thread) { CloseHandle(static_cast<HANDLE>(thread)); }

void Join(Handle thread) {
  WaitForSingleObject(static_cast<HANDLE>(thread), INFINITE);
  CloseHandle(static_cast<HANDLE>(thread));
}

}  // namespace task_thread
