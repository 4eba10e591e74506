#include "volumes/ScratchVolume.h"

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

bool ScratchVolume::Find(const char* variable, std::string* why) {
  m_root = Environment(variable);
  if (m_root.empty()) {
    *why = std::string(variable) + " is not set: run through ctest, which mounts the volume";
    return false;
  }
  std::error_code error;
  if (!fs::exists(path() / kMountMarker, error)) {
    *why = "no scratch volume at " + m_root +
           ": mounting a tmpfs or a loop device needs root and is not permitted here";
    return false;
  }
  return true;
}

void ScratchVolume::Clear() const {
  for (const auto& entry : fs::directory_iterator(path())) {
    if (entry.path().filename() != kMountMarker) fs::remove_all(entry.path());
  }
}

std::uint64_t ScratchVolume::Available() const { return fs::space(path()).available; }

void ScratchVolume::LeaveFree(std::uint64_t bytes) const {
  const std::uint64_t available = Available();
  if (available < bytes) throw std::runtime_error("volume has less free space than asked");
  // Written for real: a sparse ballast would take no space.
  std::ofstream ballast(path() / "ballast.bin", std::ios::binary);
  const std::vector<char> chunk(1 << 16, 'b');
  for (std::uint64_t left = available - bytes; left > 0;) {
    const std::uint64_t count = left < chunk.size() ? left : chunk.size();
    ballast.write(chunk.data(), static_cast<std::streamsize>(count));
    left -= count;
  }
  ballast.close();
  if (Available() != bytes) throw std::runtime_error("ballast did not leave the asked free space");
}
