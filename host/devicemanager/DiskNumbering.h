#pragma once

#include <cstddef>
#include <cstdint>

// Disk numbers of the Linux build's own enumeration. A disk's number comes
// from the kernel's device number, major × 1000 + minor ("8:16", sdb, is disk
// 8016; "7:5", loop5, is 7005), so it stays the same while the disk stays
// attached, whatever other disks come and go. A disk whose minor number is
// 1000 or more has no such number: it is numbered by its position in the
// listing from kPositionalDiskNumbers on, which may change when disks are
// added or removed; people are told so.
constexpr std::uint32_t kPositionalDiskNumbers = 2000000000;

inline std::uint32_t StableDiskNumber(unsigned int major, unsigned int minor,
                                      std::size_t position) {
  if (minor < 1000 && major < 4096) return major * 1000 + minor;
  return kPositionalDiskNumbers + static_cast<std::uint32_t>(position);
}

inline bool IsStableDiskNumber(std::uint32_t number) { return number < kPositionalDiskNumbers; }
