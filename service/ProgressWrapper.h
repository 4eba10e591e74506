#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "common/IErrorInterpreter.h"
#include "common/IJsonWriter.h"
#include "common/IProgresMsg.h"

namespace vantrix_Web {

// Where a holder finds the error interpreter for a report that carries an
// error code but no text.
using ErrorInterpreterSource = IErrorInterpreter* (*)();

// The progress holder of one wipe task: the wipe code reports into it
// (IProgresMsg) and the command service renders it for the host (IJsonWriter).
//
// Threads: the task's thread reports and asks CanContinue; command threads
// call Stop, Pause and Resume at any time (atomic flags). The block is copied
// in and read out under the holder's own lock, so a rendering never mixes two
// reports. Renderings, the task id and reuse belong to the command service and
// happen under its lock.
//
// The command service owns its holders and keeps them for its whole life,
// handing a retired one (task id below 1) to the next task.
class CProgressWrapper final : public BoundaryObject<CProgressWrapper, IProgresMsg, IJsonWriter> {
 public:
  explicit CProgressWrapper(std::int64_t taskId,
                            ErrorInterpreterSource interpreter = &__GetErrorInterPreter);

  // Copies the whole record; a null record is ignored. A record with a
  // non-zero code and no text gets the interpreter's text for the code, cut
  // at 131 characters.
  void ReportProgress(const ProgressMsg* msg) override;
  void Pause() override;
  void Resume() override;
  // From now on CanContinue is false; a paused wipe stops waiting.
  void Stop() override;
  // False once stopped; while paused it sleeps in steps of 200 ms until
  // resumed or stopped; otherwise true.
  bool CanContinue() override;

  // The progress JSON of the last report. A rendering that shows the finished
  // state (msg_status 3) retires the task id (-1).
  const char* ToJson() override;

  std::int64_t GetTaskId() const { return m_taskId; }
  // Hands the holder to the task `taskId`: running again, the block reset to
  // the started state; a pause set earlier stays set.
  void Reuse(std::int64_t taskId);

 private:
  void FillInfoFromCode();

  std::int64_t m_taskId;
  std::mutex m_lock;
  std::atomic<bool> m_paused{false};
  std::atomic<bool> m_running{true};
  ProgressMsg m_block;
  ErrorInterpreterSource m_interpreter;
};

}  // namespace vantrix_Web
