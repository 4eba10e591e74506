#pragma once

#include <cstdarg>
#include <ctime>
#include <fstream>
#include <mutex>
#include <string>

// The process's log file. WriteLog (common/Log.h) uses the one instance that
// Instance() builds at the first log call; tests may build their own on any
// file name.
//
// The file is opened for appending (never truncated), shared with other
// handles and processes, and in text mode, so Windows lines end in CR LF and
// POSIX lines in LF. A file that fails to open stays failed: every later line
// is formatted and dropped, with no retry.
//
// Thread safety: one mutex is held from formatting to flushing a line, so the
// 1024-byte formatting buffer is never shared by two callers and lines never
// interleave.
class CLogFile {
 public:
  explicit CLogFile(const char* fileName);
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;

  // The process-wide log on "vantrix.log" in the current directory of the
  // first call; built exactly once even when first calls race.
  static CLogFile& Instance();

  // Formats and appends one whole line, flushed before the call returns.
  void WriteLine(const char* function, unsigned int line, const char* format, va_list args);

  // The 19-character "YYYY-MM-DD hh:mm:ss" text of a broken-down local time.
  static std::string FormatTimeStamp(const std::tm& time);

 private:
  static constexpr int kBufferSize = 1024;

  std::string TimeStamp() const;

  std::ofstream m_stream;
  char m_buffer[kBufferSize] = {};
  std::mutex m_mutex;
};
