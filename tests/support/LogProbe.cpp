#include "support/LogProbe.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/Log.h"

namespace {

std::string LogPath() {
  static const std::string path = (std::filesystem::current_path() / "vantrix.log").string();
  return path;
}

}  // namespace

LogProbe::LogProbe() {
  WriteLog("LogProbe::LogProbe", __LINE__, "probe");
  m_path = LogPath();
  std::error_code ignored;
  m_start = static_cast<std::size_t>(std::filesystem::file_size(m_path, ignored));
}

std::string LogProbe::Appended() const {
  std::ifstream in(m_path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return m_start < text.size() ? text.substr(m_start) : std::string();
}

int LogProbe::Count(const std::string& text) const {
  const std::string appended = Appended();
  int count = 0;
  for (std::size_t at = appended.find(text); at != std::string::npos;
       at = appended.find(text, at + text.size())) {
    ++count;
  }
  return count;
}
