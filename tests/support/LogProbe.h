#pragma once

#include <cstddef>
#include <string>

// Reads what was appended to the process's log file since the probe was made.
// The log is opened in the current folder at the first log line, so the probe
// writes one line first to be sure it reads the file the log writes.
class LogProbe {
 public:
  LogProbe();
  std::string Appended() const;
  bool Contains(const std::string& text) const { return Count(text) > 0; }
  int Count(const std::string& text) const;

 private:
  std::string m_path;
  std::size_t m_start;
};
