#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "algorithms/WiperAlgorithms.h"
#include "volumes/ScratchVolume.h"
#include "wipers/FileWiper.h"
#include "wipers/FolderWiper.h"

namespace {

// One way of wiping the sparse file `path`: its code, and whether it deleted.
using WipeOnce = std::function<std::uint32_t(const fs::path& path, bool* deleted)>;

const std::vector<std::pair<const char*, WipeOnce>>& Wipers() {
  static const std::vector<std::pair<const char*, WipeOnce>> wipers = {
      {"file wiper",
       [](const fs::path& path, bool* deleted) {
         CFileWiper wiper;
         if (wiper.init(ModulePath(path).c_str()) != 0) return ~0u;
         CZeroFillWiperAlgorithm algorithm;
         const std::uint32_t code = wiper.WippeData(&algorithm, nullptr);
         *deleted = code == 0 && wiper.closeAndDelete() != 0;
         return code;
       }},
      {"folder wiper", [](const fs::path& path, bool* deleted) {
         CFolderWiper wiper;
         if (wiper.init(ModulePath(path.parent_path()).c_str()) < 0) return ~0u;
         CZeroFillWiperAlgorithm algorithm;
         const std::uint32_t code = wiper.WippeData(&algorithm, nullptr);
         if (code == 0) wiper.removeAll();
         *deleted = !fs::exists(path);
         return code;
       }}};
  return wipers;
}

// A file with a hole: writing it needs new blocks.
void MakeSparse(const fs::path& path, std::uintmax_t size) {
  MakeFolders(path.parent_path());
  std::ofstream(path, std::ios::binary).put('s');
  fs::resize_file(path, size);
}

// A write that the full volume cuts short (a hole needs blocks it cannot
// have) fails the wipe, and the file stays: its tail was never overwritten.
TEST(WriteFailure, ShortWriteOnAFullVolumeFailsTheWipe) {
  ScratchVolume volume;
  std::string why;
  if (!volume.Find("VTX_FREESPACE_ROOT", &why)) GTEST_SKIP() << why;
  for (const auto& [name, wipe] : Wipers()) {
    volume.Clear();
    const fs::path path = volume.path() / "tree" / "sparse.bin";
    MakeSparse(path, 100 * 1024);
    volume.LeaveFree(16 * 1024);
    bool deleted = false;
    EXPECT_NE(wipe(path, &deleted), 0u) << name;
    EXPECT_FALSE(deleted) << name;
    EXPECT_TRUE(fs::exists(path)) << name;
  }
  volume.Clear();
}

// On a device that fails writes (an image whose backing store is full), the
// data is accepted into the cache but cannot be flushed: the wipe fails with
// its own code and deletes nothing.
TEST(WriteFailure, FailedFlushFailsTheWipeAndDeletesNothing) {
  ScratchVolume volume;
  std::string why;
  if (!volume.Find("VTX_FAULTY_ROOT", &why)) GTEST_SKIP() << why;
  const fs::path ballast = FixtureFile("faulty-backing") / "ballast.bin";
  for (const auto& [name, wipe] : Wipers()) {
    volume.Clear();
    // Two files: the folder wiper flushes one as it passes it, one at the end.
    const fs::path path = volume.path() / "tree" / "sparse.bin";
    MakeSparse(path, 1 << 20);
    MakeSparse(path.parent_path() / "other.bin", 1 << 20);
    {
      std::ofstream fill(ballast, std::ios::binary);
      const std::string chunk(1 << 16, 'b');
      while (fill.write(chunk.data(), chunk.size())) {
      }
    }
    bool deleted = false;
    EXPECT_EQ(wipe(path, &deleted), CDataWiper::kCodeFlushFailed) << name;
    EXPECT_FALSE(deleted) << name;
    EXPECT_TRUE(fs::exists(path) && fs::exists(path.parent_path() / "other.bin")) << name;
    fs::remove(ballast);
  }
  volume.Clear();
}

}  // namespace
