#include "storage/DriverPath.h"

#include <cwchar>

namespace {

constexpr unsigned short kArchitectureAmd64 = 9;
constexpr unsigned short kArchitectureIa64 = 6;

}  // namespace

const wchar_t* DriverFileName(unsigned short architecture) {
  const bool wide = architecture == kArchitectureAmd64 || architecture == kArchitectureIa64;
  return wide ? L"q7diskio" : L"x86_q7diskio";
}

bool AppendDriverFileName(wchar_t* path, std::size_t length, unsigned short architecture) {
  const std::size_t folder = std::wcslen(path);
  if (folder >= length) return false;
  const int written = std::swprintf(path + folder, length - folder, L"\\drivers\\%ls.sys",
                                    DriverFileName(architecture));
  if (written < 0 || static_cast<std::size_t>(written) >= length - folder) {
    path[folder] = L'\0';
    return false;
  }
  return true;
}
