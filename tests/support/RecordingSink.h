#pragma once

#include <vector>

#include "common/BoundaryObject.h"
#include "common/IProgresMsg.h"

// A progress sink that keeps every report and refuses to continue after
// `allowed` checks (never, when negative).
class RecordingSink : public BoundaryObject<RecordingSink, IProgresMsg> {
 public:
  explicit RecordingSink(int allowed = -1) : m_allowed(allowed) {}
  void ReportProgress(const ProgressMsg* msg) override { reports.push_back(*msg); }
  void Pause() override {}
  void Resume() override {}
  void Stop() override { m_allowed = 0; }
  bool CanContinue() override {
    ++checks;
    if (m_allowed < 0) return true;
    if (m_allowed == 0) return false;
    --m_allowed;
    return true;
  }
  std::vector<ProgressMsg> reports;
  int checks = 0;

 private:
  int m_allowed;
};
