#include "host/cli/HostLibrary.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

std::string HostLibrary::FileNameOf(const std::string& baseName) {
  return "lib" + baseName + ".so";
}

std::string HostLibrary::ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) return "";
  const std::string program(path, static_cast<size_t>(length));
  return program.substr(0, program.rfind('/') + 1);
}

bool HostLibrary::Load(const std::string& baseName) {
  m_path = ProgramFolder() + FileNameOf(baseName);
  m_handle = dlopen(m_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (m_handle == nullptr) {
    const char* reason = dlerror();
    m_error = reason != nullptr ? reason : "cannot load " + m_path;
  }
  return m_handle != nullptr;
}

void* HostLibrary::Symbol(const char* name) const {
  return m_handle != nullptr ? dlsym(m_handle, name) : nullptr;
}

// The build gives the module a versioned file name (libDataWiper.so.0.1.0)
// behind the plain name the program loads.
std::string HostLibrary::FileVersion() const {
  char* resolved = realpath(m_path.c_str(), nullptr);
  if (resolved == nullptr) return "";
  const std::string file(resolved);
  free(resolved);
  const std::string::size_type suffix = file.rfind(".so.");
  return suffix == std::string::npos ? "" : file.substr(suffix + 4);
}
