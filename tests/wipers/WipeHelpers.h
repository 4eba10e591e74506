#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "algorithms/WiperAlgorithms.h"
#include "support/RecordingSink.h"
#include "support/TestFiles.h"
#include "support/TestPlatform.h"
#include "wipers/FileWiper.h"
#include "wipers/FolderWiper.h"
#include "wipers/VolFreeSpaceWiper.h"

// What the wiper and volume tests share.

constexpr std::uint64_t kBlock = CDataWiper::kBlockSize;

inline void DeleteWiped(CFileWiper* wiper) { wiper->closeAndDelete(); }
inline void DeleteWiped(CFolderWiper* wiper) { wiper->removeAll(); }
inline void DeleteWiped(CVolFreeSpaceWiper*) {}

// One zero-fill wipe of `target` as the wipe manager runs it: init, WippeData
// and, after a successful wipe, the deletion. The wipe's code, or ~0u when
// init refused the target.
template <typename Wiper>
std::uint32_t ZeroFillWipe(Wiper* wiper, const std::string& target, IProgresMsg* sink = nullptr) {
  if (wiper->init(target.c_str()) < 0) return ~0u;
  CZeroFillWiperAlgorithm algorithm;
  const std::uint32_t code = wiper->WippeData(&algorithm, sink);
  if (code == 0) DeleteWiped(wiper);
  return code;
}
