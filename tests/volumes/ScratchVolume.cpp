#include "volumes/ScratchVolume.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

#include "storage/VantrixFile.h"

namespace {

constexpr char kMountMarker[] = ".vtx-mounted";
constexpr char kBallast[] = "ballast.bin";

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

// Written for real (a sparse ballast takes no space) and flushed before free
// space is measured: the file system allocates the ballast's blocks, and the
// blocks that map them, when it writes them out, not when they are written.
// Topped up while more than asked is free, cut back while less is.
void ScratchVolumeTest::LeaveFree(std::uint64_t bytes) const {
  const fs::path ballast = path() / kBallast;
  const std::vector<unsigned char> chunk(1 << 16, 'b');
  for (int round = 0; round < 32; ++round) {
    {
      VantrixFile file;
      if (!file.open(ballast.wstring(), VantrixFile::kModeDefault)) break;
      for (std::uint64_t available = Available(); available > bytes; available = Available()) {
        const auto count =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(available - bytes, chunk.size()));
        if (file.writeFileToEnd(count, chunk.data()) != count) break;
      }
      file.flush();
    }
    const std::uint64_t available = Available();
    if (available == bytes) return;
    if (available < bytes) {
      const std::uintmax_t size = fs::file_size(ballast);
      fs::resize_file(ballast, size - std::min<std::uintmax_t>(size, bytes - available));
    }
  }
  throw std::runtime_error("ballast did not leave the asked free space");
}

void ScratchVolumeTest::RemoveBallast() const {
  const fs::path ballast = path() / kBallast;
  const std::uint64_t expected = Available() + fs::file_size(ballast);
  fs::remove(ballast);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (Available() < expected) {
    if (std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error("the ballast's space was not free again after 60 s");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}
