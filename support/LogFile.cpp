#include "support/LogFile.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "common/Log.h"
#include "support/SystemFormat.h"
#include "support/LocalTime.h"
#include "support/TextHelpers.h"

namespace fs = std::filesystem;

namespace {

std::string AbsolutePath(const char* fileName) {
  std::error_code error;
  const fs::path absolute = fs::absolute(fileName, error);
  return error ? std::string(fileName) : absolute.string();
}

}  // namespace

CLogFile::CLogFile(const char* fileName, std::uint64_t rotationSize)
    : m_path(AbsolutePath(fileName)),
      m_rotationSize(rotationSize),
      m_stream(m_path, std::ios::out | std::ios::app) {
  std::error_code error;
  m_size = fs::file_size(m_path, error);
  if (error) m_size = 0;
}

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

// Called with m_mutex held.
void CLogFile::Rotate() {
  m_stream.close();
  std::error_code error;
  const std::string older = m_path + ".1";
  fs::remove(older, error);
  fs::rename(m_path, older, error);
  m_stream.clear();
  m_stream.open(m_path, error ? std::ios::out | std::ios::trunc : std::ios::out | std::ios::app);
  m_size = 0;
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
  if (function == nullptr) function = "";

  // What the line takes on disk, counted rather than asked of the system.
  const std::string stamp = FormatTimeStamp(LocalTimeNow());
  const std::string number = std::to_string(line);
  std::uint64_t bytes = 9 + stamp.size() + 4 + std::strlen(function) + 1 + number.size() + 1 +
                        static_cast<std::uint64_t>(length) + kLineFeedBytes;
  for (const char* at = text; *at != '\0'; ++at) bytes += *at == '\n' ? kLineFeedBytes - 1 : 0;
  if (m_size > 0 && m_size + bytes > m_rotationSize) Rotate();

  m_stream << "[Vantrix]" << stamp << "    " << function << ':' << number << ' ' << text << '\n';
  m_stream.flush();
  m_size += bytes;
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
