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

// How many line feeds end `format`: those stay line ends in the log.
std::size_t TrailingLineFeeds(const char* format) {
  std::size_t length = std::strlen(format);
  std::size_t count = 0;
  while (length > 0 && format[length - 1] == '\n') --length, ++count;
  return count;
}

// The message as it goes to the file: every control character "\xNN",
// except the last `keptLineFeeds` line feeds, which become line ends.
void AppendMessage(const char* text, std::size_t length, std::size_t keptLineFeeds,
                   std::string* line) {
  std::size_t escapedEnd = length;
  while (keptLineFeeds > 0 && escapedEnd > 0 && text[escapedEnd - 1] == '\n') {
    --escapedEnd, --keptLineFeeds;
  }
  for (std::size_t at = 0; at < length; ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (at >= escapedEnd) {
      *line += kLineEnd;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
      *line += escaped;
    } else {
      line->push_back(static_cast<char>(byte));
    }
  }
}

std::string AbsolutePath(const char* fileName) {
  std::error_code error;
  const fs::path absolute = fs::absolute(fileName, error);
  return error ? std::string(fileName) : absolute.string();
}

}  // namespace

CLogFile::CLogFile(const char* fileName, std::uint64_t rotationSize)
    : m_path(AbsolutePath(fileName)), m_rotationSize(rotationSize) {
  m_file.Open(m_path);
  m_size = m_file.SizeAtOpen();
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
  m_file.Close();
  std::error_code error;
  const std::string older = m_path + ".1";
  fs::remove(older, error);
  fs::rename(m_path, older, error);
  m_file.Open(m_path, /*truncate=*/static_cast<bool>(error));
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

  std::string& whole = m_line;  // keeps its capacity from line to line
  whole = "[Vantrix]";
  whole += FormatTimeStamp(LocalTimeNow());
  whole += "    ";
  AppendMessage(function, std::strlen(function), 0, &whole);
  whole += ':';
  whole += std::to_string(line);
  whole += ' ';
  AppendMessage(text, static_cast<std::size_t>(length), TrailingLineFeeds(format), &whole);
  whole += kLineEnd;
  if (!m_file.IsOpen()) return;  // refused or failed at opening: dropped
  if (m_size > 0 && m_size + whole.size() > m_rotationSize) Rotate();
  if (m_file.Append(whole.data(), whole.size())) m_size += whole.size();
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
