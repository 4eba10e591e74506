#include "algorithms/WiperAlgorithms.h"

#include <cstdint>
#include <cstring>
#include <ctime>

namespace {

// One entry of a pass table: a fixed byte, or the time byte.
struct PassPattern {
  bool timeByte;
  unsigned char value;
};

constexpr PassPattern kFF = {false, 0xFF};
constexpr PassPattern k01 = {false, 0x01};
constexpr PassPattern kTime = {true, 0};

unsigned char TimeByte() {
  const std::int64_t seconds = static_cast<std::int64_t>(std::time(nullptr));
  return static_cast<unsigned char>(seconds & 0xFF);
}

// Fills buffer[0, size) with the pattern of `pass` (counted from 1) taken from
// `passes`; any other pass number takes `otherwise`.
template <int N>
void FillFromTable(unsigned char* buffer, int size, int pass, const PassPattern (&passes)[N],
                   PassPattern otherwise) {
  if (buffer == nullptr || size <= 0) return;
  const PassPattern pattern = (pass >= 1 && pass <= N) ? passes[pass - 1] : otherwise;
  const unsigned char value = pattern.timeByte ? TimeByte() : pattern.value;
  std::memset(buffer, value, static_cast<std::size_t>(size));
}

constexpr PassPattern kZeroFill[] = {kFF};
constexpr PassPattern kRandFill[] = {kTime};
constexpr PassPattern kBritishHMGIS5[] = {kFF, kTime, kTime};
constexpr PassPattern kUSDOD522022ME[] = {kFF, k01, kTime};
constexpr PassPattern kUSDOD522022MECE[] = {kFF, k01, kTime, kFF, kFF, k01, kTime};
constexpr PassPattern kPeterGutemann[] = {kTime};
constexpr PassPattern kRussianGOSTP50739[] = {kTime, kFF};

}  // namespace

int CZeroFillWiperAlgorithm::GetWipeTimes() { return 1; }
void CZeroFillWiperAlgorithm::FillBuffer(unsigned char* buffer, int size, int pass) {
  FillFromTable(buffer, size, pass, kZeroFill, kFF);
}

int CRandFillWiperAlgorithm::GetWipeTimes() { return 1; }
void CRandFillWiperAlgorithm::FillBuffer(unsigned char* buffer, int size, int pass) {
  FillFromTable(buffer, size, pass, kRandFill, kTime);
}

int CBritishHMGIS5Algorithm::GetWipeTimes() { return 3; }
void CBritishHMGIS5Algorithm::FillBuffer(unsigned char* buffer, int size, int pass) {
  FillFromTable(buffer, size, pass, kBritishHMGIS5, kFF);
}

int CUSDOD522022MEAlgorithm::GetWipeTimes() { return 3; }
void CUSDOD522022MEAlgorithm::FillBuffer(unsigned char* buffer, int size, int pass) {
  FillFromTable(buffer, size, pass, kUSDOD522022ME, kFF);
}

int CUSDOD522022MECEAlgorithm::GetWipeTimes() { return 7; }
void CUSDOD522022MECEAlgorithm::FillBuffer(unsigned char* buffer, int size, int pass) {
  FillFromTable(buffer, size, pass, kUSDOD522022MECE, kFF);
}

int CPeterGutemannAlgorithm::GetWipeTimes() { return 1; }
void CPeterGutemannAlgorithm::FillBuffer(unsigned char* buffer, int size, int pass) {
  FillFromTable(buffer, size, pass, kPeterGutemann, kTime);
}

int CRussianGOSTP50739Algorithm::GetWipeTimes() { return 2; }
void CRussianGOSTP50739Algorithm::FillBuffer(unsigned char* buffer, int size, int pass) {
  FillFromTable(buffer, size, pass, kRussianGOSTP50739, kFF);
}
