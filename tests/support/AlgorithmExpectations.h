#pragma once

#include <vector>

// What the algorithms and the catalogue must produce, written out by hand so
// that tests compare the module against the table, not against its own code.

inline constexpr char kCatalogueJson[] =
    "{\"algorithmItems\":[{\"_name\":\"eTypeWriteZero\",\"_type\":16},"
    "{\"_name\":\"eTypeWriteRandData\",\"_type\":17},"
    "{\"_name\":\"eTypeBritishHMGIS5\",\"_type\":18},"
    "{\"_name\":\"eTypeUSDOD522022ME\",\"_type\":19},"
    "{\"_name\":\"eTypeUSDOD522022MECE\",\"_type\":20},"
    "{\"_name\":\"eTypePeterGutemann\",\"_type\":21},"
    "{\"_name\":\"eTypeRussianGOSTP50739\",\"_type\":22}]}";

// A pass that writes the time byte (the clock's seconds, lowest eight bits).
inline constexpr int kTimeByte = -1;

// One algorithm: its type, pass count, and the byte of pass numbers -1 to 8
// (bytes[pass + 1]).
struct AlgorithmExpectation {
  int type;
  int passes;
  std::vector<int> bytes;
};

inline const std::vector<AlgorithmExpectation>& AlgorithmTable() {
  constexpr int T = kTimeByte;
  static const std::vector<AlgorithmExpectation> table = {
      {16, 1, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {17, 1, {T, T, T, T, T, T, T, T, T, T}},
      {18, 3, {0xFF, 0xFF, 0xFF, T, T, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {19, 3, {0xFF, 0xFF, 0xFF, 0x01, T, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {20, 7, {0xFF, 0xFF, 0xFF, 0x01, T, 0xFF, 0xFF, 0x01, T, 0xFF}},
      {21, 1, {T, T, T, T, T, T, T, T, T, T}},
      {22, 2, {0xFF, 0xFF, T, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
  };
  return table;
}
