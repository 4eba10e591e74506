#include "support/LogFile.h"

#include <cstdio>
#include <memory>
#include <new>

#include "common/Log.h"
#include "support/SystemFormat.h"

CLogFile::CLogFile(const char* fileName) : m_stream(fileName, std::ios::out | std::ios::app) {}

CLogFile& CLogFile::Instance() {
  static CLogFile log("vantrix.log");
  return log;
}

std::string CLogFile::FormatTimeStamp(const std::tm& time) {
  char text[64] = {};
  std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", time.tm_year + 1900,
                time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec);
  return text;
}

// Called with m_mutex held, which also covers the static buffer of localtime.
std::string CLogFile::TimeStamp() const {
  std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (local == nullptr) return FormatTimeStamp(std::tm{});
  return FormatTimeStamp(*local);
}

void CLogFile::WriteLine(const char* function, unsigned int line, const char* format,
                         va_list args) {
  std::lock_guard<std::mutex> guard(m_mutex);

  va_list measureArgs;
  va_copy(measureArgs, args);
  const int length = FormatSystemText(nullptr, 0, format, measureArgs);
  va_end(measureArgs);
  if (length < 0) return;

  const std::size_t size = static_cast<std::size_t>(length) + 1;
  char* text = m_buffer;
  std::unique_ptr<char[]> heapText;
  if (size >= kBufferSize) {
    heapText.reset(new (std::nothrow) char[size]);
    if (!heapText) return;
    text = heapText.get();
  }
  FormatSystemText(text, size, format, args);

  m_stream << "[Vantrix]" << TimeStamp() << "    " << (function ? function : "") << ':' << line
           << ' ' << text << '\n';
  m_stream.flush();
}

void WriteLog(const char* function, unsigned int line, const char* format, ...) {
  if (format == nullptr) return;
  try {
    CLogFile& log = CLogFile::Instance();
    va_list args;
    va_start(args, format);
    log.WriteLine(function, line, format, args);
    va_end(args);
  } catch (...) {
    // The log never fails towards its caller.
  }
}
