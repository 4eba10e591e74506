#pragma once

#include <string>

// One library of the host, loaded from the folder of the host's executable.
// The library stays loaded for the life of the process: destroying the
// holder does not unload it. One implementation per backend (LoadLibraryW and
// GetProcAddress on Windows, dlopen and dlsym on POSIX).
class CDllModule {
 public:
  CDllModule() = default;
  CDllModule(const CDllModule&) = delete;
  CDllModule& operator=(const CDllModule&) = delete;

  // The file name of the host library `baseName` on this platform:
  // "ErrorInterpreter.dll" on Windows, "libErrorInterpreter.so" on POSIX.
  static std::string LibraryFileName(const char* baseName);

  // Loads `fileName` from the folder of the running executable (the path of
  // the process's executable cut after its last separator, `fileName`
  // appended) and keeps the handle. False when it cannot be loaded.
  bool LoadFromHostDir(const char* fileName);

  // The address of the exported function `name`, or null (also before a
  // successful load).
  void* FindExport(const char* name) const;

 private:
  void* m_handle = nullptr;
};
