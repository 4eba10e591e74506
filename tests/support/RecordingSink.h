#pragma once

#include <functional>
#include <vector>

#include "common/BoundaryObject.h"
#include "common/IProgresMsg.h"

// A progress sink that keeps every report and refuses to continue after
// `allowed` checks (never, when negative). `onCheck` runs at every check with
// its number (1 = before the first pass) and `onReport` at every report, so
// that a test changes the target at an exact point of a wipe instead of
// racing it.
class RecordingSink : public BoundaryObject<RecordingSink, IProgresMsg> {
 public:
  explicit RecordingSink(int allowed = -1) : m_allowed(allowed) {}
  void ReportProgress(const ProgressMsg* msg) override {
    reports.push_back(*msg);
    if (onReport) onReport(*msg);
  }
  void Pause() override {}
  void Resume() override {}
  void Stop() override { m_allowed = 0; }
  bool CanContinue() override {
    ++checks;
    if (onCheck) onCheck(checks);
    if (m_allowed < 0) return true;
    if (m_allowed == 0) return false;
    --m_allowed;
    return true;
  }
  std::function<void(int check)> onCheck;
  std::function<void(const ProgressMsg&)> onReport;
  std::vector<ProgressMsg> reports;
  int checks = 0;

 private:
  int m_allowed;
};
