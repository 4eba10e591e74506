#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/IDataWiperManager.h"

// A progress report at `step` of 30 (sub-step `step` % 10); a finished one
// counts all ones. Errors (a non-zero code) are msg_type 33.
inline ProgressMsg Progress(std::int32_t status, std::int64_t step, std::uint32_t code,
                            const char* info = "") {
  const bool finished = status == MSG_STATUS_FINISHED;
  ProgressMsg block{};
  block.msg_type = code == 0 ? MSG_TYPE_NORMAL : MSG_TYPE_ERROR;
  block.msg_status = status;
  block.steps_total = finished ? 1 : 30;
  block.sub_step_total = finished ? 1 : 10;
  block.steps_current = step;
  block.sub_step_current = finished ? 1 : step % 10;
  block.msg_errorCode = code;
  std::strncpy(block.msg_info, info, sizeof(block.msg_info) - 1);
  return block;
}

// A wipe manager that records each request and plays a wipe into its sink:
// one running report, then (while held) more reports until it is stopped or
// let go, then the final report, the manager's last touch of the sink. A
// stopped wipe ends with the pass loop's stop code and msg_type 33.
class RecordingManager final : public BoundaryObject<RecordingManager, IDataWiperManager> {
 public:
  struct Call {
    std::string text;  // "WipeDevice 2 -1 18", "WipeFile /path 1": operation and arguments
    IDeviceManager* deviceManager;
    IProgresMsg* progress;
  };

  static constexpr std::uint32_t kStopCode = 0x0350301B;

  // While held, wipes keep running until stopped; letting go ends them.
  void Hold(bool hold) { m_hold = hold; }

  std::vector<Call> Calls() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_calls;
  }
  int Returned() const { return m_returned; }
  // Wait up to 20 s until `count` wipes began (or returned); false on time-out.
  bool WaitForCalls(std::size_t count) {
    return Wait([&] { return m_calls.size() >= count; });
  }
  bool WaitForReturns(int count) {
    return Wait([&] { return m_returned >= count; });
  }

  int WipeDevice(IDeviceManager* devices, int disk, int partition, int algorithm,
                 IProgresMsg* progress) override {
    return Run({Text("WipeDevice", disk, partition, algorithm), devices, progress});
  }
  int WipeVolFreeSpace(IDeviceManager* devices, int disk, int partition, bool flag,
                       IProgresMsg* progress) override {
    return Run({Text("WipeVolFreeSpace", disk, partition, flag), devices, progress});
  }
  int WipeFile(const char* path, bool flag, IProgresMsg* progress) override {
    return Run({Text("WipeFile", path, flag), nullptr, progress});
  }
  int WipeFolder(const char* path, bool flag, IProgresMsg* progress) override {
    return Run({Text("WipeFolder", path, flag), nullptr, progress});
  }

 private:
  template <class... Args>
  static std::string Text(const char* operation, Args... args) {
    std::ostringstream text;
    text << operation;
    ((text << ' ' << args), ...);
    return text.str();
  }
  template <class Done>
  bool Wait(Done done) {
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::seconds(20), done);
  }
  template <class Change>
  void Note(Change change) {
    {
      std::lock_guard<std::mutex> guard(m_lock);
      change();
    }
    m_changed.notify_all();
  }
  int Run(const Call& call) {
    Note([&] { m_calls.push_back(call); });
    ProgressMsg block = Progress(MSG_STATUS_RUNNING, 1, 0);
    call.progress->ReportProgress(&block);
    bool stopped = !call.progress->CanContinue();
    for (std::int64_t step = 2; m_hold && !stopped; ++step) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      block = Progress(MSG_STATUS_RUNNING, step % 30, 0);
      call.progress->ReportProgress(&block);
      stopped = !call.progress->CanContinue();
    }
    block = Progress(MSG_STATUS_FINISHED, 1, stopped ? kStopCode : 0);
    call.progress->ReportProgress(&block);
    Note([&] { ++m_returned; });
    return stopped ? -1 : 0;
  }

  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<Call> m_calls;
  std::atomic<bool> m_hold{false};
  std::atomic<int> m_returned{0};
};
