#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "support/TestFiles.h"
#include "support/TestPlatform.h"

namespace fs = std::filesystem;

const char* LogLineEnd() { return "\n"; }

int CurrentProcessId() { return static_cast<int>(getpid()); }

std::string ModulePath(const fs::path& path) { return path.native(); }

std::vector<std::string> SystemFolderTargets() { return {"/", "/usr", "/etc", "/var", "/proc"}; }

bool MakeFolderLink(const fs::path& link, const fs::path& target, std::string* why) {
  if (symlink(target.c_str(), link.c_str()) == 0) return true;
  *why = std::strerror(errno);
  return false;
}

bool MakeFileLink(const fs::path& link, const fs::path& target, std::string* why) {
  return MakeFolderLink(link, target, why);
}

void SetEnvironment(const char* name, const char* value) {
  value != nullptr ? setenv(name, value, 1) : unsetenv(name);
}

bool OpensDevicesByPath() { return true; }

long ProcessResourceCount() {
  long count = 0;
  for (const char* folder : {"/proc/self/task", "/proc/self/fd"}) {
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
  }
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) ++count;
  return count;
}
