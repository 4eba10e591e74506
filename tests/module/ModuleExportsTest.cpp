#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/IWiperAlgorithm.h"
#include "common/IWiperAlgorithmDescriptor.h"
#include "support/AlgorithmExpectations.h"
#include "support/TestPlatform.h"

// These tests use the built module only through its exported functions, the
// way a host does.
namespace {

using GetAlgorithmByType = IWiperAlgorithm* (*)(int);
using GetAlgorithmDescriptor = IWiperAlgorithmDescriptor* (*)();

class ModuleExports : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    m_module = LoadedModule::Load(&error);
    ASSERT_TRUE(m_module) << ModuleFileName() << ": " << error;
    m_byType = reinterpret_cast<GetAlgorithmByType>(m_module->Symbol("__getAlgorithmByType"));
    m_descriptor =
        reinterpret_cast<GetAlgorithmDescriptor>(m_module->Symbol("__getAlgorithmDescriptor"));
    ASSERT_NE(m_byType, nullptr);
    ASSERT_NE(m_descriptor, nullptr);
  }

  std::unique_ptr<LoadedModule> m_module;
  GetAlgorithmByType m_byType = nullptr;
  GetAlgorithmDescriptor m_descriptor = nullptr;
};

TEST_F(ModuleExports, CatalogueRendersTheAlgorithmListTwice) {
  IWiperAlgorithmDescriptor* catalogue = m_descriptor();
  ASSERT_NE(catalogue, nullptr);
  EXPECT_EQ(catalogue, m_descriptor());
  const std::string first = catalogue->ToJson();
  const std::string second = catalogue->ToJson();
  EXPECT_EQ(first, kCatalogueJson);
  EXPECT_EQ(second, first);
  EXPECT_EQ(catalogue->GetAlgorithmCount(), 7);
}

// Pass counts and the fill byte of passes -1 to 8; -1 marks the time byte.
TEST_F(ModuleExports, EveryAlgorithmHasItsPassesAndPatterns) {
  for (const AlgorithmExpectation& row : AlgorithmTable()) {
    IWiperAlgorithm* algorithm = m_byType(row.type);
    ASSERT_NE(algorithm, nullptr);
    EXPECT_EQ(algorithm->GetWipeTimes(), row.passes) << "type " << row.type;
    for (int pass = -1; pass <= 8; ++pass) {
      std::vector<unsigned char> buffer(131072, 0x5A);
      const auto before = static_cast<unsigned char>(time(nullptr) & 0xFF);
      algorithm->FillBuffer(buffer.data(), static_cast<int>(buffer.size()), pass);
      const auto after = static_cast<unsigned char>(time(nullptr) & 0xFF);
      const std::vector<unsigned char> uniform(buffer.size(), buffer[0]);
      EXPECT_EQ(buffer, uniform) << "type " << row.type << " pass " << pass;
      const int expected = row.bytes[pass + 1];
      if (expected == kTimeByte) {
        EXPECT_TRUE(buffer[0] == before || buffer[0] == after) << "type " << row.type;
      } else {
        EXPECT_EQ(buffer[0], expected) << "type " << row.type << " pass " << pass;
      }
    }
    algorithm->Release();
  }
}

TEST_F(ModuleExports, CatalogueHandsOutTheFactorysAlgorithms) {
  IWiperAlgorithmDescriptor* catalogue = m_descriptor();
  IWiperAlgorithm* gost = catalogue->GetAlgorithmByIndex(6);
  EXPECT_EQ(gost->GetWipeTimes(), 2);
  gost->Release();
  IWiperAlgorithm* fallback = catalogue->GetAlgorithmByType(99);
  unsigned char byte = 0;
  fallback->FillBuffer(&byte, 1, 1);
  EXPECT_EQ(byte, 0xFF);
  fallback->Release();
}

}  // namespace
