#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/TestFiles.h"

// The value of an environment variable, or empty.
std::string Environment(const char* variable);

// Tests on a small file system that the volume fixture mounted for this run,
// named by an environment variable (a mount point natively, a drive root
// under Wine). The volume carries an empty ".vtx-mounted" file; anything else
// on it belongs to the test that runs now and is removed before and after it.
class ScratchVolumeTest : public testing::Test {
 protected:
  // Skips the test, with the reason, when the variable is unset or the
  // fixture could not mount the volume here.
  void Use(const char* variable);
  void TearDown() override;

  // The root as the module takes it ("T:\" or "/.../freespace/").
  const std::string& root() const { return m_root; }
  fs::path path() const { return fs::path(m_root); }
  void Clear() const;
  // Bytes the file system says a caller can still write.
  std::uint64_t Available() const;
  // Fills the volume with "ballast.bin" so that exactly `bytes` stay free
  // (a multiple of the file system's block size).
  void LeaveFree(std::uint64_t bytes) const;
  // A file of the fixture's folder (VTX_VOLUME_DIR): an image, the markers to
  // scan it for after unmounting ("<image>.marker"), a backing folder.
  static fs::path FixtureFile(const std::string& name);

 private:
  std::string m_root;
  bool m_mounted = false;
};
