#pragma once

class CWorkerThread;

// The threads of wipe tasks, one implementation per backend (CreateThread on
// Windows, pthreads on POSIX).
namespace task_thread {

// A thread of the system: a Windows HANDLE, or a POSIX thread record.
using Handle = void*;

// A new thread that will run CWorkerThread::ThreadProcedure(worker), held
// back until Resume, so that its creator can store the handle first. Null
// when the system refuses a thread.
Handle CreateSuspended(CWorkerThread* worker);

// Lets the thread run. Called once per handle.
void Resume(Handle thread);

// Gives the handle up while the thread runs on or ends by itself (the
// thread may close its own handle). The handle is invalid afterwards.
void Close(Handle thread);

// Waits until the thread has ended, then closes the handle.
void Join(Handle thread);

}  // namespace task_thread
