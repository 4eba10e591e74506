#include "host/cli/ModuleSession.h"

#include <cstring>

#include "common/FunctorExecutor.h"
#include "common/ICGIResult.h"
#include "common/IModuleEntry.h"
#include "common/IWiperAlgorithm.h"
#include "host/cli/CommandHost.h"

namespace {

using AlgorithmFactory = IWiperAlgorithm* (*)(int);

std::string Text(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

CommandArgument::CommandArgument(const char* typeName, const void* data, unsigned int size)
    : m_typeName(typeName), m_bytes(), m_size(size) {
  std::memcpy(m_bytes, data, size);
}

CommandArgument CommandArgument::Int(std::int32_t value) {
  return CommandArgument("int", &value, sizeof(value));
}

CommandArgument CommandArgument::Int64(std::int64_t value) {
  return CommandArgument("__int64", &value, sizeof(value));
}

CommandArgument CommandArgument::Text(const char* text) {
  return CommandArgument("char const * __ptr64", &text, sizeof(text));
}

ModuleSession::ModuleSession() : m_host(std::make_unique<CommandHost>()) {}

ModuleSession::~ModuleSession() {
  m_host.reset();
  if (m_entry != nullptr) m_entry->Release();
}

bool ModuleSession::Open(std::string* error) {
  m_entry = LoadComponent<vantrix_halvern::IModuleEntry>(m_library, "DataWiper",
                                                         "__Vantrix_ModuleEntry", "module", error);
  if (m_entry == nullptr) return false;
  // The second argument is the host's context, which the module only keeps.
  if (m_entry->Initialize(m_host.get(), /*context=*/nullptr) != 0 ||
      m_host->GetCommandCount() == 0) {
    *error = "the module's command service did not register its commands";
    return false;
  }
  return true;
}

CommandAnswer ModuleSession::Call(const char* name, const std::vector<CommandArgument>& arguments) {
  CommandAnswer answer;
  FunctorExecutor<vantrix_Web::ICGIResult*>* functor = m_host->Find(name);
  if (functor == nullptr) {
    answer.error = std::string("the module has no command ") + name;
    return answer;
  }
  if (functor->GetArgCount() != static_cast<int>(arguments.size())) {
    answer.error = std::string(name) + " takes " + std::to_string(functor->GetArgCount()) +
                   " arguments, not " + std::to_string(arguments.size());
    return answer;
  }
  unsigned int index = 0;
  for (const CommandArgument& argument : arguments) {
    const std::string expected = Text(functor->GetArgTypeName(index));
    if (expected != argument.TypeName() || functor->GetArgSize(index) != argument.Size() ||
        functor->SetArg(argument.TypeName(), argument.Data(), argument.Size(), index) != 0) {
      answer.error = std::string(name) + " refused argument " + std::to_string(index) + " (" +
                     argument.TypeName() + "; it takes " + expected + ")";
      return answer;
    }
    ++index;
  }
  vantrix_Web::ICGIResult* result = functor->Invoke();
  if (result == nullptr) {
    answer.error = std::string(name) + " returned no result";
    return answer;
  }
  answer.answered = true;
  answer.success = result->IsSuccess();
  answer.error = Text(result->GetErrorMsg());
  answer.json = Text(result->GetResultJson());
  result->Release();
  return answer;
}

IWiperAlgorithm* ModuleSession::NewAlgorithm(int type) const {
  auto factory = LibrarySymbol<AlgorithmFactory>(m_library, "__getAlgorithmByType");
  return factory != nullptr ? factory(type) : nullptr;
}
