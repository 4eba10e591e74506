#include "host/cli/ProgramConfig.h"

#include <sstream>

#include "host/cli/ProgramFiles.h"

namespace {

constexpr std::size_t kMaxConfigBytes = 64 * 1024;

std::string Trimmed(const std::string& text) {
  const std::string::size_type first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

bool ProgramConfig::Read(const std::string& text, const std::string& source, std::string* error) {
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    line = Trimmed(line);
    if (line.empty() || line[0] == '#') continue;
    const std::string::size_type equals = line.find('=');
    const std::string key = Trimmed(line.substr(0, equals));
    const std::string value = equals == std::string::npos ? "" : Trimmed(line.substr(equals + 1));
    std::string* setting = key == "organisation" ? &organisation
                           : key == "operator"   ? &operatorName
                                                 : nullptr;
    if (equals == std::string::npos || setting == nullptr) {
      *error = source + ":" + std::to_string(number) +
               ": expected 'organisation = NAME' or 'operator = NAME'";
      return false;
    }
    *setting = value;
  }
  return true;
}

bool ProgramConfig::Load(std::string* error) {
  for (const std::string& path : program_files::ConfigurationPaths()) {
    // A file that is not there is no error; anything else that cannot be read is.
    std::string text;
    if (!program_files::Exists(path)) continue;
    if (!program_files::ReadRegular(path, kMaxConfigBytes, &text, error) ||
        !Read(text, path, error)) {
      return false;
    }
  }
  return true;
}
