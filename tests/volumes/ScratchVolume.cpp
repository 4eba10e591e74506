#include "volumes/ScratchVolume.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace {

constexpr char kMountMarker[] = ".vtx-mounted";

}  // namespace

std::string Environment(const char* variable) {
  const char* value = std::getenv(variable);
  return value ? value : "";
}

fs::path ScratchVolumeTest::FixtureFile(const std::string& name) {
  return fs::path(Environment("VTX_VOLUME_DIR")) / name;
}

void ScratchVolumeTest::Use(const char* variable) {
  m_root = Environment(variable);
  std::error_code error;
  if (m_root.empty()) {
    GTEST_SKIP() << variable << " is not set: run through ctest, which mounts the volume";
  } else if (!fs::exists(path() / kMountMarker, error)) {
    GTEST_SKIP() << "no scratch volume at " << m_root
                 << ": mounting a tmpfs or a loop device needs root and is not permitted here";
  }
  m_mounted = true;
  Clear();
}

void ScratchVolumeTest::TearDown() {
  if (m_mounted && fs::exists(path())) Clear();
}

void ScratchVolumeTest::Clear() const {
  for (const auto& entry : fs::directory_iterator(path())) {
    if (entry.path().filename() != kMountMarker) fs::remove_all(entry.path());
  }
}

// The library reports 0 as "unknown" (all bits set) on Windows.
std::uint64_t ScratchVolumeTest::Available() const {
  const std::uintmax_t available = fs::space(path()).available;
  return available == static_cast<std::uintmax_t>(-1) ? 0 : available;
}

void ScratchVolumeTest::LeaveFree(std::uint64_t bytes) const {
  // Written for real (a sparse ballast takes no space), and topped up while
  // the file system's own bookkeeping leaves more than asked.
  std::ofstream ballast(path() / "ballast.bin", std::ios::binary);
  const std::vector<char> chunk(1 << 16, 'b');
  for (std::uint64_t available = Available(); available > bytes; available = Available()) {
    const std::uint64_t count = std::min<std::uint64_t>(available - bytes, chunk.size());
    if (!ballast.write(chunk.data(), static_cast<std::streamsize>(count)).flush()) break;
  }
  if (Available() != bytes) throw std::runtime_error("ballast did not leave the asked free space");
}
