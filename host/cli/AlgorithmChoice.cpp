#include "host/cli/AlgorithmChoice.h"

#include <algorithm>
#include <cctype>

#include "common/IWiperAlgorithm.h"
#include "host/cli/JsonMember.h"
#include "host/cli/ModuleSession.h"

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

bool ParseAlgorithmList(const std::string& json, std::vector<AlgorithmEntry>* entries) {
  rapidjson::Document document;
  if (!ParseObject(json, &document)) return false;
  const auto items = document.FindMember("algorithmItems");
  if (items == document.MemberEnd() || !items->value.IsArray()) return false;
  std::vector<AlgorithmEntry> read;
  for (const rapidjson::Value& item : items->value.GetArray()) {
    if (!item.IsObject() || !item.HasMember("_name") || !item["_name"].IsString() ||
        !item.HasMember("_type") || !item["_type"].IsInt()) {
      return false;
    }
    read.push_back({item["_name"].GetString(), item["_type"].GetInt()});
  }
  *entries = std::move(read);
  return true;
}

const AlgorithmEntry* FindAlgorithm(const std::vector<AlgorithmEntry>& entries,
                                    const std::string& wanted) {
  const std::string key = Lower(wanted);
  for (const AlgorithmEntry& entry : entries) {
    const std::string name = Lower(entry.name);
    if (key == name || key == std::to_string(entry.type) ||
        (name.rfind("etype", 0) == 0 && key == name.substr(5))) {
      return &entry;
    }
  }
  return nullptr;
}

bool ReadAlgorithmList(ModuleSession& module, std::vector<AlgorithmEntry>* entries,
                       std::string* error) {
  const CommandAnswer answer =
      module.Call(command_name::kGetWiperAlgorithms, {CommandArgument::Int(0)});
  if (answer.success && ParseAlgorithmList(answer.json, entries)) return true;
  *error = "the module gives no algorithm list: " + (answer.success ? answer.json : answer.error);
  return false;
}

int PassesOf(const ModuleSession& module, int type) {
  IWiperAlgorithm* algorithm = module.NewAlgorithm(type);
  if (algorithm == nullptr) return 0;
  const int passes = algorithm->GetWipeTimes();
  algorithm->Release();
  return passes;
}
