#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/ModuleExports.h"
#include "support/AlgorithmTable.h"

namespace {

int PassesOf(IWiperAlgorithm* algorithm) {
  const int passes = algorithm->GetWipeTimes();
  algorithm->Release();
  return passes;
}

TEST(AlgorithmCatalogue, RendersTheListAgainAndAgain) {
  IWiperAlgorithmDescriptor* catalogue = __getAlgorithmDescriptor();
  ASSERT_NE(catalogue, nullptr);
  EXPECT_EQ(catalogue, __getAlgorithmDescriptor());
  const std::string first = catalogue->ToJson();
  const std::string second = catalogue->ToJson();
  EXPECT_EQ(first, VTX_CATALOGUE_JSON);
  EXPECT_EQ(second, VTX_CATALOGUE_JSON);
  EXPECT_EQ(first.find("IWiperAlgorithm::"), std::string::npos);
}

TEST(AlgorithmCatalogue, ConcurrentRenderingsAllGiveTheList) {
  IWiperAlgorithmDescriptor* catalogue = __getAlgorithmDescriptor();
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([catalogue, &mismatches, t] {
      for (int i = 0; i < 500; ++i) {
        if (std::string(catalogue->ToJson()) != VTX_CATALOGUE_JSON) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

TEST(AlgorithmCatalogue, HandsOutAlgorithmsByPositionAndType) {
  IWiperAlgorithmDescriptor* catalogue = __getAlgorithmDescriptor();
  EXPECT_EQ(catalogue->GetAlgorithmCount(), 7);
  const int expectedPasses[] = {1, 1, 3, 3, 7, 1, 2};
  for (int index = 0; index < 7; ++index) {
    EXPECT_EQ(PassesOf(catalogue->GetAlgorithmByIndex(index)), expectedPasses[index]);
    EXPECT_EQ(PassesOf(catalogue->GetAlgorithmByType(16 + index)), expectedPasses[index]);
  }
  // Out of the list: the factory's zero fill, one pass writing 0xFF.
  for (IWiperAlgorithm* algorithm :
       {catalogue->GetAlgorithmByIndex(7), catalogue->GetAlgorithmByIndex(-1),
        catalogue->GetAlgorithmByIndex(INT32_MAX), catalogue->GetAlgorithmByType(99)}) {
    unsigned char byte = 0;
    algorithm->FillBuffer(&byte, 1, 1);
    EXPECT_EQ(byte, 0xFF);
    EXPECT_EQ(PassesOf(algorithm), 1);
  }
}

}  // namespace
