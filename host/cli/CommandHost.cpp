#include "host/cli/CommandHost.h"

#include <cstdlib>
#include <cstring>

#include "common/FunctorExecutor.h"

CommandHost::~CommandHost() {
  for (CommandRecord* record : m_records) {
    if (record->functor != nullptr) record->functor->Release();
    std::free(record);
  }
}

int CommandHost::GetCommandCount() { return static_cast<int>(m_records.size()); }

const CommandRecord* CommandHost::GetCommandAt(int index) {
  if (index < 0 || static_cast<size_t>(index) >= m_records.size()) return nullptr;
  return m_records[static_cast<size_t>(index)];
}

int CommandHost::AddCommand(CommandRecord* record) {
  if (record == nullptr) return -1;
  try {
    m_records.push_back(record);
  } catch (...) {
    // No exception crosses the boundary; without room the command is dropped.
    if (record->functor != nullptr) record->functor->Release();
    std::free(record);
    return -1;
  }
  return 0;
}

FunctorExecutor<vantrix_Web::ICGIResult*>* CommandHost::Find(const std::string& name) const {
  for (const CommandRecord* record : m_records) {
    if (strnlen(record->name, sizeof(record->name)) == name.size() &&
        std::memcmp(record->name, name.data(), name.size()) == 0) {
      return record->functor;
    }
  }
  return nullptr;
}
