#include "service/RecordingManager.h"

#include <chrono>
#include <thread>

namespace {

ProgressMsg Block(std::int32_t type, std::int32_t status, std::int64_t step, std::uint32_t code) {
  ProgressMsg block{};
  block.msg_type = type;
  block.msg_status = status;
  block.steps_total = status == MSG_STATUS_FINISHED ? 1 : 30;
  block.sub_step_total = status == MSG_STATUS_FINISHED ? 1 : 10;
  block.steps_current = step;
  block.sub_step_current = status == MSG_STATUS_FINISHED ? 1 : step % 10;
  block.msg_errorCode = code;
  return block;
}

}  // namespace

std::vector<RecordingManager::Call> RecordingManager::Calls() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_calls;
}

bool RecordingManager::WaitForCalls(std::size_t count) {
  std::unique_lock<std::mutex> guard(m_lock);
  return m_changed.wait_for(guard, std::chrono::seconds(20),
                            [&] { return m_calls.size() >= count; });
}

bool RecordingManager::WaitForReturns(int count) {
  std::unique_lock<std::mutex> guard(m_lock);
  return m_changed.wait_for(guard, std::chrono::seconds(20), [&] { return m_returned >= count; });
}

int RecordingManager::Run(const Call& call) {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_calls.push_back(call);
  }
  m_changed.notify_all();
  ProgressMsg block = Block(MSG_TYPE_NORMAL, MSG_STATUS_RUNNING, 1, 0);
  call.progress->ReportProgress(&block);
  bool stopped = !call.progress->CanContinue();
  for (std::int64_t step = 2; m_hold && !stopped; ++step) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    block = Block(MSG_TYPE_NORMAL, MSG_STATUS_RUNNING, step % 30, 0);
    call.progress->ReportProgress(&block);
    stopped = !call.progress->CanContinue();
  }
  const std::uint32_t code = stopped ? kStopCode : 0;
  block = Block(code == 0 ? MSG_TYPE_NORMAL : MSG_TYPE_ERROR, MSG_STATUS_FINISHED, 1, code);
  call.progress->ReportProgress(&block);
  {
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_returned;
  }
  m_changed.notify_all();
  return code == 0 ? 0 : -1;
}
