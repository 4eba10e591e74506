#pragma once

#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

#include "support/AppendFile.h"

// The process's log file. WriteLog (common/Log.h) uses the one instance that
// Instance() builds at the first log call; tests may build their own on any
// file name.
//
// The file is opened for appending, shared with other handles and processes,
// and only when it is a regular file reached without following a link
// (AppendFile.h): a link, a FIFO, a device or a folder under the log's name
// leaves the log closed, and every line is then formatted and dropped, with
// no retry. Lines end in CR LF on Windows and LF on POSIX. The name is made
// absolute when the object is built, so a later change of the current
// directory changes nothing.
//
// A line is always one line: control characters in the message (a line feed
// or a NUL inside a logged path, say) are written as "\xNN"; only the line
// feeds that end the format itself stay, as the empty lines they make.
//
// The log never fills a disk: when a line would take the file past the
// rotation size (64 MiB), the file is renamed to "<name>.1", replacing an
// older one, and a fresh file is started (if the rename is refused, the file
// is emptied instead). The size is the file's at opening plus the lines this
// object wrote, counted without asking the system.
//
// Thread safety: one mutex is held from formatting to writing a line, so the
// 1024-byte formatting buffer is never shared by two callers and lines never
// interleave. Nothing under the mutex waits for anything but a regular file.
class CLogFile {
 public:
  static constexpr std::uint64_t kRotationSize = 64ull << 20;

  // `rotationSize` other than the default is for tests.
  explicit CLogFile(const char* fileName, std::uint64_t rotationSize = kRotationSize);
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;

  // The process-wide log on "vantrix.log" in the current directory of the
  // first call; built exactly once even when first calls race.
  static CLogFile& Instance();

  // Formats and appends one whole line, written before the call returns.
  void WriteLine(const char* function, unsigned int line, const char* format, va_list args);

  // The 19-character "YYYY-MM-DD hh:mm:ss" text of a broken-down local time.
  static std::string FormatTimeStamp(const std::tm& time);

 private:
  static constexpr int kBufferSize = 1024;

  void Rotate();

  std::string m_path;
  std::uint64_t m_rotationSize;
  std::uint64_t m_size = 0;
  AppendFile m_file;
  std::string m_line;
  char m_buffer[kBufferSize] = {};
  std::mutex m_mutex;
};
