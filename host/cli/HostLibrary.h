#pragma once

#include <string>

// A shared library of this program's installation, loaded from the folder the
// program itself lives in and never through a search path: the module and the
// host's own components (device manager, error interpreter) are shipped
// beside the program, so a stray copy elsewhere can never be picked up.
//
// A loaded library stays loaded until the process ends, also after its
// HostLibrary is gone: the module keeps process-wide objects (the wipe
// manager, the catalogue, the disk channel) for as long as it is loaded, and
// the end of the process unloads it last, after every task's thread. Used from
// the program's main thread only.
class HostLibrary {
 public:
  // The file name of a library of this build: "DataWiper" gives
  // "DataWiper.dll" on Windows and "libDataWiper.so" on Linux.
  static std::string FileNameOf(const std::string& baseName);
  // The folder of the running program, ending in its separator; "" when the
  // system cannot tell.
  static std::string ProgramFolder();

  HostLibrary() = default;
  HostLibrary(const HostLibrary&) = delete;
  HostLibrary& operator=(const HostLibrary&) = delete;

  // Loads ProgramFolder() + FileNameOf(baseName); called once per object. On
  // failure returns false and Error() tells why, naming the path.
  bool Load(const std::string& baseName);
  bool IsLoaded() const { return m_handle != nullptr; }
  // The exported function `name`, or null (also when nothing is loaded).
  void* Symbol(const char* name) const;
  // The version the library file carries ("0.1.0"), "" when it carries none.
  std::string FileVersion() const;
  const std::string& Path() const { return m_path; }
  const std::string& Error() const { return m_error; }

 private:
  void* m_handle = nullptr;
  std::string m_path;
  std::string m_error;
};

// The exported function `name` of `library` as a function pointer of type F.
template <class F>
F LibrarySymbol(const HostLibrary& library, const char* name) {
  return reinterpret_cast<F>(library.Symbol(name));
}

// Loads the library `baseName` (the host's `what`) from the program's folder
// and calls its exported entry point `entryPoint`, which takes nothing and
// hands out the component's object. Null with the reason in `error`.
template <class Component>
Component* LoadComponent(HostLibrary& library, const char* baseName, const char* entryPoint,
                         const char* what, std::string* error) {
  if (!library.Load(baseName)) {
    *error = std::string("cannot load the ") + what + ": " + library.Error();
    return nullptr;
  }
  auto entry = LibrarySymbol<Component* (*)()>(library, entryPoint);
  if (entry == nullptr) {
    *error = library.Path() + " does not export " + entryPoint;
    return nullptr;
  }
  Component* component = entry();
  if (component == nullptr) *error = library.Path() + ": " + entryPoint + " gave nothing";
  return component;
}
