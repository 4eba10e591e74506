#pragma once

#include <cstdint>
#include <string>

struct DiskInfo;
struct PartitionInfo;

// What the program reads of the local machine itself, for the report and the
// progress line: the machine's name and the sizes of targets. Paths are narrow
// text in the system's code page, as the module takes them. Every size is
// read before the wipe starts and only describes the target; a size that
// cannot be read is reported as unknown, never as 0.
namespace local_system {

std::string HostName();

struct Size {
  bool known = false;
  std::uint64_t bytes = 0;
};

// The length of a regular file (links are not followed).
Size FileSize(const std::string& path);
// The total length of the regular files below a folder, links not followed.
Size TreeSize(const std::string& folder);
// The bytes free for the caller on the volume mounted at `mountPath`.
Size FreeBytes(const std::string& mountPath);

// How many names are at and below `path` (the path itself counts, links are
// not followed): 0 when nothing is there any more.
std::uint64_t NamesLeft(const std::string& path);

// Why overwriting the file, or the files of the folder tree, at `path` in
// place may leave their old bytes on the device; "" when nothing says so.
// The file system writes new data elsewhere (Linux: btrfs, zfs, f2fs, nilfs2,
// bcachefs; Windows: ReFS), or a file shares extents with another file or a
// snapshot (Linux: FIEMAP on xfs, ext4 and btrfs). Windows' block cloning
// on NTFS is not told to the program and goes unseen.
std::string CopyOnWriteRisk(const std::string& path);

// Why part of the free space of the volume mounted at `mountPath` cannot be
// written by any file, so that a free-space wipe does not reach it; "" when
// nothing says so. Linux: ext4 keeps clusters back for its own metadata
// (/sys/fs/ext4/<device>/reserved_clusters, by default 2 % of the volume, at
// most 4096 clusters), which even root's writes cannot take. Windows: "".
std::string FreeSpaceKeptBack(const std::string& mountPath);

// Where the partition's file system is reached: its drive letter on Windows
// (E:\ for the letter E), its mount path on Linux; "" when it is not mounted.
std::string VolumeRoot(const PartitionInfo& partition);

// The disk's device as the system names it: its block device on Linux,
// \\.\PhysicalDriveN on Windows.
std::string DiskDevice(const DiskInfo& disk);

// `path` made absolute against the current folder (which a disk or partition
// wipe changes to the program's own, DiskDriverSession.h); the file need not
// exist.
std::string AbsolutePath(const std::string& path);

}  // namespace local_system
