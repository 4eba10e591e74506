#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/ModuleExports.h"
#include "support/AlgorithmTable.h"

// The bytes of every pass, and the catalogue's list, are checked through the
// module's slots by the C host (tests/chost); here what it leaves out.
namespace {

struct AlgorithmDeleter {
  void operator()(IWiperAlgorithm* algorithm) const { algorithm->Release(); }
};
using AlgorithmPtr = std::unique_ptr<IWiperAlgorithm, AlgorithmDeleter>;

TEST(WiperAlgorithms, FillWritesOnlyTheRequestedRangeAndNothingWithoutABuffer) {
  for (const VtxAlgorithmRow& row : kVtxAlgorithmRows) {
    AlgorithmPtr algorithm(__getAlgorithmByType(row.type));
    std::vector<unsigned char> buffer(100, 0x5A);
    for (int pass = -1; pass <= 8; ++pass) {
      algorithm->FillBuffer(nullptr, 4096, pass);
      algorithm->FillBuffer(buffer.data(), 0, pass);
    }
    EXPECT_EQ(std::vector<unsigned char>(100, 0x5A), buffer) << "type " << row.type;
    algorithm->FillBuffer(buffer.data(), 60, 2);
    const int written = row.bytes[3] == VTX_TIME_BYTE ? buffer[0] : row.bytes[3];
    std::vector<unsigned char> expected(100, 0x5A);
    std::fill_n(expected.begin(), 60, static_cast<unsigned char>(written));
    EXPECT_EQ(buffer, expected) << "type " << row.type;
  }
}

// Numbers and positions far outside the list give the zero fill: one pass of 0xFF.
TEST(WiperAlgorithms, FarOutOfRangeNumbersGiveZeroFill) {
  IWiperAlgorithmDescriptor* catalogue = __getAlgorithmDescriptor();
  for (IWiperAlgorithm* raw :
       {__getAlgorithmByType(1000), __getAlgorithmByType(INT32_MIN),
        __getAlgorithmByType(INT32_MAX), catalogue->GetAlgorithmByIndex(INT32_MAX),
        catalogue->GetAlgorithmByIndex(INT32_MIN), catalogue->GetAlgorithmByType(INT32_MIN)}) {
    AlgorithmPtr algorithm(raw);
    ASSERT_TRUE(algorithm);
    std::vector<unsigned char> buffer(4096, 0x5A);
    algorithm->FillBuffer(buffer.data(), 4096, 1);
    EXPECT_EQ(buffer, std::vector<unsigned char>(4096, 0xFF));
    EXPECT_EQ(algorithm->GetWipeTimes(), 1);
  }
}

TEST(AlgorithmCatalogue, ConcurrentRenderingsAllGiveTheList) {
  IWiperAlgorithmDescriptor* catalogue = __getAlgorithmDescriptor();
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([catalogue, &mismatches, t] {
      for (int i = 0; i < 500; ++i)
        mismatches[t] += catalogue->ToJson() != std::string(VTX_CATALOGUE_JSON);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
