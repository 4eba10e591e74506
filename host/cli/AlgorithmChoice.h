#pragma once

#include <string>
#include <vector>

class ModuleSession;

// One entry of the module's algorithm list (getWiperAlgorithms).
struct AlgorithmEntry {
  std::string name;
  int type = 0;
};

// Reads the algorithm list JSON; false when the text is not one.
bool ParseAlgorithmList(const std::string& json, std::vector<AlgorithmEntry>* entries);

// The entry `wanted` names: a catalogue name or a type number, compared
// without regard to case; the catalogue's "eType" prefix may be left out
// ("usdod522022me"). Null when it names none.
const AlgorithmEntry* FindAlgorithm(const std::vector<AlgorithmEntry>& entries,
                                    const std::string& wanted);

// The module's algorithm list, read through its getWiperAlgorithms command;
// false with the reason in `error`.
bool ReadAlgorithmList(ModuleSession& module, std::vector<AlgorithmEntry>* entries,
                       std::string* error);

// The number of passes of algorithm `type`, from the module's factory; 0 when
// the module gives no algorithm.
int PassesOf(const ModuleSession& module, int type);
