#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <string>

#include "service/DllModule.h"

std::string CDllModule::LibraryFileName(const char* baseName) {
  return "lib" + std::string(baseName) + ".so";
}

bool CDllModule::LoadFromHostDir(const char* fileName) {
  char executable[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", executable, sizeof(executable) - 1);
  if (length <= 0) return false;
  std::string path(executable, static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return false;
  path.resize(slash + 1);
  path += fileName;
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return false;
  m_handle = library;
  return true;
}

void* CDllModule::FindExport(const char* name) const {
  return m_handle != nullptr ? dlsym(m_handle, name) : nullptr;
}
