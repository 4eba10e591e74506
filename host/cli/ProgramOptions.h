#pragma once

#include <string>

// What the person asked vantrix-wipe to do, as read from the command line.
struct ProgramOptions {
  enum class Command {
    kFile,
    kFolder,
    kFreeSpace,
    kPartition,
    kDisk,
    kDisks,
    kAlgorithms,
    kVersion
  };

  Command command = Command::kVersion;
  std::string path;               // file, folder
  int disk = -1;                  // free-space, partition, disk
  int partition = -1;             // free-space, partition
  std::string algorithm;          // partition, disk: a catalogue name or type number
  bool yes = false;               // partition, disk: no question
  bool verify = false;            // partition, disk: read the target back
  bool allowCopyOnWrite = false;  // file, folder: wipe in place where old bytes may stay
  bool json = false;
  std::string reportPath;

  bool IsWipe() const {
    return command == Command::kFile || command == Command::kFolder ||
           command == Command::kFreeSpace || command == Command::kPartition ||
           command == Command::kDisk;
  }
  bool IsDevice() const { return command == Command::kPartition || command == Command::kDisk; }
};

// Reads the command line into `options`. Returns -1 when the program is to
// go on; otherwise the exit status after printing help (0) or a usage error
// (kExitUsage) the way the parser words it.
int ParseProgramOptions(int argc, char** argv, ProgramOptions* options);
