#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/cli/HostLibrary.h"

class CommandHost;
class IWiperAlgorithm;
namespace vantrix_halvern {
class IModuleEntry;
}

// The registered names of the module's commands.
namespace command_name {
constexpr const char kGetProgressMsg[] = "DataWipeServiceManager_getProgressMsg";
constexpr const char kWipeFile[] = "DataWipeServiceManager_wipeFile";
constexpr const char kWipeFolder[] = "DataWipeServiceManager_wipeFolder";
constexpr const char kWipeDisk[] = "DataWipeServiceManager_wipeDisk";
constexpr const char kWipeVolume[] = "DataWipeServiceManager_wipeVolume";
constexpr const char kWipeVolumeFreeSpace[] = "DataWipeServiceManager_wipeVolumeFreeSpace";
constexpr const char kGetWiperAlgorithms[] = "DataWipeServiceManager_getWiperAlgorithms";
constexpr const char kStopWipe[] = "DataWipeServiceManager_stopWipe";
}  // namespace command_name

// One argument of a command call: the bytes and the type name of the module's
// functor table ("int", "__int64", "char const * __ptr64").
class CommandArgument {
 public:
  static CommandArgument Int(std::int32_t value);
  static CommandArgument Int64(std::int64_t value);
  // The pointer itself is handed over; the text must outlive the call.
  static CommandArgument Text(const char* text);

  const char* TypeName() const { return m_typeName; }
  const void* Data() const { return m_bytes; }
  unsigned int Size() const { return m_size; }

 private:
  CommandArgument(const char* typeName, const void* data, unsigned int size);

  const char* m_typeName;
  unsigned char m_bytes[8];
  unsigned int m_size;
};

// What a command answered. `answered` is false when no result object came
// back (the module refused the call) or the program could not make the call;
// `error` then says why.
struct CommandAnswer {
  bool answered = false;
  bool success = false;
  std::string error;
  std::string json;
};

// The module, driven exactly as a host drives it: loaded from the program's
// folder, its command service created through __Vantrix_ModuleEntry and
// initialised with this program's command host; commands are found by their
// registered names and called only through their functors and results.
//
// Owns the service and the host (with the functors). The destructor releases
// the functors, then the service, which stops and waits for any task still
// running; the module itself stays loaded until the process ends
// (HostLibrary.h). Used from the program's main thread.
class ModuleSession {
 public:
  ModuleSession();
  ~ModuleSession();
  ModuleSession(const ModuleSession&) = delete;
  ModuleSession& operator=(const ModuleSession&) = delete;

  // False with the reason in `error` when the module cannot be loaded or its
  // service does not start.
  bool Open(std::string* error);

  // Calls the command `name` with `arguments`: checks the functor's argument
  // count, type names and sizes against them, hands each over (SetArg),
  // invokes it and copies the result out before releasing it.
  CommandAnswer Call(const char* name, const std::vector<CommandArgument>& arguments);

  // A new algorithm object from the module's factory (__getAlgorithmByType);
  // the caller releases it. Null when the module does not export the factory.
  IWiperAlgorithm* NewAlgorithm(int type) const;

  // The version the module's file carries, "" if none.
  std::string ModuleVersion() const { return m_library.FileVersion(); }
  const std::string& ModulePath() const { return m_library.Path(); }

 private:
  HostLibrary m_library;
  std::unique_ptr<CommandHost> m_host;
  vantrix_halvern::IModuleEntry* m_entry = nullptr;
};
