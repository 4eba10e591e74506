#include "host/cli/WipeSession.h"

#include "host/cli/Console.h"
#include "host/cli/JsonMember.h"
#include "host/cli/VisibleText.h"

namespace {

constexpr int kPollMilliseconds = 200;
constexpr int kClosePollMilliseconds = 20;
constexpr double kPlainLineSeconds = 5;

// About five readings a second while the wipe runs. Closer together at the
// start (a small target is done in a moment) and once the last step is near
// or reported (only the final flush is left): the program sees the end
// within a few milliseconds, so following a wipe costs it no time.
int NextPollMilliseconds(const ProgressRecord& record, double elapsedSeconds,
                         double writingSeconds) {
  if (record.IsRunning()) {
    const ProgressFigures figures = ComputeProgress(record, TargetScale{}, writingSeconds);
    const bool lastStepDone = record.stepsCurrent + 1 >= record.stepsTotal;
    if (lastStepDone ||
        (figures.secondsLeft >= 0 && figures.secondsLeft * 1000 < kPollMilliseconds)) {
      return kClosePollMilliseconds;
    }
  }
  const int ramp = static_cast<int>(elapsedSeconds * 1000 / 4);
  return ramp < kClosePollMilliseconds ? kClosePollMilliseconds
         : ramp > kPollMilliseconds    ? kPollMilliseconds
                                       : ramp;
}

// A task whose counters stand still this long after a stop request, when the
// person asks again, is taken as stuck.
constexpr double kStuckSeconds = 5;

bool Moved(const ProgressRecord& before, const ProgressRecord& now) {
  return before.status != now.status || before.type != now.type ||
         before.stepsCurrent != now.stepsCurrent || before.subStepCurrent != now.subStepCurrent;
}

// Where the person asked again after a stop and the task has not moved for
// kStuckSeconds (a thread stuck in a system call), the task is abandoned: its
// outcome says so, and true is returned.
bool AbandonIfStuck(const ProgressRecord& record, bool askedAgain, double elapsed, double lastMove,
                    WipeOutcome& outcome) {
  if (!outcome.stopRequested || !askedAgain || record.IsFinished() ||
      elapsed - lastMove < kStuckSeconds) {
    return false;
  }
  outcome.failure =
      "the task could not be stopped cleanly: it has not moved for " +
      std::to_string(static_cast<int>(elapsed - lastMove)) +
      " seconds (stuck in a system call) and the stop was asked again; the program ends and "
      "leaves the target as the task left it";
  outcome.abandoned = true;
  return true;
}

// The module's progress JSON with the disk's number as its first member.
std::string WithDisk(const std::string& json, int disk) {
  const std::string::size_type open = json.find('{');
  if (open == std::string::npos) return json;
  const bool empty = json.find_first_not_of(" \t\r\n", open + 1) == json.find('}', open);
  return json.substr(0, open + 1) + "\"disk\":" + std::to_string(disk) + (empty ? "" : ",") +
         json.substr(open + 1);
}

// One disk's line on the board, short enough (with its label) for an
// 80-column terminal, so that redrawing counts whole lines: percent, pass,
// rate and time left; how it ended once it has.
std::string BoardLine(const ProgressRecord& record, const TargetScale& scale, double seconds) {
  if (record.IsFinished()) {
    return record.errorCode == 0 ? "100.0%  wiped" : "ended with " + FormatCode(record.errorCode);
  }
  if (!record.IsRunning()) return "  0.0%  starting";
  const ProgressFigures figures = ComputeProgress(record, scale, seconds);
  char line[96];
  std::snprintf(line, sizeof(line), "%5.1f%%  pass %d/%d  %s/s  %s left", figures.fraction * 100.0,
                figures.pass, figures.passes,
                FormatBytes(static_cast<std::uint64_t>(figures.bytesPerSecond)).c_str(),
                FormatDuration(figures.secondsLeft).c_str());
  return line;
}

bool ParseTaskId(const std::string& json, std::int64_t* taskId) {
  rapidjson::Document document;
  return ParseObject(json, &document) && ReadInt64(document, "taskId", taskId);
}

}  // namespace

