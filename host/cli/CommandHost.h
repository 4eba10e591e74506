#pragma once

#include <string>
#include <vector>

#include "common/ICommandHost.h"

// This program's command registry: the module hands it one record per
// command while it is initialised (AddCommand, slot 4), and the program finds
// the commands by their registered names.
//
// Owns every record it was given and the functor in it: the destructor
// releases each functor (its Release slot) and frees the record, which the
// module allocates from the C runtime's heap (calloc); so it must go before
// the module is unloaded. Used from the program's main thread.
class CommandHost final : public BoundaryObject<CommandHost, ICommandHost> {
 public:
  CommandHost() = default;
  ~CommandHost();
  CommandHost(const CommandHost&) = delete;
  CommandHost& operator=(const CommandHost&) = delete;

  int GetCommandCount() override;
  const CommandRecord* GetCommandAt(int index) override;
  // Keeps `record` (null is ignored); 0 when kept, -1 otherwise.
  int AddCommand(CommandRecord* record) override;

  // The functor registered under `name` (the first one, should a name come
  // twice), or null.
  FunctorExecutor<vantrix_Web::ICGIResult*>* Find(const std::string& name) const;

 private:
  std::vector<CommandRecord*> m_records;
};
