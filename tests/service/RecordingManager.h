#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/IDataWiperManager.h"

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

  // In the order the tasks' threads reached the manager, which need not be
  // the order the tasks were started in.
  std::vector<Call> Calls() const;
  // The sink of the call recorded as `text`, or null.
  IProgresMsg* ProgressOf(const std::string& text) const;
  int Returned() const { return m_returned; }
  // Waits up to 20 s until `count` wipes began (or returned); false on time-out.
  bool WaitForCalls(std::size_t count);
  bool WaitForReturns(int count);

  int WipeDevice(IDeviceManager* deviceManager, int disk, int partition, int algorithm,
                 IProgresMsg* progress) override;
  int WipeVolFreeSpace(IDeviceManager* deviceManager, int disk, int partition, bool flag,
                       IProgresMsg* progress) override;
  int WipeFile(const char* path, bool flag, IProgresMsg* progress) override;
  int WipeFolder(const char* path, bool flag, IProgresMsg* progress) override;

 private:
  int Run(const Call& call);

  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<Call> m_calls;
  std::atomic<bool> m_hold{false};
  std::atomic<int> m_returned{0};
};