ProgressDisplay::ProgressDisplay(Mode mode, const TargetScale& scale, std::FILE* out)
    : m_mode(mode), m_scale(scale), m_out(out) {}

void ProgressDisplay::Show(const std::string& json, const ProgressRecord& record,
                           double elapsedSeconds, double writingSeconds) {
  switch (m_mode) {
    case Mode::kJson:
      std::fprintf(m_out, "%s\n", VisibleUtf8(json).c_str());
      break;
    case Mode::kTerminal: {
      const std::string line = RenderProgressLine(record, m_scale, writingSeconds);
      const std::size_t padding = m_drawnWidth > line.size() ? m_drawnWidth - line.size() : 0;
      std::fprintf(m_out, "\r%s%*s", line.c_str(), static_cast<int>(padding), "");
      m_drawnWidth = line.size();
      break;
    }
    case Mode::kPlain:
      // Not before the first write, unless that is slow in coming.
      if (!record.IsFinished() && (record.IsRunning() || elapsedSeconds >= kPlainLineSeconds) &&
          (m_lastPlainLine < 0 || elapsedSeconds - m_lastPlainLine >= kPlainLineSeconds)) {
        std::fprintf(m_out, "%s\n", RenderProgressLine(record, m_scale, writingSeconds).c_str());
        m_lastPlainLine = elapsedSeconds;
      }
      break;
  }
  std::fflush(m_out);
}

void ProgressDisplay::End() {
  if (m_mode == Mode::kTerminal && m_drawnWidth > 0) std::fprintf(m_out, "\n");
  m_drawnWidth = 0;
  std::fflush(m_out);
}

WipeOutcome RunWipe(ModuleSession& module, const WipeCall& call, ProgressDisplay& display,
                    std::FILE* messages) {
  using std::chrono::steady_clock;
  WipeOutcome outcome;
  outcome.start = std::chrono::system_clock::now();
  const steady_clock::time_point started = steady_clock::now();
  const CommandAnswer start = module.Call(call.command, call.arguments);
  std::int64_t taskId = 0;
  if (!start.answered || !start.success || !ParseTaskId(start.json, &taskId)) {
    outcome.failure = start.answered && start.success
                          ? "the module answered no task id: " + start.json
                          : "the module did not start the wipe: " + start.error;
    outcome.end = std::chrono::system_clock::now();
    return outcome;
  }
  outcome.started = true;

  int requestsAnswered = 0;
  int requestsAtStop = 0;
  double writingSince = -1;
  ProgressRecord previous;
  double lastMove = 0;
  for (;;) {
    const int requests = console::StopRequestCount();
    CommandAnswer answer;
    if (requests > 0 && !outcome.stopRequested) {
      display.End();
      std::fprintf(messages, "Stopping: the wipe ends after the block it is writing...\n");
      outcome.stopRequested = true;
      requestsAtStop = requests;
      answer = module.Call(command_name::kStopWipe,
                           {CommandArgument::Int(static_cast<std::int32_t>(taskId))});
    } else {
      if (requests > requestsAnswered && outcome.stopRequested) {
        display.End();
        std::fprintf(messages, "Still stopping: the wipe is not abandoned; waiting for its end.\n");
      }
      answer = module.Call(command_name::kGetProgressMsg, {CommandArgument::Int64(taskId)});
    }
    requestsAnswered = requests;
    ProgressRecord record;
    if (!answer.success || !ParseProgressRecord(answer.json, &record)) {
      outcome.failure = "lost the progress of task " + std::to_string(taskId) + ": " +
                        (answer.success ? answer.json : answer.error);
      break;
    }
    const double elapsed = std::chrono::duration<double>(steady_clock::now() - started).count();
    if (Moved(previous, record)) lastMove = elapsed;
    previous = record;
    if (AbandonIfStuck(record, requests > requestsAtStop, elapsed, lastMove, outcome)) break;
    if (record.IsRunning() && writingSince < 0) writingSince = elapsed;
    const double writing = writingSince < 0 ? 0 : elapsed - writingSince;
    display.Show(answer.json, record, elapsed, writing);
    if (record.IsRunning()) {
      outcome.lastRunning = record;
      outcome.sawRunning = true;
    }
    if (record.IsFinished()) {
      outcome.final = record;
      break;
    }
    console::WaitForStopRequest(NextPollMilliseconds(record, elapsed, writing));
  }
  display.End();
  outcome.end = std::chrono::system_clock::now();
  return outcome;
}

