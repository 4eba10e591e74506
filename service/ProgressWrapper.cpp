#include "service/ProgressWrapper.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace vantrix_Web {

namespace {

constexpr std::chrono::milliseconds kPausePoll{200};

ProgressMsg StartedBlock() {
  ProgressMsg block{};
  block.msg_type = MSG_TYPE_NORMAL;
  block.msg_status = MSG_STATUS_IDLE;
  block.steps_total = 1;
  block.sub_step_total = 1;
  return block;
}

}  // namespace

CProgressWrapper::CProgressWrapper(std::int64_t taskId, ErrorInterpreterSource interpreter)
    : m_taskId(taskId), m_block(StartedBlock()), m_interpreter(interpreter) {}

void CProgressWrapper::ReportProgress(const ProgressMsg* msg) {
  if (msg == nullptr) return;
  std::lock_guard<std::mutex> guard(m_lock);
  m_block = *msg;
  m_block.msg_info[sizeof(m_block.msg_info) - 1] = '\0';
  if (m_block.msg_info[0] == '\0' && m_block.msg_errorCode != 0) FillInfoFromCode();
}

void CProgressWrapper::FillInfoFromCode() {
  IErrorInterpreter* interpreter = m_interpreter != nullptr ? m_interpreter() : nullptr;
  const char* text =
      interpreter != nullptr ? interpreter->GetErrorString(m_block.msg_errorCode) : nullptr;
  if (text == nullptr) return;
  const std::size_t room = sizeof(m_block.msg_info) - 1;
  std::size_t length = 0;
  while (length < room && text[length] != '\0') ++length;
  std::memcpy(m_block.msg_info, text, length);
  m_block.msg_info[length] = '\0';
}

void CProgressWrapper::Pause() { m_paused.store(true); }

void CProgressWrapper::Resume() { m_paused.store(false); }

void CProgressWrapper::Stop() { m_running.store(false); }

bool CProgressWrapper::CanContinue() {
  if (!m_running.load()) return false;
  while (m_paused.load() && m_running.load()) std::this_thread::sleep_for(kPausePoll);
  return m_running.load();
}

const char* CProgressWrapper::ToJson() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_writer.Key("msg_type");
    m_writer.Int(m_block.msg_type);
    m_writer.Key("msg_status");
    m_writer.Int(m_block.msg_status);
    m_writer.Key("sub_step_current");
    m_writer.Int64(m_block.sub_step_current);
    m_writer.Key("sub_step_total");
    m_writer.Int64(m_block.sub_step_total);
    m_writer.Key("steps_current");
    m_writer.Int64(m_block.steps_current);
    m_writer.Key("steps_total");
    m_writer.Int64(m_block.steps_total);
    m_writer.Key("msg_errorCode");
    m_writer.Int(static_cast<std::int32_t>(m_block.msg_errorCode));
    m_writer.Key("msg_info");
    m_writer.String(m_block.msg_info);
    if (m_block.msg_status == MSG_STATUS_FINISHED) m_taskId = -1;
  }
  return IJsonWriter::ToJson();
}

void CProgressWrapper::Reuse(std::int64_t taskId) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_taskId = taskId;
  m_running.store(true);
  m_block = StartedBlock();
}

}  // namespace vantrix_Web
