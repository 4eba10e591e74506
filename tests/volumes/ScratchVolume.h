#pragma once

#include <cstdint>
#include <string>

#include "support/TestFiles.h"

// A small file system that the volume fixture mounted for this test run,
// named by an environment variable (a mount point natively, a drive root
// under Wine). It carries an empty ".vtx-mounted" file; anything else on it
// belongs to the test that runs now.
class ScratchVolume {
 public:
  // False, with the reason, when the variable is unset or the volume is not
  // mounted (the fixture could not mount it here).
  bool Find(const char* variable, std::string* why);

  // The root as the module takes it ("T:\" or "/.../freespace/").
  const std::string& root() const { return m_root; }
  fs::path path() const { return fs::path(m_root); }

  // Removes everything but the mount's marker file.
  void Clear() const;
  // Bytes the file system says a caller can still write.
  std::uint64_t Available() const;
  // Fills the volume with a ballast file so that exactly `bytes` stay free;
  // `bytes` must be a multiple of the file system's block size.
  void LeaveFree(std::uint64_t bytes) const;

 private:
  std::string m_root;
};

// The value of an environment variable, or empty.
std::string Environment(const char* variable);

// A file of the volume fixture's folder (VTX_VOLUME_DIR): an image, a marker
// list for the scan after unmounting ("<image>.marker"), a backing folder.
fs::path FixtureFile(const std::string& name);
