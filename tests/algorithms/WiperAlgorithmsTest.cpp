#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "common/ModuleExports.h"
#include "support/AlgorithmTable.h"

namespace {

struct AlgorithmDeleter {
  void operator()(IWiperAlgorithm* algorithm) const { algorithm->Release(); }
};
using AlgorithmPtr = std::unique_ptr<IWiperAlgorithm, AlgorithmDeleter>;

AlgorithmPtr Make(int type) { return AlgorithmPtr(__getAlgorithmByType(type)); }

// Fills a buffer and returns its single byte value, or -2 if the bytes differ.
int FilledByte(IWiperAlgorithm* algorithm, int pass) {
  std::vector<unsigned char> buffer(4096, 0x5A);
  algorithm->FillBuffer(buffer.data(), static_cast<int>(buffer.size()), pass);
  for (unsigned char byte : buffer) {
    if (byte != buffer[0]) return -2;
  }
  return buffer[0];
}

TEST(WiperAlgorithms, NumbersWithoutAClassGiveZeroFill) {
  for (int type : {16, 0, 15, 23, -1, 1000, INT32_MIN}) {
    AlgorithmPtr algorithm = Make(type);
    ASSERT_TRUE(algorithm);
    EXPECT_EQ(algorithm->GetWipeTimes(), 1);
    EXPECT_EQ(FilledByte(algorithm.get(), 1), 0xFF) << "type " << type;
  }
}

TEST(WiperAlgorithms, NullBufferAndZeroSizeWriteNothing) {
  for (const VtxAlgorithmRow& row : kVtxAlgorithmRows) {
    AlgorithmPtr algorithm = Make(row.type);
    for (int pass = -1; pass <= 8; ++pass) algorithm->FillBuffer(nullptr, 4096, pass);
    std::vector<unsigned char> buffer(64, 0x5A);
    for (int pass = -1; pass <= 8; ++pass) algorithm->FillBuffer(buffer.data(), 0, pass);
    EXPECT_EQ(std::vector<unsigned char>(64, 0x5A), buffer) << "type " << row.type;
  }
}

TEST(WiperAlgorithms, FillWritesExactlyTheRequestedRange) {
  AlgorithmPtr algorithm = Make(IWiperAlgorithm::eTypeUSDOD522022ME);
  std::vector<unsigned char> buffer(100, 0x5A);
  algorithm->FillBuffer(buffer.data(), 60, 2);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(buffer[i], i < 60 ? 0x01 : 0x5A) << "byte " << i;
}

}  // namespace