ProgressBoard::ProgressBoard(ProgressDisplay::Mode mode, std::vector<Row> rows, std::FILE* out)
    : m_mode(mode),
      m_rows(std::move(rows)),
      m_records(m_rows.size()),
      m_writing(m_rows.size(), 0),
      m_out(out) {}

void ProgressBoard::Show(std::size_t row, const std::string& json, const ProgressRecord& record,
                         double elapsedSeconds, double writingSeconds) {
  m_records[row] = record;
  m_writing[row] = writingSeconds;
  switch (m_mode) {
    case ProgressDisplay::Mode::kJson:
      std::fprintf(m_out, "%s\n", WithDisk(json, m_rows[row].disk).c_str());
      break;
    case ProgressDisplay::Mode::kTerminal:
      Redraw();
      break;
    case ProgressDisplay::Mode::kPlain:
      if (m_lastPlainLines < 0 || elapsedSeconds - m_lastPlainLines >= kPlainLineSeconds) {
        m_lastPlainLines = elapsedSeconds;
        for (std::size_t at = 0; at < m_rows.size(); ++at) {
          if (!m_records[at].IsRunning()) continue;
          std::fprintf(m_out, "disk %d: %s\n", m_rows[at].disk,
                       RenderProgressLine(m_records[at], m_rows[at].scale, m_writing[at]).c_str());
        }
      }
      break;
  }
  std::fflush(m_out);
}

void ProgressBoard::Redraw() {
  if (m_drawnLines > 0) std::fprintf(m_out, "\x1b[%dA", m_drawnLines);
  double doneBytes = 0;
  double allBytes = 0;
  double rate = 0;
  int running = 0;
  for (std::size_t at = 0; at < m_rows.size(); ++at) {
    const ProgressRecord& record = m_records[at];
    const ProgressFigures figures = ComputeProgress(record, m_rows[at].scale, m_writing[at]);
    const double bytes =
        static_cast<double>(figures.passBytes) * (figures.passes > 0 ? figures.passes : 1);
    allBytes += bytes;
    doneBytes += record.IsFinished() ? bytes : figures.fraction * bytes;
    rate += record.IsRunning() ? figures.bytesPerSecond : 0;
    running += record.IsFinished() ? 0 : 1;
    std::fprintf(m_out, "\r\x1b[2Kdisk %-4d %-24s %s\n", m_rows[at].disk, m_rows[at].label.c_str(),
                 BoardLine(record, m_rows[at].scale, m_writing[at]).c_str());
  }
  const double fraction = allBytes > 0 ? doneBytes / allBytes : 0;
  const double left = rate > 0 ? (allBytes - doneBytes) / rate : -1;
  if (running == 0) {
    std::fprintf(m_out, "\r\x1b[2Ktotal  every disk has ended\n");
  } else {
    std::fprintf(m_out, "\r\x1b[2Ktotal  %5.1f%%  %s/s  %s left  %d of %zu running\n",
                 fraction * 100.0, FormatBytes(static_cast<std::uint64_t>(rate)).c_str(),
                 FormatDuration(left).c_str(), running, m_rows.size());
  }
  m_drawnLines = static_cast<int>(m_rows.size()) + 1;
}

void ProgressBoard::End() {
  m_drawnLines = 0;  // what is drawn stays; the next drawing starts below it
  std::fflush(m_out);
}

