#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/TestFiles.h"

// The value of an environment variable, or empty.
std::string Environment(const char* variable);

// Tests on a small file system the volume fixture mounted for this run (a mount
// point natively, a drive root under Wine), marked by an empty ".vtx-mounted";
// anything else on it is the running test's, removed before and after it.
class ScratchVolumeTest : public testing::Test {
 protected:
  // The volume named by `variable`; skips the test, saying why, without one.
  void Use(const char* variable);
  void TearDown() override;

  // The root as the module takes it ("T:\" or "/.../freespace/").
  const std::string& root() const { return m_root; }
  fs::path path() const { return fs::path(m_root); }
  void Clear() const;
  // Bytes the file system says a caller can still write.
  std::uint64_t Available() const;
  // Fills the volume with "ballast.bin" until exactly `bytes` (whole blocks) stay free.
  void LeaveFree(std::uint64_t bytes) const;
  // Deletes "ballast.bin" and waits (up to 60 s) until its blocks count as free:
  // a sync or writeback elsewhere may hold a deleted file, and so its blocks,
  // for a moment after the unlink.
  void RemoveBallast() const;
  // In VTX_VOLUME_DIR: an image, its markers ("<image>.marker"), a backing folder.
  static fs::path FixtureFile(const std::string& name);

 private:
  std::string m_root;
  bool m_mounted = false;
};
