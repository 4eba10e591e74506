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
    if (outcome.stopRequested && requests > requestsAtStop && !record.IsFinished() &&
        elapsed - lastMove >= kStuckSeconds) {
      outcome.failure =
          "the task could not be stopped cleanly: it has not moved for " +
          std::to_string(static_cast<int>(elapsed - lastMove)) +
          " seconds (stuck in a system call) and the stop was asked again; the program ends and "
          "leaves the target as the task left it";
      outcome.abandoned = true;
      break;
    }
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
