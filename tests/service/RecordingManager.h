#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <sstream>
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

  std::vector<Call> Calls() const;
  int Returned() const { return m_returned; }
  // Waits up to 20 s until `count` wipes began (or returned); false on time-out.
  bool WaitForCalls(std::size_t count);
  bool WaitForReturns(int count);

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
  int Run(const Call& call);

  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<Call> m_calls;
  std::atomic<bool> m_hold{false};
  std::atomic<int> m_returned{0};
};
