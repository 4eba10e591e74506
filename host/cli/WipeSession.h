#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "host/cli/ModuleSession.h"
#include "host/cli/ProgressLine.h"

// How a running wipe's progress is shown: every progress JSON as read, one
// per line (--json); one line redrawn in place on a terminal; or, without a
// terminal, a plain line every few seconds. Used by the polling thread.
class ProgressDisplay {
 public:
  enum class Mode { kJson, kTerminal, kPlain };

  ProgressDisplay(Mode mode, const TargetScale& scale, std::FILE* out);

  // Shows one record, read `elapsedSeconds` after the wipe was started and
  // `writingSeconds` after the first record with moving counters (the rate
  // and the time left are measured from there, not from the start, which may
  // lie well before the first write: a folder is listed first); `json` is
  // the text the module answered.
  void Show(const std::string& json, const ProgressRecord& record, double elapsedSeconds,
            double writingSeconds);
  // Ends a line drawn on a terminal, so that what follows starts afresh.
  void End();

 private:
  Mode m_mode;
  TargetScale m_scale;
  std::FILE* m_out;
  std::size_t m_drawnWidth = 0;
  double m_lastPlainLine = -1;
};

// One wipe command and its arguments.
struct WipeCall {
  const char* command = nullptr;
  std::vector<CommandArgument> arguments;
};

// How a wipe task went, as far as the program followed it.
struct WipeOutcome {
  using TimePoint = std::chrono::system_clock::time_point;

  bool started = false;  // the module started a task
  std::string failure;   // the program could not start or follow the task
  bool sawRunning = false;
  ProgressRecord lastRunning;  // the last record with moving counters
  ProgressRecord final;        // the finished record, when `failure` is empty
  bool stopRequested = false;
  bool abandoned = false;  // stuck after a stop request: the task still runs
  TimePoint start;
  TimePoint end;
};

// Starts the wipe and polls getProgressMsg about five times a second (more
// often just after the start and near the end) until the task's finished
// record arrives. A stop request of the person (see
// Console.h) calls stopWipe once and keeps polling: a moving wipe is never
// abandoned, whatever is pressed. Only a task whose counters stood still for
// some seconds after the stop request, when the person asks again, is
// abandoned (`abandoned`, with the reason in `failure`): it is stuck in a
// system call that does not return. Messages about stopping go to `messages`.
WipeOutcome RunWipe(ModuleSession& module, const WipeCall& call, ProgressDisplay& display,
                    std::FILE* messages);

// The progress of several wipes at once (one per disk): every progress JSON
// as read with the disk's number added (--json); on a terminal one line per
// disk and a total line, redrawn in place; otherwise, every few seconds, a
// plain line per disk still running. Used by the polling thread.
class ProgressBoard {
 public:
  struct Row {
    int disk = -1;
    std::string label;  // what names the drive: model and the serial's tail, at most 24 columns
    TargetScale scale;
  };

  ProgressBoard(ProgressDisplay::Mode mode, std::vector<Row> rows, std::FILE* out);

  // Shows the record of row `row`, as ProgressDisplay::Show does.
  void Show(std::size_t row, const std::string& json, const ProgressRecord& record,
            double elapsedSeconds, double writingSeconds);
  // Ends the lines drawn on a terminal, so that what follows starts afresh.
  void End();

 private:
  void Redraw();

  ProgressDisplay::Mode m_mode;
  std::vector<Row> m_rows;
  std::vector<ProgressRecord> m_records;
  std::vector<double> m_writing;
  std::FILE* m_out;
  int m_drawnLines = 0;
  double m_lastPlainLines = -1;
};

// Starts every wipe of `calls` as a task of its own, then follows them all
// until each has sent its finished record: a wipe that cannot be started or
// fails fails alone, the others go on. A stop request (Console.h) calls
// stopWipe once for every task still running and keeps following them all;
// as in RunWipe, only a task stuck after the stop, when the person asks again,
// is abandoned (its outcome's `abandoned`). One outcome per call, in order.
std::vector<WipeOutcome> RunWipes(ModuleSession& module, const std::vector<WipeCall>& calls,
                                  ProgressBoard& board, std::FILE* messages);