namespace {

// One task followed by RunWipes.
struct FollowedTask {
  std::int64_t id = 0;
  bool finished = false;
  double writingSince = -1;
  ProgressRecord previous;
  double lastMove = 0;  // when its record last changed
};

// Reads (or, once, stops) `task` and shows its record; false when it is
// finished, lost, or abandoned as stuck (`askedAgain`: the stop was asked
// again since it was sent).
bool FollowOnce(ModuleSession& module, FollowedTask& task, bool stop, bool askedAgain,
                std::size_t row, double elapsed, ProgressBoard& board, WipeOutcome& outcome) {
  const CommandAnswer answer =
      stop ? module.Call(command_name::kStopWipe,
                         {CommandArgument::Int(static_cast<std::int32_t>(task.id))})
           : module.Call(command_name::kGetProgressMsg, {CommandArgument::Int64(task.id)});
  ProgressRecord record;
  if (!answer.success || !ParseProgressRecord(answer.json, &record)) {
    outcome.failure = "lost the progress of task " + std::to_string(task.id) + ": " +
                      (answer.success ? answer.json : answer.error);
    return false;
  }
  if (Moved(task.previous, record)) task.lastMove = elapsed;
  task.previous = record;
  if (AbandonIfStuck(record, askedAgain, elapsed, task.lastMove, outcome)) return false;
  if (record.IsRunning() && task.writingSince < 0) task.writingSince = elapsed;
  board.Show(row, answer.json, record, elapsed,
             task.writingSince < 0 ? 0 : elapsed - task.writingSince);
  if (record.IsRunning()) {
    outcome.lastRunning = record;
    outcome.sawRunning = true;
  }
  if (!record.IsFinished()) return true;
  outcome.final = record;
  return false;
}

}  // namespace

std::vector<WipeOutcome> RunWipes(ModuleSession& module, const std::vector<WipeCall>& calls,
                                  ProgressBoard& board, std::FILE* messages) {
  using std::chrono::steady_clock;
  std::vector<WipeOutcome> outcomes(calls.size());
  std::vector<FollowedTask> tasks(calls.size());
  const steady_clock::time_point started = steady_clock::now();
  for (std::size_t at = 0; at < calls.size(); ++at) {
    WipeOutcome& outcome = outcomes[at];
    outcome.start = std::chrono::system_clock::now();
    const CommandAnswer start = module.Call(calls[at].command, calls[at].arguments);
    if (!start.answered || !start.success || !ParseTaskId(start.json, &tasks[at].id)) {
      outcome.failure = start.answered && start.success
                            ? "the module answered no task id: " + start.json
                            : "the module did not start the wipe: " + start.error;
      outcome.end = std::chrono::system_clock::now();
      tasks[at].finished = true;
      continue;
    }
    outcome.started = true;
  }
  int requestsAnswered = 0;
  int requestsAtStop = 0;
  for (;;) {
    const int requests = console::StopRequestCount();
    const bool stopNow = requests > 0 && requestsAnswered == 0;
    if (stopNow) {
      requestsAtStop = requests;
      board.End();
      std::fprintf(messages, "Stopping: every wipe ends after the block it is writing...\n");
    } else if (requests > requestsAnswered) {
      board.End();
      std::fprintf(
          messages,
          "Still stopping: no wipe that still moves is abandoned; waiting for their ends.\n");
    }
    requestsAnswered = requests;
    bool anyRunning = false;
    int wait = kPollMilliseconds;
    for (std::size_t at = 0; at < tasks.size(); ++at) {
      if (tasks[at].finished) continue;
      const double elapsed = std::chrono::duration<double>(steady_clock::now() - started).count();
      outcomes[at].stopRequested = outcomes[at].stopRequested || stopNow;
      if (!FollowOnce(module, tasks[at], stopNow, requests > requestsAtStop, at, elapsed, board,
                      outcomes[at])) {
        tasks[at].finished = true;
        outcomes[at].end = std::chrono::system_clock::now();
        continue;
      }
      anyRunning = true;
      const double writing = tasks[at].writingSince < 0 ? 0 : elapsed - tasks[at].writingSince;
      const int next = NextPollMilliseconds(outcomes[at].lastRunning, elapsed, writing);
      wait = next < wait ? next : wait;
    }
    if (!anyRunning) break;
    console::WaitForStopRequest(wait);
  }
  board.End();
  return outcomes;
}
